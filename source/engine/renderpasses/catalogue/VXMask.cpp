#include "engine/renderpasses/catalogue/VXMask.h"

#include "core/VXFile.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamPixels.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "gl_TexCoord[0] = gl_MultiTexCoord0; gl_TexCoord[1] = gl_MultiTexCoord1; gl_FrontColor = gl_Color; }";

        const char* const fragmentShaderCode =
            "uniform sampler2D textureSrc; uniform sampler2D textureMask; uniform vec4 channelMask; "
            "uniform int invert; uniform int isLayerMaskMode; uniform vec4 maskBounds; "
            "void main() { vec4 c = texture2D(textureSrc, gl_TexCoord[0].st); "
            "vec4 k = texture2D(textureMask, clamp(gl_TexCoord[1].st, maskBounds.xy, maskBounds.zw)); "
            "float m = dot(k, channelMask); "
            "if (invert == 1) m = 1.0 - m; "
            "if (isLayerMaskMode != 0) { m = mix(1.0, m, k.a); gl_FragColor = c * vec4(1.0, 1.0, 1.0, m); } "
            "else gl_FragColor = c * m; }";

        enum Channel : int
        {
            channelLuminance = 1,
            channelRed = 2,
            channelGreen = 3,
            channelBlue = 4,
            channelAlpha = 5
        };
    }

    Mask::Mask() : ShaderEffect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        image = std::make_shared<ParamPixels>("Image");
        params.addParam(image);
        channel = std::make_shared<ParamChoice<int>>("Channel", channelLuminance);
        channel->addChoice("Luminance", channelLuminance, true, true);
        channel->addChoice("Red", channelRed, true, true);
        channel->addChoice("Green", channelGreen, true, true);
        channel->addChoice("Blue", channelBlue, true, true);
        channel->addChoice("Alpha", channelAlpha, true, true);
        channel->setValue(channelLuminance, ValueChangeInfo(ChangeType_Silent, -1.0));
        params.addParam(channel);
        invert = params.addParamBool("Invert", false);
        image->addListener(*this, false);
    }

    Mask::~Mask()
    {
        image->removeListener(*this);
        giveBackOwnTexture();
    }

    std::string Mask::classType()
    {
        static const std::string type = "Mask";
        return type;
    }

    std::string Mask::classDisplayStr()
    {
        static const std::string display = "Mask";
        return display;
    }

    bool Mask::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string Mask::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string Mask::getDescription() const
    {
        return "Masks your content with another texture.";
    }

    void Mask::setMask(std::shared_ptr<Pixels> pixels)
    {
        clearMask();
        image->setValue(std::move(pixels), ValueChangeInfo());
        maskChanged();
    }

    void Mask::setMask(Texture* texture)
    {
        clearMask();
        externalMask = texture;
    }

    bool Mask::loadMask(File& file)
    {
        clearMask();
        const bool loaded = image->loadFromFile(file, ValueChangeInfo());
        maskChanged();
        return loaded;
    }

    void Mask::giveBackOwnTexture()
    {
        if (ownMask == nullptr)
            return;
        if (TextureManager* textures = TextureManager::getCurrent())
            textures->releaseTexture(*ownMask);
        ownMask = nullptr;
    }

    void Mask::clearMask()
    {
        giveBackOwnTexture();
        externalMask = nullptr;
        image->setValue(std::shared_ptr<Pixels>(), ValueChangeInfo());
    }

    void Mask::maskChanged()
    {
        std::shared_ptr<Pixels> pixels = image->getValue();
        if (pixels != nullptr)
            if (ParamChoice<int>::Choice* alpha = channel->getChoiceByName("Alpha"))
            {
                alpha->setEnabled(pixels->bytesPerPixel > 3);
                if (! alpha->isEnabled() && channel->getValue() == alpha->getValue())
                    channel->setValue(channelLuminance, ValueChangeInfo());
            }
        {
            const std::lock_guard<std::mutex> lock(imageLock);
            currentImage = std::move(pixels);
        }
        maskIsChanged = true;
    }

    void Mask::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == image.get())
            maskChanged();
    }

    void Mask::stateChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param == image.get() && info.state == StateChange_Read)
            maskChanged();
    }

    bool Mask::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    void Mask::release()
    {
        // The GPU side only: "Image" is the user's (and persisted), so it
        // stays and is uploaded again by the next render.
        giveBackOwnTexture();
        externalMask = nullptr;
        maskIsChanged = true;
        ShaderEffect::release();
    }

    Texture* Mask::prepareMaskTexture(bool& flip)
    {
        if (externalMask != nullptr)
        {
            flip = false;
            return externalMask->isValid() ? externalMask : nullptr;
        }
        // The flag first: an image handed over after it was taken marks the
        // mask changed again.
        const bool changed = maskIsChanged.exchange(false);
        std::shared_ptr<Pixels> pixels;
        {
            const std::lock_guard<std::mutex> lock(imageLock);
            pixels = currentImage;
        }
        if (pixels == nullptr || pixels->data == nullptr || pixels->width <= 0 || pixels->height <= 0)
            return nullptr;
        const bool fits = ownMask != nullptr && ownMask->isValid() && ownMask->getWidth() == pixels->width &&
                          ownMask->getHeight() == pixels->height && ownMask->getFormat() == pixels->format;
        if (! fits)
        {
            // A texture of another size or layout goes back to the pool
            // before the next is taken.
            giveBackOwnTexture();
            TextureManager* textures = TextureManager::getCurrent();
            if (textures == nullptr)
                return nullptr;
            ownMask = textures->aquireTexture(uint16_t(pixels->width), uint16_t(pixels->height), pixels->format);
        }
        if (ownMask == nullptr || ! ownMask->isValid())
            return nullptr;
        if (changed || ! fits)
            ownMask->update(pixels->data, pixels->width, pixels->height);
        flip = true; // images are stored top row first
        return ownMask;
    }

    bool Mask::render(Renderer& renderer)
    {
        bool flip = false;
        const Texture* mask = prepareMaskTexture(flip);
        const RenderPassTexture& input = *getInput(0);
        if (mask == nullptr || input.texture == nullptr || ! begin(renderer))
            return false;

        RenderContext& cache = renderer.getRenderContext();
        cache.bind2DTexture(0, *input.texture);
        cache.bind2DTexture(1, *mask);
        ShaderProgram& program = *getShader();
        program.setSampler("textureSrc", 0);
        program.setSampler("textureMask", 1);
        program.setInt("invert", invert->getValue() ? 1 : 0);
        program.setInt("isLayerMaskMode", layerMaskMode ? 1 : 0);
        switch (channel->getValue())
        {
            case channelRed:
                program.setVec4("channelMask", 1.0f, 0.0f, 0.0f, 0.0f);
                break;
            case channelGreen:
                program.setVec4("channelMask", 0.0f, 1.0f, 0.0f, 0.0f);
                break;
            case channelBlue:
                program.setVec4("channelMask", 0.0f, 0.0f, 1.0f, 0.0f);
                break;
            case channelAlpha:
                program.setVec4("channelMask", 0.0f, 0.0f, 0.0f, 1.0f);
                break;
            default:
                program.setVec4("channelMask", 0.3f, 0.59f, 0.11f, 0.0f);
                break;
        }

        // Only the mask's own texels: its pooled texture may be larger.
        setSampleBounds(program, "maskBounds", mask->getMaxU(), mask->getMaxV(), float(mask->getWidth()),
                        float(mask->getHeight()));

        quad.setNumTexCoords(2);
        quad.setMaxCoords(0, input.texture->getMaxU(), input.texture->getMaxV());
        quad.setMaxCoords(1, mask->getMaxU(), mask->getMaxV());
        quad.setFlipTexCoords(1, flip);
        gfx::setBlendMode(gfx::BLEND_ALPHA);
        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        gfx::setBlendMode(gfx::BLEND_OFF);
        cache.unbind2DTextures();
        end(renderer);
        return true;
    }
}
