#include "engine/gfx/VXTextureRef.h"

#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"

namespace vx
{

    namespace
    {
        void giveBack(Texture* texture)
        {
            if (texture == nullptr)
                return;
            if (auto* manager = TextureManager::getCurrent())
                manager->releaseTexture(*texture);
            else
                GfxObject::deleteUsingManager(texture); // no pool left to take it
        }
    }

    TextureRef::TextureRef(TextureRef&& other) noexcept : texture(other.texture)
    {
        other.texture = nullptr;
    }

    TextureRef& TextureRef::operator=(TextureRef&& other) noexcept
    {
        if (this != &other)
        {
            giveBack(texture);
            texture = other.texture;
            other.texture = nullptr;
        }
        return *this;
    }

    TextureRef::~TextureRef()
    {
        reset();
    }

    void TextureRef::reset(Texture* newTexture)
    {
        if (newTexture == texture)
            return;
        giveBack(texture);
        texture = newTexture;
    }

    TextureRef& TextureRef::operator=(Texture* newTexture)
    {
        reset(newTexture);
        return *this;
    }

    Texture* TextureRef::steal()
    {
        Texture* stolen = texture;
        texture = nullptr;
        return stolen;
    }

} // namespace vx
