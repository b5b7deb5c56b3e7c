#include "core/parameters/VXColorManager.h"

#include "core/VXTime.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXSwatch.h"

#include <algorithm>

namespace vx
{
    ColorManager::ColorManager() : XmlCapable("swatches", "swatches")
    {
        setPath("/colormanager");
    }

    ColorManager::~ColorManager()
    {
        // Swatches kept by the selection or by others outlive the manager;
        // clear stops listening to every one of them.
        clear();
    }

    ColorManager::SwatchPtr ColorManager::createNew(const Color& color, const std::string& name)
    {
        lastId = lastId == 0 ? static_cast<unsigned long long>(getTickCount()) : lastId + 1;
        const std::string swatchName = name.empty() ? makeUniqueName() : name;

        auto swatch = std::make_shared<Swatch>(lastId, swatchName);
        swatch->getColor()->setValue(color, ValueChangeInfo());
        addSwatch(swatch);
        pathChanged();
        return swatch;
    }

    ColorManager::SwatchPtr ColorManager::createNew()
    {
        if (activeSwatch == nullptr)
            return nullptr;
        return createNew(activeSwatch->getColor()->getValue(), std::string());
    }

    std::string ColorManager::makeUniqueName() const
    {
        for (std::size_t number = swatches.size();; ++number)
        {
            const std::string candidate = "swatch " + std::to_string(number);
            if (countSwatchName(candidate) == 0)
                return candidate;
        }
    }

    void ColorManager::addSwatch(const SwatchPtr& swatch)
    {
        if (swatch == nullptr)
            return;
        swatch->addListener(*this, false);
        swatches.push_back(swatch);
        callListeners(&ColorManagerListener::swatchAdded, swatch, CallType::standard);
        setActiveSwatch(swatch, false);
    }

    void ColorManager::removeSwatch(const SwatchPtr& swatch)
    {
        if (swatch == nullptr)
            return;
        // Keeps the swatch alive through the broadcasts below.
        const SwatchPtr removed = swatch;
        removed->prepareRemoval();

        const auto found = std::find(swatches.begin(), swatches.end(), removed);
        if (found != swatches.end())
            swatches.erase(found);
        if (std::find(swatches.begin(), swatches.end(), removed) == swatches.end())
            removed->removeListener(*this);

        callListeners(&ColorManagerListener::swatchDeleted, removed, CallType::standard);
        if (removed == activeSwatch)
            setActiveSwatch(nullptr, false);
    }

    void ColorManager::removeActiveSwatch()
    {
        removeSwatch(activeSwatch);
    }

    void ColorManager::setActiveSwatch(const SwatchPtr& swatch, bool addToSelection)
    {
        // The argument may be a reference into the selection.
        const SwatchPtr chosen = swatch;
        if (! addToSelection)
            activeSwatches.clear();
        if (std::find(activeSwatches.begin(), activeSwatches.end(), chosen) == activeSwatches.end())
            activeSwatches.push_back(chosen);
        activeSwatch = chosen;
        callListeners(&ColorManagerListener::activeSwatchesChanged, std::vector<SwatchPtr>(activeSwatches),
                      CallType::standard);
    }

    ColorManager::SwatchPtr ColorManager::getSwatch(unsigned long long id) const
    {
        for (const SwatchPtr& swatch : swatches)
            if (swatch->getId() == id)
                return swatch;
        return nullptr;
    }

    bool ColorManager::swatchNameExists(const std::string& name) const
    {
        return countSwatchName(name) > 0;
    }

    int ColorManager::countSwatchName(const std::string& name) const
    {
        return static_cast<int>(std::count_if(swatches.begin(), swatches.end(),
                                              [&name](const SwatchPtr& swatch)
                                              { return swatch->getNameParam()->getValue() == name; }));
    }

    void ColorManager::changeColor(const Color& color)
    {
        if (activeSwatch != nullptr)
            activeSwatch->getColor()->setValue(color, ValueChangeInfo());
        else
            createNew(color, std::string());
    }

    void ColorManager::clear()
    {
        // Works on a copy: a listener may add or remove swatches meanwhile.
        const std::vector<SwatchPtr> cleared = swatches;
        for (const SwatchPtr& swatch : cleared)
        {
            swatch->prepareRemoval();
            swatch->removeListener(*this);
            callListeners(&ColorManagerListener::swatchDeleted, swatch, CallType::standard);
        }
        swatches.clear();
    }

    void ColorManager::swatchRemoved()
    {
        pathChanged();
    }

    void ColorManager::swatchNameChanged(std::string name)
    {
        if (activeSwatch == nullptr)
            return;
        // Keeps the swatch alive should a listener drop it meanwhile.
        const SwatchPtr active = activeSwatch;
        // While the swatch takes back its confirmed name, that name is
        // accepted even when another swatch shares it (createNew allows
        // duplicates); rejecting it again would never end.
        if (restoringName || countSwatchName(name) < 2)
        {
            active->confirmName();
        }
        else
        {
            restoringName = true;
            active->resetName();
            restoringName = false;
        }
        active->setPathByParent(getPath());
    }

    void ColorManager::pathChanged()
    {
        for (const SwatchPtr& swatch : swatches)
            swatch->setPathByParent(getPath());
    }

    XmlNode* ColorManager::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        for (const SwatchPtr& swatch : swatches)
            swatch->appendAndWrite(element, pool, true);
        return element;
    }

    void ColorManager::readStateDerived(const XmlNode& node)
    {
        for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
        {
            if (child->type() != rapidxml::node_element || std::string(child->name(), child->name_size()) != "swatch")
                continue;
            auto swatch = std::make_shared<Swatch>(0, std::string());
            swatch->readState(child, false);
            addSwatch(swatch);
        }
        pathChanged();
    }
}
