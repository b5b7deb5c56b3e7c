#pragma once

#include <cstdio>

#include "core/VXOutputStream.h"

namespace vx
{
    // An output stream over a stdio file; 64-bit offsets throughout.
    class OutputStreamFile : public OutputStream
    {
    public:
        // Takes ownership of the open handle (closed on destruction).
        explicit OutputStreamFile(FILE* handle);
        ~OutputStreamFile() override;
        OutputStreamFile(const OutputStreamFile&) = delete;
        OutputStreamFile& operator=(const OutputStreamFile&) = delete;

        void setPosition(unsigned long long position) override;
        unsigned long long writeBytes(const void* source, unsigned long long count) override;
        long long getPosition() const override;

    private:
        FILE* handle;
    };
}
