#include "engine/renderpasses/VXOSXPluginInstance.h"

#include "core/VXFile.h"
#include "core/VXLog.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>

namespace vx
{
    namespace
    {
        std::map<std::string, OSXPluginLib> pluginLibs;

        const char* loaderError()
        {
            const char* error = dlerror();
            return error != nullptr ? error : "";
        }
    }

    OSXPluginLib* getLib(const std::string& path)
    {
        const auto found = pluginLibs.find(path);
        return found != pluginLibs.end() ? &found->second : nullptr;
    }

    void removeLib(const std::string& path)
    {
        pluginLibs.erase(path);
    }

    FFGLPluginInstance* FFGLPluginInstance::createInstance()
    {
        return new OSXPluginInstance();
    }

    FFGLPluginInstance* FFGLPluginInstance::load(const File& file)
    {
        FFGLPluginInstance* instance = createInstance();
        if (instance->load(file.getFullPath().c_str()))
            return instance;
        delete instance; // a failed load holds nothing
        return nullptr;
    }

    OSXPluginInstance::~OSXPluginInstance()
    {
        if (libHandle == nullptr)
            return;
        debugPrint("plugin deleted without calling Unload()");
        if (! unload())
            logPrint(logError,
                     "OSXPluginInstance: \"%s\" deleted with its OpenGL instance alive; its library stays open",
                     libPath.c_str());
    }

    bool OSXPluginInstance::load(const char* path)
    {
        if (path == nullptr || *path == '\0')
            return false;
        if (! unload())
            return false;
        if (! loadLib(path))
            return false;
        std::printf("Instantiating plugin %s", path);

        auto entry = reinterpret_cast<FFGL::PlugMainFunction>(dlsym(libHandle, "plugMain"));
        if (entry == nullptr)
        {
            unload();
            return false;
        }
        setEntryPoint(entry);
        if (! initPluginLibrary())
        {
            unload();
            return false;
        }
        setLoaded(true, path);
        return true;
    }

    bool OSXPluginInstance::unload()
    {
        if (hasGLInstance())
        {
            debugPrint("Failed to call DeInstantiateGL before Unload()");
            return false;
        }
        deinitPluginLibrary();
        if (libHandle != nullptr)
            unloadLib(libPath.c_str());
        setLoaded(false, std::string());
        return true;
    }

    bool OSXPluginInstance::loadLib(const char* path)
    {
        if (libHandle != nullptr)
            unloadLib(libPath.c_str());
        OSXPluginLib* lib = getLib(path);
        if (lib == nullptr)
        {
            debugPrint("Loading plugin %s lib", path);
            void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr)
            {
                std::printf("Unable to load plugin\n%s", loaderError());
                return false;
            }
            dlerror();
            if (dlsym(handle, "plugMain") == nullptr)
            {
                std::printf("Unable to load symbol plugMain\n%s\n", loaderError());
                // Nothing else will ever close it.
                dlclose(handle);
                return false;
            }
            lib = &pluginLibs[path];
            lib->handle = handle;
            lib->refCount = 0;
        }
        libHandle = lib->handle;
        libPath = path;
        ++lib->refCount;
        return true;
    }

    bool OSXPluginInstance::unloadLib(const char* path)
    {
        // A copy: path may be this instance's own record, cleared below.
        const std::string key = path != nullptr ? path : "";
        OSXPluginLib* lib = getLib(key);
        // Only a reference this instance holds is given back.
        if (lib == nullptr || libHandle == nullptr || lib->handle != libHandle)
            return false;
        debugPrint("Deleting instance for plugin %s lib", key.c_str());
        libHandle = nullptr;
        libPath.clear();
        if (lib->refCount-- > 1)
            return true;

        debugPrint("Unloading plugin %s lib", key.c_str());
        bool closed = true;
        if (dlclose(lib->handle) != 0)
        {
            debugPrint("Unable to close lib %s\ndlerr:%s", key.c_str(), loaderError());
            closed = false;
        }
        removeLib(key);
        return closed;
    }
}
