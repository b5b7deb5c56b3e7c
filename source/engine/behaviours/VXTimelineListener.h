#pragma once

namespace vx
{
    class BehaviourTimelineBase;

    // Told when a timeline reports the end of its window (and, for the
    // time-driven timeline, after every update that reported anything).
    class TimelineListener
    {
    public:
        virtual ~TimelineListener() = default;
        virtual void finished(const BehaviourTimelineBase* timeline) { (void)timeline; }
    };
}
