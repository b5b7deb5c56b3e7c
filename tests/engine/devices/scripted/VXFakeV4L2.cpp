#include "VXFakeV4L2.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace vx::test
{
    namespace
    {
        constexpr off_t pageSize = 4096;

        bool isPacked(uint32_t fourcc)
        {
            return fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY;
        }

        int failWith(int error)
        {
            errno = error;
            return -1;
        }

        void copyText(uint8_t* target, size_t capacity, const std::string& text)
        {
            std::memset(target, 0, capacity);
            std::memcpy(target, text.data(), std::min(text.size(), capacity - 1));
        }
    }

    void FakeV4L2::addNode(const NodeSpec& spec)
    {
        auto node = std::make_shared<Node>();
        node->spec = spec;
        if (! spec.formats.empty() && ! spec.formats[0].sizes.empty())
        {
            v4l2_pix_format first{};
            first.pixelformat = spec.formats[0].fourcc;
            first.width = spec.formats[0].sizes[0].first;
            first.height = spec.formats[0].sizes[0].second;
            setFormat(*node, first);
        }
        std::lock_guard<std::mutex> hold(lock);
        nodes[spec.path] = node;
    }

    void FakeV4L2::vanish(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto found = nodes.find(path);
        if (found == nodes.end())
            return;
        found->second->gone = true;
        nodes.erase(found);
        changed.notify_all();
    }

    bool FakeV4L2::produce(const std::string& path, uint8_t seed, const std::vector<uint8_t>& compressed,
                           bool truncated, bool keep)
    {
        std::unique_lock<std::mutex> hold(lock);
        auto found = nodes.find(path);
        if (found == nodes.end() || ! found->second->streaming || found->second->queued.empty())
            return false;
        Node& node = *found->second;
        const uint32_t index = node.queued.front();
        node.queued.pop_front();
        std::vector<uint8_t>& buffer = node.buffers[index];
        uint32_t used = 0;
        if (isPacked(node.format.pixelformat))
        {
            const size_t row = size_t(node.format.width) * 2;
            for (size_t y = 0; y < (keep ? 0 : node.format.height); ++y)
                for (size_t x = 0; x < node.format.bytesperline; ++x)
                    buffer[y * node.format.bytesperline + x] = x < row ? packedPattern(x, y, seed) : 0xEE;
            used = node.format.sizeimage;
        }
        else
        {
            used = uint32_t(std::min(compressed.size(), buffer.size()));
            std::memcpy(buffer.data(), compressed.data(), used);
        }
        node.bytesUsed[index] = truncated ? used / 2 : used;
        node.bad[index] = truncated;
        node.done.push_back(index);
        // Woken after the lock is free, poll takes the frame at once.
        hold.unlock();
        changed.notify_all();
        return true;
    }

    bool FakeV4L2::waitForQueuedBuffer(const std::string& path)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(30),
                                [&]
                                {
                                    auto found = nodes.find(path);
                                    return found != nodes.end() && found->second->streaming &&
                                           ! found->second->queued.empty();
                                });
    }

    FakeV4L2::State FakeV4L2::getState(const std::string& path) const
    {
        std::lock_guard<std::mutex> hold(lock);
        State state;
        for (const auto& [fd, node] : handles)
            if (node->spec.path == path)
                ++state.openHandles;
        auto found = nodes.find(path);
        if (found != nodes.end())
        {
            state.streaming = found->second->streaming;
            state.format = found->second->format;
            state.mappedBuffers = found->second->mapped;
            state.streamOns = found->second->streamOns;
        }
        return state;
    }

    int FakeV4L2::getMappedBuffers() const
    {
        std::lock_guard<std::mutex> hold(lock);
        std::set<const Node*> counted;
        int mapped = 0;
        for (const auto& entry : nodes)
            if (counted.insert(entry.second.get()).second)
                mapped += entry.second->mapped;
        for (const auto& entry : handles)
            if (counted.insert(entry.second.get()).second)
                mapped += entry.second->mapped;
        return mapped;
    }

    int FakeV4L2::getOpenHandles() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(handles.size());
    }

    std::vector<std::string> FakeV4L2::listNodes()
    {
        std::lock_guard<std::mutex> hold(lock);
        std::vector<std::string> paths;
        for (const auto& entry : nodes)
            paths.push_back(entry.first);
        return paths;
    }

    int FakeV4L2::open(const std::string& path, int)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto found = nodes.find(path);
        if (found == nodes.end())
            return failWith(ENOENT);
        if (! found->second->spec.opens)
            return failWith(EACCES);
        const int fd = nextFd++;
        handles[fd] = found->second;
        return fd;
    }

    int FakeV4L2::close(int fd)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto found = handles.find(fd);
        if (found == handles.end())
            return failWith(EBADF);
        handles.erase(found);
        return 0;
    }

    FakeV4L2::Node* FakeV4L2::nodeOf(int fd)
    {
        auto found = handles.find(fd);
        return found == handles.end() ? nullptr : found->second.get();
    }

    int FakeV4L2::ioctl(int fd, unsigned long request, void* argument)
    {
        std::lock_guard<std::mutex> hold(lock);
        Node* node = nodeOf(fd);
        if (node == nullptr)
            return failWith(EBADF);
        if (node->gone)
            return failWith(ENODEV);
        if (! node->spec.answersQueryCap)
            return failWith(ENOTTY);
        const int result = control(*node, request, argument);
        changed.notify_all();
        return result;
    }

    void FakeV4L2::setFormat(Node& node, v4l2_pix_format& wanted)
    {
        // A driver adjusts rather than fails: an unknown format becomes its
        // first, an unknown size the format's first.
        const Format* format = nullptr;
        for (const Format& offered : node.spec.formats)
            if (offered.fourcc == wanted.pixelformat && node.spec.refused.count(offered.fourcc) == 0)
                format = &offered;
        if (format == nullptr)
        {
            wanted.pixelformat = node.spec.refused.count(wanted.pixelformat) != 0 ? V4L2_PIX_FMT_NV12
                                                                                   : node.spec.formats[0].fourcc;
            format = &node.spec.formats[0];
        }
        if (std::find(format->sizes.begin(), format->sizes.end(), std::make_pair(wanted.width, wanted.height)) ==
            format->sizes.end())
        {
            wanted.width = format->sizes[0].first;
            wanted.height = format->sizes[0].second;
        }
        wanted.field = V4L2_FIELD_NONE;
        if (isPacked(wanted.pixelformat))
        {
            wanted.bytesperline = wanted.width * 2 + node.spec.rowPadding;
            wanted.sizeimage = wanted.bytesperline * wanted.height;
        }
        else
        {
            wanted.bytesperline = 0;
            wanted.sizeimage = wanted.width * wanted.height * 2;
        }
        node.format = wanted;
    }

    int FakeV4L2::control(Node& node, unsigned long request, void* argument)
    {
        const NodeSpec& spec = node.spec;
        switch (request)
        {
        case VIDIOC_QUERYCAP:
        {
            auto& caps = *static_cast<v4l2_capability*>(argument);
            caps = {};
            copyText(caps.driver, sizeof(caps.driver), "fake");
            copyText(caps.card, sizeof(caps.card), spec.card);
            copyText(caps.bus_info, sizeof(caps.bus_info), spec.busInfo);
            caps.device_caps = spec.deviceCaps;
            caps.capabilities = spec.deviceCaps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUM_FMT:
        {
            auto& description = *static_cast<v4l2_fmtdesc*>(argument);
            if (description.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || description.index >= spec.formats.size())
                return failWith(EINVAL);
            description.pixelformat = spec.formats[description.index].fourcc;
            description.flags = isPacked(description.pixelformat) ? 0 : V4L2_FMT_FLAG_COMPRESSED;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES:
        {
            auto& size = *static_cast<v4l2_frmsizeenum*>(argument);
            for (const Format& format : spec.formats)
                if (format.fourcc == size.pixel_format && size.index < format.sizes.size())
                {
                    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
                    size.discrete = {format.sizes[size.index].first, format.sizes[size.index].second};
                    return 0;
                }
            return failWith(EINVAL);
        }
        case VIDIOC_ENUM_FRAMEINTERVALS:
        {
            auto& interval = *static_cast<v4l2_frmivalenum*>(argument);
            for (const Format& format : spec.formats)
                if (format.fourcc == interval.pixel_format && interval.index == 0 &&
                    std::find(format.sizes.begin(), format.sizes.end(),
                              std::make_pair(interval.width, interval.height)) != format.sizes.end())
                {
                    interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
                    interval.discrete = {1, format.framesPerSecond};
                    return 0;
                }
            return failWith(EINVAL);
        }
        case VIDIOC_ENUMINPUT:
        {
            auto& input = *static_cast<v4l2_input*>(argument);
            if (input.index >= spec.inputs.size())
                return failWith(EINVAL);
            copyText(input.name, sizeof(input.name), spec.inputs[input.index]);
            input.type = V4L2_INPUT_TYPE_CAMERA;
            return 0;
        }
        case VIDIOC_G_INPUT:
            *static_cast<int*>(argument) = node.input;
            return 0;
        case VIDIOC_S_INPUT:
        {
            const int wanted = *static_cast<int*>(argument);
            if (wanted < 0 || size_t(wanted) >= spec.inputs.size())
                return failWith(EINVAL);
            if (node.streaming)
                return failWith(EBUSY);
            node.input = wanted;
            return 0;
        }
        case VIDIOC_G_FMT:
        {
            auto& format = *static_cast<v4l2_format*>(argument);
            if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return failWith(EINVAL);
            format.fmt.pix = node.format;
            return 0;
        }
        case VIDIOC_S_FMT:
        {
            auto& format = *static_cast<v4l2_format*>(argument);
            if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return failWith(EINVAL);
            if (node.streaming || ! node.buffers.empty())
                return failWith(EBUSY);
            setFormat(node, format.fmt.pix);
            return 0;
        }
        case VIDIOC_S_PARM:
        {
            auto& rate = *static_cast<v4l2_streamparm*>(argument);
            node.interval = rate.parm.capture.timeperframe;
            return 0;
        }
        case VIDIOC_REQBUFS:
        {
            auto& request = *static_cast<v4l2_requestbuffers*>(argument);
            if (request.memory != V4L2_MEMORY_MMAP || request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return failWith(EINVAL);
            if (node.streaming || node.mapped > 0)
                return failWith(EBUSY);
            request.count = std::min(request.count, node.spec.maxBuffers);
            node.buffers.assign(request.count, std::vector<uint8_t>(node.format.sizeimage));
            node.bytesUsed.assign(request.count, 0);
            node.bad.assign(request.count, false);
            node.queued.clear();
            node.done.clear();
            return 0;
        }
        case VIDIOC_QUERYBUF:
        {
            auto& buffer = *static_cast<v4l2_buffer*>(argument);
            if (buffer.index >= node.buffers.size())
                return failWith(EINVAL);
            buffer.length = uint32_t(node.buffers[buffer.index].size());
            buffer.m.offset = uint32_t(buffer.index * pageSize);
            return 0;
        }
        case VIDIOC_QBUF:
        {
            auto& buffer = *static_cast<v4l2_buffer*>(argument);
            if (buffer.index >= node.buffers.size() ||
                std::count(node.queued.begin(), node.queued.end(), buffer.index) != 0 ||
                std::count(node.done.begin(), node.done.end(), buffer.index) != 0)
                return failWith(EINVAL);
            node.queued.push_back(buffer.index);
            buffersQueued.fetch_add(1);
            return 0;
        }
        case VIDIOC_DQBUF:
        {
            auto& buffer = *static_cast<v4l2_buffer*>(argument);
            if (! node.streaming)
                return failWith(EINVAL);
            if (node.done.empty())
                return failWith(EAGAIN);
            buffer.index = node.done.front();
            node.done.pop_front();
            buffer.bytesused = node.bytesUsed[buffer.index];
            buffer.flags = node.bad[buffer.index] ? V4L2_BUF_FLAG_ERROR : 0;
            buffer.length = uint32_t(node.buffers[buffer.index].size());
            return 0;
        }
        case VIDIOC_STREAMON:
            if (node.buffers.empty())
                return failWith(EINVAL);
            node.streaming = true;
            ++node.streamOns;
            return 0;
        case VIDIOC_STREAMOFF:
            node.streaming = false;
            node.queued.clear();
            node.done.clear();
            return 0;
        default:
            return failWith(ENOTTY);
        }
    }

    void* FakeV4L2::mapBuffer(int fd, size_t length, off_t offset)
    {
        std::lock_guard<std::mutex> hold(lock);
        Node* node = nodeOf(fd);
        const size_t index = size_t(offset / pageSize);
        if (node == nullptr || node->gone || offset % pageSize != 0 || index >= node->buffers.size() ||
            length != node->buffers[index].size())
        {
            errno = EINVAL;
            return nullptr;
        }
        ++node->mapped;
        return node->buffers[index].data();
    }

    int FakeV4L2::unmapBuffer(void* address, size_t)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (auto& [fd, node] : handles)
            for (auto& buffer : node->buffers)
                if (buffer.data() == address)
                {
                    --node->mapped;
                    return 0;
                }
        return failWith(EINVAL);
    }

    int FakeV4L2::poll(int fd, int timeoutMs, short& revents)
    {
        std::unique_lock<std::mutex> hold(lock);
        revents = 0;
        auto found = handles.find(fd);
        if (found == handles.end())
        {
            revents = POLLNVAL;
            return 1;
        }
        std::shared_ptr<Node> node = found->second;
        changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                         [&] { return node->gone || ! node->done.empty(); });
        if (node->gone)
            revents = POLLERR | POLLHUP;
        else if (! node->done.empty())
            revents = POLLIN;
        return revents != 0 ? 1 : 0;
    }

    std::vector<uint8_t> solidJPEG(int width, int height, uint8_t red, uint8_t green, uint8_t blue, int quality)
    {
        std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
        for (size_t i = 0; i < rgb.size(); i += 3)
        {
            rgb[i] = red;
            rgb[i + 1] = green;
            rgb[i + 2] = blue;
        }
        std::vector<uint8_t> jpeg;
        stbi_write_jpg_to_func(
            [](void* context, void* data, int size)
            {
                auto* out = static_cast<std::vector<uint8_t>*>(context);
                out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
            },
            &jpeg, width, height, 3, rgb.data(), quality);
        return jpeg;
    }
}
