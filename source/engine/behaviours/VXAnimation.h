#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vx
{
    class KeyFrame;

    // Keyframes ordered by phase, baked into one run of samples: the value
    // at a normalised time is read by interpolating the samples, so each
    // segment is as long in time as its sample count makes it.
    //
    // Rebuilding the samples takes the mutex; reading them does not, so
    // reads and edits belong to one thread (or the reader tolerates a
    // rebuild).
    class Animation
    {
    public:
        explicit Animation(unsigned long durationMs);
        ~Animation();

        Animation(const Animation&) = delete;
        Animation& operator=(const Animation&) = delete;

        // Takes the keyframe over, re-sorts and re-bakes. A null one is
        // ignored.
        void insert(std::unique_ptr<KeyFrame> keyframe);
        // Destroys the keyframe when it is one of these, then re-sorts and
        // re-bakes; otherwise nothing.
        void remove(KeyFrame* keyframe);
        // By phase (equal phases keep their order), then the start frames.
        void sort();
        void updateStartFrames();
        // The samples, rebuilt from every keyframe in order.
        void render();

        // The keyframe whose segment holds p (previous phase <= p < its
        // phase); null with fewer than two keyframes or p outside.
        KeyFrame* findFrameForPhase(double p) const;
        // That keyframe's segment at x; 0 when there is none.
        double operator()(double p, double x);
        // The samples at a normalised time, interpolated; t is clamped into
        // [0, 1] (NaN reads as 0); 0 without samples.
        double operator[](double t) const;

        // Deletes every keyframe; adds none and leaves the samples.
        void setPoints(const std::map<double, double>& points);

        unsigned long getDuration() const { return duration; }
        std::size_t getNumKeyFrames() const { return keyframes.size(); }
        KeyFrame* getKeyFrame(std::size_t index) const;
        const std::vector<double>& getSamples() const { return samples; }

    private:
        unsigned long duration;
        std::vector<std::unique_ptr<KeyFrame>> keyframes;
        std::vector<double> phases; // the keyframes' phases, for the search
        std::vector<double> samples;
        std::mutex renderLock;
    };
}
