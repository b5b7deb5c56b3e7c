#include "core/xml/VXXmlUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <rapidxml/rapidxml_print.hpp>

#include "core/VXFile.h"
#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/xml/VXApplicationInterface.h"
#include "core/xml/VXXmlCapable.h"

namespace vx
{
    namespace
    {
        const char* const versionElementName = "versionInfo";

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

        // The parser and every tree walk recurse once per level, so a
        // document whose element tree is deeper than this is refused instead
        // of exhausting the stack. Engine documents nest a few dozen levels.
        constexpr int maxNestingDepth = 512;

        bool isSpace(char c)
        {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r';
        }

        // Characters the parser takes into element names and attribute names.
        bool isNameChar(char c)
        {
            return c != 0 && ! isSpace(c) && c != '/' && c != '>' && c != '?';
        }

        bool isAttributeNameChar(char c)
        {
            return isNameChar(c) && c != '!' && c != '<' && c != '=';
        }

        void skipSpace(const char*& p)
        {
            while (isSpace(*p))
                ++p;
        }

        // Moves past the first terminator at or after p; false at the end of
        // the text.
        bool skipPast(const char*& p, const char* terminator)
        {
            const char* found = std::strstr(p, terminator);
            if (found == nullptr)
                return false;
            p = found + std::strlen(terminator);
            return true;
        }

        enum class Markup
        {
            other,
            emptyElement,
            openElement
        };

        // What the parser does after a "<" that opens no closing tag, with p
        // just past the "<". Answers false where the parser stops with an
        // error; kind tells whether an element was made and whether the
        // parser recurses into its contents.
        bool scanMarkup(const char*& p, Markup& kind)
        {
            kind = Markup::other;
            if (p[0] == '?')
            {
                // Declaration and processing instruction alike run to "?>",
                // whatever '>' they hold.
                ++p;
                return skipPast(p, "?>");
            }
            if (p[0] == '!')
            {
                if (std::strncmp(p + 1, "--", 2) == 0)
                {
                    p += 3;
                    return skipPast(p, "-->");
                }
                if (std::strncmp(p + 1, "[CDATA[", 7) == 0)
                {
                    p += 8;
                    return skipPast(p, "]]>");
                }
                if (std::strncmp(p + 1, "DOCTYPE", 7) == 0 && isSpace(p[8]))
                {
                    // Bracketed internal subsets nest, and their '>' do not end
                    // the declaration.
                    p += 9;
                    while (*p != '>')
                    {
                        if (*p == 0)
                            return false;
                        if (*p++ != '[')
                            continue;
                        for (int brackets = 1; brackets > 0; ++p)
                        {
                            if (*p == 0)
                                return false;
                            if (*p == '[')
                                ++brackets;
                            else if (*p == ']')
                                --brackets;
                        }
                    }
                    ++p;
                    return true;
                }
                // Any other "<!" runs to its first '>'.
                ++p;
                return skipPast(p, ">");
            }

            const char* name = p;
            while (isNameChar(*p))
                ++p;
            if (p == name)
                return false;
            skipSpace(p);
            // Quotes count only around attribute values: names may hold them.
            while (isAttributeNameChar(*p))
            {
                while (isAttributeNameChar(*p))
                    ++p;
                skipSpace(p);
                if (*p++ != '=')
                    return false;
                skipSpace(p);
                const char quote = *p++;
                if (quote != '"' && quote != '\'')
                    return false;
                while (*p != quote)
                    if (*p++ == 0)
                        return false;
                ++p;
                skipSpace(p);
            }
            if (*p == '>')
            {
                ++p;
                kind = Markup::openElement;
                return true;
            }
            if (p[0] == '/' && p[1] == '>')
            {
                p += 2;
                kind = Markup::emptyElement;
                return true;
            }
            return false;
        }

        // Walks a zero-terminated text as the parser (default flags) will,
        // without building anything, and answers the depth of the element
        // tree the parse would build, stopping once it passes limit; -1
        // where the parser would stop with an error. A parse that fails
        // later (an entity, say) only fails sooner, never deeper. Must move
        // exactly as the parser does: a '>' or '</' counted where the parser
        // sees none lets nesting through unseen.
        int nestingDepth(const char* text, int limit)
        {
            const char* p = text;
            if (std::strncmp(p, "\xEF\xBB\xBF", 3) == 0)
                p += 3;
            int depth = 0;
            int deepest = 0;
            while (true)
            {
                skipSpace(p);
                if (*p == 0)
                    return depth == 0 ? deepest : -1;
                if (*p != '<')
                {
                    // Character data, only inside an element; entities
                    // never swallow a '<'.
                    if (depth == 0)
                        return -1;
                    while (*p != 0 && *p != '<')
                        ++p;
                    continue;
                }
                ++p;
                if (*p == '/' && depth > 0)
                {
                    // Closing names are not compared with the open element.
                    ++p;
                    while (isNameChar(*p))
                        ++p;
                    skipSpace(p);
                    if (*p++ != '>')
                        return -1;
                    --depth;
                    continue;
                }
                Markup kind = Markup::other;
                if (! scanMarkup(p, kind))
                    return -1;
                if (kind == Markup::other)
                    continue;
                deepest = std::max(deepest, depth + 1);
                if (deepest > limit)
                    return deepest;
                if (kind == Markup::openElement)
                    ++depth;
            }
        }

        // Parses text (zero-terminated, inside document's pool) in place.
        // Throws rapidxml::parse_error on malformed input.
        void parseInPlace(XmlDocument& document, char* text, bool removeVersion)
        {
            const int depth = nestingDepth(text, maxNestingDepth);
            if (depth < 0)
                throw rapidxml::parse_error("malformed document", text);
            if (depth > maxNestingDepth)
                throw rapidxml::parse_error("elements nested too deeply", text);
            document.parse<0>(text);
            if (removeVersion)
                XmlUtils::removeVersion(document);
        }

        // Writes all of text to fd; false (errno kept) at the first write
        // that fails, such as one past a full disk or the file size limit.
        bool writeAll(int fd, const std::string& text)
        {
            const char* next = text.data();
            std::size_t left = text.size();
            while (left > 0)
            {
                const ssize_t written = ::write(fd, next, left);
                if (written < 0 && errno == EINTR)
                    continue;
                if (written < 0)
                    return false;
                if (written == 0)
                {
                    errno = ENOSPC;
                    return false;
                }
                next += written;
                left -= std::size_t(written);
            }
            return true;
        }

        // Closes fd, answering whether everything before it reached the file:
        // a close can report a write the file system deferred.
        bool closeWritten(int fd, bool written)
        {
            const int error = errno;
            const bool closed = ::close(fd) == 0;
            if (written && ! closed)
                return false;
            errno = error;
            return written;
        }

        void logWriteFailure(const std::string& path)
        {
            logPrint(logError, "%s: Failed to write all of '%s': %s.", "writeXmlToFile", path.c_str(),
                     std::strerror(errno));
        }

        // An unopenable file answers false without a message.
        bool writeText(const File& file, const std::string& text)
        {
            const std::string& path = file.getFullPath();
            if (path.empty())
                return false;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0)
                return false;
            if (! closeWritten(fd, writeAll(fd, text)))
            {
                logWriteFailure(path);
                return false;
            }
            return true;
        }

        // The folder part of path, with its "/"; empty for a bare name.
        std::string folderOf(const std::string& path)
        {
            const std::size_t slash = path.find_last_of('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }

        void makeFolderOf(const std::string& path)
        {
            const std::string folder = folderOf(path);
            if (folder.size() > 1 && ! File(folder).existsAsDirectory())
                File(folder).createDirectory();
        }

        // Prints root with declaration and stamp; false when printing threw.
        bool printRoot(XmlNode* root, std::string& text)
        {
            try
            {
                auto document = std::make_unique<XmlDocument>();
                appendDeclaration(*document);
                // The caller's root is printed through a copy in this
                // document's pool, so it is never linked to (or stamped from)
                // storage that dies with the document.
                if (root != nullptr)
                {
                    if (root->type() == rapidxml::node_document)
                        for (const XmlNode* child = root->first_node(); child != nullptr;
                             child = child->next_sibling())
                            document->append_node(document->clone_node(child));
                    else
                        document->append_node(document->clone_node(root));
                }
                XmlUtils::appendVersion(*document);
                text = print(*document);
                return true;
            }
            catch (const std::exception&)
            {
                debugPrint("%s: Exception thrown parsing xml document.\n", "writeXmlToFile");
                return false;
            }
        }

        // A fresh file beside path whose name does not depend on path's (a
        // name near the length limit still gets one), and which neither
        // preset loader reads: its extension is "saving-...". -1 when none
        // can be made.
        int createBeside(const std::string& path, std::string& tempPath)
        {
            static std::atomic<unsigned> counter{0};
            for (int attempt = 0; attempt < 100; ++attempt)
            {
                tempPath = folderOf(path) + ".saving-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1));
                const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (fd >= 0 || errno != EEXIST)
                    return fd;
            }
            return -1;
        }

        // The rename itself reaches the disk: the folder is synced too (best
        // effort, a folder that cannot be opened does not fail the write).
        void syncFolderOf(const std::string& path)
        {
            const std::string folder = folderOf(path);
            const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0)
                return;
            ::fsync(fd);
            ::close(fd);
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
        return printRoot(root, text) && writeText(file, text);
    }

    bool XmlUtils::replaceXmlFile(const File& file, XmlNode* root)
    {
        std::string text;
        return printRoot(root, text) && replaceFileText(file, text);
    }

    bool XmlUtils::printXmlFile(XmlNode* root, std::string& text)
    {
        return printRoot(root, text);
    }

    bool XmlUtils::fileHolds(const File& file, const std::string& text)
    {
        const std::string& path = file.getFullPath();
        if (path.empty())
            return false;
        // Not blocking: a pipe or device under that name is no match, and
        // must not hold the save up.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat status;
        bool same = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && std::size_t(status.st_size) == text.size();
        if (same)
        {
            // One byte more than expected is asked for, so a file that grew
            // since the stat is not taken for the same.
            std::vector<char> bytes(text.size() + 1);
            std::size_t got = 0;
            while (got < bytes.size())
            {
                const ssize_t count = ::read(fd, bytes.data() + got, bytes.size() - got);
                if (count < 0 && errno == EINTR)
                    continue;
                if (count <= 0)
                    break;
                got += std::size_t(count);
            }
            same = got == text.size() && std::memcmp(bytes.data(), text.data(), got) == 0;
        }
        ::close(fd);
        return same;
    }

    bool XmlUtils::replaceFileText(const File& file, const std::string& text)
    {
        const std::string& path = file.getFullPath();
        if (path.empty() || path.back() == '/')
            return false;
        // Read before writing: a sync and a rename cost far more than a read,
        // and a save mostly finds its files as it left them.
        if (fileHolds(file, text))
            return true;
        makeFolderOf(path);

        std::string tempPath;
        const int fd = createBeside(path, tempPath);
        if (fd < 0)
        {
            logPrint(logError, "%s: Could not create a file beside '%s': %s.", "replaceXmlFile", path.c_str(),
                     std::strerror(errno));
            return false;
        }
        // Synced before the rename: a crash after it must not leave a
        // renamed file whose bytes never reached the disk.
        const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
        if (! closeWritten(fd, written) || std::rename(tempPath.c_str(), path.c_str()) != 0)
        {
            logPrint(logError, "%s: Failed to write '%s': %s; the file there is left as it was.", "replaceXmlFile",
                     path.c_str(), std::strerror(errno));
            ::unlink(tempPath.c_str());
            return false;
        }
        syncFolderOf(path);
        return true;
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
        makeFolderOf(file.getFullPath());
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
        std::string text(static_cast<std::size_t>(size), '\0');
        text.resize(static_cast<std::size_t>(stream->readBytes(text.data(), size)));
        return loadXmlFromFileText(file, text, removeVersion);
    }

    std::unique_ptr<XmlDocument> XmlUtils::loadXmlFromFileText(const File& file, const std::string& text,
                                                               bool removeVersion)
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
