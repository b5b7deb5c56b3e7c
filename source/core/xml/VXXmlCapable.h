#pragma once

#include <string>

#include "core/VXNamedObject.h"
#include "core/xml/VXXmlAttributes.h"

namespace vx
{
    // Base of every persistable object: the object saves itself as one
    // element of an in-memory tree and restores itself from such an element.
    // The element carries "storage" (only when not 1), "name" (always) and
    // "altName" (only when set), in this order; derived classes add their own
    // attributes and children in writeStateDerived and read them back in
    // readStateDerived. No lock: a pool and its tree are used by one thread
    // at a time, derived classes lock their own data in their overrides.
    class XmlCapable : public NamedObject
    {
    public:
        // Whether an object is written; the "storage" attribute carries the
        // same numbers.
        enum Storage : int
        {
            // Always written; parameters also write their type word and
            // containers re-create such children they do not know.
            storageCreatable = 0,
            // Written when forced or when needsToWriteState() answers true.
            storageDefault = 1,
            // Never written; also skipped when copying state between objects.
            storageNever = 2,
            // Always written.
            storageAlways = 3
        };

        // An empty name becomes the element name (and the path follows it).
        XmlCapable(const std::string& elementName, const std::string& name);
        // Copies name, path and element name; the alternative name starts
        // empty and the storage at 1.
        XmlCapable(const XmlCapable& other);
        // Copies the name and the element name only (no path, alternative
        // name or storage change, no notification).
        XmlCapable& operator=(const XmlCapable& other);
        ~XmlCapable() override;

        void clone(const XmlCapable& other);
        // True when name is not empty and equals this object's name exactly.
        bool operator==(const std::string& otherName) const;

        const std::string& getElementName() const { return elementName; }
        Storage getStorage() const { return storage; }
        void setStorage(Storage newStorage) { storage = newStorage; }

        // True unless the storage is 2.
        virtual bool needsToWriteState();

        // Reads an element named like this object's element (any name when
        // ignoreName): readStatePre, "altName" and "storage" when present
        // (the name is never applied here: parents match children by name),
        // readStateDerived, readStatePost. A null node does nothing.
        virtual void readState(const XmlNode* node, bool ignoreName);

        // The element with the common attributes, names and values copied into
        // the pool.
        virtual XmlNode* createElement(XmlPool& pool);
        // Builds this object's element (normally from createElement) or
        // answers null for nothing.
        virtual XmlNode* writeStateDerived(XmlPool& pool, bool force) = 0;
        virtual void readStateDerived(const XmlNode& node) = 0;
        virtual void readStatePre() {}
        virtual void readStatePost() {}

        // Null for storage 2, and for storage 1 when not forced and nothing
        // needs writing; otherwise writeStateDerived. The element is detached:
        // the caller links it.
        XmlNode* writeState(XmlPool& pool, bool force);
        // writeState, appending a written element as parent's last child
        // (a null parent takes nothing).
        void appendAndWrite(XmlNode* parent, XmlPool& pool, bool force);

        // Copies state from source through a forced write of source into
        // pool (nothing when source's storage is 2).
        void readState(XmlPool& pool, XmlCapable& source, bool ignoreName);

        // Reads the first child of parent with object's element name whose
        // "name" equals object's name (a missing "name" counts as empty).
        // Answers false, leaving the object untouched, when none matches.
        static bool findAndRead(const XmlNode* parent, XmlCapable& object);
        bool findAndRead(const XmlNode* parent);

        // The node's "storage", 1 when absent or outside 0..3.
        static Storage getXmlNodeStorage(const XmlNode& node);

        // An empty element named name (copied into the pool).
        static XmlNode* createNode(XmlPool& pool, const std::string& name);

        // Node utilities; names compare exactly. Searches run depth first in
        // document order (a child before its subtree, its subtree before the
        // next sibling) and never test node itself.
        static XmlNode* findChildNode(const XmlNode& node, const std::string& name);
        static XmlNode* findChildNodeWithAttributeValue(const XmlNode& node, const std::string& attributeName,
                                                        const std::string& value);
        // Removes every descendant named name with its subtree; answers
        // whether anything was removed.
        static bool removeChildNodesWithName(XmlNode& node, const std::string& name);
        // The library's copy: structure in pool, texts still in the source's
        // storage (valid only while that lives).
        static XmlNode* cloneNode(XmlPool& pool, const XmlNode& node);
        // A deep copy sharing nothing with the source; detached.
        static XmlNode* cloneNodeWithoutSharingResources(XmlPool& pool, const XmlNode& node);

    private:
        std::string elementName;
        Storage storage = storageDefault;
    };
}
