// Hosting FFGL plugins. A frame through vx::FFGLPluginInstance::processOpenGL
// (every parameter's type, value and display text, then the frame inside the
// attribute push and pop) with the recording plugin at 7, 64 and 512
// parameters, against calling its plugMain directly with the same codes
// (the fair baseline: with the attribute push and pop, reading each display
// text).
// And scanning a plugin folder of 1,000 files (none a candidate) against a
// bare recursive directory walk (std::filesystem, and the least a walk with
// opendir and readdir can do) and the foundation's File::scanForChildFiles,
// plus the same tree with ten extensionless files that the scan tries to
// load and the loader refuses, against those ten refused loads alone.

#include <benchmark/benchmark.h>

#include "../gfx/VXBenchGLContext.h"

#include "core/VXFile.h"
#include "engine/ffgl/FFGL.h"
#include "engine/renderpasses/VXOSXPluginInstance.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/recorder/VXRecordingPlugin.h"

#include <dirent.h>
#include <dlfcn.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{
    namespace fs = std::filesystem;

    // The recorder scripted to parameterCount standard parameters, not
    // recording, opened by the benchmark for the life of the run.
    FFGL::PlugMainFunction openRecorder(int parameterCount)
    {
        static void* handle = dlopen(VX_FFGL_RECORDER_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return nullptr;
        vx::test::Recorder* recorder = reinterpret_cast<vx::test::Recorder* (*)()>(dlsym(handle, "vxRecorder"))();
        recorder->script = vx::test::RecorderScript();
        recorder->script.numParameters = parameterCount;
        recorder->script.minInputs = 0;
        recorder->script.record = false;
        recorder->calls.clear();
        return reinterpret_cast<FFGL::PlugMainFunction>(dlsym(handle, "plugMain"));
    }

    void BM_ProcessOpenGLHost(benchmark::State& state)
    {
        const int parameters = int(state.range(0));
        if (! vx::bench::makeBenchGLContextCurrent() || openRecorder(parameters) == nullptr)
            return state.SkipWithError("no GL context or recorder");
        vx::OSXPluginInstance plugin;
        if (! plugin.load(VX_FFGL_RECORDER_PATH) || ! plugin.instantiateGL(0, 0, 16, 16))
            return state.SkipWithError("the recorder does not load");
        for (auto _ : state)
            benchmark::DoNotOptimize(plugin.processOpenGL(0));
        plugin.deInstantiateGL();
        plugin.unload();
    }

    // withAttributes: the frame inside the attribute push and pop every
    // host owes the plugin's GL codes. readsDisplay: each display text is
    // also read, up to its NUL or 32 characters, as every host must to show
    // it. That read has a cost of its own here, whoever makes it: the
    // recorder writes the text afresh with wide stores on every call, and a
    // load of what was just stored waits for the stores to land.
    // <true, true> is the work the host owes; the others show the plugin's
    // share.
    template <bool withAttributes, bool readsDisplay>
    void BM_ProcessOpenGLDirect(benchmark::State& state)
    {
        const int parameters = int(state.range(0));
        const FFGL::PlugMainFunction plugMain =
            vx::bench::makeBenchGLContextCurrent() ? openRecorder(parameters) : nullptr;
        if (plugMain == nullptr)
            return state.SkipWithError("no GL context or recorder");
        plugMain(FFGL::initialise, 0, 0);
        FFGLViewportStructTag viewport{0, 0, 16, 16};
        const FFGL::Word instance = plugMain(FFGL::instantiateGL, FFGL::fromPointer(&viewport), 0);
        ProcessOpenGLStructTag frame{0, nullptr, 0};
        for (auto _ : state)
        {
            for (int i = 0; i < parameters; ++i)
            {
                const auto index = FFGL::Word(i);
                benchmark::DoNotOptimize(plugMain(FFGL::getParameterType, index, instance));
                SetParameterStruct value{std::uint32_t(i), FFGL::fromFloat(0.5f)};
                plugMain(FFGL::setParameter, FFGL::fromPointer(&value), instance);
                const FFGL::Word display = plugMain(FFGL::getParameterDisplay, index, instance);
                if (readsDisplay)
                {
                    const auto* text = FFGL::toPointer<const char>(display);
                    std::size_t length = 0;
                    while (length < 32 && text[length] != '\0')
                        ++length;
                    benchmark::DoNotOptimize(length);
                }
                else
                    benchmark::DoNotOptimize(display);
            }
            if (withAttributes)
                glPushAttrib(GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
            benchmark::DoNotOptimize(plugMain(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance));
            if (withAttributes)
                glPopAttrib();
        }
        plugMain(FFGL::deInstantiateGL, 0, instance);
        plugMain(FFGL::deInitialise, 0, 0);
    }

    std::string numbered(const char* prefix, int number, const char* suffix)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%s%d%s", prefix, number, suffix);
        return text;
    }

    // 1,000 files in 10 folders of 10 folders of 10, named as a bundle's
    // resources are; junk extensionless files among them when asked.
    struct PluginTree
    {
        explicit PluginTree(int junk)
        {
            root = fs::temp_directory_path() / numbered("vx-plugin-tree-", junk, "");
            fs::remove_all(root);
            int made = 0;
            for (int a = 0; a < 10; ++a)
                for (int b = 0; b < 10; ++b)
                {
                    const fs::path folder = root / numbered("P", a, ".bundle") / numbered("R", b, "");
                    fs::create_directories(folder);
                    for (int c = 0; c < 10; ++c, ++made)
                    {
                        const bool isJunk = made % 100 == 0 && made / 100 < junk;
                        std::ofstream(folder / numbered("", c, isJunk ? "" : ".plist")) << "x";
                    }
                }
        }
        ~PluginTree() { fs::remove_all(root); }
        fs::path root;
    };

    void BM_ScanPluginFolder(benchmark::State& state)
    {
        const PluginTree tree(int(state.range(0)));
        vx::RenderPassManager manager;
        // The loader's refusals print to standard output: not part of the
        // measure, and not wanted in the report.
        std::FILE* saved = stdout;
        stdout = std::fopen("/dev/null", "w");
        for (auto _ : state)
            manager.scanDirectoryForPlugins(vx::File(tree.root.string()));
        std::fclose(stdout);
        stdout = saved;
        state.SetItemsProcessed(state.iterations() * 1000);
    }

    void BM_ScanForChildFiles(benchmark::State& state)
    {
        const PluginTree tree(0);
        for (auto _ : state)
        {
            std::vector<vx::File> files;
            vx::File(tree.root.string()).scanForChildFiles(files, true, false);
            benchmark::DoNotOptimize(files.data());
        }
        state.SetItemsProcessed(state.iterations() * 1000);
    }

    void BM_DirectoryWalk(benchmark::State& state)
    {
        const PluginTree tree(0);
        for (auto _ : state)
        {
            std::vector<std::string> files;
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree.root))
                if (! entry.is_directory())
                    files.push_back(entry.path().string());
            benchmark::DoNotOptimize(files.data());
        }
        state.SetItemsProcessed(state.iterations() * 1000);
    }

    // The least a walk can do: each folder read once, the entry's own type
    // telling folders from files, each file's path made.
    void walkPosix(const std::string& path, std::vector<std::string>& files)
    {
        DIR* directory = opendir(path.c_str());
        if (directory == nullptr)
            return;
        while (const dirent* entry = readdir(directory))
        {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            std::string child = path + "/" + entry->d_name;
            if (entry->d_type == DT_DIR)
                walkPosix(child, files);
            else
                files.push_back(std::move(child));
        }
        closedir(directory);
    }

    void BM_DirectoryWalkPosix(benchmark::State& state)
    {
        const PluginTree tree(0);
        for (auto _ : state)
        {
            std::vector<std::string> files;
            walkPosix(tree.root.string(), files);
            benchmark::DoNotOptimize(files.data());
        }
        state.SetItemsProcessed(state.iterations() * 1000);
    }

    // What the scan of the tree with ten junk files owes the loader alone:
    // ten refused loads.
    void BM_FailedLoads(benchmark::State& state)
    {
        const PluginTree tree(10);
        std::vector<std::string> junk;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree.root))
            if (entry.is_regular_file() && ! entry.path().has_extension())
                junk.push_back(entry.path().string());
        if (junk.size() != 10)
            return state.SkipWithError("the tree has no ten junk files");
        for (auto _ : state)
            for (const std::string& path : junk)
                benchmark::DoNotOptimize(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    }
}

BENCHMARK(BM_ProcessOpenGLDirect<false, false>)->Arg(7)->Arg(64)->Arg(512);
BENCHMARK(BM_ProcessOpenGLDirect<true, false>)->Arg(7)->Arg(64)->Arg(512);
BENCHMARK(BM_ProcessOpenGLDirect<true, true>)->Arg(7)->Arg(64)->Arg(512);
BENCHMARK(BM_ProcessOpenGLHost)->Arg(7)->Arg(64)->Arg(512);
BENCHMARK(BM_DirectoryWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectoryWalkPosix)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FailedLoads)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanForChildFiles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanPluginFolder)->Arg(0)->Arg(10)->Unit(benchmark::kMicrosecond);
