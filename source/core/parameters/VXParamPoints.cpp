#include "core/parameters/VXParamPoints.h"

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"

namespace vx
{
    ParamPoints::ParamPoints(const std::string& name, int pointCount)
        : Param<double>(name, 0.0, "ParamPoints" + std::to_string(pointCount > 0 ? pointCount : 0)),
          setParams(std::make_shared<ParamContainer>("setParams", true)),
          jumpParams(std::make_shared<ParamContainer>("jumpParams", true))
    {
        for (int i = 1; i <= pointCount; ++i)
        {
            const std::string index = std::to_string(i);
            points.push_back(std::make_shared<Param<double>>("position" + index, -1.0));
            auto setEvent = std::make_shared<ParamEvent>("set" + index);
            auto jumpEvent = std::make_shared<ParamEvent>("jump" + index);
            setEvent->setTriggerType(ParamEvent::triggerOnTrue);
            jumpEvent->setTriggerType(ParamEvent::triggerOnTrue);
            setEvent->addListener(*this, false);
            jumpEvent->addListener(*this, false);
            setParams->addParam(setEvent);
            jumpParams->addParam(jumpEvent);
            setEvents.push_back(std::move(setEvent));
            jumpEvents.push_back(std::move(jumpEvent));
        }
    }

    ParamPoints::~ParamPoints()
    {
        for (const auto& event : setEvents)
            event->removeListener(*this);
        for (const auto& event : jumpEvents)
            event->removeListener(*this);
    }

    void ParamPoints::setParam(const std::shared_ptr<ParamRange>& positionParam)
    {
        position = positionParam;
    }

    std::shared_ptr<Param<double>> ParamPoints::getPoint(unsigned int index) const
    {
        return index < points.size() ? points[index] : nullptr;
    }

    std::shared_ptr<ParamEvent> ParamPoints::getSetParam(unsigned int index) const
    {
        return index < setEvents.size() ? setEvents[index] : nullptr;
    }

    std::shared_ptr<ParamEvent> ParamPoints::getJumpParam(unsigned int index) const
    {
        return index < jumpEvents.size() ? jumpEvents[index] : nullptr;
    }

    double ParamPoints::getPositionValue(double timeStampMs) const
    {
        if (position == nullptr)
            return value;
        const double elapsed = getTickCount() - timeStampMs + lastTime.timeOffset;
        double phase = 0.0;
        if (! position->getBehaviour()->stepBackPhase(position->getValueNormalized(), elapsed, lastTime, phase))
            return position->getValue();
        const ValueRange<double>& window = position->getStartStopRange();
        if (window.min == window.max)
            return window.max;
        return window.min + (window.max - window.min) * phase;
    }

    void ParamPoints::setPoint(std::size_t index, const ChangeInfo& info)
    {
        const double cue = getPositionValue(info.time);
        points[index]->setValue(cue, ValueChangeInfo());
        setValue(cue, ValueChangeInfo());
    }

    void ParamPoints::valueChanged(ParamBase& sender, ChangeInfo info)
    {
        for (std::size_t i = 0; i < setEvents.size(); ++i)
        {
            if (&sender != setEvents[i].get() && &sender != jumpEvents[i].get())
                continue;
            if (position == nullptr)
            {
                logPrint(logWarning, "ParamPoints '%s': ignoring a cue event before the position parameter is set",
                         getName().c_str());
                return;
            }
            if (&sender == setEvents[i].get() || points[i]->getValue() == -1.0)
            {
                setPoint(i, info);
                return;
            }
            setValue(points[i]->getValue(), ValueChangeInfo(ChangeType_Always, getTickCount()));
            pendingJump.store(info.time == -1.0 ? getTickCount() : info.time, std::memory_order_release);
            return;
        }
    }

    bool ParamPoints::update(const TimeInfo& info)
    {
        lastTime = info;
        const double jump = pendingJump.exchange(-1.0, std::memory_order_acq_rel);
        if (jump == -1.0 || position == nullptr)
            return false;
        const double cue = value;
        const ValueRange<double>& window = position->getStartStopRange();
        if (! (window.min <= cue && cue <= window.max))
            return false;
        position->setValue(cue, ValueChangeInfo());
        return true;
    }

    void ParamPoints::pathChanged()
    {
        Param<double>::pathChanged();
        setParams->setPathByParent(getPath(), std::string());
        jumpParams->setPathByParent(getPath(), std::string());
        for (const auto& point : points)
            point->setPathByParent(getPath(), std::string());
    }

    bool ParamPoints::needsToWriteState()
    {
        for (const auto& point : points)
            if (point->needsToWriteState())
                return true;
        return false;
    }

    XmlNode* ParamPoints::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Param<double>::writeStateDerived(pool, force);
        for (const auto& point : points)
            point->appendAndWrite(element, pool, force);
        return element;
    }

    void ParamPoints::readStateDerived(const XmlNode& node)
    {
        Param<double>::readStateDerived(node);
        for (const auto& point : points)
            point->findAndRead(&node);
    }
}
