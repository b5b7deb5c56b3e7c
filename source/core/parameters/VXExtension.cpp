#include "core/parameters/VXExtension.h"

#include <utility>

#include "core/parameters/VXExtensionInstance.h"
#include "core/parameters/VXPresets.h"

namespace vx
{
    Extension::Extension(bool hidden_) : hidden(hidden_), presets(std::make_shared<Presets>(this))
    {
        presets->getStates()->addListener(*this, false);
    }

    Extension::~Extension()
    {
        presets->getStates()->removeListener(*this);
    }

    std::shared_ptr<XmlStates> Extension::getPresets()
    {
        return presets->getStates();
    }

    void Extension::updatePresets()
    {
        callListeners(&ExtensionListener::presetsChanged, CallType::standard);
    }

    void Extension::statesChanged()
    {
        updatePresets();
    }

    void Extension::setThumbnail(int size, const char* data)
    {
        thumbnailSize = size;
        thumbnailData = data;
    }

    void Extension::setDefaultStateFromInstance(ExtensionInstance& instance)
    {
        XmlStates& store = *presets->getStates();
        store.setXmlCapable(&instance);
        store.pushDefault();
        store.setXmlCapable(nullptr);
    }

    int Extension::loadPreset(const XmlNode* node)
    {
        return presets->getStates()->addStateFromXml(node);
    }

    void Extension::setPresets(std::shared_ptr<XmlStates> newPresets)
    {
        if (newPresets == nullptr)
            return;

        presets->getStates()->removeListener(*this);
        presets = std::make_shared<Presets>(this, std::move(newPresets));
        presets->getStates()->addListener(*this, false);
        statesChanged();
    }
}
