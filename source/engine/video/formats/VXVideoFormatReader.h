#pragma once

#include "core/VXFile.h"
#include "core/VXTask.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class ParamContainer;
    class ParamRange;
    class Pixels;
    class Renderer;
    class Texture;
    class TextureFormat;
    class VideoCodecSettings;
    template <typename T>
    class Param;
    template <typename T>
    class ParamChoice;

    // The base of every movie, still-image and sequence reader. A format
    // makes the reader for a file (the concrete constructor opens it and sets
    // `opened`); init runs on the render thread before frames are read,
    // release undoes it. read and readFrame run on the source's feeding
    // thread; updateTexture, updatePixels and renderInternal on the render
    // thread. currentFrame is exchanged atomically between them.
    class VideoFormatReader
    {
    public:
        // Why a reader is made: playback gets a frame bufferer from the
        // registry, the others decode on request.
        enum Purpose : int
        {
            purposePlayback = 0,
            purposeThumbnail = 1,
            purposeImport = 2
        };

        VideoFormatReader(const File& file, const std::string& formatName);
        explicit VideoFormatReader(const std::string& formatName);
        virtual ~VideoFormatReader();
        VideoFormatReader(const VideoFormatReader&) = delete;
        VideoFormatReader& operator=(const VideoFormatReader&) = delete;

        // read(double) with the parameter's current value; false for null.
        virtual bool read(std::shared_ptr<ParamRange> position);
        virtual bool canFrameRateBeAltered() { return false; }
        virtual bool canHandleMultipleFiles() const { return false; }
        virtual bool addFile(const File& file, bool rejectDuplicates);
        virtual std::vector<TextureFormat> enumeratePixelFormats() const;
        virtual bool canServePixels() const { return false; }
        virtual int getTextureWidth() const { return textureWidth; }
        virtual int getTextureHeight() const { return textureHeight; }
        virtual unsigned getTotalFrames() { return 0; }
        virtual bool init(int width, int height);
        virtual bool init(const VideoCodecSettings& settings);
        // Leaves no current frame.
        virtual void release();
        virtual bool needsActiveOpenGLContextForCreationOfThumbnail() const { return true; }
        virtual bool hasCustomThumbnail() const { return false; }
        virtual std::shared_ptr<Pixels> getCustomThumbnail();
        virtual bool isBuffering() const { return false; }
        // True when a frame a read reported new stays for the next upload
        // whatever the reader is asked after (it takes the frame in as it
        // reads it): it need not wait for a render before it is sent on.
        virtual bool keepsFramesRead() const { return false; }
        // Makes the frame at positionMs current; the answer says whether a new
        // frame waits to be uploaded.
        virtual bool readFrame(double positionMs) = 0;
        // True while a seek the last readFrame started has not landed: the
        // frame it goes to is not there yet. Feeding thread. Readers that do
        // not seek answer false.
        virtual bool isAwaitingFrame() { return false; }
        // True while a reader that decodes on by itself (a self-timed movie
        // played forwards) has yet to decode the frame due at the play head,
        // no seek under way: it shows at a later render. Readers that decode
        // what they are asked for answer false.
        virtual bool isCatchingUp() { return false; }
        // Where the play head is while the source holds its reads on a seek
        // under way (feeding thread). A reader that keeps its picture to the
        // play head follows it and answers true: it is not read again at the
        // frame held. Readers that show the frame read answer false (they
        // may still seek on towards the play head meanwhile).
        virtual bool followPlayHead(double /*positionMs*/) { return false; }
        virtual void setPlaybackSpeed(float speed);
        virtual void setPlaybackDirection(ParamPlayDirection direction);
        virtual bool updateTextureInternal(Texture* texture);
        virtual bool updatePixelsInternal(std::shared_ptr<Pixels>& pixels);
        virtual bool renderInternal(Renderer& renderer);
        // The frame shown at positionMs: false when it is the current frame
        // (nothing new); positions past the end hold the last frame.
        virtual bool updatePosition(double positionMs, long& frame);
        // The frame at positionMs, whichever is current (the last past the
        // end); false without frames or for a position below 0.
        bool frameAtPosition(double positionMs, long& frame);
        // The time frames are looked up at for a play head at positionMs: a
        // play head on a frame's start comes back from its normalised value a
        // few units in the last place short of it, and is taken on it.
        static double frameLookupTime(double positionMs);
        virtual VideoCodecSettings* getCodecSettings() { return nullptr; }

        // False, with the reader untouched, for a position below 0 or beyond
        // the length; otherwise readFrame's answer, the position kept.
        bool read(double positionMs);
        // updatePosition, storing the frame when it answers true.
        bool setPosition(double positionMs);
        // False for null.
        bool updateTexture(Texture* texture);
        bool updatePixels(std::shared_ptr<Pixels>& pixels);
        // Only for readers whose rate may change; non-positive rates are ignored.
        void setFrameRate(double framesPerSecond);
        double getMsecPerFrame();

        std::shared_ptr<ParamContainer> getParams() const { return params; }
        std::shared_ptr<ParamContainer> getSettings() const { return settings; }
        const TextureFormat* getTextureFormat() const { return textureFormat; }
        int getSwizzleMode() const { return swizzleMode; }
        const std::string& getCodecName() const { return codecName; }
        const std::string& getFormatName() const { return formatName; }
        void setBitDepth(int bytesPerPixel) { bitDepth = bytesPerPixel; }
        int getBitDepth() const { return bitDepth; }
        // Stores the flag and shows "Alpha Type" exactly while it is set.
        void setHasAlpha(bool alpha);
        bool getHasAlpha() const { return hasAlpha; }

        // The output size a source chose for a resizable reader, else the
        // frame size.
        int getWidth() const { return hasOutputSize() ? outputWidth : textureWidth; }
        int getHeight() const { return hasOutputSize() ? outputHeight : textureHeight; }
        // The size of the frames the reader delivers, whatever output size
        // a source chose: a source scales them to its own.
        int getFrameWidth() const { return textureWidth; }
        int getFrameHeight() const { return textureHeight; }
        // The output size a source chooses for a resizable reader. Kept
        // apart from the frame size: a reader decoding frames of its own
        // size goes on delivering them.
        void setOutputSize(unsigned short width, unsigned short height)
        {
            outputWidth = width;
            outputHeight = height;
        }

        double getFps() const { return fps; }
        double getLength() const { return length; }
        double getPosition() const { return position; }
        long getCurrentFrame() const { return currentFrame.load(); }
        bool isOpened() const { return opened; }
        bool isFlipped() const { return flipped; }
        bool isResizable() const { return resizable; }
        bool isSequence() const { return sequence; }
        // Made from a folder's pictures (VideoFormatManager::
        // createReaderForImageSequence), however many it held then: a source
        // saves it as a sequence, to be made from the folder again.
        bool isFolderSequence() const { return folderSequence; }
        void setFolderSequence(bool fromFolder) { folderSequence = fromFolder; }
        bool needsShader() const { return shaderNeeded != 0; }
        bool getHasAudio() const { return hasAudio; }
        bool getNeedsConversionFromYUVToRGBA() const { return needsConversionFromYUVToRGBA; }
        bool getNeedsConversionFromSequentialYUVtoRGBA() const { return needsConversionFromSequentialYUVtoRGBA; }
        TaskThreadMode getLoadingThreadMode() const { return loadingThreadMode; }
        const File& getFile() const { return file; }
        ParamChoice<int>& getAlphaType() const { return *alphaType; }
        Param<bool>& getRunsAutonomously() const { return *runsAutonomously; }

    protected:
        bool hasOutputSize() const { return resizable && outputWidth != 0 && outputHeight != 0; }
        void setCurrentFrame(long frame) { currentFrame.store(static_cast<int>(frame)); }
        // Uploads a width x height frame of bytesPerPixel, rows packed, into
        // the texture's corner. False (logged) without data, when the texture
        // has no GL texture, is smaller, or holds another pixel size: a frame
        // is never read past its end.
        bool uploadFrame(Texture& texture, const unsigned char* data, int width, int height, int bytesPerPixel) const;

        // Reads a file's header (width, height, bytes per pixel); null takes any file.
        using SequenceHeaderReader = bool (*)(const File& file, int* width, int* height, int* bytesPerPixel);
        // Appends a file of a sequence (not a duplicate when rejectDuplicates):
        // a further file must have the first file's size and pixel size. The
        // sequence flag and length follow the count, one second for one file.
        bool addSequenceFile(std::vector<File>& files, const File& added, bool rejectDuplicates,
                             SequenceHeaderReader readHeader);

        double fps = 0.0;
        double msecPerFrame = 0.0;
        int bitDepth = 0;
        std::shared_ptr<ParamChoice<int>> alphaType;
        double length = 0.0;
        double position = -1.0;
        std::atomic<int> currentFrame{-1};
        unsigned short textureWidth = 0;
        unsigned short textureHeight = 0;
        // 0 until a source chooses an output size.
        unsigned short outputWidth = 0;
        unsigned short outputHeight = 0;
        std::shared_ptr<Param<bool>> runsAutonomously;
        bool resizable = true;
        bool flipped = false;
        int shaderNeeded = 0;
        bool needsConversionFromSequentialYUVtoRGBA = false;
        bool needsConversionFromYUVToRGBA = false;
        bool hasAudio = false;
        File file;
        bool opened = false;
        // More than one frame to play (a sequence of files, an animation).
        bool sequence = false;
        bool folderSequence = false;
        // The queue the file-reader source loads the reader on.
        TaskThreadMode loadingThreadMode = TaskThreadMode::Message;
        std::shared_ptr<ParamContainer> params;
        std::shared_ptr<ParamContainer> settings;
        const TextureFormat* textureFormat = nullptr;
        int swizzleMode = 0;
        std::string codecName;
        std::string formatName;
        bool hasAlpha = false;
    };
}
