#pragma once

// What the video-source suites share: a source class that draws nothing and
// a kind of source that makes it, a listener recording every call in order,
// and an asynchronous scheduler drained on the test's thread.

#include "engine/video/sources/VXPositionableVideoSource.h"
#include "engine/video/sources/VXSourceDirectory.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "support/VXScopedTestScheduler.h"

#include <rapidxml/rapidxml_print.hpp>

#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace vx::test
{
    // One line, no indenting.
    inline std::string printXml(const XmlNode& node)
    {
        std::string text;
        rapidxml::print(std::back_inserter(text), node, rapidxml::print_no_indenting);
        return text;
    }

    class PlainSource : public PositionableVideoSource
    {
    public:
        PlainSource() : PositionableVideoSource("PlainSource") {}
        TextureRef render(Renderer&, const RenderInfo&) override { return {}; }

        void setPlaybackSpeed(double speed) override { speeds.push_back(speed); }
        void setPlaybackDirection(ParamPlayDirection direction) override { directions.push_back(int(direction)); }
        void resized(int w, int h) override { resizes.push_back({w, h}); }
        using VideoSource::setResizable;

        std::vector<double> speeds;
        std::vector<int> directions;
        std::vector<std::pair<int, int>> resizes;
    };

    // A registered kind of source that makes plain sources.
    class PlainExtension : public VideoSourceExtension
    {
    public:
        PlainExtension(const std::string& id, bool hidden) : PlainExtension("Plain " + id, id, hidden) {}
        PlainExtension(const std::string& name, const std::string& id, bool hidden)
            : VideoSourceExtension(SourceInfo{name, "plain", id, "Plain"}, hidden)
        {
        }
        VideoSource* createSource(XmlState*) override { return new PlainSource(); }
        using VideoSourceExtension::createSource;
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable*) override
        {
            return XmlCapable::createNode(pool, "PlainInfo");
        }
    };

    // Every call as one line ("available", "unavailable 2", "progress 0.2",
    // "resized", "finished"), from any thread.
    class RecordingListener : public VideoSourceListener
    {
    public:
        void playbackFinished(VideoSource&) override { add("finished"); }
        void sourceAvailable(VideoSource&) override { add("available"); }
        void sourceUnavailable(VideoSource&, Reason reason) override { add("unavailable " + std::to_string(reason)); }
        void loadingProgress(VideoSource&, float progress) override
        {
            char text[32];
            std::snprintf(text, sizeof text, "progress %.1f", progress);
            add(text);
        }
        void sourceResized(VideoSource&) override { add("resized"); }

        std::vector<std::string> get() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return calls;
        }
        void clear()
        {
            std::lock_guard<std::mutex> hold(lock);
            calls.clear();
        }

    private:
        void add(const std::string& call)
        {
            std::lock_guard<std::mutex> hold(lock);
            calls.push_back(call);
        }
        mutable std::mutex lock;
        std::vector<std::string> calls;
    };

    // A source directory over a fixed list, current while in scope.
    class ScopedSourceDirectory : public SourceDirectory
    {
    public:
        ScopedSourceDirectory() { SourceDirectory::setCurrent(this); }
        ~ScopedSourceDirectory() override { SourceDirectory::clearCurrent(this); }

        SourceExtension* getSourceExtension(const std::string& id) override { return find(listed, id); }
        SourceExtension* getInternalSourceExtension(const std::string& id) override { return find(internal, id); }
        void registerSourceFactory(SourceFactory&) override {}

        std::vector<SourceExtension*> listed, internal;

    private:
        static SourceExtension* find(const std::vector<SourceExtension*>& list, const std::string& id)
        {
            for (SourceExtension* extension : list)
                if (extension->getExtensionUniqueId() == id)
                    return extension;
            return nullptr;
        }
    };
}
