#include "core/parameters/VXParamScripts.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"

namespace vx
{
    ParamScripts::ParamScripts(const std::string& name)
        : ParamBase(name, "ParamScripts"), scripts(std::make_shared<ParamContainer>("Scripts", true)),
          userParams(std::make_shared<ParamContainer>("User", true))
    {
    }

    ParamScripts::~ParamScripts() = default;

    std::shared_ptr<ParamScript> ParamScripts::addScript(const std::string& name, ParamScript::ScriptType type,
                                                         const std::string& text)
    {
        auto script = std::make_shared<ParamScript>(name, type, text);
        scripts->addParam(script);
        return script;
    }

    int ParamScripts::getNumScripts() const
    {
        return scripts->getNumParams();
    }

    std::shared_ptr<ParamScript> ParamScripts::getScript(int index) const
    {
        return std::dynamic_pointer_cast<ParamScript>(scripts->getParam(index));
    }

    bool ParamScripts::update(const TimeInfo& info)
    {
        bool changed = ParamBase::update(info);
        changed = scripts->update(info) || changed;
        changed = userParams->update(info) || changed;
        return changed;
    }

    void ParamScripts::start(bool restart, const TimeUnit& time)
    {
        ParamBase::start(restart, time);
        scripts->start(restart, time);
        userParams->start(restart, time);
    }

    void ParamScripts::stop(const TimeUnit& time)
    {
        ParamBase::stop(time);
        scripts->stop(time);
        userParams->stop(time);
    }

    void ParamScripts::pathChanged()
    {
        ParamBase::pathChanged();
        scripts->setPath(getPath());
        userParams->setPath(getPath());
    }

    XmlNode* ParamScripts::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        scripts->appendAndWrite(element, pool, force);
        userParams->appendAndWrite(element, pool, force);
        return element;
    }

    void ParamScripts::readStateDerived(const XmlNode& node)
    {
        scripts->findAndRead(&node);
        userParams->findAndRead(&node);

        for (int i = 0; i < userParams->getNumParams(); ++i)
        {
            ParamView view;
            view.setIsRemovable(true);
            view.setNameIsEditable(true);
            userParams->setViewForParam(userParams->getParam(i), view, false);
        }
    }
}
