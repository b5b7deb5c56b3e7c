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

        // One unit of the last digit of a number's text ("20.0": 0.1, "40": 1,
        // "1.5e+03": 100).
        double lastDigitStep(const std::string& text)
        {
            const std::size_t exponentAt = std::min(text.find_first_of("eE"), text.size());
            const std::size_t point = text.find('.');
            // Past 400 digits either way the step is 0 or infinite as a double.
            const long decimals = point < exponentAt ? long(std::min<std::size_t>(exponentAt - point - 1, 400)) : 0;
            const long exponent = exponentAt < text.size()
                                      ? std::clamp(std::strtol(text.c_str() + exponentAt + 1, nullptr, 10), -400L, 400L)
                                      : 0L;
            return std::pow(10.0, double(exponent - decimals));
        }

        // Whether a text shows a value: within half a step of its last digit.
        template <typename Reading>
        bool shows(const Reading& reading, double value)
        {
            return std::abs(value - reading.number) <= reading.step * 0.5 * (1.0 + 1e-6) + std::abs(value) * 1e-12;
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

    bool PluginModule::readAt(std::uint32_t index, float position, Reading& reading)
    {
        if (! setFloat(index, position))
            return false;
        reading.text = getDisplay(index);
        if (! parseNumber(reading.text, reading.number))
            return false;
        reading.step = lastDigitStep(reading.text);
        return true;
    }

    bool PluginModule::findChange(std::uint32_t index, const Reading& atZero, const Reading& atOne, int direction,
                                  double threshold, bool strict, Change& change)
    {
        auto passes = [&](const Reading& reading)
        {
            const double key = direction * reading.number;
            return strict ? key > threshold : key >= threshold;
        };
        float near = 0.0f, far = 1.0f;
        change.before = atZero;
        change.after = atOne;
        for (int step = 0; step < 200; ++step)
        {
            const auto middle = static_cast<float>((double(near) + double(far)) / 2.0);
            if (middle == near || middle == far)
                break;
            Reading reading;
            if (! readAt(index, middle, reading))
                return false;
            if (passes(reading))
            {
                far = middle;
                change.after = reading;
            }
            else
            {
                near = middle;
                change.before = reading;
            }
        }
        change.where = (double(near) + double(far)) / 2.0;
        change.lastBefore = near;
        change.firstAfter = far;
        return true;
    }

    bool PluginModule::setInUnits(Parameter& parameter, double number)
    {
        const std::uint32_t index = parameter.index;
        const float before = getNormalised(index);
        auto refuse = [&](const std::string& message)
        {
            setFloat(index, before);
            std::fprintf(stderr, "vxffglhost: \"%s\" %s\n", parameter.name.c_str(), message.c_str());
            return false;
        };
        const std::string unreadable = "shows no range in its display texts; set it normalised (--set-normalised)";

        Reading atZero, atOne;
        if (! readAt(index, 0.0f, atZero) || ! readAt(index, 1.0f, atOne) || atZero.number == atOne.number)
            return refuse(unreadable);
        const int direction = atOne.number > atZero.number ? 1 : -1;
        auto key = [&](double value) { return direction * value; };
        auto halfway = [](const Change& change) { return (change.before.number + change.after.number) / 2.0; };

        // A point of the display's curve: a change of its text, or an end
        // whose value is known; inside is the float next to it that shows the
        // text of the interval it bounds.
        struct Anchor
        {
            double where = 0.0, value = 0.0;
            bool known = false;
            float inside = 0.0f;
            // An end whose value falls short of the text shown there.
            bool shortOfText = false;
        };
        auto anchorAt = [&](const Change& change, bool lowEnd) {
            return Anchor{change.where, halfway(change), true, lowEnd ? change.firstAfter : change.lastBefore, false};
        };
        // An end (top or not) from the line through the two changes nearest
        // it; unknown when there are not two, or when the line misses the
        // end's own text. Short of that text by more than a tenth of a step
        // when the display does not round (one that truncates shows its top
        // text at the very end only). False when the display cannot be read.
        auto lineEnd = [&](bool top, Anchor& anchor)
        {
            const Reading& end = top ? atOne : atZero;
            anchor = {top ? 1.0 : 0.0, 0.0, false, top ? 1.0f : 0.0f, false};
            Change nearest, next;
            if (top ? ! findChange(index, atZero, atOne, direction, key(atOne.number), false, nearest)
                    : ! findChange(index, atZero, atOne, direction, key(atZero.number), true, nearest))
                return false;
            const Reading& inside = top ? nearest.before : nearest.after;
            if (top ? key(atZero.number) >= key(inside.number) : key(atOne.number) <= key(inside.number))
                return true;
            if (! findChange(index, atZero, atOne, direction, key(inside.number), ! top, next))
                return false;
            if (next.where == nearest.where)
                return true;
            const double value = halfway(nearest) + (anchor.where - nearest.where) *
                                                        (halfway(next) - halfway(nearest)) /
                                                        (next.where - nearest.where);
            anchor.known = std::isfinite(value) && std::abs(value - end.number) <= end.step * 0.5 * 1.001;
            anchor.value = value;
            anchor.shortOfText = anchor.known && (top ? 1 : -1) * (key(end.number) - key(value)) > end.step * 0.05;
            return true;
        };
        // An end whose line goes past its text by as much while the other end
        // falls short of its own: the display's texts lie off its line the
        // same way throughout (one that truncates, at its low end), and it
        // never shows what lies beyond that text, the end. A rounding display
        // whose end lies between two texts goes past it at that end alone.
        auto endAnchor = [&](bool top, Anchor& anchor)
        {
            if (! lineEnd(top, anchor))
                return false;
            const Reading& end = top ? atOne : atZero;
            Anchor other;
            if (anchor.known && (top ? 1 : -1) * (key(anchor.value) - key(end.number)) > end.step * 0.05)
            {
                if (! lineEnd(! top, other))
                    return false;
                if (other.shortOfText)
                    anchor.value = end.number;
            }
            return true;
        };
        auto refuseRange = [&]()
        {
            Anchor low, high;
            if (! endAnchor(false, low) || ! endAnchor(true, high))
                return refuse(unreadable);
            // A known end to a tenth of the display's step (the line through
            // two changes misses a curved display's end by a little); the
            // text shown there for an end short of it.
            auto endText = [](const Anchor& anchor, const Reading& end)
            {
                if (! anchor.known || anchor.shortOfText)
                    return end.text;
                char text[32];
                std::snprintf(text, sizeof text, "%g", std::round(anchor.value / end.step * 10.0) * end.step / 10.0);
                return std::string(text);
            };
            std::string lowText = endText(low, atZero), highText = endText(high, atOne);
            if (direction < 0)
                std::swap(lowText, highText);
            char asked[32];
            std::snprintf(asked, sizeof asked, "%g", number);
            return refuse("lies in " + lowText + " .. " + highText + ", not " + asked);
        };

        // The text whose interval holds the number, and the two ends of
        // that interval.
        const double target = key(number);
        Reading shown;
        Anchor low{0.0, 0.0, false, 0.0f, false}, high{1.0, 0.0, false, 1.0f, false};
        bool lowFound = false, highFound = false;
        if (key(atZero.number) >= target)
            shown = atZero;
        else if (key(atOne.number) < target)
            shown = atOne;
        else
        {
            Change change;
            if (! findChange(index, atZero, atOne, direction, target, false, change))
                return refuse(unreadable);
            if (target >= key(halfway(change)))
            {
                shown = change.after;
                low = anchorAt(change, true);
                lowFound = true;
            }
            else
            {
                shown = change.before;
                high = anchorAt(change, false);
                highFound = true;
            }
        }
        Change change;
        if (! lowFound && key(atZero.number) < key(shown.number))
        {
            if (! findChange(index, atZero, atOne, direction, key(shown.number), false, change))
                return refuse(unreadable);
            low = anchorAt(change, true);
        }
        else if (! lowFound && ! endAnchor(false, low))
            return refuse(unreadable);
        if (! highFound && key(atOne.number) > key(shown.number))
        {
            if (! findChange(index, atZero, atOne, direction, key(shown.number), true, change))
                return refuse(unreadable);
            high = anchorAt(change, false);
        }
        else if (! highFound && ! endAnchor(true, high))
            return refuse(unreadable);

        // Between two known points the curve is taken as straight (the
        // interval is one step of the display); past a known end by more
        // than the float steps of the probes is out of range, unless that
        // end falls short of its text and the text shows the number.
        bool between = low.known && high.known && low.value != high.value;
        double position = (low.where + high.where) / 2.0;
        if (between)
        {
            position = low.where + (number - low.value) * (high.where - low.where) / (high.value - low.value);
            if (! (position >= -1e-6 && position <= 1.0 + 1e-6))
            {
                if (! (position > 1.0 ? high : low).shortOfText || ! shows(shown, number))
                    return refuseRange();
                between = false;
            }
            position = std::clamp(position, low.where, high.where);
        }
        // The halfway points lie between two floats; held on the text's side.
        float held = static_cast<float>(position);
        if (low.inside <= high.inside)
            held = std::clamp(held, low.inside, high.inside);
        Reading reading;
        if (! readAt(index, held, reading))
            return refuse(unreadable);
        if (! shows(reading, number))
            return refuseRange();

        parameter.shownValue = reading.text;
        if (between)
        {
            // To a thousandth of the display's step: the float the value is
            // held at puts it off by less, and a 0 is not shown as -2e-08.
            const double grid = reading.step * 1e-3;
            const double onLine =
                low.value + (double(held) - low.where) * (high.value - low.value) / (high.where - low.where);
            const double value = std::round(onLine / grid) * grid + 0.0; // + 0.0: never "-0"
            char text[32];
            std::snprintf(text, sizeof text, "%g", value);
            if (shows(reading, value))
                parameter.shownValue = text;
        }
        parameter.shownAt = getNormalised(index);
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
        parameter->shownAt = -1.0f;

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
        // units show in its display texts.
        return setInUnits(*parameter, number);
    }

    std::string PluginModule::describeCurrentValues() const
    {
        std::string line = "Parameters:";
        for (const Parameter& parameter : parameters)
        {
            std::string shown = getDisplay(parameter.index);
            if (parameter.shownAt >= 0.0f && getNormalised(parameter.index) == parameter.shownAt)
                shown = parameter.shownValue;
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
