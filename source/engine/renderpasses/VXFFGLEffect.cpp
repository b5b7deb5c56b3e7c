#include "engine/renderpasses/VXFFGLEffect.h"

#include "engine/renderpasses/VXFFGLPluginInstance.h"

namespace vx
{
    FFGLEffect::FFGLEffect(FFGLPluginInstance* pluginToHost, int numInputs) : Effect(numInputs)
    {
        setPlugin(pluginToHost);
    }

    FFGLEffect::~FFGLEffect()
    {
        FFGLEffect::release();
    }

    bool FFGLEffect::isOfClassType(std::string t) const
    {
        return t == FFGLEffect::classType() || Effect::isOfClassType(t);
    }

    std::string FFGLEffect::derivedOfClassType(std::string t) const
    {
        return t == FFGLEffect::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string FFGLEffect::getUniqueId() const
    {
        return plugin.uniqueId(*this);
    }

    std::string FFGLEffect::getDisplayName() const
    {
        return plugin.get() != nullptr ? plugin.get()->getPluginName() : getClassDisplayStr();
    }

    std::string FFGLEffect::getDescription() const
    {
        return plugin.get() != nullptr ? plugin.get()->getDescription() : std::string();
    }

    bool FFGLEffect::init()
    {
        return plugin.instantiate(*this) && Effect::init();
    }

    void FFGLEffect::release()
    {
        plugin.deInstantiate();
        Effect::release();
    }

    bool FFGLEffect::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        bool result = true;
        if (plugin.get() != nullptr)
            result = plugin.process(*this);
        else
            getInput(0)->draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
        end(renderer);
        return result;
    }

    void FFGLEffect::setPlugin(FFGLPluginInstance* newPlugin)
    {
        if (newPlugin != nullptr)
            setNumInputs(plugin.replace(*this, newPlugin, false));
    }

    bool FFGLEffect::load(const File& file)
    {
        FFGLPluginInstance* loaded = FFGLPluginInstance::load(file);
        if (loaded == nullptr)
            return false;
        setPlugin(loaded);
        return true;
    }

    XmlNode* FFGLEffect::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Effect::writeStateDerived(pool, force);
        plugin.writeState(*element, pool);
        return element;
    }

    void FFGLEffect::readStateDerived(const XmlNode& node)
    {
        plugin.readState(
            *this, node, [this](const File& file) { return load(file); }, true);
        Effect::readStateDerived(node);
    }
}
