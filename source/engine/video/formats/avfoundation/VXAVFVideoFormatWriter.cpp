#include "engine/video/formats/avfoundation/VXAVFVideoFormatWriter.h"

#include "core/VXLog.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVAssetWriter.h"
#include "engine/video/formats/avfoundation/VXAVFAssetWriter.h"

namespace vx
{
    AVFVideoFormatWriter::AVFVideoFormatWriter(File& file, double framesPerSecond, unsigned depth, unsigned w,
                                               unsigned h, VideoCodecSettings& settings)
        : VideoFormatWriter(file, "MOV", framesPerSecond, depth, w, h, settings)
    {
        pixelsOrder = depth != 8 ? PixelsUtils::swapRedBlue : PixelsUtils::keepOrder;
        flip = true;
    }

    AVFVideoFormatWriter::~AVFVideoFormatWriter()
    {
        assetWriter.reset();
    }

    bool AVFVideoFormatWriter::write(std::shared_ptr<Pixels> pixels)
    {
        if (pixels == nullptr || setUpFailed)
            return false;
        if (assetWriter == nullptr)
        {
            if (static_cast<int>(fps) <= 0)
            {
                // Frame n is stamped n / the integer rate.
                logPrint(logError, "AVFVideoFormatWriter: cannot write \"%s\" at %g frames per second",
                         outputFile.getFullPath().c_str(), fps);
                setUpFailed = true;
                return false;
            }
            auto made = std::make_unique<AVFAssetWriter>();
            if (! made->initWithOutputFile(outputFile, static_cast<unsigned>(pixels->width),
                                           static_cast<unsigned>(pixels->height), bitDepth,
                                           codecSettings.fourCC.getCode()))
            {
                // Once: every later frame would fail the same way.
                logPrint(logError, "AVFVideoFormatWriter: cannot write \"%s\"", outputFile.getFullPath().c_str());
                setUpFailed = true;
                return false;
            }
            made->setFrameRate(static_cast<int>(fps));
            assetWriter = std::move(made);
        }
        return assetWriter->writePixels(std::move(pixels));
    }

    bool AVFVideoFormatWriter::isBusy() const
    {
        return assetWriter != nullptr && ! assetWriter->isReady();
    }

    void AVFVideoFormatWriter::finishWriting()
    {
        assetWriter.reset();
    }
}
