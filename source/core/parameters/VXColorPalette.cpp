#include "core/parameters/VXColorPalette.h"

#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"

#include <algorithm>
#include <utility>

namespace vx
{
    namespace
    {
        std::string triggerName(long long number)
        {
            return "Trigger" + std::to_string(number);
        }
    }

    ColorPalette::Item::Item(ColorPalette& owningPalette, const Color& itemColor,
                             std::shared_ptr<ParamEvent> itemTrigger)
        : palette(&owningPalette), color(itemColor), trigger(std::move(itemTrigger))
    {
        trigger->addListener(*this, false);
    }

    ColorPalette::Item::~Item()
    {
        detach();
    }

    void ColorPalette::Item::detach()
    {
        if (palette == nullptr)
            return;
        trigger->removeListener(*this);
        palette = nullptr;
    }

    void ColorPalette::Item::valueChanged(ParamBase&, ChangeInfo)
    {
        if (palette != nullptr)
            palette->owner.setValue(color, ValueChangeInfo());
    }

    ColorPalette::ColorPalette(ParamColor& owningParam)
        : XmlCapable("ColorPalette", std::string()), owner(owningParam),
          parameters(std::make_shared<ParamContainer>("Params", true))
    {
    }

    ColorPalette::~ColorPalette()
    {
        // Items handed out may outlive the palette; their triggers must not
        // reach the owner through it any more.
        for (const std::shared_ptr<Item>& item : items)
            item->detach();
    }

    void ColorPalette::addColor(const Color& color, int index)
    {
        const bool appends = index < 0 || static_cast<std::size_t>(index) > items.size();
        const std::size_t position = appends ? items.size() : static_cast<std::size_t>(index);

        auto trigger = std::make_shared<ParamEvent>(triggerName(static_cast<long long>(index) + 1));
        trigger->setTriggerType(ParamEvent::triggerOnTrue);
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(position),
                     std::make_shared<Item>(*this, color, trigger));

        updateTriggerNames();
        pathChanged();
        parameters->addParam(trigger);
    }

    void ColorPalette::removeColor(Item& item)
    {
        // The item may die when it leaves the list; keep what is needed.
        const std::shared_ptr<ParamEvent> trigger = item.trigger;
        parameters->removeParam(trigger, true);

        const auto found = std::find_if(items.begin(), items.end(),
                                        [&item](const std::shared_ptr<Item>& entry) { return entry.get() == &item; });
        if (found != items.end())
        {
            const std::shared_ptr<Item> removed = *found;
            items.erase(found);
            removed->detach();
        }

        updateTriggerNames();
        pathChanged();
    }

    void ColorPalette::clear()
    {
        for (const std::shared_ptr<Item>& item : items)
            item->detach();
        items.clear();
        parameters->clearParams(true);
    }

    void ColorPalette::updateTriggerNames()
    {
        for (std::size_t i = 0; i < items.size(); ++i)
            items[i]->trigger->setName(triggerName(static_cast<long long>(i) + 1));
    }

    void ColorPalette::pathChanged()
    {
        parameters->setPath(getPath());
    }

    XmlNode* ColorPalette::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        XmlNode* itemsNode = createNode(pool, "Items");
        for (const std::shared_ptr<Item>& item : items)
        {
            // Packing wraps channels outside 0..1; stored colours may hold such.
            Color packable = item->color;
            packable.clampColor();
            XmlNode* itemNode = createNode(pool, "Item");
            itemNode->append_attribute(createAttribute(pool, "color", packable));
            itemsNode->append_node(itemNode);
        }
        element->append_node(itemsNode);
        return element;
    }

    void ColorPalette::readStateDerived(const XmlNode& node)
    {
        const XmlNode* itemsNode = node.first_node("Items");
        if (itemsNode == nullptr)
            return;
        for (const XmlNode* itemNode = itemsNode->first_node("Item"); itemNode != nullptr;
             itemNode = itemNode->next_sibling())
        {
            Color color;
            if (readAttribute(itemNode->first_attribute("color"), &color))
                addColor(color, -1);
        }
    }
}
