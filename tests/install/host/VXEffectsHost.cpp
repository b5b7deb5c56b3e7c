// A host that loads FFGL effects side by side, with local or global symbols
// (dlopen RTLD_LOCAL or RTLD_GLOBAL), twice over:
//   vxeffectshost local|global <module> <id> [<module> <id> ...]
// Each round loads them all, checks each answers its own identity and
// parameter, makes an instance of each, sets their "Level" apart and renders
// each into a framebuffer of its own, reading back its own colour; then
// unloads them last first, checking after each that the others still answer
// and render as themselves. Exits 0 when every check held (and the process winds
// down cleanly); prints the first failure otherwise.

#include "VXHostContext.h"
#include "engine/ffgl/FFGL.h"

#include <dlfcn.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
    bool failed(const std::string& what)
    {
        std::fprintf(stderr, "vxeffectshost: %s\n", what.c_str());
        return false;
    }

    // An effect's module and its one instance.
    struct Effect
    {
        std::string path;
        std::string id;
        void* handle = nullptr;
        FFGL::PlugMainFunction plugMain = nullptr;
        FFGL::Word instance = 0;

        FFGL::Word call(std::uint32_t code, FFGL::Word input = 0, FFGL::Word instanceWord = 0) const
        {
            return plugMain(code, input, instanceWord);
        }

        bool load(int mode)
        {
            handle = dlopen(path.c_str(), RTLD_NOW | mode);
            if (handle == nullptr)
                return failed("cannot open " + path + ": " + dlerror());
            plugMain = reinterpret_cast<FFGL::PlugMainFunction>(dlsym(handle, "plugMain"));
            if (plugMain == nullptr)
                return failed(path + " has no plugMain");
            return true;
        }

        // The information record's id and the parameter table: one "Level".
        bool answersAsItself() const
        {
            const auto* info = FFGL::toPointer<const PluginInfoStruct>(call(FFGL::getInfo));
            if (info == nullptr || std::memcmp(info->PluginUniqueID, id.data(), 4) != 0)
                return failed(path + " does not answer its id " + id);
            if (call(FFGL::getNumParameters) != 1)
                return failed(path + " does not answer one parameter");
            const auto* name = FFGL::toPointer<const char>(call(FFGL::getParameterName, 0));
            if (name == nullptr || std::strncmp(name, "Level", 16) != 0)
                return failed(path + " does not name its parameter Level");
            return true;
        }

        bool instantiate()
        {
            FFGLViewportStructTag viewport{0, 0, 8, 8};
            instance = call(FFGL::instantiateGL, FFGL::fromPointer(&viewport));
            if (FFGL::isFail(instance) || instance == 0)
            {
                instance = 0;
                return failed(path + " makes no instance");
            }
            return true;
        }

        bool setLevel(float level) const
        {
            SetParameterStruct set{};
            set.ParameterNumber = 0;
            set.NewParameterValue = FFGL::fromFloat(level);
            if (call(FFGL::setParameter, FFGL::fromPointer(&set), instance) != FFGL::success)
                return failed(path + " refuses its level");
            return true;
        }

        // One frame into a framebuffer of its own; its first pixel must be
        // (level, 0, 1 - level, 1).
        bool rendersLevel(float level) const
        {
            GLuint texture = 0, framebuffer = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            glViewport(0, 0, 8, 8);
            glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);

            ProcessOpenGLStructTag frame{};
            frame.numInputTextures = 0;
            frame.inputTextures = nullptr;
            frame.HostFBO = framebuffer;
            const FFGL::Word answer = call(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            unsigned char pixel[4] = {};
            glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &texture);

            if (answer != FFGL::success)
                return failed(path + " does not render");
            const auto expect = [](float value) { return static_cast<int>(std::lround(value * 255.0f)); };
            if (std::abs(pixel[0] - expect(level)) > 2 || pixel[1] > 2 || std::abs(pixel[2] - expect(1.0f - level)) > 2
                || pixel[3] != 255)
            {
                char text[160];
                std::snprintf(text, sizeof text, " drew %d %d %d %d for level %.2f", pixel[0], pixel[1], pixel[2],
                              pixel[3], static_cast<double>(level));
                return failed(path + text);
            }
            return true;
        }

        bool unload()
        {
            bool good = true;
            if (instance != 0 && call(FFGL::deInstantiateGL, 0, instance) != FFGL::success)
                good = failed(path + " refuses to end its instance");
            instance = 0;
            if (call(FFGL::deInitialise) != FFGL::success)
                good = failed(path + " refuses to de-initialise");
            if (dlclose(handle) != 0)
                good = failed(path + " cannot be closed: " + dlerror());
            handle = nullptr;
            plugMain = nullptr;
            return good;
        }
    };

    // Levels 0.25, 0.75, 0.25 ... by position.
    float levelOf(std::size_t position)
    {
        return position % 2 == 0 ? 0.25f : 0.75f;
    }

    bool round(std::vector<Effect>& effects, int mode)
    {
        for (Effect& effect : effects)
        {
            if (! effect.load(mode) || ! effect.answersAsItself())
                return false;
        }
        for (std::size_t i = 0; i < effects.size(); ++i)
        {
            if (! effects[i].instantiate() || ! effects[i].setLevel(levelOf(i)))
                return false;
        }
        for (std::size_t i = 0; i < effects.size(); ++i)
        {
            if (! effects[i].rendersLevel(levelOf(i)))
                return false;
        }
        // The last goes first; the others still answer and render as themselves.
        for (std::size_t last = effects.size(); last-- > 0;)
        {
            if (! effects[last].unload())
                return false;
            for (std::size_t i = 0; i < last; ++i)
            {
                if (! effects[i].answersAsItself() || ! effects[i].rendersLevel(levelOf(i)))
                    return false;
            }
        }
        return true;
    }
}

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0 || (std::strcmp(argv[1], "local") != 0 && std::strcmp(argv[1], "global") != 0))
    {
        std::fprintf(stderr, "usage: vxeffectshost local|global <module> <id> [<module> <id> ...]\n");
        return 2;
    }
    const int mode = std::strcmp(argv[1], "global") == 0 ? RTLD_GLOBAL : RTLD_LOCAL;
    vx::host::HostContext context;
    if (! context.isValid())
    {
        std::fprintf(stderr, "vxeffectshost: %s\n", context.getError().c_str());
        return 1;
    }
    std::vector<Effect> effects;
    for (int i = 2; i + 1 < argc; i += 2)
        effects.push_back(Effect{argv[i], argv[i + 1]});
    for (int pass = 0; pass < 2; ++pass)
    {
        if (! round(effects, mode))
            return 1;
    }
    std::printf("vxeffectshost: %zu effects answered and rendered as themselves, %s, twice\n", effects.size(),
                argv[1]);
    return 0;
}
