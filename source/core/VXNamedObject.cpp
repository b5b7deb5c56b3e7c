#include "core/VXNamedObject.h"

#include <algorithm>

namespace vx
{
    namespace
    {
        char asciiLower(char c)
        {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }

        std::string pathForName(const std::string& name)
        {
            return name.empty() ? std::string() : "/" + name;
        }
    }

    NamedObject::NamedObject(const std::string& name) : name(name), path(createValidPath(pathForName(name)))
    {
    }

    NamedObject::NamedObject(const NamedObject& other) : name(other.name), path(other.path)
    {
    }

    void NamedObject::setName(const std::string& newName, bool updatePath)
    {
        if (newName == name)
            return;
        name = newName;
        if (updatePath)
            setPath(pathForName(name), false);
        nameChanged();
    }

    void NamedObject::setPath(std::string newPath, bool forceNotify)
    {
        createValidPathInPlace(newPath);
        if (newPath != path)
        {
            path = std::move(newPath);
            pathChanged();
        }
        else if (forceNotify)
        {
            pathChanged();
        }
    }

    void NamedObject::setAltName(const std::string& newAltName)
    {
        altName = newAltName;
        nameChanged();
    }

    void NamedObject::setPathByParent(const std::string& parentPath, const std::string& childName)
    {
        setPath(parentPath + "/" + (childName.empty() ? name : childName), false);
    }

    std::string NamedObject::createValidPath(const std::string& text)
    {
        std::string result = text;
        createValidPathInPlace(result);
        return result;
    }

    void NamedObject::createValidPathInPlace(std::string& text)
    {
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        std::transform(text.begin(), text.end(), text.begin(), asciiLower);
    }

    bool isEqualPath(const char* path, const std::string& displayName)
    {
        if (path == nullptr)
            return false;
        size_t n = 0;
        const size_t length = displayName.size();
        for (const char* p = path; *p != '\0'; ++p)
        {
            while (n < length && displayName[n] == ' ')
                ++n;
            if (n >= length || asciiLower(displayName[n]) != *p)
                return false;
            ++n;
        }
        for (; n < length; ++n)
        {
            if (displayName[n] != ' ')
                return false;
        }
        return true;
    }
}
