#include "core/VXSystem.h"

#include <unistd.h>

namespace vx
{

    unsigned int System::getNumParallelThreads()
    {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        return online > 0 ? static_cast<unsigned int>(online) : 1u;
    }

} // namespace vx
