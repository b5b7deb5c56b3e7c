#pragma once

#include <memory>

namespace vx
{
    namespace av
    {
        class TextureStore;
    }

    // The one process-wide CoreVideo OpenGL texture cache through which the
    // movie readers turn decoded frames into textures. Made by the first init
    // on a thread with a current GL context; after a release (the engine
    // root's GL release) the next init makes it again. Render thread only.
    class CVOpenGLTextureCache
    {
    public:
        static CVOpenGLTextureCache& getInstance();

        // The first call since the start or the last release makes the cache
        // on the current context (false without one, not tried again until a
        // release); later calls answer whether it exists.
        bool init();
        // Null before a successful init and after release.
        av::TextureStore* getCache() const { return cache.get(); }
        void flush();
        void release();

    private:
        CVOpenGLTextureCache() = default;
        bool initialised = false;
        std::unique_ptr<av::TextureStore> cache;
    };

    namespace AVFoundation
    {
        // The movie module's shutdown hook: releases the texture cache.
        void releaseCache();
    }
}
