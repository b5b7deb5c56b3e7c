// A movie writer whose file cannot be made refuses the first frame at once,
// and every frame after it, leaving nothing behind.

#include "core/VXFile.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "support/VXLogRecorder.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vx::test
{
    TEST(MovieWriterSetUpTest, AFolderThatDoesNotExistRefusesEveryFrame)
    {
        struct Case
        {
            const char* codec;
            const char* encoder;
        };
        for (const Case& c : {Case{"apcn", "prores_ks"}, Case{"jpeg", "mjpeg"}})
        {
            SCOPED_TRACE(c.codec);
            if (! hasFFmpegEncoder(c.encoder))
                continue;
            TempDir dir;
            AVFVideoFormat format;
            VideoCodecSettings settings;
            settings.fourCC = CodecFourCC(av::fourCharCode(*reinterpret_cast<const char(*)[5]>(c.codec)));
            File file(dir.file("missing/clip.mov"));
            std::unique_ptr<VideoFormatWriter> writer(format.createWriterFor(file, 25.0, 4, 32, 16, 0, settings));
            ASSERT_NE(writer, nullptr);
            LogRecorder log;
            for (int n = 0; n < 3; ++n)
                EXPECT_FALSE(writer->writeFromPixels(std::make_shared<Pixels>(32, 16, 4, nullptr))) << "frame " << n;
            EXPECT_TRUE(log.contains("cannot start writing")) << log.dump();
            writer.reset();
            EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
        }
    }
}
