#include "engine/renderpasses/VXRenderPassView.h"

namespace vx
{
    const std::string RenderPassView::XML_NODE_NAME = "View";

    RenderPassView::RenderPassView() : XmlCapable(XML_NODE_NAME, std::string())
    {
    }

    XmlNode* RenderPassView::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        if (folded)
            element->append_attribute(createAttribute(pool, "folded", true));
        return element;
    }

    void RenderPassView::readStateDerived(const XmlNode& node)
    {
        folded = false;
        readAttribute(node.first_attribute("folded"), &folded);
    }
}
