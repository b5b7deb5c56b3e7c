#include "core/xml/VXXmlStates.h"

#include <algorithm>

namespace vx
{
    namespace
    {
        // A new element named elementName holding the library copy of tree's
        // first descendant whose "name" is partName; null when none has it.
        XmlNode* wrapPart(XmlPool& pool, const XmlNode& tree, const std::string& partName,
                          const std::string& elementName)
        {
            const XmlNode* part = XmlCapable::findChildNodeWithAttributeValue(tree, "name", partName);
            if (part == nullptr)
                return nullptr;
            XmlNode* wrapper = XmlCapable::createNode(pool, elementName);
            wrapper->append_node(XmlCapable::cloneNode(pool, *part));
            return wrapper;
        }
    }

    XmlStates::XmlStates(XmlCapable* target_, int, bool ownsStates_)
        : XmlCapable("XmlStates", "XmlStates"), ownsStates(ownsStates_), target(target_)
    {
    }

    XmlStates::~XmlStates()
    {
        clear();
    }

    XmlState* XmlStates::getState(int index) const
    {
        if (index < 0 || index >= getNumStates())
            return nullptr;
        return states[static_cast<std::size_t>(index)];
    }

    XmlState* XmlStates::getStateById(int id) const
    {
        for (XmlState* state : states)
            if (state->getUniqueId() == id)
                return state;
        return nullptr;
    }

    XmlState* XmlStates::getStateByName(const std::string& name) const
    {
        for (XmlState* state : states)
            if (state->getName() == name)
                return state;
        return nullptr;
    }

    XmlState* XmlStates::getStateByAltName(const std::string& altName) const
    {
        for (XmlState* state : states)
            if (state->getAltName() == altName)
                return state;
        return nullptr;
    }

    XmlState* XmlStates::getDefaultState() const
    {
        return getStateByName("default");
    }

    int XmlStates::pushDefault()
    {
        XmlNode* snapshot = writeState_(std::string());
        if (snapshot == nullptr)
            return -1;

        removeStateByObject(getDefaultState(), ownsStates);
        XmlState* state = new XmlState(snapshot, "default");
        states.insert(states.begin(), state);
        announce();
        return state->getUniqueId();
    }

    int XmlStates::pushState(const std::string& name, const std::string& partName)
    {
        XmlNode* snapshot = writeState_(partName);
        if (snapshot == nullptr)
            return -1;

        XmlState* state = new XmlState(snapshot, name);
        states.push_back(state);
        announce();
        return state->getUniqueId();
    }

    bool XmlStates::repushState(int id, const std::string& partName)
    {
        XmlState* state = getStateById(id);
        if (state == nullptr)
            return false;
        XmlNode* snapshot = writeState_(partName);
        if (snapshot == nullptr)
            return false;

        // The previous tree stays in the pool until the store goes.
        state->setNode(snapshot);
        announce();
        return true;
    }

    void XmlStates::addState(XmlState* state)
    {
        if (state == nullptr)
            return;
        states.push_back(state);
        announce();
    }

    int XmlStates::addStateFromXml(const XmlNode* node)
    {
        if (node == nullptr)
            return -1;
        const XmlAttribute* name = node->first_attribute("name");
        const XmlNode* content = node->first_node();
        if (name == nullptr || content == nullptr)
            return -1;

        // A deep copy: the store must not depend on the document it was
        // loaded from.
        XmlNode* copy = cloneNodeWithoutSharingResources(pool, *content);
        XmlState* state = new XmlState(copy, readAttribute(name, std::string()));
        states.push_back(state);
        return state->getUniqueId();
    }

    bool XmlStates::toState(int id)
    {
        return readState_(getStateById(id), std::string());
    }

    bool XmlStates::toLastState(bool pop, const std::string& partName)
    {
        if (states.empty())
            return false;
        if (! readState_(states.back(), partName))
            return false;

        if (pop && states.size() >= 2)
        {
            XmlState* last = states.back();
            states.pop_back();
            dropState(last);
        }
        announce();
        return true;
    }

    bool XmlStates::toDefault(const std::string& partName)
    {
        XmlState* state = getDefaultState();
        if (state == nullptr)
            return false;
        const bool applied = readState_(state, partName);
        announce();
        return applied;
    }

    void XmlStates::removeStateByObject(XmlState* state, bool deleteState)
    {
        if (state == nullptr)
            return;

        auto found = std::find(states.begin(), states.end(), state);
        if (found != states.end())
        {
            states.erase(found);
            if (deleteState)
                delete state;
        }
        announce();
    }

    void XmlStates::removeState(int index, bool deleteState)
    {
        removeStateByObject(getState(index), deleteState);
    }

    void XmlStates::removeStateById(int id, bool deleteState)
    {
        removeStateByObject(getStateById(id), deleteState);
    }

    void XmlStates::removeStateByName(const std::string& name, bool deleteState)
    {
        removeStateByObject(getStateByName(name), deleteState);
    }

    void XmlStates::clear()
    {
        while (! states.empty())
        {
            XmlState* last = states.back();
            states.pop_back();
            dropState(last);
        }
    }

    XmlNode* XmlStates::writeStateDerived(XmlPool& destination, bool force)
    {
        XmlNode* element = createElement(destination);
        for (XmlState* state : states)
            state->appendAndWrite(element, destination, force);
        return element;
    }

    void XmlStates::readStateDerived(const XmlNode& node)
    {
        forEachChildOfType(node, "XmlState", [this](const XmlNode& child) { addStateFromXml(&child); });
    }

    XmlNode* XmlStates::writeState_(const std::string& partName)
    {
        if (target == nullptr)
            return nullptr;
        XmlNode* element = target->writeState(pool, true);
        if (element == nullptr || partName.empty())
            return element;

        return wrapPart(pool, *element, partName, target->getElementName());
    }

    bool XmlStates::readState_(XmlState* state, const std::string& partName)
    {
        if (state == nullptr || target == nullptr)
            return false;

        const XmlNode* node = state->getNode();
        if (! partName.empty())
        {
            if (node == nullptr)
                return false;
            node = wrapPart(pool, *node, partName, target->getElementName());
            if (node == nullptr)
                return false;
        }
        target->readState(node, false);
        return true;
    }

    void XmlStates::announce()
    {
        callListeners(&XmlStatesListener::statesChanged, CallType::standard);
    }

    void XmlStates::dropState(XmlState* state)
    {
        if (ownsStates)
            delete state;
    }
}
