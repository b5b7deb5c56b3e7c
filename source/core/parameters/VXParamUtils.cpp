#include "core/parameters/VXParamUtils.h"

#include "core/VXLog.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamScript.h"

#include <cstring>
#include <string>

namespace vx
{
    namespace
    {
        struct ParamKind
        {
            const char* elementName;
            ParamBase* (*create)(const XmlNode* node);
        };

        // Tried in this order.
        const ParamKind paramKinds[] = {
            {"ParamRange", [](const XmlNode* node) -> ParamBase* { return ParamRange::createParamFromXmlNode(node); }},
            {"ParamEvent", &ParamEvent::createParamFromXmlNode},
            {"ParamChoice", &ParamChoice<int>::createParamFromXmlNode},
            {"ParamColor", &ParamColor::createParamFromXmlNode},
            {"ParamScript", &ParamScript::createParamFromXmlNode},
            {"Param", &Param<int>::createParamFromXmlNode},
        };

        const ParamKind* findKind(const XmlNode& node)
        {
            for (const ParamKind& kind : paramKinds)
                if (std::strlen(kind.elementName) == node.name_size() &&
                    std::memcmp(kind.elementName, node.name(), node.name_size()) == 0)
                    return &kind;
            return nullptr;
        }
    }

    bool ParamUtils::canParamBeCreatedFromXmlNode(const XmlNode& node)
    {
        return findKind(node) != nullptr;
    }

    ParamBase* ParamUtils::createParamFromXmlNode(const XmlNode& node)
    {
        if (const ParamKind* kind = findKind(node))
            return kind->create(&node);
        debugPrint(std::string(node.name(), node.name_size()));
        return nullptr;
    }
}
