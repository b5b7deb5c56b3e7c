#include "engine/devices/VXAVFCaptureDevice.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/gfx/VXTexture.h"
#include "platform/avcapture/VXAVCapture.h"

namespace vx
{
    namespace
    {
        constexpr ParamView::ControlType choiceControl = static_cast<ParamView::ControlType>(2);

        struct Preset
        {
            const char* name;
            uint16_t width;
            uint16_t height;
        };
        constexpr Preset presets[] = {{"AVCaptureSessionPreset320x240", 320, 240},
                                      {"AVCaptureSessionPreset352x288", 352, 288},
                                      {"AVCaptureSessionPreset640x480", 640, 480},
                                      {"AVCaptureSessionPreset960x540", 960, 540},
                                      {"AVCaptureSessionPreset1280x720", 1280, 720}};

        // Refills a choice from names, selects the active one and hides the
        // parameter when there is nothing to choose.
        void fillChoice(ParamContainer& params, const std::shared_ptr<ParamChoice<int>>& choice,
                        const std::vector<std::string>& names, int active)
        {
            choice->clearChoices();
            for (size_t i = 0; i < names.size(); ++i)
                choice->addChoice(names[i], int(i), true, true);
            if (active >= 0)
                choice->setValueByIndex(unsigned(active), ValueChangeInfo(ChangeType_Silent));
            ParamView* view = params.getViewForParam(*choice);
            const ParamView current = view != nullptr ? *view : ParamView(choiceControl);
            params.setViewForParam(choice,
                                   current.withVisiblity(choice->getNumChoices() == 0 ? ParamView::visibilityHidden
                                                                                      : ParamView::visibilityShown),
                                   true);
        }
    }

    std::vector<CaptureDeviceInfo::Resolution> getAvailableResolutionsForDevice(const avcapture::Device& device)
    {
        std::vector<CaptureDeviceInfo::Resolution> sizes;
        for (const Preset& preset : presets)
            if (device.supportsSessionPreset(preset.name))
                sizes.push_back({preset.width, preset.height});
        return sizes;
    }

    void AVFCaptureDevice::getAvailableDevices(std::vector<CaptureDeviceInfo*>& infos)
    {
        for (const std::shared_ptr<avcapture::Device>& device : avcapture::getBackend()->devices())
        {
            if (device == nullptr || ! device->hasMediaTypeVideo())
                continue;
            auto* info = new CaptureDeviceInfo();
            info->name = info->description = device->getLocalizedName();
            info->uniqueId = device->getUniqueID();
            info->category = "OSX";
            info->resolutions = getAvailableResolutionsForDevice(*device);
            infos.push_back(info);
        }
    }

    AVFCaptureDevice::AVFCaptureDevice(const CaptureDeviceInfo& deviceInfo)
        : CaptureDevice(deviceInfo), connectionParam(std::make_shared<ParamChoice<int>>("Connection")),
          formatParam(std::make_shared<ParamChoice<int>>("Format")),
          resolutionParam(std::make_shared<ParamChoice<int>>("Resolution"))
    {
        orientation = 1;
        for (const auto& choice : {connectionParam, formatParam, resolutionParam})
        {
            params->addParam(choice);
            params->setViewForParam(choice, ParamView(choiceControl), false);
            choice->addListener(*this, true);
        }
    }

    AVFCaptureDevice::~AVFCaptureDevice()
    {
        for (const auto& choice : {connectionParam, formatParam, resolutionParam})
            choice->removeListener(*this);
        deInitDevice();
    }

    bool AVFCaptureDevice::initDevice()
    {
        capture = std::make_unique<AVFCapture>(*this);

        resolutionParam->clearChoices();
        const std::vector<std::string>& presetNames = capture->getResolutions();
        for (size_t i = 0; i < presetNames.size() && i < info.resolutions.size(); ++i)
            resolutionParam->addChoice(std::to_string(info.resolutions[i].width) +
                                           std::to_string(info.resolutions[i].height),
                                       int(i), true, true);

        fillChoice(*params, connectionParam, capture->getInputs(), capture->getActiveInput());
        fillChoice(*params, formatParam, capture->getFormats(), capture->getActiveFormat());

        capture->start();
        textureFormat = Texture::BGRA8;
        return true;
    }

    void AVFCaptureDevice::deInitDevice()
    {
        if (capture == nullptr)
            return;
        capture->stop();
        capture.reset();
    }

    void AVFCaptureDevice::updateTexture()
    {
        if (capture == nullptr)
            return;
        width = int(capture->getWidth());
        height = int(capture->getHeight());
        // Cameras that pass 4:2:2 through leave the decoding to the consumer.
        needsYUVToRGBA = capture->isPackedYUV();
        textureFormat = needsYUVToRGBA ? packedYUVTextureFormat : Texture::BGRA8;
        capture->uploadToTexture(texture);
    }

    uint16_t AVFCaptureDevice::getTextureWidth() const
    {
        return capture != nullptr ? uint16_t(capture->getTextureWidth()) : 0;
    }

    uint16_t AVFCaptureDevice::getTextureHeight() const
    {
        return capture != nullptr ? uint16_t(capture->getHeight()) : 0;
    }

    bool AVFCaptureDevice::uploadToPixels(std::shared_ptr<Pixels>& pixels)
    {
        return capture != nullptr && capture->uploadToPixels(pixels);
    }

    void AVFCaptureDevice::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (capture == nullptr)
            return;
        if (&param == connectionParam.get())
        {
            const int index = connectionParam->getChoiceIndexByValue();
            capture->stop();
            capture->setInput(index);
            capture->start();
        }
        else if (&param == formatParam.get())
        {
            const int index = formatParam->getChoiceIndexByValue();
            capture->stop();
            capture->setFormat(index);
            capture->start();
        }
    }
}
