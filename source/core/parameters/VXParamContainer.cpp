#include "core/parameters/VXParamContainer.h"

#include "core/VXCriticalSection.h"
#include "core/VXEngineRoot.h"
#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamStrings.h"
#include "core/parameters/VXParamUtils.h"
#include "core/parameters/VXParamView.h"
#include "core/xml/VXXmlStates.h"

#include <algorithm>
#include <map>

namespace vx
{
    bool ParamContainer::allowPublicParams = true;

    struct ParamContainer::Pimpl
    {
        CriticalSection lock;
        std::map<const ParamBase*, ParamView> views;
    };

    namespace
    {
        // ASCII only, whatever the process locale: names are matched the
        // same way on every host.
        constexpr char lowerAscii(char c)
        {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }

        bool equalIgnoringCase(const std::string& a, const std::string& b)
        {
            if (a.size() != b.size())
                return false;
            for (std::size_t i = 0; i < a.size(); ++i)
                if (lowerAscii(a[i]) != lowerAscii(b[i]))
                    return false;
            return true;
        }

        ChangeInfo appearanceChange()
        {
            return ChangeInfo(StateChange_Appearance);
        }
    }

    ParamContainer::ParamContainer(const std::string& name, bool makePublic)
        : XmlCapable("Params", name), isPublic(makePublic && allowPublicParams), pimpl(new Pimpl())
    {
    }

    ParamContainer::~ParamContainer()
    {
        clearParamsInternal();
    }

    ParamCollection* ParamContainer::getRegistry() const
    {
        if (! isPublic)
            return nullptr;
        return ParamCollection::getCurrent();
    }

    void ParamContainer::addParam(const ParamPtr& param)
    {
        insertParam(param, -1);
    }

    void ParamContainer::addParam(ParamBase* param)
    {
        insertParam(ParamPtr(param), -1);
    }

    void ParamContainer::insertParam(const ParamPtr& param, int index)
    {
        if (param == nullptr)
            return;

        ScopedLock hold(pimpl->lock);
        if (isPublic && EngineRoot::getCurrent() != nullptr)
        {
            param->setPathByParent(getPath());
            if (ParamCollection* registry = getRegistry())
                registry->addParam(param);
        }

        if (static_cast<unsigned int>(index) < params.size())
            params.insert(params.begin() + index, param);
        else
            params.push_back(param);

        paramsChanged();
    }

    void ParamContainer::addParams(const ParamContainer& other, bool copyViews)
    {
        // A copy: other may be this container.
        const std::vector<ParamPtr> toAdd = other.params;
        for (const ParamPtr& param : toAdd)
        {
            addParam(param);
            if (copyViews)
                if (const ParamView* view = other.getViewForParam(param))
                    setViewForParam(param, *view, false);
        }
    }

    std::shared_ptr<Param<bool>> ParamContainer::addParamBool(const std::string& name, bool value)
    {
        auto param = std::make_shared<Param<bool>>(name, value);
        addParam(param);
        return param;
    }

    std::shared_ptr<Param<double>> ParamContainer::addParamDouble(const std::string& name, double value)
    {
        auto param = std::make_shared<Param<double>>(name, value);
        addParam(param);
        return param;
    }

    std::shared_ptr<Param<std::string>> ParamContainer::addParamString(const std::string& name, const std::string& text)
    {
        auto param = std::make_shared<Param<std::string>>(name, text);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamChoice<int>> ParamContainer::addParamChoice(const std::string& name,
                                                                     const std::vector<std::string>& choiceNames)
    {
        auto param = std::make_shared<ParamChoice<int>>(name);
        param->addChoices(choiceNames);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamRange> ParamContainer::addParamRange(const std::string& name, double value)
    {
        return addParamRange(name, value, ValueRange<double>(0.0, 1.0, "range"));
    }

    std::shared_ptr<ParamRange> ParamContainer::addParamRange(const std::string& name, double value,
                                                              const ValueRange<double>& range)
    {
        auto param = std::make_shared<ParamRange>(name, value, range);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamEvent> ParamContainer::addParamEvent(const std::string& name)
    {
        auto param = std::make_shared<ParamEvent>(name);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamStrings> ParamContainer::addParamStrings(const std::string& name)
    {
        auto param = std::make_shared<ParamStrings>(name);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamColor> ParamContainer::addParamColor(const std::string& name, const Color& color)
    {
        auto param = std::make_shared<ParamColor>(name, color, ParamColor::ChannelMode_RGB);
        addParam(param);
        return param;
    }

    std::shared_ptr<ParamColorChannel> ParamContainer::addParamColorChannel(const std::string& name, int channel,
                                                                            double value)
    {
        auto param = std::make_shared<ParamColorChannel>(name, channel, value, ValueRange<double>(0.0, 1.0, "range"));
        addParam(param);

        ParamView view;
        switch (channel)
        {
            case ParamColor::ColorChannel_Red:
                view = ParamView(ParamView::controlTypeRed);
                view.setValueMultiplier(255.0);
                break;
            case ParamColor::ColorChannel_Green:
                view = ParamView(ParamView::controlTypeGreen);
                view.setValueMultiplier(255.0);
                break;
            case ParamColor::ColorChannel_Blue:
                view = ParamView(ParamView::controlTypeBlue);
                view.setValueMultiplier(255.0);
                break;
            case ParamColor::ColorChannel_Alpha:
                view = ParamView(ParamView::controlTypeAlpha, ParamView::unitsPercent, ParamView::subTypeDefault, 0);
                view.setValueMultiplier(100.0);
                break;
            case ParamColor::ColorChannel_Hue:
                view = ParamView(ParamView::controlTypeHue, ParamView::unitsDegrees, ParamView::subTypeDefault, 0);
                view.setValueMultiplier(360.0);
                break;
            case ParamColor::ColorChannel_Saturation:
                view =
                    ParamView(ParamView::controlTypeSaturation, ParamView::unitsPercent, ParamView::subTypeDefault, 0);
                view.setValueMultiplier(100.0);
                break;
            case ParamColor::ColorChannel_Brightness:
                view =
                    ParamView(ParamView::controlTypeBrightness, ParamView::unitsPercent, ParamView::subTypeDefault, 0);
                view.setValueMultiplier(100.0);
                break;
            default:
                return param;
        }
        setViewForParam(param, view, false);
        return param;
    }

    ParamContainer::ParamPtr ParamContainer::getParam(int index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= params.size())
            return ParamPtr();
        return params[static_cast<std::size_t>(index)];
    }

    ParamContainer::ParamPtr ParamContainer::getParam(const ParamBase& param) const
    {
        for (const ParamPtr& held : params)
            if (held.get() == &param)
                return held;
        return ParamPtr();
    }

    ParamContainer::ParamPtr ParamContainer::getParam(const ParamBase* param) const
    {
        return param == nullptr ? ParamPtr() : getParam(*param);
    }

    ParamContainer::ParamPtr ParamContainer::getParamByName(const std::string& name, bool ignoreCase) const
    {
        if (name.empty())
            return ParamPtr();
        for (const ParamPtr& param : params)
        {
            const std::string& paramName = param->getName();
            if (paramName.empty())
                continue;
            if (ignoreCase ? equalIgnoringCase(paramName, name) : paramName == name)
                return param;
        }
        return ParamPtr();
    }

    ParamContainer::ParamPtr ParamContainer::getParamByNameIgnoringDotsSpacesAndCase(const std::string& key) const
    {
        for (const ParamPtr& param : params)
        {
            if (param->getName().empty())
                continue;
            std::string stripped = param->getName();
            stringStripCharacters(stripped, " .");
            toLower(stripped);
            if (stripped == key)
                return param;
        }
        return ParamPtr();
    }

    bool ParamContainer::containsParam(const ParamPtr& param) const
    {
        ScopedLock hold(pimpl->lock);
        return param != nullptr && std::find(params.begin(), params.end(), param) != params.end();
    }

    int ParamContainer::findParamIndex(const ParamBase& param) const
    {
        ScopedLock hold(pimpl->lock);
        for (std::size_t i = 0; i < params.size(); ++i)
            if (params[i].get() == &param)
                return static_cast<int>(i);
        return -1;
    }

    bool ParamContainer::removeParam(const ParamPtr& param, bool notify)
    {
        ScopedLock hold(pimpl->lock);
        const auto found =
            std::find_if(params.begin(), params.end(), [&](const ParamPtr& held) { return held.get() == param.get(); });
        if (param == nullptr || found == params.end())
            return false;

        // Kept alive until the registry and the views are done with it.
        const ParamPtr removed = *found;
        if (ParamCollection* registry = getRegistry())
            registry->removeParam(removed);
        pimpl->views.erase(removed.get());
        params.erase(found);

        if (notify)
            paramsChanged();
        return true;
    }

    bool ParamContainer::removeParam(int index)
    {
        ScopedLock hold(pimpl->lock);
        const ParamPtr param = getParam(index);
        return param != nullptr && removeParam(param, true);
    }

    bool ParamContainer::removeParamByName(const std::string& name)
    {
        ScopedLock hold(pimpl->lock);
        const ParamPtr param = getParamByName(name, false);
        return param != nullptr && removeParam(param, true);
    }

    void ParamContainer::removeParams(const ParamContainer& other)
    {
        const std::vector<ParamPtr> toRemove = other.params;
        for (const ParamPtr& param : toRemove)
            removeParam(param, true);
        paramsChanged();
    }

    void ParamContainer::clearParams(bool notify)
    {
        clearParamsInternal();
        if (notify)
            paramsChanged();
    }

    void ParamContainer::clearParamsInternal()
    {
        ScopedLock hold(pimpl->lock);
        if (! params.empty())
            if (ParamCollection* registry = getRegistry())
                registry->removeParams(params);
        while (! params.empty())
            params.pop_back();
        pimpl->views.clear();
    }

    bool ParamContainer::setViewForParam(const ParamPtr& param, const ParamView& view, bool notify)
    {
        if (! containsParam(param))
            return false;
        // Assignment keeps every field, the sections included.
        pimpl->views[param.get()] = view;
        if (notify)
            param->stateChanged(appearanceChange());
        return true;
    }

    bool ParamContainer::setViewForParam(const std::string& name, const ParamView& view, bool notify)
    {
        const ParamPtr param = getParamByName(name, false);
        return param != nullptr && setViewForParam(param, view, notify);
    }

    ParamView* ParamContainer::getViewForParam(const ParamPtr& param) const
    {
        return param == nullptr ? nullptr : getViewForParam(*param);
    }

    ParamView* ParamContainer::getViewForParam(const ParamBase& param) const
    {
        const auto found = pimpl->views.find(&param);
        return found == pimpl->views.end() ? nullptr : &found->second;
    }

    bool ParamContainer::hasView(const ParamPtr& param) const
    {
        return getViewForParam(param) != nullptr;
    }

    void ParamContainer::removeView(const ParamPtr& param, bool notify)
    {
        if (! containsParam(param))
            return;
        pimpl->views.erase(param.get());
        if (notify)
            param->stateChanged(appearanceChange());
    }

    bool ParamContainer::addListener(ParamContainerListener& listener)
    {
        if (std::find(listeners.begin(), listeners.end(), &listener) != listeners.end())
            return false;
        listeners.push_back(&listener);
        return true;
    }

    bool ParamContainer::removeListener(ParamContainerListener& listener)
    {
        const auto found = std::find(listeners.begin(), listeners.end(), &listener);
        if (found == listeners.end())
            return false;
        listeners.erase(found);
        return true;
    }

    void ParamContainer::paramsChanged()
    {
        // A copy: a listener may remove itself while told.
        const std::vector<ParamContainerListener*> toTell = listeners;
        for (ParamContainerListener* listener : toTell)
            listener->paramsChanged();
    }

    std::shared_ptr<XmlStates> ParamContainer::getStates()
    {
        if (states == nullptr)
            states = std::make_shared<XmlStates>(this, 65536, true);
        return states;
    }

    bool ParamContainer::update(const TimeInfo& info)
    {
        ScopedLock hold(pimpl->lock);
        bool changed = false;
        for (const ParamPtr& param : params)
            changed = param->update(info) || changed;
        return changed;
    }

    void ParamContainer::start(bool restart, const TimeUnit& time)
    {
        ScopedLock hold(pimpl->lock);
        for (const ParamPtr& param : params)
            param->start(restart, time);
    }

    void ParamContainer::stop(const TimeUnit& time)
    {
        ScopedLock hold(pimpl->lock);
        for (const ParamPtr& param : params)
            param->stop(time);
    }

    void ParamContainer::pathChanged()
    {
        for (const ParamPtr& param : params)
            param->setPathByParent(getPath());
        if (ParamCollection* registry = getRegistry())
            registry->invalidateMap();
    }

    bool ParamContainer::needsToWriteState()
    {
        ScopedLock hold(pimpl->lock);
        for (const ParamPtr& param : params)
            if (param->needsToWriteState() || param->getStorage() == storageAlways)
                return true;
        return false;
    }

    XmlNode* ParamContainer::writeStateDerived(XmlPool& pool, bool force)
    {
        if (params.empty())
            return nullptr;
        XmlNode* element = createElement(pool);
        for (const ParamPtr& param : params)
            param->appendAndWrite(element, pool, force);
        return element;
    }

    void ParamContainer::readStateDerived(const XmlNode& node)
    {
        ScopedLock hold(pimpl->lock);
        int insertionIndex = 0;
        for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
        {
            if (child->type() != rapidxml::node_element)
                continue;
            const XmlAttribute* nameAttribute = child->first_attribute("name");
            if (nameAttribute == nullptr || nameAttribute->value_size() == 0)
                continue;

            const std::string name(nameAttribute->value(), nameAttribute->value_size());
            if (const ParamPtr param = getParamByName(name, true))
            {
                if (param->getElementName().compare(0, std::string::npos, child->name(), child->name_size()) == 0)
                    param->readState(child, false);
            }
            else if (getXmlNodeStorage(*child) == storageCreatable)
            {
                if (ParamUtils::canParamBeCreatedFromXmlNode(*child))
                {
                    if (ParamBase* created = ParamUtils::createParamFromXmlNode(*child))
                        insertParam(ParamPtr(created), insertionIndex);
                }
                else
                {
                    const std::vector<ParamContainerListener*> toAsk = listeners;
                    for (ParamContainerListener* listener : toAsk)
                    {
                        if (const ParamPtr created = listener->createParamForXmlNode(*this, *child))
                        {
                            insertParam(created, insertionIndex);
                            break;
                        }
                    }
                }
            }
            ++insertionIndex;
        }
    }
}
