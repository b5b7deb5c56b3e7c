#include "engine/behaviours/VXAnimation.h"

#include "engine/behaviours/VXKeyFrame.h"

#include <algorithm>
#include <cmath>

namespace vx
{
    Animation::Animation(unsigned long durationMs) : duration(durationMs)
    {
    }

    Animation::~Animation() = default;

    void Animation::insert(std::unique_ptr<KeyFrame> keyframe)
    {
        if (keyframe == nullptr)
            return;
        keyframes.push_back(std::move(keyframe));
        sort();
        render();
    }

    void Animation::remove(KeyFrame* keyframe)
    {
        const auto found = std::find_if(keyframes.begin(), keyframes.end(),
                                        [keyframe](const std::unique_ptr<KeyFrame>& k) { return k.get() == keyframe; });
        if (found == keyframes.end())
            return;
        keyframes.erase(found);
        sort();
        render();
    }

    void Animation::sort()
    {
        std::stable_sort(keyframes.begin(), keyframes.end(),
                         [](const std::unique_ptr<KeyFrame>& a, const std::unique_ptr<KeyFrame>& b)
                         { return a->getPhase() < b->getPhase(); });
        phases.clear();
        for (const auto& keyframe : keyframes)
            phases.push_back(keyframe->getPhase());
        updateStartFrames();
    }

    void Animation::updateStartFrames()
    {
        // The first keyframe starts nothing: a start frame kept from before
        // a removal would point at a destroyed keyframe.
        if (! keyframes.empty())
            keyframes.front()->setStartFrame(nullptr);
        for (std::size_t i = 1; i < keyframes.size(); ++i)
            keyframes[i]->setStartFrame(keyframes[i - 1].get());
    }

    void Animation::render()
    {
        const std::lock_guard<std::mutex> hold(renderLock);
        samples.clear();
        for (const auto& keyframe : keyframes)
        {
            const std::vector<double>& baked = keyframe->bake();
            samples.insert(samples.end(), baked.begin(), baked.end());
        }
    }

    KeyFrame* Animation::findFrameForPhase(double p) const
    {
        if (keyframes.size() < 2)
            return nullptr;
        // The first phase above p, searched without branches: lookups at
        // arbitrary phases would mispredict every step of a branching search.
        const double* base = phases.data();
        for (std::size_t length = phases.size(); length > 1;)
        {
            const std::size_t half = length / 2;
            base = base[half] <= p ? base + half : base;
            length -= half;
        }
        const std::size_t k = static_cast<std::size_t>(base - phases.data()) + (*base <= p ? 1 : 0);
        if (k == 0 || k >= keyframes.size())
            return nullptr;
        return keyframes[k].get();
    }

    double Animation::operator()(double p, double x)
    {
        KeyFrame* keyframe = findFrameForPhase(p);
        return keyframe != nullptr ? (*keyframe)(x) : 0.0;
    }

    double Animation::operator[](double t) const
    {
        const std::size_t n = samples.size();
        if (n == 0)
            return 0.0;
        // Before the first sample (negative or NaN) reads the first.
        const double clamped = t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0;
        const double position = static_cast<double>(n - 1) * clamped;
        const std::size_t i = static_cast<std::size_t>(position);
        const double f = position - static_cast<double>(i);
        const std::size_t j = i + 1 > n - 1 ? 0 : i + 1;
        return f * samples[j] + (1.0 - f) * samples[i];
    }

    void Animation::setPoints(const std::map<double, double>&)
    {
        keyframes.clear();
        phases.clear();
    }

    KeyFrame* Animation::getKeyFrame(std::size_t index) const
    {
        return index < keyframes.size() ? keyframes[index].get() : nullptr;
    }
}
