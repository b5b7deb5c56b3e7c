#pragma once

#include "core/xml/VXXmlAttributes.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class BehaviourDouble;
    class ParamRange;

    // The table through which a range parameter makes behaviours without
    // knowing their classes: one creator per behaviour element name, looked
    // up in a fixed priority order. The behaviours fill it; a kind with no
    // creator is skipped when a parameter reads its state.
    //
    // The table fills itself on first use, on whichever thread comes first:
    // the basic kind, then every registration the behaviours added (they add
    // theirs when the engine is loaded; one added later runs at once).
    // Lookups are lock-free and may come from any thread.
    class BehaviourFactory
    {
    public:
        using Creator = std::shared_ptr<BehaviourDouble> (*)(ParamRange& owner);
        class Registrar;
        using Registration = void (*)(Registrar& registrar);

        // The element name of the behaviour every range parameter starts
        // with; its creator is always present.
        static const char* const basicKind;

        // Handed to registrations: stores creators directly (the table is
        // being filled, so it must not fill itself again).
        class Registrar
        {
        public:
            // False for a name outside the known kinds.
            bool add(const std::string& elementName, Creator creator);

        private:
            friend class BehaviourFactory;
            Registrar() = default;
        };

        // Runs registration when the table fills, or at once when it has;
        // adding the same registration again does nothing.
        static void addRegistration(Registration registration);

        // Every behaviour element name a range parameter knows, earlier
        // names winning when an element holds several.
        static const std::vector<std::string>& getKindNames();

        // Installs or replaces the creator of a known kind; a null creator
        // unregisters it. False (logged) for an unknown name, and for a null
        // creator of the basic kind, which must stay.
        static bool registerKind(const std::string& elementName, Creator creator);
        // Null when the kind is unknown or unregistered.
        static Creator getCreator(const std::string& elementName);

        // A new basic behaviour for owner; never empty.
        static std::shared_ptr<BehaviourDouble> createBasic(ParamRange& owner);

        // The first direct child of paramNode that names a registered kind,
        // kinds tried in priority order; null when none. The kind's creator
        // goes to creator when it is not null.
        static const XmlNode* findBehaviourNode(const XmlNode& paramNode, Creator* creator);

    private:
        // Fills the table once, on whichever thread comes first.
        static void ensureRegistered();
    };
}
