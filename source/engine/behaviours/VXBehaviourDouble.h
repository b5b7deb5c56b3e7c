#pragma once

#include "core/VXCriticalSection.h"
#include "core/parameters/VXValueRange.h"
#include "core/xml/VXXmlCapable.h"
#include "engine/behaviours/VXParamBehaviour.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class ParamContainer;
    class ParamModifier;

    // A behaviour over a range parameter's normalised value: a chain of
    // modifiers that each frame update (ORing their change flags) and then
    // map the value in chain order. Derived behaviours append their
    // modifiers in their constructors and never reorder them, and keep their
    // own parameters in the "Params" container, written as the first child
    // of their element.
    //
    // The chain is used without a lock, on the thread that updates the
    // owner; only the link count is guarded.
    class BehaviourDouble : public ParamBehaviour, public XmlCapable
    {
    public:
        explicit BehaviourDouble(ParamRange& owner);
        ~BehaviourDouble() override;

        // The OR of the chain's flags; directionChangedAfterUpdate once when
        // any is set. 0 for an empty chain.
        std::uint32_t update(const TimeInfo& info) override;
        double getSpeed(const TimeInfo& info) const override;
        // n sub-steps of one frame into values and flags (n entries each,
        // flags zeroed by the caller). With one modifier, values are
        // provided by the caller and mapped in place; with more, they are
        // produced from value. Answers the OR of all flags; 0 for an empty
        // chain or n below 1, leaving info untouched.
        virtual std::uint32_t updateSliced(TimeInfo& info, double* values, int* flags, double value, int n);
        virtual bool isEmpty() const;
        // v through every modifier in chain order.
        virtual double apply(double v);
        // False for an empty chain, else true only when every modifier is.
        virtual bool isAnimating() const;
        // Told after the owner's window changed.
        virtual void rangesChanged() {}
        // Re-paths the Params container and the owner's min/max and
        // start/stop ranges below this behaviour.
        void pathChanged() override;
        // True when the Params container holds a parameter.
        bool needsToWriteState() override;
        // The element, with the Params container's element as last child
        // when it writes one.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Reads the first "Params" child into the container (made when
        // missing); nothing without one.
        void readStateDerived(const XmlNode& node) override;
        virtual void directionChangedAfterUpdate() {}
        // Where the play head stood elapsedMs before the frame lastFrame (whose
        // tempo turns time into beats for beat-driven kinds), stepped back
        // from phase along the play direction and folded into the play
        // window, in [0, 1]. False, stepped untouched, for a behaviour with
        // no play head to step back along (not a timeline, random or paused,
        // no usable duration). Cue points use it.
        virtual bool stepBackPhase(double phase, double elapsedMs, const TimeInfo& lastFrame, double& stepped) const
        {
            (void)phase;
            (void)elapsedMs;
            (void)lastFrame;
            (void)stepped;
            return false;
        }

        // Re-bases every modifier at v, in chain order.
        void resetModifiers(double v);

        void incrementLinkCount();
        void decrementLinkCount();
        std::int32_t getLinkCount() const;

        const std::shared_ptr<ParamContainer>& getParams() const { return params; }
        int getNumModifiers() const { return static_cast<int>(chain.size()); }

    protected:
        // For derived kinds with their own element and object name.
        BehaviourDouble(ParamRange& owner, const std::string& elementName, const std::string& name);

        void addModifier(const std::shared_ptr<ParamModifier>& modifier) { chain.push_back(modifier); }

        ValueRange<double>& minMaxRange;
        ValueRange<double>& startStopRange;
        std::vector<std::shared_ptr<ParamModifier>> chain;
        std::shared_ptr<ParamContainer> params;

    private:
        CriticalSection linkLock;
        std::int32_t linkCount = 0;
    };
}
