#include "engine/gfx/VXShaderProgram.h"

#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

namespace vx
{
    namespace
    {

        // Shader files live in a temporary folder that stands in as the default
        // shader path, so includes by bare name resolve there.
        class ShaderPreprocessor : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                savedPath = ShaderProgram::defaultPath;
                ShaderProgram::defaultPath = dir.path();
            }
            void TearDown() override { ShaderProgram::defaultPath = savedPath; }

            std::string preprocess(const std::string& name, bool expectSuccess = true)
            {
                std::string out = "stale";
                EXPECT_EQ(ShaderProgram::createShaderString(out, File(dir.file(name))), expectSuccess) << name;
                return out;
            }

            test::TempDir dir;
            std::string savedPath;
        };

        TEST_F(ShaderPreprocessor, IncludeReplacesTheDirectiveAndKeepsNewlines)
        {
            dir.writeFile("b.glsl", "B\n");
            dir.writeFile("a.glsl", "x\n#include \"b.glsl\"\ny");
            EXPECT_EQ(preprocess("a.glsl"), "x\nB\n\ny");

            dir.writeFile("plain.glsl", "void main() {}\n");
            EXPECT_EQ(preprocess("plain.glsl"), "void main() {}\n");
        }

        TEST_F(ShaderPreprocessor, NestedIncludesAndTheDefaultPath)
        {
            dir.writeFile("inner.glsl", "inner");
            dir.writeFile("middle.glsl", "m1\n#include \"inner.glsl\"\nm2\n");
            dir.writeFile("outer.glsl", "#include \"middle.glsl\"\n#include \"inner.glsl\"\nend");
            EXPECT_EQ(preprocess("outer.glsl"), "m1\ninner\nm2\n\ninner\nend");

            // A name that does not open as given is looked up in the default path.
            std::string out;
            EXPECT_TRUE(ShaderProgram::createShaderString(out, File("no/such/folder/inner.glsl")));
            EXPECT_EQ(out, "inner");
        }

        TEST_F(ShaderPreprocessor, CommentedDirectiveIsCopiedUnchanged)
        {
            dir.writeFile("b.glsl", "B\n");
            dir.writeFile("a.glsl", "x\n// #include \"missing.glsl\"\n#include \"b.glsl\"\ny");
            test::LogRecorder log;
            EXPECT_EQ(preprocess("a.glsl"), "x\n// #include \"missing.glsl\"\nB\n\ny");
            EXPECT_TRUE(log.contains("createShaderString: Found comment.")) << log.dump();
            EXPECT_EQ(log.count(logError), 0u);
        }

        TEST_F(ShaderPreprocessor, SelfInclusionIsCappedAndFails)
        {
            dir.writeFile("self.glsl", "a\n#include \"self.glsl\"\nb\n");
            dir.writeFile("ping.glsl", "#include \"pong.glsl\"\n");
            dir.writeFile("pong.glsl", "#include \"ping.glsl\"\n");

            test::LogRecorder log;
            preprocess("self.glsl", false);
            EXPECT_TRUE(log.contains("createShaderString: Includes nested deeper than")) << log.dump();

            log.clear();
            preprocess("ping.glsl", false);
            EXPECT_EQ(log.count(logError), 1u) << log.dump();
        }

        struct MalformedCase
        {
            const char* name;
            const char* text;
            const char* message;
        };

        class ShaderPreprocessorMalformed : public ShaderPreprocessor,
                                            public ::testing::WithParamInterface<MalformedCase>
        {
        };

        TEST_P(ShaderPreprocessorMalformed, FailsWithItsMessage)
        {
            dir.writeFile("bad.glsl", GetParam().text);
            test::LogRecorder log;
            preprocess("bad.glsl", false);
            EXPECT_TRUE(log.contains(GetParam().message)) << log.dump();
            EXPECT_EQ(log.count(logError), 1u) << log.dump();
        }

        INSTANTIATE_TEST_SUITE_P(
            Directives, ShaderPreprocessorMalformed,
            ::testing::Values(MalformedCase{"NoQuotes", "#include b.glsl\nvoid main() {}\n",
                                            "createShaderString: Preprocessor error expected \" after #include 'n."},
                              MalformedCase{"QuoteOnALaterLine", "#include b.glsl\nx = \"y\";\n",
                                            "createShaderString: Preprocessor error expected \" after #include 'n."},
                              MalformedCase{"UnclosedQuote", "#include \"b.glsl\n",
                                            "createShaderString: Preprocessor error expected \"."},
                              MalformedCase{"NoNewLine", "#include \"b.glsl\"",
                                            "createShaderString: Preprocessor error expected new line."},
                              MalformedCase{"MissingFile", "#include \"missing.glsl\"\n",
                                            "createShaderString: Could not open file missing.glsl."}),
            [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

        TEST_F(ShaderPreprocessor, HeaderHoldsEachPreprocessedSourceAsAConstant)
        {
            dir.writeFile("common.glsl", "uniform vec4 Color;\n");
            const std::string vertex = dir.writeFile("flat.vert", "void main() { gl_Position = ftransform(); }\n");
            const std::string fragment = dir.writeFile(
                "flat.frag", "#include \"common.glsl\"\nvoid main() { gl_FragColor = Color; } // \"q\"\n");
            const std::string header = dir.file("flat.h");

            ASSERT_TRUE(ShaderProgram::createHeader(vertex.c_str(), fragment.c_str(), nullptr, header.c_str(), true));
            EXPECT_EQ(dir.readFile("flat.h"),
                      "#pragma once\n\n\n"
                      "const char * flatVert = \"void main() { gl_Position = ftransform(); }\\n\"\n"
                      "\"//end\";\n\n\n"
                      "const char * flatFrag = \"uniform vec4 Color;\\n\"\n"
                      "\"\\n\"\n"
                      "\"void main() { gl_FragColor = Color; } // \\\"q\\\"\\n\"\n"
                      "\"//end\";\n\n\n");

            ASSERT_TRUE(ShaderProgram::createHeader(vertex.c_str(), nullptr, nullptr, header.c_str(), false));
            EXPECT_NE(dir.readFile("flat.h").find("const char * flat = "), std::string::npos);

            test::LogRecorder log;
            EXPECT_FALSE(
                ShaderProgram::createHeader(vertex.c_str(), nullptr, nullptr, dir.file("no/dir/x.h").c_str(), false));
            EXPECT_EQ(log.count(logError), 1u);
        }

    } // namespace
} // namespace vx
