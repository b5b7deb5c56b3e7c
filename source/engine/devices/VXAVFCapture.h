#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx
{
    namespace avcapture
    {
        class SampleBuffer;
    }

    class CaptureDevice;
    class DispatchQueue;
    class Pixels;
    class TextureRef;

    // The capture session of one camera: the device's input feeds a video data
    // output that delivers BGRA frames on a serial queue labelled with the
    // device's unique id; the newest frame is kept in a CPU buffer and
    // uploaded on demand.
    //
    // Threads: frames, the format change and session start and stop run on
    // the queue; uploads, setInput, stop and the getters on the engine's
    // render or main thread. One lock covers the buffer, its sizes and the
    // new-frame flag, for the copy and for both uploads. The destructor waits
    // for the queue's blocks; not from the queue.
    class AVFCapture
    {
    public:
        // init: makes the queue, then initialize.
        explicit AVFCapture(CaptureDevice& owner);
        // Stops the session, detaches from the output and waits for the queue.
        ~AVFCapture();
        AVFCapture(const AVFCapture&) = delete;
        AVFCapture& operator=(const AVFCapture&) = delete;

        // Looks the device up, lists its inputs and formats, and builds the
        // session (device input, BGRA video data output on the queue), then
        // asks for format 0. A device that cannot be opened as input logs
        // "Error: %s" and leaves the session unbuilt: no frame ever comes.
        void initialize(CaptureDevice& owner);

        // Selects input source index under the configuration lock, which is
        // always given back; false out of range, when the lock is refused or
        // the platform raises.
        bool setInput(int index);
        // Position of the active input source, -1 without one.
        int getActiveInput() const;
        // Queues the switch to format index (active format and BGRA output of
        // its size) and answers true. The configuration lock is retried every
        // 10 ms for lockRetryTimeoutMs, then the switch is dropped, logged.
        bool setFormat(int index);
        int getActiveFormat() const;
        // Whether the session could take the preset of that index; changes nothing.
        bool setResolution(int index);

        // The newest frame into the texture (render thread): a texture of the
        // frame's size is reused, else one is taken from the pool (or made).
        // False without a frame not yet uploaded.
        bool uploadToTexture(TextureRef& texture);
        // The newest frame into CPU pixels (BGRA8), resized to the frame.
        bool uploadToPixels(std::shared_ptr<Pixels>& pixels);

        // startRunning, queued.
        void start();
        // stopRunning, queued; then waits for the session to report stopped,
        // polling every 1 ms and printing "Waiting for session to stop" once.
        void stop();
        // Queues stopping the session and emptying it; the session is dropped.
        void closeSession();

        // Of the newest frame, in pixels.
        unsigned int getWidth() const;
        unsigned int getHeight() const;
        // Whether the newest frame is packed 4:2:2 (uploaded two pixels per
        // texel in CaptureDevice::packedYUVTextureFormat) rather than BGRA.
        bool isPackedYUV() const;
        // The width of the texture the newest frame fills.
        unsigned int getTextureWidth() const;
        const std::vector<std::string>& getInputs() const { return inputs; }
        const std::vector<std::string>& getFormats() const { return formats; }
        const std::vector<std::string>& getResolutions() const { return resolutions; }
        int getFormatIndex() const { return formatIndex.load(); }
        bool hasSession() const;
        std::shared_ptr<DispatchQueue> getQueue() const { return queue; }

        // The delegate callback, on the queue.
        void captureOutputDidOutputSampleBuffer(avcapture::SampleBuffer& sampleBuffer);

        // How long the format switch retries the configuration lock.
        static std::atomic<int> lockRetryTimeoutMs;

    private:
        void configureFormat(int index);

        // The platform's objects: device, input, output, session, delegate.
        struct Platform;

        CaptureDevice* captureDevice = nullptr;
        std::shared_ptr<DispatchQueue> queue;
        std::unique_ptr<Platform> platform;

        std::vector<std::string> inputs;
        std::vector<std::string> formats;
        std::vector<std::string> resolutions;
        std::atomic<int> formatIndex{0};

        mutable std::mutex frameLock;
        std::unique_ptr<uint8_t[]> frameBuffer;
        size_t bytesPerRow = 0;
        unsigned int width = 0;
        unsigned int height = 0;
        bool packedYUV = false;
        bool newFrame = false;
        // Rows repacked for a stride that is no whole number of pixels.
        std::vector<uint8_t> staging;
    };
}
