#pragma once

#include "core/VXCurrentInstance.h"

#include <string>

namespace vx
{
    class SourceExtension;
    class SourceFactory;

    // The seam through which sources find the extensions the engine root's
    // source manager gathers. Nothing fills it while the root has no source
    // manager: look-ups through it then answer null.
    class SourceDirectory : public CurrentInstance<SourceDirectory>
    {
    public:
        virtual ~SourceDirectory() = default;

        // The extension listed under that unique id, or null.
        virtual SourceExtension* getSourceExtension(const std::string& uniqueId) = 0;
        // An extension the manager keeps for itself (not listed), or null.
        virtual SourceExtension* getInternalSourceExtension(const std::string& uniqueId) = 0;
        // Adds a factory asked, after those before it, to make sources again
        // from XML; not owned. The root's capture-device and render-pass
        // managers register here.
        virtual void registerSourceFactory(SourceFactory& factory) = 0;
    };
}
