// The recording plugin: plugMain alone, no engine inside.

#include "engine/renderpasses/recorder/VXRecordingPlugin.h"

#include "engine/ffgl/FFGL.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace
{
    using vx::test::Recorder;

    Recorder recorder;
    int glInstance = 1;
    char name[17];
    // Exactly sized heap blocks, unterminated when malformed: a host reading
    // past them trips the address sanitizer.
    std::unique_ptr<char[]> nameBlock(new char[16]), displayBlock(new char[40]), shortNameBlock(new char[20]);
    // Past the host's bound on description and about texts.
    constexpr std::size_t infoTextBlockSize = 1100;
    std::unique_ptr<char[]> descriptionBlock(new char[infoTextBlockSize]), aboutBlock(new char[infoTextBlockSize]);
    PluginExtendedInfoStruct unterminatedInfo{1, 0, descriptionBlock.get(), aboutBlock.get(), 0, nullptr};

    PluginInfoStruct info{1, 500, {'R', 'E', 'C', 'O'}, {'R', 'e', 'c', 'o', 'r', 'd', 'e', 'r'}, 0};
    char texts[] = "Recording plugin\0Vexkit tests";
    PluginExtendedInfoStruct extendedInfo{1, 0, texts, texts + 17, 0, nullptr};
    char defaultText[] = "Default text";

    FFGL::Word answer(std::uint32_t code, FFGL::Word input)
    {
        const vx::test::RecorderScript& script = recorder.script;
        const bool malformed = script.malformed;
        const auto index = std::uint32_t(input);
        switch (code)
        {
            case FFGL::getInfo:
                if (malformed)
                    std::memcpy(info.PluginName, "ABCDEFGHIJKLMNOP", 16);
                return FFGL::fromPointer(&info);
            case FFGL::getNumParameters:
                return FFGL::fromU32(malformed ? 600u : std::uint32_t(script.numParameters));
            case FFGL::getParameterName:
                if (malformed)
                {
                    std::memset(nameBlock.get(), 'N', 16);
                    return FFGL::fromPointer(nameBlock.get());
                }
                std::snprintf(name, sizeof name, "Param %u", index);
                return FFGL::fromPointer(name);
            case FFGL::getParameterDefault:
                return script.types[index % 600] == FFGL::typeText ? FFGL::fromPointer(defaultText)
                                                                   : FFGL::fromFloat(0.5f);
            case FFGL::getParameterDisplay:
                std::memset(displayBlock.get(), 'D', 40);
                if (! malformed)
                    displayBlock[5] = '\0';
                return FFGL::fromPointer(displayBlock.get());
            case FFGL::getParameterType:
                return FFGL::fromU32(script.types[index % 600]);
            case FFGL::getPluginCaps:
                if (index == FFGL::capProcessOpenGL)
                    return script.openGL ? 1u : 0u;
                if (index == FFGL::capMinimumInputs)
                    return FFGL::fromU32(std::uint32_t(malformed ? 3 : script.minInputs));
                if (index == FFGL::capMaximumInputs)
                    return FFGL::fromU32(std::uint32_t(malformed ? 1 : script.maxInputs));
                return 0u;
            case FFGL::getExtendedInfo:
                if (malformed)
                {
                    std::memset(descriptionBlock.get(), 'E', infoTextBlockSize);
                    std::memset(aboutBlock.get(), 'A', infoTextBlockSize);
                    return FFGL::fromPointer(&unterminatedInfo);
                }
                return FFGL::fromPointer(&extendedInfo);
            case FFGL::getPluginShortName:
                std::memset(shortNameBlock.get(), 'S', 20);
                return malformed ? FFGL::fromPointer(shortNameBlock.get()) : FFGL::fromU32(FFGL::fail);
            case FFGL::instantiateGL:
                return FFGL::fromPointer(&glInstance);
            case FFGL::processOpenGL:
            {
                // State the attribute stack holds, changed for the host to
                // restore.
                glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
                glEnable(GL_BLEND);
                glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
                const auto* frame = FFGL::toPointer<const ProcessOpenGLStructTag>(input);
                for (std::uint32_t i = 0; i < frame->numInputTextures && i < 4; ++i)
                    recorder.lastInputHandle[i] = frame->inputTextures[i] ? frame->inputTextures[i]->Handle : 0;
                return FFGL::success;
            }
            default:
                return FFGL::success;
        }
    }
}

extern "C" __attribute__((visibility("default"))) vx::test::Recorder* vxRecorder()
{
    return &recorder;
}

extern "C" __attribute__((visibility("default"))) FFGL::Word plugMain(std::uint32_t code, FFGL::Word input, FFGL::Word)
{
    if (recorder.script.record)
    {
        vx::test::RecordedCall call{code, std::uint32_t(input), 0.0f};
        if (code == FFGL::setParameter)
        {
            const auto* parameter = FFGL::toPointer<const SetParameterStruct>(input);
            call.index = parameter->ParameterNumber;
            call.value = FFGL::toFloat(parameter->NewParameterValue);
        }
        recorder.calls.push_back(call);
    }
    const FFGL::Word result = answer(code, input);
    if (code == recorder.script.throwCode)
        throw std::runtime_error("the recorder threw");
    return code == recorder.script.failCode ? FFGL::fromU32(FFGL::fail) : result;
}
