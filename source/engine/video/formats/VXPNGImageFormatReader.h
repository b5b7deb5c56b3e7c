#pragma once

#include "core/VXCriticalSection.h"
#include "engine/gfx/VXTextureFormat.h"
#include "engine/video/formats/VXBufferableVideoFormatReader.h"

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vx
{
    // One PNG file as a still picture, or equally sized PNG files as a
    // sequence, through the frame bufferers: a preparation reads a block of
    // files into memory, each decode turns one into an RGBA frame of 4 or 8
    // bytes per pixel. Preparation and decoding run on the bufferer's task,
    // one at a time; a file that is missing, or decodes to another size or
    // pixel size than the first file, gives a frame without data.
    class PNGImageFormatReader : public BufferableVideoFormatReader
    {
    public:
        // The bytes of one whole file.
        struct PreparedFrame
        {
            std::unique_ptr<unsigned char[]> data;
            unsigned long long size = 0;
            std::string path;
            // Its decode failed once: it is not tried again.
            bool undecodable = false;
        };

        // Reads the first file's header only.
        explicit PNGImageFormatReader(const File& file);
        ~PNGImageFormatReader() override;

        bool canFrameRateBeAltered() override { return true; }
        bool canHandleMultipleFiles() const override { return true; }
        // A further file must have the first file's size and pixel size.
        bool addFile(const File& file, bool rejectDuplicates) override;
        unsigned getTotalFrames() override;
        using BufferableVideoFormatReader::init;
        bool init(int width, int height) override;
        bool hasCustomThumbnail() const override { return true; }
        // A full decode of the first file; empty when it fails.
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        using BufferableVideoFormatReader::renderInternal;
        bool renderInternal(Renderer& renderer, const unsigned char* frame) override;

        // Reads files first.. (wrapping) into memory; count becomes the number
        // of steps taken. A single file stays in memory once read.
        bool prepareFrames(unsigned first, int& count, unsigned char* buffer) override;
        bool decompressPreparedFrame(int index, unsigned char** frame) override;
        std::size_t getFrameSize() override;

        // Decodes a file: its header only, or the whole picture into out.
        // Any out pointer may be null.
        static bool decompress(const File& file, int* width, int* height, int* bytesPerPixel, bool* hasAlpha,
                               bool headerOnly, std::shared_ptr<Pixels>& out);

    private:
        bool openFile(const File& file, bool headerOnly);

        std::atomic<bool> framePending{false};
        std::shared_ptr<Pixels> pixels;
        std::vector<File> files;
        CriticalSection lock;
        TextureFormat ownTextureFormat;
        std::vector<std::shared_ptr<PreparedFrame>> prepared;
        // Files whose decode failed, each reported once.
        std::set<std::string> undecodableFiles;
    };
}
