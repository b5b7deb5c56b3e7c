#pragma once

#include "core/VXCurrentInstance.h"

#include <string>

namespace vx
{
    // The application that embeds the engine, registered with the engine
    // root by the host (nothing inside the engine registers one). Saved
    // documents carry its name and version; what isVersionCompatible decides,
    // and what its flags mean, is the host's. The root keeps the current one
    // in the seam, where XML reading and writing find it.
    class ApplicationInterface : public CurrentInstance<ApplicationInterface>
    {
    public:
        virtual ~ApplicationInterface() = default;

        virtual int getMajorVersion() = 0;
        virtual int getMinorVersion() = 0;
        virtual int getMicroVersion() = 0;
        virtual int getRevision() = 0;
        // The host's verdict on a document stamped with this version.
        virtual bool isVersionCompatible(int major, int minor, int micro, int revision, bool flag1, bool flag2,
                                         bool flag3) = 0;
        virtual std::string getApplicationName() = 0;
    };
}
