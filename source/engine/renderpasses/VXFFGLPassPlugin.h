#pragma once

// Shared by the three FFGL passes only; included by nothing else.

#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlKeptElement.h"

#include <functional>
#include <memory>
#include <string>

namespace vx
{
    class FFGLPluginInstance;
    class File;
    class RenderPass;

    namespace detail
    {
        // The plugin an FFGL pass owns and what the effect, mixer and
        // generator do alike with it. Render thread, as the pass.
        class FFGLPassPlugin
        {
        public:
            FFGLPassPlugin() = default;
            // Unloads and destroys the plugin (its OpenGL instance must be
            // gone: the pass releases first).
            ~FFGLPassPlugin();
            FFGLPassPlugin(const FFGLPassPlugin&) = delete;
            FFGLPassPlugin& operator=(const FFGLPassPlugin&) = delete;

            FFGLPluginInstance* get() const { return plugin.get(); }

            // Takes newPlugin (null changes nothing) in place of the plugin
            // held or the element kept: the old plugin's parameters leave
            // the pass, its OpenGL instance goes, it is unloaded and
            // destroyed; the pass takes the new plugin's name and
            // parameters (prefixed "_plugin_" with prefixNames), and an
            // initialised pass gets the new OpenGL instance at once.
            // Answers the number of inputs the pass should have.
            int replace(RenderPass& pass, FFGLPluginInstance* newPlugin, bool prefixNames);
            // The OpenGL instance at the pass's size; false without plugin.
            bool instantiate(const RenderPass& pass);
            void deInstantiate();
            // Hands the pass's inputs to the plugin and lets it draw into
            // the framebuffer bound now.
            bool process(RenderPass& pass);

            // The plugin's unique id; without plugin, the one of the element
            // kept, else the pass's name.
            std::string uniqueId(const RenderPass& pass) const;

            // Onto the pass's element: "fileName", when there is a plugin;
            // without one, the kept element's "fileName" and the plugin
            // parameters it holds, as they were read.
            void writeState(XmlNode& element, XmlPool& pool) const;
            // Loads the plugin the element names ("uniqueId" through the
            // current render-pass manager, else "fileName") unless it is
            // the one held; with registerNewKind a plugin the manager did
            // not know becomes a kind. A pass left without plugin keeps the
            // element (and takes its name) to write it back until a plugin
            // is loaded; a stored plugin that is not found is logged.
            void readState(RenderPass& pass, const XmlNode& node, const std::function<bool(const File&)>& load,
                           bool registerNewKind);

        private:
            std::unique_ptr<FFGLPluginInstance> plugin;
            XmlKeptElement stored;
        };
    }
}
