#pragma once

#include "core/parameters/VXChangeInfo.h"

namespace vx
{
    class ParamBase;

    // Receives a parameter's notifications. Which of the two a change reaches
    // is decided by ParamBase::stateChanged; the record comes by value.
    // Register with the parameter's broadcaster and unregister before dying.
    class ParamListener
    {
    public:
        virtual void valueChanged(ParamBase& param, ChangeInfo info);
        virtual void stateChanged(ParamBase& param, ChangeInfo info);
        virtual ~ParamListener();
    };
}
