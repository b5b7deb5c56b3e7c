#include "core/parameters/VXParamColor.h"

#include "core/VXTime.h"
#include "core/parameters/VXColorPalette.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamContainer.h"

namespace vx
{
    namespace
    {
        bool rgbDrives(ParamColor::ChannelMode mode)
        {
            return mode == ParamColor::ChannelMode_RGBAlternate || mode == ParamColor::ChannelMode_RGB;
        }

        // Packing wraps channels outside 0..1 (1.5 would come back as 0.49).
        Color packable(const Color& color)
        {
            Color clamped = color;
            clamped.clampColor();
            return clamped;
        }
    }

    ParamColor::ParamColor(const std::string& name, const Color& color, ChannelMode mode)
        : ParamBase(name, "ParamColor"), channels(std::make_shared<ParamContainer>("Params", true)), value(color),
          channelMode(mode)
    {
        const TVec3<float> hsv = color.toHSV();
        red = channels->addParamColorChannel("Red", ColorChannel_Red, color.r);
        green = channels->addParamColorChannel("Green", ColorChannel_Green, color.g);
        blue = channels->addParamColorChannel("Blue", ColorChannel_Blue, color.b);
        hue = channels->addParamColorChannel("Hue", ColorChannel_Hue, hsv.x);
        saturation = channels->addParamColorChannel("Saturation", ColorChannel_Saturation, hsv.y);
        brightness = channels->addParamColorChannel("Brightness", ColorChannel_Brightness, hsv.z);
        alpha = channels->addParamColorChannel("Alpha", ColorChannel_Alpha, 1.0);

        for (const auto& channel : {red, green, blue, hue, saturation, brightness, alpha})
        {
            channel->addListener(*this, false);
            channel->setParamColor(this);
        }
    }

    ParamColor::~ParamColor()
    {
        // The palette's items reach this parameter; they go first.
        palette.reset();
        for (int i = channels->getNumParams() - 1; i >= 0; --i)
        {
            const std::shared_ptr<ParamBase> param = channels->getParam(i);
            param->removeListener(*this);
            // A channel held elsewhere (the path registry, a host) may outlive
            // this parameter; its reset must not reach a dead owner.
            if (auto* channel = dynamic_cast<ParamColorChannel*>(param.get());
                channel != nullptr && channel->getParamColor() == this)
                channel->setParamColor(nullptr);
        }
    }

    void ParamColor::setChannelSilently(ParamColorChannel& channel, double channelValue)
    {
        channel.setValue(channelValue, ValueChangeInfo(ChangeType_Silent, getTickCount()));
    }

    void ParamColor::setValue(const Color& color, ValueChangeInfo info)
    {
        const ChangeInfo appearance(info.source, StateChange_Appearance, getTickCount());
        if (rgbDrives(channelMode))
        {
            setChannelSilently(*red, color.r);
            setChannelSilently(*green, color.g);
            setChannelSilently(*blue, color.b);
            red->stateChanged(appearance);
            green->stateChanged(appearance);
            blue->stateChanged(appearance);
        }
        else
        {
            const TVec3<float> hsv = color.toHSV();
            setChannelSilently(*hue, hueIsOne ? 1.0 : static_cast<double>(hsv.x));
            setChannelSilently(*saturation, hsv.y);
            setChannelSilently(*brightness, hsv.z);
            hue->stateChanged(appearance);
            saturation->stateChanged(appearance);
            brightness->stateChanged(appearance);
        }
        setChannelSilently(*alpha, color.a);
        alpha->stateChanged(appearance);

        setValueInternal(color, info);
    }

    void ParamColor::setValueInternal(const Color& color, ValueChangeInfo info)
    {
        valueSet = true;
        value = color;
        const ChangeType type = resolveChangeType(info.type);
        if (type == ChangeType_OnChange || type == ChangeType_Always)
            ParamBase::stateChanged(ChangeInfo(info.source, StateChange_Value, getTickCount()));
    }

    void ParamColor::changeChannelMode(ChannelMode mode)
    {
        if (mode == channelMode)
            return;
        channelMode = mode;
        if (valueSet)
            setValue(value, ValueChangeInfo());
    }

    void ParamColor::toggleChannelMode()
    {
        switch (channelMode)
        {
            case ChannelMode_HSB:
                changeChannelMode(ChannelMode_RGB);
                break;
            case ChannelMode_RGB:
                changeChannelMode(ChannelMode_RGBAlternate);
                break;
            case ChannelMode_RGBAlternate:
                changeChannelMode(ChannelMode_HSB);
                break;
            default:
                break;
        }
    }

    std::shared_ptr<ParamColorChannel> ParamColor::getChannel(ColorChannel channel) const
    {
        switch (channel)
        {
            case ColorChannel_Green:
                return green;
            case ColorChannel_Blue:
                return blue;
            case ColorChannel_Alpha:
                return alpha;
            case ColorChannel_Hue:
                return hue;
            case ColorChannel_Saturation:
                return saturation;
            case ColorChannel_Brightness:
                return brightness;
            default:
                return red;
        }
    }

    ColorPalette* ParamColor::createColorPalette()
    {
        if (palette.get() == nullptr)
        {
            palette.reset(new ColorPalette(*this));
            pathChanged();
        }
        return palette.get();
    }

    void ParamColor::removeColorPalette()
    {
        palette.reset();
    }

    void ParamColor::resetToDefault(const ValueChangeInfo& info)
    {
        for (int i = 0; i < channels->getNumParams(); ++i)
            channels->getParam(i)->resetToDefault(info);
        valueSet = false;
    }

    bool ParamColor::update(const TimeInfo& info)
    {
        bool changed = false;
        for (const auto& channel : {hue, saturation, brightness, alpha, red, green, blue})
            changed = channel->update(info) || changed;
        return changed;
    }

    void ParamColor::pathChanged()
    {
        ParamBase::pathChanged();
        channels->setPath(getPath());
        if (palette.get() != nullptr)
            palette->setPathByParent(getPath(), "palette");
    }

    void ParamColor::valueChanged(ParamBase&, ChangeInfo info)
    {
        Color color;
        if (channelMode == ChannelMode_HSB)
        {
            const double hueValue = hue->getValue();
            hueIsOne = hueValue == 1.0;
            color = Color::getHSVClamped(hueIsOne ? 0.0f : static_cast<float>(hueValue),
                                         static_cast<float>(saturation->getValue()),
                                         static_cast<float>(brightness->getValue()));
            color.a = static_cast<float>(alpha->getValue());
        }
        else if (rgbDrives(channelMode))
        {
            hueIsOne = false;
            color = Color(static_cast<float>(red->getValue()), static_cast<float>(green->getValue()),
                          static_cast<float>(blue->getValue()), static_cast<float>(alpha->getValue()));
        }
        else
        {
            return;
        }
        setValueInternal(color, ValueChangeInfo(ChangeType_ParamDefault, info.source, getTickCount()));
    }

    XmlNode* ParamColor::writeStateDerived(XmlPool& pool, bool force)
    {
        if (channelMode == ChannelMode_HSB)
        {
            setChannelSilently(*red, value.r);
            setChannelSilently(*green, value.g);
            setChannelSilently(*blue, value.b);
        }
        else if (rgbDrives(channelMode))
        {
            const TVec3<float> hsv = value.toHSV();
            setChannelSilently(*hue, hsv.x);
            setChannelSilently(*saturation, hsv.y);
            setChannelSilently(*brightness, hsv.z);
        }

        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "channelmode", static_cast<std::int32_t>(channelMode)));
        element->append_attribute(createAttribute(pool, "color", packable(value)));
        channels->appendAndWrite(element, pool, force);
        if (palette.get() != nullptr)
            palette->appendAndWrite(element, pool, false);
        return element;
    }

    void ParamColor::readStateDerived(const XmlNode& node)
    {
        if (const XmlNode* channelsNode = node.first_node("Params"))
            channels->readState(channelsNode, false);

        std::int32_t mode = 0;
        if (readAttribute(node.first_attribute("channelmode"), &mode))
            channelMode = static_cast<ChannelMode>(mode);

        Color color;
        if (readAttribute(node.first_attribute("color"), &color))
            setValue(color, ValueChangeInfo(ChangeType_Silent, getTickCount()));
        else
            valueChanged(*this, ChangeInfo());

        if (const XmlNode* paletteNode = node.first_node("ColorPalette"))
        {
            palette.reset(new ColorPalette(*this));
            palette->setPathByParent(getPath(), "palette");
            palette->readState(paletteNode, false);
        }
    }

    void ParamColor::readStatePost()
    {
        ParamBase::stateChanged(ChangeInfo(StateChange_Read));
    }

    ParamBase* ParamColor::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;
        const XmlAttribute* nameAttribute = node->first_attribute("name");
        std::int32_t mode = 0;
        Color color;
        if (nameAttribute == nullptr || ! readAttribute(node->first_attribute("channelmode"), &mode) ||
            ! readAttribute(node->first_attribute("color"), &color))
            return nullptr;

        auto* param =
            new ParamColor(readAttribute(nameAttribute, std::string()), color, static_cast<ChannelMode>(mode));
        param->readState(node, false);
        return param;
    }
}
