#pragma once

#include <string>
#include <vector>

#include "core/VXBroadcaster.h"
#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlState.h"

namespace vx
{
    class XmlStatesListener
    {
    public:
        virtual ~XmlStatesListener() = default;
        // The set of snapshots changed.
        virtual void statesChanged() = 0;
    };

    // An ordered store of named snapshots of one target object: takes whole
    // or partial snapshots, applies them back, keeps a "default" snapshot,
    // works as a stack, and saves and loads all snapshots as one element.
    // Every snapshot tree lives in the store's own pool, which only grows and
    // is released with the store. Changes to the set are announced with
    // statesChanged (where noted). No lock of its own: a store and its target
    // are used by one thread at a time.
    class XmlStates : public XmlCapable, public Broadcaster<XmlStatesListener>
    {
    public:
        // target may be null. poolBlockSize is a sizing hint (the library's
        // pool grows in fixed blocks). When ownsStates is set, states that
        // the store drops are deleted.
        XmlStates(XmlCapable* target, int poolBlockSize, bool ownsStates);
        ~XmlStates() override;

        XmlStates(const XmlStates&) = delete;
        XmlStates& operator=(const XmlStates&) = delete;

        void setXmlCapable(XmlCapable* newTarget) { target = newTarget; }
        XmlCapable* getXmlCapable() const { return target; }

        int getNumStates() const { return static_cast<int>(states.size()); }
        // Null outside 0 .. getNumStates() - 1.
        XmlState* getState(int index) const;
        // The first state in list order with that id, name or alternative
        // name, or null.
        XmlState* getStateById(int id) const;
        XmlState* getStateByName(const std::string& name) const;
        XmlState* getStateByAltName(const std::string& altName) const;
        XmlState* getDefaultState() const;

        // A whole snapshot as "default" at index 0, replacing an earlier one
        // (announced: the removal, then the insertion). Answers its id, -1
        // when the target wrote nothing.
        int pushDefault();
        // Appends a snapshot of the part named partName (whole when empty);
        // announced. -1, unannounced, when nothing was taken.
        int pushState(const std::string& name, const std::string& partName);
        // Gives the state of that id a new snapshot; announced.
        bool repushState(int id, const std::string& partName);
        // Appends state (owned when the store owns states); announced.
        void addState(XmlState* state);
        // Appends a deep copy of node's first child as a state named by
        // node's "name"; unannounced. -1 when either is missing.
        int addStateFromXml(const XmlNode* node);

        // Applies the state of that id whole; unannounced.
        bool toState(int id);
        // Applies the last state and, with pop, drops it unless it is the only
        // one; announced on success.
        bool toLastState(bool pop, const std::string& partName);
        // Applies "default" (or its part); announced when a default exists.
        bool toDefault(const std::string& partName);

        // Erases state when held (deleting it when deleteState is set);
        // announced for any non-null state, held or not.
        void removeStateByObject(XmlState* state, bool deleteState);
        void removeState(int index, bool deleteState);
        void removeStateById(int id, bool deleteState);
        void removeStateByName(const std::string& name, bool deleteState);
        // Drops every state, last first; unannounced.
        void clear();

        // "XmlStates" with one "XmlState" child per snapshot, in list order.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Appends the saved states to the ones held.
        void readStateDerived(const XmlNode& node) override;

    private:
        XmlNode* writeState_(const std::string& partName);
        bool readState_(XmlState* state, const std::string& partName);
        void announce();
        void dropState(XmlState* state);

        bool ownsStates;
        std::vector<XmlState*> states;
        XmlCapable* target;
        XmlPool pool;
    };
}
