#pragma once

#include "core/VXScopedPointer.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainerListener.h"
#include "core/parameters/VXUpdatable.h"
#include "core/xml/VXXmlCapable.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class Color;
    class ParamBase;
    class ParamCollection;
    class ParamColor;
    class ParamColorChannel;
    class ParamEvent;
    class ParamRange;
    class ParamStrings;
    class ParamView;
    class XmlStates;
    template <typename T>
    class ValueRange;

    // The ordered, named list of parameters an effect, source, device,
    // behaviour or compound parameter owns; element "Params". It shares
    // ownership of its parameters (one object may sit in several
    // containers), keeps one optional ParamView per parameter, persists the
    // list as one element with a child per parameter, and passes update,
    // start and stop on. A public container gives its parameters paths below
    // its own and registers them in the engine's ParamCollection, while the
    // engine root and its registry exist. The list order is the order hosts
    // enumerate.
    //
    // A re-entrant lock guards insertion, removal, membership tests, the
    // per-frame calls and reading; lookups by index or name, views and
    // writing take no lock. Listener and registry calls happen while the lock
    // is held (container lock before the registry's locks).
    class ParamContainer : public XmlCapable, public Updatable
    {
    public:
        using ParamPtr = std::shared_ptr<ParamBase>;

        // Class-wide; read only when a container is constructed. A host that
        // clears it makes every later container private.
        static bool allowPublicParams;

        // An empty name becomes "Params".
        explicit ParamContainer(const std::string& name, bool makePublic = true);
        // Unregisters and releases every parameter without telling the
        // listeners.
        ~ParamContainer() override;

        ParamContainer(const ParamContainer&) = delete;
        ParamContainer& operator=(const ParamContainer&) = delete;

        // Appends (no duplicate check: an object added twice is held twice).
        void addParam(const ParamPtr& param);
        // Takes ownership of param.
        void addParam(ParamBase* param);
        // Before index; a negative or too large index appends.
        void insertParam(const ParamPtr& param, int index);
        // Appends the other container's objects (not copies), with copies of
        // their views when copyViews is set.
        void addParams(const ParamContainer& other, bool copyViews);

        // Typed adders: create, append, answer the new parameter.
        std::shared_ptr<Param<bool>> addParamBool(const std::string& name, bool value);
        std::shared_ptr<Param<double>> addParamDouble(const std::string& name, double value);
        std::shared_ptr<Param<std::string>> addParamString(const std::string& name, const std::string& text);
        // One enabled, active choice per name, valued by its index.
        std::shared_ptr<ParamChoice<int>> addParamChoice(const std::string& name,
                                                         const std::vector<std::string>& choiceNames);
        // Range 0..1 named "range".
        std::shared_ptr<ParamRange> addParamRange(const std::string& name, double value);
        std::shared_ptr<ParamRange> addParamRange(const std::string& name, double value,
                                                  const ValueRange<double>& range);
        std::shared_ptr<ParamEvent> addParamEvent(const std::string& name);
        std::shared_ptr<ParamStrings> addParamStrings(const std::string& name);
        // Channel mode 2 (red, green and blue drive the colour).
        std::shared_ptr<ParamColor> addParamColor(const std::string& name, const Color& color);
        // Range 0..1 named "range"; a ParamColor::ColorChannel gets the view
        // of its channel (control type, units, value multiplier), any other
        // number none.
        std::shared_ptr<ParamColorChannel> addParamColorChannel(const std::string& name, int channel, double value);

        int getNumParams() const { return static_cast<int>(params.size()); }
        bool hasParams() const { return ! params.empty(); }
        bool areParamsPublic() const { return isPublic; }

        // Empty for an index outside the list.
        ParamPtr getParam(int index) const;
        // This container's pointer to that very object; empty when absent.
        ParamPtr getParam(const ParamBase& param) const;
        ParamPtr getParam(const ParamBase* param) const;
        // First parameter with that non-empty name, exactly or (ignoreCase)
        // compared as lower-case copies.
        ParamPtr getParamByName(const std::string& name, bool ignoreCase = false) const;
        // key must already be lower case without blanks and dots; parameter
        // names are compared with theirs removed and lower-cased.
        ParamPtr getParamByNameIgnoringDotsSpacesAndCase(const std::string& key) const;
        bool containsParam(const ParamPtr& param) const;
        int findParamIndex(const ParamBase& param) const;

        // Each answers false (changing and sending nothing) when the
        // parameter is not in the list; only the first entry of an object
        // held twice is removed.
        bool removeParam(const ParamPtr& param, bool notify);
        bool removeParam(int index);
        bool removeParamByName(const std::string& name);
        // Every parameter of other (notify on), then paramsChanged once more.
        void removeParams(const ParamContainer& other);
        void clearParams(bool notify);

        // Stores a copy of view; false when the parameter is not held. With
        // notify the parameter sends StateChange_Appearance.
        bool setViewForParam(const ParamPtr& param, const ParamView& view, bool notify);
        bool setViewForParam(const std::string& name, const ParamView& view, bool notify);
        // The stored view (valid until removed; a later set overwrites it in
        // place), or null.
        ParamView* getViewForParam(const ParamPtr& param) const;
        ParamView* getViewForParam(const ParamBase& param) const;
        bool hasView(const ParamPtr& param) const;
        // Drops the view of a held parameter; with notify sends
        // StateChange_Appearance even when there was none.
        void removeView(const ParamPtr& param, bool notify);

        // False when already registered. Not owned.
        bool addListener(ParamContainerListener& listener);
        bool removeListener(ParamContainerListener& listener);
        // Tells every listener, in registration order, on this thread.
        void paramsChanged();

        bool hasStates() const { return states != nullptr; }
        // Snapshots of this container, made on first use.
        std::shared_ptr<XmlStates> getStates();

        // Updates every parameter in order; true when any changed.
        bool update(const TimeInfo& info) override;
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;

        // Re-paths every parameter below the container's new path.
        void pathChanged() override;
        // True when a parameter needs writing or has storage 3.
        bool needsToWriteState() override;
        // Nothing for an empty list; otherwise "Params" with one child per
        // parameter that writes itself.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Children are matched to parameters by name (ignoring case); a child
        // with storage 0 that names no parameter is re-created (factory
        // first, then the listeners) at its position among the named
        // children. Nothing is removed.
        void readStateDerived(const XmlNode& node) override;

    private:
        // The registry to use, or null: private container, no engine root,
        // or a root without its registry (before initialise, after shutdown).
        ParamCollection* getRegistry() const;
        void clearParamsInternal();

        struct Pimpl;

        std::vector<ParamPtr> params;
        std::shared_ptr<XmlStates> states;
        const bool isPublic;
        std::vector<ParamContainerListener*> listeners;
        ScopedPointer<Pimpl> pimpl;
    };
}
