#include "core/parameters/VXParamListener.h"

namespace vx
{
    void ParamListener::valueChanged(ParamBase&, ChangeInfo)
    {
    }
    void ParamListener::stateChanged(ParamBase&, ChangeInfo)
    {
    }
    ParamListener::~ParamListener() = default;
}
