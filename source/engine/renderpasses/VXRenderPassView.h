#pragma once

#include "core/xml/VXXmlCapable.h"

#include <string>

namespace vx
{
    // The interface state of one render pass (element "View"): whether its
    // panel is folded. Written only while folded, unless writing is forced.
    class RenderPassView : public XmlCapable
    {
    public:
        static const std::string XML_NODE_NAME;

        RenderPassView();

        void setFoldState(bool shouldFold) { folded = shouldFold; }
        bool isCurrentlyFolded() const { return folded; }

        bool needsToWriteState() override { return folded; }
        // "folded" only while folded.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Unfolds, then takes "folded" when present.
        void readStateDerived(const XmlNode& node) override;

    private:
        bool folded = false;
    };
}
