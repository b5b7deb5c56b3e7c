#pragma once

#include <string>

namespace vx
{
    class SourceExtension;

    // Who a source is: the four strings of the extension that offers its
    // kind.
    struct SourceInfo
    {
        std::string name;
        std::string description;
        std::string uniqueId;
        std::string categoryName;

        // The extension with this unique id from the current source
        // directory; null while there is none or it does not know the id.
        SourceExtension* getExtension() const;
    };
}
