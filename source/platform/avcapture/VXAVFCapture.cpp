#include "engine/devices/VXAVFCapture.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/formats/VXPixels.h"
#include "platform/avcapture/VXAVCapture.h"
#include "platform/avcapture/VXPackedYUV.h"
#include "platform/dispatch/VXDispatchQueue.h"

namespace vx
{
    std::atomic<int> AVFCapture::lockRetryTimeoutMs{3000};

    struct AVFCapture::Platform : avcapture::SampleBufferDelegate
    {
        explicit Platform(AVFCapture& capture) : owner(capture) {}
        void captureOutputDidOutputSampleBuffer(avcapture::SampleBuffer& sampleBuffer) override
        {
            owner.captureOutputDidOutputSampleBuffer(sampleBuffer);
        }

        AVFCapture& owner;
        std::shared_ptr<avcapture::Device> device;
        std::shared_ptr<avcapture::DeviceInput> captureInput;
        std::shared_ptr<avcapture::VideoDataOutput> captureOutput;
        std::shared_ptr<avcapture::Session> session;
    };

    AVFCapture::AVFCapture(CaptureDevice& owner)
        : queue(DispatchQueue::createSerial(owner.getUniqueId())), platform(std::make_unique<Platform>(*this))
    {
        initialize(owner);
    }

    AVFCapture::~AVFCapture()
    {
        if (platform->session != nullptr)
        {
            auto running = platform->session;
            auto output = platform->captureOutput;
            queue->async(
                [running, output]
                {
                    if (running->isRunning())
                        running->stopRunning();
                    running->removeAllInputs();
                    running->removeAllOutputs();
                    if (output != nullptr)
                        output->setSampleBufferDelegate(nullptr, nullptr);
                });
        }
        // Frames queued before the delegate went still reach this object.
        queue->sync([] {});
    }

    void AVFCapture::initialize(CaptureDevice& owner)
    {
        captureDevice = &owner;
        std::shared_ptr<avcapture::Backend> backend = avcapture::getBackend();
        platform->device = backend->deviceWithUniqueID(owner.getUniqueId());
        if (platform->device == nullptr)
        {
            logPrint(logError, "Error: %s", ("No capture device with id " + owner.getUniqueId()).c_str());
            return;
        }
        for (const avcapture::InputSource& source : platform->device->getInputSources())
            inputs.push_back(source.localizedName);
        if (auto deviceFormats = platform->device->getFormats())
            for (const avcapture::Dimensions& size : *deviceFormats)
            {
                char text[64];
                std::snprintf(text, sizeof(text), "%d x %d", int(size.width), int(size.height));
                formats.emplace_back(text);
            }

        std::string error;
        platform->captureInput = backend->deviceInputWithDevice(platform->device, error);
        if (platform->captureInput == nullptr)
        {
            logPrint(logError, "Error: %s", error.c_str());
            return;
        }
        platform->captureOutput = backend->createVideoDataOutput();
        platform->session = backend->createSession();
        if (platform->captureOutput == nullptr || platform->session == nullptr)
        {
            logPrint(logError, "Error: %s", "the capture session could not be made");
            platform->captureOutput.reset();
            platform->session.reset();
            return;
        }
        platform->captureOutput->setAlwaysDiscardsLateVideoFrames(true);
        platform->captureOutput->setSampleBufferDelegate(platform.get(), queue);
        platform->session->addInput(platform->captureInput);
        platform->session->addOutput(platform->captureOutput);

        setFormat(0);
        std::lock_guard<std::mutex> hold(frameLock);
        frameBuffer.reset();
        bytesPerRow = 0;
        width = height = 0;
    }

    bool AVFCapture::setInput(int index)
    {
        if (platform->device == nullptr)
            return false;
        const std::vector<avcapture::InputSource> sources = platform->device->getInputSources();
        if (sources.empty() || index < 0 || size_t(index) > sources.size() - 1)
            return false;
        std::string error;
        if (! platform->device->lockForConfiguration(error))
        {
            logPrint(logError, "Error: %s", error.c_str());
            return false;
        }
        bool selected = true;
        try
        {
            platform->device->setActiveInputSource(sources[size_t(index)].inputSourceID);
        }
        catch (const std::exception& raised)
        {
            logPrint(logError, "%s: Selecting input %d failed: %s", "setInput", index, raised.what());
            selected = false;
        }
        platform->device->unlockForConfiguration();
        return selected;
    }

    int AVFCapture::getActiveInput() const
    {
        if (platform->device == nullptr)
            return -1;
        const std::optional<std::string> active = platform->device->getActiveInputSourceID();
        if (! active)
            return -1;
        const std::vector<avcapture::InputSource> sources = platform->device->getInputSources();
        for (size_t i = 0; i < sources.size(); ++i)
            if (sources[i].inputSourceID == *active)
                return int(i);
        return -1;
    }

    bool AVFCapture::setFormat(int index)
    {
        queue->async([this, index] { configureFormat(index); });
        return true;
    }

    void AVFCapture::configureFormat(int index)
    {
        formatIndex.store(index);
        if (platform->device == nullptr || platform->captureOutput == nullptr)
            return;
        const auto deviceFormats = platform->device->getFormats();
        if (! deviceFormats || index < 0 || size_t(index) > deviceFormats->size() - 1)
            return;
        const avcapture::Dimensions size = (*deviceFormats)[size_t(index)];
        const avcapture::VideoSettings settings{double(size.width), double(size.height),
                                                avcapture::kCVPixelFormatType_32BGRA};

        // Another application may hold the device; give up after a while
        // rather than keep the queue (and every frame behind it) forever.
        const double start = getTickCount();
        std::string error;
        while (! platform->device->lockForConfiguration(error))
        {
            logPrint(logError, "Error: %s", error.c_str());
            if (getTickCount() - start >= double(lockRetryTimeoutMs.load()))
            {
                logPrint(logError, "%s: Could not lock '%s' for configuration; format %d not set.", "setFormat",
                         captureDevice->getUniqueId().c_str(), index);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        platform->device->setActiveFormat(size_t(index));
        platform->captureOutput->setVideoSettings(settings);
        platform->device->unlockForConfiguration();
    }

    int AVFCapture::getActiveFormat() const
    {
        if (platform->device == nullptr)
            return -1;
        const std::optional<size_t> active = platform->device->getActiveFormat();
        const auto deviceFormats = platform->device->getFormats();
        if (! active || ! deviceFormats || *active >= deviceFormats->size())
            return -1;
        return int(*active);
    }

    bool AVFCapture::setResolution(int index)
    {
        if (platform->session == nullptr || index < 0 || size_t(index) >= resolutions.size())
            return false;
        return platform->session->canSetSessionPreset(resolutions[size_t(index)]);
    }

    bool AVFCapture::hasSession() const
    {
        return platform->session != nullptr;
    }

    void AVFCapture::captureOutputDidOutputSampleBuffer(avcapture::SampleBuffer& sampleBuffer)
    {
        avcapture::PixelBuffer* image = sampleBuffer.getImageBuffer();
        if (image == nullptr || ! image->lockBaseAddress(0))
            return;
        const uint8_t* base = image->getBaseAddress();
        const size_t rowBytes = image->getBytesPerRow();
        const size_t frameWidth = image->getWidth();
        const size_t frameHeight = image->getHeight();
        const uint32_t format = image->getPixelFormatType();
        const bool yuvs = format == avcapture::kCVPixelFormatType_422YpCbCr8_yuvs;
        const bool planar = format == avcapture::kPixelFormatType_422YpCbCr8Planar ||
                            format == avcapture::kCVPixelFormatType_420YpCbCr8Planar;
        const bool packed = yuvs || planar || format == avcapture::kCVPixelFormatType_422YpCbCr8;
        const size_t texels = packed ? (frameWidth + 1) / 2 : frameWidth;
        // Planar frames are packed as they are copied, into tight rows.
        const uint8_t* planes[3] = {};
        size_t planeRows[3] = {};
        for (size_t i = 0; planar && i < 3; ++i)
        {
            planes[i] = image->getPlaneCount() == 3 ? image->getBaseAddressOfPlane(i) : nullptr;
            planeRows[i] = image->getBytesPerRowOfPlane(i);
        }
        const size_t frameRow = planar ? texels * 4 : rowBytes;
        const bool planesFit = ! planar || (planes[0] != nullptr && planes[1] != nullptr && planes[2] != nullptr &&
                                            planeRows[0] >= frameWidth && planeRows[1] >= texels &&
                                            planeRows[2] >= texels);
        if ((base != nullptr || planar) && planesFit && frameWidth > 0 && frameHeight > 0 && frameWidth <= 65535 &&
            frameHeight <= 65535 && frameRow >= texels * 4 && (packed || format == avcapture::kCVPixelFormatType_32BGRA))
        {
            std::lock_guard<std::mutex> hold(frameLock);
            if (frameBuffer == nullptr || frameRow != bytesPerRow || frameWidth != width || frameHeight != height)
            {
                bytesPerRow = frameRow;
                width = unsigned(frameWidth);
                height = unsigned(frameHeight);
                frameBuffer.reset(new uint8_t[frameRow * frameHeight]);
            }
            packedYUV = packed;
            if (planar)
                packedyuv::packPlanar(planes, planeRows, int(frameWidth), int(frameHeight),
                                      format == avcapture::kCVPixelFormatType_420YpCbCr8Planar ? 1 : 0,
                                      frameBuffer.get(), frameRow);
            else if (yuvs)
                for (size_t y = 0; y < frameHeight; ++y)
                    packedyuv::copySwappingPairs(frameBuffer.get() + y * rowBytes, base + y * rowBytes, texels * 4);
            else
                std::memcpy(frameBuffer.get(), base, rowBytes * frameHeight);
            newFrame = true;
        }
        image->unlockBaseAddress(0);
    }

    bool AVFCapture::uploadToTexture(TextureRef& texture)
    {
        std::lock_guard<std::mutex> hold(frameLock);
        if (frameBuffer == nullptr || ! newFrame)
            return false;
        const int frameWidth = int(packedYUV ? (width + 1) / 2 : width);
        const int frameHeight = int(height);
        const TextureFormat& format = packedYUV ? CaptureDevice::packedYUVTextureFormat : Texture::BGRA8;
        Texture* target = texture.get();
        if (target == nullptr || ! target->isValid() || target->getWidth() != frameWidth ||
            target->getHeight() != frameHeight || target->getFormat() != format)
        {
            Texture* made = nullptr;
            if (TextureManager* manager = TextureManager::getCurrent())
                made = manager->aquireTexture(uint16_t(frameWidth), uint16_t(frameHeight), format);
            else
            {
                made = new Texture();
                made->create(frameWidth, frameHeight, format);
            }
            texture.reset(made);
            if (made == nullptr || ! made->isValid())
            {
                texture.reset();
                return false;
            }
            target = made;
        }
        if (bytesPerRow % 4 == 0)
            target->updateRows(frameBuffer.get(), frameWidth, frameHeight, int(bytesPerRow));
        else
        {
            const size_t row = size_t(frameWidth) * 4;
            staging.resize(row * size_t(frameHeight));
            for (int y = 0; y < frameHeight; ++y)
                std::memcpy(staging.data() + size_t(y) * row, frameBuffer.get() + size_t(y) * bytesPerRow, row);
            target->update(staging.data(), frameWidth, frameHeight);
        }
        newFrame = false;
        return true;
    }

    bool AVFCapture::uploadToPixels(std::shared_ptr<Pixels>& pixels)
    {
        std::lock_guard<std::mutex> hold(frameLock);
        if (frameBuffer == nullptr || ! newFrame)
            return false;
        // Packed 4:2:2 stays packed: two pixels per 4-byte element.
        const int frameWidth = int(packedYUV ? (width + 1) / 2 : width);
        const int frameHeight = int(height);
        if (pixels == nullptr)
            pixels = std::make_shared<Pixels>(frameWidth, frameHeight, 4, nullptr);
        else
            pixels->resize(frameWidth, frameHeight, 4);
        if (pixels->data == nullptr || pixels->stride < frameWidth * 4)
            return false;
        pixels->format = packedYUV ? CaptureDevice::packedYUVTextureFormat : Texture::BGRA8;
        for (int y = 0; y < frameHeight; ++y)
            std::memcpy(pixels->data + size_t(y) * size_t(pixels->stride), frameBuffer.get() + size_t(y) * bytesPerRow,
                        size_t(frameWidth) * 4);
        newFrame = false;
        return true;
    }

    void AVFCapture::start()
    {
        if (platform->session == nullptr)
            return;
        auto running = platform->session;
        queue->async([running] { running->startRunning(); });
    }

    void AVFCapture::stop()
    {
        if (platform->session == nullptr)
            return;
        auto running = platform->session;
        queue->async([running] { running->stopRunning(); });
        bool told = false;
        while (platform->session->isRunning())
        {
            if (! told)
            {
                std::printf("Waiting for session to stop\n");
                told = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void AVFCapture::closeSession()
    {
        if (platform->session == nullptr)
            return;
        auto running = std::move(platform->session);
        auto input = std::move(platform->captureInput);
        auto output = std::move(platform->captureOutput);
        queue->async(
            [running, input, output]
            {
                if (running->isRunning())
                    running->stopRunning();
                running->removeAllInputs();
                running->removeAllOutputs();
                if (output != nullptr)
                    output->setSampleBufferDelegate(nullptr, nullptr);
            });
    }

    unsigned int AVFCapture::getWidth() const
    {
        std::lock_guard<std::mutex> hold(frameLock);
        return width;
    }

    unsigned int AVFCapture::getHeight() const
    {
        std::lock_guard<std::mutex> hold(frameLock);
        return height;
    }

    bool AVFCapture::isPackedYUV() const
    {
        std::lock_guard<std::mutex> hold(frameLock);
        return packedYUV;
    }

    unsigned int AVFCapture::getTextureWidth() const
    {
        std::lock_guard<std::mutex> hold(frameLock);
        return packedYUV ? (width + 1) / 2 : width;
    }
}
