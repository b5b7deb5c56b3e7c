#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx
{
    class DispatchQueue;
}

// The AVFoundation capture classes the camera device uses (devices, their
// input sources and formats, device inputs, video data outputs, sessions and
// the sample buffers they deliver), as interfaces over an installable
// backend. On Linux the installed one is the Video4Linux2 backend.
namespace vx::avcapture
{
    inline constexpr uint32_t kCVPixelFormatType_32BGRA = 0x42475241;
    // Packed 4:2:2, bytes U Y0 V Y1 ('2vuy') and Y0 U Y1 V ('yuvs').
    inline constexpr uint32_t kCVPixelFormatType_422YpCbCr8 = 0x32767579;
    inline constexpr uint32_t kCVPixelFormatType_422YpCbCr8_yuvs = 0x79757673;
    // Three planes Y, Cb, Cr, chroma at half width: on every row ('y422', a
    // decoded camera JPEG) or every other row ('y420').
    inline constexpr uint32_t kPixelFormatType_422YpCbCr8Planar = 0x79343232;
    inline constexpr uint32_t kCVPixelFormatType_420YpCbCr8Planar = 0x79343230;

    // What a configuration call raises (the platform's exception).
    class Exception : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    struct InputSource
    {
        std::string inputSourceID;
        std::string localizedName;
    };

    // CMVideoFormatDescriptionGetDimensions of a format.
    struct Dimensions
    {
        int32_t width = 0;
        int32_t height = 0;
    };

    // The output's video settings dictionary.
    struct VideoSettings
    {
        double width = 0.0;
        double height = 0.0;
        uint32_t pixelFormatType = 0;
    };

    // The CVPixelBuffer of a sample buffer: valid between lock and unlock.
    class PixelBuffer
    {
    public:
        virtual ~PixelBuffer() = default;
        // CVPixelBufferLockBaseAddress; false on failure.
        virtual bool lockBaseAddress(uint32_t flags) = 0;
        virtual void unlockBaseAddress(uint32_t flags) = 0;
        virtual const uint8_t* getBaseAddress() const = 0;
        virtual size_t getBytesPerRow() const = 0;
        // In pixels; a row of a 4:2:2 buffer holds (width + 1) / 2 pairs.
        virtual size_t getWidth() const = 0;
        virtual size_t getHeight() const = 0;
        // CVPixelBufferGetPixelFormatType: BGRA unless the backend passes
        // the camera's 4:2:2 (or decoded 4:2:0) through.
        virtual uint32_t getPixelFormatType() const { return kCVPixelFormatType_32BGRA; }
        // CVPixelBufferGetPlaneCount (0 for a packed buffer) and the planes
        // of a planar one, valid between lock and unlock.
        virtual size_t getPlaneCount() const { return 0; }
        virtual const uint8_t* getBaseAddressOfPlane(size_t) const { return nullptr; }
        virtual size_t getBytesPerRowOfPlane(size_t) const { return 0; }
    };

    class SampleBuffer
    {
    public:
        virtual ~SampleBuffer() = default;
        // CMSampleBufferGetImageBuffer; null when the buffer holds no image.
        virtual PixelBuffer* getImageBuffer() = 0;
    };

    // AVCaptureVideoDataOutputSampleBufferDelegate: called on the queue given
    // with it.
    class SampleBufferDelegate
    {
    public:
        virtual ~SampleBufferDelegate() = default;
        virtual void captureOutputDidOutputSampleBuffer(SampleBuffer& sampleBuffer) = 0;
    };

    // AVCaptureDevice.
    class Device
    {
    public:
        virtual ~Device() = default;
        virtual bool hasMediaTypeVideo() const = 0;
        virtual std::string getLocalizedName() const = 0;
        virtual std::string getUniqueID() const = 0;
        virtual std::vector<InputSource> getInputSources() const = 0;
        // The active input source's id; none without one.
        virtual std::optional<std::string> getActiveInputSourceID() const = 0;
        // May raise Exception; needs the configuration lock.
        virtual void setActiveInputSource(const std::string& inputSourceID) = 0;
        // None stands for a nil format list.
        virtual std::optional<std::vector<Dimensions>> getFormats() const = 0;
        // Index of the active format in getFormats; none without one.
        virtual std::optional<size_t> getActiveFormat() const = 0;
        virtual void setActiveFormat(size_t index) = 0;
        // lockForConfiguration:; false with the error's description.
        virtual bool lockForConfiguration(std::string& error) = 0;
        virtual void unlockForConfiguration() = 0;
        virtual bool supportsSessionPreset(const std::string& preset) const = 0;
    };

    // AVCaptureDeviceInput.
    class DeviceInput
    {
    public:
        virtual ~DeviceInput() = default;
    };

    // AVCaptureVideoDataOutput.
    class VideoDataOutput
    {
    public:
        virtual ~VideoDataOutput() = default;
        virtual void setAlwaysDiscardsLateVideoFrames(bool discard) = 0;
        // The delegate is not retained; null detaches it.
        virtual void setSampleBufferDelegate(SampleBufferDelegate* delegate, std::shared_ptr<DispatchQueue> queue) = 0;
        virtual void setVideoSettings(const VideoSettings& settings) = 0;
    };

    // AVCaptureSession.
    class Session
    {
    public:
        virtual ~Session() = default;
        virtual void addInput(std::shared_ptr<DeviceInput> input) = 0;
        virtual void addOutput(std::shared_ptr<VideoDataOutput> output) = 0;
        virtual void removeAllInputs() = 0;
        virtual void removeAllOutputs() = 0;
        virtual void startRunning() = 0;
        virtual void stopRunning() = 0;
        virtual bool isRunning() const = 0;
        virtual bool canSetSessionPreset(const std::string& preset) const = 0;
    };

    class Backend
    {
    public:
        virtual ~Backend() = default;
        // [AVCaptureDevice devices].
        virtual std::vector<std::shared_ptr<Device>> devices() = 0;
        // deviceWithUniqueID:; null when absent.
        virtual std::shared_ptr<Device> deviceWithUniqueID(const std::string& uniqueID) = 0;
        // deviceInputWithDevice:error:; null with the error's description.
        virtual std::shared_ptr<DeviceInput> deviceInputWithDevice(const std::shared_ptr<Device>& device,
                                                                   std::string& error) = 0;
        virtual std::shared_ptr<VideoDataOutput> createVideoDataOutput() = 0;
        virtual std::shared_ptr<Session> createSession() = 0;
    };

    // The installed backend (Video4Linux2 unless set); null restores it.
    std::shared_ptr<Backend> getBackend();
    void setBackend(std::shared_ptr<Backend> backend);
}
