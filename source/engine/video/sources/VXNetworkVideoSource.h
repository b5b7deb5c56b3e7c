#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/video/sources/VXVideoSource.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    class NetworkVideoClient;
    template <typename T>
    class ParamChoice;

    // The frames of one network video client as a source. The server manager
    // makes it and hands out its client, whose use the source holds until it
    // goes or takes another. Frames are taken and uploaded in render, on the
    // render thread; the source takes each frame's size. Stored with its
    // server's "ipaddress" and "port" (on the element and, once, in the
    // "NetworkVideoInfo" child the manager recognises); reading them takes
    // that server's client when the manager lists it. The source follows its
    // server: update takes its client once it is listed (a source restored
    // before discovery found it) and gives it back when it leaves, to take it
    // again when it returns.
    class NetworkVideoSource : public VideoSource, public NetworkVideoServerManagerListener, public ParamListener
    {
    public:
        // Over client (null: none), with the settings "Network Params" whose
        // choice "Network Servers" shows the client's server (or "None",
        // disabled).
        explicit NetworkVideoSource(NetworkVideoClient* client);
        // No client and no settings: type "Network".
        NetworkVideoSource();
        // Releases the client through the manager.
        ~NetworkVideoSource() override;

        // Releases the previous client through the manager and holds c (one
        // use of the manager's, already counted).
        void setClient(NetworkVideoClient* c);
        NetworkVideoClient* getClient() const { return client; }
        // The client's server, else the one the source was stored with;
        // empty and 0 when it names none.
        std::string getServerAddress() const;
        std::uint16_t getServerPort() const;

        // After the server list changed: takes the client of the server the
        // source names once it is listed, or gives back the client of a
        // server no longer listed. Then the base update.
        bool update(const TimeInfo& info) override;
        // The client's server name; "Network" without client.
        std::string getDescription() const override;
        std::shared_ptr<ParamContainer> getSettings() const override { return settings; }
        void resized(int newWidth, int newHeight) override;
        // The client's newest frame through the chain; empty without client
        // or frame.
        TextureRef render(Renderer& renderer, const RenderInfo& info) override;

        // Any thread: update looks at the list again.
        void networkVideoServersChanged() override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        // The base element with "ipaddress" and "port" while a server is
        // named, and exactly one "NetworkVideoInfo" child.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // The base reading; "ipaddress" and "port" (of the element, else of
        // its "NetworkVideoInfo") name the server, whose client, when the
        // manager has one, replaces the current one.
        void readStateDerived(const XmlNode& node) override;

        const std::shared_ptr<ParamChoice<int>>& getServersParam() const { return servers; }

    private:
        void showServer();
        void followServer();

        NetworkVideoClient* client = nullptr;
        std::string storedAddress;
        std::uint16_t storedPort = 0;
        std::atomic<bool> serversChanged{false};
        std::shared_ptr<ParamContainer> settings;
        std::shared_ptr<ParamChoice<int>> servers;
    };
}
