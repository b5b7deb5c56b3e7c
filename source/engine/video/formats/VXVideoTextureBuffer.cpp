#include "engine/video/formats/VXVideoTextureBuffer.h"

#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/video/formats/VXVideoFormatReader.h"

namespace vx
{
    VideoTextureBuffer::VideoTextureBuffer(int textureCount, std::uint16_t w, std::uint16_t h,
                                           const TextureFormat* textureFormat)
        : textureManager(TextureManager::getCurrent()),
          count(textureCount > 0 ? textureCount : 0),
          width(w),
          height(h),
          format(textureFormat)
    {
        for (int i = 0; i < count; ++i)
        {
            Texture* texture = nullptr;
            if (format != nullptr && textureManager != nullptr)
                texture = textureManager->aquireTexture(width, height, *format);
            // A pooled texture holds what its last user left in it; a new one nothing.
            filled.push_back(texture == nullptr);
            textures.push_back(texture != nullptr ? texture : new Texture());
        }
    }

    VideoTextureBuffer::~VideoTextureBuffer()
    {
        clear();
    }

    void VideoTextureBuffer::giveBack(Texture* texture)
    {
        if (texture == nullptr)
            return;
        if (format != nullptr && textureManager != nullptr && texture->isValid())
            textureManager->releaseTexture(*texture);
        else if (GfxObjectManager* objects = GfxObjectManager::getCurrent())
            objects->addForDeletion(texture);
        else
            delete texture;
    }

    bool VideoTextureBuffer::readTextureFromVideoReader(VideoFormatReader& reader, int i)
    {
        if (i < 0 || i >= static_cast<int>(textures.size()))
            return false;
        Texture*& texture = textures[static_cast<std::size_t>(i)];
        const TextureFormat* readerFormat = reader.getTextureFormat();
        const int w = reader.getTextureWidth(), h = reader.getTextureHeight();
        if (readerFormat != nullptr && w > 0 && h > 0)
        {
            const bool fits = texture != nullptr && texture->isValid() && texture->getWidth() == w &&
                              texture->getHeight() == h && texture->getFormat() == *readerFormat;
            if (! fits)
            {
                Texture* fresh = nullptr;
                if (textureManager != nullptr && format != nullptr)
                {
                    giveBack(texture);
                    texture = nullptr;
                    fresh = textureManager->aquireTexture(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h),
                                                          *readerFormat);
                }
                if (fresh == nullptr)
                {
                    if (texture == nullptr)
                        texture = new Texture();
                    texture->release();
                    texture->create(w, h, *readerFormat);
                }
                else
                    texture = fresh;
                filled[static_cast<std::size_t>(i)] = fresh == nullptr;
            }
        }
        if (texture == nullptr || ! reader.updateTexture(texture))
            return false;
        filled[static_cast<std::size_t>(i)] = true;
        return true;
    }

    bool VideoTextureBuffer::isFilled(int i) const
    {
        return i >= 0 && i < static_cast<int>(filled.size()) && filled[static_cast<std::size_t>(i)];
    }

    void VideoTextureBuffer::writeTextureToVideoWriter(VideoFormatWriter&, int) {}

    void VideoTextureBuffer::clear()
    {
        while (! textures.empty())
        {
            giveBack(textures.back());
            textures.pop_back();
        }
        filled.clear();
    }

    void VideoTextureBuffer::clear(int i)
    {
        if (i < 0 || i >= static_cast<int>(textures.size()))
            return;
        giveBack(textures[static_cast<std::size_t>(i)]);
        textures.erase(textures.begin() + i);
        filled.erase(filled.begin() + i);
    }

    void VideoTextureBuffer::setTexture(int i, Texture* t)
    {
        if (i < 0 || i > static_cast<int>(textures.size()))
            return;
        if (i < static_cast<int>(textures.size()))
            clear(i);
        textures.insert(textures.begin() + i, t);
        filled.insert(filled.begin() + i, t != nullptr);
    }

    Texture* VideoTextureBuffer::getTexture(int i) const
    {
        return i >= 0 && i < static_cast<int>(textures.size()) ? textures[static_cast<std::size_t>(i)] : nullptr;
    }
}
