#pragma once

#include "engine/behaviours/VXParamModifier.h"

#include <string>

namespace vx
{
    // Holds an expression behaviour's place in its chain. Expressions are
    // stored and saved with the behaviour but not evaluated: the value
    // passes unchanged.
    class ExpressionModifier : public ParamModifier
    {
    public:
        void apply(double&) override {}
        void reset(const double&) override {}
        void setExpression(const std::string&) {}
    };
}
