#pragma once

#include "core/VXCriticalSection.h"
#include "engine/video/sources/VXVideoSource.h"

#include <string>

namespace vx
{
    class TaskGroup;
    class VideoFormatReader;
    class VideoFormatReaderSource;
    class VideoSourceDataDriver;

    // The factory of file sources: "videoFormatReader" / "VideoFormatReader"
    // / "VIDEO_FORMAT_READER_SRC" / "VideoFormatReaders". A source is made on
    // the reader handed over through createSourceForReader, exactly once;
    // sources stored in XML are recognised by their "FormatReaderInfo" child
    // and load on a task, in the current loading group when one is set.
    class VideoFormatReaderSourceExtension : public VideoSourceExtension
    {
    public:
        static const std::string UNIQUE_ID;

        explicit VideoFormatReaderSourceExtension(VideoSourceDataDriver& driver);
        ~VideoFormatReaderSourceExtension() override;

        // A source on the pending reader, which is handed over and cleared;
        // null (logged) when none is pending.
        VideoSource* createSource(XmlState* preset) override;
        using VideoSourceExtension::createSource;
        // Null unless node has a "FormatReaderInfo" child.
        VideoSource* createSourceFromXML(const XmlNode& node) override;
        // An empty "FormatReaderInfo" element.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;

        // Makes reader pending and a source on it, under the extension's
        // lock; null (the reader stays the caller's) when none was made.
        VideoFormatReaderSource* createSourceForReader(VideoFormatReader* reader);
        void setPendingReader(VideoFormatReader* reader);

        void setCurrentLoadingGroup(TaskGroup* group);
        TaskGroup* getCurrentLoadingGroup() const;
        VideoSourceDataDriver& getDataDriver() const { return dataDriver; }

    private:
        VideoSourceDataDriver& dataDriver;
        mutable CriticalSection lock;
        VideoFormatReader* pendingReader = nullptr;
        TaskGroup* loadingGroup = nullptr;
    };
}
