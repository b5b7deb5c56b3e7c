#include "engine/video/formats/VXSingleFrameBufferer.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "engine/video/formats/VXFrameSource.h"

#include <cstdlib>
#include <cstring>

namespace vx
{
    SingleFrameBufferer::SingleFrameBufferer(FrameSource& frameSource) : FramesBufferer(frameSource) {}

    SingleFrameBufferer::~SingleFrameBufferer()
    {
        std::free(buffer);
    }

    void SingleFrameBufferer::frameRequested(unsigned frame)
    {
        if (buffer == nullptr || bufferSize != source.getFrameSize())
            initializeBuffer();
        int count = 1;
        const bool prepared = source.prepareFrames(frame, count, nullptr) && count >= 1;

        ScopedLockT<CriticalSection> hold(lock);
        current = nullptr;
        if (buffer == nullptr || ! prepared)
            return;
        std::memset(buffer, 0, bufferSize);
        unsigned char* target = buffer;
        if (source.decompressPreparedFrame(0, &target) && target == buffer)
            current = buffer;
    }

    unsigned char* SingleFrameBufferer::getFrame(unsigned)
    {
        lock.enter();
        return current;
    }

    void SingleFrameBufferer::releaseFrame()
    {
        lock.exit();
    }

    void SingleFrameBufferer::clearBuffer()
    {
        ScopedLockT<CriticalSection> hold(lock);
        std::free(buffer);
        buffer = nullptr;
        bufferSize = 0;
        current = nullptr;
    }

    void SingleFrameBufferer::initializeBuffer()
    {
        ScopedLockT<CriticalSection> hold(lock);
        const std::size_t size = source.getFrameSize();
        std::free(buffer);
        current = nullptr;
        buffer = size != 0 ? static_cast<unsigned char*>(std::malloc(size)) : nullptr;
        bufferSize = buffer != nullptr ? size : 0;
        if (buffer == nullptr && size != 0)
            logPrint(logError, "SingleFrameBufferer: no memory for a frame of %zu bytes.", size);
    }
}
