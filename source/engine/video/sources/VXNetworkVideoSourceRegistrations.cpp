// Fills the server manager's network-source seam, so the manager makes
// network video sources. The engine links this file into every program that
// uses it.

#include "engine/network/VXNetworkVideoSources.h"
#include "engine/video/sources/VXNetworkVideoSource.h"

namespace vx
{
    namespace
    {
        class Sources final : public NetworkVideoSources
        {
        public:
            VideoSource* makeSource(NetworkVideoClient* client, VideoSourceFactory* creator) override
            {
                auto* source = new NetworkVideoSource(client);
                source->setCreator(creator);
                return source;
            }

            XmlCapable* asXmlCapable(VideoSource* source) override { return source; }

            bool getServer(XmlCapable* object, std::string& address, std::uint16_t& port) override
            {
                auto* source = dynamic_cast<NetworkVideoSource*>(object);
                if (source == nullptr)
                    return false;
                address = source->getServerAddress();
                port = source->getServerPort();
                return true;
            }
        };

        Sources sources;
        const bool installed = (NetworkVideoSources::setCurrent(&sources), true);
    }
}
