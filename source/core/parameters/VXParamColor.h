#pragma once

#include "core/VXColor.h"
#include "core/VXScopedPointer.h"
#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamListener.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    class ColorPalette;
    class ParamColorChannel;
    class ParamContainer;

    // A parameter holding one colour, edited through seven channel
    // parameters (each a range over 0..1) in the public container "Params":
    // Red, Green, Blue, Hue, Saturation, Brightness, Alpha. The channel mode
    // says which set drives the colour; the other set is brought in line
    // when the colour is set from outside or written. The colour listens to
    // its channels synchronously; setting the colour writes the channels
    // silently, so the two never feed back into each other. May own a
    // palette of colours with triggers. Element "ParamColor". Runs on the
    // thread that edits parameters.
    class ParamColor : public ParamBase, public ParamListener
    {
    public:
        enum ColorChannel : std::int32_t
        {
            ColorChannel_Red = 0,
            ColorChannel_Green = 1,
            ColorChannel_Blue = 2,
            ColorChannel_Alpha = 3,
            ColorChannel_Hue = 4,
            ColorChannel_Saturation = 5,
            ColorChannel_Brightness = 6
        };

        // 0: hue, saturation and brightness drive the colour; 1 and 2: red,
        // green and blue do (the two differ only in the toggle cycle). Any
        // other value: setValue writes the HSB channels, channel changes are
        // ignored and writing brings no channel in line.
        enum ChannelMode : std::int32_t
        {
            ChannelMode_HSB = 0,
            ChannelMode_RGBAlternate = 1,
            ChannelMode_RGB = 2
        };

        // The channels start at the colour (Alpha at 1.0 whatever the
        // colour's alpha); no value counts as set yet.
        ParamColor(const std::string& name, const Color& color, ChannelMode mode = ChannelMode_RGB);
        ~ParamColor() override;

        // Writes the driving channels and Alpha silently (announcing only an
        // appearance change on them), then stores the colour under info's
        // change type; types 0 and 2 notify even an unchanged colour.
        void setValue(const Color& color, ValueChangeInfo info);
        const Color& getValue() const { return value; }
        bool isValueSet() const { return valueSet; }

        ChannelMode getChannelMode() const { return channelMode; }
        // Once a value is set, the newly driving channels take the colour.
        void changeChannelMode(ChannelMode mode);
        // 0 -> 2 -> 1 -> 0; any other mode stays.
        void toggleChannelMode();

        // Red for a channel outside 0..6.
        std::shared_ptr<ParamColorChannel> getChannel(ColorChannel channel) const;
        const std::shared_ptr<ParamContainer>& getChannels() const { return channels; }

        bool hasColorPalette() const { return palette.get() != nullptr; }
        ColorPalette* getColorPalette() const { return palette.get(); }
        // The existing palette, or a new one (then re-pathed).
        ColorPalette* createColorPalette();
        void removeColorPalette();

        // Resets every channel (the colour follows), then forgets that a
        // value was set.
        void resetToDefault(const ValueChangeInfo& info) override;
        // Every channel updates (Hue, Saturation, Brightness, Alpha, Red,
        // Green, Blue); true when any changed.
        bool update(const TimeInfo& info) override;
        // The channels and the palette follow this path.
        void pathChanged() override;

        // A channel changed: rebuilds the colour from the driving channels
        // and Alpha and stores it under the default change type.
        void valueChanged(ParamBase& sender, ChangeInfo info) override;

        // The element with "channelmode", "color" (packed, channels clamped
        // to 0..1), the channels' "Params" and the palette; the channels that
        // do not drive the colour are first brought in line silently.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Channels, then the mode as read, then the colour from "color"
        // (silently) or else from the channels just read, then the palette.
        void readStateDerived(const XmlNode& node) override;
        // Sends StateChange_Read.
        void readStatePost() override;

        // Needs "name", "channelmode" and "color" (null otherwise); the new
        // parameter has read the node and is owned by the caller.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    private:
        // Stores the colour; types 0 and 2 (after resolving 3) notify.
        void setValueInternal(const Color& color, ValueChangeInfo info);
        // Sets a channel without notifying anyone.
        static void setChannelSilently(ParamColorChannel& channel, double channelValue);

        std::shared_ptr<ParamContainer> channels;
        std::shared_ptr<ParamColorChannel> red;
        std::shared_ptr<ParamColorChannel> green;
        std::shared_ptr<ParamColorChannel> blue;
        std::shared_ptr<ParamColorChannel> alpha;
        std::shared_ptr<ParamColorChannel> hue;
        std::shared_ptr<ParamColorChannel> saturation;
        std::shared_ptr<ParamColorChannel> brightness;
        Color value;
        bool valueSet = false;
        bool hueIsOne = false;
        ChannelMode channelMode;
        ScopedPointer<ColorPalette> palette;
    };
}
