#include "core/VXVec3.h"

#include <istream>
#include <ostream>

namespace vx
{

    std::istream& operator>>(std::istream& stream, TVec3<float>&)
    {
        return stream;
    }

    std::ostream& operator<<(std::ostream& stream, const TVec3<float>&)
    {
        return stream;
    }

} // namespace vx
