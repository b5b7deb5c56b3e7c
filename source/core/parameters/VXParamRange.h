#pragma once

#include "core/VXReadWriteCriticalSection.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXValueRange.h"

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace vx
{
    class BehaviourDouble;
    class TimeUnitEventHandler;

    // The continuous parameter: a double inside a user-adjustable window,
    // also held as its normalised position in that window, and animated by
    // the behaviour it always owns. Three ranges describe it:
    // - defaultRange: the range it was made with (or the defaults table's),
    //   against which saved state is judged unchanged;
    // - minMax: how far the user may open the window;
    // - startStop: the window the value moves in and is normalised over.
    // Hosts set it with normalised values, the behaviour drives it once per
    // frame, and presets save its ranges and behaviour. Element "ParamRange".
    //
    // Threads: the behaviour pointer is the only field shared with other
    // threads (readers copy it under the read side of its lock). Everything
    // else belongs to the thread that updates parameters; the time-unit
    // handler guards its pending event itself.
    class ParamRange : public Param<double>
    {
    public:
        // Per-name ranges that replace the range a parameter is made with.
        // Read at construction and in reset without a lock: only the host
        // fills it, before it makes parameters.
        class Defaults
        {
        public:
            void setRangeForName(const std::string& name, const std::pair<double, double>& range);
            // Null when the name has no row.
            const std::pair<double, double>* getRangeForName(const std::string& name) const;

        private:
            std::map<std::string, std::pair<double, double>> rows;
        };

        static Defaults defaults;

        // Value and default are value (the default is not clamped); the
        // value is clamped into the ranges; a basic behaviour.
        ParamRange(const std::string& name, double value, const ValueRange<double>& range);
        // The same with handler taken into shared ownership (a null handler
        // gets a new one).
        ParamRange(const std::string& name, double value, const ValueRange<double>& range,
                   TimeUnitEventHandler* handler);
        ~ParamRange() override;

        // Ranges set up again from range, then the clamped default, then
        // setValue(defaultValue) under the default change type.
        void reset(double defaultValue, const ValueRange<double>& range);

        // Values.

        // Clamps v into the window (NaN stays NaN), or, when wrapping is on,
        // steps it in by whole window widths: (0, 10) takes 25 to 5, 20 to
        // 10 and -10 to 0. Wrapping always ends: far values are brought in
        // arithmetically; NaN stays NaN; an infinite v, or a window of zero,
        // negative, NaN or infinite width, gives the window's start.
        double constrainValue(double v) const;
        // Constrains v and sets its normalised position. An unchanged value
        // answers false at once unless the type is 2.
        bool setValue(const double& v, ValueChangeInfo info) override;
        // The path of every host, GUI and animation change: wraps (as
        // constrainValue over (0, 1)) or clamps n into [0, 1], re-bases the behaviour unless the
        // change comes from the animation, stores and notifies by the change
        // type. Answers false only for an unchanged n under types 0 and 1.
        virtual bool setValueNormalized(double n, ValueChangeInfo info);
        // Dragging that snaps to the default within half a snap distance.
        // Does not re-base the behaviour.
        void setValueNormalizedWithDefaultSnap(double n, double snap, ValueChangeInfo info);

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif
        // Clamped into the window; the inherited virtual form (reached
        // through a Param<double>&) stores without clamping.
        void setDefaultValue(double v);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

        double getValueNormalized() const
        {
            return valueNormalized;
        }
        // The value's position in minMax; 1 when its bounds are equal.
        double getValueNormalizedMinMax() const;
        // v's position in the window; 1 when its bounds are equal.
        double normalizeValue(double v) const;

        void setWrapsAroundRange(bool shouldWrap)
        {
            wrapsAroundRange = shouldWrap;
        }
        bool getWrapsAroundRange() const
        {
            return wrapsAroundRange;
        }

        // A path, relative to this parameter, that a link behaviour follows;
        // kept here, saved by the behaviour.
        void setRelativeLinkPath(const std::string& path)
        {
            relativeLinkPath = path;
        }
        std::string getRelativeLinkPath() const
        {
            return relativeLinkPath;
        }

        // Ranges. The reference forms bypass every rule below.

        const ValueRange<double>& getDefaultRange() const
        {
            return defaultRange;
        }
        const ValueRange<double>& getMinMaxRange() const
        {
            return minMax;
        }
        const ValueRange<double>& getStartStopRange() const
        {
            return startStop;
        }
        ValueRange<double>& getDefaultRangeReference()
        {
            return defaultRange;
        }
        ValueRange<double>& getMinMaxRangeReference()
        {
            return minMax;
        }
        ValueRange<double>& getStartStopRangeReference()
        {
            return startStop;
        }
        // The window measured in minMax, named "range".
        ValueRange<double> getStartStopRangeNormalized() const
        {
            return minMax.normalize(startStop);
        }

        // Each of these ends with the window update: the value re-set from
        // its (clamped) position under change type 2, so listeners always
        // hear a value notice, then rangesChanged.
        void setMinMaxRange(const ValueRange<double>& range, bool resetStartStop, ValueChangeInfo info);
        // Only when v is below minMax's max.
        void setMinValue(double v, ValueChangeInfo info);
        // Only when v is above minMax's min.
        void setMaxValue(double v, ValueChangeInfo info);
        // range confined into minMax.
        void setStartStopRange(const ValueRange<double>& range, ValueChangeInfo info);
        // The window's start, kept at least one machine epsilon (absolute)
        // below its stop.
        void setStartValue(double v, ValueChangeInfo info);
        // The window's stop, kept at least one machine epsilon above its start.
        void setStopValue(double v, ValueChangeInfo info);
        // The window from a range normalised over minMax. Nothing else: the
        // value, listeners and rangesChanged are left to the caller.
        void setStartStopRangeNormalized(const ValueRange<double>& range, ValueChangeInfo info);

        // Tells the behaviour.
        virtual void rangesChanged();

        // Behaviour.

        // A copy taken under the read lock; never empty.
        std::shared_ptr<BehaviourDouble> getBehaviour() const;
        // The behaviour as a B, empty when it is another kind.
        template <typename B>
        std::shared_ptr<B> behaviour() const
        {
            return std::dynamic_pointer_cast<B>(getBehaviour());
        }
        // Installs b, re-bases it at the normalised value, then sends
        // StateChange_Behaviour_Changed. A null b installs a new basic
        // behaviour (the behaviour is never empty).
        void setBehaviour(std::shared_ptr<BehaviourDouble> b);
        // Takes ownership of b.
        void setBehaviour(BehaviourDouble* b);
        // A new basic behaviour, silently and without re-basing.
        void removeBehaviour();
        // A new basic behaviour, carrying over the current one's saved state
        // unless discardState; then setBehaviour.
        void resetBehaviour(bool discardState);
        // The behaviour's element (not forced), or null.
        XmlNode* getBehaviourXml(XmlPool& pool);

        virtual void setBehaviourDerivedPre()
        {
        }
        virtual void setBehaviourDerivedPost()
        {
        }

        // Playback.

        // Now: starts the behaviour at once. Otherwise the start waits in the
        // time-unit handler for the update in which it is due (replacing any
        // pending start or stop).
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;
        // Fires a start or stop that became due.
        virtual void updateTimeUnitEvent(const TimeInfo& info);
        // A due start or stop first; then, unless the user is editing (the
        // behaviour follows the hand instead), the behaviour runs and an
        // animating one sets the normalised value (source animation).
        bool update(const TimeInfo& info) override;

        std::shared_ptr<TimeUnitEventHandler> getTimeUnitEventHandler() const
        {
            return timeUnitEventHandler;
        }

        // Persistence.

        // Also re-paths the behaviour below this parameter.
        void pathChanged() override;
        // A changed value (storage not 2), or a behaviour that needs saving,
        // or a window or minMax that differs from the default range.
        bool needsToWriteState() override;
        // The base attributes, then "ValueRange" children for the ranges that
        // differ, then the behaviour's element when it needs saving.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Value and ranges, then the behaviour: reset to a basic one, then
        // replaced by the first known behaviour child (registered kinds only).
        void readStateDerived(const XmlNode& node) override;

        // A new parameter owned by the caller, named from "name", with the
        // default range of its "defaultRange" child, then read from node;
        // null for a null node.
        static ParamRange* createParamFromXmlNode(const XmlNode* node);

    private:
        void setUpRanges();
        void updateWindow(const ValueChangeInfo& info);
        void setPlaying(bool isPlaying, bool restart);

        double valueNormalized = 0.0;
        ValueRange<double> defaultRange;
        ValueRange<double> minMax{0.0, 1.0, "minMax"};
        ValueRange<double> startStop{0.0, 1.0, "startStop"};
        bool wrapsAroundRange = false;
        std::string relativeLinkPath;
        std::shared_ptr<BehaviourDouble> behaviourPtr;
        ReadWriteCriticalSection behaviourLock;
        std::shared_ptr<TimeUnitEventHandler> timeUnitEventHandler;
    };
}
