#pragma once

#include "core/parameters/VXChangeInfo.h"

#include <string>

namespace vx
{
    // Type-free access to a choice parameter, so that controls, input
    // handlers and hosts can step through choices by index or name without
    // knowing the value type. Indices not below getNumChoices() are out of
    // range: getters answer "" or false, setters change nothing.
    class GenericParamChoice
    {
    public:
        virtual ~GenericParamChoice() = default;

        // First choice holding the current value; -1 when none does.
        virtual int getChoiceIndexByValue() const = 0;
        // The index left by the last setValueByIndex; -1 before any.
        virtual int getPreviousChoiceIndex() const = 0;
        virtual bool setValueByIndex(unsigned int index, ValueChangeInfo info) = 0;
        virtual bool setValueByName(const std::string& name, ValueChangeInfo info) = 0;
        virtual std::string getNameOfChoice(unsigned int index) const = 0;
        virtual std::string getShortNameOfChoice(unsigned int index) const = 0;
        virtual bool isChoiceEnabled(unsigned int index) const = 0;
        virtual bool isChoiceActive(unsigned int index) const = 0;
        virtual void setValueByPreviousIndex(ValueChangeInfo info);
        virtual void incrementChoice(bool wrap, ValueChangeInfo info) = 0;
        virtual void decrementChoice(bool wrap, ValueChangeInfo info) = 0;
        // 1.0 spans the list from the first choice to the last; fractions of
        // a step accumulate over calls.
        virtual void incrementNormalized(double amount, ValueChangeInfo info) = 0;
        virtual unsigned int getNumChoices() const = 0;
        virtual void resetToDefaultValue() = 0;

        // Choosing the current choice again sets the default value instead.
        void setSameValueResets(bool shouldReset) { sameValueResets = shouldReset; }
        bool getSameValueResets() const { return sameValueResets; }
        bool getShowActiveState() const { return showActiveState; }

    protected:
        bool sameValueResets = false;
        bool showActiveState = false;
    };
}
