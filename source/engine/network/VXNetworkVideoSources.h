#pragma once

#include "core/VXCurrentInstance.h"

#include <cstdint>
#include <string>

namespace vx
{
    class NetworkVideoClient;
    class XmlCapable;
    class VideoSource;
    class VideoSourceFactory;

    // The seam through which the server manager makes network video sources:
    // the video-source layer, above it, fills it when the engine is loaded.
    // Null while nothing does; the manager then makes no sources.
    class NetworkVideoSources : public CurrentInstance<NetworkVideoSources>
    {
    public:
        virtual ~NetworkVideoSources() = default;

        // A network source over client (one of the manager's, whose use the
        // source then holds; null: none), made by creator.
        virtual VideoSource* makeSource(NetworkVideoClient* client, VideoSourceFactory* creator) = 0;
        // The source as the persistable object it is.
        virtual XmlCapable* asXmlCapable(VideoSource* source) = 0;
        // The server a network source receives from (or was stored with):
        // address empty when it names none. False when source is no network
        // source.
        virtual bool getServer(XmlCapable* source, std::string& address, std::uint16_t& port) = 0;
    };
}
