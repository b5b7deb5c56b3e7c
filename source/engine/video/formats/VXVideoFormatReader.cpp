#include "engine/video/formats/VXVideoFormatReader.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "core/VXLog.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureFormat.h"
#include "engine/video/formats/VXPixels.h"

#include <algorithm>
#include <cmath>

namespace vx
{
    namespace
    {
        constexpr int alphaTypeStraight = 1;
        constexpr int alphaTypePremultiplied = 2;
        // Relative to the time: far above the rounding of a time through a
        // normalised value, far below any time a frame lasts.
        constexpr double frameStartTolerance = 1e-9;
    }

    VideoFormatReader::VideoFormatReader(const File& readFile, const std::string& name) : VideoFormatReader(name)
    {
        file = readFile;
    }

    VideoFormatReader::VideoFormatReader(const std::string& name) : formatName(name)
    {
        params = std::make_shared<ParamContainer>("AdditionalParams", true);
        settings = std::make_shared<ParamContainer>("Settings", true);

        alphaType = std::make_shared<ParamChoice<int>>("Alpha Type");
        alphaType->addChoice("Premultiplied", alphaTypePremultiplied, true, true);
        alphaType->addChoice("Straight", alphaTypeStraight, true, true);
        alphaType->setValue(alphaTypePremultiplied, ValueChangeInfo());
        settings->addParam(alphaType);

        runsAutonomously = settings->addParamBool("Runs Autonomously", false);
        runsAutonomously->setValue(false, ValueChangeInfo());

        settings->setViewForParam(alphaType,
                                  ParamView(static_cast<ParamView::ControlType>(2)).withVisiblity(ParamView::visibilityHidden),
                                  false);
        settings->setViewForParam(runsAutonomously,
                                  ParamView(ParamView::controlTypeDefault).withVisiblity(ParamView::visibilityHidden),
                                  false);
    }

    VideoFormatReader::~VideoFormatReader() = default;

    bool VideoFormatReader::read(std::shared_ptr<ParamRange> positionParam)
    {
        if (positionParam == nullptr)
            return false;
        return read(positionParam->getValue());
    }

    bool VideoFormatReader::addFile(const File&, bool)
    {
        return false;
    }

    std::vector<TextureFormat> VideoFormatReader::enumeratePixelFormats() const
    {
        return {};
    }

    bool VideoFormatReader::init(int, int)
    {
        return true;
    }

    bool VideoFormatReader::init(const VideoCodecSettings&)
    {
        return false;
    }

    void VideoFormatReader::release()
    {
        currentFrame.store(-1);
    }

    std::shared_ptr<Pixels> VideoFormatReader::getCustomThumbnail()
    {
        return {};
    }

    void VideoFormatReader::setPlaybackSpeed(float) {}

    void VideoFormatReader::setPlaybackDirection(ParamPlayDirection) {}

    bool VideoFormatReader::updateTextureInternal(Texture*)
    {
        return false;
    }

    bool VideoFormatReader::updatePixelsInternal(std::shared_ptr<Pixels>&)
    {
        return false;
    }

    bool VideoFormatReader::renderInternal(Renderer&)
    {
        return false;
    }

    double VideoFormatReader::frameLookupTime(double positionMs)
    {
        return positionMs + std::abs(positionMs) * frameStartTolerance;
    }

    bool VideoFormatReader::frameAtPosition(double positionMs, long& frame)
    {
        if (msecPerFrame == 0.0 && fps > 0.0)
            msecPerFrame = 1000.0 / fps;
        const unsigned total = getTotalFrames();
        if (! (msecPerFrame > 0.0) || total == 0 || ! (positionMs >= 0.0))
            return false;

        // Positions far past the end saturate, so they hold the last frame.
        const double index = std::floor(frameLookupTime(positionMs) / msecPerFrame);
        const unsigned requested = index >= 4294967295.0 ? 4294967295u : static_cast<unsigned>(index);
        frame = static_cast<long>(std::min(requested, total - 1));
        return true;
    }

    bool VideoFormatReader::updatePosition(double positionMs, long& frame)
    {
        long at = -1;
        if (! frameAtPosition(positionMs, at) || at == currentFrame.load())
            return false;
        frame = at;
        return true;
    }

    bool VideoFormatReader::read(double positionMs)
    {
        if (! (positionMs >= 0.0) || positionMs > length)
            return false;
        const bool result = readFrame(positionMs);
        position = positionMs;
        return result;
    }

    bool VideoFormatReader::setPosition(double positionMs)
    {
        long frame = 0;
        const bool changed = updatePosition(positionMs, frame);
        if (changed)
            setCurrentFrame(frame);
        return changed;
    }

    bool VideoFormatReader::updateTexture(Texture* texture)
    {
        if (texture == nullptr)
            return false;
        return updateTextureInternal(texture);
    }

    bool VideoFormatReader::updatePixels(std::shared_ptr<Pixels>& pixels)
    {
        return updatePixelsInternal(pixels);
    }

    void VideoFormatReader::setFrameRate(double framesPerSecond)
    {
        if (! canFrameRateBeAltered() || ! (framesPerSecond > 0.0))
            return;
        fps = framesPerSecond;
        msecPerFrame = 1000.0 / framesPerSecond;
        length = getTotalFrames() * 1000.0 / framesPerSecond;
    }

    double VideoFormatReader::getMsecPerFrame()
    {
        if (msecPerFrame == 0.0 && fps > 0.0)
            msecPerFrame = 1000.0 / fps;
        return msecPerFrame;
    }

    void VideoFormatReader::setHasAlpha(bool alpha)
    {
        hasAlpha = alpha;
        const ParamView* view = settings->getViewForParam(*alphaType);
        const ParamView base = view != nullptr ? *view : ParamView();
        settings->setViewForParam(alphaType,
                                  base.withVisiblity(alpha ? ParamView::visibilityShown : ParamView::visibilityHidden),
                                  false);
    }

    bool VideoFormatReader::addSequenceFile(std::vector<File>& files, const File& added, bool rejectDuplicates,
                                            SequenceHeaderReader readHeader)
    {
        if (rejectDuplicates && std::find(files.begin(), files.end(), added) != files.end())
            return false;
        if (! files.empty() && readHeader != nullptr)
        {
            int w = 0, h = 0, size = 0;
            if (! readHeader(added, &w, &h, &size) || w != textureWidth || h != textureHeight || size != bitDepth)
                return false;
        }
        files.push_back(added);
        sequence = files.size() > 1;
        length = files.size() == 1 ? 1000.0 : files.size() * msecPerFrame;
        return true;
    }

    bool VideoFormatReader::uploadFrame(Texture& texture, const unsigned char* data, int width, int height,
                                        int bytesPerPixel) const
    {
        if (data == nullptr || ! texture.isValid() || width <= 0 || height <= 0)
            return false;
        if (texture.getFormat().bytesPerPixel != bytesPerPixel || texture.getWidth() < width ||
            texture.getHeight() < height)
        {
            logPrint(logError, "%s: a %dx%d frame of %d bytes per pixel does not fit the %dx%d texture (%s).",
                     formatName.c_str(), width, height, bytesPerPixel, texture.getWidth(), texture.getHeight(),
                     texture.getFormat().name.c_str());
            return false;
        }
        return texture.update(data, 0, 0, width, height);
    }
}
