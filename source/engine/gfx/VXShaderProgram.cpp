#include "engine/gfx/VXShaderProgram.h"

#include "core/VXLog.h"
#include "engine/gfx/VXContext.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace vx
{

    std::string ShaderProgram::defaultPath = "/data/shaders";

    namespace
    {
        const char* const attributeNames[] = {"vPosition", "vNormal", "vUV1", "vUV2", "vColor", "vTangent"};

        // The source as the lines of a C string literal.
        void appendEscapedLine(std::string& out, const std::string& line)
        {
            out += '"';
            for (char c : line)
            {
                if (c == '"' || c == '\\')
                    out += '\\';
                out += c;
            }
            out += "\\n\"\n";
        }
    }

    ShaderProgram::~ShaderProgram()
    {
        deleteGLObjects();
    }

    void ShaderProgram::deleteGLObjects()
    {
        // Without a context GL cannot be called: the names are dropped (they
        // die with their context).
        const bool hasNames = program != 0 || vertexShader != 0 || geometryShader != 0 || fragmentShader != 0;
        const bool canCallGL = hasNames && Context::getCurrentNativeContext() != nullptr;
        if (hasNames && ! canCallGL)
            logPrint(logWarning, "ShaderProgram: no GL context current; program %u and its shaders are dropped",
                     program);

        for (unsigned int* shader : {&vertexShader, &geometryShader, &fragmentShader})
        {
            if (*shader != 0 && canCallGL)
                glDeleteShader(*shader);
            *shader = 0;
        }
        if (program != 0 && canCallGL)
            glDeleteProgram(program);
        program = 0;
        bound = false;
        uniformLocations.clear();
    }

    void ShaderProgram::release()
    {
        deleteGLObjects();
        GfxObject::release();
    }

    bool ShaderProgram::loadString(const std::string& vertexSrc, const std::string& fragmentSrc,
                                   const std::string& /*geometrySrc*/, const char* header)
    {
        // Loading again replaces the program; the old GL objects go first rather
        // than leak.
        deleteGLObjects();

        std::string vertexText = vertexSrc;
        std::string fragmentText = fragmentSrc;
        if (header != nullptr)
        {
            vertexText = std::string(header) + "\n" + vertexSrc + "\n";
            fragmentText = std::string(header) + "\n" + fragmentSrc + "\n";
        }

        vertexShader = glCreateShader(GL_VERTEX_SHADER);
        if (vertexShader == 0 || ! compileShader(vertexShader, vertexText))
            return false;

        fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
        if (fragmentShader == 0 || ! compileShader(fragmentShader, fragmentText))
            return false;

        return link();
    }

    bool ShaderProgram::load(const File& vertexFile, const File& fragmentFile, const File& /*geometryFile*/)
    {
        deleteGLObjects();

        std::string vertexText;
        if (! createShaderString(vertexText, vertexFile))
            return false;
        vertexShader = glCreateShader(GL_VERTEX_SHADER);
        if (vertexShader == 0 || ! compileShader(vertexShader, vertexText))
            return false;

        std::string fragmentText;
        if (! createShaderString(fragmentText, fragmentFile))
            return false;
        fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
        if (fragmentShader == 0 || ! compileShader(fragmentShader, fragmentText))
            return false;

        return link();
    }

    bool ShaderProgram::compileShader(unsigned int shader, const std::string& source)
    {
        const GLchar* text = source.c_str();
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);

        GLint status = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
        if (status != GL_TRUE)
        {
            GLint length = 0;
            glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
            std::vector<char> log(size_t(std::max(length, 0)) + 1, '\0');
            glGetShaderInfoLog(shader, GLsizei(log.size()), nullptr, log.data());
            debugPrint("shader log: %s", log.data());
            lastError = log.data();
            logPrint(logError, "ShaderProgram: %s shader failed to compile: %s",
                     shader == vertexShader ? "vertex" : "fragment", lastError.c_str());
            return false;
        }

        lastError.clear();
        return true;
    }

    bool ShaderProgram::link()
    {
        uniformLocations.clear();
        program = glCreateProgram();
        glAttachShader(program, vertexShader);
        glAttachShader(program, fragmentShader);
        if (geometryShader != 0)
            glAttachShader(program, geometryShader);

        for (GLuint i = 0; i < std::size(attributeNames); ++i)
            glBindAttribLocation(program, i, attributeNames[i]);

        glLinkProgram(program);

        GLint status = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &status);
        if (status != GL_TRUE)
        {
            char log[2048] = {};
            glGetProgramInfoLog(program, GLsizei(sizeof(log)), nullptr, log);
            lastError = log;
            debugPrint("GLSL Shader linker error:%s", log);
            logPrint(logError, "ShaderProgram: link failed: %s", log);
            return false;
        }

        locateUniforms();
        lastError.clear();
        return true;
    }

    void ShaderProgram::locateUniforms()
    {
        GLint count = 0;
        GLint maxLength = 0;
        glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
        glGetProgramiv(program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &maxLength);

        std::vector<char> name(size_t(std::max(maxLength, 1)) + 1, '\0');
        for (GLint i = 0; i < count; ++i)
        {
            GLint arraySize = 0;
            GLenum type = 0;
            GLsizei length = 0;
            glGetActiveUniform(program, GLuint(i), GLsizei(name.size()), &length, &arraySize, &type, name.data());

            std::string uniformName(name.data(), size_t(std::max(length, 0)));
            const int location = glGetUniformLocation(program, uniformName.c_str());

            // "weight[0]" is reached as "weight", at the location of element 0.
            const size_t bracket = uniformName.find('[');
            if (bracket != std::string::npos)
                uniformName.resize(bracket);

            uniformLocations[uniformName] = location;
        }
    }

    bool ShaderProgram::bind()
    {
        if (program == 0)
            return false;
        glUseProgram(program);
        bound = true;
        return true;
    }

    void ShaderProgram::unbind()
    {
        glUseProgram(0);
        bound = false;
    }

    int ShaderProgram::getUniformLocation(const std::string& name) const
    {
        const auto it = uniformLocations.find(name);
        return it == uniformLocations.end() ? -1 : it->second;
    }

    void ShaderProgram::setProgramParameter(int value, unsigned int pname)
    {
        if (program == 0)
            return;

        if (epoxy_gl_version() >= 41 || epoxy_has_gl_extension("GL_ARB_get_program_binary"))
            glProgramParameteri(program, pname, value);
        else if (epoxy_has_gl_extension("GL_EXT_geometry_shader4"))
            glProgramParameteriEXT(program, pname, value);
        else
            logPrint(logError, "ShaderProgram::setProgramParameter: program parameters are not supported here.");
    }

    bool ShaderProgram::setFloat(const std::string& name, float value)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform1f(location, value);
        return true;
    }

    bool ShaderProgram::setFloatArray(const std::string& name, const float* values, int count)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform1fv(location, count, values);
        return true;
    }

    bool ShaderProgram::setInt(const std::string& name, int value)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform1i(location, value);
        return true;
    }

    bool ShaderProgram::setSampler(const std::string& name, int textureUnit)
    {
        return setInt(name, textureUnit);
    }

    bool ShaderProgram::setVec2(const std::string& name, const float* xy)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform2f(location, xy[0], xy[1]);
        return true;
    }

    bool ShaderProgram::setVec3(const std::string& name, const float* xyz)
    {
        return setVec3(name, xyz[0], xyz[1], xyz[2]);
    }

    bool ShaderProgram::setVec3(const std::string& name, float x, float y, float z)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform3f(location, x, y, z);
        return true;
    }

    bool ShaderProgram::setVec3Array(const std::string& name, const float* values, int count)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform3fv(location, count, values);
        return true;
    }

    bool ShaderProgram::setVec4(const std::string& name, const float* xyzw)
    {
        return setVec4(name, xyzw[0], xyzw[1], xyzw[2], xyzw[3]);
    }

    bool ShaderProgram::setVec4(const std::string& name, float x, float y, float z, float w)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform4f(location, x, y, z, w);
        return true;
    }

    bool ShaderProgram::setVec4Array(const std::string& name, const float* values, int count)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniform4fv(location, count, values);
        return true;
    }

    bool ShaderProgram::setMatrix4x4(const std::string& name, const float* matrix)
    {
        return setMatrix4x4Array(name, matrix, 1);
    }

    bool ShaderProgram::setMatrix4x4Array(const std::string& name, const float* matrices, int count)
    {
        const int location = getUniformLocation(name);
        if (location == -1)
            return false;
        glUniformMatrix4fv(location, count, GL_FALSE, matrices);
        return true;
    }

    bool ShaderProgram::createShaderString(std::string& out, const File& file)
    {
        return createShaderString(out, file, 0);
    }

    bool ShaderProgram::createShaderString(std::string& out, const File& file, int depth)
    {
        const char* const where = "createShaderString";

        if (depth > maxIncludeDepth)
        {
            logPrint(logError, "%s: Includes nested deeper than %d levels at %s.", where, maxIncludeDepth,
                     file.getFullPath().c_str());
            return false;
        }

        std::string text = file.toString();
        if (text.empty())
            text = File(defaultPath + "/" + file.getFileName()).toString();
        if (text.empty())
        {
            logPrint(logError, "%s: Could not open file %s.", where, file.getFullPath().c_str());
            return false;
        }

        out.clear();
        size_t copied = 0;
        size_t searchFrom = 0;
        for (;;)
        {
            const size_t hash = text.find("#include", searchFrom);
            if (hash == std::string::npos)
            {
                out.append(text, copied, std::string::npos);
                return true;
            }

            // A directive behind a comment on its line stays as text.
            if (hash > 0)
            {
                const size_t slash = text.rfind('/', hash - 1);
                const size_t newline = text.rfind('\n', hash - 1);
                if (slash != std::string::npos && (newline == std::string::npos || slash > newline))
                {
                    logPrint(logInfo, "%s: Found comment.", where);
                    searchFrom = hash + 1;
                    continue;
                }
            }

            out.append(text, copied, hash - copied);

            // The quoted name must sit on the directive's own line.
            const size_t lineEnd = text.find('\n', hash);
            const size_t lineLimit = lineEnd == std::string::npos ? text.size() : lineEnd;
            const size_t firstQuote = text.find('"', hash);
            if (firstQuote == std::string::npos || firstQuote > lineLimit)
            {
                logPrint(logError, "%s: Preprocessor error expected \" after #include 'n.", where);
                return false;
            }
            const size_t secondQuote = text.find('"', firstQuote + 1);
            if (secondQuote == std::string::npos || secondQuote > lineLimit)
            {
                logPrint(logError, "%s: Preprocessor error expected \".", where);
                return false;
            }
            if (lineEnd == std::string::npos)
            {
                logPrint(logError, "%s: Preprocessor error expected new line.", where);
                return false;
            }

            std::string included;
            if (! createShaderString(included, File(text.substr(firstQuote + 1, secondQuote - firstQuote - 1)),
                                     depth + 1))
                return false;
            out += included;

            // The newline ending the directive is copied with the following text.
            copied = lineEnd;
            searchFrom = lineEnd;
        }
    }

    bool ShaderProgram::createHeader(const char* vertexFile, const char* fragmentFile, const char* geometryFile,
                                     const char* headerFile, bool suffix)
    {
        if (headerFile == nullptr)
            return false;

        FILE* header = std::fopen(headerFile, "w+");
        if (header == nullptr)
        {
            logPrint(logError, "ShaderProgram::createHeader: Could not open %s for writing.", headerFile);
            return false;
        }

        std::string content = "#pragma once\n\n\n";
        const char* const paths[] = {vertexFile, fragmentFile, geometryFile};
        const char* const suffixes[] = {"Vert", "Frag", "Geom"};
        bool ok = true;
        for (size_t i = 0; i < 3 && ok; ++i)
        {
            if (paths[i] == nullptr)
                continue;

            std::string source;
            if (! createShaderString(source, File(paths[i])))
            {
                ok = false;
                break;
            }

            content +=
                "const char * " + File(paths[i]).getFilenameWithoutExtension() + (suffix ? suffixes[i] : "") + " = ";
            size_t start = 0;
            while (start < source.size())
            {
                size_t end = source.find('\n', start);
                if (end == std::string::npos)
                    end = source.size();
                appendEscapedLine(content, source.substr(start, end - start));
                start = end + 1;
            }
            content += "\"//end\";\n\n\n";
        }

        if (ok)
            ok = std::fwrite(content.data(), 1, content.size(), header) == content.size();
        if (std::fclose(header) != 0)
            ok = false;
        return ok;
    }

} // namespace vx
