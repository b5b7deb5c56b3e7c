#pragma once

// Counts the GL calls made while a trace is in scope, per entry point, by
// swapping libepoxy's dispatch pointers for counting forwarders to the real
// entry points (as the GL test fixture's call counter does for one). The list
// holds every entry point the engine library calls (the dynamic symbols of
// the benchmark binary); one added later and not listed is not seen. Counts
// do not vary with the machine's load, so benchmarks report them beside their
// times. Render thread only; one trace at a time.

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#define VX_TRACED_GL_CALLS(X)                                                                                          \
    X(ActiveTexture)                                                                                                   \
    X(AttachShader)                                                                                                    \
    X(Begin)                                                                                                           \
    X(BindAttribLocation)                                                                                              \
    X(BindBuffer)                                                                                                      \
    X(BindFramebuffer)                                                                                                 \
    X(BindRenderbuffer)                                                                                                \
    X(BindTexture)                                                                                                     \
    X(BlendFunc)                                                                                                       \
    X(BufferData)                                                                                                      \
    X(BufferSubData)                                                                                                   \
    X(CheckFramebufferStatus)                                                                                          \
    X(Clear)                                                                                                           \
    X(ClearColor)                                                                                                      \
    X(ClearDepth)                                                                                                      \
    X(ClearStencil)                                                                                                    \
    X(ClientActiveTexture)                                                                                             \
    X(Color3fv)                                                                                                        \
    X(Color4f)                                                                                                         \
    X(Color4fv)                                                                                                        \
    X(ColorMask)                                                                                                       \
    X(CompileShader)                                                                                                   \
    X(CompressedTexImage2D)                                                                                            \
    X(CompressedTexSubImage2D)                                                                                         \
    X(CopyTexSubImage2D)                                                                                               \
    X(CreateProgram)                                                                                                   \
    X(CreateShader)                                                                                                    \
    X(CullFace)                                                                                                        \
    X(DeleteBuffers)                                                                                                   \
    X(DeleteFramebuffers)                                                                                              \
    X(DeleteProgram)                                                                                                   \
    X(DeleteRenderbuffers)                                                                                             \
    X(DeleteShader)                                                                                                    \
    X(DeleteTextures)                                                                                                  \
    X(DepthFunc)                                                                                                       \
    X(DepthMask)                                                                                                       \
    X(Disable)                                                                                                         \
    X(DisableClientState)                                                                                              \
    X(DisableVertexAttribArray)                                                                                        \
    X(DrawArrays)                                                                                                      \
    X(DrawBuffer)                                                                                                      \
    X(DrawBuffers)                                                                                                     \
    X(Enable)                                                                                                          \
    X(EnableClientState)                                                                                               \
    X(EnableVertexAttribArray)                                                                                         \
    X(End)                                                                                                             \
    X(Finish)                                                                                                          \
    X(Flush)                                                                                                           \
    X(FramebufferRenderbuffer)                                                                                         \
    X(FramebufferTexture2D)                                                                                            \
    X(FrontFace)                                                                                                       \
    X(Frustum)                                                                                                         \
    X(GenBuffers)                                                                                                      \
    X(GenFramebuffers)                                                                                                 \
    X(GenRenderbuffers)                                                                                                \
    X(GenTextures)                                                                                                     \
    X(GetActiveUniform)                                                                                                \
    X(GetBufferParameteriv)                                                                                            \
    X(GetCompressedTexImage)                                                                                           \
    X(GetFloatv)                                                                                                       \
    X(GetIntegerv)                                                                                                     \
    X(GetProgramInfoLog)                                                                                               \
    X(GetProgramiv)                                                                                                    \
    X(GetShaderInfoLog)                                                                                                \
    X(GetShaderiv)                                                                                                     \
    X(GetString)                                                                                                       \
    X(GetTexImage)                                                                                                     \
    X(GetTexLevelParameteriv)                                                                                          \
    X(GetUniformLocation)                                                                                              \
    X(Hint)                                                                                                            \
    X(IsEnabled)                                                                                                       \
    X(LineWidth)                                                                                                       \
    X(LinkProgram)                                                                                                     \
    X(LoadIdentity)                                                                                                    \
    X(MapBuffer)                                                                                                       \
    X(MatrixMode)                                                                                                      \
    X(MultMatrixf)                                                                                                     \
    X(MultiTexCoord2f)                                                                                                 \
    X(MultiTexCoord2fv)                                                                                                \
    X(Normal3f)                                                                                                        \
    X(Normal3fv)                                                                                                       \
    X(Ortho)                                                                                                           \
    X(PixelStorei)                                                                                                     \
    X(PointSize)                                                                                                       \
    X(PolygonMode)                                                                                                     \
    X(PopAttrib)                                                                                                       \
    X(PopClientAttrib)                                                                                                 \
    X(PopMatrix)                                                                                                       \
    X(ProgramParameteri)                                                                                               \
    X(PushAttrib)                                                                                                      \
    X(PushClientAttrib)                                                                                                \
    X(PushMatrix)                                                                                                      \
    X(ReadBuffer)                                                                                                      \
    X(ReadPixels)                                                                                                      \
    X(RenderbufferStorage)                                                                                             \
    X(Rotatef)                                                                                                         \
    X(Scalef)                                                                                                          \
    X(Scissor)                                                                                                         \
    X(ShaderSource)                                                                                                    \
    X(StencilFunc)                                                                                                     \
    X(StencilMask)                                                                                                     \
    X(StencilOp)                                                                                                       \
    X(StencilOpSeparate)                                                                                               \
    X(TexCoordPointer)                                                                                                 \
    X(TexEnvi)                                                                                                         \
    X(TexImage2D)                                                                                                      \
    X(TexParameteri)                                                                                                   \
    X(TexSubImage2D)                                                                                                   \
    X(Translatef)                                                                                                      \
    X(Uniform1f)                                                                                                       \
    X(Uniform1fv)                                                                                                      \
    X(Uniform1i)                                                                                                       \
    X(Uniform2f)                                                                                                       \
    X(Uniform3f)                                                                                                       \
    X(Uniform3fv)                                                                                                      \
    X(Uniform4f)                                                                                                       \
    X(Uniform4fv)                                                                                                      \
    X(UniformMatrix4fv)                                                                                                \
    X(UnmapBuffer)                                                                                                     \
    X(UseProgram)                                                                                                      \
    X(Vertex2f)                                                                                                        \
    X(Vertex2fv)                                                                                                       \
    X(Vertex3f)                                                                                                        \
    X(Vertex3fv)                                                                                                       \
    X(VertexAttribPointer)                                                                                             \
    X(VertexPointer)                                                                                                   \
    X(Viewport)

namespace vx::bench
{
    class GLCallTrace
    {
    public:
        // With keepOrder the calls are also kept in order, for print.
        explicit GLCallTrace(bool keepOrder = false)
        {
            counts.fill(0);
            sequence.clear();
            keepSequence = keepOrder;
#define VX_INSTALL_GL_HOOK(name) Entry<&epoxy_gl##name, index##name>::install("gl" #name);
            VX_TRACED_GL_CALLS(VX_INSTALL_GL_HOOK)
#undef VX_INSTALL_GL_HOOK
        }

        ~GLCallTrace()
        {
            keepSequence = false;
#define VX_REMOVE_GL_HOOK(name) Entry<&epoxy_gl##name, index##name>::remove();
            VX_TRACED_GL_CALLS(VX_REMOVE_GL_HOOK)
#undef VX_REMOVE_GL_HOOK
        }

        GLCallTrace(const GLCallTrace&) = delete;
        GLCallTrace& operator=(const GLCallTrace&) = delete;

        // Calls of every listed entry point since the trace began.
        static long total()
        {
            long sum = 0;
            for (long c : counts)
                sum += c;
            return sum;
        }

        // State queries: the calls that wait for the driver to catch up where
        // it runs GL on a thread of its own.
        static long queries()
        {
            return countOf("glGet") + countOf("glIsEnabled") + countOf("glCheckFramebuffer");
        }

        // Calls of the entry points whose names start with the prefix (a whole
        // name counts that one).
        static long countOf(const char* prefix)
        {
            long sum = 0;
            for (size_t i = 0; i < numEntries; ++i)
                if (std::strncmp(names[i], prefix, std::strlen(prefix)) == 0)
                    sum += counts[i];
            return sum;
        }

        // The calls in order (when kept), then the count of each entry point,
        // on stderr.
        static void print(const char* title)
        {
            std::fprintf(stderr, "GL calls of %s (%ld):\n", title, total());
            for (int index : sequence)
                std::fprintf(stderr, "  %s\n", names[index]);
            std::vector<std::pair<long, const char*>> byCount;
            for (size_t i = 0; i < numEntries; ++i)
                if (counts[i] > 0)
                    byCount.emplace_back(counts[i], names[i]);
            std::sort(byCount.rbegin(), byCount.rend());
            for (const auto& [count, name] : byCount)
                std::fprintf(stderr, "  %6ld %s\n", count, name);
        }

    private:
        enum Index
        {
#define VX_GL_INDEX(name) index##name,
            VX_TRACED_GL_CALLS(VX_GL_INDEX)
#undef VX_GL_INDEX
            numEntries
        };

        static inline const char* const names[numEntries] = {
#define VX_GL_NAME(name) "gl" #name,
            VX_TRACED_GL_CALLS(VX_GL_NAME)
#undef VX_GL_NAME
        };

        static inline std::array<long, numEntries> counts{};
        static inline std::vector<int> sequence;
        static inline bool keepSequence = false;

        static void record(int index)
        {
            ++counts[size_t(index)];
            if (keepSequence)
                sequence.push_back(index);
        }

        template <auto* DispatchPointer, int IndexOfEntry>
        struct Entry
        {
            using Fn = std::remove_pointer_t<decltype(DispatchPointer)>;

            static void install(const char* name)
            {
                saved = *DispatchPointer;
                real = reinterpret_cast<Fn>(eglGetProcAddress(name));
                if (real != nullptr)
                    *DispatchPointer = forwarder(real);
            }
            static void remove()
            {
                if (real != nullptr)
                    *DispatchPointer = saved;
            }

            template <typename R, typename... Args>
            static auto forwarder(R (*)(Args...)) -> R (*)(Args...)
            {
                return [](Args... args) -> R
                {
                    record(IndexOfEntry);
                    return real(args...);
                };
            }

            static inline Fn real = nullptr;
            static inline Fn saved = nullptr;
        };
    };
}
