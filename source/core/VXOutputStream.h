#pragma once

namespace vx
{
    // A positioned sink of bytes with 64-bit offsets. Used by one thread at a
    // time; owned by whoever created it and deleted through this base.
    class OutputStream
    {
    public:
        virtual ~OutputStream() = default;

        // Offset from the start.
        virtual void setPosition(unsigned long long position) = 0;
        // Answers the number of bytes actually written (short on error).
        virtual unsigned long long writeBytes(const void* source, unsigned long long count) = 0;
        // The current offset, -1 on failure.
        virtual long long getPosition() const = 0;
    };
}
