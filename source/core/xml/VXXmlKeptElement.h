#pragma once

#include "core/xml/VXXmlAttributes.h"

namespace vx
{
    // A copy of one element, owned apart from the tree it was read from:
    // what an object keeps of a stored state it cannot take in yet, to write
    // it back unchanged meanwhile. Not copyable; one thread at a time.
    class XmlKeptElement
    {
    public:
        XmlKeptElement() = default;
        XmlKeptElement(const XmlKeptElement&) = delete;
        XmlKeptElement& operator=(const XmlKeptElement&) = delete;

        // Keeps a deep copy of node in place of what was kept.
        void keep(const XmlNode& node);
        void clear();
        // The kept element; null when nothing is kept.
        const XmlNode* get() const { return node; }
        // A deep copy of it in pool, not linked anywhere; null when nothing
        // is kept.
        XmlNode* copyInto(XmlPool& pool) const;

    private:
        XmlPool pool;
        XmlNode* node = nullptr;
    };
}
