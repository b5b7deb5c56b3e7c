#pragma once

#include "core/VXCodecFourCC.h"
#include "core/parameters/VXParamBase.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlUtils.h"

#include <locale>
#include <sstream>
#include <string>
#include <type_traits>

namespace vx
{
    // A parameter holding one value of type T and a default of the same
    // type. Instantiated for bool, int, unsigned int, unsigned long long,
    // float, double, std::string and CodecFourCC. Equality is T's ==, so a
    // floating NaN never equals anything (setting NaN always stores and
    // notifies).
    template <typename T>
    class Param : public ParamBase
    {
    public:
        Param(const std::string& name, const T& initialValue);

        const T& getValue() const { return value; }
        const T& getDefaultValue() const { return defaultValue; }

        // Applies the change type (3 becomes the default change type): an
        // equal value is ignored unless the type is 2; types 0 and 2 notify
        // valueChanged with info's source and a fresh stamp when info has
        // none. Answers whether the value was stored.
        virtual bool setValue(const T& newValue, ValueChangeInfo info);
        // Changes the default only: no notification, the value stays.
        virtual void setDefaultValue(const T& newDefault);

        // setValue(default, info), then StateChange_Reset always.
        void resetToDefault(const ValueChangeInfo& info) override;
        bool update(const TimeInfo& info) override;
        // The default stream form (6 significant digits for floating values).
        std::string getValueAsString() const override;
        // Storage is not 2 and the value differs from the default.
        bool needsToWriteState() override;

        using XmlCapable::readState;
        // The base read sequence, plus valueChanged with source 512 before
        // readStatePost when reading changed the value.
        void readState(const XmlNode* node, bool ignoreName) override;
        // createElement, then "T" (storage 0 only), "default", "value".
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // "default", then "value"; a missing attribute leaves the field.
        void readStateDerived(const XmlNode& node) override;
        // Sends StateChange_Read.
        void readStatePost() override;

        // Re-creates a parameter from a "Param" element whose "T" names int,
        // float, double, bool or string (initial value 1, 1.0f, 1.0, true or
        // "" before the element is read); null for any other or missing word.
        // The caller owns the answer.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    protected:
        // For kinds with their own element name.
        Param(const std::string& name, const T& initialValue, const std::string& elementName);

        // Called after every store of the value (setter and XML read).
        virtual void valueStored() {}

        T value;
        T defaultValue;
    };

    namespace detail
    {
        template <typename T>
        std::string valueToDisplayText(const T& value)
        {
            std::ostringstream stream;
            stream.imbue(std::locale::classic());
            stream << value;
            return stream.str();
        }

        template <typename T>
        void readValueAttribute(const XmlNode& node, const char* attributeName, T& target)
        {
            const XmlAttribute* attribute = node.first_attribute(attributeName);
            if constexpr (std::is_same_v<T, std::string>)
            {
                if (attribute != nullptr)
                    target = readAttribute(attribute, target);
            }
            else
            {
                readAttribute(attribute, &target);
            }
        }
    }

    template <typename T>
    Param<T>::Param(const std::string& name, const T& initialValue)
        : ParamBase(name), value(initialValue), defaultValue(initialValue)
    {
    }

    template <typename T>
    Param<T>::Param(const std::string& name, const T& initialValue, const std::string& elementName)
        : ParamBase(name, elementName), value(initialValue), defaultValue(initialValue)
    {
    }

    template <typename T>
    bool Param<T>::setValue(const T& newValue, ValueChangeInfo info)
    {
        info.type = resolveChangeType(info.type);
        if (newValue == value && info.type != ChangeType_Always)
            return false;

        value = newValue;
        valueStored();
        if (info.type == ChangeType_OnChange || info.type == ChangeType_Always)
            stateChanged(ChangeInfo(info.source, StateChange_Value, info.time));
        return true;
    }

    template <typename T>
    void Param<T>::setDefaultValue(const T& newDefault)
    {
        defaultValue = newDefault;
    }

    template <typename T>
    void Param<T>::resetToDefault(const ValueChangeInfo& info)
    {
        setValue(defaultValue, info);
        stateChanged(ChangeInfo(StateChange_Reset));
    }

    template <typename T>
    bool Param<T>::update(const TimeInfo&)
    {
        return false;
    }

    template <typename T>
    std::string Param<T>::getValueAsString() const
    {
        return detail::valueToDisplayText(value);
    }

    template <typename T>
    bool Param<T>::needsToWriteState()
    {
        return ParamBase::needsToWriteState() && ! (value == defaultValue);
    }

    template <typename T>
    void Param<T>::readState(const XmlNode* node, bool ignoreName)
    {
        if (node == nullptr)
            return;
        if (! ignoreName && getElementName().compare(0, std::string::npos, node->name(), node->name_size()) != 0)
            return;

        const T valueBefore = value;
        readStatePre();
        readCommonAttributes(*node);
        readStateDerived(*node);
        if (! (value == valueBefore))
            stateChanged(ChangeInfo(changeSourceXmlRead, StateChange_Value));
        readStatePost();
    }

    template <typename T>
    XmlNode* Param<T>::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        if (getStorage() == storageCreatable)
            element->append_attribute(createAttribute(pool, "T", XmlUtils::getTypeIDName(value)));
        element->append_attribute(createAttribute(pool, "default", defaultValue));
        element->append_attribute(createAttribute(pool, "value", value));
        return element;
    }

    template <typename T>
    void Param<T>::readStateDerived(const XmlNode& node)
    {
        detail::readValueAttribute(node, "default", defaultValue);
        if (node.first_attribute("value") != nullptr)
        {
            detail::readValueAttribute(node, "value", value);
            valueStored();
        }
    }

    template <typename T>
    void Param<T>::readStatePost()
    {
        stateChanged(ChangeInfo(StateChange_Read));
    }

    extern template class Param<bool>;
    extern template class Param<int>;
    extern template class Param<unsigned int>;
    extern template class Param<unsigned long long>;
    extern template class Param<float>;
    extern template class Param<double>;
    extern template class Param<std::string>;
    extern template class Param<CodecFourCC>;
}
