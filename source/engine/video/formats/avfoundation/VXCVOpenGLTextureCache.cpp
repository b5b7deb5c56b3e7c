#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"

#include "core/VXLog.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"

namespace vx
{
    CVOpenGLTextureCache& CVOpenGLTextureCache::getInstance()
    {
        // Never destroyed: GL names cannot be deleted at exit, without a context.
        static CVOpenGLTextureCache* const instance = new CVOpenGLTextureCache();
        return *instance;
    }

    bool CVOpenGLTextureCache::init()
    {
        if (initialised)
            return cache != nullptr;
        initialised = true;
        cache = av::TextureStore::create();
        if (cache == nullptr)
        {
            debugPrint("CVOpenGLTextureCache: no current OpenGL context, no texture cache");
            return false;
        }
        return true;
    }

    void CVOpenGLTextureCache::flush()
    {
        if (cache != nullptr)
            cache->flush();
    }

    void CVOpenGLTextureCache::release()
    {
        // A later engine root makes its own on its next init.
        cache.reset();
        initialised = false;
    }

    namespace AVFoundation
    {
        void releaseCache()
        {
            CVOpenGLTextureCache::getInstance().release();
        }
    }
}
