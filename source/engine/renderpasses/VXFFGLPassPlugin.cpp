#include "engine/renderpasses/VXFFGLPassPlugin.h"

#include "core/VXFile.h"
#include "core/parameters/VXParamContainer.h"
#include "core/xml/VXXmlAttributes.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassManager.h"

#include <algorithm>

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

    void FFGLPassPlugin::writeState(XmlNode& element, XmlPool& pool) const
    {
        if (plugin != nullptr)
            element.append_attribute(createAttribute(pool, "fileName", plugin->getFilePath()));
    }

    void FFGLPassPlugin::readState(const XmlNode& node, const std::function<bool(const File&)>& load,
                                   bool registerNewKind)
    {
        const XmlAttribute* idAttribute = node.first_attribute("uniqueId");
        if (idAttribute == nullptr)
            return;
        const std::string uniqueId = readAttribute(idAttribute, std::string());
        if (plugin != nullptr && plugin->getUniqueId() == uniqueId)
            return;

        RenderPassManager* manager = RenderPassManager::getCurrent();
        RenderPassInfo* known = manager != nullptr ? manager->getRenderPassInfoById(uniqueId) : nullptr;
        std::string path;
        if (known != nullptr)
            path = known->getFilePath();
        else if (const XmlAttribute* fileAttribute = node.first_attribute("fileName"))
            path = readAttribute(fileAttribute, std::string());
        const File file(path);
        if (path.empty() || ! file.exists() || ! load(file))
            return;
        if (registerNewKind && known == nullptr && manager != nullptr &&
            manager->registerRenderPassFromFFGLInstance(plugin.get()))
            manager->sort();
    }
}
