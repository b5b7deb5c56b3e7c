#include "engine/renderpasses/VXShaderToy.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamPixels.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamScript.h"
#include "core/parameters/VXParamScripts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXAudioSpectrumLink.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/video/formats/VXPixels.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <ctime>

namespace vx
{
    namespace
    {
        const std::string vertexShader =
            "void main()\n { \n gl_TexCoord[ 0 ] = gl_MultiTexCoord0; \n gl_TexCoord[ 1 ] = gl_MultiTexCoord1; \n "
            "gl_TexCoord[ 2 ] = gl_MultiTexCoord2; \n gl_TexCoord[ 3 ] = gl_MultiTexCoord3; \n gl_Position = "
            "gl_Vertex; \n }\n";

        const std::string uniformBlock =
            "uniform vec3 iResolution; \n uniform float iGlobalTime; \n uniform float iChannelTime[ 4 ]; \n uniform "
            "vec3 iChannelResolution[ 4 ]; \n uniform vec4 iMouse; \n uniform sampler2D iChannel0; \n uniform "
            "sampler2D iChannel1; \n uniform sampler2D iChannel2; \n uniform sampler2D iChannel3; \n uniform vec4 "
            "iDate; \n uniform float iSampleRate; \n \n";

        const std::string mainMethod = "\n void main() { vec4 color = vec4( 0.0 ); \n mainImage( color, "
                                       "gl_TexCoord[ 0 ].st * iResolution.xy ); \n gl_FragColor = color; \n }";

        const char* const spectrumPath = "/audioengine/compositionfft";
        const char* const samplerNames[4] = {"iChannel0", "iChannel1", "iChannel2", "iChannel3"};

        // The uniform type a user parameter is mirrored as; null for kinds
        // that are not mirrored.
        const char* uniformTypeOf(const ParamBase& param)
        {
            if (dynamic_cast<const ParamColor*>(&param) != nullptr)
                return "vec4";
            if (dynamic_cast<const Param<double>*>(&param) != nullptr ||
                dynamic_cast<const Param<bool>*>(&param) != nullptr)
                return "float";
            return nullptr;
        }
    }

    ShaderToy::ShaderToy(RenderPass& ownerPass, const std::string& fragmentText)
        : owner(ownerPass), program(std::make_unique<ShaderProgram>()), candidate(std::make_unique<ShaderProgram>())
    {
        program->enableAssertions(false);
        candidate->enableAssertions(false);

        scripts = std::make_shared<ParamScripts>("Scripts");
        scripts->setUserCanAddParams(true);
        scripts->getUserParams()->addListener(*this);
        fragment = scripts->addScript("Fragment", ParamScript::scriptTypeFragmentShader, fragmentText);
        fragment->addListener(*this, false);
        owner.getParams().addParam(scripts);
        status = owner.getParams().addParamString("Status", std::string());

        audioLinkParam = std::make_shared<ParamRange>("Audio Link", 0.0, ValueRange<double>());
        if (AudioSpectrumLinks* links = AudioSpectrumLinks::getCurrent())
            audioLink = links->makeLink(*audioLinkParam, 1000.0);

        for (const char* name : {"Channel1", "Channel2", "Channel3"})
        {
            auto channel = std::make_shared<Channel>();
            channel->param = std::make_shared<ParamPixels>(name);
            channel->param->addListener(*this, false);
            owner.getParams().addParam(channel->param);
            channels.push_back(channel);
        }
    }

    ShaderToy::~ShaderToy()
    {
        scripts->getUserParams()->removeListener(*this);
        fragment->removeListener(*this);
        for (const auto& channel : channels)
            channel->param->removeListener(*this);
        if (audioLink != nullptr)
        {
            audioLink->unlink();
            audioLink.reset();
            // The link's behaviour goes while its owner is still whole.
            audioLinkParam->removeBehaviour();
        }
    }

    bool ShaderToy::init()
    {
        if (audioLink != nullptr)
        {
            std::shared_ptr<ParamBase> spectrum;
            if (auto* registry = ParamCollection::getCurrent())
                spectrum = registry->findParamWithPath(spectrumPath);
            // Anything but a float vector is refused, leaving the channel an
            // ordinary image channel.
            audioLink->link(spectrum);
        }
        dirty = true;
        userParamCount = -1;
        return true;
    }

    void ShaderToy::release()
    {
        program->release();
        candidate->release();
        for (const auto& channel : channels)
            channel->texture.reset();
        if (audioLink != nullptr)
            audioLink->unlink();
    }

    int ShaderToy::update(const TimeInfo& info)
    {
        time = info;
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        date[0] = float(utc.tm_year + 1900);
        date[1] = float(utc.tm_mon + 1);
        date[2] = float(utc.tm_mday);
        date[3] = float(std::min(utc.tm_sec, 59)); // a leap second counts as the minute's last
        return 0;
    }

    void ShaderToy::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == fragment.get())
        {
            dirty = true;
            return;
        }
        for (const auto& channel : channels)
            if (&param == channel->param.get())
                channel->dirty = true;
    }

    void ShaderToy::paramsChanged()
    {
        const ParamContainer& user = *scripts->getUserParams();
        for (int i = 0; i < user.getNumParams(); ++i)
            if (const auto param = user.getParam(i))
                param->setStorage(XmlCapable::storageCreatable);
        dirty = true;
    }

    std::shared_ptr<ParamBase> ShaderToy::createParamForXmlNode(ParamContainer&, const XmlNode&)
    {
        return {};
    }

    std::string ShaderToy::buildFragmentProgram() const
    {
        std::string text = uniformBlock;
        const ParamContainer& user = *scripts->getUserParams();
        for (int i = 0; i < user.getNumParams(); ++i)
        {
            const auto param = user.getParam(i);
            if (const char* type = param != nullptr ? uniformTypeOf(*param) : nullptr)
                text += std::string("uniform ") + type + " " + param->getName() + ";\n";
        }
        return text + fragment->getValue() + mainMethod;
    }

    bool ShaderToy::prepareForRender()
    {
        const int count = scripts->getUserParams()->getNumParams();
        if (! dirty && count == userParamCount)
            return program->isValid();

        userParamCount = count;
        dirty = false;
        // Built aside: a script that does not compile leaves the last good
        // program drawing.
        candidate->release();
        if (! candidate->loadString(vertexShader, buildFragmentProgram(), std::string(), nullptr))
        {
            status->setValue(candidate->getLastError(), ValueChangeInfo());
            candidate->release();
            return program->isValid();
        }
        std::swap(program, candidate);
        candidate->release();
        status->setValue("Shader OK!", ValueChangeInfo());
        return true;
    }

    void ShaderToy::fillChannelFromPixels(Channel& channel)
    {
        const std::shared_ptr<Pixels> pixels = channel.param->getValue();
        if (pixels == nullptr || (! channel.dirty && channel.texture.get() != nullptr))
            return;
        channel.dirty = false;

        // The size is the image's own claim: the buffer must hold it.
        if (pixels->data == nullptr || pixels->width <= 0 || pixels->height <= 0 || pixels->width > 0xFFFF ||
            pixels->height > 0xFFFF ||
            long(Texture::getFrameSize(uint16_t(pixels->width), uint16_t(pixels->height), pixels->format)) >
                long(pixels->dataSize))
        {
            logPrint(logError, "ShaderToy: the image of '%s' (%d x %d) cannot be uploaded",
                     channel.param->getName().c_str(), pixels->width, pixels->height);
            return;
        }
        if (fitTexture(channel, pixels->width, pixels->height, pixels->format))
            channel.texture->update(pixels->data, pixels->width, pixels->height);
    }

    bool ShaderToy::fitTexture(Channel& channel, int width, int height, const TextureFormat& format)
    {
        Texture* texture = channel.texture.get();
        if (texture != nullptr && texture->getWidth() == width && texture->getHeight() == height &&
            texture->getFormat() == format)
            return true;
        channel.texture.reset();
        auto made = std::make_unique<Texture>();
        if (! made->create(width, height, format))
            return false;
        channel.texture = std::move(made);
        return true;
    }

    bool ShaderToy::updateAudioChannel(Renderer& renderer)
    {
        if (audioLink == nullptr || ! audioLink->isLinked())
            return false;
        const std::vector<float>& peaks = audioLink->getFallingData();
        if (peaks.empty())
            return false;
        Channel& channel = *channels[0];
        const int count = int(peaks.size());
        // The image, if any, is uploaded again once the audio stops.
        channel.dirty = true;
        // A spectrum of another length gets a texture of its own width.
        if (count > 0xFFFF || ! fitTexture(channel, count, 1, Texture::R32F))
            return false;

        // Bound where render binds it anyway, through the cache.
        Texture& texture = *channel.texture;
        RenderContext& cache = renderer.getRenderContext();
        // (bind2DTexture enables texturing even when the texture is bound.)
        if (cache.getBoundTexture(1) != texture.getGLName() && ! cache.bind2DTexture(1, texture))
            return false;
        cache.ensureSamplerActive(1);
        // One row from client memory: only a bound unpack buffer or skipped
        // pixels or rows change where it is read from. Without them (as hosts
        // leave it) the values go up as they are; otherwise under the
        // texture's own guarded upload.
        GLint unpackBuffer = 0, skipPixels = 0, skipRows = 0;
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
        glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &skipPixels);
        glGetIntegerv(GL_UNPACK_SKIP_ROWS, &skipRows);
        if (unpackBuffer != 0 || skipPixels != 0 || skipRows != 0)
            return texture.update(peaks.data(), count, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, count, 1, GLenum(texture.getFormat().format),
                        GLenum(texture.getFormat().type), peaks.data());
        return true;
    }

    bool ShaderToy::loadChannel(const File& file, int index)
    {
        if (index < 0 || index >= numChannels)
            return false;
        return channels[size_t(index)]->param->loadFromFile(file, ValueChangeInfo());
    }

    bool ShaderToy::loadChannel(std::shared_ptr<Pixels> pixels, int index)
    {
        if (index < 0 || index >= numChannels)
            return false;
        channels[size_t(index)]->param->setValue(std::move(pixels), ValueChangeInfo());
        return true;
    }

    void ShaderToy::postReadState()
    {
        dirty = true;
    }

    Texture* ShaderToy::getChannelTexture(int index) const
    {
        if (index < 0 || index >= numChannels)
            return nullptr;
        return channels[size_t(index)]->texture.get();
    }

    void ShaderToy::bindInputs(Renderer& renderer, float* resolutions)
    {
        RenderContext& cache = renderer.getRenderContext();
        const int inputs = std::clamp(owner.getNumInputs(), 0, 4);
        bool taken[4] = {false, false, false, false};
        for (int unit = 0; unit < inputs; ++unit)
        {
            const RenderPassTexture* slot = owner.getInput(unit);
            if (slot == nullptr || slot->texture == nullptr)
                continue;
            taken[unit] = true;
            cache.bind2DTexture(unsigned(unit), *slot->texture);
            program->setSampler(samplerNames[unit], unit);
            resolutions[unit * 3] = float(slot->texture->getWidth());
            resolutions[unit * 3 + 1] = float(slot->texture->getHeight());
            resolutions[unit * 3 + 2] = 1.0f;
            const TVec2<float> max = slot->getMaxCoords();
            quad.setMaxCoords(unit, max.x, max.y);
        }

        for (int k = 1; k <= numChannels; ++k)
        {
            if (taken[k])
                continue;
            Channel& channel = *channels[size_t(k - 1)];
            if (k != 1 || ! updateAudioChannel(renderer))
                fillChannelFromPixels(channel);
            Texture* texture = channel.texture.get();
            if (texture == nullptr)
                continue;
            quad.setMaxCoords(k, texture->getMaxU(), texture->getMaxV());
            quad.setFlipTexCoords(k, true);
            cache.bind2DTexture(unsigned(k), *texture);
            program->setSampler(samplerNames[k], k);
            resolutions[k * 3] = float(texture->getWidth());
            resolutions[k * 3 + 1] = float(texture->getHeight());
            resolutions[k * 3 + 2] = 1.0f;
        }
    }

    void ShaderToy::setUserUniforms()
    {
        const ParamContainer& user = *scripts->getUserParams();
        for (int i = 0; i < user.getNumParams(); ++i)
        {
            const auto param = user.getParam(i);
            if (param == nullptr)
                continue;
            const std::string& name = param->getName();
            if (auto* colour = dynamic_cast<ParamColor*>(param.get()))
            {
                const Color& c = colour->getValue();
                program->setVec4(name, c.r, c.g, c.b, c.a);
            }
            else if (auto* event = dynamic_cast<ParamEvent*>(param.get()))
                program->setFloat(name, event->isTriggered() ? 1.0f : 0.0f);
            else if (auto* flag = dynamic_cast<Param<bool>*>(param.get()))
                program->setFloat(name, flag->getValue() ? 1.0f : 0.0f);
            // Range parameters and plain doubles alike: both are declared.
            else if (auto* number = dynamic_cast<Param<double>*>(param.get()))
                program->setFloat(name, float(number->getValue()));
        }
    }

    bool ShaderToy::render(Renderer& renderer)
    {
        RenderContext& cache = renderer.getRenderContext();
        gfx::color(Color(1.0f, 1.0f, 1.0f, 1.0f));
        if (! program->isValid() || ! cache.bindShader(*program))
            return true;

        quad.setNumTexCoords(4);
        program->setVec3("iResolution", float(owner.getWidth()), float(owner.getHeight()), 1.0f);
        program->setFloat("iGlobalTime", float(time.time / 1000.0));

        float resolutions[12] = {};
        bindInputs(renderer, resolutions);
        program->setVec3Array("iChannelResolution", resolutions, 4);
        setUserUniforms();
        program->setVec4("iMouse", 0.0f, 0.0f, 0.0f, 0.0f);
        program->setVec4("iDate", date);
        program->setFloat("iSampleRate", 44100.0f);

        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        cache.unbind2DTextures();
        cache.unbindShader();
        gfx::color(Color(1.0f, 1.0f, 1.0f, 1.0f));
        return true;
    }
}
