#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/xml/VXXmlCapable.h"
#include "engine/devices/VXCaptureDeviceInfo.h"
#include "engine/gfx/VXTextureFormat.h"
#include "engine/gfx/VXTextureRef.h"

namespace vx
{
    class ParamContainer;
    class Pixels;
    class Texture;
    class TimeInfo;

    // A live video input holding a texture with its newest frame. Kinds open
    // their hardware in initDevice and bring frames in through updateTexture;
    // update and updateTexture run on the render thread, the kinds say which
    // fields their capture threads write. Persists as "CaptureDevice" holding
    // its "Capture Params".
    class CaptureDevice : public XmlCapable
    {
    public:
        explicit CaptureDevice(const CaptureDeviceInfo& deviceInfo);
        ~CaptureDevice() override;
        CaptureDevice(const CaptureDevice&) = delete;
        CaptureDevice& operator=(const CaptureDevice&) = delete;

        // Opens the hardware; false on failure.
        virtual bool initDevice() = 0;
        virtual void deInitDevice() = 0;
        virtual void startDevice() { started = true; }
        virtual void stopDevice() { started = false; }
        // Brings the newest frame into the texture (render thread).
        virtual void updateTexture() = 0;
        virtual uint16_t getTextureWidth() const { return static_cast<uint16_t>(width); }
        virtual uint16_t getTextureHeight() const { return static_cast<uint16_t>(height); }
        virtual bool requiresOpaqueForce() { return false; }
        // Copies the newest frame into CPU pixels; the base has none.
        virtual bool uploadToPixels(std::shared_ptr<Pixels>& pixels);

        // What a consumer needs to show the texture, read as one: the
        // picture's size, its row order (orientation 1: first row first),
        // the swizzle, YUV and opaque flags.
        struct FrameLayout
        {
            int width = 0;
            int height = 0;
            int orientation = 0;
            int swizzleMode = 0;
            bool needsYUVToRGBA = false;
            bool forceOpaque = false;
        };
        // The base reads the fields; a kind whose capture thread changes them
        // reads them under the lock it writes them with.
        virtual FrameLayout getFrameLayout();

        // Calls updateTexture once per engine frame (the time's frame count),
        // so devices shared by several sources upload once.
        void update(const TimeInfo& timeInfo);

        Texture* getTexture() const { return texture.get(); }
        std::shared_ptr<ParamContainer> getParams() { return params; }
        std::shared_ptr<const ParamContainer> getParams() const { return params; }
        int getWidth() const { return width; }
        int getHeight() const { return height; }
        int getOrientation() const { return orientation; }
        int getSwizzleMode() const { return swizzleMode; }
        bool needsYUVToRGBAConversion() const { return needsYUVToRGBA; }
        const TextureFormat& getTextureFormat() const { return textureFormat; }

        // Packed 4:2:2 (bytes U Y0 V Y1) in a texture of half the width: each
        // little-endian word, packed 8-8-8-8 into BGRA, reads (Y0, V, Y1, U),
        // the order the format-conversion pass decodes.
        static const TextureFormat packedYUVTextureFormat;
        const std::string& getUniqueId() const { return info.uniqueId; }
        const CaptureDeviceInfo& getDeviceInfo() const { return info; }
        bool isStarted() const { return started; }
        // Its hardware went away: holders let it go and open the id anew.
        bool isDisconnected() const { return disconnected.load(std::memory_order_acquire); }
        void markDisconnected() { disconnected.store(true, std::memory_order_release); }

        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

    protected:
        CaptureDeviceInfo info;
        bool started = false;
        std::shared_ptr<ParamContainer> params;
        int width = 0;
        int height = 0;
        int orientation = 0;
        int swizzleMode = 0;
        bool needsYUVToRGBA = false;
        TextureFormat textureFormat;
        TextureRef texture;
        int64_t lastFrameStamp = -1;

    private:
        std::atomic<bool> disconnected{false};
    };
}
