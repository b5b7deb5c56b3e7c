#include "engine/behaviours/VXKeyFrame.h"

#include "engine/behaviours/VXAnimation.h"
#include "engine/behaviours/VXEasing.h"

#include <cmath>

namespace vx
{
    namespace
    {
        double clampPhase(double p)
        {
            return p > 0.0 ? (p < 1.0 ? p : 1.0) : 0.0;
        }

        // The easing of a curve number; null for the numbers that keep the
        // current one.
        KeyFrame::Easing easingFor(std::int32_t curve)
        {
            switch (curve)
            {
                case KeyFrame::Linear:
                    return &LinearInterpolation<double>;
                case KeyFrame::QuadraticIn:
                    return &QuadraticEaseIn<double>;
                case KeyFrame::QuadraticOut:
                    return &QuadraticEaseOut<double>;
                case KeyFrame::CubicIn:
                    return &CubicEaseIn<double>;
                case KeyFrame::CubicOut:
                    return &CubicEaseOut<double>;
                case KeyFrame::CubicInOut:
                    return &CubicEaseInOut<double>;
                case KeyFrame::SineIn:
                    return &SineEaseIn<double>;
                case KeyFrame::SineOut:
                    return &SineEaseOut<double>;
                case KeyFrame::SineInOut:
                    return &SineEaseInOut<double>;
                case KeyFrame::CircularIn:
                    return &CircularEaseIn<double>;
                case KeyFrame::CircularOut:
                    return &CircularEaseOut<double>;
                case KeyFrame::CircularInOut:
                    return &CircularEaseInOut<double>;
                case KeyFrame::ExponentialIn:
                    return &ExponentialEaseIn<double>;
                case KeyFrame::ExponentialOut:
                    return &ExponentialEaseOut<double>;
                case KeyFrame::ExponentialInOut:
                    return &ExponentialEaseInOut<double>;
                case KeyFrame::ElasticIn:
                    return &ElasticEaseIn<double>;
                case KeyFrame::ElasticOut:
                    return &ElasticEaseOut<double>;
                case KeyFrame::ElasticInOut:
                    return &ElasticEaseInOut<double>;
                case KeyFrame::BackIn:
                    return &BackEaseIn<double>;
                case KeyFrame::BackOut:
                    return &BackEaseOut<double>;
                case KeyFrame::BackInOut:
                    return &BackEaseInOut<double>;
                case KeyFrame::BounceIn:
                    return &BounceEaseIn<double>;
                case KeyFrame::BounceOut:
                    return &BounceEaseOut<double>;
                case KeyFrame::BounceInOut:
                    return &BounceEaseInOut<double>;
                case KeyFrame::QuarticIn:
                    return &QuarticEaseIn<double>;
                case KeyFrame::QuarticOut:
                    return &QuarticEaseOut<double>;
                case KeyFrame::QuarticInOut:
                    return &QuarticEaseInOut<double>;
                case KeyFrame::QuinticIn:
                    return &QuinticEaseIn<double>;
                case KeyFrame::QuinticOut:
                    return &QuinticEaseOut<double>;
                case KeyFrame::QuinticInOut:
                    return &QuinticEaseInOut<double>;
                case KeyFrame::Constant:
                    return &ConstantZero<double>;
                default:
                    return nullptr;
            }
        }
    }

    KeyFrame::KeyFrame(Animation& owningAnimation, double keyPhase, double keyDestination, std::int32_t curveNumber)
        : animation(owningAnimation), easing(&LinearInterpolation<double>), phase(clampPhase(keyPhase)),
          destination(keyDestination)
    {
        setCurve(curveNumber);
    }

    void KeyFrame::setCurve(std::int32_t curveNumber)
    {
        curve = curveNumber;
        if (const Easing chosen = easingFor(curveNumber))
            easing = chosen;
    }

    void KeyFrame::setStartFrame(KeyFrame* previous)
    {
        startFrame = previous;
        duration =
            previous == nullptr
                ? 0ul
                : static_cast<unsigned long>(static_cast<double>(animation.getDuration()) * (phase - previous->phase));
    }

    void KeyFrame::setPhase(double keyPhase)
    {
        phase = clampPhase(keyPhase);
    }

    void KeyFrame::refreshStart()
    {
        start = startFrame != nullptr ? startFrame->destination : 0.0;
    }

    double KeyFrame::operator()(double x)
    {
        refreshStart();
        return (destination - start) * easing(x) + start;
    }

    const std::vector<double>& KeyFrame::bake()
    {
        refreshStart();
        const double n = static_cast<double>(duration) / 1000.0 * 60.0;
        const std::size_t count = static_cast<std::size_t>(n);
        samples.resize(count);
        if (n == 0.0 || count == 0)
            return samples;
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = easing(static_cast<double>(i) / n) * (destination - start) + start;
        return samples;
    }
}
