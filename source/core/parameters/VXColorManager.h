#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXColor.h"
#include "core/parameters/VXColorManagerListener.h"
#include "core/parameters/VXSwatchListener.h"
#include "core/xml/VXXmlCapable.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class Swatch;

    // The engine-wide registry of colour swatches under the path
    // "/colormanager": the list in the order added, the active swatch, a
    // selection of active swatches and unique names. The manager listens to
    // the swatches it holds and stops when it removes, clears or dies, so a
    // swatch that outlives it never calls it. Element "swatches". Runs on the
    // thread that edits parameters; no lock.
    class ColorManager : public Broadcaster<ColorManagerListener>, public XmlCapable, public SwatchListener
    {
    public:
        using SwatchPtr = std::shared_ptr<Swatch>;

        ColorManager();
        // Clears the list first.
        ~ColorManager() override;

        ColorManager(const ColorManager&) = delete;
        ColorManager& operator=(const ColorManager&) = delete;

        // A new swatch with a fresh id (the tick count for the first, then
        // one more each time) and the given name, or for an empty name the
        // first free "swatch N" from N = number of swatches; it becomes the
        // only active swatch.
        SwatchPtr createNew(const Color& color, const std::string& name);
        // A copy of the active swatch's colour under a generated name; empty
        // when there is no active swatch.
        SwatchPtr createNew();
        // Listens to it, appends it, announces it and makes it the only
        // active swatch.
        void addSwatch(const SwatchPtr& swatch);
        // Nothing for an empty pointer; otherwise announces the removal (also
        // for a swatch not held), takes it out of the list and stops
        // listening; the active swatch is cleared when it was this one.
        void removeSwatch(const SwatchPtr& swatch);
        void removeActiveSwatch();
        // Without addToSelection the selection is emptied first; the swatch
        // (even an empty pointer) joins it once and becomes the active one.
        // Announced every time.
        void setActiveSwatch(const SwatchPtr& swatch, bool addToSelection);

        const SwatchPtr& getActiveSwatch() const { return activeSwatch; }
        const std::vector<SwatchPtr>& getActiveSwatches() const { return activeSwatches; }
        const std::vector<SwatchPtr>& getSwatches() const { return swatches; }
        // The first swatch with that id, or empty.
        SwatchPtr getSwatch(unsigned long long id) const;
        bool hasSwatches() const { return ! swatches.empty(); }
        bool swatchNameExists(const std::string& name) const;
        // Swatches whose proposed name equals name exactly.
        int countSwatchName(const std::string& name) const;

        // Sets the active swatch's colour, or creates a swatch of it.
        void changeColor(const Color& color);
        // Announces each removal and empties the list, listening to none of
        // them any more; the selection and the active swatch stay.
        void clear();

        // Re-paths after a removal.
        void swatchRemoved() override;
        // Accepts the name for the active swatch when no other swatch has it;
        // otherwise the active swatch takes back its confirmed name.
        void swatchNameChanged(std::string name) override;

        // Every swatch takes a path below the manager's.
        void pathChanged() override;

        // "swatches" with one forced "swatch" element per swatch.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Adds a swatch per "swatch" child (other children are skipped);
        // swatches already held stay. Ids read do not move the id counter.
        void readStateDerived(const XmlNode& node) override;

    private:
        std::string makeUniqueName() const;

        unsigned long long lastId = 0;
        std::vector<SwatchPtr> activeSwatches;
        SwatchPtr activeSwatch;
        std::vector<SwatchPtr> swatches;
        // Set while the active swatch takes back its confirmed name.
        bool restoringName = false;
    };
}
