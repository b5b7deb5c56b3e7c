#include "engine/devices/VXCaptureDevice.h"

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"

#include <epoxy/gl.h>

namespace vx
{
    const TextureFormat CaptureDevice::packedYUVTextureFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, 4, "UYVY422",
                                                              false, 1);

    CaptureDevice::CaptureDevice(const CaptureDeviceInfo& deviceInfo)
        : XmlCapable("CaptureDevice", deviceInfo.name),
          info(deviceInfo),
          params(std::make_shared<ParamContainer>("Capture Params")),
          textureFormat(Texture::RGBA8)
    {
    }

    CaptureDevice::~CaptureDevice() = default;

    bool CaptureDevice::uploadToPixels(std::shared_ptr<Pixels>&)
    {
        return false;
    }

    CaptureDevice::FrameLayout CaptureDevice::getFrameLayout()
    {
        return {width, height, orientation, swizzleMode, needsYUVToRGBA, requiresOpaqueForce()};
    }

    void CaptureDevice::update(const TimeInfo& timeInfo)
    {
        const auto stamp = static_cast<int64_t>(timeInfo.frameCount);
        if (stamp == lastFrameStamp)
            return;
        lastFrameStamp = stamp;
        updateTexture();
    }

    XmlNode* CaptureDevice::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        params->appendAndWrite(element, pool, force);
        return element;
    }

    void CaptureDevice::readStateDerived(const XmlNode& node)
    {
        XmlCapable::findAndRead(&node, *params);
    }
}
