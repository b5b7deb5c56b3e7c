#pragma once

#include "engine/ffgl/FFGL.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vx::host
{
    // An FFGL module loaded as hosts load plugins (dlopen, now, local
    // symbols) and driven through its plugMain alone. Every failing call is
    // reported on stderr with the code that failed; nothing here throws.
    class PluginModule
    {
    public:
        struct Parameter
        {
            std::uint32_t index = 0;
            std::string name;
            std::uint32_t type = 0;
            float defaultValue = 0.0f; // normalised; 0 for texts
            // A standard parameter set in its own units: the value shown for
            // it while it holds the normalised value it was set to.
            std::string shownValue;
            float shownAt = -1.0f;
        };

        explicit PluginModule(const std::string& path);
        // Ends the instance and the prototype, then unloads.
        ~PluginModule();
        PluginModule(const PluginModule&) = delete;
        PluginModule& operator=(const PluginModule&) = delete;

        // False (reported) when the module cannot be opened, has no plugMain
        // or refuses to initialise.
        bool load();

        // Prints the information record, the extended record, the input
        // counts and the parameter table.
        void printInformation() const;
        const std::vector<Parameter>& getParameters() const { return parameters; }
        std::uint32_t getMinimumInputs() const { return minimumInputs; }
        std::uint32_t getMaximumInputs() const { return maximumInputs; }

        // Code 18 with the viewport; false (reported) on failure.
        bool instantiate(std::uint32_t width, std::uint32_t height);

        // Sets a parameter of the instance by name (case-insensitive): a
        // boolean or event from on/off/true/false/yes/no/1/0, a text as given,
        // a standard parameter from a value in its own units or, with
        // normalised, from 0..1. A value in units is placed where the
        // plugin's display text shows it (setInUnits).
        // False (reported) for an unknown name, a bad value or a failing call.
        bool setParameter(const std::string& name, const std::string& value, bool normalised);
        // The instance's display text of a parameter ("" when it has none).
        std::string getDisplay(std::uint32_t index) const;
        // The value the instance holds, as FFGL exchanges it (code 9).
        float getNormalised(std::uint32_t index) const;
        // "Parameters: NAME=VALUE ...": the display texts; for a standard
        // parameter set in its units and placed between two changes of its
        // text, the value it holds in them (which its text shows rounded).
        std::string describeCurrentValues() const;
        void printCurrentValues() const;

        // Code 17; false (reported) on failure.
        bool processFrame(ProcessOpenGLStructTag& frame);

        static const char* codeName(std::uint32_t code);

    private:
        FFGL::Word call(std::uint32_t code, FFGL::Word input, FFGL::Word instanceWord) const;
        bool report(std::uint32_t code, const std::string& detail) const;
        Parameter* findParameter(const std::string& name);
        bool setFloat(std::uint32_t index, float value);
        // A display text read as a number, with the step of its last digit.
        struct Reading
        {
            std::string text;
            double number = 0.0;
            double step = 0.0;
        };
        // Where a display text changes: between two neighbouring normalised
        // values, showing before and after.
        struct Change
        {
            double where = 0.0;
            float lastBefore = 0.0f, firstAfter = 1.0f;
            Reading before, after;
        };
        // The display text at a normalised value; false when it is no number.
        bool readAt(std::uint32_t index, float position, Reading& reading);
        // Bisection from 0 (whose text does not pass) to 1 (whose text
        // passes) down to the two neighbouring floats across the change.
        // direction is 1 when the texts grow with the value, -1 when they
        // fall; a text passes when direction times its number is above the
        // threshold (or equal to it, unless strict).
        bool findChange(std::uint32_t index, const Reading& atZero, const Reading& atOne, int direction,
                        double threshold, bool strict, Change& change);
        // A standard parameter in its own units. The display is monotonic in
        // the normalised value and taken to round: its text changes where the
        // value is halfway between two texts. The asked number lies in the
        // interval of one text; the value is interpolated between the
        // interval's two changes (or an end whose value the next two changes
        // give), else put in the middle of it. Where that line falls short of
        // the text a display shows at an end (one that truncates shows its
        // top text at the very end only), that text is the end: what it
        // shows is held there, so every text the display shows is taken
        // back. Where the line goes past the text at one end while falling
        // short at the other (the same display at its low end), that text is
        // the end too: nothing beyond it is taken. A rounding display whose
        // end lies between two texts passes its text at that end alone, and
        // keeps the line's end. The display is read back: a number it does
        // not show within half a step of its last digit, or past an end, is
        // refused with the range it shows, the parameter kept as it was.
        bool setInUnits(Parameter& parameter, double number);

        std::string path;
        void* handle = nullptr;
        FFGL::PlugMainFunction plugMain = nullptr;
        FFGL::Word instance = 0;
        bool initialised = false;
        std::vector<Parameter> parameters;
        std::uint32_t minimumInputs = 0;
        std::uint32_t maximumInputs = 0;
    };
}
