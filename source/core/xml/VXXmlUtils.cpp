#include "core/xml/VXXmlUtils.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <vector>

#include <rapidxml/rapidxml_print.hpp>

#include "core/VXFile.h"
#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXOutputStream.h"
#include "core/xml/VXApplicationInterface.h"
#include "core/xml/VXXmlCapable.h"

namespace vx
{
    namespace
    {
        const char* const versionElementName = "versionInfo";

        // The parser and every tree walk recurse once per level; a document
        // nested deeper than this is refused instead of exhausting the stack.
        // Engine documents nest a few dozen levels at most.
        constexpr int maxNestingDepth = 512;

        XmlNode* firstElement(const XmlNode& parent)
        {
            for (XmlNode* child = parent.first_node(); child != nullptr; child = child->next_sibling())
                if (child->type() == rapidxml::node_element)
                    return child;
            return nullptr;
        }

        void appendDeclaration(XmlDocument& document)
        {
            XmlNode* declaration = document.allocate_node(rapidxml::node_declaration);
            declaration->append_attribute(document.allocate_attribute("version", "1.0"));
            declaration->append_attribute(document.allocate_attribute("encoding", "utf-8"));
            document.append_node(declaration);
        }

        std::string print(const XmlNode& node)
        {
            std::string text;
            rapidxml::print(std::back_inserter(text), node);
            return text;
        }

        const char* skipPast(const char* p, const char* terminator)
        {
            const char* found = std::strstr(p, terminator);
            return found != nullptr ? found + std::strlen(terminator) : p + std::strlen(p);
        }

        // Counts the element nesting of a zero-terminated text the way the
        // parser will see it (quotes inside tags, comments and CDATA skipped).
        bool nestsTooDeep(const char* text)
        {
            int depth = 0;
            const char* p = text;
            while (*p != 0)
            {
                if (*p != '<')
                {
                    ++p;
                    continue;
                }
                if (std::strncmp(p, "<!--", 4) == 0)
                {
                    p = skipPast(p + 4, "-->");
                }
                else if (std::strncmp(p, "<![CDATA[", 9) == 0)
                {
                    p = skipPast(p + 9, "]]>");
                }
                else if (p[1] == '/')
                {
                    --depth;
                    p = skipPast(p + 2, ">");
                }
                else if (p[1] == '!' || p[1] == '?')
                {
                    p = skipPast(p + 2, ">");
                }
                else
                {
                    char quote = 0;
                    char previous = 0;
                    ++p;
                    while (*p != 0 && (quote != 0 || *p != '>'))
                    {
                        if (quote != 0 && *p == quote)
                            quote = 0;
                        else if (quote == 0 && (*p == '"' || *p == '\''))
                            quote = *p;
                        previous = *p++;
                    }
                    if (previous != '/' && ++depth > maxNestingDepth)
                        return true;
                    if (*p != 0)
                        ++p;
                }
            }
            return false;
        }

        // Parses text (zero-terminated, inside document's pool) in place.
        // Throws rapidxml::parse_error on malformed input.
        void parseInPlace(XmlDocument& document, char* text, bool removeVersion)
        {
            if (nestsTooDeep(text))
                throw rapidxml::parse_error("elements nested too deeply", text);
            document.parse<0>(text);
            if (removeVersion)
                XmlUtils::removeVersion(document);
        }

        bool writeText(const File& file, const std::string& text)
        {
            std::unique_ptr<OutputStream> stream(file.createOutputStream(false, true));
            if (stream == nullptr)
                return false;
            const unsigned long long written = stream->writeBytes(text.data(), text.size());
            if (written != text.size())
            {
                logPrint(logError, "%s: Failed to write all of '%s'.", "writeXmlToFile", file.getFullPath().c_str());
                return false;
            }
            return true;
        }
    }

    void XmlUtils::appendVersion(XmlDocument& document)
    {
        XmlNode* root = document.last_node();
        ApplicationInterface* application = ApplicationInterface::getCurrent();
        if (root == nullptr || root->type() != rapidxml::node_element || application == nullptr)
            return;

        XmlNode* version = XmlCapable::createNode(document, versionElementName);
        version->append_attribute(createAttribute(document, "name", application->getApplicationName()));
        version->append_attribute(createAttribute(document, "majorVersion", application->getMajorVersion()));
        version->append_attribute(createAttribute(document, "minorVersion", application->getMinorVersion()));
        version->append_attribute(createAttribute(document, "microVersion", application->getMicroVersion()));
        version->append_attribute(createAttribute(document, "revision", application->getRevision()));
        root->prepend_node(version);
    }

    void XmlUtils::removeVersion(XmlDocument& document)
    {
        XmlNode* root = firstElement(document);
        if (root == nullptr)
            return;
        if (XmlNode* version = root->first_node(versionElementName))
            root->remove_node(version);
    }

    bool XmlUtils::compareVersion(XmlDocument& document, bool flag1, bool flag2, bool flag3, bool)
    {
        XmlNode* root = firstElement(document);
        if (root == nullptr)
            return false;
        XmlNode* version = root->first_node(versionElementName);
        if (version == nullptr)
            return false;

        int numbers[4] = {0, 0, 0, 0};
        const char* names[4] = {"majorVersion", "minorVersion", "microVersion", "revision"};
        for (int i = 0; i < 4; ++i)
            if (! readAttribute(version->first_attribute(names[i]), &numbers[i]))
                numbers[i] = 0;

        ApplicationInterface* application = ApplicationInterface::getCurrent();
        removeVersion(document);
        if (application == nullptr)
        {
            logPrint(logWarning, "%s: No current application to compare the document's version %i.%i.%i.%i with.",
                     "compareVersion", numbers[0], numbers[1], numbers[2], numbers[3]);
            return false;
        }
        return application->isVersionCompatible(numbers[0], numbers[1], numbers[2], numbers[3], flag1, flag2, flag3);
    }

    bool XmlUtils::writeXmlToFile(const File& file, XmlNode* root)
    {
        std::string text;
        try
        {
            auto document = std::make_unique<XmlDocument>();
            appendDeclaration(*document);
            // The caller's root is printed through a copy in this document's
            // pool, so it is never linked to (or stamped from) storage that
            // dies with the document.
            if (root != nullptr)
            {
                if (root->type() == rapidxml::node_document)
                    for (const XmlNode* child = root->first_node(); child != nullptr; child = child->next_sibling())
                        document->append_node(document->clone_node(child));
                else
                    document->append_node(document->clone_node(root));
            }
            appendVersion(*document);
            text = print(*document);
        }
        catch (const std::exception&)
        {
            debugPrint("%s: Exception thrown parsing xml document.\n", "writeXmlToFile");
            return false;
        }
        return writeText(file, text);
    }

    bool XmlUtils::writeXmlToFile(const File& file, const XmlDocument& document)
    {
        std::string text;
        try
        {
            text = print(document);
        }
        catch (const std::exception&)
        {
            debugPrint("%s: Exception thrown parsing xml document.\n", "writeXmlToFile");
            return false;
        }
        return writeText(file, text);
    }

    std::string XmlUtils::writeXmlToString(XmlCapable& object, bool force)
    {
        try
        {
            auto document = std::make_unique<XmlDocument>();
            appendDeclaration(*document);
            if (XmlNode* element = object.writeState(*document, force))
                document->append_node(element);
            appendVersion(*document);
            return print(*document);
        }
        catch (const std::exception&)
        {
            debugPrint("%s: Exception thrown parsing xml document.\n", "writeXmlToString");
            return std::string();
        }
    }

    bool XmlUtils::writeXmlToFile(const File& file, XmlCapable& object, bool force)
    {
        const std::string text = writeXmlToString(object, force);
        if (text.empty())
            return false;

        // The folder is the path up to its last "/", whatever the file's name
        // looks like (a name without extension is still a file here).
        const std::string& path = file.getFullPath();
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0)
        {
            const File folder(path.substr(0, slash + 1));
            if (! folder.existsAsDirectory())
                folder.createDirectory();
        }
        return writeText(file, text);
    }

    std::unique_ptr<XmlDocument> XmlUtils::loadXmlFromString(const std::string& text, bool removeVersion)
    {
        if (text.empty())
            return nullptr;
        try
        {
            auto document = std::make_unique<XmlDocument>();
            char* buffer = document->allocate_string(nullptr, text.size() + 1);
            std::memcpy(buffer, text.data(), text.size());
            buffer[text.size()] = 0;
            parseInPlace(*document, buffer, removeVersion);
            return document;
        }
        catch (const std::exception&)
        {
            debugPrint("%s: Exception thrown parsing xml document.\n", "loadXmlFromString");
            return nullptr;
        }
    }

    std::unique_ptr<XmlDocument> XmlUtils::loadXmlFromFile(const File& file, bool removeVersion)
    {
        if (! file.exists())
            return nullptr;

        std::unique_ptr<InputStream> stream(file.createInputStream(false));
        if (stream == nullptr)
        {
            logPrint(logError, "%s: Failed to open file '%s'.", "loadXmlFromFile", file.getFullPath().c_str());
            return nullptr;
        }

        const unsigned long long size = stream->getTotalSize();
        if (size == 0)
            return nullptr;

        try
        {
            auto document = std::make_unique<XmlDocument>();
            char* buffer = document->allocate_string(nullptr, static_cast<std::size_t>(size) + 1);
            const unsigned long long read = stream->readBytes(buffer, size);
            if (read == 0)
                return nullptr;
            buffer[read] = 0;
            parseInPlace(*document, buffer, removeVersion);
            return document;
        }
        catch (const std::exception&)
        {
            logPrint(logError, "%s: Exception thrown parsing xml document '%s'.", "loadXmlFromFile",
                     file.getFullPath().c_str());
            return nullptr;
        }
    }

    bool XmlUtils::loadXmlFromFile(const File& file, void (*function)(const XmlNode*))
    {
        std::unique_ptr<XmlDocument> document = loadXmlFromFile(file, true);
        if (document == nullptr)
            return false;
        if (function != nullptr)
            function(document->first_node());
        return true;
    }

    bool XmlUtils::loadXmlFromFile(const File& file, XmlCapable& object)
    {
        std::unique_ptr<XmlDocument> document = loadXmlFromFile(file, true);
        if (document == nullptr)
            return false;
        object.readState(document->first_node(), false);
        return true;
    }

    std::string XmlUtils::nodeToString(const XmlNode& node)
    {
        return print(node);
    }

    std::string XmlUtils::documentToString(const XmlDocument& document)
    {
        return print(document);
    }

    bool XmlUtils::compareNodes(const XmlNode& a, const XmlNode& b)
    {
        return print(a) == print(b);
    }

    XmlNode* XmlUtils::merge(XmlPool& pool, const XmlNode* older, XmlNode* newer)
    {
        if (older == nullptr || newer == nullptr)
            return newer;

        XmlNode* result = XmlCapable::createNode(pool, std::string(older->name(), older->name_size()));
        std::vector<const XmlNode*> replaced;

        for (const XmlNode* child = newer->first_node(); child != nullptr; child = child->next_sibling())
        {
            const XmlAttribute* name = child->first_attribute("name");
            if (child->type() == rapidxml::node_element && name != nullptr && name->value_size() > 0)
            {
                for (const XmlNode* old = older->first_node(child->name(), child->name_size()); old != nullptr;
                     old = old->next_sibling(child->name(), child->name_size()))
                {
                    const XmlAttribute* oldName = old->first_attribute("name");
                    if (oldName != nullptr && oldName->value_size() == name->value_size() &&
                        std::memcmp(oldName->value(), name->value(), name->value_size()) == 0)
                    {
                        replaced.push_back(old);
                        break;
                    }
                }
            }
            result->append_node(XmlCapable::cloneNodeWithoutSharingResources(pool, *child));
        }

        for (const XmlNode* child = older->first_node(); child != nullptr; child = child->next_sibling())
            if (std::find(replaced.begin(), replaced.end(), child) == replaced.end())
                result->append_node(XmlCapable::cloneNodeWithoutSharingResources(pool, *child));

        return result;
    }

    std::string documentToString(const XmlDocument& document)
    {
        return XmlUtils::documentToString(document);
    }
}
