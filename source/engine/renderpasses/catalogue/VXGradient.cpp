#include "engine/renderpasses/catalogue/VXGradient.h"

#include "core/VXMatrix4x4.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"

namespace vx
{
    const char* const Gradient::fsGradient =
        "#version 120\n"
        "uniform vec4 color1; uniform vec4 color2; uniform int direction; uniform vec2 resolution; "
        "uniform float size; uniform float start; "
        "void main() { vec2 p = gl_FragCoord.xy; float t = 0.0; "
        "if (direction == 0) t = (p.x - start) / (resolution.x - start); "
        "else if (direction == 1) t = ((resolution.y - p.y) - start) / (resolution.y - start); "
        "else if (direction == 2) t = distance(p, resolution * 0.5) * size; "
        "else { gl_FragColor = color1; return; } "
        "gl_FragColor = color1 * (1.0 - t) + color2 * t; }";

    Gradient::Gradient() : program(detail::makeProgram())
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        color1 = std::make_shared<ParamColor>("Color 1", Color::red, ParamColor::ChannelMode_HSB);
        params.addParam(color1);
        color2 = std::make_shared<ParamColor>("Color 2", Color::orange, ParamColor::ChannelMode_HSB);
        params.addParam(color2);
        type = params.addParamChoice("Type", {"Horizontal", "Vertical", "Radial"});
        type->setValue(0, ValueChangeInfo(ChangeType_Silent, -1.0));
        start = params.addParamRange("Start", 0.0, ValueRange<double>(0.0, 1.0));
        params.setViewForParam(start, ParamView(ParamView::visibilityShown), false);
        size = params.addParamRange("Size", 0.5, ValueRange<double>(0.0, 1.0));
        params.setViewForParam(size, ParamView(ParamView::visibilityHidden), false);
        type->addListener(*this, false);
    }

    Gradient::~Gradient()
    {
        type->removeListener(*this);
    }

    std::string Gradient::classType()
    {
        static const std::string name = "Gradient";
        return name;
    }

    std::string Gradient::classDisplayStr()
    {
        static const std::string display = "Gradient";
        return display;
    }

    bool Gradient::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string Gradient::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string Gradient::getDescription() const
    {
        return "Gradient";
    }

    bool Gradient::init()
    {
        if (! program->loadString(vsTransform, fsGradient, std::string(), nullptr))
            return false;
        return RenderPass::init();
    }

    void Gradient::release()
    {
        program->release();
        RenderPass::release();
    }

    bool Gradient::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        renderer.setupGuiMatrices(100.0f);
        const float w = float(getWidth()), h = float(getHeight());
        renderer.setWorldMatrix(Matrix4x4::scaling(w, h, 1.0f));
        if (renderer.beginShader(*program))
        {
            const Color first = color1->getValue(), second = color2->getValue();
            const int direction = type->getValue();
            program->setVec4("color1", first.r, first.g, first.b, first.a);
            program->setVec4("color2", second.r, second.g, second.b, second.a);
            program->setInt("direction", direction);
            const float resolution[2] = {w, h};
            program->setVec2("resolution", resolution);
            program->setFloat("size", float((1.0 - size->getValue()) * 0.0075));
            program->setFloat("start", float(start->getValue() * (direction == 0 ? w : h)));
            renderer.drawQuadVBO();
            renderer.getRenderContext().unbindShader();
        }
        end(renderer);
        return true;
    }

    void Gradient::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param != type.get())
            return;
        const int value = type->getValue();
        ParamContainer& params = getParams();
        params.setViewForParam(start, ParamView(value > 1 ? ParamView::visibilityHidden : ParamView::visibilityShown),
                               true);
        params.setViewForParam(size, ParamView(value != 2 ? ParamView::visibilityHidden : ParamView::visibilityShown),
                               true);
    }

    void Gradient::stateChanged(ParamBase&, ChangeInfo)
    {
    }
}
