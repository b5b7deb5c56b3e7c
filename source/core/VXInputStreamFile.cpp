#include "core/VXInputStreamFile.h"

#include <sys/types.h>

#include <limits>

namespace vx
{
    InputStreamFile::InputStreamFile(FILE* handle) : handle(handle)
    {
    }

    InputStreamFile::~InputStreamFile()
    {
        if (handle != nullptr)
            std::fclose(handle);
    }

    void InputStreamFile::setPosition(unsigned long long position)
    {
        // Offsets beyond off_t cannot be reached; the position stays.
        if (handle == nullptr || position > static_cast<unsigned long long>(std::numeric_limits<off_t>::max()))
            return;
        fseeko(handle, static_cast<off_t>(position), SEEK_SET);
    }

    unsigned long long InputStreamFile::readBytes(void* destination, unsigned long long count)
    {
        if (handle == nullptr || destination == nullptr || count == 0)
            return 0;
        return std::fread(destination, 1, static_cast<size_t>(count), handle);
    }

    long long InputStreamFile::getPosition() const
    {
        if (handle == nullptr)
            return -1;
        return static_cast<long long>(ftello(handle));
    }

    unsigned long long InputStreamFile::getTotalSize() const
    {
        if (totalSize != 0 || handle == nullptr)
            return totalSize;
        const off_t current = ftello(handle);
        if (current < 0)
            return 0;
        if (fseeko(handle, 0, SEEK_END) == 0)
        {
            const off_t end = ftello(handle);
            if (end > 0)
                totalSize = static_cast<unsigned long long>(end);
        }
        fseeko(handle, current, SEEK_SET);
        return totalSize;
    }
}
