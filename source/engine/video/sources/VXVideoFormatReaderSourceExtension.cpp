#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"

namespace vx
{
    const std::string VideoFormatReaderSourceExtension::UNIQUE_ID = "VIDEO_FORMAT_READER_SRC";

    VideoFormatReaderSourceExtension::VideoFormatReaderSourceExtension(VideoSourceDataDriver& driver)
        : VideoSourceExtension(SourceInfo{"videoFormatReader", "VideoFormatReader", UNIQUE_ID, "VideoFormatReaders"},
                               false),
          dataDriver(driver)
    {
    }

    VideoFormatReaderSourceExtension::~VideoFormatReaderSourceExtension()
    {
        ScopedLockT<CriticalSection> hold(lock);
        delete pendingReader;
    }

    VideoSource* VideoFormatReaderSourceExtension::createSource(XmlState* preset)
    {
        VideoFormatReader* reader;
        {
            ScopedLockT<CriticalSection> hold(lock);
            reader = pendingReader;
            pendingReader = nullptr;
        }
        if (reader == nullptr)
        {
            logPrint(logError, "VideoFormatReaderSourceExtension::createSource: no reader to make a source on");
            return nullptr;
        }
        auto* source = new VideoFormatReaderSource(dataDriver, reader);
        source->setSourceInfo(getSourceInfo(), preset);
        return source;
    }

    VideoSource* VideoFormatReaderSourceExtension::createSourceFromXML(const XmlNode& node)
    {
        if (node.first_node("FormatReaderInfo") == nullptr)
            return nullptr;
        VideoFormatReaderSource* source =
            VideoFormatReaderSource::createFromXML(dataDriver, node, getCurrentLoadingGroup());
        if (source != nullptr)
            source->setSourceInfo(getSourceInfo(), nullptr);
        return source;
    }

    XmlNode* VideoFormatReaderSourceExtension::saveSourceToXML(XmlPool& pool, XmlCapable*)
    {
        return XmlCapable::createNode(pool, "FormatReaderInfo");
    }

    VideoFormatReaderSource* VideoFormatReaderSourceExtension::createSourceForReader(VideoFormatReader* reader)
    {
        if (reader == nullptr)
            return nullptr;
        ScopedLockT<CriticalSection> hold(lock);
        setPendingReader(reader);
        VideoSource* source = createSource(static_cast<XmlState*>(nullptr));
        return static_cast<VideoFormatReaderSource*>(source);
    }

    void VideoFormatReaderSourceExtension::setPendingReader(VideoFormatReader* reader)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (pendingReader != nullptr && pendingReader != reader)
        {
            logPrint(logWarning, "VideoFormatReaderSourceExtension: a reader no source took was dropped");
            delete pendingReader;
        }
        pendingReader = reader;
    }

    void VideoFormatReaderSourceExtension::setCurrentLoadingGroup(TaskGroup* group)
    {
        ScopedLockT<CriticalSection> hold(lock);
        loadingGroup = group;
    }

    TaskGroup* VideoFormatReaderSourceExtension::getCurrentLoadingGroup() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return loadingGroup;
    }
}
