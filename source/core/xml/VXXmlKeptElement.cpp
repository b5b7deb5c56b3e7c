#include "core/xml/VXXmlKeptElement.h"

#include "core/xml/VXXmlCapable.h"

namespace vx
{
    void XmlKeptElement::keep(const XmlNode& source)
    {
        // Copied before the pool is cleared: source may be the kept one.
        XmlPool fresh;
        XmlNode* copy = XmlCapable::cloneNodeWithoutSharingResources(fresh, source);
        clear();
        node = XmlCapable::cloneNodeWithoutSharingResources(pool, *copy);
    }

    void XmlKeptElement::clear()
    {
        node = nullptr;
        pool.clear();
    }

    XmlNode* XmlKeptElement::copyInto(XmlPool& target) const
    {
        return node != nullptr ? XmlCapable::cloneNodeWithoutSharingResources(target, *node) : nullptr;
    }
}
