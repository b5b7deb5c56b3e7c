#include "platform/avcapture/VXCaptureBackendV4L2.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/VXLog.h"
#include "platform/avcapture/VXMJPEGDecoderFFmpeg.h"
#include "platform/avcapture/VXV4L2System.h"
#include "platform/dispatch/VXDispatchQueue.h"

namespace vx::avcapture
{
    namespace
    {
        constexpr uint32_t bufferCount = 4;

        bool isPacked(uint32_t fourcc)
        {
            return fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY;
        }

        bool isReadable(uint32_t fourcc)
        {
            return isPacked(fourcc) || fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
        }

        std::string fourccText(uint32_t fourcc)
        {
            std::string text;
            for (int shift = 0; shift < 32; shift += 8)
            {
                const char c = char((fourcc >> shift) & 0xFF);
                text += (c >= 32 && c < 127) ? c : '?';
            }
            return text;
        }

        std::string cString(const uint8_t* text, size_t capacity)
        {
            return std::string(reinterpret_cast<const char*>(text), strnlen(reinterpret_cast<const char*>(text), capacity));
        }

        // One way to stream: pixel format, size and frame interval (seconds
        // as numerator / denominator; 0 / 0 when the driver names none).
        struct Mode
        {
            uint32_t fourcc = 0;
            uint32_t width = 0;
            uint32_t height = 0;
            uint32_t numerator = 0;
            uint32_t denominator = 0;

            // Frames per second compared without division; a named rate beats none.
            bool isFasterThan(const Mode& other) const
            {
                if (numerator == 0 || other.numerator == 0)
                    return numerator != 0 && other.numerator == 0;
                return uint64_t(denominator) * other.numerator > uint64_t(other.denominator) * numerator;
            }
        };

        // An open node, closed with its last holder.
        class Node
        {
        public:
            Node(std::shared_ptr<v4l2::System> systemCalls, int openFd) : calls(std::move(systemCalls)), fd(openFd) {}
            ~Node() { calls->close(fd); }
            Node(const Node&) = delete;
            Node& operator=(const Node&) = delete;

            static std::shared_ptr<Node> open(const std::shared_ptr<v4l2::System>& calls, const std::string& path,
                                              std::string& error)
            {
                const int fd = calls->open(path, O_RDWR | O_NONBLOCK);
                if (fd < 0)
                {
                    error = "Cannot open " + path + ": " + std::strerror(errno);
                    return nullptr;
                }
                return std::make_shared<Node>(calls, fd);
            }

            int control(unsigned long request, void* argument) const { return calls->ioctl(fd, request, argument); }

            const std::shared_ptr<v4l2::System> calls;
            const int fd;
        };

        // What a node is: its identity and what it streams.
        struct NodeInfo
        {
            std::string path;
            std::string card;
            std::string busInfo;
            std::vector<Mode> modes; // one per size
            std::vector<InputSource> inputs;
            std::optional<std::string> activeInput;
            std::optional<size_t> activeMode;
        };

        std::optional<v4l2_capability> queryCapture(const Node& node)
        {
            v4l2_capability caps{};
            if (node.control(VIDIOC_QUERYCAP, &caps) < 0)
                return std::nullopt;
            const uint32_t nodeCaps = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps
                                                                                       : caps.capabilities;
            if ((nodeCaps & V4L2_CAP_VIDEO_CAPTURE) == 0 || (nodeCaps & V4L2_CAP_STREAMING) == 0)
                return std::nullopt;
            return caps;
        }

        uint32_t bestInterval(const Node& node, uint32_t fourcc, uint32_t width, uint32_t height, uint32_t& denominator)
        {
            Mode best;
            for (uint32_t index = 0;; ++index)
            {
                v4l2_frmivalenum interval{};
                interval.index = index;
                interval.pixel_format = fourcc;
                interval.width = width;
                interval.height = height;
                if (node.control(VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
                    break;
                const v4l2_fract fraction = interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete
                                                                                        : interval.stepwise.min;
                Mode candidate;
                candidate.numerator = fraction.numerator;
                candidate.denominator = fraction.denominator;
                if (fraction.denominator != 0 && candidate.isFasterThan(best))
                    best = candidate;
                if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
                    break;
            }
            denominator = best.denominator;
            return best.numerator;
        }

        // The sizes of one pixel format; a range offers its largest size and
        // the common ones that fit its steps.
        std::vector<std::pair<uint32_t, uint32_t>> frameSizes(const Node& node, uint32_t fourcc)
        {
            std::vector<std::pair<uint32_t, uint32_t>> sizes;
            for (uint32_t index = 0;; ++index)
            {
                v4l2_frmsizeenum size{};
                size.index = index;
                size.pixel_format = fourcc;
                if (node.control(VIDIOC_ENUM_FRAMESIZES, &size) < 0)
                    break;
                if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE)
                {
                    if (size.discrete.width > 0 && size.discrete.height > 0)
                        sizes.emplace_back(size.discrete.width, size.discrete.height);
                    continue;
                }
                const v4l2_frmsize_stepwise& range = size.stepwise;
                auto fits = [](uint32_t value, uint32_t low, uint32_t high, uint32_t step)
                { return value >= low && value <= high && (step <= 1 || (value - low) % step == 0); };
                for (const auto& common : {std::pair<uint32_t, uint32_t>{640, 480}, {1280, 720}, {1920, 1080}})
                    if (fits(common.first, range.min_width, range.max_width, range.step_width) &&
                        fits(common.second, range.min_height, range.max_height, range.step_height))
                        sizes.push_back(common);
                if (range.max_width > 0 && range.max_height > 0 &&
                    (sizes.empty() || sizes.back() != std::make_pair(range.max_width, range.max_height)))
                    sizes.emplace_back(range.max_width, range.max_height);
                break;
            }
            if (sizes.empty())
            {
                // No size list: the size the node is set to, when it is in this format.
                v4l2_format current{};
                current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                if (node.control(VIDIOC_G_FMT, &current) == 0 && current.fmt.pix.pixelformat == fourcc &&
                    current.fmt.pix.width > 0 && current.fmt.pix.height > 0)
                    sizes.emplace_back(current.fmt.pix.width, current.fmt.pix.height);
            }
            return sizes;
        }

        // Every size the node streams in a readable format, in the order first
        // offered, each with its fastest mode; uncompressed wins a tie.
        std::vector<Mode> readableModes(const Node& node)
        {
            std::vector<Mode> modes;
            for (uint32_t index = 0;; ++index)
            {
                v4l2_fmtdesc format{};
                format.index = index;
                format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                if (node.control(VIDIOC_ENUM_FMT, &format) < 0)
                    break;
                if (! isReadable(format.pixelformat))
                    continue;
                for (const auto& [width, height] : frameSizes(node, format.pixelformat))
                {
                    Mode mode{format.pixelformat, width, height, 0, 0};
                    mode.numerator = bestInterval(node, mode.fourcc, width, height, mode.denominator);
                    auto same = std::find_if(modes.begin(), modes.end(), [&mode](const Mode& known)
                                             { return known.width == mode.width && known.height == mode.height; });
                    if (same == modes.end())
                        modes.push_back(mode);
                    else if (mode.isFasterThan(*same) ||
                             (! same->isFasterThan(mode) && isPacked(mode.fourcc) && ! isPacked(same->fourcc)))
                        *same = mode;
                }
            }
            return modes;
        }

        void readInputs(const Node& node, NodeInfo& info)
        {
            for (uint32_t index = 0;; ++index)
            {
                v4l2_input input{};
                input.index = index;
                if (node.control(VIDIOC_ENUMINPUT, &input) < 0)
                    break;
                info.inputs.push_back({std::to_string(index), cString(input.name, sizeof(input.name))});
            }
            int active = -1;
            if (! info.inputs.empty() && node.control(VIDIOC_G_INPUT, &active) == 0 && active >= 0)
                info.activeInput = std::to_string(active);
        }

        void readActiveMode(const Node& node, NodeInfo& info)
        {
            v4l2_format current{};
            current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (node.control(VIDIOC_G_FMT, &current) < 0)
                return;
            for (size_t i = 0; i < info.modes.size(); ++i)
                if (info.modes[i].width == current.fmt.pix.width && info.modes[i].height == current.fmt.pix.height)
                    info.activeMode = i;
        }

        class Stream;
        class SessionV4L2;

        class DeviceV4L2 : public Device
        {
        public:
            DeviceV4L2(std::shared_ptr<v4l2::System> systemCalls, NodeInfo nodeInfo, std::string deviceId)
                : calls(std::move(systemCalls)), info(std::move(nodeInfo)), uniqueId(std::move(deviceId))
            {
                activeInput = info.activeInput;
                activeMode = info.activeMode;
            }

            bool hasMediaTypeVideo() const override { return true; }
            std::string getLocalizedName() const override { return info.card; }
            std::string getUniqueID() const override { return uniqueId; }
            std::vector<InputSource> getInputSources() const override { return info.inputs; }

            std::optional<std::string> getActiveInputSourceID() const override
            {
                std::lock_guard<std::mutex> hold(lock);
                return activeInput;
            }

            void setActiveInputSource(const std::string& inputSourceID) override
            {
                auto known = std::find_if(info.inputs.begin(), info.inputs.end(), [&](const InputSource& input)
                                          { return input.inputSourceID == inputSourceID; });
                if (known == info.inputs.end())
                    throw Exception("No input source " + inputSourceID + " on " + info.card);
                std::shared_ptr<Node> node;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    node = openNode.lock();
                }
                std::string error;
                if (node == nullptr && (node = Node::open(calls, info.path, error)) == nullptr)
                    throw Exception(error);
                int index = std::stoi(inputSourceID);
                if (node->control(VIDIOC_S_INPUT, &index) < 0)
                    throw Exception("Input " + known->localizedName + " of " + info.card +
                                    " refused: " + std::strerror(errno));
                std::lock_guard<std::mutex> hold(lock);
                activeInput = inputSourceID;
            }

            std::optional<std::vector<Dimensions>> getFormats() const override
            {
                std::vector<Dimensions> sizes;
                for (const Mode& mode : info.modes)
                    sizes.push_back({int32_t(mode.width), int32_t(mode.height)});
                return sizes;
            }

            std::optional<size_t> getActiveFormat() const override
            {
                std::lock_guard<std::mutex> hold(lock);
                return activeMode;
            }

            // A session streaming this device switches to the new mode at once.
            void setActiveFormat(size_t index) override;

            bool lockForConfiguration(std::string&) override { return true; }
            void unlockForConfiguration() override {}

            bool supportsSessionPreset(const std::string& preset) const override
            {
                for (const Mode& mode : info.modes)
                {
                    const std::string size = std::to_string(mode.width) + "x" + std::to_string(mode.height);
                    if (preset.size() > size.size() && preset.compare(preset.size() - size.size(), size.size(), size) == 0 &&
                        ! std::isdigit(static_cast<unsigned char>(preset[preset.size() - size.size() - 1])))
                        return true;
                }
                return false;
            }

            std::optional<Mode> getMode() const
            {
                std::lock_guard<std::mutex> hold(lock);
                if (info.modes.empty())
                    return std::nullopt;
                return info.modes[activeMode.value_or(0) < info.modes.size() ? activeMode.value_or(0) : 0];
            }

            void setOpenNode(const std::shared_ptr<Node>& node)
            {
                std::lock_guard<std::mutex> hold(lock);
                openNode = node;
            }

            void setStreaming(const std::shared_ptr<SessionV4L2>& session)
            {
                std::lock_guard<std::mutex> hold(lock);
                streaming = session;
            }

            const std::shared_ptr<v4l2::System> calls;
            const NodeInfo info;
            const std::string uniqueId;

        private:
            mutable std::mutex lock;
            std::weak_ptr<Node> openNode;
            std::weak_ptr<SessionV4L2> streaming;
            std::optional<std::string> activeInput;
            std::optional<size_t> activeMode;
        };

        class InputV4L2 : public DeviceInput
        {
        public:
            InputV4L2(std::shared_ptr<DeviceV4L2> openedDevice, std::shared_ptr<Node> openedNode)
                : device(std::move(openedDevice)), node(std::move(openedNode))
            {
                device->setOpenNode(node);
            }

            const std::shared_ptr<DeviceV4L2> device;
            const std::shared_ptr<Node> node;
        };

        class OutputV4L2 : public VideoDataOutput
        {
        public:
            void setAlwaysDiscardsLateVideoFrames(bool discard) override { discardsLate.store(discard); }

            void setSampleBufferDelegate(SampleBufferDelegate* delegate, std::shared_ptr<DispatchQueue> queue) override
            {
                std::lock_guard<std::mutex> hold(lock);
                target = delegate;
                targetQueue = delegate != nullptr ? std::move(queue) : nullptr;
            }

            // The size follows the device's format; frames keep the camera's
            // own pixel layout.
            void setVideoSettings(const VideoSettings&) override {}

            std::shared_ptr<DispatchQueue> getQueue() const
            {
                std::lock_guard<std::mutex> hold(lock);
                return targetQueue;
            }

            // On the delegate's queue.
            void deliver(SampleBuffer& sample)
            {
                std::lock_guard<std::mutex> hold(lock);
                if (target != nullptr)
                    target->captureOutputDidOutputSampleBuffer(sample);
            }

            std::atomic<bool> discardsLate{false};

        private:
            mutable std::mutex lock;
            SampleBufferDelegate* target = nullptr;
            std::shared_ptr<DispatchQueue> targetQueue;
        };

        // A frame as the delegate sees it: valid during the call only.
        class Frame : public SampleBuffer, public PixelBuffer
        {
        public:
            Frame(const uint8_t* pixels, size_t rowBytes, size_t frameWidth, size_t frameHeight, uint32_t format)
                : base(pixels), stride(rowBytes), width(frameWidth), height(frameHeight), pixelFormat(format)
            {
            }

            // A decoded JPEG: its planes, or its one packed plane.
            explicit Frame(const MJPEGDecoderFFmpeg& decoded)
                : Frame(decoded.getPlane(0), decoded.getBytesPerRow(0), size_t(decoded.getWidth()),
                        size_t(decoded.getHeight()), kCVPixelFormatType_422YpCbCr8)
            {
                if (! decoded.isPlanar())
                    return;
                pixelFormat = decoded.getChromaRowShift() == 0 ? kPixelFormatType_422YpCbCr8Planar
                                                               : kCVPixelFormatType_420YpCbCr8Planar;
                planeCount = 3;
                for (size_t i = 0; i < 3; ++i)
                {
                    planes[i] = decoded.getPlane(i);
                    planeRows[i] = decoded.getBytesPerRow(i);
                }
            }

            PixelBuffer* getImageBuffer() override { return this; }
            bool lockBaseAddress(uint32_t) override { return true; }
            void unlockBaseAddress(uint32_t) override {}
            const uint8_t* getBaseAddress() const override { return base; }
            size_t getBytesPerRow() const override { return stride; }
            size_t getWidth() const override { return width; }
            size_t getHeight() const override { return height; }
            uint32_t getPixelFormatType() const override { return pixelFormat; }
            size_t getPlaneCount() const override { return planeCount; }
            const uint8_t* getBaseAddressOfPlane(size_t index) const override
            {
                return index < planeCount ? planes[index] : nullptr;
            }
            size_t getBytesPerRowOfPlane(size_t index) const override { return index < planeCount ? planeRows[index] : 0; }

        private:
            const uint8_t* base;
            size_t stride, width, height;
            uint32_t pixelFormat;
            size_t planeCount = 0;
            const uint8_t* planes[3] = {};
            size_t planeRows[3] = {};
        };

        // The mmap buffers of one run of STREAMON .. STREAMOFF. Deliveries
        // still queued hold it but find it released: the buffers go back to
        // the driver as soon as the session stops, so the next format can be
        // set at once.
        class Stream
        {
        public:
            explicit Stream(std::shared_ptr<InputV4L2> streamedInput) : input(std::move(streamedInput)) {}
            ~Stream() { release(); }

            // Waits for a delivery running on another thread.
            void release()
            {
                std::lock_guard<std::mutex> hold(bufferLock);
                stop();
                if (buffers.empty())
                    return;
                for (const Buffer& buffer : buffers)
                    input->node->calls->unmapBuffer(buffer.address, buffer.length);
                buffers.clear();
                v4l2_requestbuffers none{};
                none.count = 0;
                none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                none.memory = V4L2_MEMORY_MMAP;
                input->node->control(VIDIOC_REQBUFS, &none);
            }

            bool start(const Mode& mode, std::string& error)
            {
                const NodeInfo& info = input->device->info;
                const std::string wanted = fourccText(mode.fourcc) + " " + std::to_string(mode.width) + " x " +
                                           std::to_string(mode.height);
                v4l2_format format{};
                format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                format.fmt.pix.pixelformat = mode.fourcc;
                format.fmt.pix.width = mode.width;
                format.fmt.pix.height = mode.height;
                format.fmt.pix.field = V4L2_FIELD_ANY;
                if (input->node->control(VIDIOC_S_FMT, &format) < 0)
                    return fail(error, info.card + " refused the format " + wanted + ": " + std::strerror(errno));
                pixels = format.fmt.pix;
                if (! isReadable(pixels.pixelformat) || pixels.width == 0 || pixels.height == 0)
                    return fail(error, info.card + " refused the format " + wanted + " and offered " +
                                           fourccText(pixels.pixelformat) + " " + std::to_string(pixels.width) +
                                           " x " + std::to_string(pixels.height));
                if (isPacked(pixels.pixelformat))
                {
                    const size_t tight = size_t((pixels.width + 1) / 2) * 4;
                    if (pixels.bytesperline < tight)
                        pixels.bytesperline = uint32_t(tight);
                    packedSize = size_t(pixels.bytesperline) * pixels.height;
                }
                if (mode.numerator != 0)
                {
                    v4l2_streamparm rate{};
                    rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                    rate.parm.capture.timeperframe = {mode.numerator, mode.denominator};
                    input->node->control(VIDIOC_S_PARM, &rate); // a fixed-rate device keeps its own
                }

                v4l2_requestbuffers request{};
                request.count = bufferCount;
                request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                request.memory = V4L2_MEMORY_MMAP;
                if (input->node->control(VIDIOC_REQBUFS, &request) < 0)
                    return fail(error, info.card + " gave no streaming buffers: " + std::strerror(errno));
                if (request.count == 0) // granted none, which is no error of a call
                    return fail(error, info.card + " gave no streaming buffers");
                for (uint32_t index = 0; index < request.count; ++index)
                {
                    v4l2_buffer buffer = describeBuffer(index);
                    if (input->node->control(VIDIOC_QUERYBUF, &buffer) < 0)
                        return fail(error, info.card + ": buffer " + std::to_string(index) +
                                               " not described: " + std::strerror(errno));
                    if (buffer.length < packedSize)
                        return fail(error, info.card + ": buffer " + std::to_string(index) + " of " +
                                               std::to_string(buffer.length) + " bytes is too small for a frame of " +
                                               std::to_string(packedSize));
                    void* address = input->node->calls->mapBuffer(input->node->fd, buffer.length, buffer.m.offset);
                    if (address == nullptr)
                        return fail(error, info.card + ": buffer " + std::to_string(index) +
                                               " not mapped: " + std::strerror(errno));
                    buffers.push_back({static_cast<uint8_t*>(address), buffer.length});
                }
                for (uint32_t index = 0; index < buffers.size(); ++index)
                {
                    v4l2_buffer buffer = describeBuffer(index);
                    if (input->node->control(VIDIOC_QBUF, &buffer) < 0)
                        return fail(error, info.card + ": buffer not queued: " + std::strerror(errno));
                }
                int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                if (input->node->control(VIDIOC_STREAMON, &type) < 0)
                    return fail(error, info.card + " did not start streaming: " + std::strerror(errno));
                active.store(true);
                return true;
            }

            void stop()
            {
                if (! active.exchange(false))
                    return;
                int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                input->node->control(VIDIOC_STREAMOFF, &type);
            }

            bool isActive() const { return active.load(); }

            // On the delegate's queue, after poll answered: dequeues what the
            // driver filled and hands the frame (only the newest when late
            // frames are discarded) to the delegate, then gives the buffers
            // back. False once the stream is over: stopped, or its device gone.
            bool take(int ready, short events, OutputV4L2& output)
            {
                std::lock_guard<std::mutex> hold(bufferLock);
                if (! active.load())
                    return false;
                if (ready == 0 || (ready < 0 && errno == EINTR))
                    return true; // a slow device: keep waiting
                int failure = ready < 0 ? errno : 0;
                if (failure == 0 && (events & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                    failure = ENODEV;
                std::optional<v4l2_buffer> newest;
                while (failure == 0)
                {
                    v4l2_buffer filled = describeBuffer(0);
                    if (input->node->control(VIDIOC_DQBUF, &filled) < 0)
                    {
                        if (errno != EAGAIN && errno != EINTR)
                            failure = errno;
                        break;
                    }
                    if (! isWhole(filled))
                    {
                        requeue(filled.index);
                        continue;
                    }
                    if (newest && output.discardsLate.load())
                        requeue(newest->index);
                    else if (newest)
                        deliver(output, *newest);
                    newest = filled;
                }
                if (failure != 0)
                {
                    logPrint(logError, "%s: %s is gone (%s); its capture session ended.", "Camera",
                             input->device->info.card.c_str(), std::strerror(failure));
                    stop();
                    return false;
                }
                if (newest)
                    deliver(output, *newest);
                return true;
            }

            const std::shared_ptr<InputV4L2> input;

        private:
            struct Buffer
            {
                uint8_t* address;
                size_t length;
            };

            static v4l2_buffer describeBuffer(uint32_t index)
            {
                v4l2_buffer buffer{};
                buffer.index = index;
                buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                buffer.memory = V4L2_MEMORY_MMAP;
                return buffer;
            }

            static bool fail(std::string& error, const std::string& reason)
            {
                error = reason;
                return false;
            }

            // Under bufferLock: the buffer back to the driver unless the stream stopped.
            void requeue(uint32_t index)
            {
                if (! active.load())
                    return;
                v4l2_buffer buffer = describeBuffer(index);
                input->node->control(VIDIOC_QBUF, &buffer);
            }

            // Whether a dequeued buffer holds a whole frame.
            bool isWhole(const v4l2_buffer& buffer) const
            {
                if (buffer.index >= buffers.size() || (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0 ||
                    buffer.bytesused > buffers[buffer.index].length)
                    return false;
                if (isPacked(pixels.pixelformat))
                    return buffer.bytesused >= packedSize - (pixels.bytesperline - size_t((pixels.width + 1) / 2) * 4);
                return buffer.bytesused > 0;
            }

            // Under bufferLock: the frame to the delegate, then the buffer back.
            void deliver(OutputV4L2& output, const v4l2_buffer& filled)
            {
                const uint8_t* data = buffers[filled.index].address;
                if (isPacked(pixels.pixelformat))
                {
                    Frame frame(data, pixels.bytesperline, pixels.width, pixels.height,
                                pixels.pixelformat == V4L2_PIX_FMT_UYVY ? kCVPixelFormatType_422YpCbCr8
                                                                        : kCVPixelFormatType_422YpCbCr8_yuvs);
                    output.deliver(frame);
                }
                else
                {
                    std::string error;
                    if (decoder.decode(data, filled.bytesused, error))
                    {
                        Frame frame(decoder);
                        output.deliver(frame);
                    }
                    else if (! reportedBadFrame)
                    {
                        reportedBadFrame = true;
                        logPrint(logWarning, "%s: %s (%s); such frames are skipped.", "Camera", error.c_str(),
                                 input->device->info.card.c_str());
                    }
                }
                requeue(filled.index);
            }

            std::mutex bufferLock;
            std::vector<Buffer> buffers;
            v4l2_pix_format pixels{};
            size_t packedSize = 0;
            std::atomic<bool> active{false};
            MJPEGDecoderFFmpeg decoder;
            bool reportedBadFrame = false;
        };

        // Streams on the queue of its output's delegate: each turn waits a
        // slice for the driver, takes what it filled and queues the next
        // turn, so stop, format and delivery blocks keep their order there.
        class SessionV4L2 : public Session, public std::enable_shared_from_this<SessionV4L2>
        {
        public:
            ~SessionV4L2() override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                halt();
            }

            void addInput(std::shared_ptr<DeviceInput> deviceInput) override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                input = std::dynamic_pointer_cast<InputV4L2>(deviceInput);
            }

            void addOutput(std::shared_ptr<VideoDataOutput> dataOutput) override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                output = std::dynamic_pointer_cast<OutputV4L2>(dataOutput);
            }

            void removeAllInputs() override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                halt();
                input.reset();
            }

            void removeAllOutputs() override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                halt();
                output.reset();
            }

            void startRunning() override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                if (isRunning() || input == nullptr || output == nullptr)
                    return;
                halt(); // a stream that ended by itself
                const std::optional<Mode> mode = input->device->getMode();
                std::shared_ptr<DispatchQueue> queue = output->getQueue();
                if (! mode || queue == nullptr)
                    return;
                auto starting = std::make_shared<Stream>(input);
                std::string error;
                if (! starting->start(*mode, error))
                {
                    logPrint(logError, "%s: %s", "Camera", error.c_str());
                    return;
                }
                stream = starting;
                input->device->setStreaming(shared_from_this());
                queue->async([starting, target = output, weakQueue = std::weak_ptr<DispatchQueue>(queue)]
                             { turn(starting, target, weakQueue); });
            }

            void stopRunning() override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                halt();
            }

            bool isRunning() const override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                return stream != nullptr && stream->isActive();
            }

            bool canSetSessionPreset(const std::string& preset) const override
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                return input != nullptr && input->device->supportsSessionPreset(preset);
            }

            // The device's format changed: a running stream starts again in it.
            void restart()
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                if (! isRunning())
                    return;
                halt();
                startRunning();
            }

        private:
            // Waits for a turn running on the queue; later turns find the stream released.
            void halt()
            {
                if (stream != nullptr)
                    stream->release();
                stream.reset();
            }

            static void turn(const std::shared_ptr<Stream>& current, const std::shared_ptr<OutputV4L2>& target,
                             const std::weak_ptr<DispatchQueue>& weakQueue)
            {
                if (! current->isActive())
                    return;
                const Node& node = *current->input->node;
                short events = 0;
                const int ready = node.calls->poll(node.fd, CaptureBackendV4L2::pollIntervalMs, events);
                if (! current->take(ready, events, *target))
                    return;
                if (std::shared_ptr<DispatchQueue> queue = weakQueue.lock())
                    queue->async([current, target, weakQueue] { turn(current, target, weakQueue); });
            }

            mutable std::recursive_mutex lock;
            std::shared_ptr<InputV4L2> input;
            std::shared_ptr<OutputV4L2> output;
            std::shared_ptr<Stream> stream;
        };

        void DeviceV4L2::setActiveFormat(size_t index)
        {
            std::shared_ptr<SessionV4L2> session;
            {
                std::lock_guard<std::mutex> hold(lock);
                if (index >= info.modes.size() || activeMode == index)
                    return;
                activeMode = index;
                session = streaming.lock();
            }
            if (session != nullptr)
                session->restart();
        }

        std::optional<NodeInfo> probe(const std::shared_ptr<v4l2::System>& calls, const std::string& path,
                                      std::string& unusable)
        {
            std::string error;
            std::shared_ptr<Node> node = Node::open(calls, path, error);
            if (node == nullptr)
            {
                debugPrint("%s\n", error.c_str());
                return std::nullopt;
            }
            const std::optional<v4l2_capability> caps = queryCapture(*node);
            if (! caps)
                return std::nullopt; // not a video capture node (metadata, output, codec, radio ...)
            NodeInfo info;
            info.path = path;
            info.card = cString(caps->card, sizeof(caps->card));
            info.busInfo = cString(caps->bus_info, sizeof(caps->bus_info));
            info.modes = readableModes(*node);
            if (info.modes.empty())
            {
                unusable = info.card + " (" + path + ") offers no YUYV, UYVY or Motion-JPEG format";
                return std::nullopt;
            }
            readInputs(*node, info);
            readActiveMode(*node, info);
            return info;
        }
    }

    CaptureBackendV4L2::CaptureBackendV4L2(std::shared_ptr<v4l2::System> systemCalls) : calls(std::move(systemCalls))
    {
    }

    std::vector<std::shared_ptr<Device>> CaptureBackendV4L2::devices()
    {
        std::vector<std::shared_ptr<Device>> found;
        std::set<std::string> ids;
        for (const std::string& path : calls->listNodes())
        {
            std::string unusable;
            std::optional<NodeInfo> info = probe(calls, path, unusable);
            if (! unusable.empty())
            {
                std::lock_guard<std::mutex> hold(warnedLock);
                if (warned.insert(path).second)
                    logPrint(logWarning, "%s: %s; it is not listed.", "Camera", unusable.c_str());
            }
            if (! info)
                continue;
            // Two capture nodes of one device share bus and card: number the later ones.
            std::string id = info->busInfo + "/" + info->card;
            for (int n = 2; ids.count(id) != 0; ++n)
                id = info->busInfo + "/" + info->card + "/" + std::to_string(n);
            ids.insert(id);
            found.push_back(std::make_shared<DeviceV4L2>(calls, std::move(*info), id));
        }
        return found;
    }

    std::shared_ptr<Device> CaptureBackendV4L2::deviceWithUniqueID(const std::string& uniqueID)
    {
        for (std::shared_ptr<Device>& device : devices())
            if (device->getUniqueID() == uniqueID)
                return device;
        return nullptr;
    }

    std::shared_ptr<DeviceInput> CaptureBackendV4L2::deviceInputWithDevice(const std::shared_ptr<Device>& device,
                                                                           std::string& error)
    {
        auto camera = std::dynamic_pointer_cast<DeviceV4L2>(device);
        if (camera == nullptr)
        {
            error = "Not a Video4Linux2 device";
            return nullptr;
        }
        std::shared_ptr<Node> node = Node::open(calls, camera->info.path, error);
        if (node == nullptr)
            return nullptr;
        // The node may have changed hands since it was listed.
        const std::optional<v4l2_capability> caps = queryCapture(*node);
        if (! caps || cString(caps->card, sizeof(caps->card)) != camera->info.card ||
            cString(caps->bus_info, sizeof(caps->bus_info)) != camera->info.busInfo)
        {
            error = camera->info.path + " is no longer " + camera->info.card;
            return nullptr;
        }
        return std::make_shared<InputV4L2>(camera, node);
    }

    std::shared_ptr<VideoDataOutput> CaptureBackendV4L2::createVideoDataOutput()
    {
        return std::make_shared<OutputV4L2>();
    }

    std::shared_ptr<Session> CaptureBackendV4L2::createSession()
    {
        return std::make_shared<SessionV4L2>();
    }
}
