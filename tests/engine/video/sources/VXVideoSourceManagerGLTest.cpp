#include "VXSourcesGLTestSupport.h"

#include "engine/network/VXFakeDNSService.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoSourceManager.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        class VideoSourceManagerGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                NetworkVideoServerManager::deleteInstance();
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
            }

            void TearDown() override
            {
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                NetworkVideoServerManager::deleteInstance();
                SourcesGLTest::TearDown();
            }

            FakeDNSService dns;
            std::unique_ptr<VideoSourceManager> manager;
        };

        // The manager is the sources' directory: file sources made for a
        // reader in hand carry the file-reader extension's info and find it.
        TEST_F(VideoSourceManagerGLTest, SourcesForAReaderFindTheFileReaderExtension)
        {
            std::unique_ptr<VideoSource> made(
                manager->createSource(new ScriptedReader(File(scriptedFile()), ReaderScript())));
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->getSourceInfo().uniqueId, "VIDEO_FORMAT_READER_SRC");
            EXPECT_EQ(made->getExtension(), manager->getSourceExtension("VIDEO_FORMAT_READER_SRC"));
            EXPECT_TRUE(manager->canRecreateVideoSource(*made));

            std::unique_ptr<VideoSource> direct(
                VideoFormatReaderSource::create(new ScriptedReader(File(scriptedFile("b.scripted")), ReaderScript())));
            ASSERT_NE(direct, nullptr);
            EXPECT_NE(direct->getExtension(), nullptr);

            // Written and made again through the factories.
            XmlDocument stored;
            XmlNode* element = made->writeState(stored, true);
            ASSERT_NE(element, nullptr);
            std::unique_ptr<VideoSource> again(manager->createVideoSourceFromXML(*element));
            EXPECT_NE(dynamic_cast<VideoFormatReaderSource*>(again.get()), nullptr);
        }
    }
}
