#include "engine/renderpasses/VXFFGLMixer.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"

namespace vx
{
    FFGLMixer::FFGLMixer(FFGLPluginInstance* pluginToHost, int numInputs) : Mixer(numInputs)
    {
        setPlugin(pluginToHost);
    }

    FFGLMixer::~FFGLMixer()
    {
        FFGLMixer::release();
    }

    bool FFGLMixer::isOfClassType(std::string t) const
    {
        return t == FFGLMixer::classType() || Mixer::isOfClassType(t);
    }

    std::string FFGLMixer::derivedOfClassType(std::string t) const
    {
        return t == FFGLMixer::classType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string FFGLMixer::getUniqueId() const
    {
        return plugin.uniqueId(*this);
    }

    std::string FFGLMixer::getDisplayName() const
    {
        return plugin.get() != nullptr ? plugin.get()->getPluginName() : getClassDisplayStr();
    }

    std::string FFGLMixer::getDescription() const
    {
        return plugin.get() != nullptr ? plugin.get()->getDescription() : std::string();
    }

    bool FFGLMixer::init()
    {
        return plugin.instantiate(*this) && Mixer::init();
    }

    void FFGLMixer::release()
    {
        plugin.deInstantiate();
        Mixer::release();
    }

    bool FFGLMixer::render(Renderer& renderer)
    {
        if (plugin.get() == nullptr)
            return Mixer::render(renderer);
        if (! begin(renderer))
            return false;
        if (auto first = std::dynamic_pointer_cast<ParamRange>(plugin.get()->getParams()->getParam(0)))
            first->setValue(getOpacity().getValue(), ValueChangeInfo());
        const bool result = plugin.process(*this);
        end(renderer);
        return result;
    }

    void FFGLMixer::setPlugin(FFGLPluginInstance* newPlugin)
    {
        if (newPlugin != nullptr)
            setNumInputs(plugin.replace(*this, newPlugin, true));
    }

    bool FFGLMixer::load(const File& file)
    {
        FFGLPluginInstance* loaded = FFGLPluginInstance::load(file);
        if (loaded == nullptr)
            return false;
        setPlugin(loaded);
        return true;
    }

    XmlNode* FFGLMixer::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Mixer::writeStateDerived(pool, force);
        plugin.writeState(*element, pool);
        return element;
    }

    void FFGLMixer::readStateDerived(const XmlNode& node)
    {
        plugin.readState(
            *this, node, [this](const File& file) { return load(file); }, true);
        Mixer::readStateDerived(node);
    }
}
