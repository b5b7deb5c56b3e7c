#pragma once

#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamScript.h"

#include <memory>
#include <string>

namespace vx
{
    class ParamContainer;

    // A list of scripts plus the parameters a user adds for them (a shader
    // pass keeps its fragment program and its user parameters here). Both
    // lists are public containers, "Scripts" and "User", that take this
    // parameter's path. Element "ParamScripts".
    class ParamScripts : public ParamBase
    {
    public:
        explicit ParamScripts(const std::string& name);
        ~ParamScripts() override;

        // Appends a new script to "Scripts" and answers it.
        std::shared_ptr<ParamScript> addScript(const std::string& name, ParamScript::ScriptType type,
                                               const std::string& text);
        int getNumScripts() const;
        // Empty for an index outside "Scripts" or an entry of another kind.
        std::shared_ptr<ParamScript> getScript(int index) const;

        const std::shared_ptr<ParamContainer>& getScripts() const { return scripts; }
        const std::shared_ptr<ParamContainer>& getUserParams() const { return userParams; }

        // A hint for the user interface; nothing here checks it.
        bool canUserAddParams() const { return userMayAddParams; }
        void setUserCanAddParams(bool mayAdd) { userMayAddParams = mayAdd; }

        // Every one of the two lists runs; true when any changed.
        bool update(const TimeInfo& info) override;
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;
        // Both lists take this parameter's path.
        void pathChanged() override;

        // The element with the child of "Scripts", then of "User", each left
        // out when its list writes nothing.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Each list reads its own child (matched by element and name); every
        // user parameter then gets a view that lets the user rename and
        // remove it.
        void readStateDerived(const XmlNode& node) override;

    private:
        bool userMayAddParams = false;
        std::shared_ptr<ParamContainer> scripts;
        std::shared_ptr<ParamContainer> userParams;
    };
}
