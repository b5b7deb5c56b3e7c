#pragma once

#include "core/parameters/VXPixelsLoader.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class File;
    class VideoFormat;
    class VideoFormatWriter;
    class VideoCodecSettings;

    // The registry of file formats, owned by the engine root (module flag
    // 0x80): finds formats by extension and makes readers and writers, which
    // belong to the caller. It also loads image parameters' files, as the
    // parameter layer's PixelsLoader. Formats are registered on one thread
    // before use; lookups may then run on any thread.
    class VideoFormatManager : public PixelsLoader
    {
    public:
        // Registers the five basic formats.
        VideoFormatManager();
        ~VideoFormatManager() override;
        VideoFormatManager(const VideoFormatManager&) = delete;
        VideoFormatManager& operator=(const VideoFormatManager&) = delete;

        // The basic formats in registration order. Layers above this one (the
        // movie and QMV formats) install their makers from registration files.
        enum class BasicFormat
        {
            AVF,
            Image,
            QMI,
            QMV,
            QuartzComposer,
            Count
        };
        using FormatMaker = VideoFormat* (*)();
        // Replaces the maker of one basic format; null removes it.
        static void setBasicFormatMaker(BasicFormat which, FormatMaker maker);

        // AV Foundation, image files, QMI, QMV, Quartz Composer, in that order;
        // a basic format without a maker is skipped.
        void registerBasicFormats();
        // Takes ownership; null is ignored. makeDefault makes it the default,
        // prepend puts it first.
        void registerFormat(VideoFormat* format, bool makeDefault, bool prepend);

        int getNumKnownFormats() const { return static_cast<int>(formats.size()); }
        VideoFormat* getKnownFormat(int i) const;
        VideoFormat* getDefaultFormat() const;
        // The first format whose extension list contains ext (in any case, as
        // a substring); null for an empty ext or when none does.
        VideoFormat* findFormatForFileExtension(const std::string& ext) const;
        // Every format's extension list, appended in order.
        std::string getWildcardForAllFormats() const;
        // Some format's extension list holds the extension, in any case, as
        // "*.<ext>".
        bool isFileTypeSupported(const File& file) const;
        bool isFileTypeSupported(const std::string& ext) const;

        // The first reader a format that handles the file makes (multipleFiles:
        // only formats whose readers take sequences). Readers for playback
        // (purpose 0) get a frame bufferer: a block bufferer one frame behind
        // and three ahead from 5 frames on, when a task manager exists; a
        // single-frame bufferer otherwise. Null when the file does not exist or
        // nothing reads it.
        VideoFormatReader* createReaderFor(const File& file, bool multipleFiles, VideoFormatReader::Purpose purpose);
        // A file that may be a frame of a sequence: not hidden (no leading
        // "."), and named by an extension (any case) that a format whose
        // readers take several files lists.
        bool isSequenceFile(const File& file) const;
        // The directory's sequence files of the kind most of them are (jpg
        // and jpeg, tif and tiff one kind), in name order with numbers by
        // value ("frame_9" before "frame_10"), as one sequence: the first
        // that opens makes the reader, which takes the later ones that fit
        // it. Null when none opens. The reader is marked as made from a
        // folder.
        VideoFormatReader* createReaderForImageSequence(const File& directory);
        VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                                           VideoCodecSettings& settings);

        // Gives every format's resources back; the formats stay registered.
        void release();
        // Deletes every format, last first.
        void clearFormats();

        // PixelsLoader: frame 0 of the file through a reader made for it.
        LoadResult loadPixels(const File& file, std::shared_ptr<Pixels>& pixels, std::string& codecName) override;

    private:
        std::vector<std::unique_ptr<VideoFormat>> formats;
        int defaultIndex = 0;
    };
}
