#pragma once

#include "core/VXFile.h"

#include <string>

namespace vx
{

    class Texture;

    /** Process-wide debugging aid beside the texture pool: keeps the folder that
        texture dumps would go to. Dumping itself does nothing in this build. */
    class TextureDebugger
    {
    public:
        /** Made on first use (thread-safe), destroyed at exit. */
        static TextureDebugger& getInstance();

        void setDirectory(const File& directoryToUse) { directory = directoryToUse; }
        const File& getDirectory() const { return directory; }
        void setUseUniqueFilenames(bool shouldUseUniqueNames) { useUniqueFilenames = shouldUseUniqueNames; }
        bool isUsingUniqueFilenames() const { return useUniqueFilenames; }

        void debugTexture(Texture* texture, std::string name);

    private:
        TextureDebugger() = default;

        File directory;
        bool useUniqueFilenames = true;
        [[maybe_unused]] int counter = 0;
    };

} // namespace vx
