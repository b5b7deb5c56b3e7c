// The module's entry point: dispatches the host's function codes onto the
// current plugin information, the prototype instance and GL instances.

#include "engine/ffgl/FFGLPlugMain.h"
#include "engine/ffgl/FFGLPluginInfo.h"
#include "engine/ffgl/FreeFrameGLPlugin.h"

#include "core/VXLog.h"

#include <algorithm>
#include <exception>

namespace
{
    using FFGL::Word;

    // Answers every parameter question; never given GL.
    CFreeFrameGLPlugin* s_pPrototype = nullptr;

    constexpr Word failWord = FFGL::fromU32(FFGL::fail);

    CFreeFrameGLPlugin* makeInstance()
    {
        const FFGLCreateInstanceFunction factory = g_CurrPluginInfo->GetFactoryMethod();
        if (factory == nullptr)
            return nullptr;
        CFreeFrameGLPlugin* made = nullptr;
        if (factory(&made) != FFGL::success)
        {
            delete made;
            return nullptr;
        }
        return made;
    }

    std::uint32_t initialise()
    {
        if (g_CurrPluginInfo == nullptr)
            return FFGL::fail;
        if (s_pPrototype != nullptr)
            return FFGL::success;
        s_pPrototype = makeInstance();
        return s_pPrototype != nullptr ? FFGL::success : FFGL::fail;
    }

    std::uint32_t deInitialise()
    {
        CFreeFrameGLPlugin* prototype = s_pPrototype;
        s_pPrototype = nullptr;
        delete prototype;
        return FFGL::success;
    }

    bool hasPrototype()
    {
        return initialise() == FFGL::success;
    }

    std::uint32_t getPluginCaps(std::uint32_t capability)
    {
        if (! hasPrototype())
            return FFGL::fail;
        switch (capability)
        {
            case FFGL::capProcessOpenGL:
                return 1;
            case FFGL::capSetTime:
                return s_pPrototype->GetTimeSupported() ? 1 : 0;
            case FFGL::capMinimumInputs:
                return static_cast<std::uint32_t>(std::max(s_pPrototype->GetMinInputs(), 0));
            case FFGL::capMaximumInputs:
                return static_cast<std::uint32_t>(std::max(s_pPrototype->GetMaxInputs(), 0));
            default:
                return 0;
        }
    }

    Word instantiateGL(const FFGLViewportStructTag* viewport)
    {
        if (viewport == nullptr || g_CurrPluginInfo == nullptr)
            return failWord;
        if (! hasPrototype())
            return failWord;

        CFreeFrameGLPlugin* instance = makeInstance();
        if (instance == nullptr)
            return failWord;
        instance->SetSelf(instance);

        // Every parameter starts at the prototype's default.
        const std::uint32_t numParams = s_pPrototype->GetNumParams();
        for (std::uint32_t index = 0; index < numParams; ++index)
        {
            const std::uint32_t type = s_pPrototype->GetParamType(index);
            std::uint32_t answer = FFGL::success;
            if (type == FFGL::typeText)
            {
                answer = instance->SetTextParameter(index, s_pPrototype->GetParamDefaultText(index));
            }
            else
            {
                float value = 0.0f;
                if (! s_pPrototype->GetParamDefaultFloat(index, value))
                    continue; // no entry with this index: nothing to start from
                answer = instance->SetFloatParameter(index, value);
            }
            if (answer == FFGL::fail)
            {
                delete instance;
                return failWord;
            }
        }

        if (instance->InitGL(viewport) != FFGL::success)
        {
            instance->DeInitGL();
            delete instance;
            return failWord;
        }
        return FFGL::fromPointer(instance);
    }

    std::uint32_t deInstantiateGL(CFreeFrameGLPlugin* instance)
    {
        if (instance->IsConnected())
        {
            instance->Disconnect();
            instance->SetConnected(false);
        }
        instance->DeInitGL();
        delete instance;
        return FFGL::success;
    }

    // The type that decides between the text and the float road: the
    // prototype's, or the instance's own table after the host dropped the
    // prototype (code 2) while instances live.
    std::uint32_t parameterType(const CFreeFrameGLPlugin& instance, std::uint32_t index)
    {
        return s_pPrototype != nullptr ? s_pPrototype->GetParamType(index) : instance.GetParamType(index);
    }

    Word dispatch(std::uint32_t code, Word input, Word instanceWord)
    {
        const auto index = static_cast<std::uint32_t>(input & 0xFFFFFFFFu);
        auto* instance = FFGL::toPointer<CFreeFrameGLPlugin>(instanceWord);

        switch (code)
        {
            // Codes that need no instance.
            case FFGL::getInfo:
                return g_CurrPluginInfo != nullptr ? FFGL::fromPointer(g_CurrPluginInfo->GetPluginInfo()) : 0;
            case FFGL::initialise:
                return FFGL::fromU32(initialise());
            case FFGL::deInitialise:
                return FFGL::fromU32(deInitialise());
            case FFGL::getNumParameters:
                return hasPrototype() ? FFGL::fromU32(s_pPrototype->GetNumParams()) : failWord;
            case FFGL::getParameterName:
                return hasPrototype() ? FFGL::fromPointer(s_pPrototype->GetParamName(index)) : 0;
            case FFGL::getParameterDefault:
                return hasPrototype() ? s_pPrototype->GetParamDefault(index) : failWord;
            case FFGL::getPluginCaps:
                return FFGL::fromU32(getPluginCaps(index));
            case FFGL::getExtendedInfo:
                return g_CurrPluginInfo != nullptr ? FFGL::fromPointer(g_CurrPluginInfo->GetPluginExtendedInfo()) : 0;
            case FFGL::getParameterType:
                return hasPrototype() ? FFGL::fromU32(s_pPrototype->GetParamType(index)) : failWord;
            case FFGL::getNumParameterElements:
                return hasPrototype() ? FFGL::fromU32(s_pPrototype->GetNumParamElements(index)) : failWord;
            case FFGL::getParameterUsage:
                return hasPrototype() ? FFGL::fromU32(s_pPrototype->GetParamUsage(index)) : failWord;
            case FFGL::getPluginShortName:
                return hasPrototype() ? FFGL::fromPointer(s_pPrototype->GetShortName()) : 0;
            case FFGL::instantiateGL:
                return instantiateGL(FFGL::toPointer<const FFGLViewportStructTag>(input));
            default:
                break;
        }

        // Codes on an instance.
        if (instance == nullptr)
            return failWord;

        switch (code)
        {
            case FFGL::getParameterDisplay:
                return FFGL::fromPointer(instance->GetParameterDisplay(index));

            case FFGL::setParameter:
            {
                const auto* set = FFGL::toPointer<const SetParameterStruct>(input);
                if (set == nullptr)
                    return failWord;
                if (parameterType(*instance, set->ParameterNumber) == FFGL::typeText)
                    return FFGL::fromU32(instance->SetTextParameter(
                        set->ParameterNumber, FFGL::toPointer<const char>(set->NewParameterValue)));
                return FFGL::fromU32(
                    instance->SetFloatParameter(set->ParameterNumber, FFGL::toFloat(set->NewParameterValue)));
            }

            case FFGL::getParameter:
                if (parameterType(*instance, index) == FFGL::typeText)
                    return instance->GetTextParameter(index);
                return FFGL::fromFloat(instance->GetFloatParameter(index));

            case FFGL::getInputStatus:
                return FFGL::fromU32(instance->GetInputStatus(index));

            case FFGL::processOpenGL:
            {
                auto* frame = FFGL::toPointer<ProcessOpenGLStructTag>(input);
                if (frame == nullptr)
                    return failWord;
                if (! instance->IsConnected())
                {
                    instance->Connect();
                    instance->SetConnected(true);
                }
                return FFGL::fromU32(instance->ProcessOpenGL(frame));
            }

            case FFGL::deInstantiateGL:
                return FFGL::fromU32(deInstantiateGL(instance));

            case FFGL::setTime:
            {
                const auto* time = FFGL::toPointer<const double>(input);
                if (time == nullptr)
                    return failWord;
                return FFGL::fromU32(instance->SetTime(*time));
            }

            case FFGL::connect:
            {
                const std::uint32_t answer = instance->Connect();
                if (answer == FFGL::success)
                    instance->SetConnected(true);
                return FFGL::fromU32(answer);
            }

            case FFGL::disconnect:
            {
                const std::uint32_t answer = instance->Disconnect();
                if (answer == FFGL::success)
                    instance->SetConnected(false);
                return FFGL::fromU32(answer);
            }

            case FFGL::resize:
            {
                const auto* viewport = FFGL::toPointer<const FFGLViewportStructTag>(input);
                if (viewport == nullptr)
                    return failWord;
                return FFGL::fromU32(instance->Resize(viewport));
            }

            default:
                return failWord;
        }
    }
}

extern "C" FFGL::Word plugMain(std::uint32_t code, FFGL::Word input, FFGL::Word instance)
{
    try
    {
        return dispatch(code, input, instance);
    }
    catch (const std::exception& error)
    {
        VX_LOG_ESCAPED_ERROR(error.what());
    }
    catch (...)
    {
        VX_LOG_ESCAPED_ERROR("Unknown exception");
    }
    return failWord;
}
