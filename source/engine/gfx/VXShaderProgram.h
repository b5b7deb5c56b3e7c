#pragma once

#include "core/VXFile.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXManagedGfxObject.h"

#include <map>
#include <string>

namespace vx
{

    /** A linked GLSL program (vertex and fragment stage) with a map of its active
        uniforms. Before every link the engine's vertex attributes are bound to
        fixed locations: 0 "vPosition", 1 "vNormal", 2 "vUV1", 3 "vUV2",
        4 "vColor", 5 "vTangent", so one vertex layout serves every program.
        Render thread only; nothing is locked. Loading into a linked program
        deletes its old GL objects first. */
    class ShaderProgram : public GfxObject
    {
    public:
        /** Where createShaderString looks for a file it cannot open as named. */
        static std::string defaultPath;

        /** Deepest nesting of #include files; deeper (a file that includes
            itself, or a cycle) fails. */
        static constexpr int maxIncludeDepth = 32;

        ShaderProgram() = default;
        ~ShaderProgram() override;

        /** Compiles and links from source. With a header, each stage becomes
            header + "\n" + source + "\n". The geometry source compiles no stage.
            False with the log in getLastError() on compile or link failure. */
        bool loadString(const std::string& vertexSrc, const std::string& fragmentSrc,
                        const std::string& geometrySrc = std::string(), const char* header = nullptr);
        /** Preprocesses, compiles and links the vertex and fragment files; the
            geometry file is not read. */
        bool load(const File& vertexFile, const File& fragmentFile, const File& geometryFile = File());

        /** Reads the file (or defaultPath + "/" + its name) into out, replacing
            each line's `#include "name"` with the named file, recursively. A
            directive behind a comment on its line is copied as it stands. False
            (logged) for a missing file, a malformed directive or nesting deeper
            than maxIncludeDepth. */
        static bool createShaderString(std::string& out, const File& file);

        /** Development aid: writes the preprocessed shader files as string
            constants into a header file. Null paths are skipped. */
        static bool createHeader(const char* vertexFile, const char* fragmentFile, const char* geometryFile,
                                 const char* headerFile, bool suffix);

        /** Deletes the shaders and the program, forgets the uniforms. */
        void release() override;

        /** False without a program. */
        bool bind();
        void unbind();
        bool isBound() const { return bound; }
        bool isValid() const { return program != 0; }
        unsigned int getProgram() const { return program; }
        const std::string& getLastError() const { return lastError; }

        /** -1 for a name that is no active uniform. Arrays are found by their
            name without "[0]". */
        int getUniformLocation(const std::string& name) const;
        const std::map<std::string, int>& getUniformLocations() const { return uniformLocations; }

        void setProgramParameter(int value, unsigned int pname);
        /** Stored only; nothing acts on it. */
        void enableAssertions(bool shouldAssert) { assertionsEnabled = shouldAssert; }
        bool areAssertionsEnabled() const { return assertionsEnabled; }

        // Uniform setters act on the currently bound program. Each answers false
        // and makes no GL call for a name that is no active uniform (one the
        // compiler optimised away included).
        bool setFloat(const std::string& name, float value);
        bool setFloatArray(const std::string& name, const float* values, int count);
        bool setInt(const std::string& name, int value);
        bool setSampler(const std::string& name, int textureUnit);
        bool setVec2(const std::string& name, const float* xy);
        bool setVec3(const std::string& name, const float* xyz);
        bool setVec3(const std::string& name, float x, float y, float z);
        bool setVec3Array(const std::string& name, const float* values, int count);
        bool setVec4(const std::string& name, const float* xyzw);
        bool setVec4(const std::string& name, float x, float y, float z, float w);
        bool setVec4Array(const std::string& name, const float* values, int count);
        bool setMatrix4x4(const std::string& name, const float* matrix);
        bool setMatrix4x4Array(const std::string& name, const float* matrices, int count);

    private:
        bool compileShader(unsigned int shader, const std::string& source);
        bool link();
        void locateUniforms();
        void deleteGLObjects();
        static bool createShaderString(std::string& out, const File& file, int depth);

        std::string lastError;
        std::map<std::string, int> uniformLocations;
        bool assertionsEnabled = true;
        unsigned int vertexShader = 0;
        unsigned int geometryShader = 0;
        unsigned int fragmentShader = 0;
        unsigned int program = 0;
        bool bound = false;
    };

} // namespace vx
