#pragma once

// What the catalogue's pass suites share: class data, parameter tables and
// the XML round trip checked the same way for every pass, passes rendered
// alone with the GL state they leave checked, pictures in 8 bits and in
// floats, and inputs padded to a power of two.

#include "core/parameters/VXParamRange.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXScopedPackState.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vx::test
{
    // A colour of 0..1 channels in 8 bits, rounded as GL stores it.
    inline PixelRGBA8 px(double r, double g, double b, double a)
    {
        const auto q = [](double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
        return {q(r), q(g), q(b), q(a)};
    }

    // The 0..1 value of an 8-bit channel.
    inline double unit(uint8_t v)
    {
        return double(v) / 255.0;
    }

    struct FloatPixel
    {
        float r = 0, g = 0, b = 0, a = 0;
    };

    // A picture read back as floats: (x, y) with y = 0 the bottom row.
    struct FloatPicture
    {
        int width = 0, height = 0;
        std::vector<FloatPixel> pixels;
        FloatPixel at(int x, int y) const { return pixels.at(size_t(y) * size_t(width) + size_t(x)); }
    };

    inline FloatPicture readBackFloat(const Texture& texture)
    {
        FloatPicture picture{texture.getHardwareWidth(), texture.getHardwareHeight(), {}};
        picture.pixels.resize(size_t(picture.width) * size_t(picture.height));
        GLint previous = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glBindTexture(GL_TEXTURE_2D, texture.getGLName());
        {
            const ScopedPackState pack(4, 0);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, picture.pixels.data());
        }
        glBindTexture(GL_TEXTURE_2D, GLuint(previous));
        return picture;
    }

    // Every pixel from (from, from) up to (to, to) within tolerance.
    inline void expectUniformWithin(const Picture& picture, int from, int to, PixelRGBA8 expected, int tolerance)
    {
        ASSERT_GE(picture.width, to);
        ASSERT_GE(picture.height, to);
        for (int y = from; y < to; ++y)
            for (int x = from; x < to; ++x)
                ASSERT_TRUE(isNear(picture.at(x, y), expected, tolerance))
                    << "pixel " << x << ", " << y << " is " << picture.at(x, y) << ", expected " << expected;
    }

    // The registry's view of a pass kind, as instances answer it.
    struct ClassData
    {
        std::string type, display, uniqueId, description, base;
    };

    // family is the base kind the pass answers to besides its own type
    // ("Effect", "Mixer" or "Generator"); the other two it must not.
    inline void expectClassData(const RenderPass& pass, const ClassData& expected, const std::string& family = "Effect")
    {
        EXPECT_EQ(pass.getClassType(), expected.type);
        EXPECT_EQ(pass.getClassDisplayStr(), expected.display);
        EXPECT_EQ(pass.getDisplayName(), expected.display);
        EXPECT_EQ(pass.getUniqueId(), expected.uniqueId);
        EXPECT_EQ(pass.getDescription(), expected.description);
        EXPECT_EQ(pass.getName(), expected.type);
        for (const std::string& type : {expected.type, expected.base, family, std::string("RenderPass")})
        {
            EXPECT_TRUE(pass.isOfClassType(type)) << type;
            EXPECT_EQ(pass.derivedOfClassType(type), expected.type) << type;
        }
        for (const std::string other : {"Effect", "Mixer", "Generator"})
        {
            if (other == family)
                continue;
            EXPECT_FALSE(pass.isOfClassType(other)) << other;
            EXPECT_EQ(pass.derivedOfClassType(other), "NONE") << other;
        }
    }

    // One parameter as a pass makes it: a range parameter gives its bounds
    // and default; other kinds give NaN there and only their name and kind
    // are compared.
    struct ParamRow
    {
        std::string name;
        std::string kind; // the element name the parameter writes
        double min = std::numeric_limits<double>::quiet_NaN();
        double max = std::numeric_limits<double>::quiet_NaN();
        double defaultValue = std::numeric_limits<double>::quiet_NaN();
    };

    // The pass's parameters in order, "bypassed" included where it stands.
    inline void expectParams(const RenderPass& pass, const std::vector<ParamRow>& rows)
    {
        const ParamContainer& params = pass.getParams();
        ASSERT_EQ(params.getNumParams(), int(rows.size()));
        for (size_t i = 0; i < rows.size(); ++i)
        {
            const auto param = params.getParam(int(i));
            const ParamRow& row = rows[i];
            EXPECT_EQ(param->getName(), row.name) << "parameter " << i;
            EXPECT_EQ(param->getElementName(), row.kind) << row.name;
            if (std::isnan(row.defaultValue))
                continue;
            const auto range = std::dynamic_pointer_cast<ParamRange>(param);
            ASSERT_NE(range, nullptr) << row.name;
            EXPECT_DOUBLE_EQ(range->getMinMaxRange().min, row.min) << row.name;
            EXPECT_DOUBLE_EQ(range->getMinMaxRange().max, row.max) << row.name;
            EXPECT_DOUBLE_EQ(range->getDefaultValue(), row.defaultValue) << row.name;
            EXPECT_DOUBLE_EQ(range->getValue(), row.defaultValue) << row.name;
        }
    }

    // changed's element read into fresh (a new pass of the same kind) writes
    // the same bytes again.
    inline void expectXmlRoundTrip(RenderPass& changed, RenderPass& fresh)
    {
        const std::string written = XmlUtils::writeXmlToString(changed, true);
        ASSERT_FALSE(written.empty());
        const auto document = XmlUtils::loadXmlFromString(written, true);
        ASSERT_NE(document, nullptr);
        fresh.readState(document->first_node(), false);
        EXPECT_EQ(XmlUtils::writeXmlToString(fresh, true), written);
    }

    inline std::shared_ptr<ParamRange> rangeParam(const RenderPass& pass, const std::string& name)
    {
        return std::dynamic_pointer_cast<ParamRange>(pass.getParams().getParamByName(name));
    }

    template <typename T>
    std::shared_ptr<Param<T>> valueParam(const RenderPass& pass, const std::string& name)
    {
        return std::dynamic_pointer_cast<Param<T>>(pass.getParams().getParamByName(name));
    }

    inline void setRange(const RenderPass& pass, const std::string& name, double value)
    {
        const auto param = rangeParam(pass, name);
        ASSERT_NE(param, nullptr) << name;
        param->setValue(value, ValueChangeInfo());
    }

    class CatalogueGLTest : public RenderPassGLTest
    {
    protected:
        void TearDown() override
        {
            DEFAULT_COLOR_FMT = savedColorFormat;
            RenderPassGLTest::TearDown();
        }

        // Renders the pass alone with its output retained; the answer must
        // be expectedAnswer, and right after it blending must be off and
        // every colour channel writable. The output's picture (empty when
        // nothing was rendered).
        Picture run(RenderPass& pass, bool expectedAnswer = true)
        {
            const RenderPassTexture* output = render(pass, expectedAnswer);
            Picture picture = output != nullptr ? readBack(*output->texture) : Picture{};
            pass.retainOutput(false);
            return picture;
        }

        // The same into a floating-point target, so nothing is clamped.
        FloatPicture runFloat(RenderPass& pass)
        {
            DEFAULT_COLOR_FMT = &Texture::RGBA32F;
            const RenderPassTexture* output = render(pass, true);
            FloatPicture picture = output != nullptr ? readBackFloat(*output->texture) : FloatPicture{};
            pass.retainOutput(false);
            DEFAULT_COLOR_FMT = savedColorFormat;
            return picture;
        }

        // A w x h input allocated at the next powers of two, as on cards
        // without non-power-of-two textures: its maximum coordinates are
        // below 1 unless the size is a power of two.
        Texture* makePaddedInput(int w, int h, const std::function<PixelRGBA8(int, int)>& fill)
        {
            const bool saved = GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES;
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
            Texture* texture = makeInput(w, h, fill);
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = saved;
            return texture;
        }

    private:
        const RenderPassTexture* render(RenderPass& pass, bool expectedAnswer)
        {
            pass.retainOutput(true);
            bool answer = false;
            {
                const ScopedRenderState state(renderer->getRenderContext());
                answer = pass.render(*renderer);
                EXPECT_EQ(getInteger(GL_BLEND), 0) << "blending left on";
                GLboolean mask[4] = {};
                glGetBooleanv(GL_COLOR_WRITEMASK, mask);
                EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]) << "a colour channel left masked";
            }
            EXPECT_EQ(answer, expectedAnswer);
            const RenderPassTexture* output = pass.getOutput(0);
            return answer && output->texture != nullptr ? output : nullptr;
        }

        const TextureFormat* savedColorFormat = DEFAULT_COLOR_FMT;
    };
}
