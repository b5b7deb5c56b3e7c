#include "engine/video/formats/VXVideoFormatManager.h"

#include "core/VXFile.h"
#include "core/VXStringUtils.h"
#include "core/VXTaskManager.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXBufferableVideoFormatReader.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"
#include "engine/video/formats/VXSingleFrameBufferer.h"
#include "engine/video/formats/VXVideoFormatWriter.h"

#include <algorithm>
#include <array>
#include <map>

namespace vx
{
    namespace
    {
        // One behind, three ahead, from five frames on; the block bufferer's
        // tasks need a task manager.
        void installBufferer(VideoFormatReader* reader)
        {
            auto* bufferable = dynamic_cast<BufferableVideoFormatReader*>(reader);
            if (bufferable == nullptr)
                return;
            if (bufferable->getTotalFrames() >= 5 && TaskManager::getCurrent() != nullptr)
                bufferable->setBufferer(new SequentialBlockFramesBufferer(1, 3, true, *bufferable));
            else
                bufferable->setBufferer(new SingleFrameBufferer(*bufferable));
        }

        // The list names ext as a whole "*.<ext>" entry, in any case.
        bool listsExtension(const std::string& list, const std::string& ext)
        {
            if (ext.empty())
                return false;
            const std::string entry = "*." + toLower(ext);
            for (std::size_t at = list.find(entry); at != std::string::npos; at = list.find(entry, at + 1))
            {
                const std::size_t end = at + entry.size();
                if ((at == 0 || list[at - 1] == ';') && (end == list.size() || list[end] == ';'))
                    return true;
            }
            return false;
        }

        // Extensions that name one kind of picture give one key.
        std::string pictureKind(const File& file)
        {
            const std::string ext = toLower(file.getExtension());
            if (ext == "jpeg")
                return "jpg";
            if (ext == "tiff")
                return "tif";
            return ext;
        }

        // The kind most of the files are; on a tie, the kind of the first.
        std::string mainKind(const std::vector<File>& files)
        {
            std::map<std::string, std::size_t> counts;
            for (const File& file : files)
                ++counts[pictureKind(file)];
            std::string main;
            std::size_t most = 0;
            for (const File& file : files)
            {
                const std::string kind = pictureKind(file);
                if (counts[kind] > most)
                {
                    main = kind;
                    most = counts[kind];
                }
            }
            return main;
        }

        using BasicFormat = VideoFormatManager::BasicFormat;
        constexpr auto numBasicFormats = static_cast<std::size_t>(BasicFormat::Count);

        // Function-local, so registration files may fill it during static
        // initialisation in any order.
        std::array<VideoFormatManager::FormatMaker, numBasicFormats>& basicFormatMakers()
        {
            static std::array<VideoFormatManager::FormatMaker, numBasicFormats> makers = {
                nullptr,
                [] () -> VideoFormat* { return new ImageVideoFormat(); },
                nullptr, // QMI: installed by its layer
                nullptr, // QMV: installed by its layer
                nullptr, // Quartz Composer: installed by the movie layer
            };
            return makers;
        }
    }

    void VideoFormatManager::setBasicFormatMaker(BasicFormat which, FormatMaker maker)
    {
        if (which < BasicFormat::Count)
            basicFormatMakers()[static_cast<std::size_t>(which)] = maker;
    }

    VideoFormatManager::VideoFormatManager()
    {
        registerBasicFormats();
    }

    VideoFormatManager::~VideoFormatManager()
    {
        clearFormats();
    }

    void VideoFormatManager::registerBasicFormats()
    {
        for (FormatMaker maker : basicFormatMakers())
            if (maker != nullptr)
                registerFormat(maker(), false, false);
    }

    void VideoFormatManager::registerFormat(VideoFormat* format, bool makeDefault, bool prepend)
    {
        if (format == nullptr)
            return;
        // The new format's own index: the front when prepended.
        if (makeDefault)
            defaultIndex = prepend ? 0 : static_cast<int>(formats.size());
        if (prepend)
            formats.insert(formats.begin(), std::unique_ptr<VideoFormat>(format));
        else
            formats.emplace_back(format);
    }

    VideoFormat* VideoFormatManager::getKnownFormat(int i) const
    {
        return i >= 0 && i < getNumKnownFormats() ? formats[static_cast<std::size_t>(i)].get() : nullptr;
    }

    VideoFormat* VideoFormatManager::getDefaultFormat() const
    {
        return getKnownFormat(defaultIndex);
    }

    VideoFormat* VideoFormatManager::findFormatForFileExtension(const std::string& ext) const
    {
        if (ext.empty())
            return nullptr;
        const std::string lowerCase = toLower(ext);
        for (const auto& format : formats)
            if (format->getFileExtensions().find(lowerCase) != std::string::npos)
                return format.get();
        return nullptr;
    }

    std::string VideoFormatManager::getWildcardForAllFormats() const
    {
        std::string all;
        for (const auto& format : formats)
            all += format->getFileExtensions();
        return all;
    }

    bool VideoFormatManager::isFileTypeSupported(const File& file) const
    {
        return isFileTypeSupported(file.getExtension());
    }

    bool VideoFormatManager::isFileTypeSupported(const std::string& ext) const
    {
        for (const auto& format : formats)
            if (listsExtension(format->getFileExtensions(), ext))
                return true;
        return false;
    }

    bool VideoFormatManager::isSequenceFile(const File& file) const
    {
        const std::string name = file.getFileName();
        if (name.empty() || name.front() == '.')
            return false;
        for (const auto& format : formats)
            if (format->canReaderHandleMultipleFiles() &&
                listsExtension(format->getFileExtensions(), file.getExtension()))
                return true;
        return false;
    }

    VideoFormatReader* VideoFormatManager::createReaderFor(const File& file, bool multipleFiles,
                                                           VideoFormatReader::Purpose purpose)
    {
        if (! file.exists() || formats.empty())
            return nullptr;
        VideoFormatReader* reader = nullptr;
        for (const auto& format : formats)
        {
            if (! format->canHandleFile(file))
                continue;
            if (multipleFiles && ! format->canReaderHandleMultipleFiles())
                continue;
            reader = format->createReaderFor(file, purpose);
            if (reader != nullptr)
                break;
        }
        if (reader != nullptr && purpose == VideoFormatReader::purposePlayback)
            installBufferer(reader);
        return reader;
    }

    VideoFormatReader* VideoFormatManager::createReaderForImageSequence(const File& directory)
    {
        std::vector<File> files;
        File::getFilesInDirectory(directory, files, true);
        // Side files of other systems (AppleDouble twins, Thumbs.db,
        // desktop.ini) are no frames, and a picture of another kind than
        // most (a cover, a preview) is none either.
        files.erase(std::remove_if(files.begin(), files.end(), [this](const File& f) { return ! isSequenceFile(f); }),
                    files.end());
        // Listing order is the file system's; a sequence plays in name order,
        // its frame numbers by value: frame_9 before frame_10 whether or not
        // the numbers are zero-padded (padded ones keep their byte order).
        std::sort(files.begin(), files.end(),
                  [](const File& a, const File& b) { return lessByNumberValues(a.getFileName(), b.getFileName()); });
        const std::string kind = mainKind(files);
        files.erase(std::remove_if(files.begin(), files.end(), [&](const File& f) { return pictureKind(f) != kind; }),
                    files.end());

        // The first file that opens makes the reader: one before it that does
        // not (zero bytes, cut short) is left out, as the reader leaves out
        // later files that do not fit.
        VideoFormatReader* reader = nullptr;
        std::size_t next = 0;
        while (reader == nullptr && next < files.size())
            reader = createReaderFor(files[next++], true, VideoFormatReader::purposePlayback);
        if (reader == nullptr)
            return nullptr;
        for (; next < files.size(); ++next)
            reader->addFile(files[next], false);
        reader->setFolderSequence(true);
        // The bufferer chosen for one frame is chosen again for the sequence.
        installBufferer(reader);
        return reader;
    }

    VideoFormatWriter* VideoFormatManager::createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                           unsigned height, VideoCodecSettings& settings)
    {
        for (const auto& format : formats)
        {
            if (! format->canHandleFileFormat(file.getExtension(), settings.fourCC))
                continue;
            if (VideoFormatWriter* writer = format->createWriterFor(file, fps, bitDepth, width, height, 0, settings))
                return writer;
        }
        return nullptr;
    }

    void VideoFormatManager::release()
    {
        for (const auto& format : formats)
            format->release();
    }

    void VideoFormatManager::clearFormats()
    {
        while (! formats.empty())
            formats.pop_back();
        defaultIndex = 0;
    }

    PixelsLoader::LoadResult VideoFormatManager::loadPixels(const File& file, std::shared_ptr<Pixels>& pixels,
                                                            std::string& codecName)
    {
        std::unique_ptr<VideoFormatReader> reader(createReaderFor(file, false, VideoFormatReader::purposePlayback));
        if (reader == nullptr || ! reader->canServePixels())
            return loadNoReader;
        reader->readFrame(0.0);
        std::shared_ptr<Pixels> frame;
        if (! reader->updatePixels(frame) || frame == nullptr)
            return loadNoFrame;
        pixels = std::move(frame);
        codecName = reader->getCodecName();
        return loadDone;
    }
}
