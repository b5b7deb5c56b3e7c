#pragma once

#include <memory>
#include <string>

#include "core/VXBroadcaster.h"
#include "core/xml/VXXmlStates.h"

namespace vx
{
    class ExtensionInstance;
    class Presets;

    class ExtensionListener
    {
    public:
        virtual ~ExtensionListener() = default;
        // The extension's presets changed.
        virtual void presetsChanged() = 0;
    };

    // A kind of thing the engine offers (a kind of render pass or source),
    // with its presets: named snapshots of objects of the kind. Every change
    // the preset store announces reaches the extension's listeners as one
    // presetsChanged, on the changing thread for synchronous listeners.
    // Kinds supply the description, name and unique id.
    class Extension : public Broadcaster<ExtensionListener>, public XmlStatesListener
    {
    public:
        // hidden is kept for the kinds built on this base.
        explicit Extension(bool hidden);
        ~Extension() override;

        Extension(const Extension&) = delete;
        Extension& operator=(const Extension&) = delete;

        // The preset store (no target outside setDefaultStateFromInstance, so
        // its own apply operations answer false; instances take a preset
        // with linkPreset).
        virtual std::shared_ptr<XmlStates> getPresets();
        // Broadcasts presetsChanged with CallType::standard.
        virtual void updatePresets();
        void statesChanged() override;

        virtual std::string getExtensionDescription() const = 0;
        virtual std::string getExtensionName() const = 0;
        virtual std::string getExtensionDisplayName() const { return getExtensionName(); }
        virtual std::string getExtensionUniqueId() const = 0;
        virtual int getCategory() const { return -1; }

        bool isHidden() const { return hidden; }

        // data is not copied: kinds hand static bytes.
        void setThumbnail(int size, const char* data);
        int getThumbnailSize() const { return thumbnailSize; }
        const char* getThumbnailData() const { return thumbnailData; }

        // Takes a forced snapshot of instance as the "default" preset (first
        // in the store, replacing an earlier one).
        void setDefaultStateFromInstance(ExtensionInstance& instance);
        // Adds a preset from an element carrying "name" and holding the
        // instance element as first child; its id, or -1 when nothing was
        // added. Unannounced.
        int loadPreset(const XmlNode* node);
        // Installs another store (a null one is ignored) and announces.
        void setPresets(std::shared_ptr<XmlStates> newPresets);

    private:
        int thumbnailSize = 0;
        const char* thumbnailData = nullptr;
        bool hidden;
        std::shared_ptr<Presets> presets;
    };
}
