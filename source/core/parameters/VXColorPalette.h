#pragma once

#include "core/VXColor.h"
#include "core/parameters/VXParamListener.h"
#include "core/xml/VXXmlCapable.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class ParamColor;
    class ParamContainer;
    class ParamEvent;

    // A short list of colours attached to one colour parameter, which owns
    // it. Each entry has a trigger event; firing it sets the owner to the
    // entry's colour. The triggers sit in the public container "Params"
    // (named Trigger1, Trigger2, ... in list order) so hosts can reach them.
    // Element "ColorPalette"; runs on the thread that edits parameters.
    class ColorPalette : public XmlCapable
    {
    public:
        // One colour with its trigger. The item listens to its trigger
        // synchronously while it belongs to a palette; once removed from
        // it (or the palette is gone) its trigger no longer reaches the
        // owner.
        class Item : public ParamListener
        {
        public:
            Item(ColorPalette& palette, const Color& color, std::shared_ptr<ParamEvent> trigger);
            ~Item() override;

            Item(const Item&) = delete;
            Item& operator=(const Item&) = delete;

            const Color& getColor() const { return color; }
            const std::shared_ptr<ParamEvent>& getTriggerParam() const { return trigger; }

            // Any change of the trigger sets the owner to this colour.
            void valueChanged(ParamBase& param, ChangeInfo info) override;

        private:
            friend class ColorPalette;
            // Stops listening and forgets the palette.
            void detach();

            ColorPalette* palette;
            Color color;
            std::shared_ptr<ParamEvent> trigger;
        };

        explicit ColorPalette(ParamColor& owner);
        ~ColorPalette() override;

        ColorPalette(const ColorPalette&) = delete;
        ColorPalette& operator=(const ColorPalette&) = delete;

        const std::vector<std::shared_ptr<Item>>& getColors() const { return items; }
        const std::shared_ptr<ParamContainer>& getParams() const { return parameters; }
        ParamColor& getOwner() const { return owner; }

        // Inserts at index (appends for a negative or too large index) with a
        // trigger of type 2, renames the triggers and adds the new one to
        // "Params".
        void addColor(const Color& color, int index);
        // Takes the item's trigger out of "Params" and the item out of the
        // list (when there), then renames the rest.
        void removeColor(Item& item);
        // Empties the list and "Params".
        void clear();
        // Trigger1, Trigger2, ... in list order, announced.
        void updateTriggerNames();

        // "Params" takes the palette's path.
        void pathChanged() override;

        // The element with "Items", holding one "Item" ("color": the packed
        // colour, channels clamped to 0..1) per entry; "Items" is written
        // even for an empty palette.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Appends every entry of the first "Items" whose "color" parses;
        // entries already present stay.
        void readStateDerived(const XmlNode& node) override;

    private:
        ParamColor& owner;
        std::vector<std::shared_ptr<Item>> items;
        std::shared_ptr<ParamContainer> parameters;
    };
}
