#pragma once

namespace vx
{
    // An audio object whose disposal is deferred to a safe moment through
    // the audio-object manager: prepared first, then disposed of.
    class AudioObjectBase
    {
    public:
        virtual ~AudioObjectBase() = default;
        // Called right before disposal, on the disposing thread.
        virtual void prepareForDeletion() {}
        // Ends the object; by default it deletes itself.
        virtual void dispose() { delete this; }
    };
}
