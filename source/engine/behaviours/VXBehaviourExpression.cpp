#include "engine/behaviours/VXBehaviourExpression.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/behaviours/VXExpressionModifier.h"

namespace vx
{
    BehaviourExpression::BehaviourExpression(ParamRange& owner, double originalDurationMs)
        : BehaviourAnimated(owner, originalDurationMs, "BehaviourExpression")
    {
        expression = params->addParamString("Expression", "sin(x * pi)+1.0");
        modifier = std::make_shared<ExpressionModifier>();
        modifier->setExpression(expression->getValue());
        addModifier(modifier);
        expression->addListener(*this, false);
        getTempoSyncedParam()->setValue(false, ValueChangeInfo());
    }

    BehaviourExpression::~BehaviourExpression()
    {
        expression->removeListener(*this);
    }

    void BehaviourExpression::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param == expression.get())
            modifier->setExpression(expression->getValue());
        else
            BehaviourAnimated::valueChanged(param, info);
    }
}
