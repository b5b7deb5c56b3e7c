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
            // A standard parameter's own range (the values at 0 and 1), once
            // a value was set in its units.
            bool rangeKnown = false;
            double low = 0.0, high = 0.0;
            // The ends are the display texts at 0 and 1, each rounded.
            bool roundedEnds = false;
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
        // normalised, from 0..1. The range of a standard parameter is learnt
        // from the plugin's display texts (learnRange).
        // False (reported) for an unknown name, a bad value or a failing call.
        bool setParameter(const std::string& name, const std::string& value, bool normalised);
        // The instance's display text of a parameter ("" when it has none).
        std::string getDisplay(std::uint32_t index) const;
        // The value the instance holds, as FFGL exchanges it (code 9).
        float getNormalised(std::uint32_t index) const;
        // "Parameters: NAME=VALUE ...": the display texts, and for a standard
        // parameter set in its units the value the instance holds in them.
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
        // The display text at a normalised value, as a number; false when it is none.
        bool displayedNumber(std::uint32_t index, float position, double& number);
        // Finds the values of a standard parameter at 0 and 1. Display texts
        // are rounded (Kelvo's "%.2f" shows a minimum of 0.005 as "0.01"), so
        // the ends are not read off them: the first and the last change of
        // the text are found by bisection, and a rounded text changes where
        // the value is halfway between the two texts. Two such points give the
        // line; a display with a single change gives the texts at the ends.
        // Leaves the parameter at some probed value; false when the texts
        // show no range.
        bool learnRange(Parameter& parameter);

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
