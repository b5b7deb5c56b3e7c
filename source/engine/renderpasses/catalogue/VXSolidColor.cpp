#include "engine/renderpasses/catalogue/VXSolidColor.h"

#include "core/VXColor.h"
#include "core/VXRect.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/sources/VXSourceInfo.h"

#include <cstdint>
#include <vector>

namespace vx
{
    SolidColor::SolidColor()
    {
        setName(classType(), true);
        color = getParams().addParamColor("Color", Color::red);
    }

    SolidColor::~SolidColor() = default;

    std::string SolidColor::classType()
    {
        static const std::string type = "SolidColor";
        return type;
    }

    std::string SolidColor::classDisplayStr()
    {
        static const std::string display = "Solid Color";
        return display;
    }

    bool SolidColor::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string SolidColor::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string SolidColor::getDescription() const
    {
        return "Solid Color Source";
    }

    bool SolidColor::init()
    {
        return RenderPass::init();
    }

    bool SolidColor::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        renderer.setupGuiMatrices(100.0f);
        renderer.fillRect(RectT<float>(0.0f, 0.0f, float(getWidth()), float(getHeight())), color->getValue());
        end(renderer);
        return true;
    }

    std::shared_ptr<Pixels> SolidColor::getThumbnail()
    {
        const std::vector<uint32_t> words(size_t(sourceThumbnailWidth) * size_t(sourceThumbnailHeight),
                                          Color::red.rgba());
        return std::make_shared<Pixels>(sourceThumbnailWidth, sourceThumbnailHeight, 4, long(words.size() * 4),
                                        reinterpret_cast<const unsigned char*>(words.data()));
    }
}
