#include "engine/gfx/VXTextureManager.h"

#include "core/VXFile.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/formats/VXImageUtils.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"
#include "support/gl/VXGLTestFixture.h"

#include <memory>
#include <vector>

namespace vx
{
    namespace
    {

        class TextureManagerGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = true;
            }
            void TearDown() override
            {
                manager.release();
                EXPECT_EQ(manager.getTotalTextureCount(), manager.getUsedTextureCount())
                    << "only lent-out textures remain";
                test::GLTest::TearDown();
            }

            test::ScopedGfxInfo gfxInfo;
            TextureManager manager;
        };

        TEST_F(TextureManagerGLTest, ReusesBySizeKeyAndFormat)
        {
            Texture* first = manager.aquireTexture(100, 60, Texture::RGBA8);
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->getHardwareWidth(), 128);
            EXPECT_EQ(first->getHardwareHeight(), 64);
            EXPECT_EQ(first->getWidth(), 100);
            EXPECT_EQ(first->getHeight(), 60);
            EXPECT_EQ(manager.getTotalVRAMUsage(), 128u * 64u * 4u);
            EXPECT_EQ(manager.getUsedTextureCount(), 1u);

            first->ignoreFlip = true;
            manager.releaseTexture(*first);
            EXPECT_EQ(manager.getUsedTextureCount(), 0u);
            EXPECT_EQ(manager.getUsedVRAMUsage(), 0u);

            Texture* again = manager.aquireTexture(120, 50, Texture::RGBA8);
            EXPECT_EQ(again, first);
            EXPECT_EQ(again->getWidth(), 120);
            EXPECT_EQ(again->getHeight(), 50);
            EXPECT_FALSE(again->ignoreFlip);
            manager.releaseTexture(*again);

            Texture* other = manager.aquireTexture(120, 50, Texture::RGB8);
            EXPECT_NE(other, first) << "the format is matched per entry";
            EXPECT_EQ(manager.getTotalTextureCount(), 2u);
            manager.releaseTexture(*other);
        }

        TEST_F(TextureManagerGLTest, KeyFollowsTheHardwareRule)
        {
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
            EXPECT_EQ(TextureManager::computeKey(100, 60, Texture::RGBA8), (128u << 16) | 64u);
            EXPECT_EQ(TextureManager::computeKey(130, 60, Texture::RGBA8), (256u << 16) | 64u);
            Texture* t = manager.aquireTexture(100, 60, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            EXPECT_EQ(t->getHardwareWidth(), 128);
            EXPECT_EQ(t->getHardwareHeight(), 64);
            manager.releaseTexture(*t);
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = true;
            EXPECT_EQ(TextureManager::computeKey(130, 60, Texture::RGBA8), (192u << 16) | 64u);
        }

        TEST_F(TextureManagerGLTest, GivingBackTwiceIsIgnored)
        {
            Texture* t = manager.aquireTexture(32, 32, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            manager.releaseTexture(*t);
            test::LogRecorder log;
            manager.releaseTexture(*t);
            EXPECT_TRUE(log.contains("given back twice")) << log.dump();
            EXPECT_EQ(manager.getFreeTextureCount(), 1);
            EXPECT_EQ(manager.getUsedTextureCount(), 0u);
            EXPECT_EQ(manager.getUsedVRAMUsage(), 0u);
            Texture* a = manager.aquireTexture(32, 32, Texture::RGBA8);
            Texture* b = manager.aquireTexture(32, 32, Texture::RGBA8);
            EXPECT_NE(a, b) << "one texture is never lent twice";
            manager.releaseTexture(*a);
            manager.releaseTexture(*b);
        }

        TEST_F(TextureManagerGLTest, UnusableFreeTextureIsDeletedNotLost)
        {
            Texture* t = manager.aquireTexture(100, 60, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            manager.releaseTexture(*t);
            t->release(); // its GL texture went while it waited in the pool

            test::LogRecorder log;
            Texture* fresh = manager.aquireTexture(100, 60, Texture::RGBA8);
            ASSERT_NE(fresh, nullptr);
            EXPECT_TRUE(fresh->isValid());
            EXPECT_TRUE(log.contains("could not be resized")) << log.dump();
            EXPECT_EQ(manager.getTotalTextureCount(), 1u);
            EXPECT_EQ(manager.getTotalVRAMUsage(), fresh->getVRAMSize());
            EXPECT_EQ(manager.getFreeTextureCount(), 0);
            manager.releaseTexture(*fresh);
        }

        TEST_F(TextureManagerGLTest, NoTextureForAnImpossibleRequest)
        {
            test::LogRecorder log;
            EXPECT_EQ(manager.aquireTexture(0, 16, Texture::RGBA8), nullptr);
            EXPECT_EQ(manager.aquireTexture(16, 16, Texture::YCBCR_422), nullptr);
            EXPECT_EQ(manager.getTotalTextureCount(), 0u);
            EXPECT_EQ(manager.getTotalVRAMUsage(), 0u);
            EXPECT_GE(log.count(logError), 2u);
        }

        TEST_F(TextureManagerGLTest, FreshManagerAgesOncePerStep)
        {
            Texture* t = manager.aquireTexture(16, 16, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            manager.releaseTexture(*t);
            manager.update(30.0f); // one pass: life 51 -> 25.5, timer 21.0
            EXPECT_EQ(manager.getFreeTextureCount(), 1);
            manager.update(21.0f); // timer 0: not below, no pass
            EXPECT_EQ(manager.getFreeTextureCount(), 1);
            manager.update(0.1f); // second pass: life 0
            EXPECT_EQ(manager.getFreeTextureCount(), 0);
            EXPECT_EQ(manager.getTotalTextureCount(), 0u);
            EXPECT_EQ(manager.getTotalVRAMUsage(), 0u);
        }

        struct AgeingCase
        {
            const char* name;
            float secondsBeforeGivingBack;
        };

        class TextureManagerAgeingGLTest : public TextureManagerGLTest, public ::testing::WithParamInterface<AgeingCase>
        {
        protected:
            // Steps as the engine root makes them (at most 0.1 s).
            void advance(float seconds)
            {
                for (int i = 0; i < static_cast<int>(seconds * 10.0f + 0.5f); ++i)
                    manager.update(0.1f);
            }
        };

        TEST_P(TextureManagerAgeingGLTest, FreeTexturesLiveBetweenOneAndTwoPasses)
        {
            advance(GetParam().secondsBeforeGivingBack);
            Texture* t = manager.aquireTexture(16, 16, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            manager.releaseTexture(*t);
            advance(25.4f);
            EXPECT_EQ(manager.getFreeTextureCount(), 1);
            advance(51.0f - 25.4f);
            EXPECT_EQ(manager.getFreeTextureCount(), 0);
            EXPECT_EQ(manager.getTotalTextureCount(), 0u);
        }

        INSTANTIATE_TEST_SUITE_P(TimerPositions, TextureManagerAgeingGLTest,
                                 ::testing::Values(AgeingCase{"fresh", 0.0f}, AgeingCase{"midway", 10.0f},
                                                   AgeingCase{"justBeforeAPass", 25.4f}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(TextureManagerGLTest, BuiltInsAreFilledAndNeverPooled)
        {
            manager.init();
            ASSERT_NE(manager.getWhiteTexture(), nullptr);
            const auto white = test::readTexture(GL_TEXTURE_2D, manager.getWhiteTexture()->getGLName());
            ASSERT_FALSE(white.empty());
            EXPECT_EQ(white.back(), (test::PixelRGBA8{255, 255, 255, 255}));
            EXPECT_EQ(test::readTexture(GL_TEXTURE_2D, manager.getBlankTexture()->getGLName()).back(),
                      (test::PixelRGBA8{0, 0, 0, 0}));

            const auto used = manager.getUsedTextureCount();
            manager.releaseTexture(*manager.getWhiteTexture());
            manager.releaseTexture(*manager.getBlankTexture());
            EXPECT_EQ(manager.getUsedTextureCount(), used);
            EXPECT_EQ(manager.getFreeTextureCount(), 0);

            manager.release();
            EXPECT_EQ(manager.getWhiteTexture(), nullptr);
            EXPECT_EQ(manager.getTotalTextureCount(), 0u);
            EXPECT_EQ(manager.getTotalVRAMUsage(), 0u);
            EXPECT_EQ(manager.getUsedVRAMUsage(), 0u);
        }

        TEST_F(TextureManagerGLTest, LoadedTexturesAreTheCallersAndNeverPooled)
        {
            test::TempDir folder;
            // A 3 x 2 RGBA image, row r pixel x = (40 x, 80 r, 7, 255).
            std::vector<unsigned char> rgba;
            for (int r = 0; r < 2; ++r)
                for (int x = 0; x < 3; ++x)
                    rgba.insert(rgba.end(),
                                {static_cast<unsigned char>(40 * x), static_cast<unsigned char>(80 * r), 7, 255});
            File image(folder.file("image.png"));
            ASSERT_TRUE(ImageUtils::writeToPng(image, 3, 2, 4, rgba.data(), 12));

            manager.init();
            const auto total = manager.getTotalTextureCount();
            std::unique_ptr<Texture> texture(manager.loadTexture(image));
            ASSERT_NE(texture, nullptr);
            EXPECT_EQ(texture->getWidth(), 3);
            EXPECT_EQ(texture->getHeight(), 2);
            EXPECT_EQ(texture->getFormat(), Texture::RGBA8);
            const auto texels = test::readTexture(GL_TEXTURE_2D, texture->getGLName());
            ASSERT_EQ(texels.size(), 6u);
            EXPECT_EQ(texels[5], (test::PixelRGBA8{80, 80, 7, 255})) << "last pixel of the second row";
            EXPECT_EQ(manager.getTotalTextureCount(), total) << "not counted by the pool";

            test::LogRecorder log;
            File missing(folder.file("missing.png"));
            EXPECT_EQ(manager.loadTexture(missing), nullptr);
            EXPECT_EQ(log.count(logError), 1u) << log.dump();
            EXPECT_EQ(manager.getTotalTextureCount(), total);
        }

        TEST_F(TextureManagerGLTest, UnManageTakesOnlyFreeTextures)
        {
            Texture* t = manager.aquireTexture(64, 64, Texture::RGBA8);
            ASSERT_NE(t, nullptr);
            EXPECT_FALSE(manager.unManageTexture(*t)) << "lent out";
            EXPECT_EQ(manager.getUsedTextureCount(), 1u);
            manager.releaseTexture(*t);
            EXPECT_TRUE(manager.unManageTexture(*t));
            EXPECT_EQ(manager.getFreeTextureCount(), 0);
            EXPECT_EQ(manager.getUsedTextureCount(), 1u);
            delete t;
        }

        //==============================================================================
        // References give back to the engine's pool.
        class TextureRefGLTest : public test::RenderTargetGLTest
        {
        protected:
            void SetUp() override
            {
                test::RenderTargetGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                manager = &textures();
            }
            TextureManager* manager = nullptr;
        };

        TEST_F(TextureRefGLTest, GivesBackExactlyOnce)
        {
            Texture* t = manager->aquireTexture(32, 32, Texture::RGBA8);
            {
                TextureRef ref(t);
                auto& self = ref;
                ref = std::move(self);
                EXPECT_EQ(ref, t) << "moved into itself it keeps its texture";
                ref.reset(t);
                EXPECT_EQ(manager->getFreeTextureCount(), 0) << "resetting to the same texture keeps it";

                TextureRef moved(std::move(ref));
                EXPECT_EQ(ref.get(), nullptr);
                EXPECT_EQ(moved, t);
            }
            EXPECT_EQ(manager->getFreeTextureCount(), 1);
            EXPECT_EQ(manager->getUsedTextureCount(), 0u);

            Texture* kept = manager->aquireTexture(32, 32, Texture::RGBA8);
            TextureRef ref(kept);
            EXPECT_EQ(ref.steal(), kept);
            ref.reset();
            EXPECT_EQ(manager->getUsedTextureCount(), 1u) << "a stolen texture is not given back";
            manager->releaseTexture(*kept);
        }

        TEST(TextureRefTest, WithoutAnEngineTheTextureIsDeleted)
        {
            ASSERT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
            {
                TextureRef ref(new Texture());
            }
            EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
        }

    } // namespace
} // namespace vx
