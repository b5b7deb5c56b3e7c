#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/VXColor.h"

namespace vx
{
    // Display hints of one parameter, kept by its container. The engine only
    // stores and hands them out; the host's controls interpret them. Plain
    // value, no XML form, no lock.
    class ParamView
    {
    public:
        // The numbering of these belongs to the host's controls; only the
        // values the engine itself sets are named.
        enum Visibility : int32_t
        {
            visibilityShown = 0,
            visibilityHidden = 1
        };

        enum ControlSize : int32_t
        {
            controlSizeDefault = 0
        };

        enum ControlType : int32_t
        {
            controlTypeDefault = 0,
            controlTypeRed = 5,
            controlTypeGreen = 6,
            controlTypeBlue = 7,
            controlTypeHue = 8,
            controlTypeSaturation = 9,
            controlTypeBrightness = 10,
            controlTypeAlpha = 11
        };

        enum DragType : int32_t
        {
            dragTypeDefault = 0
        };

        enum DisplayUnits : int32_t
        {
            unitsNone = 0,
            unitsInteger = 1,
            unitsPercent = 2,
            unitsDegrees = 3,
            unitsDecibels = 4,
            unitsFrames = 5,
            unitsMilliseconds = 6
        };

        enum SubType : int32_t
        {
            subTypeDefault = 0
        };

        enum ShowInHeader : int32_t
        {
            showInHeaderDefault = 0
        };

        // first: the name of the choice the section belongs to; second:
        // carried for the host.
        using ComboboxSection = std::pair<std::string, std::string>;
        using StringReplaceCallback = std::function<std::string(const std::string&)>;

        // Steps an automatic increment (-1) takes for integer, percent and
        // degree units; a host may change them.
        static double incrementDefaultInt;
        static double incrementDefaultPercent;
        static double incrementDefaultDegrees;

        ParamView();
        explicit ParamView(Visibility visibility);
        explicit ParamView(ControlType controlType);
        // The units go through setDisplayUnits; the int has no effect.
        ParamView(ControlType controlType, DisplayUnits units, SubType subType, int unused);
        // Copies every field but the choice and combobox sections, which
        // start empty. Assignment copies everything.
        ParamView(const ParamView& other);
        ParamView& operator=(const ParamView& other) = default;

        Visibility getVisibility() const { return visibility; }
        void setVisibility(Visibility newVisibility) { visibility = newVisibility; }
        ParamView withVisiblity(Visibility newVisibility) const;

        ControlSize getControlSize() const { return controlSize; }
        void setControlSize(ControlSize newSize) { controlSize = newSize; }
        ParamView withControlSize(ControlSize newSize) const;

        ControlType getControlType() const { return controlType; }
        void setControlType(ControlType newType) { controlType = newType; }
        ParamView withControlType(ControlType newType) const;

        const Color& getPrimaryColor() const { return primaryColor; }
        void setPrimaryColor(const Color& color) { primaryColor = color; }
        ParamView withPrimaryColor(const Color& color) const;

        const Color& getSecondaryColor() const { return secondaryColor; }
        void setSecondaryColor(const Color& color) { secondaryColor = color; }
        ParamView withSecondaryColor(const Color& color) const;

        DragType getDragType() const { return dragType; }
        void setDragType(DragType newType) { dragType = newType; }

        DisplayUnits getDisplayUnits() const { return displayUnits; }
        // Stores the units and adapts an automatic increment, the decimals or
        // the frame rate to them.
        void setDisplayUnits(DisplayUnits units);
        ParamView withDisplayUnits(DisplayUnits units) const;
        // " %", " °", " dB" or " ms"; empty for the other units.
        std::string getDisplaySuffix() const;

        SubType getSubType() const { return subType; }
        void setSubType(SubType newSubType) { subType = newSubType; }
        ParamView withSubType(SubType newSubType) const;

        const StringReplaceCallback& getStringReplaceCallback() const { return stringReplaceCallback; }
        void setStringReplaceCallback(StringReplaceCallback callback) { stringReplaceCallback = std::move(callback); }
        ParamView withStringReplaceCallback(StringReplaceCallback callback) const;

        bool isEnabled() const { return enabled; }
        void setEnabled(bool isEnabled) { enabled = isEnabled; }
        ParamView withEnablement(bool isEnabled) const;

        bool nameIsEditable() const { return nameEditable; }
        void setNameIsEditable(bool editable) { nameEditable = editable; }

        bool isRemovable() const { return removable; }
        void setIsRemovable(bool isRemovable) { removable = isRemovable; }

        bool shouldValueDescriptionShow() const { return showValueDescription; }
        void setShowValueDescription(bool show) { showValueDescription = show; }

        int getNumDecimals() const { return numDecimals; }
        void setNumDecimals(int decimals) { numDecimals = decimals; }
        ParamView withNumDecimals(int decimals) const;
        // value in fixed notation with exactly getNumDecimals() digits after
        // the point; neither multiplier nor suffix applied.
        std::string getDisplayValue(double value) const;

        float getDisplayFrameRate() const { return displayFrameRate; }
        // Stores the rate and sets the units to frames directly.
        void setDisplayFramerate(float frameRate);

        double getValueMultiplier() const { return valueMultiplier; }
        void setValueMultiplier(double multiplier) { valueMultiplier = multiplier; }

        // -1 means automatic.
        double getIncrement() const { return increment; }
        void setIncrement(double newIncrement) { increment = newIncrement; }
        ParamView withIncrement(double newIncrement) const;

        bool needsRightMouseButtonCallback() const { return rightMouseButtonCallback; }
        void setNeedsRightMouseButtonCallback(bool needs) { rightMouseButtonCallback = needs; }

        const std::vector<std::vector<unsigned int>>& getChoiceSeparatedSections() const
        {
            return choiceSeparatedSections;
        }
        void setChoiceSeparatedSections(const std::vector<std::vector<unsigned int>>& sections)
        {
            choiceSeparatedSections = sections;
        }

        std::vector<ComboboxSection> getComboboxSections() const { return comboboxSections; }
        void setComboboxSections(const std::vector<ComboboxSection>& sections) { comboboxSections = sections; }
        // The first section whose choice name equals choiceName, or null.
        static const ComboboxSection* getComboboxSectionForChoice(const std::vector<ComboboxSection>& sections,
                                                                  const std::string& choiceName);
        const ComboboxSection* getComboboxSectionForChoice(const std::string& choiceName) const;

        uint8_t getHideFlags() const { return hideFlags; }
        void setHideFlags(uint8_t flags) { hideFlags = flags; }
        ParamView withHideFlags(uint8_t flags) const;

        const std::string& getGroup() const { return group; }
        bool isInGroup() const { return ! group.empty(); }
        void setGroup(const std::string& newGroup) { group = newGroup; }
        ParamView withGroup(const std::string& newGroup) const;

        ShowInHeader getShowInHeader() const { return showInHeader; }
        void setShowInHeader(ShowInHeader show) { showInHeader = show; }
        ParamView withShowInHeader(ShowInHeader show) const;

        bool getShowDisabledOptions() const { return showDisabledOptions; }
        void setShowDisabledOptions(bool show) { showDisabledOptions = show; }

    private:
        Visibility visibility = visibilityShown;
        ControlSize controlSize = controlSizeDefault;
        ControlType controlType = controlTypeDefault;
        Color primaryColor{0.0f, 0.0f, 0.0f, 0.0f};
        Color secondaryColor{0.0f, 0.0f, 0.0f, 0.0f};
        DragType dragType = dragTypeDefault;
        DisplayUnits displayUnits = unitsNone;
        SubType subType = subTypeDefault;
        StringReplaceCallback stringReplaceCallback;
        bool enabled = true;
        bool nameEditable = false;
        bool removable = false;
        bool showValueDescription = false;
        int numDecimals = 2;
        float displayFrameRate = 0.0f;
        double valueMultiplier = 1.0;
        double increment = -1.0;
        bool rightMouseButtonCallback = false;
        std::vector<std::vector<unsigned int>> choiceSeparatedSections;
        std::vector<ComboboxSection> comboboxSections;
        uint8_t hideFlags = 0;
        std::string group;
        ShowInHeader showInHeader = showInHeaderDefault;
        bool showDisabledOptions = true;
    };
}
