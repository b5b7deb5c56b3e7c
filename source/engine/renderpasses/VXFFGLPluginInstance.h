#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/ffgl/FFGL.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx
{
    class File;
    class ParamContainer;
    class Texture;

    // The host side of the FFGL protocol: drives one loaded plugin through
    // its plugMain. Loading (initPluginLibrary) asks the plugin for its
    // information, capabilities and parameters and mirrors each parameter in
    // the container "Params"; each frame (processOpenGL) sends every value,
    // hands over the inputs and the framebuffer and lets the plugin draw.
    //
    // What a plugin answers is read within the protocol's limits: at most
    // 512 parameters, names of 16 characters, display texts of 32, the
    // description and about texts of 1024, input counts of at most
    // inputFramesLimit, and no text read past those sizes
    // whether or not it is terminated. No exception thrown by the plugin
    // leaves this class: each call into it catches, logs the "Escaped from
    // error" line and answers failure; the GL codes restore the attribute
    // stack first.
    //
    // Render thread only, apart from parameter changes: a change on another
    // thread is not sent at once (that would call the plugin during its
    // frame); every value is sent again before each frame.
    class FFGLPluginInstance : public ParamListener
    {
    public:
        static constexpr int maxParameters = 512;
        static constexpr int maxNameLength = 16;
        static constexpr int maxDisplayLength = 32;
        static constexpr int maxUniqueIdLength = 4;
        static constexpr int maxInfoTextLength = 1024;
        static constexpr int inputFramesLimit = 16;

        FFGLPluginInstance();
        // Frees the names, input records and parameter container.
        ~FFGLPluginInstance() override;
        FFGLPluginInstance(const FFGLPluginInstance&) = delete;
        FFGLPluginInstance& operator=(const FFGLPluginInstance&) = delete;

        // A new, loaded instance of the plugin file (owned by the caller), or
        // null with nothing held.
        static FFGLPluginInstance* load(const File& file);
        // A new, empty instance of the platform's kind.
        static FFGLPluginInstance* createInstance();

        // Opens the library, finds plugMain and runs initPluginLibrary; what
        // was held before is given back first.
        virtual bool load(const char* path) = 0;
        // De-initialises and gives the library back; refused (false) while
        // an OpenGL instance lives.
        virtual bool unload() = 0;

        // Load time: false (logged) when the plugin is missing, refuses to
        // initialise or answers no information. A plugin without OpenGL
        // support loads without parameters or inputs.
        bool initPluginLibrary();
        // False (nothing changed) while an OpenGL instance lives.
        bool deinitPluginLibrary();

        bool instantiateGL(int x, int y, int width, int height);
        bool deInstantiateGL();
        bool resizeGL(int x, int y, int width, int height);
        bool connectGL();
        bool disconnectGL();
        // Sends every parameter, then lets the plugin draw into hostFbo.
        // False when there is no OpenGL instance, a required input is
        // missing, or the plugin fails or throws.
        bool processOpenGL(unsigned int hostFbo);
        void setTime(double seconds);

        // One zero-filled record per input frame.
        void allocateInputs();
        void releaseInputs();
        // The input's record: the given size, or the texture's where it is
        // 0, its storage size and GL name. A null texture leaves the input
        // unsupplied (the plugin sees no record for it). Indices past the
        // records are ignored.
        void setInput(int index, Texture* texture, int width, int height);

        void setParameterName(int index, const char* name);
        // Empty when out of range or unset.
        std::string getParameterName(int index) const;
        void releaseParamNames();
        std::string getParameterDisplayValue(int index);
        void setFloatParameter(int index, float value);
        float getFloatParameter(int index);
        float getDefaultFloatParameter(int index);
        void setTextParameter(int index, const char* text);
        // Texts answered by the plugin, valid until its next call; null when
        // there is none.
        const char* getTextParameter(int index);
        const char* getDefaultTextParameter(int index);

        // Sends the value of a mirrored parameter (see the class comment).
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        bool isLoaded() const { return loaded; }
        // False for a plugin that loaded without OpenGL processing: it can
        // never draw.
        bool supportsOpenGL() const { return openGL; }
        bool hasGLInstance() const { return instanceId != 0; }
        const std::string& getFilePath() const { return filePath; }
        const std::string& getPluginName() const { return pluginName; }
        const std::string& getShortName() const { return shortName; }
        const std::string& getUniqueId() const { return uniqueId; }
        const std::string& getDescription() const { return description; }
        const std::string& getAbout() const { return about; }
        int getMinInputFrames() const { return minInputFrames; }
        int getMaxInputFrames() const { return maxInputFrames; }
        std::uint32_t getPluginType() const { return pluginType; }
        int getNumParameters() const { return numParameters; }
        const std::shared_ptr<ParamContainer>& getParams() const { return params; }
        // The plugin's index of a mirrored parameter, or -1.
        int getParameterIndex(const ParamBase& param) const;

    protected:
        // For the loader: the entry point (null when gone), and the loaded
        // state with the path it came from.
        void setEntryPoint(FFGL::PlugMainFunction entry) { entryPoint = entry; }
        FFGL::PlugMainFunction getEntryPoint() const { return entryPoint; }
        void setLoaded(bool isLoaded, const std::string& path);
        // As deinitPluginLibrary without the plugin's de-initialise, which
        // ends state of the whole library: for an instance whose library
        // other instances still use. False while an OpenGL instance lives or
        // when nothing was loaded.
        bool forgetPluginLibrary();
        // As initPluginLibrary without the plugin's initialise: for an
        // instance whose library another instance initialised and still uses.
        bool joinPluginLibrary();

    private:
        enum class Kind : std::uint8_t
        {
            boolean,
            range,
            text,
            colour
        };
        struct Mirrored
        {
            int index;
            Kind kind;
        };

        // The helpers a frame runs per parameter are inline (defined in the
        // .cpp, its only user): each is little beside the plugin's answer.
        // One call into the plugin; an exception answers failure (and sets
        // threw) after the "Escaped from error" line naming operation.
        inline FFGL::Word call(std::uint32_t code, FFGL::Word input, FFGL::Word instance, const char* operation,
                               bool* threw = nullptr) const;
        // A GL code with the attribute stack pushed around it; ok is false on
        // failure or an exception.
        FFGL::Word callGL(std::uint32_t code, FFGL::Word input, FFGL::Word instance, const char* operation,
                          bool& ok) const;
        bool startPluginLibrary(bool initialise);
        bool endPluginLibrary(bool deInitialise);
        bool isParameterIndex(int index) const { return index >= 0 && index < numParameters; }
        inline bool isTextParameter(int index, FFGL::Word instance) const;
        // setFloatParameter and setTextParameter once the entry point and
        // OpenGL instance are known to be there.
        inline void sendFloat(int index, float value);
        inline void sendText(int index, const char* text);
        inline void sendValue(ParamBase& param, const Mirrored& mirrored);
        void makeParameters();
        void addMirrored(const std::shared_ptr<ParamBase>& param, int index, Kind kind, bool valueView);

        std::unordered_map<const ParamBase*, Mirrored> parameterMap;
        // The same, in the container's order: what each frame walks.
        std::vector<std::pair<ParamBase*, Mirrored>> mirroredInOrder;
        bool loaded = false;
        bool openGL = false;
        std::string filePath;
        std::string pluginName;
        std::string shortName = "EXT";
        std::string uniqueId;
        std::string description;
        std::string about;
        int maxInputFrames = 0;
        int minInputFrames = 0;
        std::uint32_t pluginType = 0;
        std::vector<FFGLTextureStruct> inputRecords;
        std::vector<FFGLTextureStruct*> inputPointers;
        FFGL::PlugMainFunction entryPoint = nullptr;
        FFGL::Word instanceId = 0;
        void* glThread = nullptr;
        int numParameters = 0;
        std::vector<std::string> parameterNames;
        std::shared_ptr<ParamContainer> params;
    };
}
