#pragma once

#include <string>

#include "core/xml/VXXmlCapable.h"

namespace vx
{
    class Extension;
    class XmlState;

    // An object made from an extension. It names its extension and may be
    // linked to one of the extension's presets. The link is kept by the
    // preset's id, so it never dangles: once the store has dropped the
    // preset, the instance reports no preset.
    class ExtensionInstance : public XmlCapable
    {
    public:
        // The name starts as the element name.
        explicit ExtensionInstance(const std::string& elementName);

        // The extension this object belongs to (may be null).
        virtual Extension* getExtension() = 0;
        // Links preset (null unlinks); with apply, reads the preset's element
        // into this object.
        virtual void linkPreset(XmlState* preset, bool apply);

        // The linked preset's id; -1 when none is linked or the extension's
        // store no longer holds it.
        int getPresetID();

    private:
        int linkedPresetId = -1;
    };
}
