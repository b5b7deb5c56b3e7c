#pragma once

namespace vx
{

    class Texture;

    /** Move-only owner of a texture lent by the engine's texture pool; gives it
        back when reset or destroyed. Without a pool the texture is deleted
        instead. */
    class TextureRef
    {
    public:
        TextureRef() = default;
        explicit TextureRef(Texture* lentTexture) : texture(lentTexture) {}
        TextureRef(TextureRef&& other) noexcept;
        TextureRef& operator=(TextureRef&& other) noexcept;
        ~TextureRef();

        TextureRef(const TextureRef&) = delete;
        TextureRef& operator=(const TextureRef&) = delete;

        /** Gives back the held texture (if any) and holds the new one. */
        void reset(Texture* newTexture = nullptr);
        TextureRef& operator=(Texture* newTexture);
        /** Answers the texture and holds nothing, without giving it back. */
        Texture* steal();

        Texture* get() const { return texture; }
        Texture* operator->() const { return texture; }
        Texture& operator*() const { return *texture; }
        bool operator==(const Texture* other) const { return texture == other; }
        bool operator!=(const Texture* other) const { return texture != other; }

    private:
        Texture* texture = nullptr;
    };

} // namespace vx
