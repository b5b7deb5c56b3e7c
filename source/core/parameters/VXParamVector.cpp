#include "core/parameters/VXParamVector.h"

#include "core/VXTimeInfo.h"

#include <type_traits>

namespace vx
{
    template <typename T>
    ParamVector<T>::ParamVector(const std::string& name) : ParamBase(name, "ParamVector")
    {
    }

    template <typename T>
    ParamVector<T>::ParamVector(const std::string& name, const std::string& elementName) : ParamBase(name, elementName)
    {
    }

    template <typename T>
    bool ParamVector<T>::update(const TimeInfo& info)
    {
        if (updateSource != nullptr && updateSource->updateValue(value))
            stateChanged(ChangeInfo(StateChange_Value, info.time));
        return false;
    }

    template <typename T>
    XmlNode* ParamVector<T>::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        for (const T& entry : value)
        {
            XmlNode* child = createNode(pool, "Value");
            child->append_attribute(createAttribute(pool, "value", entry));
            element->append_node(child);
        }
        return element;
    }

    template <typename T>
    void ParamVector<T>::readStateDerived(const XmlNode& node)
    {
        forEachChildOfType(node, "Value",
                           [this](const XmlNode& child)
                           {
                               const XmlAttribute* attribute = child.first_attribute("value");
                               if (attribute == nullptr)
                                   return;
                               if constexpr (std::is_same_v<T, std::string>)
                               {
                                   value.push_back(readAttribute(attribute, std::string()));
                               }
                               else
                               {
                                   T entry{};
                                   if (readAttribute(attribute, &entry))
                                       value.push_back(entry);
                               }
                           });
    }

    template class ParamVector<float>;
    template class ParamVector<std::string>;
}
