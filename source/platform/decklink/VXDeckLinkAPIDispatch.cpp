#include "platform/decklink/VXDeckLinkAPI.h"

#include <dlfcn.h>
#include <pthread.h>

#include <mutex>

namespace
{
    using IteratorFunc = IDeckLinkIterator* (*)();
    using APIInformationFunc = IDeckLinkAPIInformation* (*)();
    using GLPreviewFunc = IDeckLinkGLScreenPreviewHelper* (*)();
    using CocoaPreviewFunc = IUnknown* (*)(void*);
    using ConversionFunc = IDeckLinkVideoConversion* (*)();
    using DiscoveryFunc = IDeckLinkDiscovery* (*)();
    using StreamingDiscoveryFunc = IBMDStreamingDiscovery* (*)();
    using NALParserFunc = IBMDStreamingH264NALParser* (*)();

    // Paths are set before the loaders run and only read by them.
    std::mutex pathLock;
    std::string driverPath = "/Library/Frameworks/DeckLinkAPI.framework";
    std::string streamingPath = "/Library/Application Support/Blackmagic Design/Streaming/BMDStreamingAPI.bundle";

    pthread_once_t driverOnce = PTHREAD_ONCE_INIT;
    pthread_once_t streamingOnce = PTHREAD_ONCE_INIT;

    // Written once inside pthread_once, read after it: the once-control orders them.
    void* driverModule = nullptr;
    void* streamingModule = nullptr;
    IteratorFunc iteratorFunc = nullptr;
    APIInformationFunc apiInformationFunc = nullptr;
    GLPreviewFunc glPreviewFunc = nullptr;
    CocoaPreviewFunc cocoaPreviewFunc = nullptr;
    ConversionFunc conversionFunc = nullptr;
    DiscoveryFunc discoveryFunc = nullptr;
    StreamingDiscoveryFunc streamingDiscoveryFunc = nullptr;
    NALParserFunc nalParserFunc = nullptr;

    template <typename F>
    F lookUp(void* module, const char* name)
    {
        return reinterpret_cast<F>(dlsym(module, name));
    }

    std::string readPath(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(pathLock);
        return path;
    }

    // The module stays loaded for the process: objects it made may live
    // until exit.
    void InitDeckLinkAPI()
    {
        driverModule = dlopen(readPath(driverPath).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (driverModule == nullptr)
            return;
        iteratorFunc = lookUp<IteratorFunc>(driverModule, "CreateDeckLinkIteratorInstance_0002");
        apiInformationFunc = lookUp<APIInformationFunc>(driverModule, "CreateDeckLinkAPIInformationInstance_0001");
        glPreviewFunc = lookUp<GLPreviewFunc>(driverModule, "CreateOpenGLScreenPreviewHelper_0001");
        cocoaPreviewFunc = lookUp<CocoaPreviewFunc>(driverModule, "CreateCocoaScreenPreview_0001");
        conversionFunc = lookUp<ConversionFunc>(driverModule, "CreateVideoConversionInstance_0001");
        discoveryFunc = lookUp<DiscoveryFunc>(driverModule, "CreateDeckLinkDiscoveryInstance_0001");
    }

    void InitBMDStreamingAPI()
    {
        streamingModule = dlopen(readPath(streamingPath).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (streamingModule == nullptr)
            return;
        streamingDiscoveryFunc =
            lookUp<StreamingDiscoveryFunc>(streamingModule, "CreateBMDStreamingDiscoveryInstance_0001");
        nalParserFunc = lookUp<NALParserFunc>(streamingModule, "CreateBMDStreamingH264NALParser_0001");
    }

    void loadDriver()
    {
        pthread_once(&driverOnce, InitDeckLinkAPI);
    }

    void loadStreaming()
    {
        pthread_once(&streamingOnce, InitBMDStreamingAPI);
    }
}

bool IsDeckLinkAPIPresent()
{
    loadDriver();
    return driverModule != nullptr;
}

IDeckLinkIterator* CreateDeckLinkIteratorInstance()
{
    loadDriver();
    return iteratorFunc != nullptr ? iteratorFunc() : nullptr;
}

IDeckLinkAPIInformation* CreateDeckLinkAPIInformationInstance()
{
    loadDriver();
    return apiInformationFunc != nullptr ? apiInformationFunc() : nullptr;
}

IDeckLinkGLScreenPreviewHelper* CreateOpenGLScreenPreviewHelper()
{
    loadDriver();
    return glPreviewFunc != nullptr ? glPreviewFunc() : nullptr;
}

IUnknown* CreateCocoaScreenPreview(void* parentView)
{
    loadDriver();
    return cocoaPreviewFunc != nullptr ? cocoaPreviewFunc(parentView) : nullptr;
}

IDeckLinkVideoConversion* CreateVideoConversionInstance()
{
    loadDriver();
    return conversionFunc != nullptr ? conversionFunc() : nullptr;
}

IDeckLinkDiscovery* CreateDeckLinkDiscoveryInstance()
{
    loadDriver();
    return discoveryFunc != nullptr ? discoveryFunc() : nullptr;
}

IBMDStreamingDiscovery* CreateBMDStreamingDiscoveryInstance()
{
    loadStreaming();
    return streamingDiscoveryFunc != nullptr ? streamingDiscoveryFunc() : nullptr;
}

IBMDStreamingH264NALParser* CreateBMDStreamingH264NALParser()
{
    loadStreaming();
    return nalParserFunc != nullptr ? nalParserFunc() : nullptr;
}

namespace vx
{
    void setDeckLinkDriverPath(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(pathLock);
        driverPath = path;
    }

    void setDeckLinkStreamingPath(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(pathLock);
        streamingPath = path;
    }
}
