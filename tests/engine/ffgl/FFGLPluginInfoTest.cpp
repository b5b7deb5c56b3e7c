#include "engine/ffgl/FFGLPluginInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{
    std::uint32_t noFactory(CFreeFrameGLPlugin**)
    {
        return FFGL::fail;
    }

    std::unique_ptr<CFFGLPluginInfo> makeInfo(const char* id, const char* name, const char* description = "Kelvo",
                                              std::uint32_t blockSize = 0, const void* block = nullptr)
    {
        return std::make_unique<CFFGLPluginInfo>(noFactory, id, name, 1, 500, 1, 0, FFGL::pluginEffect, description,
                                                 "Quarlite", blockSize, block);
    }

    TEST(FFGLPluginInfoTest, IdAndNameAreCutAndPaddedNotTerminated)
    {
        const auto info = makeInfo("AB\0Z", "Sixteen chars ok plus more");
        const PluginInfoStruct* record = info->GetPluginInfo();
        EXPECT_EQ(std::memcmp(record->PluginUniqueID, "AB\0\0", 4), 0) << "copy stops at the first NUL";
        EXPECT_EQ(std::memcmp(record->PluginName, "Sixteen chars ok", 16), 0);
        EXPECT_EQ(record->PluginType, 0u) << "the name must not run into the type";

        const auto longId = makeInfo("A1890", nullptr);
        EXPECT_EQ(std::memcmp(longId->GetPluginInfo()->PluginUniqueID, "A189", 4), 0);
        const unsigned char zeros[16] = {};
        EXPECT_EQ(std::memcmp(longId->GetPluginInfo()->PluginName, zeros, 16), 0);
    }

    TEST(FFGLPluginInfoTest, ExtendedRecordOwnsCopies)
    {
        char description[] = "Kelvo";
        const unsigned char block[3] = {7, 8, 9};
        const auto info = makeInfo("A189", "Kelvo", description, sizeof block, block);
        description[0] = 'X';

        const PluginExtendedInfoStruct* extended = info->GetPluginExtendedInfo();
        EXPECT_STREQ(extended->Description, "Kelvo");
        EXPECT_STREQ(extended->About, "Quarlite");
        ASSERT_EQ(extended->FreeFrameExtendedDataSize, 3u);
        ASSERT_NE(extended->FreeFrameExtendedDataBlock, nullptr);
        EXPECT_NE(extended->FreeFrameExtendedDataBlock, static_cast<const void*>(block));
        EXPECT_EQ(std::memcmp(extended->FreeFrameExtendedDataBlock, block, 3), 0);
    }

    TEST(FFGLPluginInfoTest, EmptyOrMissingBlockGivesNone)
    {
        const unsigned char block[1] = {1};
        const auto sizeOnly = makeInfo("A189", "K", "d", 16, nullptr);
        EXPECT_EQ(sizeOnly->GetPluginExtendedInfo()->FreeFrameExtendedDataSize, 0u);
        EXPECT_EQ(sizeOnly->GetPluginExtendedInfo()->FreeFrameExtendedDataBlock, nullptr);
        const auto blockOnly = makeInfo("A189", "K", "d", 0, block);
        EXPECT_EQ(blockOnly->GetPluginExtendedInfo()->FreeFrameExtendedDataBlock, nullptr);
    }

    TEST(FFGLPluginInfoTest, LastConstructedIsCurrentAndDestroyingItClears)
    {
        auto first = makeInfo("AAAA", "First");
        EXPECT_EQ(g_CurrPluginInfo, first.get());
        auto second = makeInfo("BBBB", "Second");
        EXPECT_EQ(g_CurrPluginInfo, second.get());

        first.reset();
        EXPECT_EQ(g_CurrPluginInfo, second.get()) << "an older record going leaves the current one";
        second.reset();
        EXPECT_EQ(g_CurrPluginInfo, nullptr) << "no pointer to a destroyed record stays behind";
    }
}
