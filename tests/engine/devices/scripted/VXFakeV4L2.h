#pragma once

#include <linux/videodev2.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/avcapture/VXV4L2System.h"

namespace vx::test
{
    // Video4Linux2 devices in process, behind the camera backend's system
    // calls: nodes that capture (or not), their formats, sizes, rates and
    // inputs, S_FMT that adjusts or refuses as drivers do, mmap streaming
    // with the driver's row stride, and frames the test produces one at a
    // time. A node can vanish: its calls then fail with ENODEV and poll
    // reports an error, as for an unplugged camera. Any thread.
    class FakeV4L2 : public v4l2::System
    {
    public:
        struct Format
        {
            uint32_t fourcc = V4L2_PIX_FMT_YUYV;
            std::vector<std::pair<uint32_t, uint32_t>> sizes;
            uint32_t framesPerSecond = 30; // one discrete interval per size
        };

        struct NodeSpec
        {
            std::string path = "/dev/video0";
            std::string card = "Fake Camera";
            std::string busInfo = "usb-0000:00:14.0-1";
            uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            bool answersQueryCap = true; // false: not a V4L2 node (ENOTTY)
            bool opens = true;           // false: EACCES
            std::vector<Format> formats;
            std::vector<std::string> inputs = {"Camera 1"};
            uint32_t rowPadding = 0;     // bytes after each packed row
            std::set<uint32_t> refused;  // S_FMT answers NV12 for these
            uint32_t maxBuffers = 32;    // REQBUFS grants at most this many
        };

        void addNode(const NodeSpec& spec);
        // Unplugs the node: gone from /dev, its open handles fail.
        void vanish(const std::string& path);

        // Fills the oldest queued buffer of the node's stream and wakes
        // poll: packed formats get packedPattern rows (padding 0xEE),
        // compressed ones the bytes given. truncated: the driver marks it
        // bad. keep: a packed buffer keeps what it held (no time spent
        // filling it). False when the node does not stream or has no queued
        // buffer.
        bool produce(const std::string& path, uint8_t seed, const std::vector<uint8_t>& compressed = {},
                     bool truncated = false, bool keep = false);
        // Waits (half a minute at most, a fail-safe) until the node streams with a
        // buffer queued.
        bool waitForQueuedBuffer(const std::string& path);

        // The pattern byte at (x, y) of a packed frame.
        static uint8_t packedPattern(size_t x, size_t y, uint8_t seed) { return uint8_t(x * 3 + y * 7 + seed); }

        struct State
        {
            bool streaming = false;
            v4l2_pix_format format{};
            int mappedBuffers = 0;
            int openHandles = 0;
            int streamOns = 0;
        };
        State getState(const std::string& path) const;
        // QBUF calls so far on every node; without the lock, for spinning on.
        int getBuffersQueued() const { return buffersQueued.load(); }
        // Buffers mapped and not unmapped, on every node (also vanished ones).
        int getMappedBuffers() const;
        int getOpenHandles() const;

        std::vector<std::string> listNodes() override;
        int open(const std::string& path, int flags) override;
        int close(int fd) override;
        int ioctl(int fd, unsigned long request, void* argument) override;
        void* mapBuffer(int fd, size_t length, off_t offset) override;
        int unmapBuffer(void* address, size_t length) override;
        int poll(int fd, int timeoutMs, short& revents) override;

    private:
        struct Node
        {
            NodeSpec spec;
            bool gone = false;
            int input = 0;
            v4l2_pix_format format{};
            v4l2_fract interval{1, 30};
            std::vector<std::vector<uint8_t>> buffers;
            std::vector<uint32_t> bytesUsed;
            std::vector<bool> bad;
            std::deque<uint32_t> queued;
            std::deque<uint32_t> done;
            bool streaming = false;
            int mapped = 0;
            int handles = 0;
            int streamOns = 0;
        };

        int control(Node& node, unsigned long request, void* argument);
        void setFormat(Node& node, v4l2_pix_format& wanted);
        Node* nodeOf(int fd);

        mutable std::mutex lock;
        std::condition_variable changed;
        std::map<std::string, std::shared_ptr<Node>> nodes;
        std::map<int, std::shared_ptr<Node>> handles;
        int nextFd = 100;
        std::atomic<int> buffersQueued{0};
    };

    // A JPEG of a width x height picture of one colour (stb's baseline coder:
    // 4:2:0 up to quality 90, 4:4:4 above).
    std::vector<uint8_t> solidJPEG(int width, int height, uint8_t red, uint8_t green, uint8_t blue, int quality = 90);
}
