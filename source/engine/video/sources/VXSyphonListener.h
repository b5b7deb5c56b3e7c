#pragma once

namespace vx
{
    // Told when the list of frame-sharing servers of the platform changes.
    // Nothing on this platform calls it.
    class SyphonListener
    {
    public:
        virtual ~SyphonListener() = default;
        virtual void serversChanged() {}
    };
}
