#include "core/xml/VXXmlCapable.h"

#include <cstring>

#include "core/VXLog.h"

namespace vx
{
    namespace
    {
        bool nameEquals(const XmlNode& node, const std::string& name)
        {
            return node.name_size() == name.size() && std::memcmp(node.name(), name.data(), name.size()) == 0;
        }

        bool attributeEquals(const XmlAttribute& attribute, const std::string& value)
        {
            return attribute.value_size() == value.size() &&
                   std::memcmp(attribute.value(), value.data(), value.size()) == 0;
        }

        bool hasAttributeValue(const XmlNode& node, const std::string& attributeName, const std::string& value)
        {
            for (const XmlAttribute* a = node.first_attribute(attributeName.c_str(), attributeName.size());
                 a != nullptr; a = a->next_attribute(attributeName.c_str(), attributeName.size()))
                if (attributeEquals(*a, value))
                    return true;
            return false;
        }

        // Depth first in document order: each child, then its subtree, then
        // the next sibling.
        template <typename Match>
        XmlNode* findDescendant(const XmlNode& node, const Match& match)
        {
            for (XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
            {
                if (match(*child))
                    return child;
                if (XmlNode* found = findDescendant(*child, match))
                    return found;
            }
            return nullptr;
        }

        // Copies size bytes and terminates them: the source need not be
        // terminated, and the copy owes nothing to the source's storage.
        const char* copyText(XmlPool& pool, const char* text, std::size_t size)
        {
            char* copy = pool.allocate_string(nullptr, size + 1);
            if (size > 0)
                std::memcpy(copy, text, size);
            copy[size] = 0;
            return copy;
        }
    }

    XmlCapable::XmlCapable(const std::string& elementName_, const std::string& name)
        : NamedObject(name), elementName(elementName_)
    {
        if (name.empty())
            setName(elementName, true);
    }

    XmlCapable::XmlCapable(const XmlCapable& other) : NamedObject(other), elementName(other.elementName)
    {
    }

    XmlCapable& XmlCapable::operator=(const XmlCapable& other)
    {
        clone(other);
        return *this;
    }

    XmlCapable::~XmlCapable() = default;

    void XmlCapable::clone(const XmlCapable& other)
    {
        if (this == &other)
            return;
        setNameSilently(other.getName());
        elementName = other.elementName;
    }

    bool XmlCapable::operator==(const std::string& otherName) const
    {
        return ! otherName.empty() && otherName == getName();
    }

    bool XmlCapable::needsToWriteState()
    {
        return storage != storageNever;
    }

    void XmlCapable::readState(const XmlNode* node, bool ignoreName)
    {
        if (node == nullptr)
            return;
        if (! ignoreName && ! nameEquals(*node, elementName))
            return;

        readStatePre();

        if (const XmlAttribute* altName = node->first_attribute("altName"))
            setAltNameSilently(readAttribute(altName, std::string()));

        int storageValue = 0;
        if (readAttribute(node->first_attribute("storage"), &storageValue))
            storage = static_cast<Storage>(storageValue);

        readStateDerived(*node);
        readStatePost();
    }

    XmlNode* XmlCapable::createElement(XmlPool& pool)
    {
        XmlNode* element = createNode(pool, elementName);
        if (storage != storageDefault)
            element->append_attribute(createAttribute(pool, "storage", static_cast<int>(storage)));
        element->append_attribute(createAttribute(pool, "name", getName()));
        if (! getAltName().empty())
            element->append_attribute(createAttribute(pool, "altName", getAltName()));
        return element;
    }

    XmlNode* XmlCapable::writeState(XmlPool& pool, bool force)
    {
        if (storage == storageNever)
            return nullptr;
        if (storage == storageDefault && ! force && ! needsToWriteState())
            return nullptr;
        return writeStateDerived(pool, force);
    }

    void XmlCapable::appendAndWrite(XmlNode* parent, XmlPool& pool, bool force)
    {
        if (parent == nullptr)
            return;
        if (XmlNode* element = writeState(pool, force))
            parent->append_node(element);
    }

    void XmlCapable::readState(XmlPool& pool, XmlCapable& source, bool ignoreName)
    {
        if (source.storage == storageNever)
            return;
        if (XmlNode* element = source.writeStateDerived(pool, true))
            readState(element, ignoreName);
    }

    bool XmlCapable::findAndRead(const XmlNode* parent, XmlCapable& object)
    {
        if (parent == nullptr)
            return false;

        const std::string& element = object.elementName;
        for (const XmlNode* child = parent->first_node(element.c_str(), element.size()); child != nullptr;
             child = child->next_sibling(element.c_str(), element.size()))
        {
            const XmlAttribute* name = child->first_attribute("name");
            const bool matches = name != nullptr ? attributeEquals(*name, object.getName()) : object.getName().empty();
            if (matches)
            {
                object.readState(child, false);
                return true;
            }
        }
        return false;
    }

    bool XmlCapable::findAndRead(const XmlNode* parent)
    {
        return findAndRead(parent, *this);
    }

    XmlCapable::Storage XmlCapable::getXmlNodeStorage(const XmlNode& node)
    {
        int value = storageDefault;
        const XmlAttribute* attribute = node.first_attribute("storage");
        if (attribute == nullptr)
            return storageDefault;

        readAttribute(attribute, &value);
        if (static_cast<unsigned int>(value) > static_cast<unsigned int>(storageAlways))
        {
            debugPrint("Unknown storage value encountered: %i", value);
            return storageDefault;
        }
        return static_cast<Storage>(value);
    }

    XmlNode* XmlCapable::createNode(XmlPool& pool, const std::string& name)
    {
        return pool.allocate_node(rapidxml::node_element, createValue(pool, name), nullptr, name.size());
    }

    XmlNode* XmlCapable::findChildNode(const XmlNode& node, const std::string& name)
    {
        return findDescendant(node, [&](const XmlNode& n)
                              { return n.type() == rapidxml::node_element && nameEquals(n, name); });
    }

    XmlNode* XmlCapable::findChildNodeWithAttributeValue(const XmlNode& node, const std::string& attributeName,
                                                         const std::string& value)
    {
        return findDescendant(node, [&](const XmlNode& n) { return hasAttributeValue(n, attributeName, value); });
    }

    bool XmlCapable::removeChildNodesWithName(XmlNode& node, const std::string& name)
    {
        bool removed = false;
        XmlNode* child = node.first_node();
        while (child != nullptr)
        {
            XmlNode* next = child->next_sibling();
            if (child->type() == rapidxml::node_element && nameEquals(*child, name))
            {
                node.remove_node(child);
                removed = true;
            }
            else if (removeChildNodesWithName(*child, name))
            {
                removed = true;
            }
            child = next;
        }
        return removed;
    }

    XmlNode* XmlCapable::cloneNode(XmlPool& pool, const XmlNode& node)
    {
        return pool.clone_node(&node);
    }

    XmlNode* XmlCapable::cloneNodeWithoutSharingResources(XmlPool& pool, const XmlNode& node)
    {
        const char* name = copyText(pool, node.name(), node.name_size());
        const char* value = copyText(pool, node.value(), node.value_size());
        XmlNode* copy = pool.allocate_node(node.type(), name, value, node.name_size(), node.value_size());

        for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
            copy->append_node(cloneNodeWithoutSharingResources(pool, *child));

        for (const XmlAttribute* a = node.first_attribute(); a != nullptr; a = a->next_attribute())
        {
            const char* attributeName = copyText(pool, a->name(), a->name_size());
            const char* attributeValue = copyText(pool, a->value(), a->value_size());
            copy->append_attribute(
                pool.allocate_attribute(attributeName, attributeValue, a->name_size(), a->value_size()));
        }
        return copy;
    }
}
