#include "engine/renderpasses/VXFFGLPassPlugin.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/parameters/VXParamContainer.h"
#include "core/xml/VXXmlAttributes.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassManager.h"

#include <algorithm>
#include <set>
#include <utility>

namespace vx::detail
{
    FFGLPassPlugin::~FFGLPassPlugin()
    {
        if (plugin != nullptr)
            plugin->unload();
    }

    int FFGLPassPlugin::replace(RenderPass& pass, FFGLPluginInstance* newPlugin, bool prefixNames)
    {
        if (newPlugin == nullptr)
            return pass.getNumInputs();
        stored.clear();
        if (plugin != nullptr)
        {
            pass.getParams().removeParams(*plugin->getParams());
            // Unloading refuses under a live OpenGL instance: end it first.
            plugin->deInstantiateGL();
            plugin->unload();
        }
        plugin.reset(newPlugin);
        pass.setName(plugin->getPluginName(), true);

        ParamContainer& pluginParams = *plugin->getParams();
        if (prefixNames)
            for (int i = 0; i < pluginParams.getNumParams(); ++i)
            {
                const ParamContainer::ParamPtr param = pluginParams.getParam(i);
                param->setName("_plugin_" + param->getName(), true);
            }
        // A pass that is already drawing would otherwise fail every frame.
        if (pass.isInitialized())
            instantiate(pass);
        pass.getParams().addParams(pluginParams, true);
        // Slots past the pass's four can never be supplied; process fails
        // the frame for a plugin that requires them.
        return std::min(plugin->getMinInputFrames(), RenderPass::maxSlots);
    }

    bool FFGLPassPlugin::instantiate(const RenderPass& pass)
    {
        return plugin != nullptr && plugin->instantiateGL(0, 0, pass.getWidth(), pass.getHeight());
    }

    void FFGLPassPlugin::deInstantiate()
    {
        if (plugin != nullptr)
            plugin->deInstantiateGL();
    }

    bool FFGLPassPlugin::process(RenderPass& pass)
    {
        if (plugin == nullptr || plugin->getMinInputFrames() > RenderPass::maxSlots)
            return false;
        for (int i = 0; i < pass.getNumInputs(); ++i)
        {
            const RenderPassTexture& slot = *pass.getInput(i);
            plugin->setInput(i, slot.texture, int(slot.width), int(slot.height));
        }
        return plugin->processOpenGL(RenderTarget::getCurrentFboId());
    }

    std::string FFGLPassPlugin::uniqueId(const RenderPass& pass) const
    {
        if (plugin != nullptr)
            return plugin->getUniqueId();
        if (const XmlNode* kept = stored.get())
            return readAttribute(kept->first_attribute("uniqueId"), pass.getName());
        return pass.getName();
    }

    namespace
    {
        // A parameter element's element name and "name".
        std::pair<std::string, std::string> keyOf(const XmlNode& node)
        {
            return {std::string(node.name(), node.name_size()),
                    readAttribute(node.first_attribute("name"), std::string())};
        }
    }

    void FFGLPassPlugin::writeState(XmlNode& element, XmlPool& pool) const
    {
        if (plugin != nullptr)
        {
            element.append_attribute(createAttribute(pool, "fileName", plugin->getFilePath()));
            return;
        }
        const XmlNode* kept = stored.get();
        if (kept == nullptr)
            return;
        if (const XmlAttribute* file = kept->first_attribute("fileName"))
            element.append_attribute(createAttribute(pool, "fileName", readAttribute(file, std::string())));
        // The pass's own parameters as they are now, the plugin's as read.
        const XmlNode* keptParams = kept->first_node("Params");
        XmlNode* params = element.first_node("Params");
        if (keptParams == nullptr || params == nullptr)
            return;
        std::set<std::pair<std::string, std::string>> written;
        for (const XmlNode* child = params->first_node(); child != nullptr; child = child->next_sibling())
            written.insert(keyOf(*child));
        for (const XmlNode* child = keptParams->first_node(); child != nullptr; child = child->next_sibling())
            if (child->type() == rapidxml::node_element && written.insert(keyOf(*child)).second)
                params->append_node(XmlCapable::cloneNodeWithoutSharingResources(pool, *child));
    }

    void FFGLPassPlugin::readState(RenderPass& pass, const XmlNode& node, const std::function<bool(const File&)>& load,
                                   bool registerNewKind)
    {
        const XmlAttribute* idAttribute = node.first_attribute("uniqueId");
        if (idAttribute == nullptr)
            return;
        const std::string storedId = readAttribute(idAttribute, std::string());
        if (plugin != nullptr && plugin->getUniqueId() == storedId)
            return;

        RenderPassManager* manager = RenderPassManager::getCurrent();
        RenderPassInfo* known = manager != nullptr ? manager->getRenderPassInfoById(storedId) : nullptr;
        std::string path;
        if (known != nullptr)
            path = known->getFilePath();
        else if (const XmlAttribute* fileAttribute = node.first_attribute("fileName"))
            path = readAttribute(fileAttribute, std::string());
        const File file(path);
        if (path.empty() || ! file.exists() || ! load(file))
        {
            if (plugin != nullptr)
                return;
            // Written back as read, so a show opened without the plugin
            // keeps it for the machine that has it.
            stored.keep(node);
            if (const XmlAttribute* name = node.first_attribute("name"))
                pass.setName(readAttribute(name, std::string()), true);
            if (! path.empty())
                logPrint(logWarning, "FFGL plugin %s (%s) could not be loaded; its pass keeps its settings.",
                         storedId.c_str(), path.c_str());
            return;
        }
        if (registerNewKind && known == nullptr && manager != nullptr &&
            manager->registerRenderPassFromFFGLInstance(plugin.get()))
            manager->sort();
    }
}
