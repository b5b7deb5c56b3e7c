#pragma once

#include <string>

#include "core/xml/VXXmlCapable.h"

namespace vx
{
    // One named snapshot of a store (XmlStates): a pointer to an element
    // that lives in the store's pool (never owned or freed by the state) and
    // an id unique within the run. Ids are not saved; a loaded state gets a
    // new one. Never -1, which callers use for "none".
    class XmlState : public XmlCapable
    {
    public:
        // An empty name becomes "XmlState". Takes the next id (thread-safe).
        XmlState(XmlNode* node, const std::string& name);

        XmlNode* getNode() const { return node; }
        void setNode(XmlNode* newNode) { node = newNode; }
        int getUniqueId() const { return uniqueId; }

        // The common element holding a library copy of the snapshot (its
        // texts stay in the store's pool, so print it while the store lives).
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // States are read by their store (XmlStates::addStateFromXml).
        void readStateDerived(const XmlNode& node) override;

    private:
        XmlNode* node;
        int uniqueId;
    };
}
