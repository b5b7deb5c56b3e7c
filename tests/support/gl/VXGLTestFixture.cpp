#include "support/gl/VXGLTestFixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <ostream>

namespace vx::test
{

    namespace
    {
        struct ContextState
        {
            EGLDisplay display = EGL_NO_DISPLAY;
            EGLConfig config = nullptr;
            EGLContext context = EGL_NO_CONTEXT;
            EGLSurface surface = EGL_NO_SURFACE;
            bool failed = false;
        };

        ContextState state;
        std::mutex creationLock;

        // Open expectations, innermost last; errors matching none fail the test.
        struct ExpectationRecord
        {
            GLenum error;
            int count;
        };
        thread_local std::vector<std::pair<ScopedExpectGLError*, ExpectationRecord>> expectationRecords;

        ExpectationRecord* findRecord(const ScopedExpectGLError* e)
        {
            for (auto& r : expectationRecords)
                if (r.first == e)
                    return &r.second;
            return nullptr;
        }

        bool isExpected(GLenum error)
        {
            for (auto it = expectationRecords.rbegin(); it != expectationRecords.rend(); ++it)
                if (it->second.error == error)
                {
                    ++it->second.count;
                    return true;
                }
            return false;
        }

        GLenum errorFromDebugId(GLuint id, const char* message)
        {
            // Mesa reports the GL error code as the message id.
            switch (id)
            {
                case GL_INVALID_ENUM:
                case GL_INVALID_VALUE:
                case GL_INVALID_OPERATION:
                case GL_STACK_OVERFLOW:
                case GL_STACK_UNDERFLOW:
                case GL_OUT_OF_MEMORY:
                case GL_INVALID_FRAMEBUFFER_OPERATION:
                    return id;
                default:
                    break;
            }
            const std::string text = message != nullptr ? message : "";
            static const std::pair<const char*, GLenum> names[] = {
                {"GL_INVALID_ENUM", GL_INVALID_ENUM},
                {"GL_INVALID_VALUE", GL_INVALID_VALUE},
                {"GL_INVALID_OPERATION", GL_INVALID_OPERATION},
                {"GL_STACK_OVERFLOW", GL_STACK_OVERFLOW},
                {"GL_STACK_UNDERFLOW", GL_STACK_UNDERFLOW},
                {"GL_OUT_OF_MEMORY", GL_OUT_OF_MEMORY},
                {"GL_INVALID_FRAMEBUFFER_OPERATION", GL_INVALID_FRAMEBUFFER_OPERATION}};
            for (auto& [name, code] : names)
                if (text.find(name) != std::string::npos)
                    return code;
            return GL_NO_ERROR;
        }

        void GLAPIENTRY debugCallback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei,
                                      const GLchar* message, const void*)
        {
            // Only errors of GL calls: a shader that fails to compile is reported
            // too, but the code under test reads that from the compile status.
            if (type != GL_DEBUG_TYPE_ERROR || source != GL_DEBUG_SOURCE_API)
                return;
            const GLenum error = errorFromDebugId(id, message);
            if (error != GL_NO_ERROR && isExpected(error))
                return;
            ADD_FAILURE() << "unexpected GL error (severity 0x" << std::hex << severity << "): " << message;
        }

        void fail(const char* what)
        {
            std::fprintf(stderr, "headless GL context: %s failed (EGL error 0x%x)\n", what, eglGetError());
            state.failed = true;
        }

        bool createContext()
        {
            state.display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            if (state.display == EGL_NO_DISPLAY)
            {
                fail("eglGetPlatformDisplayEXT(surfaceless)");
                return false;
            }

            EGLint major = 0, minor = 0;
            if (! eglInitialize(state.display, &major, &minor))
            {
                fail("eglInitialize");
                return false;
            }
            if (! eglBindAPI(EGL_OPENGL_API))
            {
                fail("eglBindAPI(OpenGL)");
                return false;
            }

            const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                               EGL_PBUFFER_BIT,
                                               EGL_RENDERABLE_TYPE,
                                               EGL_OPENGL_BIT,
                                               EGL_RED_SIZE,
                                               8,
                                               EGL_GREEN_SIZE,
                                               8,
                                               EGL_BLUE_SIZE,
                                               8,
                                               EGL_ALPHA_SIZE,
                                               8,
                                               EGL_DEPTH_SIZE,
                                               24,
                                               EGL_STENCIL_SIZE,
                                               8,
                                               EGL_NONE};
            EGLint configCount = 0;
            if (! eglChooseConfig(state.display, configAttributes, &state.config, 1, &configCount) || configCount < 1)
            {
                fail("eglChooseConfig(RGBA8, depth 24, stencil 8, pbuffer)");
                return false;
            }

            const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                                EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_CONTEXT_OPENGL_DEBUG,
                                                EGL_TRUE, EGL_NONE};
            state.context = eglCreateContext(state.display, state.config, EGL_NO_CONTEXT, contextAttributes);
            if (state.context == EGL_NO_CONTEXT)
            {
                fail("eglCreateContext(compatibility, debug)");
                return false;
            }

            const EGLint surfaceAttributes[] = {EGL_WIDTH, GLTestContext::defaultFramebufferSize, EGL_HEIGHT,
                                                GLTestContext::defaultFramebufferSize, EGL_NONE};
            state.surface = eglCreatePbufferSurface(state.display, state.config, surfaceAttributes);
            if (state.surface == EGL_NO_SURFACE)
            {
                fail("eglCreatePbufferSurface");
                return false;
            }

            if (! eglMakeCurrent(state.display, state.surface, state.surface, state.context))
            {
                fail("eglMakeCurrent");
                return false;
            }

            installDebugCallback();
            glViewport(0, 0, GLTestContext::defaultFramebufferSize, GLTestContext::defaultFramebufferSize);
            return true;
        }

        // Drops the context after the last test, before static destruction.
        class ContextEnvironment : public ::testing::Environment
        {
        public:
            void TearDown() override
            {
                if (state.context == EGL_NO_CONTEXT)
                    return;
                eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
                eglDestroySurface(state.display, state.surface);
                eglDestroyContext(state.display, state.context);
                state.context = EGL_NO_CONTEXT;
                state.surface = EGL_NO_SURFACE;
                eglReleaseThread();
            }
        };

        [[maybe_unused]] ::testing::Environment* const environment =
            ::testing::AddGlobalTestEnvironment(new ContextEnvironment());

        // State a test must leave as it found it.
        struct StateQuery
        {
            GLenum name;
            int count;
            const char* label;
        };
        const StateQuery checkedQueries[] = {
            {GL_ACTIVE_TEXTURE, 1, "GL_ACTIVE_TEXTURE"},
            {GL_TEXTURE_BINDING_2D, 1, "GL_TEXTURE_BINDING_2D"},
            {GL_TEXTURE_BINDING_RECTANGLE, 1, "GL_TEXTURE_BINDING_RECTANGLE"},
            {GL_DRAW_FRAMEBUFFER_BINDING, 1, "GL_DRAW_FRAMEBUFFER_BINDING"},
            {GL_READ_FRAMEBUFFER_BINDING, 1, "GL_READ_FRAMEBUFFER_BINDING"},
            {GL_RENDERBUFFER_BINDING, 1, "GL_RENDERBUFFER_BINDING"},
            {GL_ARRAY_BUFFER_BINDING, 1, "GL_ARRAY_BUFFER_BINDING"},
            {GL_ELEMENT_ARRAY_BUFFER_BINDING, 1, "GL_ELEMENT_ARRAY_BUFFER_BINDING"},
            {GL_PIXEL_PACK_BUFFER_BINDING, 1, "GL_PIXEL_PACK_BUFFER_BINDING"},
            {GL_PIXEL_UNPACK_BUFFER_BINDING, 1, "GL_PIXEL_UNPACK_BUFFER_BINDING"},
            {GL_CURRENT_PROGRAM, 1, "GL_CURRENT_PROGRAM"},
            {GL_PACK_ALIGNMENT, 1, "GL_PACK_ALIGNMENT"},
            {GL_UNPACK_ALIGNMENT, 1, "GL_UNPACK_ALIGNMENT"},
            {GL_UNPACK_ROW_LENGTH, 1, "GL_UNPACK_ROW_LENGTH"},
            {GL_PACK_ROW_LENGTH, 1, "GL_PACK_ROW_LENGTH"},
            {GL_VIEWPORT, 4, "GL_VIEWPORT"},
            {GL_COLOR_CLEAR_VALUE, 4, "GL_COLOR_CLEAR_VALUE"},
            {GL_MATRIX_MODE, 1, "GL_MATRIX_MODE"},
            {GL_MODELVIEW_STACK_DEPTH, 1, "GL_MODELVIEW_STACK_DEPTH"},
            {GL_PROJECTION_STACK_DEPTH, 1, "GL_PROJECTION_STACK_DEPTH"},
            {GL_ATTRIB_STACK_DEPTH, 1, "GL_ATTRIB_STACK_DEPTH"},
            {GL_BLEND, 1, "GL_BLEND"},
            {GL_DEPTH_TEST, 1, "GL_DEPTH_TEST"},
            {GL_SCISSOR_TEST, 1, "GL_SCISSOR_TEST"},
            {GL_TEXTURE_2D, 1, "GL_TEXTURE_2D enabled"},
            {GL_CURRENT_COLOR, 4, "GL_CURRENT_COLOR (x 255)"},
        };

        using StateSnapshot = std::vector<std::array<GLint, 4>>;
        StateSnapshot defaults;

        StateSnapshot takeSnapshot()
        {
            StateSnapshot snapshot;
            for (auto& q : checkedQueries)
            {
                std::array<GLint, 4> v{};
                if (q.name == GL_BLEND || q.name == GL_DEPTH_TEST || q.name == GL_SCISSOR_TEST ||
                    q.name == GL_TEXTURE_2D)
                    v[0] = glIsEnabled(q.name);
                else if (q.name == GL_CURRENT_COLOR)
                {
                    // In 8-bit steps: readable in the failure line, and what a
                    // colour left behind changes on screen.
                    GLfloat colour[4] = {};
                    glGetFloatv(q.name, colour);
                    for (int c = 0; c < 4; ++c)
                        v[size_t(c)] = GLint(std::lround(colour[c] * 255.0f));
                }
                else
                    glGetIntegerv(q.name, v.data());
                snapshot.push_back(v);
            }
            return snapshot;
        }

        void restoreDefaults()
        {
            while (glGetError() != GL_NO_ERROR)
            {
            }
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, 0);
            glBindTexture(GL_TEXTURE_RECTANGLE, 0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
            glUseProgram(0);
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            glPixelStorei(GL_PACK_ROW_LENGTH, 0);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glViewport(0, 0, GLTestContext::defaultFramebufferSize, GLTestContext::defaultFramebufferSize);
            GLint depth = 0;
            glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
            for (; depth > 0; --depth)
                glPopAttrib();
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION})
            {
                glMatrixMode(mode);
                glGetIntegerv(mode == GL_MODELVIEW ? GL_MODELVIEW_STACK_DEPTH : GL_PROJECTION_STACK_DEPTH, &depth);
                for (; depth > 1; --depth)
                    glPopMatrix();
                glLoadIdentity();
            }
            glMatrixMode(GL_MODELVIEW);
            glDisable(GL_BLEND);
            glDisable(GL_DEPTH_TEST);
            glDisable(GL_SCISSOR_TEST);
            glDisable(GL_TEXTURE_2D);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }
    }

    //==============================================================================
    void installDebugCallback()
    {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(debugCallback, nullptr);
        glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);
    }

    //==============================================================================
    bool GLTestContext::makeCurrent()
    {
        std::lock_guard<std::mutex> lock(creationLock);
        if (state.failed)
            return false;
        if (state.context == EGL_NO_CONTEXT)
        {
            if (! createContext())
                return false;
            defaults = takeSnapshot();
            return true;
        }
        if (eglGetCurrentContext() == state.context)
            return true;
        if (! eglMakeCurrent(state.display, state.surface, state.surface, state.context))
        {
            std::fprintf(stderr, "headless GL context: eglMakeCurrent failed (EGL error 0x%x)\n", eglGetError());
            return false;
        }
        return true;
    }

    void GLTestContext::release()
    {
        if (state.display != EGL_NO_DISPLAY)
            eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }

    bool GLTestContext::isCurrent()
    {
        return state.context != EGL_NO_CONTEXT && eglGetCurrentContext() == state.context;
    }

    EGLDisplay GLTestContext::getDisplay()
    {
        return state.display;
    }
    EGLContext GLTestContext::getContext()
    {
        return state.context;
    }
    EGLSurface GLTestContext::getSurface()
    {
        return state.surface;
    }
    EGLConfig GLTestContext::getConfig()
    {
        return state.config;
    }

    //==============================================================================
    ScopedExpectGLError::ScopedExpectGLError(GLenum expectedError) : error(expectedError)
    {
        expectationRecords.push_back({this, {expectedError, 0}});
    }

    ScopedExpectGLError::~ScopedExpectGLError()
    {
        const int count = getCount();
        EXPECT_GT(count, 0) << "expected GL error 0x" << std::hex << error << " was not raised";
        if (eglGetCurrentContext() != EGL_NO_CONTEXT)
            while (glGetError() != GL_NO_ERROR)
            {
            }
        if (! expectationRecords.empty() && expectationRecords.back().first == this)
            expectationRecords.pop_back();
    }

    int ScopedExpectGLError::getCount() const
    {
        auto* record = findRecord(this);
        return record != nullptr ? record->count : 0;
    }

    //==============================================================================
    void GLTest::SetUp()
    {
        ASSERT_TRUE(GLTestContext::makeCurrent()) << "no headless GL context";
    }

    void GLTest::TearDown()
    {
        if (state.context == EGL_NO_CONTEXT)
            return;
        if (! GLTestContext::isCurrent())
        {
            ADD_FAILURE() << "the test left the shared GL context not current";
            if (! GLTestContext::makeCurrent())
                return;
        }

        bool restored = true;
        for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        {
            ADD_FAILURE() << "GL error 0x" << std::hex << error << " left pending";
            restored = false;
        }

        const StateSnapshot now = takeSnapshot();
        for (size_t i = 0; i < now.size(); ++i)
            for (int c = 0; c < checkedQueries[i].count; ++c)
                if (now[i][c] != defaults[i][c])
                {
                    ADD_FAILURE() << checkedQueries[i].label << "[" << c << "] left at " << now[i][c] << ", was "
                                  << defaults[i][c];
                    restored = false;
                }
        if (! restored)
            restoreDefaults();
    }

    //==============================================================================
    std::ostream& operator<<(std::ostream& out, const PixelRGBA8& p)
    {
        return out << "(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
    }

    namespace
    {
        // Pack state as the read-back helpers need it, restored on leaving.
        struct ScopedPackState
        {
            GLint alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0, packBuffer = 0;
            ScopedPackState()
            {
                glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
                glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
                glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows);
                glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels);
                glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glPixelStorei(GL_PACK_ROW_LENGTH, 0);
                glPixelStorei(GL_PACK_SKIP_ROWS, 0);
                glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
                glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            }
            ~ScopedPackState()
            {
                glPixelStorei(GL_PACK_ALIGNMENT, alignment);
                glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
                glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
                glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);
                glBindBuffer(GL_PIXEL_PACK_BUFFER, (GLuint)packBuffer);
            }
        };

        GLenum bindingQueryFor(GLenum target)
        {
            switch (target)
            {
                case GL_TEXTURE_RECTANGLE:
                    return GL_TEXTURE_BINDING_RECTANGLE;
                case GL_TEXTURE_1D:
                    return GL_TEXTURE_BINDING_1D;
                case GL_TEXTURE_3D:
                    return GL_TEXTURE_BINDING_3D;
                default:
                    return GL_TEXTURE_BINDING_2D;
            }
        }
    }

    std::vector<PixelRGBA8> readPixels(int x, int y, int width, int height)
    {
        std::vector<PixelRGBA8> pixels;
        if (width <= 0 || height <= 0)
            return pixels;
        pixels.resize((size_t)width * (size_t)height);
        ScopedPackState pack;
        glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    PixelRGBA8 readPixel(int x, int y)
    {
        return readPixels(x, y, 1, 1).at(0);
    }

    GLint getInteger(GLenum name)
    {
        GLint value = 0;
        glGetIntegerv(name, &value);
        return value;
    }

    std::vector<PixelRGBA8> readTexture(GLenum target, GLuint texture, int level)
    {
        GLint previous = 0;
        glGetIntegerv(bindingQueryFor(target), &previous);
        glBindTexture(target, texture);
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &height);
        std::vector<PixelRGBA8> pixels((size_t)std::max(width, 0) * (size_t)std::max(height, 0));
        if (! pixels.empty())
        {
            ScopedPackState pack;
            glGetTexImage(target, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        }
        glBindTexture(target, (GLuint)previous);
        return pixels;
    }

    std::vector<PixelRGBA8> readTextureRows(GLuint texture, int y, int width, int rows)
    {
        GLint previous = 0;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        std::vector<PixelRGBA8> pixels = readPixels(0, y, width, rows);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)previous);
        glDeleteFramebuffers(1, &framebuffer);
        return pixels;
    }

    bool isNear(const PixelRGBA8& a, const PixelRGBA8& b, int tolerance)
    {
        auto near = [tolerance](uint8_t x, uint8_t y) { return std::abs(int(x) - int(y)) <= tolerance; };
        return near(a.r, b.r) && near(a.g, b.g) && near(a.b, b.b) && near(a.a, b.a);
    }

    void clearTo(float r, float g, float b, float a)
    {
        GLfloat previous[4] = {};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, previous);
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(previous[0], previous[1], previous[2], previous[3]);
    }

    ScopedHostPackBuffer::ScopedHostPackBuffer(GLsizeiptr bytes)
    {
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
    }

    ScopedHostPackBuffer::~ScopedHostPackBuffer()
    {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        glDeleteBuffers(1, &buffer);
    }

    //==============================================================================
    ScopedTestFramebuffer::ScopedTestFramebuffer(int width, int height)
    {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousDraw);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
        glGetIntegerv(GL_VIEWPORT, previousViewport);

        GLint previousTexture = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, (GLuint)previousTexture);

        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
        glViewport(0, 0, width, height);
    }

    ScopedTestFramebuffer::~ScopedTestFramebuffer()
    {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, (GLuint)previousDraw);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)previousRead);
        glViewport(previousViewport[0], previousViewport[1], previousViewport[2], previousViewport[3]);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    }

    //==============================================================================
    void* detail::getRealGLProc(const char* name)
    {
        return reinterpret_cast<void*>(eglGetProcAddress(name));
    }

} // namespace vx::test
