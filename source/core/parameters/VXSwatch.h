#pragma once

#include "core/VXBroadcaster.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamListener.h"
#include "core/parameters/VXSwatchListener.h"
#include "core/xml/VXXmlCapable.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    class ParamColor;
    class ParamContainer;

    // A named colour of the colour manager: a colour parameter "Color" and a
    // name parameter in the public container "Params", plus a 64-bit id.
    // Renaming takes two steps: the name parameter changes at once and is
    // announced (swatchNameChanged); the manager then confirms it (object
    // name and paths follow) or has the swatch take back its confirmed name.
    // Element "swatch". Runs on the thread that edits parameters.
    class Swatch : public Broadcaster<SwatchListener>, public ParamListener, public XmlCapable
    {
    public:
        Swatch(unsigned long long id, const std::string& name);
        ~Swatch() override;

        Swatch(const Swatch&) = delete;
        Swatch& operator=(const Swatch&) = delete;

        unsigned long long getId() const { return id; }
        const std::string& getConfirmedName() const { return confirmedName; }
        const std::shared_ptr<ParamColor>& getColor() const { return color; }
        const std::shared_ptr<Param<std::string>>& getNameParam() const { return nameParam; }
        const std::shared_ptr<ParamContainer>& getParams() const { return parameters; }

        // Announces swatchRemoved.
        void prepareRemoval();
        // Proposes a name (the name parameter changes and announces it).
        void changeName(const std::string& name);
        // Accepts the proposed name: object name and parameter paths follow.
        void confirmName();
        // Takes back the confirmed name and announces it, changed or not.
        void resetName();

        // Colour changes announce swatchColorChanged, name changes
        // swatchNameChanged.
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        // "swatch" with "name" (the proposed name), "id" and the colour's
        // element.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Name (empty when missing), id (0 when missing or unparsable), the
        // name confirmed, then the colour from the first "ParamColor".
        void readStateDerived(const XmlNode& node) override;

    private:
        unsigned long long id;
        std::string confirmedName;
        std::shared_ptr<ParamContainer> parameters;
        std::shared_ptr<ParamColor> color;
        std::shared_ptr<Param<std::string>> nameParam;
    };
}
