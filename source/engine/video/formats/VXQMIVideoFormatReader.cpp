#include "engine/video/formats/VXQMIVideoFormatReader.h"

#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVDecompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXQMVFileFormat.h"

#include <cstring>
#include <new>

namespace vx
{
    namespace
    {
        constexpr unsigned long openBytes = 44;

        std::uint32_t readU32(const unsigned char* p)
        {
            return p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        }

        // The frame header at payload: a whole one fits in size bytes.
        bool holdsFrameHeader(const unsigned char* payload, unsigned long size)
        {
            return size >= unsigned(qmv::oldHeaderSize) && (qmv::isOldHeader(payload) || size >= unsigned(qmv::headerSize));
        }
    }

    QMIVideoFormatReader::QMIVideoFormatReader(const File& readFile)
        : VideoFormatReader(readFile, "QMI file"), codecInfo(new VideoCodecInfoQMV())
    {
        codecName = readFile.getExtension();
        if (openFile(readFile))
        {
            opened = true;
            fps = 30.0;
            msecPerFrame = 1000.0 / 30.0;
            flipped = true;
        }
    }

    QMIVideoFormatReader::~QMIVideoFormatReader() = default;

    unsigned long QMIVideoFormatReader::readFileToBuffer(unsigned long maxBytes)
    {
        ScopedPointer<InputStream> stream(file.createInputStream(true));
        if (stream.get() == nullptr)
            return 0;
        const unsigned long long size = stream->getTotalSize();
        if (size == 0)
            return 0;
        const unsigned long long wanted = maxBytes == 0 ? size : std::min<unsigned long long>(size, maxBytes);
        try
        {
            bytes.assign(static_cast<std::size_t>(wanted), 0);
        }
        catch (const std::bad_alloc&)
        {
            bytes.clear();
            return 0;
        }
        const unsigned long long got = stream->readBytes(bytes.data(), wanted);
        bytes.resize(static_cast<std::size_t>(got));
        return static_cast<unsigned long>(got);
    }

    bool QMIVideoFormatReader::openFile(const File& openedFile)
    {
        const char* path = openedFile.getFullPath().c_str();
        const unsigned long got = readFileToBuffer(openBytes);
        if (got < payloadOffset || readU32(bytes.data()) != qmiMagic ||
            ! holdsFrameHeader(bytes.data() + payloadOffset, got - payloadOffset))
        {
            logPrint(logError, "QMI file: '%s' is no QMI file or is cut short.", path);
            return false;
        }
        imageWidth = readU32(bytes.data() + 8);
        imageHeight = readU32(bytes.data() + 12);
        if (imageWidth == 0 || imageHeight == 0 || imageWidth > 0xFFF0u || imageHeight > 0xFFF0u)
        {
            logPrint(logError, "QMI file: '%s' claims an image of %u x %u.", path, unsigned(imageWidth),
                     unsigned(imageHeight));
            return false;
        }
        payloadSize = got - payloadOffset;
        unsigned char* payload = bytes.data() + payloadOffset;
        const qmv::QMVHeader header = qmv::getFrameHeader(payload);
        fourcc = header.fourcc;
        version = header.version;

        VideoCodecSettings settings(int(imageWidth), int(imageHeight), 30.0, codecInfo.get());
        decompressor.reset(dynamic_cast<QMVDecompressor*>(
            codecInfo->getDecompressor(settings, payload, int(std::min<unsigned long>(payloadSize, qmv::headerSize)))));
        bytes = {};
        if (decompressor.get() == nullptr)
        {
            logPrint(logError, "QMI file: '%s' holds no frame the codec reads.", path);
            return false;
        }
        frameType = decompressor->getType();

        const VideoCodecSettings& decoderSettings = decompressor->getSettings();
        paddedWidth = std::uint16_t(qmv::nd16(int(imageWidth)));
        paddedHeight = std::uint16_t(qmv::nd16(int(imageHeight)));
        textureWidth = paddedWidth;
        textureHeight = paddedHeight;
        codecName = "QMI: " + decoderSettings.codecName;
        textureFormat = decoderSettings.textureFormat;
        setBitDepth(textureFormat != nullptr ? textureFormat->bytesPerPixel : 0);
        setHasAlpha(decoderSettings.hasAlpha != 0);
        shaderNeeded = decoderSettings.needsShader;
        alphaType->setValue(decoderSettings.formatRevision, ValueChangeInfo());
        flipped = (decoderSettings.codecFilled & 0xFF) != 0;
        fps = 30.0;
        length = 1000.0;
        return true;
    }

    bool QMIVideoFormatReader::init(int, int)
    {
        const ScopedLockT<CriticalSection> guard(lock);
        ready = false;
        decoded = {};
        if (! opened)
            return false;
        const char* path = file.getFullPath().c_str();
        const VideoCodecSettings& settings = decompressor->getSettings();
        // A frame never exceeds its block data plus the header (incompressible
        // data is stored raw): a larger file is damaged, and not read whole.
        const unsigned long long largest = payloadOffset + unsigned(settings.compressedSize) + qmv::headerSize;
        ScopedPointer<InputStream> stream(file.createInputStream(true));
        if (stream.get() == nullptr || stream->getTotalSize() > largest)
        {
            logPrint(logError, "QMI file: cannot read '%s', or it is larger than its image.", path);
            return false;
        }
        stream.reset();
        const unsigned long got = readFileToBuffer(0);
        // The file may have been replaced since it was opened.
        if (got < payloadOffset || readU32(bytes.data()) != qmiMagic || readU32(bytes.data() + 8) != imageWidth ||
            readU32(bytes.data() + 12) != imageHeight ||
            ! holdsFrameHeader(bytes.data() + payloadOffset, got - payloadOffset))
        {
            logPrint(logError, "QMI file: '%s' no longer holds the image opened.", path);
            bytes = {};
            return false;
        }
        const qmv::QMVHeader header = qmv::getFrameHeader(bytes.data() + payloadOffset);
        if (qmv::fourccToQMVType(header.fourcc, header.version) != frameType)
        {
            logPrint(logError, "QMI file: '%s' no longer holds the image opened.", path);
            bytes = {};
            return false;
        }
        payloadSize = got - payloadOffset;
        const int decodedBytes = qmv::getCompressedSize(paddedWidth, paddedHeight, frameType);
        try
        {
            decoded.assign(std::size_t(decodedBytes), 0);
        }
        catch (const std::bad_alloc&)
        {
            decoded = {};
            return false;
        }
        decodeTried = false;
        decodedOk = false;
        ready = true;
        return true;
    }

    void QMIVideoFormatReader::release()
    {
        const ScopedLockT<CriticalSection> guard(lock);
        decoded = {};
        bytes = {};
        ready = false;
        decodedOk = false;
        VideoFormatReader::release();
    }

    bool QMIVideoFormatReader::readFrame(double)
    {
        const ScopedLockT<CriticalSection> guard(lock);
        if (! ready || decoded.empty())
            return false;
        if (! decodeTried)
        {
            decodeTried = true;
            decodedOk = decompressor->decompressFrame(decoded.data(), bytes.data() + payloadOffset, int(payloadSize));
            if (! decodedOk)
                logPrint(logError, "QMI file: cannot decode '%s'.", file.getFullPath().c_str());
        }
        if (decodedOk)
            setCurrentFrame(0);
        return decodedOk;
    }

    bool QMIVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        if (! texture->isValid())
            return false;
        const ScopedLockT<CriticalSection> guard(lock);
        if (needsShader())
        {
            logPrint(logError, "QMI file: '%s' is drawn through the decompressor, not uploaded.",
                     file.getFullPath().c_str());
            return false;
        }
        if (! ready || ! decodedOk || textureFormat == nullptr)
            return false;
        const VideoCodecSettings& settings = decompressor->getSettings();
        const int w = settings.paddedWidth, h = settings.paddedHeight;
        if (texture->getFormat() != *textureFormat || texture->getWidth() < w || texture->getHeight() < h)
        {
            logPrint(logError, "QMI file: a %dx%d %s image does not fit the %dx%d texture (%s).", w, h,
                     textureFormat->name.c_str(), texture->getWidth(), texture->getHeight(),
                     texture->getFormat().name.c_str());
            return false;
        }
        const bool uploaded = texture->update(decoded.data(), 0, 0, w, h);
        ready = false;
        return uploaded;
    }

    bool QMIVideoFormatReader::renderInternal(Renderer& renderer)
    {
        const ScopedLockT<CriticalSection> guard(lock);
        if (decoded.empty() || ! decodedOk)
            return false;
        return decompressor->renderInternal(renderer, decoded.data(), int(decoded.size()));
    }
}
