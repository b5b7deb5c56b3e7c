#include "engine/video/sources/VXVideoSource.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "core/xml/VXXmlState.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPassChain.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace vx
{
    VideoSource::VideoSource(const std::string& typeString)
        : ExtensionInstance("VideoSource"),
          chain(new RenderPassChain(), &GfxObject::deleteUsingManager),
          params(std::make_shared<ParamContainer>("Params", true)),
          type(typeString)
    {
        chain->setRenderWithoutPasses(true);
        // render hands the chain's output over (stealOutput).
        chain->retainOutput(true);

        opacity = params->addParamRange("Opacity", 1.0, ValueRange<double>(0.0, 1.0, "range"));
        ParamView opacityView(static_cast<ParamView::ControlType>(11), ParamView::unitsPercent,
                              ParamView::subTypeDefault, 0);
        opacityView.setValueMultiplier(100.0);
        params->setViewForParam(opacity, opacityView, false);

        position = params->addParamRange("Position", 0.0, ValueRange<double>(0.0, 5000.0, "range"));
        params->setViewForParam(position, ParamView(ParamView::visibilityHidden), false);
    }

    VideoSource::~VideoSource() = default;

    void VideoSource::release()
    {
        if (std::shared_ptr<Mixer> held = getMixer())
            held->release();
        chain->release();
        resetState();
    }

    void VideoSource::start(bool restart, const TimeUnit& time)
    {
        params->start(restart, time);
        chain->start(restart, time);
    }

    void VideoSource::stop(const TimeUnit& time)
    {
        params->stop(time);
        chain->stop(time);
    }

    bool VideoSource::update(const TimeInfo& info)
    {
        if (info.frameCount == lastUpdate.frameCount)
            return false;
        lastUpdate = info;
        bool changed = params->update(info);
        if (std::shared_ptr<ParamContainer> settings = getSettings())
            changed |= settings->update(info);
        if (std::shared_ptr<ParamContainer> additional = getAdditionalParams())
            changed |= additional->update(info);
        return chain->update(info) || changed;
    }

    void VideoSource::pathChanged()
    {
        params->setPathByParent(getPath(), "");
        chain->setPathByParent(getPath(), "");
        if (std::shared_ptr<Mixer> held = getMixer())
            held->setPathByParent(getPath(), "");
        if (std::shared_ptr<ParamContainer> settings = getSettings())
            settings->setPathByParent(getPath(), "");
        if (std::shared_ptr<ParamContainer> additional = getAdditionalParams())
            additional->setPathByParent(getPath(), "");
    }

    void VideoSource::retainOutput(bool keep)
    {
        chain->retainOutput(keep);
        if (std::shared_ptr<Mixer> held = getMixer())
            held->retainOutput(keep);
    }

    bool VideoSource::isOutputRetained() const
    {
        return chain->isOutputRetained();
    }

    void VideoSource::setMixer(Mixer* newMixer)
    {
        setMixer(newMixer != nullptr ? std::shared_ptr<Mixer>(newMixer, &GfxObject::deleteUsingManager)
                                     : std::shared_ptr<Mixer>());
    }

    void VideoSource::setMixer(std::shared_ptr<Mixer> newMixer)
    {
        ScopedLockT<CriticalSection> hold(mixerLock);
        mixer = std::move(newMixer);
        if (mixer == nullptr)
            return;
        mixer->retainOutput(true);
        mixer->setPathByParent(getPath(), "");
    }

    std::shared_ptr<Mixer> VideoSource::getMixer() const
    {
        ScopedLockT<CriticalSection> hold(mixerLock);
        return mixer;
    }

    SourceExtension* VideoSource::getExtension()
    {
        return info.getExtension();
    }

    bool VideoSource::isActive() const
    {
        return position->isPlaying();
    }

    void VideoSource::resized(int, int) {}

    bool VideoSource::init()
    {
        chain->setSize(width, height);
        if (std::shared_ptr<Mixer> held = getMixer())
            held->setSize(width, height);
        return true;
    }

    void VideoSource::setSourceInfo(const SourceInfo& newInfo, XmlState* preset)
    {
        info = newInfo;
        if (preset != nullptr)
            linkPreset(preset, true);
    }

    void VideoSource::setSize(int newWidth, int newHeight)
    {
        if (resizable)
            setSizeInternal(newWidth, newHeight);
    }

    bool VideoSource::checkSize(int newWidth, int newHeight)
    {
        if (newWidth >= 0 && newHeight >= 0 && GfxInfo::fitsOneTexture(std::max(newWidth, 1), std::max(newHeight, 1)))
            return true;
        if (! sizeRefused || newWidth != refusedWidth || newHeight != refusedHeight)
        {
            const int most = GfxInfo::getMaxTextureSize();
            logPrint(logError,
                     "%s: a size of %d x %d cannot be shown (this GL holds at most %d x %d); the source shows "
                     "nothing.",
                     getDescription().c_str(), newWidth, newHeight, most, most);
        }
        sizeRefused = true;
        refusedWidth = newWidth;
        refusedHeight = newHeight;
        return false;
    }

    void VideoSource::setSizeInternal(int newWidth, int newHeight)
    {
        if (checkSize(newWidth, newHeight))
            sizeRefused = false;
        else
            newWidth = newHeight = 0;
        if (newWidth == width && newHeight == height)
            return;
        width = newWidth;
        height = newHeight;
        chain->setSize(width, height);
        if (std::shared_ptr<Mixer> held = getMixer())
            held->setSize(width, height);
        resized(width, height);
        callListeners(&VideoSourceListener::sourceResized, *this, CallType::standard);
    }

    bool VideoSource::widthOrHeightIsBiggerThan(const VideoSource& other) const
    {
        if (width > other.width)
            return true;
        return height > other.height;
    }

    void VideoSource::setDuration(double ms)
    {
        const ValueRange<double> range(0.0, ms, "range");
        const ValueRange<double>& minMax = position->getMinMaxRange();
        const ValueRange<double>& startStop = position->getStartStopRange();
        const bool coversWhole = startStop.max == minMax.max && startStop.min == minMax.min;
        position->setMinMaxRange(range, coversWhole, ValueChangeInfo());
        if (auto timeline = std::dynamic_pointer_cast<BehaviourTimelineBase>(position->getBehaviour()))
            timeline->setOriginalDuration(ms);
    }

    double VideoSource::getDuration() const
    {
        const ValueRange<double>& minMax = position->getMinMaxRange();
        const double duration = minMax.max - minMax.min;
        return std::isnan(duration) ? DBL_EPSILON : duration;
    }

    double VideoSource::getPosition() const
    {
        return position->getValue();
    }

    XmlNode* VideoSource::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "width", width));
        element->append_attribute(createAttribute(pool, "height", height));
        element->append_attribute(createAttribute(pool, "type", type));
        XmlNode* identity = nullptr;
        if (SourceExtension* extension = getExtension())
            identity = extension->saveSourceToXML(pool, this);
        else if (creator != nullptr)
            identity = creator->saveSourceToXML(pool, this);
        if (identity != nullptr)
            element->append_node(identity);
        params->appendAndWrite(element, pool, force);
        chain->appendAndWrite(element, pool, force);
        return element;
    }

    void VideoSource::readStateDerived(const XmlNode& node)
    {
        params->readState(node.first_node("Params"), false);
        int readWidth = 0, readHeight = 0;
        if (! readAttribute(node.first_attribute("width"), &readWidth))
            readWidth = 0;
        if (! readAttribute(node.first_attribute("height"), &readHeight))
            readHeight = 0;
        if (resizable)
            setSizeInternal(readWidth, readHeight);
        if (const XmlNode* chainNode = node.first_node("RenderPass"))
            chain->readState(chainNode, false);
    }
}
