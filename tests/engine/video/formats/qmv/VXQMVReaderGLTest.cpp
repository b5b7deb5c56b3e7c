#include "engine/video/formats/VXQMVVideoFormatReader.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/VXTaskManager.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXYCoCgBlocks.h"
#include "engine/video/formats/VXQMIVideoFormatReader.h"
#include "engine/video/formats/VXQMIVideoFormatWriter.h"
#include "engine/video/formats/VXQMVVideoFormat.h"
#include "engine/video/formats/qmv/VXQMVTestFiles.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "support/gl/VXGLTestFixture.h"

// The readers on real GL: DXT frames through the two pixel-unpack buffers,
// read back from the texture as block data and compared with what the codec
// alone makes of each picture; YCoCg frames drawn by the decompressor and
// compared with the CPU expansion (the programs work in floats on 8-bit
// texels: within 2 of 255, as the decompressor's own suite allows).

namespace vx::test
{
    using namespace qmvfiles;

    namespace
    {
        class QMVReaderGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                host = std::make_unique<ScopedHostRenderer>(manager);
                renderer = host->renderer;
                ASSERT_NE(renderer, nullptr);
            }

            void TearDown() override
            {
                host.reset();
                GLTest::TearDown();
            }

            // The blocks of the texture's first w x h texels (level 0 may be
            // allocated larger).
            static Bytes readBlocks(const Texture& texture, int w, int h)
            {
                const int hardwareWidth = texture.getHardwareWidth(), hardwareHeight = texture.getHardwareHeight();
                const std::size_t blockBytes = texture.getFormat() == Texture::DXT5_RGBA ? 16 : 8;
                Bytes level(std::size_t(hardwareWidth / 4) * (hardwareHeight / 4) * blockBytes);
                glBindTexture(GL_TEXTURE_2D, texture.getGLName());
                glGetCompressedTexImage(GL_TEXTURE_2D, 0, level.data());
                glBindTexture(GL_TEXTURE_2D, 0);
                Bytes blocks;
                const std::size_t row = std::size_t(w / 4) * blockBytes;
                for (int by = 0; by < h / 4; ++by)
                {
                    const auto start = level.begin() + std::ptrdiff_t(std::size_t(by) * (hardwareWidth / 4) * blockBytes);
                    blocks.insert(blocks.end(), start, start + std::ptrdiff_t(row));
                }
                return blocks;
            }

            // readFrame at frame i, then the upload, as the texture's blocks.
            Bytes show(QMVVideoFormatReader& reader, Texture& texture, unsigned i, bool* read)
            {
                *read = reader.read(i * reader.getMsecPerFrame() + 1.0);
                if (*read && ! reader.updateTexture(&texture))
                    *read = false;
                return readBlocks(texture, reader.getTextureWidth(), reader.getTextureHeight());
            }

            ContextManager manager;
            std::unique_ptr<ScopedHostRenderer> host;
            Renderer* renderer = nullptr;
        };
    }

    TEST_F(QMVReaderGLTest, FullHDStreamFacts)
    {
        TempDir dir;
        const std::string path = dir.file("hd.qmv");
        ASSERT_TRUE(writeMovie(path, 1920, 1080, qmv::typeDXT5, 2, 2, 30.0));
        QMVVideoFormat format;
        std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(path)));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->getTextureWidth(), 1920);
        EXPECT_EQ(reader->getTextureHeight(), 1088);
        EXPECT_TRUE(reader->isBuffering());
        EXPECT_EQ(reader->getLoadingThreadMode(), TaskThreadMode::Threaded);
        EXPECT_EQ(format.getPossibleBitDepths(), (std::vector<unsigned char>{4, 8, 16}));
        EXPECT_EQ(reader->getCodecName(), "QMV: QMV 3.0 Normal Quality, With Alpha");
        ASSERT_NE(reader->getTextureFormat(), nullptr);
        EXPECT_EQ(*reader->getTextureFormat(), Texture::DXT5_RGBA);
        EXPECT_EQ(reader->getBitDepth(), Texture::DXT5_RGBA.bytesPerPixel);
        EXPECT_EQ(reader->getAlphaType().getValue(), 2);
        EXPECT_TRUE(reader->isFlipped());
        EXPECT_TRUE(reader->getHasAlpha());
        EXPECT_FALSE(reader->needsShader());
        EXPECT_FALSE(reader->getHasAudio());
        EXPECT_EQ(reader->getTotalFrames(), 2u);
        EXPECT_DOUBLE_EQ(reader->getLength(), 2000.0 / 30.0);

        ASSERT_TRUE(reader->init(0, 0));
        Texture texture;
        ASSERT_TRUE(texture.create(1920, 1088, Texture::DXT5_RGBA));
        auto& qmvReader = static_cast<QMVVideoFormatReader&>(*reader);
        bool read = false;
        const Bytes shown = show(qmvReader, texture, 1, &read);
        ASSERT_TRUE(read);
        EXPECT_TRUE(shown == expectedBlocks(*makePicture(1920, 1080, 1), qmv::typeDXT5));
        reader->release();
    }

    struct PlayCase
    {
        const char* name;
        int type;
        int threads; // 0: no task manager (the pre-read runs inside readFrame)
    };

    class QMVPlayGLTest : public QMVReaderGLTest, public testing::WithParamInterface<PlayCase>
    {
    };

    // Forward play wraps to frame 0; a jump shows the frame asked for.
    TEST_P(QMVPlayGLTest, ShowsEveryFrameAskedFor)
    {
        std::unique_ptr<ScopedTaskManager> tasks;
        if (GetParam().threads > 0)
            tasks = std::make_unique<ScopedTaskManager>(std::uint8_t(GetParam().threads));
        TempDir dir;
        const std::string path = dir.file("play.qmv");
        const int w = 48, h = 20, type = GetParam().type;
        const unsigned count = 5;
        ASSERT_TRUE(writeMovie(path, w, h, type, count, 0, 10.0));
        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.init(0, 0));
        Texture texture;
        ASSERT_TRUE(texture.create(reader.getTextureWidth(), reader.getTextureHeight(), *reader.getTextureFormat()));

        const unsigned order[] = {0, 1, 2, 3, 4, 0, 1, 3, 2, 4, 1};
        for (unsigned frame : order)
        {
            bool read = false;
            const Bytes shown = show(reader, texture, frame, &read);
            ASSERT_TRUE(read) << frame;
            EXPECT_EQ(shown, expectedBlocks(*makePicture(w, h, frame), type)) << frame;
        }
        reader.release();
    }

    INSTANTIATE_TEST_SUITE_P(Streams, QMVPlayGLTest,
                             testing::Values(PlayCase{"DXT1", qmv::typeDXT1, 0}, PlayCase{"DXT5", qmv::typeDXT5, 0},
                                             PlayCase{"DXT1OnTasks", qmv::typeDXT1, 2},
                                             PlayCase{"DXT5OnTasks", qmv::typeDXT5, 3}),
                             [](const testing::TestParamInfo<PlayCase>& info) { return std::string(info.param.name); });

    TEST_F(QMVReaderGLTest, PlayingForwardShowsThePreReadFrame)
    {
        // Without a task manager the pre-read of frame k + 1 has finished when
        // readFrame(k) answers; frame k + 1 is then spoiled on disk, so only
        // the pre-read can show it. A jump decodes the frame asked for.
        TempDir dir;
        const std::string path = dir.file("pre.qmv");
        // Frames larger than the stream's read buffer, so every read reaches the disk.
        const int w = 256, h = 128;
        ASSERT_TRUE(writeMovie(path, w, h, qmv::typeDXT1, 4, 0, 10.0));
        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.init(0, 0));
        Texture texture;
        ASSERT_TRUE(texture.create(w, h, Texture::DXT1_RGBA));
        const QMVFileFormat& record = reader.getRecord();
        std::string bytes = dir.readFile("pre.qmv");
        auto spoil = [&](unsigned frame) {
            const QMVFrameTableEntry& entry = record.frameTable.entries[frame];
            for (std::uint32_t i = qmv::headerSize; i < entry.size; ++i)
                bytes[entry.offset + i] = char(0xEE);
            dir.writeFile("pre.qmv", bytes);
        };

        ASSERT_GT(record.frameTable.entries[1].size, 8192u);
        bool read = false;
        show(reader, texture, 0, &read);
        ASSERT_TRUE(read);
        spoil(1);
        EXPECT_EQ(show(reader, texture, 1, &read), expectedBlocks(*makePicture(w, h, 1), qmv::typeDXT1));
        EXPECT_TRUE(read);
        // Frame 2 was pre-read too; jumping to 3 must not show it.
        EXPECT_EQ(show(reader, texture, 3, &read), expectedBlocks(*makePicture(w, h, 3), qmv::typeDXT1));
        EXPECT_TRUE(read);
        // Frame 1 is read again from the disk now: spoiled, it is no longer
        // picture 1 (refused, or decoded into something else).
        const Bytes again = show(reader, texture, 1, &read);
        EXPECT_FALSE(read && again == expectedBlocks(*makePicture(w, h, 1), qmv::typeDXT1));
        reader.release();
    }

    TEST_F(QMVReaderGLTest, AFailedFrameLeavesNoBufferMapped)
    {
        ScopedTaskManager tasks(2);
        TempDir dir;
        const std::string path = dir.file("bad.qmv");
        const int w = 32, h = 16;
        ASSERT_TRUE(writeMovie(path, w, h, qmv::typeDXT5, 5, 0, 10.0));
        std::string bytes = dir.readFile("bad.qmv");
        QMVFileFormat record;
        {
            QMVVideoFormatReader probe{File(path)};
            record = probe.getRecord();
        }
        for (unsigned frame : {2u, 3u})
            putU32(bytes, record.frameTable.entries[frame].offset, qmv::fourccYCoCg6);
        dir.writeFile("bad.qmv", bytes);

        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.init(0, 0));
        Texture texture;
        ASSERT_TRUE(texture.create(32, 16, Texture::DXT5_RGBA));
        const bool expectedRead[] = {true, true, false, false, true, true};
        const unsigned order[] = {0, 1, 2, 3, 4, 0};
        for (int i = 0; i < 6; ++i)
        {
            bool read = false;
            const Bytes shown = show(reader, texture, order[i], &read);
            EXPECT_EQ(read, expectedRead[i]) << order[i];
            if (expectedRead[i])
            {
                EXPECT_EQ(shown, expectedBlocks(*makePicture(w, h, order[i]), qmv::typeDXT5)) << order[i];
            }
        }
        EXPECT_EQ(getInteger(GL_PIXEL_UNPACK_BUFFER_BINDING), 0);
        GLCallCounter<&epoxy_glDeleteBuffers> deletes("glDeleteBuffers");
        reader.release();
        EXPECT_EQ(deletes.count(), 2) << "both pixel-unpack buffers";
    }

    namespace
    {
        // Makes glMapBuffer answer null from its refuseFrom-th call on while in scope.
        struct ScopedRefusedMaps
        {
            explicit ScopedRefusedMaps(int refuseFromCall)
            {
                saved = epoxy_glMapBuffer;
                real = reinterpret_cast<PFNGLMAPBUFFERPROC>(detail::getRealGLProc("glMapBuffer"));
                calls = 0;
                refuseFrom = refuseFromCall;
                epoxy_glMapBuffer = [](GLenum target, GLenum access) -> void* {
                    return ++calls >= refuseFrom ? nullptr : real(target, access);
                };
            }
            ~ScopedRefusedMaps() { epoxy_glMapBuffer = saved; }
            PFNGLMAPBUFFERPROC saved;
            static inline PFNGLMAPBUFFERPROC real = nullptr;
            static inline int calls = 0, refuseFrom = 0;
        };
    }

    // A buffer GL will not map starts no pre-read; reading recovers once it maps again.
    TEST_F(QMVReaderGLTest, AnUnmappableBufferStartsNoPreRead)
    {
        TempDir dir;
        const std::string path = dir.file("map.qmv");
        const int w = 32, h = 16;
        ASSERT_TRUE(writeMovie(path, w, h, qmv::typeDXT1, 4, 0, 10.0));
        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.init(0, 0));
        Texture texture;
        ASSERT_TRUE(texture.create(w, h, Texture::DXT1_RGBA));
        LogRecorder log;
        bool read = true;
        {
            const ScopedRefusedMaps refused(1);
            show(reader, texture, 0, &read);
            EXPECT_FALSE(read) << "the frame's own buffer did not map";
            EXPECT_EQ(refused.calls, 1) << "no pre-read was started";
        }
        EXPECT_TRUE(log.contains("cannot map")) << log.dump();
        {
            const ScopedRefusedMaps refused(2); // the frame maps, the pre-read does not
            EXPECT_EQ(show(reader, texture, 1, &read), expectedBlocks(*makePicture(w, h, 1), qmv::typeDXT1));
            EXPECT_TRUE(read);
            EXPECT_EQ(refused.calls, 2);
        }
        for (unsigned frame : {2u, 3u, 0u})
        {
            EXPECT_EQ(show(reader, texture, frame, &read), expectedBlocks(*makePicture(w, h, frame), qmv::typeDXT1));
            EXPECT_TRUE(read) << frame;
        }
        reader.release();
    }

    // A frame asked for before the reader could fill it (before init, or
    // with a buffer GL would not map) is read when asked for again.
    TEST_F(QMVReaderGLTest, AFrameTheReaderCouldNotFillIsReadWhenAskedAgain)
    {
        TempDir dir;
        const std::string path = dir.file("again.qmv");
        const int w = 32, h = 16;
        ASSERT_TRUE(writeMovie(path, w, h, qmv::typeDXT1, 4, 0, 10.0));
        QMVVideoFormatReader reader{File(path)};
        Texture texture;
        ASSERT_TRUE(texture.create(w, h, Texture::DXT1_RGBA));
        LogRecorder log;
        EXPECT_FALSE(reader.read(1.0)) << "before init";
        EXPECT_EQ(reader.getCurrentFrame(), -1);
        ASSERT_TRUE(reader.init(0, 0));
        bool read = false;
        EXPECT_EQ(show(reader, texture, 0, &read), expectedBlocks(*makePicture(w, h, 0), qmv::typeDXT1));
        EXPECT_TRUE(read) << "frame 0 once initialised";
        {
            const ScopedRefusedMaps refused(1);
            // Decoded into the pre-read's buffer, already mapped; no new pre-read.
            EXPECT_EQ(show(reader, texture, 2, &read), expectedBlocks(*makePicture(w, h, 2), qmv::typeDXT1));
            EXPECT_TRUE(read);
            show(reader, texture, 3, &read);
            EXPECT_FALSE(read) << "frame 3's buffer did not map";
        }
        EXPECT_EQ(show(reader, texture, 3, &read), expectedBlocks(*makePicture(w, h, 3), qmv::typeDXT1));
        EXPECT_TRUE(read) << "frame 3 once its buffer maps";
        reader.release();
    }

    TEST_F(QMVReaderGLTest, ReaderDeletedWhileItsPreReadRuns)
    {
        ScopedTaskManager tasks(2);
        TempDir dir;
        const std::string path = dir.file("gone.qmv");
        ASSERT_TRUE(writeMovie(path, 64, 64, qmv::typeDXT5, 3, 0, 10.0));
        Texture texture;
        ASSERT_TRUE(texture.create(64, 64, Texture::DXT5_RGBA));
        for (int round = 0; round < 4; ++round)
        {
            auto reader = std::make_unique<QMVVideoFormatReader>(File(path));
            ASSERT_TRUE(reader->init(0, 0));
            bool read = false;
            show(*reader, texture, unsigned(round % 3), &read);
            EXPECT_TRUE(read);
            // Not released: the destructor waits for the pre-read and hands
            // the buffers over (without a manager they go at once).
            reader.reset();
        }
    }

    struct ShaderCase
    {
        const char* name;
        int type;
    };

    class QMVShaderGLTest : public QMVReaderGLTest, public testing::WithParamInterface<ShaderCase>
    {
    };

    TEST_P(QMVShaderGLTest, DrawsThroughTheDecompressorWithoutBuffers)
    {
        ScopedTaskManager tasks(2);
        const int type = GetParam().type;
        const bool alpha = type == qmv::typeYACoCg10;
        TempDir dir;
        const std::string path = dir.file("ycocg.qmv");
        const int w = 48, h = 32;
        ASSERT_TRUE(writeMovie(path, w, h, type, 3, 0, 10.0));
        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.isOpened());
        EXPECT_TRUE(reader.needsShader());

        GLCallCounter<&epoxy_glGenBuffers> buffers("glGenBuffers");
        GLCallCounter<&epoxy_glMapBuffer> maps("glMapBuffer");
        ASSERT_TRUE(reader.init(0, 0));
        ASSERT_TRUE(reader.read(2 * reader.getMsecPerFrame() + 1.0));
        EXPECT_EQ(buffers.count(), 0);
        EXPECT_EQ(maps.count(), 0);

        const Bytes planes = expectedBlocks(*makePicture(w, h, 2), type);
        Bytes expected(std::size_t(w) * h * 4);
        if (alpha)
            ASSERT_EQ(YACoCg10_ConvertInto_RGBA32(planes.data(), w, h, expected.data()), 0);
        else
            ASSERT_EQ(YCoCg6_ConvertInto_RGBA32(planes.data(), w, h, expected.data()), 0);

        std::vector<PixelRGBA8> pixels;
        {
            ScopedTestFramebuffer target(w, h);
            gfx::setIdentityTransform();
            ASSERT_TRUE(reader.renderInternal(*renderer));
            pixels = readPixels(0, 0, w, h);
            gfx::resetViewport();
        }
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const PixelRGBA8& got = pixels[std::size_t(h - 1 - y) * w + x];
                const std::uint8_t* want = &expected[(std::size_t(y) * w + x) * 4];
                const PixelRGBA8 wanted{want[0], want[1], want[2], alpha ? want[3] : std::uint8_t(255)};
                if (! isNear(got, wanted, 2) && mismatches++ < 5)
                    ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " for " << wanted;
            }
        EXPECT_EQ(mismatches, 0);

        LogRecorder log;
        Texture texture;
        ASSERT_TRUE(texture.create(w, h, Texture::RGBA8));
        EXPECT_FALSE(reader.updateTexture(&texture)) << "never uploaded as RGBA";
        reader.release();
    }

    INSTANTIATE_TEST_SUITE_P(Types, QMVShaderGLTest,
                             testing::Values(ShaderCase{"YCoCg6", qmv::typeYCoCg6},
                                             ShaderCase{"YACoCg10", qmv::typeYACoCg10}),
                             [](const testing::TestParamInfo<ShaderCase>& info) { return std::string(info.param.name); });

    TEST_F(QMVReaderGLTest, QMIDecodesOncePerInit)
    {
        TempDir dir;
        const int w = 36, h = 20;
        Codec codec(qmv::typeDXT1, w, h);
        File file(dir.file("still.qmi"));
        {
            QMIVideoFormatWriter writer(file, 25.0f, 4, w, h, codec.settings);
            ASSERT_TRUE(writer.write(makePicture(w, h, 2)));
        }
        QMIVideoFormatReader reader(file);
        ASSERT_TRUE(reader.isOpened());
        Texture texture;
        ASSERT_TRUE(texture.create(reader.getTextureWidth(), reader.getTextureHeight(), Texture::DXT1_RGBA));
        const Bytes expected = expectedBlocks(*makePicture(w, h, 2), qmv::typeDXT1);
        EXPECT_FALSE(reader.readFrame(0.0)) << "before init";
        for (int round = 0; round < 2; ++round)
        {
            ASSERT_TRUE(reader.init(0, 0));
            EXPECT_TRUE(reader.readFrame(0.0));
            EXPECT_TRUE(reader.updateTexture(&texture));
            EXPECT_FALSE(reader.readFrame(0.0)) << "decoded and uploaded once";
            EXPECT_FALSE(reader.updateTexture(&texture));
            EXPECT_EQ(readBlocks(texture, reader.getTextureWidth(), reader.getTextureHeight()), expected) << "the texture keeps the image";
        }
        reader.release();
    }
}
