#include "VXSourcesGLTestSupport.h"

#include "core/VXTaskGroup.h"
#include "core/parameters/VXParamRange.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/formats/VXPNGTestWriter.h"
#include "engine/video/formats/VXVideoTextureBuffer.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        using Calls = std::vector<std::string>;

        // The new reader gives the source its size first.
        const Calls loadedCalls{"progress 0.2", "progress 0.3", "progress 0.6", "progress 0.7", "progress 0.8",
                                "progress 0.9", "resized",      "available",    "progress 1.0"};

        Calls failedCalls(const std::string& why)
        {
            return {"progress 0.2", "progress 0.3", "progress 0.6", "progress 0.9", why, "progress 1.0"};
        }

        class FileSourceGLTest : public SourcesGLTest
        {
        protected:
            // A source on a scripted reader made now.
            std::unique_ptr<VideoFormatReaderSource> sourceOn(const ReaderScript& script)
            {
                ScriptedFormat::script = script;
                VideoFormatReader* reader =
                    root->getVideoFormatManager()->createReaderFor(File(scriptedFile()), false,
                                                                   VideoFormatReader::purposePlayback);
                EXPECT_NE(reader, nullptr);
                return std::make_unique<VideoFormatReaderSource>(driver, reader);
            }

            ScriptedReader& readerOf(VideoFormatReaderSource& source)
            {
                return *dynamic_cast<ScriptedReader*>(source.getVideoFormatReader());
            }

            std::unique_ptr<VideoFormatReaderSource> fromXml(const std::string& readerAttributes,
                                                             TaskGroup* group = nullptr)
            {
                return std::unique_ptr<VideoFormatReaderSource>(
                    VideoFormatReaderSource::createFromXML(driver, *sourceElement(readerAttributes), group));
            }

            TextureRef renderOnce(VideoSource& source) { return source.render(*renderer, info); }
        };
    }

    TEST_F(FileSourceGLTest, AnElementWithoutReaderChildIsRefusedWithAnErrorLine)
    {
        LogRecorder log;
        text = "<VideoSource/>";
        document.parse<0>(text.data());
        EXPECT_EQ(VideoFormatReaderSource::createFromXML(driver, *document.first_node(), nullptr), nullptr);
        EXPECT_TRUE(log.contains(
            "ERROR: createFromXML: VideoFormatReaderSource node could not be found, cannot create reader source."))
            << log.dump();
    }

    TEST_F(FileSourceGLTest, LoadsOnTheQueueItsElementNames)
    {
        struct Case
        {
            const char* name;
            std::string attribute;
            TaskThreadMode queue;
            bool warned;
        };
        const Case cases[] = {
            {"update", "LoadingThread=\"TTM_UPDATE\"", TaskThreadMode::Update, false},
            {"control", "LoadingThread=\"TTM_CONTROL\"", TaskThreadMode::Control, false},
            {"message", "LoadingThread=\"TTM_MESSAGE\"", TaskThreadMode::Message, false},
            {"unknown", "LoadingThread=\"TTM_ELSEWHERE\"", TaskThreadMode::Message, true},
            {"missing", "", TaskThreadMode::Message, true},
        };
        const std::string file = scriptedFile();
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            LogRecorder log;
            auto source = fromXml("fileName=\"" + file + "\" " + c.attribute);
            EXPECT_EQ(tasks().getNumPendingTasks(c.queue), 1u);
            EXPECT_EQ(log.contains("Could not read/recognise loading thread mode, defaulting to TTM_MESSAGE."),
                      c.warned)
                << log.dump();
            tasks().executeTasks(c.queue, 0.0);
            EXPECT_FALSE(source->isLoading());
            EXPECT_NE(source->getVideoFormatReader(), nullptr);
        }
    }

    TEST_F(FileSourceGLTest, AThreadedLoadRunsOnAWorkerAndAGroupHoldsItsTask)
    {
        RecordingListener listener;
        auto threaded = fromXml("fileName=\"" + scriptedFile() + "\" LoadingThread=\"TTM_THREADED\"");
        threaded->addListener(listener, false);
        EXPECT_NE(threaded->getVideoFormatReader(), nullptr);
        threaded->removeListener(listener);

        TaskGroup group;
        auto grouped = fromXml("fileName=\"" + scriptedFile() + "\"", &group);
        EXPECT_EQ(group.getNumSubTasks(), 1u);
        EXPECT_EQ(tasks().getNumPendingTasks(TaskThreadMode::Message), 0u);
        EXPECT_TRUE(grouped->isLoading());
        group.executeGroup();
        drainMessages();
        EXPECT_FALSE(grouped->isLoading());
        EXPECT_NE(grouped->getVideoFormatReader(), nullptr);
    }

    TEST_F(FileSourceGLTest, ALoadTellsItsProgressAndOutcome)
    {
        struct Case
        {
            const char* name;
            std::string attributes;
            bool failOpen;
            Calls calls;
            const char* warning;
        };
        const std::string file = scriptedFile();
        const Case cases[] = {
            {"loaded", "fileName=\"" + file + "\"", false, loadedCalls, nullptr},
            {"no reader", "fileName=\"" + file + "\"", true, failedCalls("unavailable 2"), nullptr},
            {"no file", "fileName=\"" + temp.file("gone.scripted") + "\"", false, failedCalls("unavailable 3"),
             nullptr},
            {"no name", "", false, Calls{"progress 0.2", "unavailable 0"},
             "WARNING: executeTask: 'fileName' attribute could not be read, cannot create reader."},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            ScriptedFormat::script.failOpen = c.failOpen;
            LogRecorder log;
            RecordingListener listener;
            auto source = fromXml(c.attributes + " LoadingThread=\"TTM_MESSAGE\"");
            EXPECT_TRUE(source->listenForAvailability(listener, false));
            drainMessages();
            EXPECT_EQ(listener.get(), c.calls);
            if (c.warning != nullptr)
            {
                EXPECT_TRUE(log.contains(c.warning)) << log.dump();
            }
            source->removeListener(listener);
        }
    }

    TEST_F(FileSourceGLTest, ListeningForAvailabilityAfterTheLoadAnswersAtOnce)
    {
        RecordingListener listener;
        auto loaded = sourceOn(ReaderScript());
        EXPECT_FALSE(loaded->listenForAvailability(listener, false));
        EXPECT_EQ(listener.get(), (Calls{"available", "progress 1.0"}));
        EXPECT_FALSE(loaded->listenIfLoading(listener));
        loaded->removeListener(listener);

        listener.clear();
        auto missing = fromXml("fileName=\"" + temp.file("gone.scripted") + "\" LoadingThread=\"TTM_MESSAGE\"");
        EXPECT_TRUE(missing->listenIfLoading(listener));
        drainMessages();
        listener.clear();
        EXPECT_FALSE(missing->listenForAvailability(listener, false));
        EXPECT_EQ(listener.get(), (Calls{"unavailable 3", "progress 1.0"}));
        missing->removeListener(listener);
        EXPECT_EQ(missing->getReaderFile(), temp.file("gone.scripted"));
        EXPECT_EQ(missing->getDescription(), "VideoFormatReaderSource");
    }

    TEST_F(FileSourceGLTest, ASourceSavedBeforeItsLoadWritesItsElementBackUnchanged)
    {
        const std::string attributes =
            "fileName=\"" + scriptedFile() + "\" LoadingThread=\"TTM_MESSAGE\" custom=\"kept\"";
        TaskGroup group; // never run: the load cannot be hurried
        auto source = fromXml(attributes, &group);
        const std::string original = printXml(*document.first_node()->first_node("VideoFormatReaderSource"));
        XmlPool pool;
        XmlNode* element = source->writeState(pool, true);
        ASSERT_NE(element, nullptr);
        const XmlNode* child = element->first_node("VideoFormatReaderSource");
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(printXml(*child), original);
    }

    TEST_F(FileSourceGLTest, ALoadedSourceWritesItsReaderAndReadsItBack)
    {
        ReaderScript script;
        script.resizable = true;
        script.loading = TaskThreadMode::Threaded;
        auto source = sourceOn(script);
        source->setSize(32, 16);
        XmlPool pool;
        XmlNode* element = source->writeState(pool, true);
        const XmlNode* child = element->first_node("VideoFormatReaderSource");
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(readAttribute(child->first_attribute("fileName"), std::string()), temp.file("clip.scripted"));
        EXPECT_EQ(child->first_attribute("isSequence"), nullptr);
        EXPECT_EQ(readAttribute(child->first_attribute("LoadingThread"), std::string()), "TTM_THREADED");
        EXPECT_EQ(readAttribute(child->first_attribute("width"), std::string()), "32");
        EXPECT_EQ(readAttribute(child->first_attribute("height"), std::string()), "16");
        EXPECT_NE(child->first_node(), nullptr);

        auto again = std::unique_ptr<VideoFormatReaderSource>(
            VideoFormatReaderSource::createFromXML(driver, *element, nullptr));
        ASSERT_NE(again, nullptr);
        ASSERT_NE(again->getVideoFormatReader(), nullptr);
        EXPECT_EQ(again->getVideoFormatReader()->getWidth(), 32);
        EXPECT_EQ(again->getWidth(), 32);
    }

    TEST_F(FileSourceGLTest, TakesTheReadersSizeAndSixFortyByFourEightyWithoutOne)
    {
        struct Case
        {
            const char* name;
            int width, height;
            int expectedWidth, expectedHeight;
        };
        const Case cases[] = {{"sized", 8, 4, 8, 4}, {"no width", 0, 4, 640, 480}, {"no height", 8, 0, 640, 480}};
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            ReaderScript script;
            script.width = c.width;
            script.height = c.height;
            script.length = 1000.0;
            auto source = sourceOn(script);
            EXPECT_EQ(source->getWidth(), c.expectedWidth);
            EXPECT_EQ(source->getHeight(), c.expectedHeight);
            EXPECT_EQ(source->getNumFrames(), 10);
            EXPECT_EQ(source->getFrameRate(), 25.0);
            EXPECT_EQ(source->getDuration(), 1000.0);
            EXPECT_EQ(source->getDescription(), "clip.scripted");
        }
    }

    TEST_F(FileSourceGLTest, RendersTheFrameAtThePlayHead)
    {
        auto source = sourceOn(ReaderScript());
        source->getPositionParam()->setValue(100.0, ValueChangeInfo());
        TextureRef output = renderOnce(*source);
        ASSERT_NE(output.get(), nullptr);
        EXPECT_TRUE(driver.hasSource(source.get()));
        expectUniform(readOutput(output), 8, 4, ScriptedReader::colourOf(2, 255), 1);
        EXPECT_EQ(readerOf(*source).initSize, (std::pair<int, int>{8, 4}));
        EXPECT_EQ(readerOf(*source).getReads().front(), 100.0);
    }

    TEST_F(FileSourceGLTest, ABufferingReaderIsDrivenFromRenderNeverFromTheDataDriver)
    {
        ReaderScript script;
        script.buffering = true;
        auto source = sourceOn(script);
        TextureRef first = renderOnce(*source);
        EXPECT_NE(first.get(), nullptr);
        EXPECT_FALSE(driver.hasSource(source.get()));
        EXPECT_EQ(readerOf(*source).getReads().size(), 1u);
        renderOnce(*source);
        EXPECT_EQ(readerOf(*source).getReads().size(), 2u);
    }

    // A reader parked when its source started (a scrub, random play) is fed
    // by the DataDriver; once it buffers again the render alone reads it: the
    // feeding thread, reading a play head moved on since, would send it back.
    TEST_F(FileSourceGLTest, AReaderThatTakesUpBufferingIsReadByTheRenderAloneFromThen)
    {
        class PassCounter final : public PlainSource
        {
        public:
            void updateVideo() override { ++passes; }
            std::atomic<unsigned long> passes{0};
        } probe;
        driver.addSource(&probe);
        auto source = sourceOn(ReaderScript());
        renderOnce(*source);
        ASSERT_TRUE(driver.hasSource(source.get()));
        ScriptedReader& reader = readerOf(*source);
        reader.buffering = true;
        const std::size_t from = reader.getReads().size();
        for (const double position : {300.0, 220.0})
        {
            source->getPositionParam()->setValue(position, ValueChangeInfo());
            // Passes that began after the change have ended.
            const unsigned long passes = probe.passes.load();
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (probe.passes.load() < passes + 3 && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            expectUniform(readOutput(renderOnce(*source)), 8, 4, ScriptedReader::colourOf(long(position / 40.0), 255),
                          1);
        }
        const std::vector<std::thread::id> threads = reader.getReadThreads();
        ASSERT_GT(threads.size(), from);
        for (std::size_t i = from; i < threads.size(); ++i)
            EXPECT_EQ(threads[i], std::this_thread::get_id()) << "read " << i << " ran on another thread";
        driver.removeSource(&probe);
        source->release();
    }

    TEST_F(FileSourceGLTest, YuvTexturesAreMadeNearestAndTheDefaultFilterComesBack)
    {
        for (const bool sequential : {false, true})
        {
            SCOPED_TRACE(sequential ? "sequential" : "packed");
            const Texture::FILTER saved = Texture::defaultFilter;
            Texture::defaultFilter = Texture::LINEAR;
            ReaderScript script;
            (sequential ? script.sequentialYuv : script.yuv) = true;
            auto source = sourceOn(script);
            TextureRef output = renderOnce(*source);
            EXPECT_EQ(Texture::defaultFilter, Texture::LINEAR);
            Texture* texture = source->getTextureBuffer()->getTexture(0);
            ASSERT_NE(texture, nullptr);
            glBindTexture(GL_TEXTURE_2D, texture->getGLName());
            GLint filter = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
            glBindTexture(GL_TEXTURE_2D, 0);
            EXPECT_EQ(filter, GL_NEAREST);
            Texture::defaultFilter = saved;
            ASSERT_NE(source->getFormatConversion(), nullptr);
            EXPECT_EQ(source->getFormatConversion()->YUVToRGBA, ! sequential);
            EXPECT_EQ(source->getFormatConversion()->sequentialYUVToRGBA, sequential);
        }
    }

    TEST_F(FileSourceGLTest, ACodecMissingItsLastLineGetsOneTransformScaledToTheShorterPicture)
    {
        ReaderScript script;
        script.height = 10;
        script.missesLastLine = true;
        auto source = sourceOn(script);
        renderOnce(*source);
        renderOnce(*source);
        RenderPassChain& chain = *source->getRenderPassChain();
        std::vector<RenderPassChain::PassPtr> transforms;
        chain.getRenderPassesWithType(transforms, TransformEffect::classType());
        ASSERT_EQ(transforms.size(), 1u);
        EXPECT_EQ(chain.findIndexOfPass(*transforms[0]), 0);
        auto transform = std::dynamic_pointer_cast<TransformEffect>(transforms[0]);
        EXPECT_EQ(transform->getStorage(), XmlCapable::storageNever);
        const ParamRange& scaleH =
            *std::dynamic_pointer_cast<ParamRange>(transform->getParams().getParamByName("Scale H"));
        EXPECT_NEAR(scaleH.getValue(), 10.0 / 8.0 * 100.0, 1e-6);
    }

    TEST_F(FileSourceGLTest, FormatConversionJoinsForEachOfItsTriggers)
    {
        struct Case
        {
            const char* name;
            std::function<void(ReaderScript&)> script;
            bool converted, premultiply;
            int swizzle;
        };
        const Case cases[] = {
            {"premultiplied four bytes", [](ReaderScript&) {}, false, false, 0},
            {"straight four bytes",
             [](ReaderScript& s)
             {
                 s.alphaType = 1;
                 s.alpha = 128;
             },
             true, true, 0},
            {"straight three bytes",
             [](ReaderScript& s)
             {
                 s.alphaType = 1;
                 s.bytesPerPixel = 3;
             },
             false, false, 0},
            {"swizzled", [](ReaderScript& s) { s.swizzle = 2; }, true, false, 2},
            {"yuv", [](ReaderScript& s) { s.yuv = true; }, true, false, 0},
            {"sequential yuv", [](ReaderScript& s) { s.sequentialYuv = true; }, true, false, 0},
            {"rectangle texture", [](ReaderScript& s) { s.rectangle = true; }, true, false, 0},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            ReaderScript script;
            c.script(script);
            auto source = sourceOn(script);
            TextureRef output = renderOnce(*source);
            ASSERT_NE(output.get(), nullptr);
            const std::shared_ptr<FormatConversion> conversion = source->getFormatConversion();
            ASSERT_EQ(conversion != nullptr, c.converted);
            if (conversion == nullptr)
                continue;
            EXPECT_EQ(source->getRenderPassChain()->findIndexOfPass(*conversion), 0);
            EXPECT_EQ(conversion->premultiply, c.premultiply);
            EXPECT_EQ(int(conversion->getSwizzleMode()), c.swizzle);
            EXPECT_EQ(conversion->getWidth(), 8);
            if (c.premultiply)
                expectUniform(readOutput(output), 8, 4, {10, 50, 100, 128}, 2);
            if (script.rectangle)
                expectUniform(readOutput(output), 8, 4, {20, 100, 200, 255}, 2);
            source->release();
            EXPECT_EQ(source->getFormatConversion(), nullptr);
            EXPECT_EQ(source->getRenderPassChain()->findIndexOfPass(*conversion), -1);
        }
    }

    TEST_F(FileSourceGLTest, AReaderDrawingItselfDrawsUnderItsBlendSetting)
    {
        for (const int alphaType : {1, 2})
        {
            SCOPED_TRACE(alphaType);
            ReaderScript script;
            script.drawsItself = true;
            script.alphaType = alphaType;
            auto source = sourceOn(script);
            TextureRef output = renderOnce(*source);
            ASSERT_NE(output.get(), nullptr);
            expectUniform(readOutput(output), 8, 4, {0, 255, 0, 255}, 1);
            EXPECT_EQ(readerOf(*source).blendSource, alphaType == 1 ? GL_SRC_ALPHA : GL_ONE);
            EXPECT_EQ(source->getTextureBuffer(), nullptr);
            EXPECT_EQ(source->getFormatConversion(), nullptr);
            EXPECT_FALSE(glIsEnabled(GL_BLEND));
        }
    }

    TEST_F(FileSourceGLTest, EveryEarlyExitLeavesTheNextFrameRenderable)
    {
        ReaderScript script;
        script.drawsItself = true;
        auto drawing = sourceOn(script);
        readerOf(*drawing).failRender = true;
        EXPECT_EQ(renderOnce(*drawing).get(), nullptr);
        readerOf(*drawing).failRender = false;
        EXPECT_NE(renderOnce(*drawing).get(), nullptr);

        auto missing = fromXml("fileName=\"" + temp.file("gone.scripted") + "\"");
        EXPECT_EQ(renderOnce(*missing).get(), nullptr);
        EXPECT_EQ(renderOnce(*missing).get(), nullptr);

        auto failing = sourceOn(ReaderScript());
        readerOf(*failing).failInit = true;
        EXPECT_EQ(renderOnce(*failing).get(), nullptr);
        EXPECT_FALSE(driver.hasSource(failing.get()));
    }

    TEST_F(FileSourceGLTest, APngSequencePlaysThroughTheRegistry)
    {
        const PixelRGBA8 colours[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
        std::string first;
        for (int i = 0; i < 3; ++i)
        {
            RawPng png;
            png.width = 4;
            png.height = 2;
            png.colorType = PNG_COLOR_TYPE_RGBA;
            png.rows.assign(2, std::vector<unsigned char>());
            for (auto& row : png.rows)
                for (int x = 0; x < 4; ++x)
                    row.insert(row.end(), {colours[i].r, colours[i].g, colours[i].b, colours[i].a});
            const std::string path = temp.writeFile("sequence/frame" + std::to_string(i) + ".png", writeRaw(png));
            if (i == 0)
                first = path;
        }
        auto source = fromXml("fileName=\"" + first + "\" isSequence=\"1\" LoadingThread=\"TTM_MESSAGE\"");
        drainMessages();
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        EXPECT_EQ(source->getNumFrames(), 3);
        EXPECT_EQ(source->getWidth(), 4);
        TextureRef output = renderOnce(*source);
        ASSERT_NE(output.get(), nullptr);
        expectUniform(readOutput(output), 4, 2, colours[0], 1);
    }

    TEST_F(FileSourceGLTest, TheExtensionHandsAReaderOverOnce)
    {
        VideoFormatReaderSourceExtension extension(driver);
        EXPECT_EQ(VideoFormatReaderSource::create(nullptr), nullptr);

        ScopedSourceDirectory directory;
        directory.internal.push_back(&extension);
        VideoFormatReader* reader = root->getVideoFormatManager()->createReaderFor(
            File(scriptedFile()), false, VideoFormatReader::purposePlayback);
        std::unique_ptr<VideoFormatReaderSource> source(VideoFormatReaderSource::create(reader));
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->getVideoFormatReader(), reader);
        EXPECT_EQ(source->getSourceInfo().uniqueId, "VIDEO_FORMAT_READER_SRC");

        LogRecorder log;
        EXPECT_EQ(extension.createSource(static_cast<XmlState*>(nullptr)), nullptr);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();

        XmlNode* element = sourceElement("fileName=\"" + scriptedFile() + "\" LoadingThread=\"TTM_MESSAGE\"");
        std::unique_ptr<VideoSource> stored(extension.createSourceFromXML(*element));
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->getSourceInfo().name, "videoFormatReader");
        XmlNode* bare = element->first_node("FormatReaderInfo");
        element->remove_node(bare);
        EXPECT_EQ(extension.createSourceFromXML(*element), nullptr);
    }

    TEST_F(FileSourceGLTest, ASourceDestroyedWithoutReleaseLeavesTheDataDriver)
    {
        auto source = sourceOn(ReaderScript());
        renderOnce(*source);
        VideoSource* address = source.get();
        ASSERT_TRUE(driver.hasSource(address));
        source.reset();
        EXPECT_FALSE(driver.hasSource(address));
    }

    TEST_F(FileSourceGLTest, ALoadingTaskNeverOutlivesItsSource)
    {
        const std::string attributes = "fileName=\"" + scriptedFile() + "\" LoadingThread=\"TTM_MESSAGE\"";
        auto queued = fromXml(attributes);
        EXPECT_EQ(tasks().getNumPendingTasks(TaskThreadMode::Message), 1u);
        queued.reset();
        EXPECT_EQ(tasks().getNumPendingTasks(TaskThreadMode::Message), 0u);
        drainMessages();

        TaskGroup group;
        auto grouped = fromXml(attributes, &group);
        grouped.reset();
        group.executeGroup();
        drainMessages();
        EXPECT_EQ(ScriptedFormat::last, nullptr);
    }
}
