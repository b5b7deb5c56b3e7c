#pragma once

// The GL fixture of the video-source suites: an engine root with texture
// manager, task manager, format registry and render-pass manager (module
// flags 0x1, 0x4, 0x80, 0x200) on the test's context, and a scripted reader
// registered as the format of "*.scripted" files.

#include "VXSourcesTestSupport.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

#include "core/VXTaskManager.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXVideoFormat.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"
#include "support/VXTempDir.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <cstring>
#include <mutex>
#include <vector>

namespace vx::test
{
    // What the next scripted reader is like.
    struct ReaderScript
    {
        int width = 8, height = 4;
        double fps = 25.0;
        double length = 400.0;
        unsigned frames = 10;
        int bytesPerPixel = 4;
        int alphaType = 2;
        bool yuv = false, sequentialYuv = false;
        int swizzle = 0;
        bool flipped = false;
        bool drawsItself = false;
        bool buffering = false;
        bool resizable = false;
        bool missesLastLine = false;
        bool rectangle = false; // frames arrive in a rectangle texture of the reader's
        bool failOpen = false;
        int openDelayMs = 0;
        TaskThreadMode loading = TaskThreadMode::Message;
        unsigned char alpha = 255;
    };

    // Frame f is every pixel (20 (f + 1), 100, 200, alpha). Records every
    // read; a reader that draws itself clears to green and records the blend
    // factors it found.
    class ScriptedReader : public VideoFormatReader
    {
    public:
        ScriptedReader(const File& file, const ReaderScript& s) : VideoFormatReader(file, "Scripted"), script(s)
        {
            textureWidth = static_cast<unsigned short>(s.width);
            textureHeight = static_cast<unsigned short>(s.height);
            fps = s.fps;
            length = s.length;
            bitDepth = s.bytesPerPixel;
            // A texture adopting a foreign name must not come from the pool.
            textureFormat = s.rectangle ? nullptr : &Texture::RGBA8;
            alphaType->setValue(s.alphaType, ValueChangeInfo());
            needsConversionFromYUVToRGBA = s.yuv;
            needsConversionFromSequentialYUVtoRGBA = s.sequentialYuv;
            swizzleMode = s.swizzle;
            flipped = s.flipped;
            shaderNeeded = s.drawsItself ? 1 : 0;
            resizable = s.resizable;
            loadingThreadMode = s.loading;
            opened = true;
            if (s.missesLastLine)
                codec.oldFrameFlag = 1;
        }

        // Only rectangle readers hold a GL name; their sources die on the GL thread.
        ~ScriptedReader() override
        {
            if (rectangleName != 0)
                glDeleteTextures(1, &rectangleName);
        }

        static PixelRGBA8 colourOf(long frame, unsigned char alpha)
        {
            return {static_cast<uint8_t>(20 * (frame + 1)), 100, 200, alpha};
        }

        unsigned getTotalFrames() override { return script.frames; }
        bool isBuffering() const override { return buffering.load(); }
        VideoCodecSettings* getCodecSettings() override { return script.missesLastLine ? &codec : nullptr; }
        bool init(int w, int h) override
        {
            initSize = {w, h};
            return ! failInit.load();
        }
        void release() override
        {
            ++releases;
            VideoFormatReader::release();
        }

        bool readFrame(double ms) override
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                reads.push_back(ms);
                readThreads.push_back(std::this_thread::get_id());
            }
            long frame = 0;
            if (! updatePosition(ms, frame))
                return false;
            setCurrentFrame(frame);
            return true;
        }

        bool updateTextureInternal(Texture* texture) override
        {
            const long frame = getCurrentFrame();
            if (frame < 0)
                return false;
            const PixelRGBA8 colour = colourOf(frame, script.alpha);
            std::vector<PixelRGBA8> data(size_t(textureWidth) * textureHeight, colour);
            if (script.rectangle)
            {
                if (rectangleName == 0)
                    glGenTextures(1, &rectangleName);
                glBindTexture(GL_TEXTURE_RECTANGLE, rectangleName);
                glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, textureWidth, textureHeight, 0, GL_RGBA,
                             GL_UNSIGNED_BYTE, data.data());
                glBindTexture(GL_TEXTURE_RECTANGLE, 0);
                texture->setGLData(textureWidth, textureHeight, textureWidth, textureHeight, GL_TEXTURE_RECTANGLE,
                                   long(rectangleName), GL_RGBA8, GL_NEAREST, GL_NEAREST, true);
                return true;
            }
            return uploadFrame(*texture, reinterpret_cast<const unsigned char*>(data.data()), textureWidth,
                               textureHeight, 4);
        }

        bool renderInternal(Renderer&) override
        {
            ++renders;
            GLint source = 0;
            glGetIntegerv(GL_BLEND_SRC_RGB, &source);
            blendSource = source;
            if (failRender.load())
                return false;
            gfx::clear(0.0f, 1.0f, 0.0f, 1.0f);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            return true;
        }

        std::vector<double> getReads()
        {
            std::lock_guard<std::mutex> hold(lock);
            return reads;
        }
        // The threads the reads ran on, in the order of the reads.
        std::vector<std::thread::id> getReadThreads()
        {
            std::lock_guard<std::mutex> hold(lock);
            return readThreads;
        }

        ReaderScript script;
        // The script's, changed as a reader parked and brought back does.
        std::atomic<bool> buffering{script.buffering};
        VideoCodecSettings codec;
        std::pair<int, int> initSize{-1, -1};
        std::atomic<int> releases{0}, renders{0};
        std::atomic<bool> failRender{false}, failInit{false};
        int blendSource = -1;
        GLuint rectangleName = 0;

    private:
        std::mutex lock;
        std::vector<double> reads;
        std::vector<std::thread::id> readThreads;
    };

    // "*.scripted": readers after the current script; none when it fails to
    // open. Remembers the last reader it made.
    class ScriptedFormat : public VideoFormat
    {
    public:
        ScriptedFormat() : VideoFormat("Scripted", "*.scripted", {}) {}
        std::vector<unsigned char> getPossibleBitDepths() override { return {4}; }
        using VideoFormat::createReaderFor;
        VideoFormatReader* createReaderFor(const File& file) override
        {
            if (script.openDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(script.openDelayMs));
            std::lock_guard<std::mutex> hold(lock);
            if (script.failOpen)
                return nullptr;
            last = new ScriptedReader(file, script);
            return last;
        }

        static inline std::mutex lock;
        static inline ReaderScript script;
        static inline ScriptedReader* last = nullptr;
    };

    class SourcesGLTest : public HostRendererGLTest
    {
    protected:
        void SetUp() override
        {
            ScriptedFormat::script = ReaderScript();
            ScriptedFormat::last = nullptr;
            if (Vexkit::getInstanceWithoutCreating() == nullptr)
            {
                Vexkit::create(0x1 | 0x4 | 0x80 | 0x200);
                ownsSourcesRoot = true;
            }
            HostRendererGLTest::SetUp();
            ASSERT_FALSE(HasFatalFailure());
            ASSERT_NE(root->getTaskManager(), nullptr);
            ASSERT_NE(root->getRenderPassManager(), nullptr);
            ASSERT_NE(root->getVideoFormatManager(), nullptr);
            root->getVideoFormatManager()->registerFormat(new ScriptedFormat(), false, true);
            restoresViewport = true;
        }

        void TearDown() override
        {
            if (auto* objects = root->getGfxObjectManager())
                objects->cleanAll();
            if (root->getRenderPassManager() != nullptr)
                root->getRenderPassManager()->release();
            HostRendererGLTest::TearDown();
            if (ownsSourcesRoot)
                Vexkit::deleteInstance();
        }

        TaskManager& tasks() { return *root->getTaskManager(); }
        void drainMessages() { tasks().executeTasks(TaskThreadMode::Message, 0.0); }

        // A "*.scripted" file (its bytes do not matter).
        std::string scriptedFile(const std::string& name = "clip.scripted")
        {
            return temp.writeFile(name, "scripted");
        }

        // <VideoSource ...><VideoFormatReaderSource fileName=... /></VideoSource>
        // parsed into document, with the attributes given as text.
        XmlNode* sourceElement(const std::string& readerAttributes,
                               const std::string& size = "width=\"0\" height=\"0\"")
        {
            text = "<VideoSource name=\"VideoSource\" " + size +
                   " type=\"VideoFormatReaderSource\"><FormatReaderInfo/><VideoFormatReaderSource " +
                   readerAttributes + "/></VideoSource>";
            document.clear();
            document.parse<0>(text.data());
            return document.first_node();
        }

        TimeInfo frame(unsigned long long stamp)
        {
            TimeInfo info(0.0);
            info.frameCount = stamp;
            return info;
        }

        Picture readOutput(const TextureRef& output)
        {
            return output.get() != nullptr ? readBack(*output.get()) : Picture{};
        }

        TempDir temp;
        VideoSourceDataDriver driver;
        XmlDocument document;
        std::string text;
        RenderInfo info;
        bool ownsSourcesRoot = false;
    };
}
