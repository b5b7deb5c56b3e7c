#pragma once

#include "core/VXSpinLock.h"
#include "core/parameters/VXParamListener.h"
#include "engine/renderpasses/VXEffect.h"

#include <memory>

namespace vx
{
    class Mixer;
    class ParamRange;
    template <typename T>
    class ParamChoice;

    // Wraps a one-input effect with a mixer so that the effect's picture
    // (wet) is laid over its input (dry) by "Opacity" with the mixer picked
    // in "Blend Mode" (the registered mixers). At opacity 1 the effect draws
    // straight into the wrapper's output, at 0 or below the input is copied
    // (and chains skip the wrapper), in between the effect renders into a
    // target of its own that the mixer lays over the input. The wrapper owns
    // both passes, takes the effect's name, unique id, description and
    // widget, and keeps the effect's parameters under its path + "/effect".
    //
    // Picking a blend mode replaces the mixer on the thread that changed the
    // choice; a render in progress keeps the mixer it started with alive
    // until it ends. Everything else is render thread only.
    class DryWetEffect : public Effect, public ParamListener
    {
    public:
        DryWetEffect();
        // Owns both (either may be null).
        DryWetEffect(Effect* effectToWrap, Mixer* mixerToUse);
        ~DryWetEffect() override;

        static std::string classType() { return "DryWetEffect"; }
        static std::string classDisplayStr() { return "DryWet Effect"; }
        static RttiObject* creationFunc() { return new DryWetEffect(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // Take ownership; false (and nothing changes) for null. A new effect
        // renames the wrapper; a new mixer is shown in "Blend Mode" (without
        // notification).
        bool setEffect(Effect* effectToWrap);
        bool setMixer(Mixer* mixerToUse);
        std::shared_ptr<Effect> getEffect() const;
        std::shared_ptr<Mixer> getMixer() const;

        // The effect's, or the wrapper's own name, class display string and
        // an empty description without one.
        std::string getUniqueId() const override;
        std::string getDisplayName() const override;
        std::string getDescription() const override;
        bool hasWidget() override;
        Widget* getWidget() override;
        void handleWidget(Renderer& renderer, GuiView& view, Texture& texture) override;

        void pathChanged() override;
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;
        bool update(const TimeInfo& info) override;
        void release() override;
        bool requiresDepthBuffer() const override { return true; }

        // False without effect or mixer.
        bool init() override;
        bool needsToBeRendered() override;
        bool render(Renderer& renderer) override;
        // The effect at the wrapper's size over the wrapper's inputs.
        bool renderEffect(Renderer& renderer);

        // "Blend Mode" picked another mixer: it replaces the current one
        // (which stays when the pick cannot be made).
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        // The pass's element, then the effect's and the mixer's elements
        // marked "dwType" "Effect" and "Mixer".
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Reads the marked children into the passes held, or makes them (a
        // child of the wrong kind is dropped), refills "Blend Mode", then the
        // wrapper's own parameters. An element of the wrapped effect's own
        // kind (a preset of the bare effect) is read into the effect.
        void readStateDerived(const XmlNode& node) override;

        ParamRange& getOpacity() const { return *opacity; }
        ParamChoice<unsigned long long>& getBlendMode() const { return *blendMode; }

    private:
        void populateBlendModes();
        bool renderWithPasses(Renderer& renderer, const std::shared_ptr<Effect>& wet,
                              const std::shared_ptr<Mixer>& mix);

        std::shared_ptr<ParamRange> opacity;
        std::shared_ptr<ParamChoice<unsigned long long>> blendMode;
        mutable SpinLock passesLock;
        std::shared_ptr<Effect> effect;
        std::shared_ptr<Mixer> mixer;
    };
}
