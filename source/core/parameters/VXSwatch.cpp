#include "core/parameters/VXSwatch.h"

#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"

namespace vx
{
    Swatch::Swatch(unsigned long long swatchId, const std::string& name)
        : XmlCapable("swatch", name), id(swatchId), confirmedName(name),
          parameters(std::make_shared<ParamContainer>("Params", true)),
          color(std::make_shared<ParamColor>("Color", Color::black, ParamColor::ChannelMode_RGB)),
          nameParam(std::make_shared<Param<std::string>>("string" + name, name))
    {
        parameters->addParam(color);
        parameters->addParam(nameParam);
        color->setPath(name);
        nameParam->setPath("name" + name);
        color->addListener(*this, false);
        nameParam->addListener(*this, false);
    }

    Swatch::~Swatch()
    {
        nameParam->removeListener(*this);
        color->removeListener(*this);
    }

    void Swatch::prepareRemoval()
    {
        callListeners(&SwatchListener::swatchRemoved, CallType::standard);
    }

    void Swatch::changeName(const std::string& name)
    {
        nameParam->setValue(name, ValueChangeInfo());
    }

    void Swatch::confirmName()
    {
        confirmedName = nameParam->getValue();
        setName(confirmedName);
        color->setPath(confirmedName);
        nameParam->setPath("name" + confirmedName);
    }

    void Swatch::resetName()
    {
        nameParam->setValue(confirmedName, ValueChangeInfo());
        valueChanged(*nameParam, ChangeInfo());
    }

    void Swatch::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == color.get())
            callListeners(&SwatchListener::swatchColorChanged, color->getValue(), CallType::standard);
        else if (&param == nameParam.get())
            callListeners(&SwatchListener::swatchNameChanged, std::string(nameParam->getValue()), CallType::standard);
    }

    XmlNode* Swatch::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createNode(pool, getElementName());
        element->append_attribute(createAttribute(pool, "name", nameParam->getValue()));
        element->append_attribute(createAttribute(pool, "id", id));
        color->appendAndWrite(element, pool, force);
        return element;
    }

    void Swatch::readStateDerived(const XmlNode& node)
    {
        const std::string name = readAttribute(node.first_attribute("name"), std::string());
        unsigned long long readId = 0;
        if (! readAttribute(node.first_attribute("id"), &readId))
            readId = 0;
        id = readId;

        changeName(name);
        confirmName();
        color->readState(node.first_node("ParamColor"), false);
    }
}
