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
        // a standard parameter from a value in its own units (derived from
        // the plugin's display texts at 0 and 1) or, with normalised, from 0..1.
        // False (reported) for an unknown name, a bad value or a failing call.
        bool setParameter(const std::string& name, const std::string& value, bool normalised);
        // The instance's display text of a parameter ("" when it has none).
        std::string getDisplay(std::uint32_t index) const;
        void printCurrentValues() const;

        // Code 17; false (reported) on failure.
        bool processFrame(ProcessOpenGLStructTag& frame);

        static const char* codeName(std::uint32_t code);

    private:
        FFGL::Word call(std::uint32_t code, FFGL::Word input, FFGL::Word instanceWord) const;
        bool report(std::uint32_t code, const std::string& detail) const;
        const Parameter* findParameter(const std::string& name) const;
        bool setFloat(std::uint32_t index, float value);

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
