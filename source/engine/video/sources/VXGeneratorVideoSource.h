#pragma once

#include "engine/video/sources/VXPositionableVideoSource.h"

#include <memory>

namespace vx
{
    class FormatConversion;
    class Generator;

    // A generator render pass as a source: the pass heads the source's chain
    // (and travels in the chain's element); a generator whose output is not
    // premultiplied is followed by the shared "FormatConversion". Both stay
    // at the head of the chain whatever edits, presets and restores do.
    class GeneratorVideoSource : public PositionableVideoSource
    {
    public:
        // 640 x 480 over g, which the chain takes (null: no generator).
        explicit GeneratorVideoSource(Generator* g);
        // No generator, 0 x 0, and a chain that draws nothing without passes:
        // for a source read from XML.
        GeneratorVideoSource();

        // The base update only.
        bool update(const TimeInfo& info) override;
        // The generator's display name; "GeneratorVideoSource" without one.
        std::string getDescription() const override;
        // The generator's parameters.
        std::shared_ptr<ParamContainer> getAdditionalParams() const override;
        bool hasCustomThumbnail() override;
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        void resized(int newWidth, int newHeight) override;
        // The base release, then the conversion pass leaves the chain.
        void release() override;
        TextureRef render(Renderer& renderer, const RenderInfo& info) override;
        // The last generator in the chain becomes the source's, with the info
        // of the extension under its unique id.
        void readStatePost() override;

        Generator* getGenerator() const { return generator.get(); }
        const std::shared_ptr<FormatConversion>& getFormatConversion() const { return conversion; }

    private:
        std::shared_ptr<Generator> generator;
        std::shared_ptr<FormatConversion> conversion;
    };
}
