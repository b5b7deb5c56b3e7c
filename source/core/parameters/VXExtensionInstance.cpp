#include "core/parameters/VXExtensionInstance.h"

#include "core/parameters/VXExtension.h"
#include "core/xml/VXXmlStates.h"

namespace vx
{
    ExtensionInstance::ExtensionInstance(const std::string& elementName) : XmlCapable(elementName, std::string())
    {
    }

    void ExtensionInstance::linkPreset(XmlState* preset, bool apply)
    {
        linkedPresetId = preset != nullptr ? preset->getUniqueId() : -1;
        if (apply && preset != nullptr)
            readState(preset->getNode(), false);
    }

    int ExtensionInstance::getPresetID()
    {
        if (linkedPresetId == -1)
            return -1;
        Extension* extension = getExtension();
        if (extension == nullptr)
            return -1;
        std::shared_ptr<XmlStates> store = extension->getPresets();
        if (store == nullptr || store->getStateById(linkedPresetId) == nullptr)
            return -1;
        return linkedPresetId;
    }
}
