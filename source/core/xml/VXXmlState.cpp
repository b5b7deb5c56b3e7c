#include "core/xml/VXXmlState.h"

#include <atomic>

#include "core/VXTime.h"

namespace vx
{
    namespace
    {
        // Process-wide, seeded once from the wall clock so ids differ between
        // runs; unsigned so that the wrap-around is defined.
        int takeNextId()
        {
            static std::atomic<unsigned int> counter{static_cast<unsigned int>(getTimeOfDay())};
            for (;;)
            {
                const int id = static_cast<int>(counter.fetch_add(1, std::memory_order_relaxed));
                if (id != -1)
                    return id;
            }
        }
    }

    XmlState::XmlState(XmlNode* node_, const std::string& name)
        : XmlCapable("XmlState", name), node(node_), uniqueId(takeNextId())
    {
    }

    XmlNode* XmlState::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        if (node != nullptr)
            element->append_node(cloneNode(pool, *node));
        return element;
    }

    void XmlState::readStateDerived(const XmlNode&)
    {
    }
}
