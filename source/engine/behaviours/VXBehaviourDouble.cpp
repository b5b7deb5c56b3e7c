#include "engine/behaviours/VXBehaviourDouble.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXParamModifier.h"

namespace vx
{
    BehaviourDouble::BehaviourDouble(ParamRange& owner) : BehaviourDouble(owner, "BehaviourDouble", std::string())
    {
    }

    BehaviourDouble::BehaviourDouble(ParamRange& owner, const std::string& elementName, const std::string& name)
        : ParamBehaviour(owner), XmlCapable(elementName, name), minMaxRange(owner.getMinMaxRangeReference()),
          startStopRange(owner.getStartStopRangeReference()), params(std::make_shared<ParamContainer>("Params"))
    {
    }

    BehaviourDouble::~BehaviourDouble() = default;

    std::uint32_t BehaviourDouble::update(const TimeInfo& info)
    {
        std::uint32_t flags = 0;
        for (const auto& modifier : chain)
            flags |= modifier->update(info);
        if (flags != 0)
            directionChangedAfterUpdate();
        return flags;
    }

    double BehaviourDouble::getSpeed(const TimeInfo&) const
    {
        return 1.0;
    }

    std::uint32_t BehaviourDouble::updateSliced(TimeInfo& info, double* values, int* flags, double value, int n)
    {
        if (chain.empty() || n < 1)
            return 0;

        std::uint32_t total = 0;
        if (chain.size() == 1)
        {
            total = chain.front()->updateAndApply(info, values, flags, value, n);
        }
        else
        {
            info.deltaTime /= n;
            info.tempo.beatDelta /= n;
            double running = value;
            for (int i = 0; i < n; ++i)
            {
                values[i] = running;
                for (const auto& modifier : chain)
                {
                    flags[i] |= static_cast<int>(modifier->update(info));
                    modifier->apply(values[i]);
                }
                running = values[i];
                total |= static_cast<std::uint32_t>(flags[i]);
                info.time += info.deltaTime;
                info.tempo.beatPosition += info.tempo.beatDelta;
            }
        }
        if (total != 0)
            directionChangedAfterUpdate();
        return total;
    }

    bool BehaviourDouble::isEmpty() const
    {
        return chain.empty();
    }

    double BehaviourDouble::apply(double v)
    {
        for (const auto& modifier : chain)
            modifier->apply(v);
        return v;
    }

    bool BehaviourDouble::isAnimating() const
    {
        if (chain.empty())
            return false;
        for (const auto& modifier : chain)
            if (! modifier->isAnimating())
                return false;
        return true;
    }

    void BehaviourDouble::pathChanged()
    {
        if (params != nullptr)
            params->setPathByParent(getPath(), std::string());
        minMaxRange.setPathByParent(getPath(), std::string());
        startStopRange.setPathByParent(getPath(), std::string());
    }

    bool BehaviourDouble::needsToWriteState()
    {
        return params != nullptr && params->hasParams();
    }

    XmlNode* BehaviourDouble::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        if (params != nullptr)
            params->appendAndWrite(element, pool, force);
        return element;
    }

    void BehaviourDouble::readStateDerived(const XmlNode& node)
    {
        const XmlNode* child = node.first_node("Params");
        if (child == nullptr)
            return;
        if (params == nullptr)
            params = std::make_shared<ParamContainer>("Params");
        params->readState(child, false);
    }

    void BehaviourDouble::resetModifiers(double v)
    {
        for (const auto& modifier : chain)
            modifier->reset(v);
    }

    void BehaviourDouble::incrementLinkCount()
    {
        const ScopedLock hold(linkLock);
        ++linkCount;
    }

    void BehaviourDouble::decrementLinkCount()
    {
        const ScopedLock hold(linkLock);
        --linkCount;
    }

    std::int32_t BehaviourDouble::getLinkCount() const
    {
        const ScopedLock hold(linkLock);
        return linkCount;
    }
}
