#pragma once

// The capture-card interfaces the engine calls, as this project defines them:
// reference-counted objects with virtual calls, made by the entry points of a
// driver module loaded at run time (VXDeckLinkAPIDispatch.cpp). A driver
// module is built against this header; no other binary interface is spoken.
// Texts cross as NUL-terminated UTF-8 owned by the object that answered them,
// valid while that object lives.

#include "engine/devices/VXDeckLinkDriver.h"

#include <cstdint>
#include <string>

using HRESULT = int32_t;
using ULONG = uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

// Interface identifiers: one small number per interface of this header.
struct REFIID
{
    uint32_t id;
    bool operator==(const REFIID& other) const { return id == other.id; }
};

constexpr REFIID IID_IUnknown{0};
constexpr REFIID IID_IDeckLinkIterator{1};
constexpr REFIID IID_IDeckLinkAPIInformation{2};
constexpr REFIID IID_IDeckLink{3};
constexpr REFIID IID_IDeckLinkAttributes{4};
constexpr REFIID IID_IDeckLinkConfiguration{5};
constexpr REFIID IID_IDeckLinkInput{6};
constexpr REFIID IID_IDeckLinkOutput{7};
constexpr REFIID IID_IDeckLinkDisplayModeIterator{8};
constexpr REFIID IID_IDeckLinkDisplayMode{9};
constexpr REFIID IID_IDeckLinkVideoFrame{10};
constexpr REFIID IID_IDeckLinkMutableVideoFrame{11};
constexpr REFIID IID_IDeckLinkInputCallback{12};
constexpr REFIID IID_IDeckLinkScreenPreviewCallback{13};
constexpr REFIID IID_IDeckLinkVideoOutputCallback{14};

constexpr uint32_t deckLinkFourCC(char a, char b, char c, char d)
{
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
           uint32_t(uint8_t(d));
}

using BMDDisplayMode = uint32_t;
using BMDPixelFormat = uint32_t;
using BMDVideoConnection = uint32_t;
using BMDVideoInputFlags = uint32_t;
using BMDVideoOutputFlags = uint32_t;
using BMDFrameFlags = uint32_t;
using BMDTimeValue = int64_t;
using BMDTimeScale = int64_t;
using BMDVideoInputFormatChangedEvents = uint32_t;
using BMDDetectedVideoInputFormatFlags = uint32_t;
using BMDOutputFrameCompletionResult = uint32_t;
using BMDDeckLinkAttributeID = uint32_t;
using BMDDeckLinkConfigurationID = uint32_t;
using BMDDeckLinkAPIInformationID = uint32_t;

// 1080p at 30 frames per second; the other modes are the driver's.
constexpr BMDDisplayMode bmdModeHD1080p30 = deckLinkFourCC('H', 'p', '3', '0');

// 8-bit 4:2:2 YUV, bytes U Y0 V Y1; 8-bit ARGB.
constexpr BMDPixelFormat bmdFormat8BitYUV = deckLinkFourCC('2', 'v', 'u', 'y');
constexpr BMDPixelFormat bmdFormat8BitARGB = 32;

constexpr BMDVideoConnection bmdVideoConnectionSDI = 1;
constexpr BMDVideoConnection bmdVideoConnectionHDMI = 2;
constexpr BMDVideoConnection bmdVideoConnectionOpticalSDI = 4;
constexpr BMDVideoConnection bmdVideoConnectionComponent = 8;
constexpr BMDVideoConnection bmdVideoConnectionComposite = 16;
constexpr BMDVideoConnection bmdVideoConnectionSVideo = 32;

constexpr BMDVideoInputFlags bmdVideoInputFlagDefault = 0;
constexpr BMDVideoInputFlags bmdVideoInputEnableFormatDetection = 1;
constexpr BMDVideoOutputFlags bmdVideoOutputFlagDefault = 0;
constexpr BMDFrameFlags bmdFrameFlagDefault = 0;

constexpr BMDVideoInputFormatChangedEvents bmdVideoInputDisplayModeChanged = 1;
constexpr BMDVideoInputFormatChangedEvents bmdVideoInputFieldDominanceChanged = 2;
constexpr BMDVideoInputFormatChangedEvents bmdVideoInputColorspaceChanged = 4;

constexpr BMDDetectedVideoInputFormatFlags bmdDetectedVideoInputYCbCr422 = 1;
constexpr BMDDetectedVideoInputFormatFlags bmdDetectedVideoInputRGB444 = 2;

constexpr BMDOutputFrameCompletionResult bmdOutputFrameCompleted = 0;
constexpr BMDOutputFrameCompletionResult bmdOutputFrameDisplayedLate = 1;
constexpr BMDOutputFrameCompletionResult bmdOutputFrameDropped = 2;
constexpr BMDOutputFrameCompletionResult bmdOutputFrameFlushed = 3;

// Masks of the connections a card has.
constexpr BMDDeckLinkAttributeID BMDDeckLinkVideoInputConnections = deckLinkFourCC('v', 'i', 'c', 'n');
constexpr BMDDeckLinkAttributeID BMDDeckLinkVideoOutputConnections = deckLinkFourCC('v', 'o', 'c', 'n');
constexpr BMDDeckLinkAttributeID BMDDeckLinkSupportsInputFormatDetection = deckLinkFourCC('i', 'n', 'f', 'd');
// The connection in use.
constexpr BMDDeckLinkConfigurationID bmdDeckLinkConfigVideoInputConnection = deckLinkFourCC('v', 'i', 'c', 'n');
constexpr BMDDeckLinkConfigurationID bmdDeckLinkConfigVideoOutputConnection = deckLinkFourCC('v', 'o', 'c', 'n');
// The driver's version, major in the most significant byte.
constexpr BMDDeckLinkAPIInformationID BMDDeckLinkAPIVersion = deckLinkFourCC('v', 'e', 'r', 's');

class IUnknown
{
public:
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDeckLinkDisplayMode : public IUnknown
{
public:
    virtual HRESULT GetName(const char** name) = 0;
    virtual BMDDisplayMode GetDisplayMode() = 0;
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    virtual HRESULT GetFrameRate(BMDTimeValue* frameDuration, BMDTimeScale* timeScale) = 0;
};

class IDeckLinkDisplayModeIterator : public IUnknown
{
public:
    // S_OK with a held mode; S_FALSE and null at the end.
    virtual HRESULT Next(IDeckLinkDisplayMode** mode) = 0;
};

class IDeckLinkVideoFrame : public IUnknown
{
public:
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    virtual long GetRowBytes() = 0;
    virtual BMDPixelFormat GetPixelFormat() = 0;
    virtual BMDFrameFlags GetFlags() = 0;
    virtual HRESULT GetBytes(void** buffer) = 0;
};

class IDeckLinkMutableVideoFrame : public IDeckLinkVideoFrame
{
};

class IDeckLinkVideoInputFrame : public IDeckLinkVideoFrame
{
};

class IDeckLinkAudioInputPacket;

class IDeckLinkInputCallback : public IUnknown
{
public:
    virtual HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                            BMDDetectedVideoInputFormatFlags detectedSignalFlags) = 0;
    virtual HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                           IDeckLinkAudioInputPacket* audioPacket) = 0;
};

class IDeckLinkScreenPreviewCallback : public IUnknown
{
public:
    virtual HRESULT DrawFrame(IDeckLinkVideoFrame* frame) = 0;
};

class IDeckLinkVideoOutputCallback : public IUnknown
{
public:
    virtual HRESULT ScheduledFrameCompleted(IDeckLinkVideoFrame* completedFrame,
                                            BMDOutputFrameCompletionResult result) = 0;
    virtual HRESULT ScheduledPlaybackHasStopped() = 0;
};

// A driver holds a reference on the input, preview and output completion
// callbacks it is given until they are replaced, and on each one while it
// calls it; a call begun before a callback was cleared may still run after.
// StopStreams returns once the driver's callback thread finished the call it
// was in, so it must not be called holding a lock such a callback takes.
class IDeckLinkInput : public IUnknown
{
public:
    virtual HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) = 0;
    virtual HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* previewCallback) = 0;
    virtual HRESULT EnableVideoInput(BMDDisplayMode displayMode, BMDPixelFormat pixelFormat,
                                     BMDVideoInputFlags flags) = 0;
    virtual HRESULT DisableVideoInput() = 0;
    virtual HRESULT StartStreams() = 0;
    virtual HRESULT StopStreams() = 0;
    virtual HRESULT PauseStreams() = 0;
    virtual HRESULT FlushStreams() = 0;
    virtual HRESULT SetCallback(IDeckLinkInputCallback* callback) = 0;
};

class IDeckLinkOutput : public IUnknown
{
public:
    virtual HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) = 0;
    virtual HRESULT EnableVideoOutput(BMDDisplayMode displayMode, BMDVideoOutputFlags flags) = 0;
    virtual HRESULT DisableVideoOutput() = 0;
    virtual HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat pixelFormat,
                                     BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame) = 0;
    virtual HRESULT DisplayVideoFrameSync(IDeckLinkVideoFrame* frame) = 0;
    virtual HRESULT ScheduleVideoFrame(IDeckLinkVideoFrame* frame, BMDTimeValue displayTime,
                                       BMDTimeValue displayDuration, BMDTimeScale timeScale) = 0;
    virtual HRESULT SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback) = 0;
    virtual HRESULT StartScheduledPlayback(BMDTimeValue playbackStartTime, BMDTimeScale timeScale,
                                           double playbackSpeed) = 0;
};

class IDeckLinkAttributes : public IUnknown
{
public:
    virtual HRESULT GetFlag(BMDDeckLinkAttributeID id, bool* value) = 0;
    virtual HRESULT GetInt(BMDDeckLinkAttributeID id, int64_t* value) = 0;
};

class IDeckLinkConfiguration : public IUnknown
{
public:
    virtual HRESULT SetInt(BMDDeckLinkConfigurationID id, int64_t value) = 0;
};

class IDeckLinkAPIInformation : public IUnknown
{
public:
    virtual HRESULT GetInt(BMDDeckLinkAPIInformationID id, int64_t* value) = 0;
};

// One card. QueryInterface gives its attributes, configuration, input and
// output (the last two only when the card has them).
class IDeckLink : public IUnknown
{
public:
    virtual HRESULT GetModelName(const char** modelName) = 0;
};

class IDeckLinkIterator : public IUnknown
{
public:
    // S_OK with a held card; S_FALSE and null at the end.
    virtual HRESULT Next(IDeckLink** deckLinkInstance) = 0;
};

// Helpers the engine never calls; only their makers are part of the loader.
class IDeckLinkGLScreenPreviewHelper;
class IDeckLinkVideoConversion;
class IDeckLinkDiscovery;
class IBMDStreamingDiscovery;
class IBMDStreamingH264NALParser;

// The driver's texts as engine strings (empty for null).
inline std::string StringToStdString(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

// The entry points of the loader: each loads the driver once per process and
// answers null when it or the entry is missing.
IDeckLinkIterator* CreateDeckLinkIteratorInstance();
IDeckLinkAPIInformation* CreateDeckLinkAPIInformationInstance();
IDeckLinkGLScreenPreviewHelper* CreateOpenGLScreenPreviewHelper();
IUnknown* CreateCocoaScreenPreview(void* parentView);
IDeckLinkVideoConversion* CreateVideoConversionInstance();
IDeckLinkDiscovery* CreateDeckLinkDiscoveryInstance();
IBMDStreamingDiscovery* CreateBMDStreamingDiscoveryInstance();
IBMDStreamingH264NALParser* CreateBMDStreamingH264NALParser();

// Whether the driver module was loaded (loading it on the first call).
bool IsDeckLinkAPIPresent();
