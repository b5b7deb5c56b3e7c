#include "VXPluginModule.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vx::host
{
    namespace
    {
        std::string lowerCase(std::string text)
        {
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return text;
        }

        // Up to length bytes, stopping at the first NUL (FFGL names are not
        // terminated when they fill their field).
        std::string fixedText(const void* bytes, std::size_t length)
        {
            const auto* text = static_cast<const char*>(bytes);
            return std::string(text, strnlen(text, length));
        }

        const char* typeName(std::uint32_t type)
        {
            switch (type)
            {
                case FFGL::typeBoolean:
                    return "boolean";
                case FFGL::typeEvent:
                    return "event";
                case FFGL::typeStandard:
                    return "standard";
                case FFGL::typeOption:
                    return "option";
                case FFGL::typeBuffer:
                    return "buffer";
                case FFGL::typeText:
                    return "text";
                default:
                    return "unknown";
            }
        }

        bool parseNumber(const std::string& text, double& value)
        {
            if (text.empty())
                return false;
            char* end = nullptr;
            value = std::strtod(text.c_str(), &end);
            return end == text.c_str() + text.size() && std::isfinite(value);
        }

        bool parseSwitch(const std::string& text, bool& value)
        {
            const std::string word = lowerCase(text);
            if (word == "on" || word == "true" || word == "yes" || word == "1")
                value = true;
            else if (word == "off" || word == "false" || word == "no" || word == "0")
                value = false;
            else
                return false;
            return true;
        }
    }

    PluginModule::PluginModule(const std::string& modulePath) : path(modulePath)
    {
    }

    PluginModule::~PluginModule()
    {
        if (plugMain != nullptr)
        {
            if (instance != 0 && call(FFGL::deInstantiateGL, 0, instance) != FFGL::success)
                report(FFGL::deInstantiateGL, "");
            if (initialised)
                call(FFGL::deInitialise, 0, 0);
        }
        if (handle != nullptr)
            dlclose(handle);
    }

    const char* PluginModule::codeName(std::uint32_t code)
    {
        switch (code)
        {
            case FFGL::getInfo:
                return "getInfo";
            case FFGL::initialise:
                return "initialise";
            case FFGL::deInitialise:
                return "deInitialise";
            case FFGL::getNumParameters:
                return "getNumParameters";
            case FFGL::getParameterName:
                return "getParameterName";
            case FFGL::getParameterDefault:
                return "getParameterDefault";
            case FFGL::getParameterDisplay:
                return "getParameterDisplay";
            case FFGL::setParameter:
                return "setParameter";
            case FFGL::getParameter:
                return "getParameter";
            case FFGL::getPluginCaps:
                return "getPluginCaps";
            case FFGL::getExtendedInfo:
                return "getExtendedInfo";
            case FFGL::getParameterType:
                return "getParameterType";
            case FFGL::getInputStatus:
                return "getInputStatus";
            case FFGL::processOpenGL:
                return "processOpenGL";
            case FFGL::instantiateGL:
                return "instantiateGL";
            case FFGL::deInstantiateGL:
                return "deInstantiateGL";
            case FFGL::setTime:
                return "setTime";
            case FFGL::connect:
                return "connect";
            case FFGL::disconnect:
                return "disconnect";
            case FFGL::resize:
                return "resize";
            case FFGL::getNumParameterElements:
                return "getNumParameterElements";
            case FFGL::getParameterUsage:
                return "getParameterUsage";
            case FFGL::getPluginShortName:
                return "getPluginShortName";
            default:
                return "unknown code";
        }
    }

    FFGL::Word PluginModule::call(std::uint32_t code, FFGL::Word input, FFGL::Word instanceWord) const
    {
        return plugMain(code, input, instanceWord);
    }

    bool PluginModule::report(std::uint32_t code, const std::string& detail) const
    {
        std::fprintf(stderr, "vxffglhost: the plugin failed code %u (%s)%s%s\n", code, codeName(code),
                     detail.empty() ? "" : ": ", detail.c_str());
        return false;
    }

    bool PluginModule::load()
    {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
        {
            const char* error = dlerror();
            std::fprintf(stderr, "vxffglhost: cannot load %s: %s\n", path.c_str(), error != nullptr ? error : "?");
            return false;
        }
        plugMain = reinterpret_cast<FFGL::PlugMainFunction>(dlsym(handle, "plugMain"));
        if (plugMain == nullptr)
        {
            std::fprintf(stderr, "vxffglhost: %s exports no plugMain\n", path.c_str());
            return false;
        }

        const FFGL::Word info = call(FFGL::getInfo, 0, 0);
        if (info == 0 || FFGL::isFail(info))
            return report(FFGL::getInfo, "no information record");
        if (call(FFGL::initialise, 0, 0) != FFGL::success)
            return report(FFGL::initialise, "");
        initialised = true;

        const FFGL::Word count = call(FFGL::getNumParameters, 0, 0);
        if (FFGL::isFail(count))
            return report(FFGL::getNumParameters, "");
        for (std::uint32_t i = 0; i < count; ++i)
        {
            Parameter parameter;
            parameter.index = i;
            const FFGL::Word name = call(FFGL::getParameterName, i, 0);
            if (name == 0)
                return report(FFGL::getParameterName, "parameter " + std::to_string(i));
            parameter.name = fixedText(FFGL::toPointer<const char>(name), 16);
            const FFGL::Word type = call(FFGL::getParameterType, i, 0);
            if (FFGL::isFail(type))
                return report(FFGL::getParameterType, "parameter " + std::to_string(i));
            parameter.type = static_cast<std::uint32_t>(type);
            if (parameter.type != FFGL::typeText)
            {
                const FFGL::Word defaultValue = call(FFGL::getParameterDefault, i, 0);
                if (FFGL::isFail(defaultValue))
                    return report(FFGL::getParameterDefault, "parameter " + std::to_string(i));
                parameter.defaultValue = FFGL::toFloat(defaultValue);
            }
            parameters.push_back(parameter);
        }
        minimumInputs = static_cast<std::uint32_t>(call(FFGL::getPluginCaps, FFGL::capMinimumInputs, 0));
        maximumInputs = static_cast<std::uint32_t>(call(FFGL::getPluginCaps, FFGL::capMaximumInputs, 0));
        return true;
    }

    void PluginModule::printInformation() const
    {
        const auto* info = FFGL::toPointer<const PluginInfoStruct>(call(FFGL::getInfo, 0, 0));
        std::printf("Plugin %s\n", path.c_str());
        std::printf("  name \"%s\", id \"%s\", %s, FFGL API %u.%03u\n", fixedText(info->PluginName, 16).c_str(),
                    fixedText(info->PluginUniqueID, 4).c_str(),
                    info->PluginType == FFGL::pluginEffect   ? "effect"
                    : info->PluginType == FFGL::pluginSource ? "source"
                                                             : "unknown type",
                    info->APIMajorVersion, info->APIMinorVersion);
        const FFGL::Word extendedWord = call(FFGL::getExtendedInfo, 0, 0);
        if (extendedWord != 0 && ! FFGL::isFail(extendedWord))
        {
            const auto* extended = FFGL::toPointer<const PluginExtendedInfoStruct>(extendedWord);
            std::printf("  version %u.%u, \"%s\", about \"%s\"\n", extended->PluginMajorVersion,
                        extended->PluginMinorVersion, extended->Description != nullptr ? extended->Description : "",
                        extended->About != nullptr ? extended->About : "");
        }
        std::printf("  inputs %u to %u, OpenGL processing %s\n", minimumInputs, maximumInputs,
                    call(FFGL::getPluginCaps, FFGL::capProcessOpenGL, 0) == 1 ? "yes" : "no");
        std::printf("  %-5s %-16s %-9s %s\n", "index", "name", "type", "default (normalised)");
        for (const Parameter& parameter : parameters)
        {
            if (parameter.type == FFGL::typeText)
            {
                const FFGL::Word text = call(FFGL::getParameterDefault, parameter.index, 0);
                std::printf("  %-5u %-16s %-9s \"%s\"\n", parameter.index, parameter.name.c_str(),
                            typeName(parameter.type),
                            text != 0 && ! FFGL::isFail(text) ? FFGL::toPointer<const char>(text) : "");
            }
            else
                std::printf("  %-5u %-16s %-9s %.4g\n", parameter.index, parameter.name.c_str(),
                            typeName(parameter.type), static_cast<double>(parameter.defaultValue));
        }
    }

    bool PluginModule::instantiate(std::uint32_t width, std::uint32_t height)
    {
        FFGLViewportStructTag viewport{0, 0, width, height};
        const FFGL::Word answer = call(FFGL::instantiateGL, FFGL::fromPointer(&viewport), 0);
        if (answer == 0 || FFGL::isFail(answer))
            return report(FFGL::instantiateGL, std::to_string(width) + " x " + std::to_string(height));
        instance = answer;
        return true;
    }

    PluginModule::Parameter* PluginModule::findParameter(const std::string& name)
    {
        const std::string wanted = lowerCase(name);
        for (Parameter& parameter : parameters)
            if (lowerCase(parameter.name) == wanted)
                return &parameter;
        return nullptr;
    }

    bool PluginModule::setFloat(std::uint32_t index, float value)
    {
        SetParameterStruct record{index, FFGL::fromFloat(value)};
        if (call(FFGL::setParameter, FFGL::fromPointer(&record), instance) != FFGL::success)
            return report(FFGL::setParameter, "parameter " + std::to_string(index));
        return true;
    }

    std::string PluginModule::getDisplay(std::uint32_t index) const
    {
        const FFGL::Word text = call(FFGL::getParameterDisplay, index, instance);
        if (text == 0 || FFGL::isFail(text))
            return {};
        return FFGL::toPointer<const char>(text);
    }

    float PluginModule::getNormalised(std::uint32_t index) const
    {
        return FFGL::toFloat(call(FFGL::getParameter, index, instance));
    }

    bool PluginModule::displayedNumber(std::uint32_t index, float position, double& number)
    {
        return setFloat(index, position) && parseNumber(getDisplay(index), number);
    }

    bool PluginModule::learnRange(Parameter& parameter)
    {
        const std::uint32_t index = parameter.index;
        double atLow = 0.0, atHigh = 0.0;
        if (! displayedNumber(index, 0.0f, atLow) || ! displayedNumber(index, 1.0f, atHigh) || atLow == atHigh)
            return false;

        // Bisection from start (showing startNumber) toward end (showing
        // another number) down to two neighbouring floats across the first
        // change of the text: where (between them) and value (halfway
        // between the two numbers shown there).
        auto findChange =
            [&](float start, float end, double startNumber, double endNumber, double& where, double& value)
        {
            float near = start, far = end;
            double farNumber = endNumber;
            for (int step = 0; step < 160; ++step)
            {
                const auto middle = static_cast<float>((double(near) + double(far)) / 2.0);
                if (middle == near || middle == far)
                    break;
                double number = 0.0;
                if (! displayedNumber(index, middle, number))
                    return false;
                if (number == startNumber)
                    near = middle;
                else
                {
                    far = middle;
                    farNumber = number;
                }
            }
            where = (double(near) + double(far)) / 2.0;
            value = (startNumber + farNumber) / 2.0;
            return true;
        };
        double firstAt = 0.0, first = 0.0, lastAt = 0.0, last = 0.0;
        if (! findChange(0.0f, 1.0f, atLow, atHigh, firstAt, first) ||
            ! findChange(1.0f, 0.0f, atHigh, atLow, lastAt, last))
            return false;
        if (lastAt - firstAt < 1e-6)
        {
            // One change only: the ends are known to half a step of the display.
            parameter.low = atLow;
            parameter.high = atHigh;
            parameter.roundedEnds = true;
        }
        else
        {
            const double slope = (last - first) / (lastAt - firstAt);
            parameter.low = first - firstAt * slope;
            parameter.high = parameter.low + slope;
            parameter.roundedEnds = false;
        }
        parameter.rangeKnown = true;
        return true;
    }

    bool PluginModule::setParameter(const std::string& name, const std::string& value, bool normalised)
    {
        Parameter* parameter = findParameter(name);
        if (parameter == nullptr)
        {
            std::string known;
            for (const Parameter& p : parameters)
                known += (known.empty() ? "\"" : ", \"") + p.name + "\"";
            std::fprintf(stderr, "vxffglhost: the plugin has no parameter \"%s\" (it has %s)\n", name.c_str(),
                         known.c_str());
            return false;
        }

        switch (parameter->type)
        {
            case FFGL::typeBoolean:
            case FFGL::typeEvent:
            {
                bool on = false;
                double number = 0.0;
                if (normalised && parseNumber(value, number) && number >= 0.0 && number <= 1.0)
                    return setFloat(parameter->index, static_cast<float>(number));
                if (! parseSwitch(value, on))
                {
                    std::fprintf(stderr, "vxffglhost: \"%s\" takes on or off, not \"%s\"\n", parameter->name.c_str(),
                                 value.c_str());
                    return false;
                }
                return setFloat(parameter->index, on ? 1.0f : 0.0f);
            }
            case FFGL::typeText:
            {
                SetParameterStruct record{parameter->index, FFGL::fromPointer(value.c_str())};
                if (call(FFGL::setParameter, FFGL::fromPointer(&record), instance) != FFGL::success)
                    return report(FFGL::setParameter, "parameter " + std::to_string(parameter->index));
                return true;
            }
            default:
                break;
        }

        double number = 0.0;
        if (! parseNumber(value, number))
        {
            std::fprintf(stderr, "vxffglhost: \"%s\" takes a number, not \"%s\"\n", parameter->name.c_str(),
                         value.c_str());
            return false;
        }
        if (normalised)
        {
            if (number < 0.0 || number > 1.0)
            {
                std::fprintf(stderr, "vxffglhost: a normalised value of \"%s\" lies in 0 .. 1, not %g\n",
                             parameter->name.c_str(), number);
                return false;
            }
            return setFloat(parameter->index, static_cast<float>(number));
        }

        // FFGL exchanges standard parameters normalised; the parameter's own
        // range shows in its display texts. Probing moves the parameter: a
        // refused value leaves it as it was.
        const float before = getNormalised(parameter->index);
        const bool learnt = learnRange(*parameter);
        const double low = parameter->low, high = parameter->high;
        if (! learnt)
        {
            std::fprintf(stderr,
                         "vxffglhost: the display texts of \"%s\" show no range; set it normalised "
                         "(--set-normalised)\n",
                         parameter->name.c_str());
            setFloat(parameter->index, before);
            return false;
        }
        const double position = (number - low) / (high - low);
        // Ends read off the texts at 0 and 1 are off by up to half a step of
        // the display, here the whole range; learnt ones carry the float
        // steps of the probes only.
        const double slack = parameter->roundedEnds ? 0.5 : 1e-6;
        if (position < -slack || position > 1.0 + slack)
        {
            std::fprintf(stderr, "vxffglhost: \"%s\" lies in %g .. %g, not %g\n", parameter->name.c_str(),
                         std::min(low, high), std::max(low, high), number);
            setFloat(parameter->index, before);
            return false;
        }
        return setFloat(parameter->index, static_cast<float>(std::clamp(position, 0.0, 1.0)));
    }

    std::string PluginModule::describeCurrentValues() const
    {
        std::string line = "Parameters:";
        for (const Parameter& parameter : parameters)
        {
            std::string shown = getDisplay(parameter.index);
            if (parameter.rangeKnown)
            {
                const double position = getNormalised(parameter.index);
                char number[32];
                std::snprintf(number, sizeof number, "%g", parameter.low + position * (parameter.high - parameter.low));
                shown = number;
            }
            line += " " + parameter.name + "=" + shown;
        }
        return line;
    }

    void PluginModule::printCurrentValues() const
    {
        std::printf("%s\n", describeCurrentValues().c_str());
    }

    bool PluginModule::processFrame(ProcessOpenGLStructTag& frame)
    {
        if (call(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance) != FFGL::success)
            return report(FFGL::processOpenGL, "");
        return true;
    }
}
