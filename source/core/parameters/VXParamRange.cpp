#include "core/parameters/VXParamRange.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXBehaviourFactory.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXTimeUnitEventHandler.h"

#include <cmath>

namespace vx
{
    namespace
    {
        constexpr double machineEpsilon = 2.220446049250313e-16;

        // Stepping loops that are this short run as written; longer ones are
        // computed with fmod, which gives the same result up to rounding.
        constexpr int maxWrapSteps = 64;

        // (v - lo) / (hi - lo), 1 for an empty window.
        double positionIn(double v, double lo, double hi)
        {
            return lo == hi ? 1.0 : (v - lo) / (hi - lo);
        }

        // lo when lo is above x, else the smaller of hi and x (NaN stays NaN).
        double clampTo(double x, double lo, double hi)
        {
            if (lo > x)
                return lo;
            return hi < x ? hi : x;
        }

        double clampUnit(double n)
        {
            return clampTo(n, 0.0, 1.0);
        }

        // Brings v into [lo, hi] as "while v > hi subtract the width, then
        // while v < lo add it" would, but always ends: NaN stays NaN; an
        // infinite v, or a window whose width is zero, negative, NaN or
        // infinite (where no number of steps gets inside), answers lo.
        double wrapIntoWindow(double v, double lo, double hi)
        {
            if (std::isnan(v))
                return v;
            const double width = hi - lo;
            if (! std::isfinite(v) || ! (width > 0.0) || ! std::isfinite(width))
                return lo;
            if (v >= lo && v <= hi)
                return v;

            if (v > hi)
            {
                if ((v - hi) / width <= maxWrapSteps)
                {
                    for (int step = 0; v > hi && step <= maxWrapSteps; ++step)
                        v -= width;
                }
                else
                {
                    const double remainder = std::fmod(v - hi, width);
                    v = remainder == 0.0 ? hi : lo + remainder;
                }
            }
            if (v < lo)
            {
                if ((lo - v) / width <= maxWrapSteps)
                {
                    for (int step = 0; v < lo && step <= maxWrapSteps; ++step)
                        v += width;
                }
                else
                {
                    const double remainder = std::fmod(lo - v, width);
                    v = remainder == 0.0 ? lo : hi - remainder;
                }
            }
            // Rounding in the fmod forms (or a loop cut short) must not
            // leave the window.
            if (v < lo)
                return lo;
            return v > hi ? hi : v;
        }
    }

    ParamRange::Defaults ParamRange::defaults;

    void ParamRange::Defaults::setRangeForName(const std::string& name, const std::pair<double, double>& range)
    {
        rows[name] = range;
    }

    const std::pair<double, double>* ParamRange::Defaults::getRangeForName(const std::string& name) const
    {
        const auto found = rows.find(name);
        return found == rows.end() ? nullptr : &found->second;
    }

    ParamRange::ParamRange(const std::string& name, double value, const ValueRange<double>& range)
        : ParamRange(name, value, range, nullptr)
    {
    }

    ParamRange::ParamRange(const std::string& name, double value, const ValueRange<double>& range,
                           TimeUnitEventHandler* handler)
        // An empty name keeps the base's element name as the object name.
        : Param<double>(name.empty() ? std::string("Param") : name, value, "ParamRange"),
          defaultRange(range, "defaultRange"),
          timeUnitEventHandler(handler != nullptr ? std::shared_ptr<TimeUnitEventHandler>(handler)
                                                  : std::make_shared<TimeUnitEventHandler>())
    {
        setUpRanges();
        behaviourPtr = BehaviourFactory::createBasic(*this);
    }

    ParamRange::~ParamRange() = default;

    void ParamRange::setUpRanges()
    {
        minMax = defaultRange;
        if (const std::pair<double, double>* row = defaults.getRangeForName(getName()))
        {
            const ValueRange<double> previous(minMax, "previous");
            defaultRange.set(row->first, row->second);
            if (row->second < previous.max && row->first > previous.min)
                minMax = defaultRange;
        }
        startStop = defaultRange;
        value = ValueRange<double>::clampInto(ValueRange<double>::clampInto(value, defaultRange), minMax);
        valueNormalized = positionIn(value, startStop.min, startStop.max);
    }

    void ParamRange::reset(double newDefault, const ValueRange<double>& range)
    {
        if (&range != &defaultRange)
            defaultRange = range;
        setUpRanges();
        setDefaultValue(newDefault);
        setValue(newDefault, ValueChangeInfo());
    }

    double ParamRange::constrainValue(double v) const
    {
        if (wrapsAroundRange)
            return wrapIntoWindow(v, startStop.min, startStop.max);
        return ValueRange<double>::clampInto(v, startStop);
    }

    bool ParamRange::setValue(const double& v, ValueChangeInfo info)
    {
        double constrained = 0.0;
        if (info.type != ChangeType_Always)
        {
            if (v == value)
                return false;
            constrained = constrainValue(v);
            info.type = resolveChangeType(info.type);
            if (info.type != ChangeType_Always && constrained == value)
                return false;
        }
        else
        {
            constrained = constrainValue(v);
        }
        return setValueNormalized(positionIn(constrained, startStop.min, startStop.max), info);
    }

    bool ParamRange::setValueNormalized(double n, ValueChangeInfo info)
    {
        if (wrapsAroundRange)
            n = wrapIntoWindow(n, 0.0, 1.0);
        n = clampUnit(n);
        info.type = resolveChangeType(info.type);
        if (info.type != ChangeType_Always && n == valueNormalized)
            return false;

        valueNormalized = n;
        if (info.source != ChangeSourceAnimation)
            getBehaviour()->resetModifiers(valueNormalized);

        const double lo = startStop.min;
        const double hi = startStop.max;
        const double previous = value;
        value = lo == hi ? hi : lo + (hi - lo) * n;
        valueStored();

        // A NaN on either side counts as a change.
        const bool changed = ! (value == previous);
        if (info.type == ChangeType_Always || (info.type == ChangeType_OnChange && changed))
            stateChanged(ChangeInfo(info));
        return true;
    }

    void ParamRange::setValueNormalizedWithDefaultSnap(double n, double snap, ValueChangeInfo info)
    {
        n = clampUnit(n);
        info.type = resolveChangeType(info.type);
        if (info.type != ChangeType_Always && n == valueNormalized)
            return;
        valueNormalized = n;

        const double lo = startStop.min;
        const double hi = startStop.max;
        const double d = defaultValue;
        double v = hi;
        double up = hi;
        double down = hi;
        if (lo != hi)
        {
            v = lo + (hi - lo) * n;
            up = clampTo(lo + (hi - lo) * (n + snap), lo, hi);
            down = clampTo(lo + (hi - lo) * (n - snap), lo, hi);
        }
        const bool snapsUp = v <= d && d < up && up - d >= d - v;
        const bool snapsDown = down < d && d <= v && d - down >= v - d;
        value = (snapsUp || snapsDown) ? d : v;
        valueStored();

        if (info.type == ChangeType_OnChange || info.type == ChangeType_Always)
            stateChanged(ChangeInfo(info));
    }

    void ParamRange::setDefaultValue(double v)
    {
        const double clamped = ValueRange<double>::clampInto(v, startStop);
        if (clamped == defaultValue)
            return;
        defaultValue = clamped;
    }

    double ParamRange::getValueNormalizedMinMax() const
    {
        return positionIn(value, minMax.min, minMax.max);
    }

    double ParamRange::normalizeValue(double v) const
    {
        return positionIn(v, startStop.min, startStop.max);
    }

    void ParamRange::setMinMaxRange(const ValueRange<double>& range, bool resetStartStop, ValueChangeInfo info)
    {
        minMax = range;
        if (resetStartStop)
            startStop = range;
        else
            startStop = ValueRange<double>::confine(startStop, minMax);
        updateWindow(info);
    }

    void ParamRange::setMinValue(double v, ValueChangeInfo info)
    {
        if (v < minMax.max)
            setMinMaxRange(ValueRange<double>(v, minMax.max), false, info);
    }

    void ParamRange::setMaxValue(double v, ValueChangeInfo info)
    {
        if (v > minMax.min)
            setMinMaxRange(ValueRange<double>(minMax.min, v), false, info);
    }

    void ParamRange::setStartStopRange(const ValueRange<double>& range, ValueChangeInfo info)
    {
        startStop = ValueRange<double>::confine(range, minMax);
        updateWindow(info);
    }

    void ParamRange::setStartValue(double v, ValueChangeInfo info)
    {
        const double limit = startStop.max - machineEpsilon;
        setStartStopRange(ValueRange<double>(v < limit ? v : limit, startStop.max), info);
    }

    void ParamRange::setStopValue(double v, ValueChangeInfo info)
    {
        const double limit = startStop.min + machineEpsilon;
        setStartStopRange(ValueRange<double>(startStop.min, v > limit ? v : limit), info);
    }

    void ParamRange::setStartStopRangeNormalized(const ValueRange<double>& range, ValueChangeInfo)
    {
        startStop = minMax.denormalize(ValueRange<double>::confine(range, ValueRange<double>(0.0, 1.0)));
    }

    void ParamRange::updateWindow(const ValueChangeInfo& info)
    {
        const double n = startStop.min == startStop.max ? 1.0 : clampUnit(normalizeValue(value));
        setValueNormalized(n, ValueChangeInfo(ChangeType_Always, info.source, info.sender, info.time));
        rangesChanged();
    }

    void ParamRange::rangesChanged()
    {
        getBehaviour()->rangesChanged();
    }

    std::shared_ptr<BehaviourDouble> ParamRange::getBehaviour() const
    {
        const ScopedReadLock hold(behaviourLock);
        return behaviourPtr;
    }

    void ParamRange::setBehaviour(std::shared_ptr<BehaviourDouble> b)
    {
        if (b == nullptr)
            b = BehaviourFactory::createBasic(*this);
        {
            const ScopedWriteLock hold(behaviourLock);
            behaviourPtr = b;
            b->resetModifiers(valueNormalized);
        }
        stateChanged(ChangeInfo(StateChange_Behaviour_Changed));
    }

    void ParamRange::setBehaviour(BehaviourDouble* b)
    {
        setBehaviour(std::shared_ptr<BehaviourDouble>(b));
    }

    void ParamRange::removeBehaviour()
    {
        std::shared_ptr<BehaviourDouble> basic = BehaviourFactory::createBasic(*this);
        std::shared_ptr<BehaviourDouble> previous;
        {
            const ScopedWriteLock hold(behaviourLock);
            previous = std::move(behaviourPtr);
            behaviourPtr = std::move(basic);
        }
        // previous is released here, outside the lock.
    }

    void ParamRange::resetBehaviour(bool discardState)
    {
        std::shared_ptr<BehaviourDouble> basic = BehaviourFactory::createBasic(*this);
        if (! discardState)
        {
            XmlDocument scratch;
            if (const XmlNode* element = getBehaviour()->writeState(scratch, false))
                basic->readState(element, true);
        }
        setBehaviour(std::move(basic));
    }

    XmlNode* ParamRange::getBehaviourXml(XmlPool& pool)
    {
        return getBehaviour()->writeState(pool, false);
    }

    void ParamRange::setPlaying(bool isPlaying, bool restart)
    {
        if (isPlaying)
            ParamBase::start(restart, TimeUnit());
        else
            ParamBase::stop(TimeUnit());
    }

    void ParamRange::start(bool restart, const TimeUnit& time)
    {
        if (time.isNow())
        {
            getBehaviour()->start(restart);
            setPlaying(true, restart);
            return;
        }
        TimeUnitEvent event;
        event.type = restart ? TimeUnitEvent::startWithReset : TimeUnitEvent::startWithoutReset;
        event.time = time;
        timeUnitEventHandler->set(event);
    }

    void ParamRange::stop(const TimeUnit& time)
    {
        if (time.isNow())
        {
            getBehaviour()->stop();
            setPlaying(false, false);
            return;
        }
        TimeUnitEvent event;
        event.type = TimeUnitEvent::stop;
        event.time = time;
        timeUnitEventHandler->set(event);
    }

    void ParamRange::updateTimeUnitEvent(const TimeInfo& info)
    {
        const TimeUnitEventHandler::Result due = timeUnitEventHandler->update(info);
        if (due.first < 0)
            return;
        switch (due.second)
        {
            case TimeUnitEvent::stop:
                getBehaviour()->stop();
                setPlaying(false, false);
                break;
            case TimeUnitEvent::startWithReset:
            case TimeUnitEvent::startWithoutReset:
            {
                const bool restart = due.second == TimeUnitEvent::startWithReset;
                getBehaviour()->start(restart);
                setPlaying(true, restart);
                break;
            }
            default:
                break;
        }
    }

    bool ParamRange::update(const TimeInfo& info)
    {
        updateTimeUnitEvent(info);
        bool changed = Param<double>::update(info);

        const std::shared_ptr<BehaviourDouble> current = getBehaviour();
        if (getUserState() == UserState_Editing)
        {
            // The animation follows the user's hand.
            current->resetModifiers(valueNormalized);
            return changed;
        }
        if (! current->isEmpty())
        {
            changed |= current->update(info) != 0;
            if (current->isAnimating())
            {
                // The record is built before the chain runs: the compiler
                // assembles it aside and copies it into the argument, and a
                // copy read straight after the stores that built it stalls.
                const ValueChangeInfo change(ChangeType_OnChange, ChangeSourceAnimation, info.time);
                const double n = current->apply(valueNormalized);
                setValueNormalized(n, change);
            }
        }
        return changed;
    }

    void ParamRange::pathChanged()
    {
        Param<double>::pathChanged();
        getBehaviour()->setPathByParent(getPath(), std::string());
    }

    bool ParamRange::needsToWriteState()
    {
        if (getStorage() != storageNever && ! (value == defaultValue))
            return true;
        return getBehaviour()->needsToWriteState() || minMax != defaultRange || startStop != defaultRange;
    }

    XmlNode* ParamRange::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = Param<double>::writeStateDerived(pool, force);
        if (force || defaultRange.min != 0.0 || defaultRange.max != 1.0)
            defaultRange.appendAndWrite(element, pool, force);
        if (minMax != defaultRange)
            minMax.appendAndWrite(element, pool, force);
        if (! (startStop == defaultRange && startStop == minMax))
            startStop.appendAndWrite(element, pool, force);

        const std::shared_ptr<BehaviourDouble> current = getBehaviour();
        if (current->needsToWriteState())
            if (XmlNode* behaviourElement = current->writeState(pool, force))
                element->append_node(behaviourElement);
        return element;
    }

    void ParamRange::readStateDerived(const XmlNode& node)
    {
        Param<double>::readStateDerived(node);

        const bool foundDefault = defaultRange.findAndRead(&node);
        const bool foundMinMax = minMax.findAndRead(&node);
        const bool foundStartStop = startStop.findAndRead(&node);
        if (! foundStartStop && foundMinMax)
        {
            startStop = minMax;
        }
        else if (! foundMinMax && ! foundStartStop && foundDefault)
        {
            minMax = defaultRange;
            startStop = defaultRange;
        }

        resetBehaviour(true);

        BehaviourFactory::Creator creator = nullptr;
        if (const XmlNode* behaviourNode = BehaviourFactory::findBehaviourNode(node, &creator))
        {
            std::shared_ptr<BehaviourDouble> created = creator(*this);
            const std::string kind(behaviourNode->name(), behaviourNode->name_size());
            if (created != nullptr)
            {
                if (kind != BehaviourFactory::basicKind)
                    created->readState(behaviourNode, false);
                setBehaviour(std::move(created));
            }
        }

        valueNormalized = positionIn(value, startStop.min, startStop.max);
    }

    ParamRange* ParamRange::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;
        const std::string name = readAttribute(node->first_attribute("name"), std::string());
        ValueRange<double> range(0.0, 1.0, "defaultRange");
        range.findAndRead(node);
        auto* created = new ParamRange(name, 0.0, range);
        created->readState(node, false);
        return created;
    }
}
