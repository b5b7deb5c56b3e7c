#include "engine/behaviours/VXBehaviourPoints.h"

#include "engine/behaviours/VXEnvelopeModifier.h"
#include "engine/behaviours/VXKeyFrame.h"

#include <cmath>

namespace vx
{
    BehaviourPoints::BehaviourPoints(ParamRange& owner, double originalDurationMs)
        : BehaviourAnimated(owner, originalDurationMs, "BehaviourPoints")
    {
        const double milliseconds = getDuration();
        envelope = std::make_shared<EnvelopeModifier>(
            milliseconds > 0.0 && std::isfinite(milliseconds) ? static_cast<unsigned long>(milliseconds) : 0ul);
        addModifier(envelope);
    }

    XmlNode* BehaviourPoints::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = BehaviourAnimated::writeStateDerived(pool, force);
        XmlNode* points = createNode(pool, "points");
        Animation& animation = envelope->getAnimation();
        for (std::size_t i = 0; i < animation.getNumKeyFrames(); ++i)
        {
            const KeyFrame* keyframe = animation.getKeyFrame(i);
            XmlNode* point = createNode(pool, "point");
            point->append_attribute(createAttribute(pool, "x", keyframe->getPhase()));
            point->append_attribute(createAttribute(pool, "y", keyframe->getDestination()));
            point->append_attribute(createAttribute(pool, "curve", static_cast<int>(keyframe->getCurve())));
            points->append_node(point);
        }
        element->append_node(points);
        return element;
    }

    void BehaviourPoints::readStateDerived(const XmlNode& node)
    {
        BehaviourAnimated::readStateDerived(node);
        const XmlNode* points = node.first_node("points");
        if (points == nullptr)
            return;
        Animation& animation = envelope->getAnimation();
        for (const XmlNode* point = points->first_node("point"); point != nullptr; point = point->next_sibling("point"))
        {
            double x = 0.0;
            double y = 0.0;
            int curve = 0;
            if (readAttribute(point->first_attribute("x"), &x) && readAttribute(point->first_attribute("y"), &y) &&
                readAttribute(point->first_attribute("curve"), &curve) && std::isfinite(x) && std::isfinite(y))
                animation.insert(std::make_unique<KeyFrame>(animation, x, y, curve));
        }
    }
}
