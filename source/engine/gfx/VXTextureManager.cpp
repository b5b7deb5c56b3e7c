#include "engine/gfx/VXTextureManager.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXImageDecoder.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vx
{

    namespace
    {
        constexpr float ageStepSeconds = 25.5f;
        constexpr float freshLife = 51.0f;
        constexpr float sizeGranularity = 64.0f;

        int roundUpToGranularity(int side)
        {
            return static_cast<int>(sizeGranularity * std::ceil(static_cast<float>(side) / sizeGranularity));
        }

        // The layout of a decoded image by its bytes per pixel, as the image
        // utilities choose it; null for any other size.
        const TextureFormat* formatForChannels(int channels)
        {
            switch (channels)
            {
                case 1:
                    return &Texture::I8;
                case 2:
                    return &Texture::I16I;
                case 3:
                    return &Texture::RGB8;
                case 4:
                    return &Texture::RGBA8;
                case 8:
                    return &Texture::RGBA16I;
                case 16:
                    return &Texture::RGBA32F;
                default:
                    return nullptr;
            }
        }
    }

    class TextureManager::Pimpl
    {
    public:
        struct FreeEntry
        {
            Texture* texture;
            float life;
            uint32_t vram; // counted when given back; the texture may have been released since
        };

        Texture* blank = nullptr;
        Texture* black = nullptr;
        Texture* white = nullptr;
        std::unordered_map<uint32_t, std::list<FreeEntry>> freeLists;
        uint32_t totalVRAM = 0;
        uint32_t usedVRAM = 0;
        uint32_t totalCount = 0;
        uint32_t usedCount = 0;
        float ageTimer = ageStepSeconds;
        bool initialised = false;

        Pimpl() { freeLists.max_load_factor(1.0f); }

        bool isBuiltIn(const Texture* t) const { return t == blank || t == black || t == white; }

        void forgetFree(const FreeEntry& entry)
        {
            totalVRAM -= entry.vram;
            --totalCount;
            delete entry.texture;
        }

        Texture* makeBuiltIn(TextureManager& owner, const TextureFormat& format, unsigned char fill)
        {
            Texture* texture = owner.aquireTexture(16, 16, format);
            if (texture == nullptr)
                return nullptr;
            texture->resize(texture->getHardwareWidth(), texture->getHardwareHeight());
            std::vector<unsigned char> bytes(static_cast<size_t>(texture->getHardwareWidth()) *
                                                 static_cast<size_t>(texture->getHardwareHeight()) *
                                                 static_cast<size_t>(format.bytesPerPixel),
                                             fill);
            texture->update(bytes.data(), 0, 0, texture->getHardwareWidth(), texture->getHardwareHeight());
            return texture;
        }

        void deleteBuiltIn(Texture*& texture)
        {
            if (texture == nullptr)
                return;
            totalVRAM -= texture->getVRAMSize();
            usedVRAM -= texture->getVRAMSize();
            --totalCount;
            --usedCount;
            texture->release();
            delete texture;
            texture = nullptr;
        }
    };

    TextureManager::TextureManager() : pimpl(new Pimpl())
    {
    }

    TextureManager::~TextureManager()
    {
        // Nothing else can reach these any more.
        for (auto& [key, entries] : pimpl->freeLists)
            for (auto& entry : entries)
                delete entry.texture;
        delete pimpl->blank;
        delete pimpl->black;
        delete pimpl->white;
    }

    uint32_t TextureManager::computeKey(uint16_t w, uint16_t h, const TextureFormat& format)
    {
        const auto roundedW =
            Texture::getExpectedHardwareWidth(static_cast<uint16_t>(std::min(roundUpToGranularity(w), 0xFFFF)), format);
        const auto roundedH = Texture::getExpectedHardwareHeight(
            static_cast<uint16_t>(std::min(roundUpToGranularity(h), 0xFFFF)), format);
        return (static_cast<uint32_t>(roundedW) << 16) | (static_cast<uint32_t>(roundedH) & 0xFFFFu);
    }

    void TextureManager::init()
    {
        pimpl->initialised = true;
        if (pimpl->blank == nullptr)
            pimpl->blank = pimpl->makeBuiltIn(*this, Texture::RGBA8, 0x00);
        if (pimpl->black == nullptr)
            pimpl->black = pimpl->makeBuiltIn(*this, Texture::RGB8, 0x00);
        if (pimpl->white == nullptr)
            pimpl->white = pimpl->makeBuiltIn(*this, Texture::RGB8, 0xFF);
    }

    void TextureManager::release()
    {
        pimpl->deleteBuiltIn(pimpl->blank);
        pimpl->deleteBuiltIn(pimpl->black);
        pimpl->deleteBuiltIn(pimpl->white);
        for (auto& [key, entries] : pimpl->freeLists)
            for (auto& entry : entries)
                pimpl->forgetFree(entry);
        pimpl->freeLists.clear();
        pimpl->initialised = false;
    }

    Texture* TextureManager::aquireTexture(uint16_t w, uint16_t h, const TextureFormat& format)
    {
        const uint32_t key = computeKey(w, h, format);
        if (auto found = pimpl->freeLists.find(key); found != pimpl->freeLists.end())
        {
            auto& entries = found->second;
            for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            {
                if (it->texture == nullptr || it->texture->getFormat() != format)
                    continue;
                const Pimpl::FreeEntry entry = *it;
                Texture* texture = entry.texture;
                entries.erase(std::next(it).base());
                if (texture->resize(w, h))
                {
                    // A texture that had to be recreated changed its size in VRAM.
                    pimpl->totalVRAM += texture->getVRAMSize() - entry.vram;
                    pimpl->usedVRAM += texture->getVRAMSize();
                    ++pimpl->usedCount;
                    texture->ignoreFlip = false;
                    return texture;
                }
                // Unusable (its GL texture is gone or cannot be remade): it
                // leaves the pool for good rather than being lost.
                logPrint(logError,
                         "TextureManager::aquireTexture: a pooled texture could not be resized to %u x %u; deleted",
                         static_cast<unsigned>(w), static_cast<unsigned>(h));
                pimpl->forgetFree(entry);
                break;
            }
        }

        auto* texture = new Texture();
        // Made at the rounded size so later requests of the same key fit.
        const int createW = std::max<int>(w, std::min(roundUpToGranularity(w), GfxInfo::VX_MAX_TEXTURE_SIZE));
        const int createH = std::max<int>(h, std::min(roundUpToGranularity(h), GfxInfo::VX_MAX_TEXTURE_SIZE));
        if (w == 0 || h == 0 || ! texture->create(createW, createH, format))
        {
            logPrint(logError, "TextureManager::aquireTexture: cannot make a %u x %u texture in format \"%s\"",
                     static_cast<unsigned>(w), static_cast<unsigned>(h), format.name.c_str());
            delete texture;
            return nullptr;
        }
        pimpl->totalVRAM += texture->getVRAMSize();
        texture->resize(w, h);
        pimpl->usedVRAM += texture->getVRAMSize();
        ++pimpl->totalCount;
        ++pimpl->usedCount;
        return texture;
    }

    void TextureManager::releaseTexture(Texture& texture)
    {
        if (pimpl->isBuiltIn(&texture))
            return;
        const uint32_t key = computeKey(texture.getWidth(), texture.getHeight(), texture.getFormat());
        auto& entries = pimpl->freeLists[key];
        for (const auto& entry : entries)
            if (entry.texture == &texture)
            {
                logPrint(logError, "TextureManager::releaseTexture: texture %u (%d x %d) was given back twice",
                         texture.getGLName(), texture.getWidth(), texture.getHeight());
                return;
            }
        entries.push_back({&texture, freshLife, texture.getVRAMSize()});
        pimpl->usedVRAM -= texture.getVRAMSize();
        --pimpl->usedCount;
    }

    bool TextureManager::unManageTexture(Texture& texture)
    {
        const uint32_t key = computeKey(texture.getWidth(), texture.getHeight(), texture.getFormat());
        auto found = pimpl->freeLists.find(key);
        if (found == pimpl->freeLists.end())
            return false;
        auto& entries = found->second;
        auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.texture == &texture; });
        if (it == entries.end())
            return false;
        entries.erase(it);
        pimpl->usedVRAM += texture.getVRAMSize();
        ++pimpl->usedCount;
        return true;
    }

    void TextureManager::update(float seconds)
    {
        pimpl->ageTimer -= seconds;
        if (pimpl->ageTimer >= 0.0f)
            return;
        pimpl->ageTimer += ageStepSeconds;
        for (auto& [key, entries] : pimpl->freeLists)
        {
            for (auto it = entries.end(); it != entries.begin();)
            {
                --it;
                it->life -= ageStepSeconds;
                if (it->life <= 0.0f)
                {
                    pimpl->forgetFree(*it);
                    it = entries.erase(it);
                }
            }
        }
    }

    uint32_t TextureManager::getTotalVRAMUsage() const
    {
        return pimpl->totalVRAM;
    }
    uint32_t TextureManager::getUsedVRAMUsage() const
    {
        return pimpl->usedVRAM;
    }
    uint32_t TextureManager::getTotalTextureCount() const
    {
        return pimpl->totalCount;
    }
    uint32_t TextureManager::getUsedTextureCount() const
    {
        return pimpl->usedCount;
    }

    int TextureManager::getFreeTextureCount() const
    {
        int count = 0;
        for (const auto& [key, entries] : pimpl->freeLists)
            count += static_cast<int>(entries.size());
        return count;
    }

    Texture* TextureManager::getBlankTexture() const
    {
        return pimpl->blank;
    }
    Texture* TextureManager::getBlackTexture() const
    {
        return pimpl->black;
    }
    Texture* TextureManager::getWhiteTexture() const
    {
        return pimpl->white;
    }

    Texture* TextureManager::loadTexture(File& file)
    {
        if (! file.existsAsFile())
        {
            logPrint(logError, "TextureManager::loadTexture: no file %s", file.getFullPath().c_str());
            return nullptr;
        }
        ImageDecoder* decoder = ImageDecoder::getCurrent();
        if (decoder == nullptr)
        {
            logPrint(logError, "TextureManager::loadTexture: no image decoder is installed");
            return nullptr;
        }
        unsigned long w = 0, h = 0;
        int channels = 0;
        const std::unique_ptr<unsigned char, decltype(&std::free)> pixels(
            decoder->decodeFile(file, &w, &h, &channels, 0), &std::free);
        const TextureFormat* format = formatForChannels(channels);
        if (pixels == nullptr || format == nullptr || w > 0xFFFF || h > 0xFFFF)
        {
            logPrint(logError, "TextureManager::loadTexture: cannot make a texture of %s (%d channels)",
                     file.getFullPath().c_str(), channels);
            return nullptr;
        }
        // Decoded as the file has it and never pooled: the caller owns it.
        auto texture = std::make_unique<Texture>();
        if (! texture->create(pixels.get(), static_cast<int>(w), static_cast<int>(h), *format))
            return nullptr;
        return texture.release();
    }

} // namespace vx
