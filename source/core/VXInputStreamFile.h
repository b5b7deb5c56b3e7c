#pragma once

#include <cstdio>

#include "core/VXInputStream.h"

namespace vx
{
    // An input stream over a stdio file; 64-bit offsets throughout.
    class InputStreamFile : public InputStream
    {
    public:
        // Takes ownership of the open handle (closed on destruction).
        explicit InputStreamFile(FILE* handle);
        ~InputStreamFile() override;
        InputStreamFile(const InputStreamFile&) = delete;
        InputStreamFile& operator=(const InputStreamFile&) = delete;

        void setPosition(unsigned long long position) override;
        unsigned long long readBytes(void* destination, unsigned long long count) override;
        long long getPosition() const override;
        // Measured once and cached (an empty file is measured on every call);
        // the read position is left where it was. 0 when it cannot be measured.
        unsigned long long getTotalSize() const override;

    private:
        FILE* handle;
        mutable unsigned long long totalSize = 0;
    };
}
