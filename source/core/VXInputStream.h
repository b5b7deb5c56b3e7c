#pragma once

namespace vx
{
    // A positioned source of bytes with 64-bit offsets. Used by one thread at
    // a time; owned by whoever created it and deleted through this base.
    class InputStream
    {
    public:
        virtual ~InputStream() = default;

        // Offset from the start.
        virtual void setPosition(unsigned long long position) = 0;
        // Answers the number of bytes actually read (short at the end or on error).
        virtual unsigned long long readBytes(void* destination, unsigned long long count) = 0;
        // The current offset, -1 on failure.
        virtual long long getPosition() const = 0;
        virtual unsigned long long getTotalSize() const = 0;
    };
}
