#pragma once

#include "core/parameters/VXBehaviourFactory.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXParamModifier.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx::test
{
    // A play head: each update advances its re-based value by step; apply
    // answers that value. Records what reached it.
    class StepModifier : public ParamModifier
    {
    public:
        explicit StepModifier(double stepPerUpdate = 0.1, std::uint32_t flagsPerUpdate = 1)
            : step(stepPerUpdate), flags(flagsPerUpdate)
        {
        }

        void apply(double& v) override
        {
            v = value;
            ++applies;
        }
        std::uint32_t update(const TimeInfo&) override
        {
            value += step;
            ++updates;
            return flags;
        }
        void reset(const double& newValue) override
        {
            ParamModifier::reset(newValue);
            resets.push_back(newValue);
        }
        bool isAnimating() const override { return animating; }

        double step;
        std::uint32_t flags;
        bool animating = true;
        int updates = 0;
        int applies = 0;
        std::vector<double> resets;
    };

    // A behaviour of any element name, with a "Rate" parameter and an
    // optional chain; records the calls its owner makes.
    class RecordingBehaviour : public BehaviourDouble
    {
    public:
        RecordingBehaviour(ParamRange& owner, const std::string& elementName)
            : BehaviourDouble(owner, elementName, elementName)
        {
            rate = getParams()->addParamDouble("Rate", 1.0);
        }

        using BehaviourDouble::addModifier;

        void start(bool restart) override { starts.push_back(restart); }
        void stop() override { ++stops; }
        void rangesChanged() override { ++rangeChanges; }
        void directionChangedAfterUpdate() override { ++directionChanges; }

        std::shared_ptr<Param<double>> rate;
        std::vector<bool> starts;
        int stops = 0;
        int rangeChanges = 0;
        int directionChanges = 0;
    };

    template <const char* elementName>
    std::shared_ptr<BehaviourDouble> createRecording(ParamRange& owner)
    {
        return std::make_shared<RecordingBehaviour>(owner, elementName);
    }

    inline constexpr char timelineKind[] = "BehaviourTimeline";
    inline constexpr char lfoKind[] = "BehaviourLFO";
    inline constexpr char expressionKind[] = "BehaviourExpression";

    // Installs a creator for one kind while it lives, then restores the one
    // registered before (none included).
    class ScopedBehaviourKind
    {
    public:
        ScopedBehaviourKind(const std::string& kindName, BehaviourFactory::Creator creator)
            : name(kindName), previous(BehaviourFactory::getCreator(kindName))
        {
            BehaviourFactory::registerKind(name, creator);
        }
        ~ScopedBehaviourKind() { BehaviourFactory::registerKind(name, previous); }

        ScopedBehaviourKind(const ScopedBehaviourKind&) = delete;
        ScopedBehaviourKind& operator=(const ScopedBehaviourKind&) = delete;

    private:
        std::string name;
        BehaviourFactory::Creator previous;
    };
}

#include "core/VXTimeInfo.h"
#include "engine/behaviours/VXDeltaSource.h"

namespace vx::test
{
    // A frame at ms after one of deltaMs, on a 120 bpm clock that started at
    // 0 (beat delta to match).
    inline TimeInfo frame(double ms, double deltaMs = 0.0)
    {
        TimeInfo info(ms);
        info.deltaTime = deltaMs;
        info.tempo.beatPosition = ms / 500.0;
        info.tempo.beatDelta = deltaMs / 500.0;
        return info;
    }

    // A frame at a beat position with a beat delta (times to match).
    inline TimeInfo beatFrame(double beat, double beatDelta)
    {
        TimeInfo info(beat * 500.0);
        info.deltaTime = beatDelta * 500.0;
        info.tempo.beatPosition = beat;
        info.tempo.beatDelta = beatDelta;
        return info;
    }

    // Answers the next scripted result each frame (the last one again when
    // the script runs out), with scriptable random positions and beat loop.
    class ScriptedDeltaSource : public DeltaSource
    {
    public:
        ScriptedDeltaSource() : DeltaSource(timeline) {}

        Result getDelta(const TimeInfo&) override
        {
            ++calls;
            if (script.empty())
                return Result{};
            const Result next = script.front();
            if (script.size() > 1)
                script.erase(script.begin());
            return next;
        }
        void add(double delta, std::uint32_t flags = 0, double jumpPosition = -1.0)
        {
            script.push_back(Result{delta, jumpPosition, flags});
        }
        double getNormalizedRandomDuration() const override { return randomDuration; }
        void getRandomPosition(double& elapsed, double& position) const override
        {
            elapsed = 0.0;
            position = nextRandomPosition;
        }
        bool updateBeatloop(double, double& start, double& end) override
        {
            if (loopStart < 0.0)
            {
                start = 0.0;
                end = 1.0;
                return false;
            }
            start = loopStart;
            end = loopEnd;
            return true;
        }

        std::vector<Result> script;
        double randomDuration = 0.25;
        double nextRandomPosition = 0.5;
        double loopStart = -1.0; // no beat loop while negative
        double loopEnd = 1.0;
        int calls = 0;
    };
}

#include "core/VXEngineRoot.h"
#include "core/parameters/VXParamCollection.h"

namespace vx::test
{
    // An engine root and a parameter registry named current while it lives,
    // as the engine root makes them.
    class ScopedRegistry
    {
    public:
        ScopedRegistry()
        {
            EngineRoot::setCurrent(&root);
            ParamCollection::setCurrent(&collection);
        }
        ~ScopedRegistry()
        {
            ParamCollection::clearCurrent(&collection);
            EngineRoot::clearCurrent(&root);
        }
        ScopedRegistry(const ScopedRegistry&) = delete;
        ScopedRegistry& operator=(const ScopedRegistry&) = delete;

        // A range parameter at path, registered.
        std::shared_ptr<ParamRange> add(const std::string& path, double value = 0.0)
        {
            auto param = std::make_shared<ParamRange>("P", value, ValueRange<double>());
            param->setPath(path);
            collection.addParam(param);
            return param;
        }

        EngineRoot root;
        ParamCollection collection;
    };
}
