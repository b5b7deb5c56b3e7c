#include "core/parameters/VXParamPixels.h"

#include "core/VXStringUtils.h"
#include "core/parameters/VXPixelsLoader.h"
#include "core/xml/VXXmlAttributes.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        std::string sizeText(const Pixels& pixels)
        {
            return std::to_string(pixels.width) + "x" + std::to_string(pixels.height);
        }
    }

    ParamPixels::ParamPixels(const std::string& name) : ParamBase(name, "ParamPixels") {}

    ParamPixels::ParamPixels(const std::string& name, int width, int height, int bytesPerPixel)
        : ParamBase(name, "ParamPixels"),
          pixels(std::make_shared<Pixels>(width, height, bytesPerPixel, static_cast<const unsigned char*>(nullptr)))
    {
    }

    ParamPixels::~ParamPixels() = default;

    void ParamPixels::setValue(std::shared_ptr<Pixels> newPixels, ValueChangeInfo info)
    {
        pixels = std::move(newPixels);
        description = pixels != nullptr ? sizeText(*pixels) : std::string();
        info.type = resolveChangeType(info.type);
        if (info.type == ChangeType_OnChange || info.type == ChangeType_Always)
            stateChanged(ChangeInfo(info.source, StateChange_Value, info.time));
    }

    void ParamPixels::setValue(Pixels* newPixels, ValueChangeInfo info)
    {
        setValue(std::shared_ptr<Pixels>(newPixels), info);
    }

    void ParamPixels::clear()
    {
        setValue(std::shared_ptr<Pixels>(), ValueChangeInfo());
        file = File();
        description.clear();
    }

    bool ParamPixels::loadFromFile(const File& source, ValueChangeInfo info)
    {
        PixelsLoader* loader = PixelsLoader::getCurrent();
        if (loader == nullptr)
            return false;
        std::shared_ptr<Pixels> loaded;
        std::string codecName;
        const PixelsLoader::LoadResult result = loader->loadPixels(source, loaded, codecName);
        if (result == PixelsLoader::loadNoReader)
            return false;
        description.clear();
        file = File();
        if (result != PixelsLoader::loadDone || loaded == nullptr)
            return false;

        file = source;
        setValue(loaded, info);
        description = codecName + "\n" + sizeText(*loaded);
        return true;
    }

    const std::string& ParamPixels::getSupportedFileExtensions()
    {
        static const std::string patterns = "*.jpg;*.jpeg;*.png;*.tif;*.tiff";
        return patterns;
    }

    bool ParamPixels::chanHandleFile(const File& candidate)
    {
        return stringContains(getSupportedFileExtensions(), candidate.getExtension(), false);
    }

    bool ParamPixels::needsToWriteState()
    {
        return file.exists();
    }

    XmlNode* ParamPixels::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        if (! file.getFullPath().empty())
            element->append_attribute(createAttribute(pool, "fileName", file.getFullPath()));
        return element;
    }

    void ParamPixels::readStateDerived(const XmlNode& node)
    {
        const XmlAttribute* fileName = node.first_attribute("fileName");
        if (fileName == nullptr)
            return;
        loadFromFile(File(readAttribute(fileName, std::string())), ValueChangeInfo(ChangeType_Silent, -1.0));
    }

    void ParamPixels::readStatePost()
    {
        stateChanged(ChangeInfo(StateChange_Read));
    }

    ParamBase* ParamPixels::createParamFromXmlNode(const XmlNode* node)
    {
        std::string name;
        if (node != nullptr)
            name = readAttribute(node->first_attribute("name"), std::string());
        auto* param = new ParamPixels(name);
        param->readState(node, false);
        return param;
    }
}
