#pragma once

#include "engine/behaviours/VXBehaviourAnimated.h"

#include <memory>
#include <string>

namespace vx
{
    class ExpressionModifier;

    // A timeline carrying an expression text ("Expression"), saved with it;
    // the expression is not evaluated, so it animates as the timeline does.
    // Not tempo-synced at first. Element and name "BehaviourExpression".
    class BehaviourExpression : public BehaviourAnimated
    {
    public:
        BehaviourExpression(ParamRange& owner, double originalDurationMs);
        ~BehaviourExpression() override;

        void valueChanged(ParamBase& param, ChangeInfo info) override;

        const std::shared_ptr<Param<std::string>>& getExpressionParam() const { return expression; }

    private:
        std::shared_ptr<Param<std::string>> expression;
        std::shared_ptr<ExpressionModifier> modifier;
    };
}
