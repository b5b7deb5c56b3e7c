#include "core/VXOutputStreamFile.h"

#include <sys/types.h>

#include <limits>

namespace vx
{
    OutputStreamFile::OutputStreamFile(FILE* handle) : handle(handle)
    {
    }

    OutputStreamFile::~OutputStreamFile()
    {
        if (handle != nullptr)
            std::fclose(handle);
    }

    void OutputStreamFile::setPosition(unsigned long long position)
    {
        if (handle == nullptr || position > static_cast<unsigned long long>(std::numeric_limits<off_t>::max()))
            return;
        fseeko(handle, static_cast<off_t>(position), SEEK_SET);
    }

    unsigned long long OutputStreamFile::writeBytes(const void* source, unsigned long long count)
    {
        if (handle == nullptr || source == nullptr || count == 0)
            return 0;
        return std::fwrite(source, 1, static_cast<size_t>(count), handle);
    }

    long long OutputStreamFile::getPosition() const
    {
        if (handle == nullptr)
            return -1;
        return static_cast<long long>(ftello(handle));
    }
}
