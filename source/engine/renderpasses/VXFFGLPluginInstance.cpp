#include "engine/renderpasses/VXFFGLPluginInstance.h"

#include "core/VXColor.h"
#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXThread.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <exception>

namespace vx
{
    namespace
    {
        // Texture, colour buffer, depth buffer and current state: what a
        // plugin's frame may change and the host needs back.
        constexpr GLbitfield pluginAttributeMask =
            GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT;
        static_assert(pluginAttributeMask == 0x44101);

        constexpr std::uint32_t typeRed = 2, typeGreen = 3, typeBlue = 4, typeXPosition = 5, typeYPosition = 6,
                                typeHue = 200, typeSaturation = 201, typeBrightness = 202;

        // A count, capability or type answered in the low 32 bits: failure
        // and negative answers read as 0, anything above limit as limit.
        int boundedCount(FFGL::Word word, int limit)
        {
            const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(word));
            return std::clamp(value, 0, limit);
        }

        // At most maxLength characters up to a NUL: a text the plugin did not
        // terminate is never read past its size.
        std::string boundedText(const void* text, int maxLength)
        {
            if (text == nullptr)
                return {};
            const auto* chars = static_cast<const char*>(text);
            return std::string(chars, strnlen(chars, size_t(maxLength)));
        }

        // Whether text, read as boundedText reads it, equals stored: one pass
        // over at most stored's characters and the one after them, stopping
        // at the text's NUL, so an unchanged text costs no length scan of its
        // own and no character past the NUL or maxLength is read.
        bool sameBoundedText(const char* text, const std::string& stored, int maxLength)
        {
            const size_t length = stored.size();
            if (text == nullptr)
                return length == 0;
            if (length > size_t(maxLength))
                return false;
            for (size_t i = 0; i < length; ++i)
            {
                const char c = text[i];
                if (c == '\0' || c != stored[i])
                    return false;
            }
            return length == size_t(maxLength) || text[length] == '\0';
        }

        // A pointer answer; null for failure.
        const char* textAnswer(FFGL::Word word)
        {
            return FFGL::isFail(word) ? nullptr : FFGL::toPointer<const char>(word);
        }

        void logInitError(const char* message)
        {
            logPrint(logError, "%s: %s", "initPluginLibrary", message);
        }
    }

    FFGLPluginInstance::FFGLPluginInstance() : params(std::make_shared<ParamContainer>("Params"))
    {
    }

    FFGLPluginInstance::~FFGLPluginInstance()
    {
        if (entryPoint != nullptr || instanceId != 0)
            debugPrint("FFGLPluginInstance deleted without calling Unload()");
        for (const auto& [param, mirrored] : parameterMap)
            const_cast<ParamBase*>(param)->removeListener(*this);
    }

    void FFGLPluginInstance::setLoaded(bool isLoaded, const std::string& path)
    {
        loaded = isLoaded;
        filePath = path;
    }

    inline FFGL::Word FFGLPluginInstance::call(std::uint32_t code, FFGL::Word input, FFGL::Word instance,
                                               const char* operation, bool* threw) const
    {
        try
        {
            return entryPoint(code, input, instance);
        }
        catch (const std::exception& error)
        {
            logEscapedError(operation, __LINE__, error.what());
        }
        catch (...)
        {
            logEscapedError(operation, __LINE__, "unknown exception from the plugin");
        }
        if (threw != nullptr)
            *threw = true;
        return FFGL::fromU32(FFGL::fail);
    }

    bool FFGLPluginInstance::initPluginLibrary()
    {
        return startPluginLibrary(true);
    }

    bool FFGLPluginInstance::joinPluginLibrary()
    {
        return startPluginLibrary(false);
    }

    bool FFGLPluginInstance::startPluginLibrary(bool initialise)
    {
        if (entryPoint == nullptr)
        {
            logInitError("plugin main function missing, cannot init.");
            return false;
        }
        bool threw = false;
        if (initialise)
        {
            const FFGL::Word initialised = call(FFGL::initialise, 0, 0, "initPluginLibrary", &threw);
            if (threw || initialised != FFGL::success)
            {
                logInitError(threw ? "exception while initializing plugin, init failed."
                                   : "plugin main function was unsuccessfull, init failed.");
                // Not initialised: nothing more goes to it, its de-initialise
                // neither.
                entryPoint = nullptr;
                return false;
            }
        }

        // Parameters left from an earlier load reach no plugin any more: a
        // reloaded instance starts over rather than piling them up.
        params->clearParams(false);
        parameterMap.clear();
        mirroredInOrder.clear();
        releaseParamNames();
        openGL = false;
        numParameters = boundedCount(call(FFGL::getNumParameters, 0, 0, "initPluginLibrary", &threw), maxParameters);
        for (int i = 0; i < numParameters && ! threw; ++i)
        {
            const char* name = textAnswer(call(FFGL::getParameterName, FFGL::Word(i), 0, "initPluginLibrary", &threw));
            setParameterName(i, name != nullptr ? boundedText(name, maxNameLength).c_str() : "Untitled");
        }

        const FFGL::Word infoWord = call(FFGL::getInfo, 0, 0, "initPluginLibrary", &threw);
        const auto* info = FFGL::isFail(infoWord) ? nullptr : FFGL::toPointer<const PluginInfoStruct>(infoWord);
        if (info == nullptr || threw)
        {
            logInitError("plugin information missing, init failed.");
            return false;
        }
        pluginType = info->PluginType;
        pluginName = boundedText(info->PluginName, maxNameLength);
        const std::string infoUniqueId = boundedText(info->PluginUniqueID, maxUniqueIdLength);

        shortName = "EXT";
        if (! FFGL::isFail(call(FFGL::getPluginShortName, 0, 0, "initPluginLibrary", &threw)))
            if (const char* text = textAnswer(call(FFGL::getPluginShortName, 0, 0, "initPluginLibrary", &threw)))
                shortName = boundedText(text, maxNameLength);
        description.clear();
        about.clear();
        const FFGL::Word extendedWord = call(FFGL::getExtendedInfo, 0, 0, "initPluginLibrary", &threw);
        if (extendedWord != 0 && ! FFGL::isFail(extendedWord))
        {
            const auto* extended = FFGL::toPointer<const PluginExtendedInfoStruct>(extendedWord);
            description = boundedText(extended->Description, maxInfoTextLength);
            about = boundedText(extended->About, maxInfoTextLength);
        }

        if (call(FFGL::getPluginCaps, FFGL::capProcessOpenGL, 0, "initPluginLibrary", &threw) != 1 || threw)
        {
            logInitError("plugin doesn't support opengl rendering, cannot init parameters.");
            return ! threw;
        }
        openGL = true;
        uniqueId = infoUniqueId;
        minInputFrames = boundedCount(call(FFGL::getPluginCaps, FFGL::capMinimumInputs, 0, "initPluginLibrary", &threw),
                                      inputFramesLimit);
        maxInputFrames = boundedCount(call(FFGL::getPluginCaps, FFGL::capMaximumInputs, 0, "initPluginLibrary", &threw),
                                      inputFramesLimit);
        if (minInputFrames > maxInputFrames)
        {
            // Every input the plugin requires gets a record it may read.
            logPrint(logWarning, "FFGLPluginInstance: \"%s\" requires %d inputs but takes at most %d; %d records",
                     pluginName.c_str(), minInputFrames, maxInputFrames, minInputFrames);
            maxInputFrames = minInputFrames;
        }
        allocateInputs();
        makeParameters();
        if (threw)
        {
            logInitError("exception while asking the plugin, init failed.");
            return false;
        }
        return true;
    }

    void FFGLPluginInstance::makeParameters()
    {
        std::vector<std::uint32_t> types(size_t(numParameters), 0);
        for (int i = 0; i < numParameters; ++i)
            types[size_t(i)] = std::uint32_t(call(FFGL::getParameterType, FFGL::Word(i), 0, "initPluginLibrary"));

        for (int i = 0; i < numParameters; ++i)
        {
            const std::string name = getParameterName(i);
            const std::uint32_t type = types[size_t(i)];
            const auto defaultValue = [&] { return double(getDefaultFloatParameter(i)); };
            switch (type)
            {
                case FFGL::typeBoolean:
                    addMirrored(params->addParamBool(name, defaultValue() > 0.0), i, Kind::boolean, true);
                    break;
                case FFGL::typeEvent:
                    addMirrored(params->addParamEvent(name), i, Kind::boolean, true);
                    break;
                case typeRed:
                case typeGreen:
                case typeBlue:
                    addMirrored(params->addParamColorChannel(name, int(type - typeRed), defaultValue()), i, Kind::range,
                                false);
                    break;
                case typeXPosition:
                case typeYPosition:
                case FFGL::typeStandard:
                case typeSaturation:
                case typeBrightness:
                    addMirrored(params->addParamRange(name, defaultValue()), i, Kind::range, true);
                    break;
                case FFGL::typeText:
                {
                    const char* text = getDefaultTextParameter(i);
                    addMirrored(params->addParamString(name, text != nullptr ? text : "Insert text"), i, Kind::text,
                                false);
                    break;
                }
                case typeHue:
                    if (i + 2 < numParameters && types[size_t(i + 1)] == typeSaturation &&
                        types[size_t(i + 2)] == typeBrightness)
                    {
                        addMirrored(params->addParamColor(name, Color::black), i, Kind::colour, false);
                        i += 2;
                    }
                    else
                        addMirrored(params->addParamColorChannel(name, ParamColor::ColorChannel_Hue, defaultValue()), i,
                                    Kind::range, false);
                    break;
                default:
                    break; // no engine parameter for this type
            }
        }
    }

    void FFGLPluginInstance::addMirrored(const std::shared_ptr<ParamBase>& param, int index, Kind kind, bool valueView)
    {
        if (valueView)
        {
            ParamView view;
            view.setShowValueDescription(true);
            params->setViewForParam(param, view, false);
        }
        param->addListener(*this, false);
        parameterMap[param.get()] = {index, kind};
        mirroredInOrder.emplace_back(param.get(), Mirrored{index, kind});
    }

    bool FFGLPluginInstance::deinitPluginLibrary()
    {
        return endPluginLibrary(true);
    }

    bool FFGLPluginInstance::forgetPluginLibrary()
    {
        return endPluginLibrary(false);
    }

    bool FFGLPluginInstance::endPluginLibrary(bool deInitialise)
    {
        if (instanceId != 0)
        {
            debugPrint("Failed to call DeInstantiateGL() before calling DeinitPluginLibrary()");
            return false;
        }
        FFGL::Word answer = FFGL::fromU32(FFGL::fail);
        if (entryPoint != nullptr)
        {
            answer = FFGL::fromU32(FFGL::success);
            if (deInitialise)
                answer = call(FFGL::deInitialise, 0, 0, "deinitPluginLibrary");
            if (answer != FFGL::success)
                debugPrint("FreeFrame DeInit failed");
            entryPoint = nullptr;
        }
        for (const auto& [param, mirrored] : parameterMap)
            const_cast<ParamBase*>(param)->removeListener(*this);
        parameterMap.clear();
        mirroredInOrder.clear();
        releaseParamNames();
        releaseInputs();
        return ! FFGL::isFail(answer);
    }

    FFGL::Word FFGLPluginInstance::callGL(std::uint32_t code, FFGL::Word input, FFGL::Word instance,
                                          const char* operation, bool& ok) const
    {
        bool threw = false;
        glPushAttrib(pluginAttributeMask);
        const FFGL::Word answer = call(code, input, instance, operation, &threw);
        glPopAttrib();
        ok = ! threw && ! FFGL::isFail(answer);
        return answer;
    }

    bool FFGLPluginInstance::instantiateGL(int x, int y, int width, int height)
    {
        if (instanceId != 0)
            return true;
        if (entryPoint == nullptr)
            return false;
        FFGLViewportStructTag viewport{std::uint32_t(x), std::uint32_t(y), std::uint32_t(width), std::uint32_t(height)};
        bool ok = false;
        const FFGL::Word answer = callGL(FFGL::instantiateGL, FFGL::fromPointer(&viewport), 0, "instantiateGL", ok);
        if (! ok || answer == 0)
            return false;
        instanceId = answer;
        glThread = Thread::getCurrentThreadID();
        return true;
    }

    bool FFGLPluginInstance::deInstantiateGL()
    {
        if (instanceId == 0)
            return true;
        bool ok = true;
        if (entryPoint != nullptr)
        {
            callGL(FFGL::deInstantiateGL, 0, instanceId, "deInstantiateGL", ok);
            if (! ok)
                debugPrint("FreeFrame Exception on DEINSTANTIATE");
        }
        instanceId = 0;
        glThread = nullptr;
        return ok;
    }

    bool FFGLPluginInstance::resizeGL(int x, int y, int width, int height)
    {
        if (entryPoint == nullptr || instanceId == 0)
            return false;
        FFGLViewportStructTag viewport{std::uint32_t(x), std::uint32_t(y), std::uint32_t(width), std::uint32_t(height)};
        bool ok = false;
        callGL(FFGL::resize, FFGL::fromPointer(&viewport), instanceId, "resizeGL", ok);
        return ok;
    }

    bool FFGLPluginInstance::connectGL()
    {
        bool ok = false;
        if (entryPoint != nullptr && instanceId != 0)
            callGL(FFGL::connect, 0, instanceId, "connectGL", ok);
        return ok;
    }

    bool FFGLPluginInstance::disconnectGL()
    {
        bool ok = false;
        if (entryPoint != nullptr && instanceId != 0)
            callGL(FFGL::disconnect, 0, instanceId, "disconnectGL", ok);
        return ok;
    }

    bool FFGLPluginInstance::processOpenGL(unsigned int hostFbo)
    {
        if (entryPoint == nullptr || instanceId == 0)
        {
            debugPrint("Invalid CallProcessOpenGL call");
            return false;
        }
        // A required input the caller could not supply fails the frame here:
        // the plugin would read a record that is not there.
        for (int i = 0; i < minInputFrames; ++i)
            if (inputPointers[size_t(i)] == nullptr)
            {
                debugPrint("FFGLPluginInstance::processOpenGL: input %d is missing", i);
                return false;
            }
        ProcessOpenGLStructTag frame{std::uint32_t(minInputFrames), inputPointers.data(), hostFbo};

        // The container holds exactly the mirrored parameters, in this order.
        for (const auto& [param, mirrored] : mirroredInOrder)
            sendValue(*param, mirrored);

        bool ok = false;
        callGL(FFGL::processOpenGL, FFGL::fromPointer(&frame), instanceId, "processOpenGL", ok);
        if (! ok)
            debugPrint("Error on call to FreeFrame::ProcessFrame");
        return ok;
    }

    void FFGLPluginInstance::setTime(double seconds)
    {
        if (entryPoint == nullptr || instanceId == 0)
        {
            debugPrint("Invalid SetTime call");
            return;
        }
        call(FFGL::setTime, FFGL::fromPointer(&seconds), instanceId, "setTime");
    }

    void FFGLPluginInstance::allocateInputs()
    {
        releaseInputs();
        inputRecords.assign(size_t(maxInputFrames), FFGLTextureStruct{});
        inputPointers.assign(size_t(maxInputFrames), nullptr);
    }

    void FFGLPluginInstance::releaseInputs()
    {
        inputRecords.clear();
        inputPointers.clear();
    }

    void FFGLPluginInstance::setInput(int index, Texture* texture, int width, int height)
    {
        if (index < 0 || index >= int(inputRecords.size()))
            return;
        if (texture == nullptr)
        {
            inputPointers[size_t(index)] = nullptr;
            return;
        }
        FFGLTextureStruct& record = inputRecords[size_t(index)];
        record.Width = std::uint32_t(width != 0 ? width : texture->getWidth());
        record.Height = std::uint32_t(height != 0 ? height : texture->getHeight());
        record.HardwareWidth = std::uint32_t(texture->getHardwareWidth());
        record.HardwareHeight = std::uint32_t(texture->getHardwareHeight());
        record.Handle = texture->getGLName();
        inputPointers[size_t(index)] = &record;
    }

    void FFGLPluginInstance::setParameterName(int index, const char* name)
    {
        if (index < 0 || index >= maxParameters)
            return;
        if (parameterNames.size() <= size_t(index))
            parameterNames.resize(size_t(index) + 1);
        parameterNames[size_t(index)] = name != nullptr ? name : "";
    }

    std::string FFGLPluginInstance::getParameterName(int index) const
    {
        return index >= 0 && size_t(index) < parameterNames.size() ? parameterNames[size_t(index)] : std::string();
    }

    void FFGLPluginInstance::releaseParamNames()
    {
        parameterNames.clear();
        numParameters = 0;
    }

    inline bool FFGLPluginInstance::isTextParameter(int index, FFGL::Word instance) const
    {
        return call(FFGL::getParameterType, FFGL::Word(index), instance, "getParameterType") ==
               FFGL::fromU32(FFGL::typeText);
    }

    std::string FFGLPluginInstance::getParameterDisplayValue(int index)
    {
        if (entryPoint == nullptr || instanceId == 0 || ! isParameterIndex(index))
            return {};
        const FFGL::Word answer = call(FFGL::getParameterDisplay, FFGL::Word(index), instanceId, "getParameterDisplay");
        return boundedText(answer != 0 ? textAnswer(answer) : nullptr, maxDisplayLength);
    }

    void FFGLPluginInstance::setFloatParameter(int index, float value)
    {
        if (entryPoint != nullptr && instanceId != 0)
            sendFloat(index, value);
    }

    void FFGLPluginInstance::setTextParameter(int index, const char* text)
    {
        if (entryPoint != nullptr && instanceId != 0)
            sendText(index, text);
    }

    inline void FFGLPluginInstance::sendFloat(int index, float value)
    {
        if (! isParameterIndex(index) || isTextParameter(index, instanceId))
            return;
        SetParameterStruct record{std::uint32_t(index), FFGL::fromFloat(value)};
        call(FFGL::setParameter, FFGL::fromPointer(&record), instanceId, "setFloatParameter");
    }

    inline void FFGLPluginInstance::sendText(int index, const char* text)
    {
        if (! isParameterIndex(index) || ! isTextParameter(index, instanceId))
            return;
        SetParameterStruct record{std::uint32_t(index), FFGL::fromPointer(text)};
        call(FFGL::setParameter, FFGL::fromPointer(&record), instanceId, "setTextParameter");
    }

    float FFGLPluginInstance::getFloatParameter(int index)
    {
        if (entryPoint == nullptr || instanceId == 0 || ! isParameterIndex(index))
        {
            debugPrint("Invalid GetFloatParameter call");
            return 0.0f;
        }
        if (isTextParameter(index, instanceId))
            return 0.0f;
        const FFGL::Word answer = call(FFGL::getParameter, FFGL::Word(index), instanceId, "getFloatParameter");
        return FFGL::isFail(answer) ? 0.0f : FFGL::toFloat(answer);
    }

    const char* FFGLPluginInstance::getTextParameter(int index)
    {
        if (entryPoint == nullptr || instanceId == 0 || ! isParameterIndex(index))
        {
            debugPrint("Invalid GetTextParameter call");
            return nullptr;
        }
        if (! isTextParameter(index, instanceId))
            return nullptr;
        return textAnswer(call(FFGL::getParameter, FFGL::Word(index), instanceId, "getTextParameter"));
    }

    float FFGLPluginInstance::getDefaultFloatParameter(int index)
    {
        if (entryPoint == nullptr || ! isParameterIndex(index) || isTextParameter(index, 0))
            return 0.0f;
        const FFGL::Word answer = call(FFGL::getParameterDefault, FFGL::Word(index), 0, "getDefaultFloatParameter");
        return FFGL::isFail(answer) ? 0.0f : FFGL::toFloat(answer);
    }

    const char* FFGLPluginInstance::getDefaultTextParameter(int index)
    {
        if (entryPoint == nullptr || ! isParameterIndex(index) || ! isTextParameter(index, 0))
            return nullptr;
        return textAnswer(call(FFGL::getParameterDefault, FFGL::Word(index), 0, "getDefaultTextParameter"));
    }

    void FFGLPluginInstance::valueChanged(ParamBase& param, ChangeInfo)
    {
        // Off the render thread the plugin may be inside its frame: the
        // value goes with the next one instead.
        if (instanceId == 0 || Thread::getCurrentThreadID() != glThread)
            return;
        const auto found = parameterMap.find(&param);
        if (found != parameterMap.end())
            sendValue(param, found->second);
    }

    inline void FFGLPluginInstance::sendValue(ParamBase& param, const Mirrored& mirrored)
    {
        if (entryPoint == nullptr || instanceId == 0)
            return;
        const int index = mirrored.index;
        switch (mirrored.kind)
        {
            case Kind::boolean:
                sendFloat(index, static_cast<Param<bool>&>(param).getValue() ? 1.0f : 0.0f);
                break;
            case Kind::range:
                sendFloat(index, float(static_cast<ParamRange&>(param).getValue()));
                break;
            case Kind::text:
                sendText(index, static_cast<Param<std::string>&>(param).getValue().c_str());
                break;
            case Kind::colour:
            {
                const TVec3<float> hsv = static_cast<ParamColor&>(param).getValue().toHSVClamped();
                sendFloat(index, hsv.x);
                sendFloat(index + 1, hsv.y);
                sendFloat(index + 2, hsv.z);
                break;
            }
        }
        // As getParameterDisplayValue, without a copy: an unchanged text is
        // neither copied nor announced again every frame.
        const FFGL::Word answer = call(FFGL::getParameterDisplay, FFGL::Word(index), instanceId, "getParameterDisplay");
        const char* text = answer != 0 ? textAnswer(answer) : nullptr;
        if (! sameBoundedText(text, param.getValueDescription(), maxDisplayLength))
            param.setValueDescription(boundedText(text, maxDisplayLength));
    }

    int FFGLPluginInstance::getParameterIndex(const ParamBase& param) const
    {
        const auto found = parameterMap.find(&param);
        return found != parameterMap.end() ? found->second.index : -1;
    }
}
