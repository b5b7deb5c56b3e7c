#include "engine/renderpasses/VXFFGLGenerator.h"

#include "engine/renderpasses/VXFFGLPluginInstance.h"

namespace vx
{
    FFGLGenerator::FFGLGenerator(FFGLPluginInstance* pluginToHost)
    {
        setPlugin(pluginToHost);
    }

    FFGLGenerator::~FFGLGenerator()
    {
        FFGLGenerator::release();
    }

    bool FFGLGenerator::isOfClassType(std::string t) const
    {
        return t == FFGLGenerator::classType() || Generator::isOfClassType(t);
    }

    std::string FFGLGenerator::derivedOfClassType(std::string t) const
    {
        return t == FFGLGenerator::classType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string FFGLGenerator::getUniqueId() const
    {
        return plugin.uniqueId(*this);
    }

    std::string FFGLGenerator::getDisplayName() const
    {
        return plugin.get() != nullptr ? plugin.get()->getPluginName() : getClassDisplayStr();
    }

    std::string FFGLGenerator::getDescription() const
    {
        return plugin.get() != nullptr ? plugin.get()->getDescription() : std::string();
    }

    bool FFGLGenerator::init()
    {
        return plugin.instantiate(*this) && Generator::init();
    }

    void FFGLGenerator::release()
    {
        plugin.deInstantiate();
        Generator::release();
    }

    bool FFGLGenerator::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        const bool result = plugin.get() != nullptr && plugin.process(*this);
        end(renderer);
        return result;
    }

    void FFGLGenerator::setPlugin(FFGLPluginInstance* newPlugin)
    {
        if (newPlugin != nullptr)
            setNumInputs(plugin.replace(*this, newPlugin, false));
    }

    bool FFGLGenerator::load(const File& file)
    {
        FFGLPluginInstance* loaded = FFGLPluginInstance::load(file);
        if (loaded == nullptr)
            return false;
        setPlugin(loaded);
        return true;
    }

    XmlNode* FFGLGenerator::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Generator::writeStateDerived(pool, force);
        plugin.writeState(*element, pool);
        return element;
    }

    void FFGLGenerator::readStateDerived(const XmlNode& node)
    {
        plugin.readState(
            *this, node, [this](const File& file) { return load(file); }, false);
        Generator::readStateDerived(node);
    }
}
