// Built plugin modules, loaded as a host loads them and driven through their
// exported plugMain alone.

#include "engine/ffgl/FFGL.h"
#include "engine/ffgl/VXFFGLHostFrame.h"

#include "support/gl/VXGLTestFixture.h"
#include "vxffglhost/VXPluginModule.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{
    using vx::test::FFGLHostFrame;
    using vx::test::HostGLState;

    constexpr FFGL::Word failWord = 0xFFFFFFFFu;

    // Names of the symbols a shared object defines for others (global or
    // weak entries of its dynamic symbol table), or of those it takes from
    // others (undefined entries). Empty when the file is not a readable
    // 64-bit ELF object.
    std::vector<std::string> dynamicSymbols(const std::string& path, bool defined)
    {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        std::vector<char> bytes(file ? static_cast<std::size_t>(file.tellg()) : 0);
        file.seekg(0);
        file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::vector<std::string> names;
        if (bytes.size() < sizeof(Elf64_Ehdr) || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0 ||
            bytes[EI_CLASS] != ELFCLASS64)
            return names;

        Elf64_Ehdr header;
        std::memcpy(&header, bytes.data(), sizeof header);
        auto section = [&](std::size_t i, Elf64_Shdr& out)
        {
            const std::size_t offset = header.e_shoff + i * header.e_shentsize;
            if (offset + sizeof out > bytes.size())
                return false;
            std::memcpy(&out, bytes.data() + offset, sizeof out);
            return out.sh_offset + out.sh_size <= bytes.size();
        };

        for (std::size_t i = 0; i < header.e_shnum; ++i)
        {
            Elf64_Shdr symbols, strings;
            if (! section(i, symbols) || symbols.sh_type != SHT_DYNSYM || ! section(symbols.sh_link, strings))
                continue;
            for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= symbols.sh_size; offset += sizeof(Elf64_Sym))
            {
                Elf64_Sym symbol;
                std::memcpy(&symbol, bytes.data() + symbols.sh_offset + offset, sizeof symbol);
                const int binding = ELF64_ST_BIND(symbol.st_info);
                if ((symbol.st_shndx == SHN_UNDEF) == defined || (binding != STB_GLOBAL && binding != STB_WEAK) ||
                    symbol.st_name == 0 || symbol.st_name >= strings.sh_size)
                    continue;
                const char* name = bytes.data() + strings.sh_offset + symbol.st_name;
                names.emplace_back(name, strnlen(name, strings.sh_size - symbol.st_name));
            }
        }
        return names;
    }

    // A module opened as hosts open plugins: now, with local symbols.
    class LoadedModule
    {
    public:
        explicit LoadedModule(const std::string& path)
        {
            handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr)
            {
                error = dlerror();
                return;
            }
            entry = reinterpret_cast<FFGL::PlugMainFunction>(dlsym(handle, "plugMain"));
        }

        ~LoadedModule() { close(); }

        // The loader's answer: 0 when the handle was given back.
        int close()
        {
            const int closed = handle != nullptr ? dlclose(handle) : 0;
            handle = nullptr;
            entry = nullptr;
            return closed;
        }

        LoadedModule(const LoadedModule&) = delete;
        LoadedModule& operator=(const LoadedModule&) = delete;

        bool isLoaded() const { return entry != nullptr; }
        FFGL::Word operator()(std::uint32_t code, FFGL::Word input = 0, FFGL::Word instance = 0) const
        {
            return entry(code, input, instance);
        }

        std::string error;

    private:
        void* handle = nullptr;
        FFGL::PlugMainFunction entry = nullptr;
    };

    struct ModuleCase
    {
        const char* name;
        const char* path; // null when the build has no such module
    };

    const ModuleCase moduleCases[] = {
#ifdef VX_FFGL_TEST_MODULE_PATH
        {"TestEffect", VX_FFGL_TEST_MODULE_PATH},
#else
        {"TestEffect", nullptr},
#endif
#ifdef VX_KELVO_MODULE_PATH
        {"Kelvo", VX_KELVO_MODULE_PATH},
#else
        {"Kelvo", nullptr},
#endif
    };

    class FFGLModuleGLTest : public vx::test::GLTest, public testing::WithParamInterface<ModuleCase>
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            if (GetParam().path == nullptr)
                GTEST_SKIP() << GetParam().name << " is not part of this build";
        }
    };

    TEST_P(FFGLModuleGLTest, ExportsOnlyPlugMain)
    {
        EXPECT_EQ(dynamicSymbols(GetParam().path, true), std::vector<std::string>{"plugMain"});
    }

    // A registered thread-local destructor keeps the module loaded until its
    // thread ends: no code of the module may register one.
    TEST_P(FFGLModuleGLTest, RegistersNoThreadLocalDestructor)
    {
        const std::vector<std::string> imported = dynamicSymbols(GetParam().path, false);
        ASSERT_FALSE(imported.empty());
        for (const std::string& name : imported)
            EXPECT_EQ(name.find("__cxa_thread_atexit"), std::string::npos) << name;
    }

    TEST_P(FFGLModuleGLTest, AnswersQuestionsInAnyOrder)
    {
        LoadedModule module(GetParam().path);
        ASSERT_TRUE(module.isLoaded()) << module.error;

        const auto numParams = module(FFGL::getNumParameters);
        ASSERT_NE(numParams, failWord) << "parameters asked before initialise";
        EXPECT_GT(numParams, 0u);
        EXPECT_EQ(numParams >> 32, 0u);
        EXPECT_EQ(module(FFGL::initialise), 0u);

        const auto* info = FFGL::toPointer<const PluginInfoStruct>(module(FFGL::getInfo));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->APIMajorVersion, 1u);
        EXPECT_EQ(info->APIMinorVersion, 500u);
        EXPECT_EQ(module(FFGL::getPluginCaps, FFGL::capProcessOpenGL), 1u);
        EXPECT_EQ(module(FFGL::getPluginCaps, FFGL::capSetTime), 0u);
        EXPECT_EQ(module(FFGL::instantiateGL, 0), failWord);
        EXPECT_EQ(module(FFGL::deInitialise), 0u);
    }

    TEST_P(FFGLModuleGLTest, TwoInstancesLiveAndEndInAnyOrder)
    {
        for (int load = 0; load < 2; ++load)
        {
            SCOPED_TRACE(load == 0 ? "first load" : "loaded again after unloading");
            LoadedModule module(GetParam().path);
            ASSERT_TRUE(module.isLoaded()) << module.error;

            FFGLHostFrame frame(64, 48, 0.2f, 0.4f, 0.6f);
            const FFGL::Word first = module(FFGL::instantiateGL, frame.viewportWord());
            const FFGL::Word second = module(FFGL::instantiateGL, frame.viewportWord());
            ASSERT_NE(first, failWord);
            ASSERT_NE(second, failWord);

            const HostGLState before = HostGLState::capture();
            for (const FFGL::Word instance : {first, second, first})
            {
                EXPECT_EQ(module(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
                const HostGLState after = HostGLState::capture();
                EXPECT_EQ(before.differencesTo(after), std::vector<std::string>{});
            }

            // The host ends the prototype first, then the instances out of order.
            EXPECT_EQ(module(FFGL::deInitialise), 0u);
            EXPECT_EQ(module(FFGL::deInstantiateGL, 0, first), 0u);
            EXPECT_EQ(module(FFGL::processOpenGL, frame.recordWord(), second), 0u);
            EXPECT_EQ(module(FFGL::deInstantiateGL, 0, second), 0u);
        }
    }

    // A host whose thread lives on uses the module fully and closes it: the
    // module leaves the process (nothing it did on that thread keeps it
    // loaded), and a second load starts from the module's initial data.
    TEST_P(FFGLModuleGLTest, LeavesTheProcessWhenClosedOnAThreadThatLivesOn)
    {
        const char* path = GetParam().path;
        for (int load = 0; load < 2; ++load)
        {
            SCOPED_TRACE(load == 0 ? "first load" : "loaded again after unloading");
            LoadedModule module(path);
            ASSERT_TRUE(module.isLoaded()) << module.error;
            auto* info = FFGL::toPointer<PluginInfoStruct>(module(FFGL::getInfo));
            ASSERT_NE(info, nullptr);
            EXPECT_NE(info->PluginName[0], '#') << "the first load's data outlived its unload";

            FFGLHostFrame frame(32, 32, 0.2f, 0.4f, 0.6f);
            const FFGL::Word instance = module(FFGL::instantiateGL, frame.viewportWord());
            ASSERT_NE(instance, failWord);
            const auto numParams = std::uint32_t(module(FFGL::getNumParameters));
            ASSERT_NE(numParams, FFGL::fail);
            char text[] = "changed";
            for (std::uint32_t i = 0; i < numParams; ++i)
            {
                const bool isText = module(FFGL::getParameterType, i) == FFGL::typeText;
                SetParameterStruct change{i, isText ? FFGL::fromPointer(text) : FFGL::fromFloat(0.75f)};
                EXPECT_NE(module(FFGL::setParameter, FFGL::fromPointer(&change), instance), failWord);
            }
            EXPECT_EQ(module(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
            EXPECT_EQ(module(FFGL::deInstantiateGL, 0, instance), 0u);
            EXPECT_EQ(module(FFGL::deInitialise), 0u);

            info->PluginName[0] = '#'; // a mark in the module's own data
            ASSERT_EQ(module.close(), 0) << dlerror();
            void* still = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
            EXPECT_EQ(still, nullptr) << "closed but still loaded";
            if (still != nullptr)
                dlclose(still);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Modules, FFGLModuleGLTest, testing::ValuesIn(moduleCases),
                             [](const testing::TestParamInfo<ModuleCase>& info)
                             { return std::string(info.param.name); });

    // The Kelvo effect's own answers.
    class KelvoModuleGLTest : public vx::test::GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
#ifdef VX_KELVO_MODULE_PATH
            module = std::make_unique<LoadedModule>(VX_KELVO_MODULE_PATH);
            ASSERT_TRUE(module->isLoaded()) << module->error;
#else
            GTEST_SKIP() << "the Kelvo module is not part of this build";
#endif
        }

        void TearDown() override
        {
            if (module != nullptr)
            {
                EXPECT_EQ((*module)(FFGL::deInitialise), 0u);
            }
            module.reset();
            GLTest::TearDown();
        }

        std::unique_ptr<LoadedModule> module;
    };

    TEST_F(KelvoModuleGLTest, InformationRecords)
    {
        const LoadedModule& plug = *module;
        const unsigned char expected[32] = {1,   0, 0, 0, 0xF4, 0x01, 0, 0, 'A', '1', '8', '9', 'K', 'e', 'l', 'v',
                                            'o', 0, 0, 0, 0,    0,    0, 0, 0,   0,   0,   0,   0,   0,   0,   0};
        const auto* info = FFGL::toPointer<const unsigned char>(plug(FFGL::getInfo));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(std::memcmp(info, expected, sizeof expected), 0);

        const auto* extended = FFGL::toPointer<const PluginExtendedInfoStruct>(plug(FFGL::getExtendedInfo));
        ASSERT_NE(extended, nullptr);
        EXPECT_STREQ(extended->Description, "Kelvo");
        EXPECT_STREQ(extended->About, "Quarlite");

        EXPECT_EQ(plug(FFGL::getPluginCaps, FFGL::capMinimumInputs), 1u);
        EXPECT_EQ(plug(FFGL::getPluginCaps, FFGL::capMaximumInputs), 1u);
        EXPECT_EQ(plug(FFGL::getPluginShortName), 0u);
    }

    // The headless host sets parameters by name in their own units: Kelvo
    // gets what was asked and the host shows it, although Kelvo's display
    // texts round to two decimals (the least "Spread", 0.005, reads "0.01").
    TEST_F(KelvoModuleGLTest, TheHostSetsParametersByNameToTheValuesAsked)
    {
#ifdef VX_KELVO_MODULE_PATH
        vx::host::PluginModule host(VX_KELVO_MODULE_PATH);
        ASSERT_TRUE(host.load());
        ASSERT_TRUE(host.instantiate(64, 48));

        struct Case
        {
            const char* name;
            std::uint32_t index;
            double low, high;
            const char* value;
            const char* shown;
        };
        const Case cases[] = {
            {"Spread", 3, 0.005, 0.5, "0.01", "Spread=0.01"},    {"spread", 3, 0.005, 0.5, "0.02", "Spread=0.02"},
            {"Spread", 3, 0.005, 0.5, "0.1", "Spread=0.1"},      {"Spread", 3, 0.005, 0.5, "0.0149", "Spread=0.0149"},
            {"Spread", 3, 0.005, 0.5, "0.005", "Spread=0.005"},  {"Spread", 3, 0.005, 0.5, "0.5", "Spread=0.5"},
            {"Amount", 2, 1.0, 50.0, "40", "Amount=40"},         {"Size", 0, 0.5, 3.0, "0.777", "Size=0.777"},
            {"Threshold", 4, 0.25, 1.0, "0.3", "Threshold=0.3"},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + "=" + c.value);
            ASSERT_TRUE(host.setParameter(c.name, c.value, false));
            EXPECT_NEAR(host.getNormalised(c.index), (std::stod(c.value) - c.low) / (c.high - c.low), 2e-6);
            const std::string shown = host.describeCurrentValues() + " ";
            EXPECT_NE(shown.find(std::string(" ") + c.shown + " "), std::string::npos) << shown;
        }

        // Past the true ends, though within the rounding of the texts: refused, the value kept.
        const float kept = host.getNormalised(3);
        EXPECT_FALSE(host.setParameter("Spread", "0.004", false));
        EXPECT_FALSE(host.setParameter("Spread", "0.504", false));
        EXPECT_EQ(host.getNormalised(3), kept);
#endif
    }
}
