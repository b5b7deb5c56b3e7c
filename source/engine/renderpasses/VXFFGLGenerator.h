#pragma once

#include "engine/renderpasses/VXFFGLPassPlugin.h"
#include "engine/renderpasses/VXGenerator.h"

namespace vx
{
    class FFGLPluginInstance;
    class File;

    // A pass without input that runs a hosted FFGL plugin; without a plugin
    // it draws nothing and fails.
    // The pass owns the plugin and shows the plugin's parameters as its own;
    // the plugin's OpenGL instance lives from init (or from setPlugin on an
    // initialised pass) to release. Render thread only.
    class FFGLGenerator : public Generator
    {
    public:
        // Takes the plugin (may be null).
        explicit FFGLGenerator(FFGLPluginInstance* plugin);
        // Releases, then unloads and destroys the plugin.
        ~FFGLGenerator() override;

        static std::string classType() { return "FFGLGenerator"; }
        static std::string classDisplayStr() { return "FFGL Generator"; }
        static RttiObject* creationFunc() { return new FFGLGenerator(nullptr); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // The plugin's; without one, the unique id of the element read
        // (else the pass's name), the class display string and an empty text.
        std::string getUniqueId() const override;
        std::string getDisplayName() const override;
        std::string getDescription() const override;

        // False without a plugin or when its OpenGL instance cannot be made.
        bool init() override;
        void release() override;
        // The plugin's frame; false without a plugin or when it fails.
        bool render(Renderer& renderer) override;
        bool requiresDepthBuffer() const override { return true; }

        // Takes the plugin (null changes nothing); the one held before
        // leaves with its parameters.
        void setPlugin(FFGLPluginInstance* plugin);
        // The plugin of the file; false (nothing changed) when it does not load.
        bool load(const File& file);
        FFGLPluginInstance* getPlugin() const { return plugin.get(); }

        // The pass's element with "fileName", the plugin's file; without
        // plugin, what the element read named (file and plugin settings).
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Loads the plugin the element names unless it is held (never
        // registered as a kind), then the parameters; a pass left without
        // plugin keeps the element.
        void readStateDerived(const XmlNode& node) override;

    private:
        detail::FFGLPassPlugin plugin;
    };
}
