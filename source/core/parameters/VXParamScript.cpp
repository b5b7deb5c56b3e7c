#include "core/parameters/VXParamScript.h"

namespace vx
{
    ParamScript::ParamScript(const std::string& name, ScriptType type, const std::string& text)
        : Param<std::string>(name, text, "ParamScript"), scriptType(type)
    {
    }

    XmlNode* ParamScript::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Param<std::string>::writeStateDerived(pool, force);
        if (element != nullptr)
            element->append_attribute(createAttribute(pool, "type", static_cast<std::int32_t>(scriptType)));
        return element;
    }

    void ParamScript::readStateDerived(const XmlNode& node)
    {
        std::int32_t typeValue = 0;
        if (readAttribute(node.first_attribute("type"), &typeValue))
            scriptType = static_cast<ScriptType>(typeValue);
        Param<std::string>::readStateDerived(node);
    }

    ParamBase* ParamScript::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;
        const XmlAttribute* nameAttribute = node->first_attribute("name");
        std::int32_t typeValue = 0;
        if (nameAttribute == nullptr || ! readAttribute(node->first_attribute("type"), &typeValue))
            return nullptr;

        auto* script = new ParamScript(readAttribute(nameAttribute, std::string()), static_cast<ScriptType>(typeValue),
                                       std::string());
        script->readState(node, false);
        return script;
    }
}
