#include "engine/ffgl/FreeFrameGLPlugin.h"

#include <cstdio>

namespace
{
    // Shared by every instance that keeps the base display text; enough for
    // "%f" of any float.
    char displayText[128];
}

std::uint32_t CFreeFrameGLPlugin::InitGL(const FFGLViewportStructTag*)
{
    return FFGL::success;
}

std::uint32_t CFreeFrameGLPlugin::DeInitGL()
{
    return FFGL::success;
}

char* CFreeFrameGLPlugin::GetParameterDisplay(std::uint32_t index)
{
    if (self == nullptr)
        return nullptr;
    const std::uint32_t type = self->GetParamType(index);
    if (type == FFGL::fail)
        return nullptr;
    if (type == FFGL::typeText)
    {
        const FFGL::Word text = GetTextParameter(index);
        return FFGL::isFail(text) ? nullptr : FFGL::toPointer<char>(text);
    }

    displayText[0] = '\0';
    std::snprintf(displayText, sizeof displayText, "%f", static_cast<double>(GetFloatParameter(index)));
    return displayText;
}

std::uint32_t CFreeFrameGLPlugin::SetFloatParameter(std::uint32_t, float)
{
    return FFGL::fail;
}

std::uint32_t CFreeFrameGLPlugin::SetTextParameter(std::uint32_t, const char*)
{
    return FFGL::fail;
}

float CFreeFrameGLPlugin::GetFloatParameter(std::uint32_t)
{
    return 0.0f;
}

FFGL::Word CFreeFrameGLPlugin::GetTextParameter(std::uint32_t)
{
    return FFGL::fromU32(FFGL::fail);
}

std::uint32_t CFreeFrameGLPlugin::ProcessOpenGL(ProcessOpenGLStructTag*)
{
    return FFGL::fail;
}

std::uint32_t CFreeFrameGLPlugin::SetTime(double)
{
    return FFGL::fail;
}

std::uint32_t CFreeFrameGLPlugin::GetInputStatus(std::uint32_t index)
{
    const int maxInputs = GetMaxInputs();
    return maxInputs > 0 && index < static_cast<std::uint32_t>(maxInputs) ? 1u : FFGL::fail;
}

char* CFreeFrameGLPlugin::GetShortName()
{
    return nullptr;
}

std::uint32_t CFreeFrameGLPlugin::Connect()
{
    return FFGL::success;
}

std::uint32_t CFreeFrameGLPlugin::Disconnect()
{
    return FFGL::success;
}

std::uint32_t CFreeFrameGLPlugin::Resize(const FFGLViewportStructTag*)
{
    return FFGL::success;
}
