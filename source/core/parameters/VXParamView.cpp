#include "core/parameters/VXParamView.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace vx
{
    double ParamView::incrementDefaultInt = 1.0;
    double ParamView::incrementDefaultPercent = 10.0;
    double ParamView::incrementDefaultDegrees = 5.0;

    ParamView::ParamView()
    {
        setDisplayUnits(unitsNone);
    }

    ParamView::ParamView(Visibility visibility_) : visibility(visibility_)
    {
    }

    ParamView::ParamView(ControlType controlType_) : controlType(controlType_)
    {
    }

    ParamView::ParamView(ControlType controlType_, DisplayUnits units, SubType subType_, int)
        : controlType(controlType_)
    {
        setDisplayUnits(units);
        subType = subType_;
    }

    ParamView::ParamView(const ParamView& other)
        : visibility(other.visibility), controlSize(other.controlSize), controlType(other.controlType),
          primaryColor(other.primaryColor), secondaryColor(other.secondaryColor), dragType(other.dragType),
          displayUnits(other.displayUnits), subType(other.subType), stringReplaceCallback(other.stringReplaceCallback),
          enabled(other.enabled), nameEditable(other.nameEditable), removable(other.removable),
          showValueDescription(other.showValueDescription), numDecimals(other.numDecimals),
          displayFrameRate(other.displayFrameRate), valueMultiplier(other.valueMultiplier), increment(other.increment),
          rightMouseButtonCallback(other.rightMouseButtonCallback), hideFlags(other.hideFlags), group(other.group),
          showInHeader(other.showInHeader), showDisabledOptions(other.showDisabledOptions)
    {
    }

    ParamView ParamView::withVisiblity(Visibility newVisibility) const
    {
        ParamView copy(*this);
        copy.visibility = newVisibility;
        return copy;
    }

    ParamView ParamView::withControlSize(ControlSize newSize) const
    {
        ParamView copy(*this);
        copy.controlSize = newSize;
        return copy;
    }

    ParamView ParamView::withControlType(ControlType newType) const
    {
        ParamView copy(*this);
        copy.controlType = newType;
        return copy;
    }

    ParamView ParamView::withPrimaryColor(const Color& color) const
    {
        ParamView copy(*this);
        copy.primaryColor = color;
        return copy;
    }

    ParamView ParamView::withSecondaryColor(const Color& color) const
    {
        ParamView copy(*this);
        copy.secondaryColor = color;
        return copy;
    }

    void ParamView::setDisplayUnits(DisplayUnits units)
    {
        displayUnits = units;
        switch (units)
        {
            case unitsInteger:
                // A step set by hand is rounded, never replaced by the default.
                if (increment == -1.0)
                {
                    increment = incrementDefaultInt;
                }
                else
                {
                    increment = std::round(increment);
                    numDecimals = 0;
                }
                break;
            case unitsPercent:
                if (increment == -1.0)
                    increment = incrementDefaultPercent;
                break;
            case unitsDegrees:
                if (increment == -1.0)
                    increment = incrementDefaultDegrees;
                break;
            case unitsMilliseconds:
                displayFrameRate = 1000.0f;
                break;
            default:
                break;
        }
    }

    ParamView ParamView::withDisplayUnits(DisplayUnits units) const
    {
        ParamView copy(*this);
        copy.setDisplayUnits(units);
        return copy;
    }

    std::string ParamView::getDisplaySuffix() const
    {
        switch (displayUnits)
        {
            case unitsPercent:
                return " %";
            case unitsDegrees:
                return " \xC2\xB0";
            case unitsDecibels:
                return " dB";
            case unitsMilliseconds:
                return " ms";
            default:
                return std::string();
        }
    }

    ParamView ParamView::withSubType(SubType newSubType) const
    {
        ParamView copy(*this);
        copy.subType = newSubType;
        return copy;
    }

    ParamView ParamView::withStringReplaceCallback(StringReplaceCallback callback) const
    {
        ParamView copy(*this);
        copy.stringReplaceCallback = std::move(callback);
        return copy;
    }

    ParamView ParamView::withEnablement(bool isEnabled) const
    {
        ParamView copy(*this);
        copy.enabled = isEnabled;
        return copy;
    }

    ParamView ParamView::withNumDecimals(int decimals) const
    {
        ParamView copy(*this);
        copy.numDecimals = decimals;
        return copy;
    }

    std::string ParamView::getDisplayValue(double value) const
    {
        std::ostringstream stream;
        stream.imbue(std::locale::classic());
        // A negative count would fall back to the stream's default of six.
        stream << std::fixed << std::setprecision(std::max(0, numDecimals)) << value;
        return stream.str();
    }

    void ParamView::setDisplayFramerate(float frameRate)
    {
        displayFrameRate = frameRate;
        displayUnits = unitsFrames;
    }

    ParamView ParamView::withIncrement(double newIncrement) const
    {
        ParamView copy(*this);
        copy.increment = newIncrement;
        return copy;
    }

    const ParamView::ComboboxSection* ParamView::getComboboxSectionForChoice(
        const std::vector<ComboboxSection>& sections, const std::string& choiceName)
    {
        for (const ComboboxSection& section : sections)
            if (section.first == choiceName)
                return &section;
        return nullptr;
    }

    const ParamView::ComboboxSection* ParamView::getComboboxSectionForChoice(const std::string& choiceName) const
    {
        return getComboboxSectionForChoice(comboboxSections, choiceName);
    }

    ParamView ParamView::withHideFlags(uint8_t flags) const
    {
        ParamView copy(*this);
        copy.hideFlags = flags;
        return copy;
    }

    ParamView ParamView::withGroup(const std::string& newGroup) const
    {
        ParamView copy(*this);
        copy.group = newGroup;
        return copy;
    }

    ParamView ParamView::withShowInHeader(ShowInHeader show) const
    {
        ParamView copy(*this);
        copy.showInHeader = show;
        return copy;
    }
}
