#include "engine/video/sources/VXSourceInfo.h"

#include "engine/video/sources/VXSourceDirectory.h"

namespace vx
{
    SourceExtension* SourceInfo::getExtension() const
    {
        SourceDirectory* directory = SourceDirectory::getCurrent();
        return directory != nullptr ? directory->getSourceExtension(uniqueId) : nullptr;
    }
}
