#include "core/parameters/VXGenericParamChoice.h"

namespace vx
{
    void GenericParamChoice::setValueByPreviousIndex(ValueChangeInfo)
    {
    }
}
