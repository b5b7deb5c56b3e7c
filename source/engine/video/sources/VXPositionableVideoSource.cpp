#include "engine/video/sources/VXPositionableVideoSource.h"

#include "core/VXLog.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamPoints.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXBehaviourTimelineSlave.h"

namespace vx
{
    PositionableVideoSource::PositionableVideoSource(const std::string& type) : VideoSource(type)
    {
        const std::shared_ptr<ParamRange>& position = getPositionParam();
        getParams()->setViewForParam(position,
                                     ParamView(static_cast<ParamView::ControlType>(4), ParamView::unitsNone,
                                               static_cast<ParamView::SubType>(2), 2),
                                     false);

        auto playHead = std::make_shared<BehaviourTimeline>(*position, 5000.0);
        playHead->setGlobalSpeedEnabled(true);
        playHead->getPlayModeParam()->setValue(0, ValueChangeInfo());
        playHead->setDurationBasedOnParam(true);
        timeline = playHead;

        timeline->addListener(*this, false);
        position->addListener(*this, false);
        timeline->getPlayDirectionParam()->addListener(*this, false);

        position->setBehaviour(playHead);

        cuePoints = std::make_shared<ParamPoints>("CuePoints", 6);
        cuePoints->setParam(position);
        getParams()->addParam(cuePoints);
        getParams()->setViewForParam(cuePoints, ParamView(static_cast<ParamView::Visibility>(2)), false);
    }

    PositionableVideoSource::~PositionableVideoSource()
    {
        getPositionParam()->removeListener(*this);
        if (timeline != nullptr)
        {
            timeline->getPlayDirectionParam()->removeListener(*this);
            timeline->removeListener(*this);
        }
    }

    bool PositionableVideoSource::update(const TimeInfo& info)
    {
        // Once per frame: a second call neither pushes the speed again nor
        // passes cue points twice.
        if (info.frameCount == getLastUpdateTime().frameCount)
            return false;
        const bool result = VideoSource::update(info);
        if (timeline != nullptr)
            setPlaybackSpeed(timeline->getSpeed(info));
        if (cuePoints->update(info))
            debugPrint("Triggering cuepoint");
        return result;
    }

    void PositionableVideoSource::readStateDerived(const XmlNode& node)
    {
        VideoSource::readStateDerived(node);
        takeTimelineFromPosition(false);
    }

    void PositionableVideoSource::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (timeline != nullptr && &param == timeline->getPlayDirectionParam().get())
            setPlaybackDirection(static_cast<ParamPlayDirection>(timeline->getPlayDirectionParam()->getValue()));
    }

    void PositionableVideoSource::stateChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param != getPositionParam().get())
            return;
        if (info.state == StateChange_Behaviour_Changed)
            takeTimelineFromPosition(true);
        if (getPositionParam()->getUserState() == ParamBase::UserState_Editing)
            setPlaybackDirection(static_cast<ParamPlayDirection>(4));
        else if (timeline != nullptr)
            setPlaybackDirection(static_cast<ParamPlayDirection>(timeline->getPlayDirectionParam()->getValue()));
    }

    void PositionableVideoSource::takeTimelineFromPosition(bool asynchronous)
    {
        std::shared_ptr<BehaviourTimelineBase> next;
        std::shared_ptr<BehaviourDouble> behaviour = getPositionParam()->getBehaviour();
        if (auto slave = std::dynamic_pointer_cast<BehaviourTimelineSlave>(behaviour))
            next = slave->getSlaveTimeline();
        else
            next = std::dynamic_pointer_cast<BehaviourTimelineBase>(behaviour);
        if (next == timeline)
            return;
        if (timeline != nullptr)
        {
            timeline->getPlayDirectionParam()->removeListener(*this);
            timeline->removeListener(*this);
        }
        timeline = std::move(next);
        if (timeline != nullptr)
        {
            timeline->getPlayDirectionParam()->addListener(*this, asynchronous);
            timeline->addListener(*this, false);
        }
    }

    void PositionableVideoSource::finished(const BehaviourTimelineBase* finishedTimeline)
    {
        if (finishedTimeline != nullptr && finishedTimeline == timeline.get())
            callListeners(&VideoSourceListener::playbackFinished, *this, CallType::standard);
    }

    void PositionableVideoSource::setPositionBehaviour(BehaviourDouble* b)
    {
        if (b == nullptr)
            return;
        std::shared_ptr<BehaviourDouble> current = getPositionParam()->getBehaviour();
        if (current != nullptr)
        {
            XmlPool scratch;
            if (XmlNode* element = current->writeState(scratch, false))
                b->readState(element, true);
        }
        getPositionParam()->setBehaviour(b);
    }
}
