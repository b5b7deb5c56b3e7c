#pragma once

// The GL fixture of the render-pass suites and the small passes they chain.

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXShaderEffect.h"
#include "engine/renderpasses/VXTransformEffect.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace vx::test
{
    // Adds "Amount" to red, green and blue of its input, and records what it
    // was given: a shader effect, so chains of these run that base too.
    class AddConstantPass : public ShaderEffect
    {
    public:
        explicit AddConstantPass(double amountToAdd = 0.1) : ShaderEffect(1)
        {
            setName(classType(), true);
            amount = getParams().addParamRange("Amount", amountToAdd);
        }

        static std::string classType() { return "TestAddConstant"; }
        static RttiObject* creationFunc() { return new AddConstantPass(); }
        std::string getClassType() const override { return classType(); }
        bool isOfClassType(std::string t) const override { return t == classType() || ShaderEffect::isOfClassType(t); }

        static const char* vertexSource()
        {
            return "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
                   "gl_TexCoord[0] = gl_MultiTexCoord0; }";
        }
        const char* fragmentSource() const
        {
            return brokenShader ? "this is no shader"
                                : "uniform sampler2D source; uniform float amount; void main() { gl_FragColor = "
                                  "texture2D(source, gl_TexCoord[0].st) + vec4(amount, amount, amount, 0.0); }";
        }

        using ShaderEffect::init;
        bool init() override { return ShaderEffect::init(vertexSource(), fragmentSource()); }

        bool render(Renderer& renderer) override
        {
            ++renders;
            seenInput = getInput(0)->texture;
            seenWidth = getWidth();
            seenHeight = getHeight();
            if (! begin(renderer))
                return false;
            getShader()->setSampler("source", 0);
            getShader()->setFloat("amount", float(amount->getValue()));
            drawQuad(renderer, false);
            end(renderer);
            return true;
        }

        std::shared_ptr<ParamRange> amount;
        bool brokenShader = false;
        int renders = 0;
        Texture* seenInput = nullptr;
        int seenWidth = 0, seenHeight = 0;
    };

    // Draws red over everything and then reports failure.
    class FailingPass : public Effect
    {
    public:
        FailingPass() : Effect(1) { setName(classType(), true); }
        static std::string classType() { return "TestFailing"; }
        std::string getClassType() const override { return classType(); }

        bool render(Renderer& renderer) override
        {
            ++renders;
            if (begin(renderer))
            {
                gfx::clear(1.0f, 0.0f, 0.0f, 1.0f);
                end(renderer);
            }
            return false;
        }

        int renders = 0;
    };

    // A generator that fills its output with its clear colour.
    class SolidColourPass : public Generator
    {
    public:
        explicit SolidColourPass(const Color& colour = Color(0.0f, 0.0f, 1.0f, 1.0f))
        {
            setName(classType(), true);
            setClearColor(colour);
        }
        static std::string classType() { return "TestSolidColour"; }
        static RttiObject* creationFunc() { return new SolidColourPass(); }
        std::string getClassType() const override { return classType(); }

        bool render(Renderer& renderer) override
        {
            if (! begin(renderer))
                return false;
            end(renderer);
            return true;
        }
    };

    // A picture read back from a texture: (x, y) with y = 0 the bottom row.
    struct Picture
    {
        int width = 0, height = 0;
        std::vector<PixelRGBA8> pixels;
        PixelRGBA8 at(int x, int y) const { return pixels.at(size_t(y) * size_t(width) + size_t(x)); }
    };

    inline Picture readBack(const Texture& texture)
    {
        return {texture.getHardwareWidth(), texture.getHardwareHeight(),
                readTexture(GL_TEXTURE_2D, texture.getGLName())};
    }

    // p with amount added to red, green and blue passes times (in 8 bits).
    inline PixelRGBA8 added(PixelRGBA8 p, int passes, double amount = 0.1)
    {
        const auto add = [&](uint8_t v) { return uint8_t(std::min(255.0, v + passes * amount * 255.0 + 0.5)); };
        return {add(p.r), add(p.g), add(p.b), p.a};
    }

    // Every pixel of the w x h corner within tolerance of expected.
    inline void expectUniform(const Picture& picture, int w, int h, PixelRGBA8 expected, int tolerance)
    {
        ASSERT_GE(picture.width, w);
        ASSERT_GE(picture.height, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_TRUE(isNear(picture.at(x, y), expected, tolerance))
                    << "pixel " << x << ", " << y << " is " << picture.at(x, y) << ", expected " << expected;
    }

    // An engine root with pools, a renderer on the fixture's context and the
    // current render-pass manager holding the test passes, the transform and
    // the chain.
    class RenderPassGLTest : public RenderTargetGLTest
    {
    protected:
        void SetUp() override
        {
            RenderTargetGLTest::SetUp();
            textures().init();
            Renderer::installContextHooks();
            context = contexts.addContext(GLTestContext::getContext(), 0, 1, true, true);
            ASSERT_NE(context, nullptr);
            renderer = context->getRenderer();
            ASSERT_NE(renderer, nullptr);
            RenderPassManager::setCurrent(&manager);
            registerKind(AddConstantPass::classType(), &AddConstantPass::creationFunc, RenderPassCategoryEffect);
            registerKind(SolidColourPass::classType(), &SolidColourPass::creationFunc, RenderPassCategoryGenerator);
            registerKind(TransformEffect::classType(), &TransformEffect::creationFunc, RenderPassCategoryEffect);
            registerKind(RenderPassChain::classType(), &RenderPassChain::creationFunc, RenderPassCategoryAny);
        }

        void TearDown() override
        {
            // Passes dropped by the test wait in the GPU-object manager.
            if (auto* objects = root->getGfxObjectManager())
                objects->cleanAll();
            manager.clear();
            RenderPassManager::clearCurrent(&manager);
            inputs.clear();
            contexts.removeContext(context);
            context.reset();
            Context::rendererHooks = {};
            RenderTargetGLTest::TearDown();
        }

        RenderPassInfo* registerKind(const std::string& name, RenderPassInfo::CreationFunc creationFunc,
                                     RenderPassCategory category)
        {
            if (! manager.registerRenderPass(name, name, creationFunc, category, 1, false, false))
                return nullptr;
            return manager.getRenderPassInfo(name, category);
        }

        // A w x h RGBA8 texture from fill(x, y), y = 0 the bottom row; kept
        // until the test ends.
        Texture* makeInput(int w, int h, const std::function<PixelRGBA8(int, int)>& fill)
        {
            std::vector<PixelRGBA8> data(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    data[size_t(y) * size_t(w) + size_t(x)] = fill(x, y);
            auto texture = std::make_unique<Texture>();
            EXPECT_TRUE(texture->create(data.data(), w, h, Texture::RGBA8));
            inputs.push_back(std::move(texture));
            return inputs.back().get();
        }

        Texture* makeInput(int w, int h, PixelRGBA8 colour)
        {
            return makeInput(w, h, [colour](int, int) { return colour; });
        }

        // A size x size pass with a uniform input of that size.
        void prepare(RenderPass& pass, PixelRGBA8 input, int size = 4)
        {
            pass.setSize(size, size);
            pass.setInput(0, makeInput(size, size, input), 0, 0);
        }

        // Renders through the chain with its output retained; the output's
        // picture, or an empty one when the chain did not render.
        Picture renderAndRead(RenderPassChain& chain)
        {
            chain.retainOutput(true);
            if (! chain.render(*renderer))
                return {};
            const RenderPassTexture* output = chain.getOutput(0);
            return output->texture != nullptr ? readBack(*output->texture) : Picture{};
        }

        ContextManager contexts;
        std::shared_ptr<Context> context;
        Renderer* renderer = nullptr;
        RenderPassManager manager;
        std::vector<std::unique_ptr<Texture>> inputs;
    };
}
