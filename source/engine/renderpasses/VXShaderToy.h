#pragma once

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainerListener.h"
#include "core/parameters/VXParamListener.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/geometry/VXQuad.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class AudioSpectrumLink;
    class File;
    class ParamPixels;
    class ParamRange;
    class ParamScript;
    class ParamScripts;
    class Pixels;
    class RenderPass;
    class Renderer;
    class ShaderProgram;
    class Texture;
    template <typename T>
    class Param;

    // The core of the passes whose picture is a fragment shader written in
    // the ShaderToy convention: the user's "Fragment" script defines
    // mainImage(out vec4 fragColor, in vec2 fragCoord) and reads iResolution,
    // iGlobalTime, iChannelResolution, iMouse, iDate, iSampleRate and the
    // samplers iChannel0 to iChannel3. The toy adds "Scripts" (the script and
    // the user's parameters, each mirrored as a uniform of its name),
    // "Status" (the compiler's verdict) and the image channels "Channel1" to
    // "Channel3" to its owner's Params, rebuilds the program when the script
    // or the number of user parameters changes, and draws a full-screen quad.
    //
    // The owner's inputs are bound as iChannel0 and up (a mixer's second
    // input as iChannel1, in place of "Channel1"); the image channels fill
    // the samplers no input takes. "Channel1" carries the audio spectrum
    // instead while the audio link is linked to one.
    //
    // A script that does not compile keeps the last good program drawing;
    // "Status" shows the compiler's log until a changed script compiles.
    //
    // Render thread only (init, release, update, prepareForRender, render,
    // loadChannel); parameter values may change on other threads.
    class ShaderToy : public ParamListener, public ParamContainerListener
    {
    public:
        // The texture is the image's size exactly (not a pooled, padded
        // one): scripts sample channels over 0..1 by fragCoord / iResolution.
        struct Channel
        {
            std::shared_ptr<ParamPixels> param;
            std::unique_ptr<Texture> texture;
            bool dirty = false;
        };

        static constexpr int numChannels = 3;

        // Adds its parameters to owner's Params; owner outlives the toy.
        ShaderToy(RenderPass& owner, const std::string& fragmentText);
        ~ShaderToy() override;

        ShaderToy(const ShaderToy&) = delete;
        ShaderToy& operator=(const ShaderToy&) = delete;

        // Links the audio link to "/audioengine/compositionfft" when the
        // engine holds a float vector there; the next prepareForRender
        // rebuilds. Always true.
        bool init();
        // Program, channel textures and the audio link go.
        void release();
        // Keeps the frame's time and the wall-clock date; answers 0.
        int update(const TimeInfo& info);
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // User parameters are stored so that reading re-creates them, and a
        // changed list rebuilds the program.
        void paramsChanged() override;
        std::shared_ptr<ParamBase> createParamForXmlNode(ParamContainer& container, const XmlNode& node) override;

        // Rebuilds the program when the script changed, the state was read
        // or the number of user parameters differs from the last build,
        // setting "Status" to "Shader OK!" or the compiler's log. True when a
        // program is ready to draw (after a failed build: the last good one).
        bool prepareForRender();
        // Binds inputs and channels, sets the uniforms and draws the quad
        // over the bound target; nothing is drawn without a program. True.
        bool render(Renderer& renderer);

        // Channels 0 to 2 ("Channel1" to "Channel3"); false for another
        // index. The file goes through the image parameter's loader.
        bool loadChannel(const File& file, int index);
        bool loadChannel(std::shared_ptr<Pixels> pixels, int index);

        // Fills "Channel1"'s texture from the audio link's falling peaks, one
        // R32F texel per bin, resized when the number of bins changes, and
        // leaves it bound on unit 1 (and unit 1 active) through the
        // renderer's cache: render unbinds it, another caller calls the
        // cache's unbind2DTextures. False, touching nothing, while unlinked or
        // before the first spectrum.
        bool updateAudioChannel(Renderer& renderer);

        // The owner's state was read: the next prepareForRender rebuilds.
        void postReadState();

        ParamScript& getFragmentScript() const { return *fragment; }
        ParamScripts& getScripts() const { return *scripts; }
        Param<std::string>& getStatus() const { return *status; }
        ParamRange& getAudioLinkParam() const { return *audioLinkParam; }
        // Null when no engine root offered links when the toy was made.
        AudioSpectrumLink* getAudioLink() const { return audioLink.get(); }
        // The program that draws; invalid before the first good build.
        ShaderProgram& getShader() const { return *program; }
        // The texture channel index (0 to 2) holds, or null.
        Texture* getChannelTexture(int index) const;
        // The whole fragment program the next build compiles.
        std::string buildFragmentProgram() const;

    private:
        void fillChannelFromPixels(Channel& channel);
        // A texture of exactly that size and format in the channel (kept when
        // it already is); false, with none, when GL cannot make it.
        static bool fitTexture(Channel& channel, int width, int height, const TextureFormat& format);
        void bindInputs(Renderer& renderer, float* resolutions);
        void setUserUniforms();

        RenderPass& owner;
        std::unique_ptr<ShaderProgram> program;
        std::unique_ptr<ShaderProgram> candidate;
        Quad quad;
        TimeInfo time{0.0};
        float date[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        std::shared_ptr<ParamScripts> scripts;
        std::shared_ptr<ParamScript> fragment;
        std::shared_ptr<Param<std::string>> status;
        std::shared_ptr<ParamRange> audioLinkParam;
        std::shared_ptr<AudioSpectrumLink> audioLink;
        std::vector<std::shared_ptr<Channel>> channels;
        int userParamCount = -1;
        bool dirty = false;
    };
}
