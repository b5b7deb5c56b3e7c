#include "core/parameters/VXParamChoice.h"

#include "core/VXLog.h"

#include <cmath>
#include <cstring>

namespace vx
{
    namespace
    {
        template <typename T>
        void readChoiceAttribute(const XmlNode& node, const char* name, T& target)
        {
            if (const XmlAttribute* attribute = node.first_attribute(name))
                readAttribute(attribute, &target);
        }
    }

    // Choice ------------------------------------------------------------

    template <typename T>
    ParamChoice<T>::Choice::Choice(const std::string& name, const T& choiceValue, bool isEnabled, bool isActive)
        : XmlCapable("Choice", name), value(choiceValue), enabled(isEnabled), active(isActive)
    {
    }

    template <typename T>
    typename ParamChoice<T>::Choice& ParamChoice<T>::Choice::operator=(const Choice& other)
    {
        XmlCapable::operator=(other);
        value = other.value;
        enabled = other.enabled;
        active = other.active;
        shortName = other.shortName;
        return *this;
    }

    template <typename T>
    XmlNode* ParamChoice<T>::Choice::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "value", value));
        element->append_attribute(createAttribute(pool, "enabled", enabled));
        element->append_attribute(createAttribute(pool, "active", active));
        element->append_attribute(createAttribute(pool, "shortName", shortName));
        return element;
    }

    template <typename T>
    void ParamChoice<T>::Choice::readStateDerived(const XmlNode& node)
    {
        readChoiceAttribute(node, "value", value);
        readChoiceAttribute(node, "enabled", enabled);
        readChoiceAttribute(node, "active", active);
        if (const XmlAttribute* attribute = node.first_attribute("shortName"))
            shortName = readAttribute(attribute, shortName);
    }

    // ParamChoice -------------------------------------------------------

    template <typename T>
    ParamChoice<T>::ParamChoice(const std::string& name, const T& initialValue)
        : Param<T>(name, initialValue, "ParamChoice")
    {
    }

    template <typename T>
    void ParamChoice<T>::addChoice(const Choice& choice)
    {
        choices.push_back(choice);
    }

    template <typename T>
    void ParamChoice<T>::addChoice(const std::string& name, const T& choiceValue, bool enabled, bool active)
    {
        choices.push_back(Choice(name, choiceValue, enabled, active));
    }

    template <typename T>
    void ParamChoice<T>::addChoices(const std::vector<std::string>& names)
    {
        for (std::size_t i = 0; i < names.size(); ++i)
            choices.push_back(Choice(names[i], static_cast<T>(static_cast<unsigned int>(i)), true, true));
    }

    template <typename T>
    void ParamChoice<T>::clearChoices()
    {
        choices.clear();
        previousIndex = -1;
    }

    template <typename T>
    typename ParamChoice<T>::Choice* ParamChoice<T>::getChoiceByName(const std::string& name)
    {
        for (Choice& choice : choices)
            if (choice.getName() == name)
                return &choice;
        return nullptr;
    }

    template <typename T>
    const typename ParamChoice<T>::Choice* ParamChoice<T>::getChoiceByName(const std::string& name) const
    {
        return const_cast<ParamChoice*>(this)->getChoiceByName(name);
    }

    template <typename T>
    bool ParamChoice<T>::setValue(const T& newValue, ValueChangeInfo info)
    {
        if (sameValueResets && newValue == this->value)
        {
            Param<T>::setValue(this->defaultValue, info);
            return true;
        }
        return Param<T>::setValue(newValue, info);
    }

    template <typename T>
    void ParamChoice<T>::setValueToLinkBehaviourTo(void* link)
    {
        linkedValue = static_cast<T*>(link);
    }

    template <typename T>
    void ParamChoice<T>::valueStored()
    {
        if (linkedValue != nullptr)
            *linkedValue = this->value;
    }

    template <typename T>
    std::string ParamChoice<T>::getNameOfChoice(unsigned int index) const
    {
        return index < choices.size() ? choices[index].getName() : std::string();
    }

    template <typename T>
    std::string ParamChoice<T>::getShortNameOfChoice(unsigned int index) const
    {
        return index < choices.size() ? choices[index].getShortName() : std::string();
    }

    template <typename T>
    bool ParamChoice<T>::isChoiceEnabled(unsigned int index) const
    {
        return index < choices.size() && choices[index].isEnabled();
    }

    template <typename T>
    bool ParamChoice<T>::isChoiceActive(unsigned int index) const
    {
        return index < choices.size() && choices[index].isActive();
    }

    template <typename T>
    bool ParamChoice<T>::setValueByIndex(unsigned int index, ValueChangeInfo info)
    {
        if (index >= choices.size())
            return false;
        previousIndex = getChoiceIndexByValue();
        // Copied first: a listener may change the list while it is told.
        const T newValue = choices[index].getValue();
        setValue(newValue, info);
        return true;
    }

    template <typename T>
    bool ParamChoice<T>::setValueByName(const std::string& name, ValueChangeInfo info)
    {
        const Choice* choice = getChoiceByName(name);
        if (choice == nullptr)
            return false;
        const T newValue = choice->getValue();
        setValue(newValue, info);
        return true;
    }

    template <typename T>
    void ParamChoice<T>::setValueByPreviousIndex(ValueChangeInfo info)
    {
        if (previousIndex == -1)
            return;
        setValueByIndex(static_cast<unsigned int>(previousIndex), info);
    }

    template <typename T>
    void ParamChoice<T>::incrementChoice(bool wrap, ValueChangeInfo info)
    {
        const unsigned int next = static_cast<unsigned int>(getChoiceIndexByValue() + 1);
        const unsigned int count = getNumChoices();
        if (next >= count && ! wrap)
            setValueByIndex(count - 1, info);
        else
            setValueByIndex(next < count ? next : 0, info);
    }

    template <typename T>
    void ParamChoice<T>::decrementChoice(bool wrap, ValueChangeInfo info)
    {
        const int current = getChoiceIndexByValue();
        const int count = static_cast<int>(getNumChoices());
        if (current <= 0 && ! wrap)
            setValueByIndex(0, info);
        else
            setValueByIndex(static_cast<unsigned int>((current > 0 ? current : count) - 1), info);
    }

    template <typename T>
    void ParamChoice<T>::incrementNormalized(double amount, ValueChangeInfo info)
    {
        const unsigned int count = getNumChoices();
        if (count < 2)
            return;

        const double step = static_cast<double>(count - 1) * amount;
        if (! std::isfinite(step) || ! std::isfinite(incrementRemainder + step))
        {
            logPrint(logWarning, "ParamChoice::incrementNormalized: ignoring amount %g on \"%s\"", amount,
                     this->getPath().c_str());
            return;
        }

        int current = getChoiceIndexByValue();
        if (current == -1)
        {
            setValueByIndex(0, ValueChangeInfo());
            current = 0;
        }

        incrementRemainder += step;

        // Kept in floating point: a large remainder must not overflow an int.
        const double target = std::trunc(static_cast<double>(current) + incrementRemainder + 0.5);
        if (target == static_cast<double>(current))
            return;

        // Back into [-0.5, 0.5): the step just taken is used up.
        incrementRemainder -= std::floor(incrementRemainder + 0.5);

        double wrapped = std::fmod(target, static_cast<double>(count));
        if (wrapped < 0.0)
            wrapped += static_cast<double>(count);
        setValueByIndex(static_cast<unsigned int>(wrapped), info);
    }

    template <typename T>
    unsigned int ParamChoice<T>::getNumChoices() const
    {
        return static_cast<unsigned int>(choices.size());
    }

    template <typename T>
    int ParamChoice<T>::getChoiceIndexByValue() const
    {
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i].getValue() == this->value)
                return static_cast<int>(i);
        return -1;
    }

    template <typename T>
    void ParamChoice<T>::resetToDefaultValue()
    {
        Param<T>::resetToDefault(ValueChangeInfo());
    }

    template <typename T>
    bool ParamChoice<T>::needsToWriteState()
    {
        return storeChoices || Param<T>::needsToWriteState();
    }

    template <typename T>
    XmlNode* ParamChoice<T>::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Param<T>::writeStateDerived(pool, force);
        element->append_attribute(createAttribute(pool, "storeChoices", storeChoices));
        if (storeChoices)
            for (Choice& choice : choices)
                choice.appendAndWrite(element, pool, force);
        return element;
    }

    template <typename T>
    void ParamChoice<T>::readStateDerived(const XmlNode& node)
    {
        Param<T>::readStateDerived(node);
        readChoiceAttribute(node, "storeChoices", storeChoices);

        for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
        {
            if (child->type() != rapidxml::node_element)
                continue;
            const XmlAttribute* nameAttribute = child->first_attribute("name");
            if (nameAttribute == nullptr)
                continue;

            const std::string name = readAttribute(nameAttribute, std::string());
            if (Choice* existing = getChoiceByName(name))
            {
                existing->readState(child, false);
            }
            else
            {
                Choice added(name, T(), true, true);
                added.readState(child, false);
                choices.push_back(added);
            }
        }
    }

    template <typename T>
    ParamBase* ParamChoice<T>::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;
        const XmlAttribute* typeAttribute = node->first_attribute("T");
        if (typeAttribute == nullptr)
            return nullptr;

        const std::string typeWord = readAttribute(typeAttribute, std::string());
        const std::string name = readAttribute(node->first_attribute("name"), std::string());

        ParamBase* created = nullptr;
        if (typeWord == XmlUtils::getTypeIDName(int()))
            created = new ParamChoice<int>(name);
        else if (typeWord == XmlUtils::getTypeIDName((unsigned long long)0))
            created = new ParamChoice<unsigned long long>(name);
        else
            return nullptr;

        created->readState(node, false);
        return created;
    }

    template class ParamChoice<int>;
    template class ParamChoice<unsigned long long>;
    template class ParamChoice<double>;
    template class ParamChoice<CodecFourCC>;
}
