#pragma once

#include "core/parameters/VXParam.h"

#include <cstdint>
#include <string>

namespace vx
{
    // A text parameter holding a script of a given type. Element
    // "ParamScript": the string parameter's element plus "type".
    class ParamScript : public Param<std::string>
    {
    public:
        enum ScriptType : std::int32_t
        {
            scriptTypeDefault = 0,
            // The fragment program of a shader pass.
            scriptTypeFragmentShader = 1
        };

        // Value and default are the text.
        ParamScript(const std::string& name, ScriptType type, const std::string& text);

        ScriptType getScriptType() const { return scriptType; }
        void setScriptType(ScriptType type) { scriptType = type; }

        // The string parameter's element, then "type" in decimal.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // "type" when it parses (kept otherwise), then the string's reading.
        void readStateDerived(const XmlNode& node) override;

        // Needs "name" and a parsable "type"; null otherwise. The new
        // script (empty text before reading) has read the node and is owned
        // by the caller.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    private:
        ScriptType scriptType;
    };
}
