#pragma once

#include "core/VXCurrentInstance.h"

#include "core/VXScopedPointer.h"

#include <cstdint>

namespace vx
{

    class File;
    class Texture;
    class TextureFormat;

    /** Pool of textures keyed by size rounded up to 64 (then to the hardware size
        rule); the format is matched per entry. Given-back textures age and are
        deleted when not asked for within 25.5 to 51 seconds. Owns the blank,
        black and white 16 x 16 textures. Render thread only; no lock. */
    class TextureManager : public CurrentInstance<TextureManager>
    {
    public:
        TextureManager();
        /** Deletes textures still held (release() normally did already). */
        ~TextureManager();

        TextureManager(const TextureManager&) = delete;
        TextureManager& operator=(const TextureManager&) = delete;

        /** Makes the built-in textures. */
        void init();
        /** Deletes the built-ins and every free texture; lent-out ones are left alone. */
        void release();

        /** A texture of logical size w x h in the format, reused when a free one
            of the same key and format fits. Null (logged) only when no GL texture
            can be made (size 0, over the maximum, unsupported format). */
        Texture* aquireTexture(uint16_t w, uint16_t h, const TextureFormat& format);
        /** Gives a texture back. Built-ins are ignored; a texture already in the
            pool is ignored with an error line. */
        void releaseTexture(Texture& texture);
        /** Takes a free texture out of the pool for good; false when not in it. */
        bool unManageTexture(Texture& texture);
        /** Ages the free textures by the seconds passed. */
        void update(float seconds);

        uint32_t getTotalVRAMUsage() const;
        uint32_t getUsedVRAMUsage() const;
        uint32_t getTotalTextureCount() const;
        uint32_t getUsedTextureCount() const;
        /** Free textures held in the pool. */
        int getFreeTextureCount() const;

        /** The texture decoded from the image file, in the layout the file has,
            owned by the caller and never pooled; null (logged) when the file
            does not exist or does not decode. */
        Texture* loadTexture(File& file);

        Texture* getBlankTexture() const;
        Texture* getBlackTexture() const;
        Texture* getWhiteTexture() const;

        /** Pool key of a size in a format. */
        static uint32_t computeKey(uint16_t w, uint16_t h, const TextureFormat& format);

    private:
        class Pimpl;
        ScopedPointer<Pimpl> pimpl;
    };

} // namespace vx
