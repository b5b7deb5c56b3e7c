#pragma once

#include "core/parameters/VXGenericParamChoice.h"
#include "core/parameters/VXParam.h"

#include <string>
#include <type_traits>
#include <vector>

namespace vx
{
    // A typed parameter whose value is picked from an ordered list of named
    // choices. Instantiated for int, unsigned long long, double and
    // CodecFourCC. Element "ParamChoice". No lock of its own: notification
    // and threading are those of Param.
    template <typename T>
    class ParamChoice : public Param<T>, public GenericParamChoice
    {
    public:
        // One entry of the list: element "Choice", the name is the choice's
        // name. A copy keeps name, value, flags and short name; its storage
        // is 1 and its alternative name empty.
        class Choice : public XmlCapable
        {
        public:
            Choice(const std::string& name, const T& value, bool enabled = true, bool active = true);
            Choice(const Choice& other) = default;
            Choice& operator=(const Choice& other);

            const T& getValue() const { return value; }
            bool isEnabled() const { return enabled; }
            void setEnabled(bool shouldBeEnabled) { enabled = shouldBeEnabled; }
            bool isActive() const { return active; }
            void setActive(bool shouldBeActive) { active = shouldBeActive; }
            const std::string& getShortName() const { return shortName; }
            void setShortName(const std::string& newShortName) { shortName = newShortName; }

            // createElement, then "value", "enabled", "active", "shortName".
            XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
            // Each of the four when present.
            void readStateDerived(const XmlNode& node) override;

        private:
            T value;
            bool enabled;
            bool active;
            std::string shortName;
        };

        // Value and default both initialValue.
        explicit ParamChoice(const std::string& name, const T& initialValue = T());

        void addChoice(const Choice& choice);
        void addChoice(const std::string& name, const T& choiceValue, bool enabled, bool active);
        // One enabled, active choice per name, valued 0, 1, 2 ... in order.
        void addChoices(const std::vector<std::string>& names);
        // Empties the list (and forgets the previous index); the value stays.
        void clearChoices();

        // First choice with exactly that name (case matters); null when none.
        Choice* getChoiceByName(const std::string& name);
        const Choice* getChoiceByName(const std::string& name) const;
        const std::vector<Choice>& getChoices() const { return choices; }

        // When sameValueResets is on and newValue is the current value, sets
        // the default instead (answering true); otherwise Param::setValue.
        bool setValue(const T& newValue, ValueChangeInfo info) override;

        // Every store of the value is also written to *linkedValue (a T,
        // kept alive by whoever linked it); null unlinks.
        void setValueToLinkBehaviourTo(void* linkedValue) override;

        void setStoreChoices(bool shouldStore) { storeChoices = shouldStore; }
        bool getStoreChoices() const { return storeChoices; }

        std::string getNameOfChoice(unsigned int index) const override;
        std::string getShortNameOfChoice(unsigned int index) const override;
        bool isChoiceEnabled(unsigned int index) const override;
        bool isChoiceActive(unsigned int index) const override;
        // Records the index being left as the previous index, then selects.
        bool setValueByIndex(unsigned int index, ValueChangeInfo info) override;
        // Selects without touching the previous index.
        bool setValueByName(const std::string& name, ValueChangeInfo info) override;
        // Back to the previous index (nothing when there is none), so two
        // calls switch back and forth.
        void setValueByPreviousIndex(ValueChangeInfo info) override;
        void incrementChoice(bool wrap, ValueChangeInfo info) override;
        void decrementChoice(bool wrap, ValueChangeInfo info) override;
        // A non-finite amount (or one that overflows the step count) is
        // refused with a log line and changes nothing.
        void incrementNormalized(double amount, ValueChangeInfo info) override;
        unsigned int getNumChoices() const override;
        int getChoiceIndexByValue() const override;
        int getPreviousChoiceIndex() const override { return previousIndex; }
        void resetToDefaultValue() override;

        // Always when storeChoices is set; otherwise as Param.
        bool needsToWriteState() override;
        // Param's element plus "storeChoices", then the choices as children
        // when storeChoices is set.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Param's attributes, "storeChoices", then every child with a "name":
        // an existing choice of that name reads it, any other name appends a
        // new choice (value zero, enabled, active) that read it. Nothing is
        // removed or reordered.
        void readStateDerived(const XmlNode& node) override;

        // From a "ParamChoice" element whose "T" names int or unsigned long
        // long; null otherwise. The caller owns the answer.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    protected:
        void valueStored() override;

    private:
        std::vector<Choice> choices;
        bool storeChoices = false;
        int previousIndex = -1;
        double incrementRemainder = 0.0;
        T* linkedValue = nullptr;
    };

    extern template class ParamChoice<int>;
    extern template class ParamChoice<unsigned long long>;
    extern template class ParamChoice<double>;
    extern template class ParamChoice<CodecFourCC>;
}
