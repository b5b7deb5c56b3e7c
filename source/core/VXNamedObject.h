#pragma once

#include <string>

namespace vx
{
    // A display name, a free alternative name and a normalised path
    // ("/" + name, blanks removed, ASCII lower-cased) that identifies the
    // object in the parameter tree and in saved state. No lock: the owner
    // serialises access; notifications run on the changing thread.
    class NamedObject
    {
    public:
        explicit NamedObject(const std::string& name = std::string());
        // Copies name and path; the copy's alternative name is empty.
        NamedObject(const NamedObject& other);
        NamedObject& operator=(const NamedObject& other) = default;
        virtual ~NamedObject() = default;

        // Called after the path changed (or on a forced setPath).
        virtual void pathChanged() {}
        // Called after the name or the alternative name was set.
        virtual void nameChanged() {}

        const std::string& getName() const { return name; }
        const std::string& getAltName() const { return altName; }
        const std::string& getPath() const { return path; }

        // No-op for an unchanged name. With updatePath the path follows the
        // name (pathChanged before nameChanged).
        void setName(const std::string& newName, bool updatePath = true);
        // Normalises newPath (no "/" added); notifies when it changed, or
        // always when forceNotify is set.
        void setPath(std::string newPath, bool forceNotify = false);
        // Always notifies, even for an unchanged value.
        void setAltName(const std::string& newAltName);
        // Path becomes parentPath + "/" + childName (own name when empty).
        void setPathByParent(const std::string& parentPath, const std::string& childName = std::string());

        static std::string createValidPath(const std::string& text);
        static void createValidPathInPlace(std::string& text);

    protected:
        // Store a name or alternative name without nameChanged and without
        // touching the path (used while an object reads its saved state or
        // takes another's identity).
        void setNameSilently(const std::string& newName) { name = newName; }
        void setAltNameSilently(const std::string& newAltName) { altName = newAltName; }

    private:
        std::string name;
        std::string altName;
        std::string path;
    };

    // True when displayName, read with blanks skipped and lower-cased,
    // equals path exactly ("foobar" matches "Foo Bar").
    bool isEqualPath(const char* path, const std::string& displayName);
}
