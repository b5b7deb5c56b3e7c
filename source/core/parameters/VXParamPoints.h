#pragma once

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamListener.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class ParamContainer;
    class ParamEvent;
    class ParamRange;

    // Cue points over a position parameter (normally played by a timeline):
    // a fixed number of points ("position1" ...), each with a "set" event
    // that stores where the position stood when the event was fired and a
    // "jump" event that moves the position to the stored cue (or, on an
    // empty point, stores it). The own value is the cue last set or jumped
    // to. Element "ParamPoints" followed by the point count.
    //
    // Threads: events reach valueChanged synchronously on the firing
    // thread; a jump only records its time (atomically), and update, on the
    // thread that updates parameters, moves the position. Of several jumps
    // before one update only the last cue applies.
    class ParamPoints : public Param<double>, public ParamListener
    {
    public:
        // A negative count makes no points.
        ParamPoints(const std::string& name, int pointCount);
        ~ParamPoints() override;

        // The parameter the cue points refer to. Events fired before it is
        // set are ignored.
        void setParam(const std::shared_ptr<ParamRange>& positionParam);
        const std::shared_ptr<ParamRange>& getParam() const { return position; }

        int getNumPoints() const { return static_cast<int>(points.size()); }
        // Empty for an index not below the point count.
        std::shared_ptr<Param<double>> getPoint(unsigned int index) const;
        std::shared_ptr<ParamEvent> getSetParam(unsigned int index) const;
        std::shared_ptr<ParamEvent> getJumpParam(unsigned int index) const;
        const std::shared_ptr<ParamContainer>& getSetParams() const { return setParams; }
        const std::shared_ptr<ParamContainer>& getJumpParams() const { return jumpParams; }

        // Where the position stood at timeStampMs: the time since then
        // stepped back along its timeline (its current value when it has no
        // timeline to step back along, plays at random, is paused or has no
        // usable duration).
        virtual double getPositionValue(double timeStampMs) const;

        void valueChanged(ParamBase& sender, ChangeInfo info) override;
        // Applies a pending jump when its cue lies in the position's window;
        // answers whether the position moved.
        bool update(const TimeInfo& info) override;
        void pathChanged() override;
        // True when a point needs writing (the own value does not count).
        bool needsToWriteState() override;
        // The own value's element with one child per point that writes.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

    private:
        void setPoint(std::size_t index, const ChangeInfo& info);

        std::vector<std::shared_ptr<Param<double>>> points;
        std::shared_ptr<ParamRange> position;
        std::shared_ptr<ParamContainer> setParams;
        std::shared_ptr<ParamContainer> jumpParams;
        std::vector<std::shared_ptr<ParamEvent>> setEvents;
        std::vector<std::shared_ptr<ParamEvent>> jumpEvents;
        std::atomic<double> pendingJump{-1.0};
        TimeInfo lastTime{0.0};
    };
}
