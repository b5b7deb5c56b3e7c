#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/gfx/geometry/VXQuad.h"
#include "engine/renderpasses/VXShaderEffect.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace vx
{
    class File;
    class ParamPixels;
    class Pixels;
    class Texture;
    template <typename T>
    class Param;
    template <typename T>
    class ParamChoice;

    // Multiplies its input by a mask value: one channel of the mask, or its
    // luminance (0.3, 0.59, 0.11), chosen by "Channel", inverted with
    // "Invert". The mask is a texture handed in (borrowed), or else the
    // image in "Image", uploaded to a pooled texture of the pass's own
    // (first row at the top). Normally all four channels are scaled, so
    // premultiplied colour stays premultiplied; in layer-mask mode only
    // alpha is, and only as far as the mask itself is opaque.
    //
    // "Image" may be set on any thread: its notification (taken on the
    // setting thread) hands the image over under a lock and marks the mask
    // changed; the upload happens in the next render. The other calls, and
    // everything touching the textures, run on the render thread.
    class Mask : public ShaderEffect, public ParamListener
    {
    public:
        Mask();
        // Stops listening to "Image"; gives an own texture back.
        ~Mask() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Mask(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Clears the mask, then holds the image in "Image".
        void setMask(std::shared_ptr<Pixels> pixels);
        // Clears the mask ("Image" emptied), then masks with texture.
        void setMask(Texture* texture);
        // Clears the mask, then loads the file into "Image"; false when it
        // cannot be read.
        bool loadMask(File& file);
        // Gives the own texture back, forgets both textures and empties
        // "Image".
        void clearMask();
        // Takes "Image" as it is now: an image of 3 bytes a pixel or fewer
        // disables the "Alpha" choice (a Channel of Alpha falls back to
        // Luminance); the next render uploads it.
        void maskChanged();
        void setLayerMaskModeEnabled(bool enabled) { layerMaskMode = enabled; }
        bool isLayerMaskModeEnabled() const { return layerMaskMode; }

        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // "Image" read from XML.
        void stateChanged(ParamBase& param, ChangeInfo info) override;

        using ShaderEffect::init;
        bool init() override;
        // Gives the own texture back, forgets a texture handed in and frees
        // the program; "Image" is kept for the next render.
        void release() override;
        // False, drawing nothing, without an input, without a usable mask
        // (no texture, an invalid one, no image) or when begin fails. Leaves
        // blending off.
        bool render(Renderer& renderer) override;

    private:
        // The mask to draw with, refilled from the image when that changed;
        // null when there is none.
        Texture* prepareMaskTexture(bool& flip);
        void giveBackOwnTexture();

        Texture* externalMask = nullptr;
        Texture* ownMask = nullptr;
        std::atomic<bool> maskIsChanged{false};
        bool layerMaskMode = false;
        Quad quad;
        std::shared_ptr<ParamPixels> image;
        std::shared_ptr<ParamChoice<int>> channel;
        std::shared_ptr<Param<bool>> invert;

        std::mutex imageLock;
        std::shared_ptr<Pixels> currentImage; // "Image" as its last notification left it
    };
}
