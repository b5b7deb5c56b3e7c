#pragma once

#include "core/parameters/VXExtension.h"

#include <string>

namespace vx
{
    class DryWetEffect;
    class Effect;
    class FFGLPluginInstance;
    class Generator;
    class Mixer;
    class RenderPass;
    class RttiObject;
    class XmlState;

    // What a kind of render pass is offered as. 0 also marks the framework
    // classes that are registered only to be made again from XML.
    enum RenderPassCategory : int
    {
        RenderPassCategoryAny = 0,
        RenderPassCategoryEffect = 1,
        RenderPassCategoryMixer = 2,
        RenderPassCategoryGenerator = 3,
        // A hosted plugin with more than two inputs: offered as nothing.
        RenderPassCategoryManyInputs = 4
    };

    // The description of one kind of render pass in the registry: how to make
    // it, what it is offered as, and its presets (from vx::Extension).
    // Complete once registered; only its presets change afterwards.
    class RenderPassInfo : public Extension
    {
    public:
        using CreationFunc = RttiObject* (*)();

        // How passes of the kind are made: by a class's creation function, or
        // by loading a hosted plugin file.
        enum SourceKind : int
        {
            SourceNone = -1,
            SourceInternal = 0,
            SourceFFGLPlugin = 1
        };

        explicit RenderPassInfo(bool hidden);

        std::string getExtensionDescription() const override { return description; }
        std::string getExtensionName() const override { return name; }
        std::string getExtensionDisplayName() const override { return displayName; }
        std::string getExtensionUniqueId() const override { return uniqueId; }
        int getCategory() const override { return category; }

        // New passes, owned by the caller, or null. Every pass made here has
        // this description as its extension.

        // The creation function's pass.
        RenderPass* instantiate();
        // With wrap on a dry/wet-wrappable kind, the pass inside a dry/wet
        // wrapper; with a preset, the pass linked to it and its state read.
        // A hosted plugin's kind loads its file anew: its effects always come
        // wrapped; null when the file no longer loads.
        RenderPass* createRenderPass(XmlState* preset, bool wrap);
        // The kind's pass as it is, never wrapped: what its presets hold.
        RenderPass* createBarePass();
        // The kind's pass as an effect or a generator; null for a pass of
        // another kind (which is deleted).
        Effect* createEffect();
        Generator* createGenerator();
        // A non-empty name asks for the mixer registered under that name (in
        // the current render-pass manager); an empty one for this kind.
        Mixer* createMixer(const std::string& mixerName);
        // The kind's effect inside a dry/wet wrapper that owns it, mixed by
        // the mixer registered as "Alpha" (a plain two-input mixer when there
        // is none); null for a kind without name or effect.
        DryWetEffect* createDryWetEffect();

        SourceKind getSourceKind() const { return sourceKind; }
        RenderPassCategory getRenderPassCategory() const { return category; }
        CreationFunc getCreationFunc() const { return creationFunc; }
        int getNumInputs() const { return numInputs; }
        bool isDryWetWrappable() const { return dryWetWrappable; }
        const std::string& getFilePath() const { return filePath; }
        const std::string& getShortName() const { return shortName; }

    private:
        friend class RenderPassFactory;

        // A new instance of the kind's plugin file, or null.
        FFGLPluginInstance* loadPlugin() const;
        template <typename T>
        T* withExtension(T* pass)
        {
            pass->setExtension(this);
            return pass;
        }

        // The creation function's object as a pass of this kind, or null
        // (an object of another kind is deleted).
        RenderPass* createInternal();

        SourceKind sourceKind = SourceNone;
        RenderPassCategory category = RenderPassCategoryAny;
        CreationFunc creationFunc = nullptr;
        int numInputs = 0;
        bool dryWetWrappable = false;
        std::string filePath;
        std::string name;
        std::string shortName;
        std::string displayName;
        std::string description;
        std::string uniqueId;
    };
}
