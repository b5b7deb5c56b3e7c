#pragma once

namespace vx
{

    // The beat clock and tempo carried by every frame record. A plain value:
    // copied freely, no lock.
    struct TempoInfo
    {
        TempoInfo() = default;

        // (60000 / bpm) x beats. A bpm of 0 gives a non-finite result.
        static double beatsToMilliseconds(double beats, double bpm) { return 60000.0 / bpm * beats; }
        // ms / (60000 / bpm).
        static double millisecondsToBeats(double milliseconds, double bpm) { return milliseconds / (60000.0 / bpm); }
        // The tempo whose beat lasts milliseconds: 60000 / milliseconds.
        static double millisecondsToTempo(const double& milliseconds) { return 60000.0 / milliseconds; }
        // The length of one beat at bpm in milliseconds: 60000 / bpm.
        static double tempoToMilliseconds(const double& beatsPerMinute) { return 60000.0 / beatsPerMinute; }

        // Advances the beat clock by milliseconds at the current tempo; the
        // beats also count into this frame's beat delta.
        void increment(double milliseconds)
        {
            const double beats = millisecondsToBeats(milliseconds, bpm);
            beatPosition += beats;
            beatDelta += beats;
        }

        long double beatPosition = 0.0L; // beats since the start
        double bpm = 120.0;              // tempo, beats per minute
        double beatDelta = 0.0;          // beats advanced in the current frame
        bool beatJump = false;           // the beat position jumped this frame
        bool beatHold = false;           // the beat clock is held
    };

} // namespace vx
