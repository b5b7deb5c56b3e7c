// vxffglhost: a headless FFGL host. Loads an FFGL module, renders it over a
// picture on a surfaceless EGL context for a number of real-time-paced
// frames and writes every k-th frame as PNG. After each frame it checks that
// the plugin gave back the GL state the host handed over.

#include "VXHostContext.h"
#include "VXHostGLState.h"
#include "VXPluginModule.h"
#include "VXTestPicture.h"

#include "core/VXFile.h"
#include "engine/video/formats/VXImageUtils.h"

#include <epoxy/gl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
    struct Setting
    {
        std::string name;
        std::string value;
        bool normalised = false;
    };

    struct Options
    {
        std::string pluginPath;
        std::string inputPath;
        std::string outputDir = "frames";
        int width = 1280;
        int height = 720;
        double seconds = 5.0;
        double fps = 60.0;
        int every = 30;
        std::vector<Setting> settings;
    };

    void printUsage(const char* program)
    {
        std::printf("usage: %s [options] [INPUT.png]\n"
                    "Renders an FFGL module over INPUT (or a built-in skyline) and writes PNG frames.\n"
                    "  --plugin PATH             the module (default: the Kelvo bundle of this build or install)\n"
                    "  --size WxH                output size (default 1280x720)\n"
                    "  --seconds S               length of the render (default 5, at most 1e9)\n"
                    "  --fps F                   frames per second, paced in real time (default 60);\n"
                    "                            S times F frames, at most 2147483647\n"
                    "  --every K                 write every K-th frame (default 30)\n"
                    "  --out DIR                 folder for the frames (default frames); frames of an\n"
                    "                            earlier run there are removed when the first frame\n"
                    "                            is written\n"
                    "  --set NAME=VALUE          a parameter in its own units (on/off for switches),\n"
                    "                            set where the plugin's display text shows VALUE\n"
                    "  --set-normalised NAME=V   a parameter as FFGL exchanges it, 0 to 1\n"
                    "  --help                    this text\n",
                    program);
    }

    std::string defaultPluginPath()
    {
        std::error_code error;
        const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error)
            return "Kelvo.bundle/Contents/MacOS/Kelvo";
        // The host is built into <build>/tools, the module into <build>; an
        // installed host is in <prefix>/bin, the module in the plugin folder
        // (relative to the prefix unless absolute).
        const std::filesystem::path above = executable.parent_path().parent_path();
        const std::filesystem::path module = std::filesystem::path("Kelvo.bundle") / "Contents" / "MacOS" / "Kelvo";
        const std::filesystem::path built = above / module;
#ifdef VX_INSTALLED_PLUGIN_DIR
        if (! std::filesystem::exists(built, error))
            return (above / VX_INSTALLED_PLUGIN_DIR / module).string();
#endif
        return built.string();
    }

    bool parsePositive(const char* text, double& value)
    {
        char* end = nullptr;
        value = std::strtod(text, &end);
        return end != text && *end == '\0' && std::isfinite(value) && value > 0.0;
    }

    bool parseSize(const char* text, int& width, int& height)
    {
        int consumed = 0;
        if (std::sscanf(text, "%dx%d%n", &width, &height, &consumed) != 2 || text[consumed] != '\0')
            return false;
        return width > 0 && height > 0 && width <= 16384 && height <= 16384;
    }

    // The frame counter's limit, and the longest render the clock waits through.
    constexpr int maxFrames = std::numeric_limits<int>::max();
    constexpr double maxSeconds = 1e9;

    // 0 to go on, otherwise the exit code.
    int parseOptions(int argc, char** argv, Options& options)
    {
        options.pluginPath = defaultPluginPath();
        for (int i = 1; i < argc; ++i)
        {
            const std::string argument = argv[i];
            auto next = [&](const char* what) -> const char*
            {
                if (i + 1 >= argc)
                {
                    std::fprintf(stderr, "vxffglhost: %s needs %s\n", argument.c_str(), what);
                    return nullptr;
                }
                return argv[++i];
            };
            double number = 0.0;
            if (argument == "--help" || argument == "-h")
            {
                printUsage(argv[0]);
                return -1;
            }
            else if (argument == "--plugin")
            {
                const char* value = next("a path");
                if (value == nullptr)
                    return 2;
                options.pluginPath = value;
            }
            else if (argument == "--out")
            {
                const char* value = next("a folder");
                if (value == nullptr)
                    return 2;
                options.outputDir = value;
            }
            else if (argument == "--size")
            {
                const char* value = next("WxH");
                if (value == nullptr)
                    return 2;
                if (! parseSize(value, options.width, options.height))
                {
                    std::fprintf(stderr, "vxffglhost: --size takes WxH (1 to 16384 each), not \"%s\"\n", value);
                    return 2;
                }
            }
            else if (argument == "--seconds" || argument == "--fps" || argument == "--every")
            {
                const char* value = next("a positive number");
                if (value == nullptr)
                    return 2;
                if (! parsePositive(value, number) || (argument == "--every" && number != std::floor(number)))
                {
                    std::fprintf(stderr, "vxffglhost: %s takes a positive %s, not \"%s\"\n", argument.c_str(),
                                 argument == "--every" ? "whole number" : "number", value);
                    return 2;
                }
                if (argument == "--seconds")
                    options.seconds = number;
                else if (argument == "--fps")
                    options.fps = number;
                else
                    options.every = static_cast<int>(std::min(number, 1e9));
            }
            else if (argument == "--set" || argument == "--set-normalised")
            {
                const char* value = next("NAME=VALUE");
                if (value == nullptr)
                    return 2;
                const char* equals = std::strchr(value, '=');
                if (equals == nullptr || equals == value)
                {
                    std::fprintf(stderr, "vxffglhost: %s takes NAME=VALUE, not \"%s\"\n", argument.c_str(), value);
                    return 2;
                }
                options.settings.push_back(
                    {std::string(value, equals), std::string(equals + 1), argument == "--set-normalised"});
            }
            else if (! argument.empty() && argument[0] == '-')
            {
                std::fprintf(stderr, "vxffglhost: unknown option %s (see --help)\n", argument.c_str());
                return 2;
            }
            else if (options.inputPath.empty())
                options.inputPath = argument;
            else
            {
                std::fprintf(stderr, "vxffglhost: one input picture only (%s and %s)\n", options.inputPath.c_str(),
                             argument.c_str());
                return 2;
            }
        }
        if (options.seconds > maxSeconds)
        {
            std::fprintf(stderr, "vxffglhost: --seconds takes at most %g, not %g\n", maxSeconds, options.seconds);
            return 2;
        }
        if (std::round(options.seconds * options.fps) > double(maxFrames))
        {
            std::fprintf(stderr, "vxffglhost: --seconds %g at --fps %g makes %.10g frames; a run renders at most %d\n",
                         options.seconds, options.fps, std::round(options.seconds * options.fps), maxFrames);
            return 2;
        }
        return 0;
    }

    // The input picture as RGBA8, first row = top.
    bool loadPicture(const Options& options, std::vector<unsigned char>& pixels, int& width, int& height)
    {
        if (options.inputPath.empty())
        {
            width = options.width;
            height = options.height;
            pixels = vx::host::makeTestPicture(width, height);
            return true;
        }
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* decoded = vx::ImageUtils::imageFromFile(vx::File(options.inputPath), &w, &h, &channels, 4);
        if (decoded == nullptr)
        {
            std::fprintf(stderr, "vxffglhost: cannot read the picture %s\n", options.inputPath.c_str());
            return false;
        }
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        pixels.assign(decoded, decoded + w * h * 4u);
        std::free(decoded);
        return true;
    }

    // GL objects of the host: the input texture and the framebuffer the
    // plugin draws into.
    class HostTargets
    {
    public:
        HostTargets(const std::vector<unsigned char>& picture, int pictureWidth, int pictureHeight, int width,
                    int height)
        {
            // GL's first row is the bottom one.
            std::vector<unsigned char> upright(picture);
            vx::ImageUtils::flip(upright.data(), pictureWidth, pictureHeight, 4);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            inputTexture = makeTexture(pictureWidth, pictureHeight, upright.data());
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            outputTexture = makeTexture(width, height, nullptr);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, outputTexture, 0);
            complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        }

        ~HostTargets()
        {
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &outputTexture);
            glDeleteTextures(1, &inputTexture);
        }

        HostTargets(const HostTargets&) = delete;
        HostTargets& operator=(const HostTargets&) = delete;

        bool isComplete() const { return complete && inputTexture != 0; }

        GLuint inputTexture = 0, outputTexture = 0, framebuffer = 0;

    private:
        static GLuint makeTexture(int width, int height, const unsigned char* pixels)
        {
            GLuint texture = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
            glBindTexture(GL_TEXTURE_2D, 0);
            return texture;
        }

        bool complete = false;
    };

    // Removes the frames an earlier run left in the folder (frame-NNNNN.png,
    // five digits or more), and nothing else, so that the folder holds this
    // run's frames only. False (reported) when one cannot be removed.
    bool removeEarlierFrames(const std::string& folder)
    {
        std::error_code error;
        int removed = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        {
            const std::string name = entry.path().filename().string();
            const std::size_t digits = name.size() > 10 ? name.size() - 10 : 0;
            if (digits < 5 || name.compare(0, 6, "frame-") != 0 || name.compare(name.size() - 4, 4, ".png") != 0 ||
                name.find_first_not_of("0123456789", 6) != 6 + digits || ! entry.is_regular_file(error))
                continue;
            if (! std::filesystem::remove(entry.path(), error))
            {
                std::fprintf(stderr, "vxffglhost: cannot remove the earlier frame %s: %s\n", entry.path().c_str(),
                             error.message().c_str());
                return false;
            }
            ++removed;
        }
        if (error)
        {
            std::fprintf(stderr, "vxffglhost: cannot read the folder %s: %s\n", folder.c_str(),
                         error.message().c_str());
            return false;
        }
        if (removed > 0)
            std::printf("Removed %d frame%s of an earlier run from %s\n", removed, removed == 1 ? "" : "s",
                        folder.c_str());
        return true;
    }

    // Makes the folder and removes an earlier run's frames from it. False
    // (reported) when either fails.
    bool prepareFolder(const std::string& folder)
    {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error)
        {
            std::fprintf(stderr, "vxffglhost: cannot make the folder %s: %s\n", folder.c_str(),
                         error.message().c_str());
            return false;
        }
        return removeEarlierFrames(folder);
    }

    bool writeFrame(const std::string& path, int width, int height)
    {
        std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u);
        GLint packAlignment = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
        vx::ImageUtils::flip(pixels.data(), width, height, 4);
        return vx::ImageUtils::writeToPng(vx::File(path), width, height, 4, pixels.data(), 0);
    }

    class Progress
    {
    public:
        explicit Progress(int total) : total(total), interactive(isatty(STDERR_FILENO) != 0) {}

        void show(int done, bool force)
        {
            const auto now = std::chrono::steady_clock::now();
            if (! force && now - lastShown < std::chrono::seconds(1))
                return;
            lastShown = now;
            std::fprintf(stderr, "%s  frame %d/%d (%d%%)%s", interactive ? "\r" : "", done, total,
                         total > 0 ? done * 100 / total : 100, interactive ? "" : "\n");
            shown = true;
        }

        void finish()
        {
            if (interactive && shown)
                std::fprintf(stderr, "\n");
        }

    private:
        int total;
        bool interactive;
        bool shown = false;
        std::chrono::steady_clock::time_point lastShown = std::chrono::steady_clock::now();
    };
}

int main(int argc, char** argv)
{
    Options options;
    if (const int code = parseOptions(argc, argv, options); code != 0)
        return code < 0 ? 0 : code;

    vx::host::HostContext context;
    if (! context.isValid())
    {
        std::fprintf(stderr, "vxffglhost: no OpenGL context: %s\n", context.getError().c_str());
        return 1;
    }
    std::printf("OpenGL: %s\n", context.describe().c_str());

    std::vector<unsigned char> picture;
    int pictureWidth = 0, pictureHeight = 0;
    if (! loadPicture(options, picture, pictureWidth, pictureHeight))
        return 1;
    std::printf("Input: %s, %d x %d; output %d x %d\n",
                options.inputPath.empty() ? "built-in skyline" : options.inputPath.c_str(), pictureWidth, pictureHeight,
                options.width, options.height);

    // The folder is made, and emptied of an earlier run's frames, when the
    // first frame is written: a run that fails before leaves it as it was.
    std::error_code folderError;
    if (std::filesystem::exists(options.outputDir, folderError) &&
        ! std::filesystem::is_directory(options.outputDir, folderError))
    {
        std::fprintf(stderr, "vxffglhost: %s is no folder\n", options.outputDir.c_str());
        return 1;
    }

    const HostTargets targets(picture, pictureWidth, pictureHeight, options.width, options.height);
    if (! targets.isComplete())
    {
        std::fprintf(stderr, "vxffglhost: cannot make a %d x %d framebuffer\n", options.width, options.height);
        return 1;
    }

    int exitCode = 0;
    {
        vx::host::PluginModule module(options.pluginPath);
        if (! module.load())
            return 1;
        module.printInformation();
        if (! module.instantiate(static_cast<std::uint32_t>(options.width), static_cast<std::uint32_t>(options.height)))
            return 1;
        for (const Setting& setting : options.settings)
            if (! module.setParameter(setting.name, setting.value, setting.normalised))
                return 1;
        module.printCurrentValues();

        FFGLTextureStruct input{static_cast<std::uint32_t>(pictureWidth), static_cast<std::uint32_t>(pictureHeight),
                                static_cast<std::uint32_t>(pictureWidth), static_cast<std::uint32_t>(pictureHeight),
                                targets.inputTexture};
        // The picture feeds every input the plugin needs (at least one, when it takes any).
        const std::uint32_t inputCount = std::max(module.getMinimumInputs(), module.getMaximumInputs() > 0 ? 1u : 0u);
        std::vector<FFGLTextureStruct*> inputs(inputCount, &input);
        ProcessOpenGLStructTag frame{inputCount, inputs.empty() ? nullptr : inputs.data(), targets.framebuffer};

        const int frameCount = std::max(1, static_cast<int>(std::round(options.seconds * options.fps)));
        const auto period = std::chrono::duration<double>(1.0 / options.fps);
        if (options.every == 1)
            std::printf("Rendering %d frames at %g fps, writing each into %s\n", frameCount, options.fps,
                        options.outputDir.c_str());
        else
            std::printf("Rendering %d frames at %g fps, writing one in %d into %s\n", frameCount, options.fps,
                        options.every, options.outputDir.c_str());
        if (options.every > frameCount)
            std::fprintf(stderr, "Warning: --every %d is more than the %d frames rendered: no frame will be written.\n",
                         options.every, frameCount);

        std::fflush(stdout);
        Progress progress(frameCount);
        int written = 0, stateFaults = 0, glErrors = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= frameCount; ++i)
        {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      period * static_cast<double>(i - 1)));

            vx::host::HostGLState::handOver(targets.framebuffer, options.width, options.height);
            const auto before = vx::host::HostGLState::capture();
            if (! module.processFrame(frame))
            {
                std::fprintf(stderr, "vxffglhost: stopped at frame %d\n", i);
                exitCode = 1;
                break;
            }
            for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
                if (++glErrors <= 10)
                    std::fprintf(stderr, "vxffglhost: frame %d left GL error 0x%04x\n", i, error);
            const auto after = vx::host::HostGLState::capture();
            for (const std::string& difference : before.differencesTo(after))
                if (++stateFaults <= 20)
                    std::fprintf(stderr, "vxffglhost: frame %d: the plugin did not restore the %s\n", i,
                                 difference.c_str());

            if (i % options.every == 0)
            {
                char name[32];
                std::snprintf(name, sizeof name, "frame-%05d.png", i);
                const std::string path = (std::filesystem::path(options.outputDir) / name).string();
                if (written == 0 && ! prepareFolder(options.outputDir))
                {
                    exitCode = 1;
                    break;
                }
                glBindFramebuffer(GL_FRAMEBUFFER, targets.framebuffer);
                if (! writeFrame(path, options.width, options.height))
                {
                    std::fprintf(stderr, "vxffglhost: cannot write %s\n", path.c_str());
                    exitCode = 1;
                    break;
                }
                ++written;
            }
            progress.show(i, i == frameCount);
        }
        progress.finish();
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        std::printf("Rendered in %.2f s (%.1f fps); wrote %d frame%s to %s\n", elapsed,
                    elapsed > 0.0 ? frameCount / elapsed : 0.0, written, written == 1 ? "" : "s",
                    options.outputDir.c_str());
        if (stateFaults > 0 || glErrors > 0)
        {
            std::fprintf(stderr, "vxffglhost: %d GL state difference%s and %d GL error%s after frames\n", stateFaults,
                         stateFaults == 1 ? "" : "s", glErrors, glErrors == 1 ? "" : "s");
            if (exitCode == 0)
                exitCode = 3;
        }
        else if (exitCode == 0)
            std::printf("The plugin gave back the host's GL state after every frame.\n");
    }
    return exitCode;
}
