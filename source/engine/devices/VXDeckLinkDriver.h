#pragma once

#include <string>

namespace vx
{
    // Where the capture-card driver module and the streaming module are
    // loaded from. Each takes effect only before the first card call loads
    // the module (the loader runs once per process). The defaults name the
    // vendor's framework locations, absent here, so no card is found until a
    // driver path is set.
    void setDeckLinkDriverPath(const std::string& path);
    void setDeckLinkStreamingPath(const std::string& path);
}
