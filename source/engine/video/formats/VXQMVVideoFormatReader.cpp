#include "engine/video/formats/VXQMVVideoFormatReader.h"

#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXTaskThreads.h"
#include "core/VXWaitableEvent.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXHardwareBuffer.h"
#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedClientAttribs.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVDecompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"

#include <epoxy/gl.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace vx
{
    namespace
    {
        // Frame rates a movie may claim; anything else is a damaged file.
        constexpr double maxFps = 1000.0;

        bool allocate(std::vector<unsigned char>& bytes, std::size_t size)
        {
            try
            {
                bytes.assign(size, 0);
                return true;
            }
            catch (const std::bad_alloc&)
            {
                bytes.clear();
                return false;
            }
        }
    }

    QMVVideoFormatReader::QMVVideoFormatReader(const File& readFile) : VideoFormatReader(readFile, "QMV file")
    {
        codecName = readFile.getExtension();
        loadingThreadMode = TaskThreadMode::Threaded;
        opened = openFile(readFile);
    }

    QMVVideoFormatReader::~QMVVideoFormatReader()
    {
        waitForPreRead();
        // GL names die on the render thread: the manager takes what release
        // did not free.
        for (HardwareBuffer*& buffer : buffers)
        {
            GfxObject::deleteUsingManager(buffer);
            buffer = nullptr;
        }
    }

    bool QMVVideoFormatReader::openFile(const File& openedFile)
    {
        const char* path = openedFile.getFullPath().c_str();
        stream.reset(openedFile.createInputStream(true));
        if (stream.get() == nullptr)
        {
            logPrint(logError, "QMV file: cannot open '%s'.", path);
            return false;
        }
        if (! record.read(*stream))
        {
            logPrint(logError, "QMV file: '%s' is no QMV file or is damaged.", path);
            return false;
        }

        const QMVVideoInfo& info = record.videoInfo;
        if (! std::isfinite(info.fps) || info.fps <= 0.0f || info.fps > maxFps)
        {
            logPrint(logError, "QMV file: '%s' claims %g frames per second.", path, double(info.fps));
            return false;
        }
        if (info.width == 0 || info.height == 0 || qmv::nd16(info.width) > 0xFFFF || qmv::nd16(info.height) > 0xFFFF)
        {
            logPrint(logError, "QMV file: '%s' claims frames of %u x %u.", path, unsigned(info.width),
                     unsigned(info.height));
            return false;
        }
        maxFrameSize = record.getMaxFrameSize();
        if (maxFrameSize > std::uint32_t(INT_MAX))
        {
            logPrint(logError, "QMV file: '%s' claims a frame of %u bytes.", path, unsigned(maxFrameSize));
            return false;
        }

        // The stream's type is frame 0's own: files whose video information
        // carries an older FourCC still play. An empty table falls back on it.
        std::uint8_t version = std::uint8_t(info.version), subVersion = std::uint8_t(info.subVersion);
        frameType = qmv::fourccToQMVType(info.fourcc, version);
        if (record.frameTable.count > 0 && record.frameTable.entries[0].size >= unsigned(qmv::oldHeaderSize))
        {
            unsigned char head[qmv::headerSize] = {};
            const unsigned long headBytes = std::min<unsigned long>(qmv::headerSize, record.frameTable.entries[0].size);
            stream->setPosition(record.frameTable.entries[0].offset);
            if (stream->readBytes(head, headBytes) != headBytes ||
                (! qmv::isOldHeader(head) && headBytes < unsigned(qmv::headerSize)))
            {
                logPrint(logError, "QMV file: the first frame of '%s' is cut short.", path);
                return false;
            }
            const qmv::QMVHeader frameHeader = qmv::getFrameHeader(head);
            version = frameHeader.version;
            subVersion = frameHeader.subVersion;
            frameType = qmv::fourccToQMVType(frameHeader.fourcc, version);
        }

        textureWidth = info.width;
        textureHeight = info.height;
        fps = info.fps;
        msecPerFrame = 1000.0 / fps;
        length = record.frameTable.count / fps * 1000.0;

        // Made per reader: the settings keep no pointer to it.
        VideoCodecInfoQMV codecInfo;
        VideoCodecSettings streamSettings(info.width, info.height, fps, nullptr);
        codecInfo.fillSettings(streamSettings);
        decompressor.reset(new QMVDecompressor(streamSettings, qmv::QMVType(frameType), version, subVersion));
        const VideoCodecSettings& settings = decompressor->getSettings();
        decodedSize = unsigned(qmv::getCompressedSize(info.width, info.height, frameType));
        if (decodedSize == 0)
        {
            logPrint(logError, "QMV file: '%s' has frames of an unknown kind.", path);
            return false;
        }

        codecName = "QMV: " + settings.codecName;
        textureFormat = settings.textureFormat;
        setBitDepth(textureFormat != nullptr ? textureFormat->bytesPerPixel : 0);
        setHasAlpha(settings.hasAlpha != 0);
        shaderNeeded = settings.needsShader;
        alphaType->setValue(settings.formatRevision, ValueChangeInfo());
        flipped = (settings.codecFilled & 0xFF) != 0;
        hasAudio = record.audioInfo.offset != 0;
        return true;
    }

    int QMVVideoFormatReader::getTextureWidth() const
    {
        return decompressor.get() != nullptr ? decompressor->getSettings().paddedWidth : textureWidth;
    }

    int QMVVideoFormatReader::getTextureHeight() const
    {
        return decompressor.get() != nullptr ? decompressor->getSettings().paddedHeight : textureHeight;
    }

    bool QMVVideoFormatReader::init(int, int)
    {
        if (! opened)
            return false;
        waitForPreRead();
        releaseBuffers();
        if (! allocateFrameMemory())
            return false;
        if (! needsShader())
        {
            for (HardwareBuffer*& buffer : buffers)
            {
                buffer = new HardwareBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING);
                if (! buffer->init(STREAM_DRAW, decodedSize, nullptr))
                {
                    releaseBuffers();
                    return false;
                }
            }
        }
        fillIndex = 1;
        mapped = nullptr;
        filledFrame = -1;
        return true;
    }

    void QMVVideoFormatReader::release()
    {
        waitForPreRead();
        releaseBuffers();
        compressed = {};
        decoded = {};
        VideoFormatReader::release();
    }

    void QMVVideoFormatReader::releaseBuffers()
    {
        for (HardwareBuffer*& buffer : buffers)
        {
            delete buffer;
            buffer = nullptr;
        }
        mapped = nullptr;
        filledFrame = -1;
    }

    void QMVVideoFormatReader::waitForPreRead()
    {
        if (pendingPreRead.get() == nullptr)
            return;
        pendingPreRead->waitForTrigger();
        pendingPreRead.reset();
    }

    void* QMVVideoFormatReader::mapBuffer(int index)
    {
        HardwareBuffer* buffer = buffers[index];
        // A buffer still mapped from a failed read is unmapped first: GL
        // refuses to map it twice.
        buffer->unmap();
        void* pointer = buffer->map(false, true);
        if (pointer == nullptr)
            logPrint(logError, "QMV file: cannot map a frame buffer of '%s'.", file.getFullPath().c_str());
        return pointer;
    }

    void QMVVideoFormatReader::unmapBuffer(int index)
    {
        buffers[index]->unmap();
        mapped = nullptr;
    }

    bool QMVVideoFormatReader::allocateFrameMemory()
    {
        if (! allocate(compressed, maxFrameSize) || ! allocate(decoded, decodedSize))
        {
            logPrint(logError, "QMV file: no memory for the frames of '%s'.", file.getFullPath().c_str());
            return false;
        }
        return true;
    }

    bool QMVVideoFormatReader::decodeFrame(unsigned index)
    {
        if (! opened || (decoded.empty() && ! allocateFrameMemory()))
            return false;
        unsigned char* frame = compressed.data();
        if (! record.readFrame(*stream, index, frame, compressed.size()))
            return false;
        const unsigned size = record.frameTable.entries[index].size;
        // A frame of another kind than the stream's would decode into a
        // buffer sized for the stream's kind.
        if (size < unsigned(qmv::oldHeaderSize) || (! qmv::isOldHeader(frame) && size < unsigned(qmv::headerSize)))
            return false;
        const qmv::QMVHeader header = qmv::getFrameHeader(frame);
        if (qmv::fourccToQMVType(header.fourcc, header.version) != frameType)
            return false;
        return decompressor->decompressFrame(decoded.data(), frame, int(size));
    }

    bool QMVVideoFormatReader::readAndDecompress(unsigned index)
    {
        if (! decodeFrame(index))
            return false;
        if (! needsShader())
            std::memcpy(mapped, decoded.data(), decodedSize);
        return true;
    }

    void QMVVideoFormatReader::preReadFrame()
    {
        preReadOk = readAndDecompress(nextFrame);
    }

    void QMVVideoFormatReader::startPreRead(unsigned frame)
    {
        mapped = static_cast<unsigned char*>(mapBuffer(fillIndex));
        if (mapped == nullptr)
            return;
        nextFrame = frame;
        preReadOk = false;
        if (TaskManager::getCurrent() == nullptr)
        {
            preReadFrame();
            pendingPreRead.reset(new WaitableEvent());
            pendingPreRead->trigger();
            return;
        }
        pendingPreRead.reset(TaskThreads::execute([this] { preReadFrame(); }, true, 100));
    }

    bool QMVVideoFormatReader::readFrame(double positionMs)
    {
        long frame = 0;
        if (! opened || ! updatePosition(positionMs, frame))
            return false;
        const unsigned index = unsigned(frame);

        // Until the reader can fill a frame it keeps no current one: the
        // frame asked for is read when asked for again.
        if (needsShader())
        {
            if (decoded.empty())
                return false;
            setCurrentFrame(frame);
            const bool ok = readAndDecompress(index);
            filledFrame = ok ? frame : -1;
            return ok;
        }
        if (buffers[0] == nullptr)
        {
            logPrint(logError, "QMV file: '%s' is read before init.", file.getFullPath().c_str());
            return false;
        }
        setCurrentFrame(frame);

        bool result = false;
        if (pendingPreRead.get() != nullptr)
        {
            waitForPreRead();
            // After a jump the pre-read holds another frame: the buffer is
            // still mapped, so the requested one is decoded into it instead.
            result = nextFrame == index ? preReadOk : readAndDecompress(index);
        }
        else
        {
            mapped = static_cast<unsigned char*>(mapBuffer(fillIndex));
            if (mapped == nullptr)
            {
                // Nothing filled: no pre-read either, the next call tries again.
                filledFrame = -1;
                setCurrentFrame(-1);
                return false;
            }
            result = readAndDecompress(index);
        }
        unmapBuffer(fillIndex);
        filledFrame = result ? frame : -1;
        fillIndex ^= 1;

        startPreRead((index + 1) % getTotalFrames());
        return result;
    }

    bool QMVVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        if (needsShader())
        {
            logPrint(logError, "QMV file: frames of '%s' are drawn through the decompressor, not uploaded.",
                     file.getFullPath().c_str());
            return false;
        }
        if (buffers[0] == nullptr || filledFrame < 0 || textureFormat == nullptr)
            return false;
        const int w = getTextureWidth(), h = getTextureHeight();
        if (! texture->isValid() || texture->getFormat() != *textureFormat || texture->getWidth() < w ||
            texture->getHeight() < h)
        {
            logPrint(logError, "QMV file: a %dx%d %s frame does not fit the %dx%d texture (%s).", w, h,
                     textureFormat->name.c_str(), texture->getWidth(), texture->getHeight(),
                     texture->getFormat().name.c_str());
            return false;
        }

        HardwareBuffer& filled = *buffers[fillIndex ^ 1];
        filled.unmap();
        const GLenum target = texture->getTarget() != 0 ? GLenum(texture->getTarget()) : GLenum(GL_TEXTURE_2D);
        const ScopedTextureBinding textureBinding(target, texture->getGLName());
        const ScopedBufferBinding unpackBinding(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING,
                                                filled.getGLName());
        const ScopedClientAttribs pixelStore(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        // The upload reads the pixel-unpack buffer: no copy on this thread.
        if (textureFormat->compressed)
            glCompressedTexSubImage2D(target, 0, 0, 0, w, h, GLenum(textureFormat->internalFormat),
                                      GLsizei(decodedSize), nullptr);
        else
            glTexSubImage2D(target, 0, 0, 0, w, h, GLenum(textureFormat->format), GLenum(textureFormat->type),
                            nullptr);
        return true;
    }

    bool QMVVideoFormatReader::renderInternal(Renderer& renderer)
    {
        if (decoded.empty() || filledFrame < 0 || decompressor.get() == nullptr)
            return false;
        return decompressor->renderInternal(renderer, decoded.data(), int(decodedSize));
    }
}
