#include "engine/video/formats/VXQuartzComposerFormatReader.h"

#include "core/VXColor.h"
#include "core/VXLog.h"
#include "core/VXTime.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/video/formats/VXQCRenderer.h"
#include "engine/video/formats/VXQuartzComposerVideoFormat.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <epoxy/gl.h>

#include <limits>

namespace vx
{
    QuartzComposerRendererInternal::QuartzComposerRendererInternal()
        : params(std::make_shared<ParamContainer>("Params", false))
    {
    }

    QuartzComposerRendererInternal::~QuartzComposerRendererInternal()
    {
        for (int i = 0; i < params->getNumParams(); ++i)
            if (auto param = params->getParam(i))
                param->removeListener(*this);
        renderer.reset();
    }

    bool QuartzComposerRendererInternal::loadComposition(const File& file)
    {
        void* context = qc::currentContext();
        if (context == nullptr)
        {
            logPrint(logError, "Quartz Composer: no current OpenGL context to load \"%s\" on",
                     file.getFullPath().c_str());
            return false;
        }
        renderer = qc::QCRenderer::initWithOpenGLContext(context, file.getFullPath());
        if (renderer == nullptr)
        {
            logPrint(logError, "Quartz Composer: \"%s\" is no composition this platform plays",
                     file.getFullPath().c_str());
            return false;
        }
        getProperties();
        return true;
    }

    void QuartzComposerRendererInternal::getProperties()
    {
        const std::vector<std::string>& keys = renderer->inputKeys();
        for (std::size_t i = 0; i < keys.size(); ++i)
        {
            const qc::PortAttributes* attributes = renderer->attributesForKey(keys[i]);
            if (attributes == nullptr)
                continue;
            const std::string& type = attributes->type;
            const std::string name = attributes->name.value_or(keys[i]);
            const qc::PortValue value = renderer->valueForInputKey(keys[i]);
            std::shared_ptr<ParamBase> param;
            if (type == qc::portTypeBoolean)
            {
                const bool* on = std::get_if<bool>(&value);
                param = std::make_shared<Param<bool>>(name, on != nullptr && *on);
            }
            else if (type == qc::portTypeIndex && ! attributes->menuItems.empty())
            {
                auto choice = std::make_shared<ParamChoice<int>>(name);
                for (std::size_t item = 0; item < attributes->menuItems.size(); ++item)
                    choice->addChoice(attributes->menuItems[item], static_cast<int>(item), true, true);
                param = choice;
            }
            else if (type == qc::portTypeIndex)
            {
                const double* current = std::get_if<double>(&value);
                param =
                    std::make_shared<ParamRange>(name, current != nullptr ? *current : 0.0,
                                                 ValueRange<double>(attributes->minimum.value_or(0.0),
                                                                    attributes->maximum.value_or(10000.0), "range"));
            }
            else if (type == qc::portTypeNumber)
            {
                const double* current = std::get_if<double>(&value);
                // The smallest positive normal float, not the lowest: 0 is outside.
                param = std::make_shared<ParamRange>(
                    name, current != nullptr ? *current : 0.0,
                    ValueRange<double>(attributes->minimum.value_or(std::numeric_limits<float>::min()),
                                       attributes->maximum.value_or(std::numeric_limits<float>::max()), "range"));
            }
            else if (type == qc::portTypeString)
            {
                const std::string* text = std::get_if<std::string>(&value);
                param = std::make_shared<Param<std::string>>(name, text != nullptr ? *text : std::string());
            }
            else if (type == qc::portTypeColor)
            {
                qc::PortColor colour;
                if (const qc::PortColor* current = std::get_if<qc::PortColor>(&value))
                    colour = *current;
                param = std::make_shared<ParamColor>(name, Color(colour.red, colour.green, colour.blue, colour.alpha));
            }
            else if (type == qc::portTypeImage)
                param = std::make_shared<Param<unsigned int>>(name, 0u);
            else
            {
                logPrint(logWarning, "AttributeType %s not supported!", type.c_str());
                continue;
            }
            param->addListener(*this, false);
            portIndex[param.get()] = static_cast<int>(i);
            params->addParam(param);
        }
        debugPrint("QuartzComposerRendererInternal::getProperties(): num params %d", params->getNumParams());
    }

    bool QuartzComposerRendererInternal::render(double seconds)
    {
        if (renderer == nullptr)
            return false;
        try
        {
            renderer->renderAtTime(seconds);
            return true;
        }
        catch (const av::PlatformException& exception)
        {
            logPrint(logError, "main: Caught %s: %s", exception.name.c_str(), exception.reason.c_str());
            return false;
        }
    }

    void QuartzComposerRendererInternal::valueChanged(ParamBase& param, ChangeInfo)
    {
        auto found = portIndex.find(&param);
        if (found == portIndex.end() || renderer == nullptr)
            return;
        const std::vector<std::string>& keys = renderer->inputKeys();
        if (found->second < 0 || found->second >= static_cast<int>(keys.size()))
            return;
        const std::string& key = keys[static_cast<std::size_t>(found->second)];
        const qc::PortAttributes* attributes = renderer->attributesForKey(key);
        if (attributes == nullptr)
            return;
        const std::string& type = attributes->type;
        if (type == qc::portTypeBoolean)
        {
            if (auto* p = dynamic_cast<Param<bool>*>(&param))
                renderer->setValueForInputKey(key, p->getValue());
        }
        else if (type == qc::portTypeIndex)
        {
            if (auto* choice = dynamic_cast<ParamChoice<int>*>(&param))
                renderer->setValueForInputKey(key, static_cast<double>(choice->getValue()));
            else if (auto* range = dynamic_cast<ParamRange*>(&param))
                renderer->setValueForInputKey(key, static_cast<double>(static_cast<int>(range->getValue())));
        }
        else if (type == qc::portTypeNumber)
        {
            if (auto* range = dynamic_cast<ParamRange*>(&param))
                renderer->setValueForInputKey(key, static_cast<double>(static_cast<float>(range->getValue())));
        }
        else if (type == qc::portTypeString)
        {
            if (auto* text = dynamic_cast<Param<std::string>*>(&param))
                renderer->setValueForInputKey(key, text->getValue());
        }
        else if (type == qc::portTypeColor)
        {
            if (auto* colour = dynamic_cast<ParamColor*>(&param))
            {
                const Color& c = colour->getValue();
                renderer->setValueForInputKey(key, qc::PortColor{c.r, c.g, c.b, c.a});
            }
        }
        else if (type == qc::portTypeImage)
        {
            if (auto* texture = dynamic_cast<Param<unsigned int>*>(&param))
                if (auto image = qc::CIImage::initWithTexture(texture->getValue(), 640, 480, false))
                    renderer->setValueForInputKey(key, image);
        }
    }

    //==============================================================================
    QuartzComposerWrapper::QuartzComposerWrapper() : internal(std::make_unique<QuartzComposerRendererInternal>())
    {
    }

    QuartzComposerWrapper::~QuartzComposerWrapper() = default;

    bool QuartzComposerWrapper::loadComposition(const File& file)
    {
        loaded = internal->loadComposition(file);
        return loaded;
    }

    std::shared_ptr<ParamContainer> QuartzComposerWrapper::getParams() const
    {
        return internal->getParams();
    }

    bool QuartzComposerWrapper::render(double seconds)
    {
        return internal->render(seconds);
    }

    //==============================================================================
    QuartzComposerFormatReader::QuartzComposerFormatReader(const File& readFile)
        : VideoFormatReader(readFile, quartzComposerFormatName)
    {
        opened = wrapper.loadComposition(readFile);
        runsAutonomously->setValue(true, ValueChangeInfo());
        alphaType->setValue(2, ValueChangeInfo());
        setBitDepth(4);
        setHasAlpha(true);
        codecName = "Quartz Composition";
        fps = 60.0;
        length = 5000.0;
        // It draws itself: a file source renders it through renderInternal.
        shaderNeeded = 1;
        if (opened)
            params->addParams(*wrapper.getParams(), true);
    }

    QuartzComposerFormatReader::~QuartzComposerFormatReader() = default;

    bool QuartzComposerFormatReader::init(int, int)
    {
        startTime = getCurrentTime();
        return true;
    }

    bool QuartzComposerFormatReader::readFrame(double positionMs)
    {
        if (startTime == -1.0)
            startTime = getCurrentTime();
        readPosition = positionMs;
        return wrapper.isLoaded();
    }

    bool QuartzComposerFormatReader::renderInternal(Renderer&)
    {
        if (! wrapper.isLoaded())
            return false;
        // Current, lighting, depth-buffer, enable and texture state.
        glPushAttrib(0x42141);
        gfx::enableDepthWrite(true);
        gfx::clearDepth(1.0f);
        gfx::enableDepthWrite(false);
        GLint matrixMode = GL_MODELVIEW;
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();

        const double seconds =
            runsAutonomously->getValue() ? (getCurrentTime() - startTime) / 1000.0 : readPosition / 1000.0;
        const bool rendered = wrapper.render(seconds);

        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(static_cast<GLenum>(matrixMode));
        glPopAttrib();
        return rendered;
    }

    void QuartzComposerFormatReader::release()
    {
        debugPrint("release");
    }
}
