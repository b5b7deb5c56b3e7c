#include "engine/video/sources/VXScreenCaptureVideoSource.h"

#include "core/VXLog.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXScreenCaptureWrapper.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"

namespace vx
{
    namespace
    {
        constexpr ParamView::ControlType choiceControl = static_cast<ParamView::ControlType>(2);
        // The source element's attribute naming the owner of the window
        // chosen: X hands a program's window ids to the next one, so an id
        // alone may be another program's window by the time it is read.
        constexpr const char* windowOwnerAttribute = "windowOwner";
    }

    ScreenCaptureVideoSource::ScreenCaptureVideoSource()
        : PositionableVideoSource("ScreenCaptureVideoSource"),
          grabber(std::make_unique<ScreenCaptureWrapper>()),
          settings(std::make_shared<ParamContainer>("Screen Capture Params")),
          windows(std::make_shared<ParamChoice<int>>("Windows"))
    {
        settings->addParam(windows);
        settings->setViewForParam(windows, ParamView(choiceControl), false);
        windows->addListener(*this, false);
        refresh();
        for (unsigned int i = 0; i < windows->getNumChoices(); ++i)
            if (windows->getNameOfChoice(i).rfind("Dock", 0) == 0)
            {
                windows->setValueByIndex(i, ValueChangeInfo());
                break;
            }
    }

    ScreenCaptureVideoSource::~ScreenCaptureVideoSource()
    {
        windows->removeListener(*this);
    }

    void ScreenCaptureVideoSource::refresh()
    {
        windows->clearChoices();
        grabber->getWindows(*windows);
        // A window that has gone is chosen no more (the value alone would
        // stay), so choosing the entry of a window given its id since is a
        // change that chooses it.
        if (grabber->hasWindowGone())
            windows->setValue(0, ValueChangeInfo());
    }

    bool ScreenCaptureVideoSource::sendMouseDown(int x, int y)
    {
        return grabber->sendMouseDown(x, y);
    }

    bool ScreenCaptureVideoSource::update(const TimeInfo& info)
    {
        return VideoSource::update(info);
    }

    void ScreenCaptureVideoSource::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param == windows.get())
        {
            // While reading, the window is chosen once the read value is checked.
            if (reading)
                windowReadWhileReading = true;
            else
                grabber->setWindowId(windows->getValue());
            return;
        }
        PositionableVideoSource::valueChanged(param, info);
    }

    void ScreenCaptureVideoSource::release()
    {
        grabTexture.reset();
        PositionableVideoSource::release();
    }

    TextureRef ScreenCaptureVideoSource::render(Renderer& renderer, const RenderInfo&)
    {
        if (grabber == nullptr)
            return {};
        // Made here: the source has no size (so no begin) before a grab.
        if (grabTexture == nullptr)
            grabTexture = std::make_unique<Texture>();
        grabber->grab(grabTexture.get());
        if (! grabTexture->isValid())
            return {};
        setSize(grabTexture->getWidth(), grabTexture->getHeight());
        // The grab holds the window's top row first.
        grabTexture->ignoreFlip = true;
        chain->setInput(0, grabTexture.get(), 0, 0);
        if (! chain->render(renderer))
            return {};
        return chain->stealOutput();
    }

    XmlNode* ScreenCaptureVideoSource::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = PositionableVideoSource::writeStateDerived(pool, force);
        if (element == nullptr)
            return nullptr;
        settings->appendAndWrite(element, pool, false);
        const int chosen = windows->getValue();
        if (chosen != 0 && grabber->getWindowId() == chosen)
            if (const std::string owner = grabber->getOwnerName(); ! owner.empty())
                element->append_attribute(createAttribute(pool, windowOwnerAttribute, owner));
        return element;
    }

    void ScreenCaptureVideoSource::readStateDerived(const XmlNode& node)
    {
        PositionableVideoSource::readStateDerived(node);
        reading = true;
        windowReadWhileReading = false;
        XmlCapable::findAndRead(&node, *settings);
        // The chosen window comes back when the window listed with its
        // number has the owner it had; elements without the owner choose
        // the number as it stands.
        const int chosen = windows->getValue();
        if (const XmlAttribute* stored = node.first_attribute(windowOwnerAttribute); stored != nullptr && chosen != 0)
        {
            const std::string owner = readAttribute(stored, std::string());
            const std::optional<std::string> listed = grabber->findOwnerName(chosen);
            if (listed != owner)
            {
                const std::string now = listed ? "now of \"" + *listed + "\"" : std::string("not there");
                logPrint(logWarning, "Screen Capture: window %d of \"%s\" is %s; no window is chosen.", chosen,
                         owner.c_str(), now.c_str());
                windows->setValue(0, ValueChangeInfo());
            }
        }
        reading = false;
        if (windowReadWhileReading)
            grabber->setWindowId(windows->getValue());
    }

    const std::string ScreenCaptureSourceExtension::UNIQUE_ID = "SCREEN_CAPTURE_SRC";

    ScreenCaptureSourceExtension::ScreenCaptureSourceExtension()
        : VideoSourceExtension(SourceInfo{"Screen Capture", "Screen Capture", UNIQUE_ID, "Screen Capture"}, false)
    {
    }

    VideoSource* ScreenCaptureSourceExtension::createSource(XmlState*)
    {
        auto* source = new ScreenCaptureVideoSource();
        source->setSourceInfo(getSourceInfo(), nullptr);
        return source;
    }

    VideoSource* ScreenCaptureSourceExtension::createSourceFromXML(const XmlNode& node)
    {
        if (node.first_node("ScreenCaptureSourceInfo") == nullptr)
            return nullptr;
        VideoSource* source = createSource(static_cast<XmlState*>(nullptr));
        source->readState(&node, false);
        return source;
    }

    XmlNode* ScreenCaptureSourceExtension::saveSourceToXML(XmlPool& pool, XmlCapable*)
    {
        return XmlCapable::createNode(pool, "ScreenCaptureSourceInfo");
    }
}
