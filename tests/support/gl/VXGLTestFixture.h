#pragma once

// The shared headless GL context of a test binary and the fixture of every
// *GLTest.cpp suite.
//
// One surfaceless EGL context (compatibility profile, with a 128x128 pbuffer as
// its default framebuffer) is made on first use and kept for the life of the
// binary; it stands in for the host application's context. A synchronous GL
// debug callback turns every GL error into a test failure unless a
// ScopedExpectGLError names it.

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace vx::test
{

    // The binary's context. All calls are made on the test's main thread unless
    // the test moved the context to another thread (release, then makeCurrent
    // there, then release and makeCurrent back).
    class GLTestContext
    {
    public:
        // Makes the context on first use and makes it current on the calling
        // thread. Answers false (and says why on stderr) if no context can be made.
        static bool makeCurrent();
        // Makes nothing current on the calling thread (so another thread may take
        // the context).
        static void release();
        static bool isCurrent();

        static EGLDisplay getDisplay();
        static EGLContext getContext();
        static EGLSurface getSurface();
        static EGLConfig getConfig();

        static constexpr int defaultFramebufferSize = 128;
    };

    // Routes GL errors of the context current on the calling thread to the
    // running test as well (for contexts a test makes itself).
    void installDebugCallback();

    // Within its scope GL errors with the given code do not fail the test; on
    // leaving it, the test fails unless at least one was reported, and the GL
    // error flag is cleared.
    class ScopedExpectGLError
    {
    public:
        explicit ScopedExpectGLError(GLenum expectedError);
        ~ScopedExpectGLError();
        ScopedExpectGLError(const ScopedExpectGLError&) = delete;
        ScopedExpectGLError& operator=(const ScopedExpectGLError&) = delete;

        int getCount() const;

    private:
        GLenum error;
    };

    // Base of GL test fixtures: makes the context current before each test and,
    // after it, checks that the test left no GL error, the context current, and
    // the common state (bindings, enables, pixel store, viewport, clear and
    // current colour, matrix mode) at its defaults. A derived TearDown calls
    // GLTest::TearDown last.
    class GLTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
        void TearDown() override;
    };

    struct PixelRGBA8
    {
        uint8_t r = 0, g = 0, b = 0, a = 0;
        bool operator==(const PixelRGBA8&) const = default;
    };
    std::ostream& operator<<(std::ostream&, const PixelRGBA8&);

    // Read-back from the bound read framebuffer, as RGBA8, rows bottom-up.
    // Pixel pack state and pack-buffer binding are saved and restored.
    std::vector<PixelRGBA8> readPixels(int x, int y, int width, int height);
    PixelRGBA8 readPixel(int x, int y);

    // Whole level of a texture, as RGBA8 (GL converts), rows bottom-up. The
    // texture binding of the active unit is restored.
    std::vector<PixelRGBA8> readTexture(GLenum target, GLuint texture, int level = 0);

    // Rows y to y + rows - 1 of a 2D texture's first level, width wide, as
    // RGBA8, read through a framebuffer of its own: far less to copy than the
    // whole level where a band is all a test looks at. The read framebuffer
    // binding is restored.
    std::vector<PixelRGBA8> readTextureRows(GLuint texture, int y, int width, int rows);

    // One integer of GL state (glGetIntegerv).
    GLint getInteger(GLenum name);

    // True when every channel differs by at most `tolerance`.
    bool isNear(const PixelRGBA8& a, const PixelRGBA8& b, int tolerance);

    // Clears the bound draw framebuffer to one colour; the clear colour is
    // restored after.
    void clearTo(float r, float g, float b, float a);

    // A pixel pack buffer of the given size, as a host may leave bound: bound
    // while in scope, unbound and deleted after.
    class ScopedHostPackBuffer
    {
    public:
        explicit ScopedHostPackBuffer(GLsizeiptr bytes);
        ~ScopedHostPackBuffer();
        ScopedHostPackBuffer(const ScopedHostPackBuffer&) = delete;
        ScopedHostPackBuffer& operator=(const ScopedHostPackBuffer&) = delete;

        GLuint get() const { return buffer; }

    private:
        GLuint buffer = 0;
    };

    // A colour texture with a framebuffer over it, bound for drawing and reading
    // while in scope; previous framebuffer bindings and viewport come back after.
    class ScopedTestFramebuffer
    {
    public:
        ScopedTestFramebuffer(int width, int height);
        ~ScopedTestFramebuffer();
        ScopedTestFramebuffer(const ScopedTestFramebuffer&) = delete;
        ScopedTestFramebuffer& operator=(const ScopedTestFramebuffer&) = delete;

        GLuint getFramebuffer() const { return framebuffer; }
        GLuint getTexture() const { return texture; }

    private:
        GLuint framebuffer = 0, texture = 0;
        GLint previousDraw = 0, previousRead = 0;
        GLint previousViewport[4]{};
    };

    namespace detail
    {
        // Real entry point by name, bypassing libepoxy's dispatch pointer.
        void* getRealGLProc(const char* name);

        template <typename Fn>
        struct FunctionTraits;
        template <typename R, typename... Args>
        struct FunctionTraits<R (*)(Args...)>
        {
            using Result = R;
            template <typename Counter>
            static R hook(Args... args)
            {
                Counter::calls.fetch_add(1);
                return Counter::original(args...);
            }
        };
    }

    // Counts the calls of one GL entry point while in scope, by swapping
    // libepoxy's dispatch pointer for a counting forwarder to the real entry
    // point. One counter per entry point at a time.
    //   GLCallCounter<&epoxy_glBindTexture> binds ("glBindTexture");
    template <auto* DispatchPointer>
    class GLCallCounter
    {
    public:
        using Fn = std::remove_pointer_t<decltype(DispatchPointer)>;

        explicit GLCallCounter(const char* entryPointName)
        {
            saved = *DispatchPointer;
            original = reinterpret_cast<Fn>(detail::getRealGLProc(entryPointName));
            calls = 0;
            if (original != nullptr)
                *DispatchPointer = &detail::FunctionTraits<Fn>::template hook<GLCallCounter>;
            else
                ADD_FAILURE() << "no GL entry point " << entryPointName;
        }

        ~GLCallCounter() { *DispatchPointer = saved; }

        GLCallCounter(const GLCallCounter&) = delete;
        GLCallCounter& operator=(const GLCallCounter&) = delete;

        int count() const { return calls.load(); }
        void reset() { calls = 0; }

        static inline std::atomic<int> calls{0};
        static inline Fn original = nullptr;

    private:
        Fn saved = nullptr;
    };

} // namespace vx::test
