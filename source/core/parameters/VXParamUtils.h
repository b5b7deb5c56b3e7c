#pragma once

#include "core/xml/VXXmlAttributes.h"

namespace vx
{
    class ParamBase;

    // Re-creates parameters from their XML elements, dispatching on the
    // element name. A container reading XML uses it for creatable children
    // (storage 0) that name none of its parameters.
    class ParamUtils
    {
    public:
        // True when the element names a kind this factory re-creates.
        static bool canParamBeCreatedFromXmlNode(const XmlNode& node);
        // A new parameter owned by the caller, or null (an unknown element,
        // or one whose kind's factory refuses it, e.g. a "Param" whose "T"
        // is not int, float, double, bool or string).
        static ParamBase* createParamFromXmlNode(const XmlNode& node);
    };
}
