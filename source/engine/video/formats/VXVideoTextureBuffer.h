#pragma once

#include <cstdint>
#include <vector>

namespace vx
{
    class Texture;
    class TextureFormat;
    class TextureManager;
    class VideoFormatReader;
    class VideoFormatWriter;

    // A small set of textures filled from a reader, pooled through the
    // texture manager when a format is given. Render thread only.
    class VideoTextureBuffer
    {
    public:
        // With a format the textures come from the current texture manager
        // (none without one); otherwise they are empty textures.
        VideoTextureBuffer(int count, std::uint16_t width, std::uint16_t height, const TextureFormat* format);
        ~VideoTextureBuffer();
        VideoTextureBuffer(const VideoTextureBuffer&) = delete;
        VideoTextureBuffer& operator=(const VideoTextureBuffer&) = delete;

        // Fits texture i to the reader's size and format, then uploads the
        // reader's current frame into it; false for an index outside the
        // buffer or when nothing was uploaded.
        bool readTextureFromVideoReader(VideoFormatReader& reader, int i);
        // Texture i holds nothing another user left in it: made here (empty
        // or zero-filled) or handed over by setTexture, or taken from the
        // pool and since filled by a reader's upload.
        bool isFilled(int i) const;
        void writeTextureToVideoWriter(VideoFormatWriter& writer, int i);

        // Gives every texture back, last first.
        void clear();
        void clear(int i);
        // Replaces texture i (given back) by t, which the buffer now holds.
        void setTexture(int i, Texture* t);

        int getNumTextures() const { return count; }
        Texture* getTexture(int i) const;
        const std::vector<Texture*>& getTextures() const { return textures; }
        std::uint16_t getWidth() const { return width; }
        std::uint16_t getHeight() const { return height; }
        const TextureFormat* getTextureFormat() const { return format; }

    private:
        void giveBack(Texture* texture);

        TextureManager* textureManager;
        int count;
        std::uint16_t width, height;
        const TextureFormat* format;
        std::vector<Texture*> textures;
        std::vector<bool> filled;
    };
}
