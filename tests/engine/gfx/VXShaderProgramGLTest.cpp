#include "engine/gfx/VXShaderProgram.h"

#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <memory>

namespace vx
{
    namespace
    {

        using ShaderProgramGLTest = test::GLTest;

        const char* const passVertex =
            "attribute vec3 vPosition; attribute vec4 vColor; attribute vec3 vTangent; varying vec4 color;\n"
            "void main() { gl_Position = vec4(vPosition + vTangent, 1.0); color = vColor; }";

        const char* const weightedFragment =
            "uniform float weight[7]; uniform vec4 tint; uniform float unused; varying vec4 color;\n"
            "void main() { float s = 0.0; for (int i = 0; i < 7; ++i) s += weight[i];\n"
            "gl_FragColor = color * tint * s; }";

        TEST_F(ShaderProgramGLTest, LinksWithTheEngineAttributeLocations)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(passVertex, weightedFragment, "", "#version 120")) << program.getLastError();
            EXPECT_TRUE(program.isValid());
            EXPECT_TRUE(program.getLastError().empty());

            EXPECT_EQ(glGetAttribLocation(program.getProgram(), "vPosition"), 0);
            EXPECT_EQ(glGetAttribLocation(program.getProgram(), "vColor"), 4);
            EXPECT_EQ(glGetAttribLocation(program.getProgram(), "vTangent"), 5);
        }

        TEST_F(ShaderProgramGLTest, UniformArraysAreFoundByTheirBareName)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(passVertex, weightedFragment, "", nullptr)) << program.getLastError();
            ASSERT_TRUE(program.bind());
            EXPECT_TRUE(program.isBound());

            EXPECT_NE(program.getUniformLocation("weight"), -1);
            EXPECT_EQ(program.getUniformLocation("weight[0]"), -1);
            const float weights[7] = {1, 2, 3, 4, 5, 6, 7};
            EXPECT_TRUE(program.setFloatArray("weight", weights, 7));

            float back[7] = {};
            for (int i = 0; i < 7; ++i)
            {
                const std::string element = "weight[" + std::to_string(i) + "]";
                glGetUniformfv(program.getProgram(), glGetUniformLocation(program.getProgram(), element.c_str()),
                               &back[i]);
            }
            EXPECT_EQ(back[6], 7.0f);
            EXPECT_EQ(back[0], 1.0f);

            EXPECT_TRUE(program.setVec4("tint", 0.5f, 0.25f, 1.0f, 1.0f));
            float tint[4] = {};
            glGetUniformfv(program.getProgram(), program.getUniformLocation("tint"), tint);
            EXPECT_EQ(tint[1], 0.25f);

            program.unbind();
            EXPECT_FALSE(program.isBound());
        }

        TEST_F(ShaderProgramGLTest, AbsentUniformsAnswerFalseWithoutAGLCall)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(passVertex, weightedFragment, "", nullptr));
            ASSERT_TRUE(program.bind());

            // "unused" was optimised away; "nothing" never existed.
            test::GLCallCounter<&epoxy_glUniform1f> uniform1f("glUniform1f");
            test::GLCallCounter<&epoxy_glUniform4f> uniform4f("glUniform4f");
            EXPECT_FALSE(program.setFloat("unused", 1.0f));
            EXPECT_FALSE(program.setFloat("nothing", 1.0f));
            EXPECT_FALSE(program.setVec4("nothing", 1.0f, 1.0f, 1.0f, 1.0f));
            EXPECT_FALSE(program.setInt("nothing", 1));
            const float matrix[16] = {};
            EXPECT_FALSE(program.setMatrix4x4("nothing", matrix));
            EXPECT_EQ(uniform1f.count(), 0);
            EXPECT_EQ(uniform4f.count(), 0);

            program.unbind();
        }

        TEST_F(ShaderProgramGLTest, HeaderGoesOnItsOwnLineBeforeTheSource)
        {
            // Without the header line first, a 1.20 uniform initialiser does not compile.
            const char* fragment = "uniform vec4 tint = vec4(1.0); void main() { gl_FragColor = tint; }";
            ShaderProgram program;
            EXPECT_TRUE(program.loadString("void main() { gl_Position = ftransform(); }", fragment, "", "#version 120"))
                << program.getLastError();
        }

        // The compiler's reports of a deliberately broken source are expected.
        class ScopedQuietShaderCompiler
        {
        public:
            ScopedQuietShaderCompiler() { setReports(GL_FALSE); }
            ~ScopedQuietShaderCompiler() { setReports(GL_TRUE); }
            ScopedQuietShaderCompiler(const ScopedQuietShaderCompiler&) = delete;
            ScopedQuietShaderCompiler& operator=(const ScopedQuietShaderCompiler&) = delete;

        private:
            static void setReports(GLboolean enabled)
            {
                glDebugMessageControl(GL_DEBUG_SOURCE_SHADER_COMPILER, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, enabled);
            }
        };

        TEST_F(ShaderProgramGLTest, CompileAndLinkFailuresKeepTheLog)
        {
            ScopedQuietShaderCompiler quiet;
            test::LogRecorder log;
            ShaderProgram broken;
            EXPECT_FALSE(broken.loadString("void main() { gl_Position = ftransform(); }", "void main() { nonsense; }"));
            EXPECT_FALSE(broken.getLastError().empty());
            EXPECT_EQ(log.count(logError), 1u) << log.dump();
            EXPECT_FALSE(broken.bind());

            // The fragment stage reads a varying the vertex stage never writes.
            log.clear();
            ShaderProgram unlinked;
            EXPECT_FALSE(unlinked.loadString("void main() { gl_Position = ftransform(); }",
                                             "varying vec4 missing; void main() { gl_FragColor = missing; }"));
            EXPECT_FALSE(unlinked.getLastError().empty());
            EXPECT_TRUE(log.contains("link failed")) << log.dump();

            // A good load afterwards clears the error.
            ASSERT_TRUE(unlinked.loadString(passVertex, weightedFragment));
            EXPECT_TRUE(unlinked.getLastError().empty());
        }

        TEST_F(ShaderProgramGLTest, ReloadAndReleaseDeleteTheOldObjects)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(passVertex, weightedFragment));
            const GLuint first = program.getProgram();
            ASSERT_TRUE(program.loadString(passVertex, weightedFragment));
            EXPECT_TRUE(program.isValid());
            if (program.getProgram() != first)
            {
                EXPECT_FALSE(glIsProgram(first));
            }

            ASSERT_TRUE(program.bind());
            const GLuint second = program.getProgram();
            program.unbind();
            program.release();
            EXPECT_FALSE(program.isValid());
            EXPECT_FALSE(program.isBound());
            EXPECT_EQ(program.getUniformLocation("tint"), -1);
            EXPECT_FALSE(glIsProgram(second));
        }

        TEST_F(ShaderProgramGLTest, WithoutAContextTheNamesAreDroppedWithoutGLCalls)
        {
            auto program = std::make_unique<ShaderProgram>();
            ASSERT_TRUE(program->loadString(passVertex, weightedFragment));
            const GLuint name = program->getProgram();

            test::GLTestContext::release();
            {
                test::LogRecorder log;
                test::GLCallCounter<&epoxy_glDeleteProgram> programs("glDeleteProgram");
                test::GLCallCounter<&epoxy_glDeleteShader> shaders("glDeleteShader");
                program.reset();
                EXPECT_EQ(programs.count() + shaders.count(), 0) << "no GL call without a context";
                EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
            }
            ASSERT_TRUE(test::GLTestContext::makeCurrent());

            // The context still holds what was dropped; the test tidies up.
            EXPECT_TRUE(glIsProgram(name));
            glDeleteProgram(name);
        }

    } // namespace
} // namespace vx
