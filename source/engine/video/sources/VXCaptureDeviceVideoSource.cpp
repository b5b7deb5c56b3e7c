#include "engine/video/sources/VXCaptureDeviceVideoSource.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "core/xml/VXXmlKeptElement.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/devices/VXCaptureDeviceInstanceManager.h"
#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/catalogue/VXDeinterlace.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"

namespace vx
{
    struct CaptureDeviceVideoSource::Pimpl
    {
        CaptureDevice* device = nullptr;
        std::shared_ptr<FormatConversion> conversion;
        std::shared_ptr<Deinterlace> deinterlace;
        std::shared_ptr<Param<bool>> deinterlaceParam;
        // The device's "CaptureDevice" element while the source has no
        // device: read from a stored source, or the state of a device that
        // left. Written back, and read by the next device taken.
        XmlKeptElement storedDevice;
    };

    namespace
    {
        // Back to the manager when there is one; without it (the root went
        // first) straight to the open devices, so the device is not leaked.
        void giveBack(CaptureDevice* device)
        {
            if (device == nullptr)
                return;
            if (CaptureDeviceManager* manager = CaptureDeviceManager::getCurrent())
                manager->releaseDevice(device);
            else
                instanceManager.releaseDevice(device);
        }
    }

    CaptureDeviceVideoSource::CaptureDeviceVideoSource(CaptureDevice* device)
        : PositionableVideoSource("CaptureDeviceVideoSource"), pimpl(std::make_unique<Pimpl>())
    {
        pimpl->deinterlaceParam = getParams()->addParamBool("Deinterlace", false);
        setResizable(false);
        setDevice(device);
    }

    CaptureDeviceVideoSource::CaptureDeviceVideoSource() : CaptureDeviceVideoSource(nullptr) {}

    CaptureDeviceVideoSource::~CaptureDeviceVideoSource()
    {
        giveBack(pimpl->device);
        pimpl->device = nullptr;
    }

    void CaptureDeviceVideoSource::setDevice(CaptureDevice* device)
    {
        giveBack(pimpl->device);
        pimpl->device = device;
        if (device == nullptr)
        {
            setSizeInternal(0, 0);
            return;
        }
        deviceId = device->getUniqueId();
        const CaptureDevice::FrameLayout layout = device->getFrameLayout();
        setSizeInternal(layout.width, layout.height);
        const CaptureDeviceInfo& info = device->getDeviceInfo();
        setSourceInfo(SourceInfo{info.name, info.description, info.uniqueId, info.category}, nullptr);
    }

    CaptureDevice* CaptureDeviceVideoSource::getDevice() const
    {
        return pimpl->device;
    }

    bool CaptureDeviceVideoSource::update(const TimeInfo& info)
    {
        // A device whose hardware went away is let go, its state kept; the
        // id then takes the device plugged in again, which reads that state.
        if (pimpl->device != nullptr && pimpl->device->isDisconnected())
        {
            XmlPool scratch;
            if (const XmlNode* state = pimpl->device->writeState(scratch, true))
                pimpl->storedDevice.keep(*state);
            setDevice(nullptr);
        }
        if (pimpl->device == nullptr && ! deviceId.empty())
            if (CaptureDeviceManager* manager = CaptureDeviceManager::getCurrent())
                if (CaptureDevice* device = manager->getInputDevice(deviceId))
                {
                    if (const XmlNode* state = pimpl->storedDevice.get())
                        device->readState(state, false);
                    pimpl->storedDevice.clear();
                    setDevice(device);
                }
        if (pimpl->device != nullptr)
            pimpl->device->update(info);
        return VideoSource::update(info);
    }

    std::string CaptureDeviceVideoSource::getDescription() const
    {
        if (pimpl->device == nullptr || pimpl->device->getDeviceInfo().description.empty())
            return "Live Feed";
        return pimpl->device->getDeviceInfo().name;
    }

    std::shared_ptr<ParamContainer> CaptureDeviceVideoSource::getSettings() const
    {
        return pimpl->device != nullptr ? pimpl->device->getParams() : nullptr;
    }

    TextureRef CaptureDeviceVideoSource::render(Renderer& renderer, const RenderInfo&)
    {
        CaptureDevice* device = pimpl->device;
        Texture* texture = device != nullptr ? device->getTexture() : nullptr;
        if (texture == nullptr || ! texture->isValid())
            return getNoDeviceTexture();
        // Read as one: the capture thread may change them meanwhile.
        const CaptureDevice::FrameLayout layout = device->getFrameLayout();
        // The picture's size: a YUV device's texture is half as wide.
        setSizeInternal(layout.width, layout.height);
        if (! begin(renderer))
            return getNoDeviceTexture();

        const bool needsConversion = layout.swizzleMode != 0 || layout.needsYUVToRGBA || layout.orientation == 1;
        if (! needsConversion && pimpl->conversion != nullptr)
        {
            chain->removeRenderPass(pimpl->conversion);
            pimpl->conversion.reset();
        }
        else if (needsConversion && pimpl->conversion == nullptr)
        {
            if (RenderPassManager* manager = RenderPassManager::getCurrent())
                pimpl->conversion =
                    std::dynamic_pointer_cast<FormatConversion>(manager->findSharedPass("FormatConversion"));
            if (pimpl->conversion == nullptr || pimpl->conversion->didInitFail())
            {
                pimpl->conversion.reset();
                end(renderer);
                return getNoDeviceTexture();
            }
        }
        if (pimpl->conversion != nullptr)
        {
            FormatConversion& conversion = *pimpl->conversion;
            conversion.toDefaults();
            conversion.setSize(getWidth(), getHeight());
            conversion.YUVToRGBA = layout.needsYUVToRGBA;
            conversion.setSwizzleMode(static_cast<FormatConversion::SwizzleMode>(layout.swizzleMode));
            conversion.forceOpaque = layout.forceOpaque;
            // The conversion draws a texture's first row at the top, which is
            // right for a device whose rows come first row first
            // (orientation 1); rows in GL order (bottom first) are kept.
            if (layout.orientation != 1)
                conversion.enableVerticalFlip();
        }

        if (pimpl->deinterlaceParam->getValue())
        {
            if (pimpl->deinterlace == nullptr)
            {
                pimpl->deinterlace.reset(new Deinterlace(), &GfxObject::deleteUsingManager);
                pimpl->deinterlace->setStorage(XmlCapable::storageNever);
            }
        }
        else if (pimpl->deinterlace != nullptr)
        {
            chain->removeRenderPass(pimpl->deinterlace);
            pimpl->deinterlace.reset();
        }
        // The source's own passes lead, whatever edits, presets and restores
        // did to the chain: the picture is converted and whole before any
        // effect sees it.
        chain->setHeadPasses({pimpl->conversion, pimpl->deinterlace});

        // The input slot covers the texels the device filled.
        chain->setInput(0, texture, texture->getWidth(), texture->getHeight());
        const bool rendered = chain->render(renderer);
        end(renderer);
        return rendered ? chain->stealOutput() : getNoDeviceTexture();
    }

    XmlNode* CaptureDeviceVideoSource::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = PositionableVideoSource::writeStateDerived(pool, force);
        if (element == nullptr)
            return element;
        // Without its device (restored while it was absent) the source finds
        // neither extension nor creator: it names its device itself.
        if (element->first_node("CaptureInfo") == nullptr && ! deviceId.empty())
            element->prepend_node(CaptureDeviceManager::createCaptureInfo(pool, deviceId));
        if (pimpl->device != nullptr)
            pimpl->device->appendAndWrite(element, pool, force);
        else if (XmlNode* stored = pimpl->storedDevice.copyInto(pool))
            element->append_node(stored);
        return element;
    }

    void CaptureDeviceVideoSource::readStateDerived(const XmlNode& node)
    {
        PositionableVideoSource::readStateDerived(node);
        const XmlNode* info = node.first_node("CaptureInfo");
        if (info == nullptr)
            return;
        deviceId = readAttribute(info->first_attribute("deviceId"), std::string());
        CaptureDeviceManager* manager = CaptureDeviceManager::getCurrent();
        CaptureDevice* device = manager != nullptr && ! deviceId.empty() ? manager->getInputDevice(deviceId) : nullptr;
        const XmlNode* stored = node.first_node("CaptureDevice");
        pimpl->storedDevice.clear();
        if (device != nullptr && stored != nullptr)
            device->readState(stored, false);
        else if (stored != nullptr)
            pimpl->storedDevice.keep(*stored);
        setDevice(device);
    }

    const std::shared_ptr<FormatConversion>& CaptureDeviceVideoSource::getFormatConversion() const
    {
        return pimpl->conversion;
    }

    const std::shared_ptr<Deinterlace>& CaptureDeviceVideoSource::getDeinterlace() const
    {
        return pimpl->deinterlace;
    }

    const std::shared_ptr<Param<bool>>& CaptureDeviceVideoSource::getDeinterlaceParam() const
    {
        return pimpl->deinterlaceParam;
    }
}
