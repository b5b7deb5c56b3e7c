#include "core/parameters/VXValueRange.h"

namespace vx
{
    template class ValueRange<double>;
}
