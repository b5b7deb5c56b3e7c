#pragma once

#include "core/xml/VXXmlCapable.h"

#include <string>
#include <vector>

namespace vx::test
{
    // An object with one "value" attribute that records the hooks it runs.
    class Probe : public XmlCapable
    {
    public:
        explicit Probe(const std::string& name = "Probe", const std::string& element = "Probe")
            : XmlCapable(element, name)
        {
        }

        bool needsToWriteState() override { return needsWriting && XmlCapable::needsToWriteState(); }
        void nameChanged() override { ++nameChanges; }

        XmlNode* writeStateDerived(XmlPool& pool, bool) override
        {
            XmlNode* element = createElement(pool);
            element->append_attribute(createAttribute(pool, "value", value));
            return element;
        }

        void readStateDerived(const XmlNode& node) override
        {
            calls.push_back("derived");
            readAttribute(node.first_attribute("value"), &value);
        }

        void readStatePre() override { calls.push_back("pre"); }
        void readStatePost() override { calls.push_back("post"); }

        bool needsWriting = false;
        int value = 0;
        int nameChanges = 0;
        std::vector<std::string> calls;
    };
}
