#pragma once

namespace vx
{
    // Pauses the caller's transform feedback for the scope when it is active
    // and running, so the scope's draws are neither recorded nor refused for
    // their primitive kind, and resumes it after. Resuming needs the caller's
    // program current again: declare this guard before the one that gives
    // the program back. Needs pausing (GL 4.0); without it nothing is done.
    class ScopedTransformFeedbackPause
    {
    public:
        ScopedTransformFeedbackPause();
        ~ScopedTransformFeedbackPause();
        ScopedTransformFeedbackPause(const ScopedTransformFeedbackPause&) = delete;
        ScopedTransformFeedbackPause& operator=(const ScopedTransformFeedbackPause&) = delete;

    private:
        bool paused = false;
    };
}
