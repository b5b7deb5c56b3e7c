// A source's own passes (the format conversion of a movie's decoded frames,
// of a generator drawing straight colour and of a card delivering YUV; a
// card's deinterlace pass) stay at the head of its chain whatever presets,
// edits and restores do to it: the effects a user is given see the
// converted picture, and colours read back show it.

#include "VXCaptureSourcesTestSupport.h"
#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParam.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/catalogue/VXDeinterlace.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/sources/VXCaptureDeviceVideoSource.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx::test
{
    namespace
    {
        // Fills its output with straight (0.5, 0.5, 0.25) at alpha 0.5.
        class HalfAlphaGenerator : public Generator
        {
        public:
            HalfAlphaGenerator() { setName(classType(), true); }
            static std::string classType() { return "TestHalfAlpha"; }
            static std::string classDisplayStr() { return "Half Alpha"; }
            static RttiObject* creationFunc() { return new HalfAlphaGenerator(); }
            std::string getClassType() const override { return classType(); }
            std::string getClassDisplayStr() const override { return classDisplayStr(); }
            bool isPremultiplied() override { return false; }

            bool render(Renderer& renderer) override
            {
                if (! begin(renderer))
                    return false;
                gfx::clear(0.5f, 0.5f, 0.25f, 0.5f);
                glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                end(renderer);
                return true;
            }
        };

        class SourceOwnPassesGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                manager = root->getRenderPassManager();
                manager->registerRenderPass<AddConstantPass>(RenderPassCategoryEffect, 1, false, false);
                manager->registerRenderPass<HalfAlphaGenerator>(RenderPassCategoryGenerator, 0, false, false);
            }

            // An effect adding amount to red, green and blue, written with
            // the chain and made again from it, as a user's effects are.
            static std::shared_ptr<AddConstantPass> effect(double amount)
            {
                std::shared_ptr<AddConstantPass> made(new AddConstantPass(amount), &GfxObject::deleteUsingManager);
                made->setStorage(XmlCapable::storageCreatable);
                return made;
            }

            // The source renders with conversion at the head of its chain
            // (index 0, or 1 behind a generator) and its output's middle
            // shows expected.
            void expectShown(VideoSource& source, const std::shared_ptr<FormatConversion>& conversion, int at,
                             PixelRGBA8 expected, const std::string& step)
            {
                SCOPED_TRACE(step);
                const TextureRef output = source.render(*renderer, info);
                ASSERT_NE(output.get(), nullptr);
                ASSERT_NE(conversion, nullptr);
                EXPECT_EQ(source.getRenderPassChain()->findIndexOfPass(*conversion), at);
                const Picture picture = readOutput(output);
                const PixelRGBA8 middle = picture.at(source.getWidth() / 2, source.getHeight() / 2);
                EXPECT_TRUE(isNear(middle, expected, 4)) << middle << ", expected " << expected;
            }

            RenderPassManager* manager = nullptr;
            XmlPool pool;
        };
    }

    TEST_F(SourceOwnPassesGLTest, AMovieIsConvertedBeforeItsPresetsAndEffects)
    {
        ClipSpec clip;
        clip.colour = "r='100':g='80':b='60'";
        const std::string path = temp.file("plain.mov");
        ASSERT_TRUE(makeClip(path, clip));
        VideoFormatManager& formats = *root->getVideoFormatManager();
        VideoFormatReader* reader = formats.createReaderFor(File(path), false, VideoFormatReader::purposePlayback);
        ASSERT_NE(reader, nullptr);
        VideoFormatReaderSource source(driver, reader);
        const Picture first = playUntil(source, driver, *renderer, info, clip.fps,
                                        [](const Picture& p) { return p.width >= 64 && p.at(32, 16).r > 60; });
        ASSERT_GE(first.width, 64);
        const PixelRGBA8 plain = first.at(32, 16);
        const std::shared_ptr<FormatConversion>& conversion = source.getFormatConversion();
        ASSERT_NE(conversion, nullptr) << "the player's frames need converting";

        // Presets saved from a source of the movie not yet shown: its chain
        // had no conversion, so the effect's index counts without it.
        VideoFormatReaderSource saved(driver,
                                      formats.createReaderFor(File(path), false, VideoFormatReader::purposePlayback));
        const std::shared_ptr<AddConstantPass> presetEffect = effect(0.1);
        saved.getRenderPassChain()->addRenderPass(presetEffect);
        XmlNode* presetA = saved.writeState(pool, true);
        presetEffect->amount->setValue(0.25, ValueChangeInfo());
        XmlNode* presetB = saved.writeState(pool, true);

        // Applying a preset reads its element into the source.
        source.readState(presetA, false);
        expectShown(source, conversion, 0, added(plain, 1, 0.1), "preset A");
        source.readState(presetB, false);
        expectShown(source, conversion, 0, added(plain, 1, 0.25), "preset B after A");
        source.getRenderPassChain()->insertRenderPass(0, effect(0.1), false);
        expectShown(source, conversion, 0, added(plain, 1, 0.35), "an effect inserted at 0");

        // The composition saved and restored.
        XmlNode* composition = source.writeState(pool, true);
        std::unique_ptr<VideoFormatReaderSource> restored(
            VideoFormatReaderSource::createFromXML(driver, *composition, nullptr));
        ASSERT_NE(restored, nullptr);
        const PixelRGBA8 expected = added(plain, 1, 0.35);
        playUntil(*restored, driver, *renderer, info, clip.fps,
                  [&](const Picture& p) { return p.width >= 64 && isNear(p.at(32, 16), expected, 4); });
        expectShown(*restored, restored->getFormatConversion(), 0, expected, "restored");
        EXPECT_EQ(restored->getRenderPassChain()->getNumPasses(), 3);
        restored->release();
        source.release();
    }

    TEST_F(SourceOwnPassesGLTest, AGeneratorIsPremultipliedBeforeItsPresetsAndEffects)
    {
        const auto make = [&]
        {
            return std::unique_ptr<GeneratorVideoSource>(
                dynamic_cast<GeneratorVideoSource*>(manager->createSource(HalfAlphaGenerator::classType())));
        };
        auto source = make();
        ASSERT_NE(source, nullptr);
        source->setSize(8, 8);
        const PixelRGBA8 plain{64, 64, 32, 128};
        ASSERT_NE(source->render(*renderer, info).get(), nullptr);
        const std::shared_ptr<FormatConversion>& conversion = source->getFormatConversion();
        expectShown(*source, conversion, 1, plain, "plain");

        RenderPassChain& chain = *source->getRenderPassChain();
        chain.insertRenderPass(0, effect(0.1), false);
        expectShown(*source, conversion, 1, added(plain, 1, 0.1), "an effect inserted at 0");
        chain.insertRenderPass(1, effect(0.1), false);
        expectShown(*source, conversion, 1, added(plain, 2, 0.1), "an effect inserted at 1");
        chain.moveRenderPass(3, 0);
        expectShown(*source, conversion, 1, added(plain, 2, 0.1), "an effect moved to 0");

        // A preset saved from a source not yet shown (no conversion yet).
        auto saved = make();
        const std::shared_ptr<AddConstantPass> presetEffect = effect(0.05);
        saved->getRenderPassChain()->addRenderPass(presetEffect);
        XmlNode* presetA = saved->writeState(pool, true);
        presetEffect->amount->setValue(0.2, ValueChangeInfo());
        XmlNode* presetB = saved->writeState(pool, true);
        auto fresh = make();
        fresh->setSize(8, 8);
        ASSERT_NE(fresh->render(*renderer, info).get(), nullptr);
        fresh->readState(presetA, false);
        expectShown(*fresh, fresh->getFormatConversion(), 1, added(plain, 1, 0.05), "preset A");
        fresh->readState(presetB, false);
        expectShown(*fresh, fresh->getFormatConversion(), 1, added(plain, 1, 0.2), "preset B after A");
        EXPECT_EQ(fresh->getRenderPassChain()->findIndexOfPass(*fresh->getGenerator()), 0);
    }

    TEST_F(SourceOwnPassesGLTest, ACardsConversionAndDeinterlaceComeBeforeItsEffects)
    {
        CaptureDevices devices;
        ASSERT_NE(devices.sim, nullptr);
        devices.sim->addCard(inputCard());
        ASSERT_EQ(devices.manager->getNumInputDevices(), 1);
        std::unique_ptr<VideoSource> made(
            devices.manager->createSource(devices.manager->getInputDeviceInfo(0)->uniqueId));
        auto* source = dynamic_cast<CaptureDeviceVideoSource*>(made.get());
        ASSERT_NE(source, nullptr);
        // Every pixel pair U Y0 V Y1 = 90 120 170 120.
        const long w = 1920, h = 1080, rowBytes = 3840;
        std::vector<uint8_t> bytes(size_t(rowBytes * h));
        for (size_t i = 0; i < bytes.size(); i += 4)
        {
            bytes[i] = 90;
            bytes[i + 1] = bytes[i + 3] = 120;
            bytes[i + 2] = 170;
        }
        ASSERT_TRUE(devices.sim->deliverFrame(0, w, h, rowBytes, bmdFormat8BitYUV, bytes));
        const double y = 120 / 255.0, u = 90 / 255.0 - 0.5, v = 170 / 255.0 - 0.5;
        const auto to8 = [](double c) { return uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); };
        const PixelRGBA8 plain{to8(y + 1.403 * v), to8(y - 0.344 * u - 0.714 * v), to8(y + 1.770 * u), 255};

        unsigned long long stamp = 1;
        source->update(frame(stamp++));
        ASSERT_NE(source->render(*renderer, info).get(), nullptr);
        const std::shared_ptr<FormatConversion>& conversion = source->getFormatConversion();
        expectShown(*source, conversion, 0, plain, "plain");

        RenderPassChain& chain = *source->getRenderPassChain();
        chain.insertRenderPass(0, effect(0.1), false);
        source->update(frame(stamp++));
        expectShown(*source, conversion, 0, added(plain, 1, 0.1), "an effect inserted at 0");
        source->getDeinterlaceParam()->setValue(true, ValueChangeInfo());
        source->update(frame(stamp++));
        expectShown(*source, conversion, 0, added(plain, 1, 0.1), "deinterlaced");
        ASSERT_NE(source->getDeinterlace(), nullptr);
        EXPECT_EQ(chain.findIndexOfPass(*source->getDeinterlace()), 1);
        chain.moveRenderPass(1, 2);
        chain.insertRenderPass(0, effect(0.1), false);
        source->update(frame(stamp++));
        expectShown(*source, conversion, 0, added(plain, 2, 0.1), "a second effect inserted at 0");
        EXPECT_EQ(chain.findIndexOfPass(*source->getDeinterlace()), 1);
    }
}
