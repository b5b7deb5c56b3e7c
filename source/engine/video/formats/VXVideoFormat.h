#pragma once

#include "core/VXCodecFourCC.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <string>
#include <vector>

namespace vx
{
    class File;
    class VideoFormatWriter;
    class VideoCodecSettings;

    // The codec of four characters, first character in the most significant byte.
    constexpr CodecFourCC fourCCFromText(const char (&text)[5])
    {
        return CodecFourCC((static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
                           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
                           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
                           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])));
    }

    // "0000": any codec. The zero code, the default of a codec choice, counts as any too.
    constexpr CodecFourCC anyCodec = fourCCFromText("0000");
    constexpr bool isAnyCodec(CodecFourCC codec) { return codec == anyCodec || codec.getCode() == 0; }

    // One registered file format: the extensions ("*.mov;*.mp4") and codecs it
    // handles, and the readers and writers it makes. Readers and writers
    // belong to the caller; a reader whose file did not open, or a writer
    // that is not ready, is deleted and null answered.
    class VideoFormat
    {
    public:
        explicit VideoFormat(const std::string& formatName);
        VideoFormat(const std::string& formatName, const std::string& fileExtensions,
                    const std::vector<CodecFourCC>& codecs);
        virtual ~VideoFormat();
        VideoFormat(const VideoFormat&) = delete;
        VideoFormat& operator=(const VideoFormat&) = delete;

        virtual void release() {}
        // canHandleFileFormat(the file's extension, any codec).
        virtual bool canHandleFile(const File& file);
        virtual bool canReaderHandleMultipleFiles() const { return false; }
        // The lower-cased extension occurs in the extension list (an empty one
        // does), and the codec is any codec or one of the list.
        virtual bool canHandleFileFormat(std::string extension, CodecFourCC codec);
        // Bytes per pixel a writer can be asked for.
        virtual std::vector<unsigned char> getPossibleBitDepths() = 0;
        virtual std::vector<std::string> getQualityOptions() const { return {}; }
        // Forwards to createReaderFor(file).
        virtual VideoFormatReader* createReaderFor(const File& file, VideoFormatReader::Purpose purpose);
        virtual VideoFormatReader* createReaderFor(const File& file);
        virtual VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                   unsigned height, int unused, VideoCodecSettings& settings);

        const std::string& getFormatName() const { return formatName; }
        const std::string& getFileExtensions() const { return fileExtensions; }
        const std::vector<CodecFourCC>& getCodecs() const { return codecs; }

    protected:
        // Answers reader when it opened its file; deletes it and answers null otherwise.
        static VideoFormatReader* keepIfOpened(VideoFormatReader* reader);

    private:
        std::string formatName;
        std::string fileExtensions;
        std::vector<CodecFourCC> codecs;
    };
}
