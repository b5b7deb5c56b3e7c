#include "engine/behaviours/VXDeltaSource.h"

namespace vx
{
    // The key function: the base's vtable is emitted here only.
    DeltaSource::~DeltaSource() = default;
}
