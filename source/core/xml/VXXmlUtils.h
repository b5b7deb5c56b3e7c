#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "core/xml/VXXmlAttributes.h"

namespace vx
{
    class File;
    class XmlCapable;

    // Documents and files around the trees of XmlCapable: the declaration,
    // the "versionInfo" stamp of the current application, printing, writing
    // and loading. Every call builds and uses its own document; no locks.
    // Failures answer false, null or the empty string: a missing file or an
    // empty text silently, an unopenable or malformed file with one log line.
    class XmlUtils
    {
    public:
        // The value-type word of the "T" attribute for the static type T.
        template <typename T>
        static std::string getTypeIDName(const T&)
        {
            if constexpr (std::is_same_v<T, char>)
                return "INT8";
            else if constexpr (std::is_same_v<T, short>)
                return "INT16";
            else if constexpr (std::is_same_v<T, int>)
                return "INT32";
            else if constexpr (std::is_same_v<T, long long>)
                return "INT64";
            else if constexpr (std::is_same_v<T, unsigned char>)
                return "UINT8";
            else if constexpr (std::is_same_v<T, unsigned short>)
                return "UINT16";
            else if constexpr (std::is_same_v<T, unsigned int>)
                return "UINT32";
            else if constexpr (std::is_same_v<T, unsigned long long>)
                return "UINT64";
            else if constexpr (std::is_same_v<T, float>)
                return "FLOAT";
            else if constexpr (std::is_same_v<T, double>)
                return "DOUBLE";
            else if constexpr (std::is_same_v<T, bool>)
                return "BOOL";
            else if constexpr (std::is_same_v<T, std::string>)
                return "STRING";
            else if constexpr (std::is_same_v<T, File>)
                return "FILE";
            else
                return "UNKNOWN_TYPEID";
        }

        // Inserts "versionInfo" (name, majorVersion, minorVersion,
        // microVersion, revision) as the root's first child when the document
        // has a root and a current application is registered.
        static void appendVersion(XmlDocument& document);
        // Unlinks "versionInfo" from the document's first node, wherever it
        // sits among that node's children.
        static void removeVersion(XmlDocument& document);
        // The current application's verdict on the document's stamp (then
        // removed); false when the document carries no stamp or no
        // application is registered.
        static bool compareVersion(XmlDocument& document, bool flag1, bool flag2, bool flag3, bool flag4);

        // Prints root inside a document with declaration and stamp and writes
        // it; no folder is created. root is linked into the temporary document
        // only for the call and comes back without the stamp.
        static bool writeXmlToFile(const File& file, XmlNode* root);
        // As writeXmlToFile, but the file is replaced whole or not at all:
        // written beside it (under a name that does not depend on the
        // file's), synced, then renamed over it. False, logged, with the
        // file there as it was, when any write, the sync, the close or the
        // rename fails (a full disk, the size limit, a name too long). Makes
        // the file's folder (one level) when missing. A file that already
        // holds exactly the bytes is left as it is: nothing is written or
        // synced, and the answer is true.
        static bool replaceXmlFile(const File& file, XmlNode* root);
        // The bytes writeXmlToFile and replaceXmlFile write for root; false
        // when printing failed.
        static bool printXmlFile(XmlNode* root, std::string& text);
        // Whether file is a regular file holding exactly text; false when it
        // is missing or cannot be read.
        static bool fileHolds(const File& file, const std::string& text);
        // replaceXmlFile for bytes printXmlFile made.
        static bool replaceFileText(const File& file, const std::string& text);
        // Prints document unchanged and writes it.
        static bool writeXmlToFile(const File& file, const XmlDocument& document);
        // The declaration, object's element (when it writes one) and stamp.
        static std::string writeXmlToString(XmlCapable& object, bool force);
        // writeXmlToString into the file, creating its folder (one level).
        static bool writeXmlToFile(const File& file, XmlCapable& object, bool force);

        // Parsed document owning its texts, or null.
        static std::unique_ptr<XmlDocument> loadXmlFromString(const std::string& text, bool removeVersion);
        static std::unique_ptr<XmlDocument> loadXmlFromFile(const File& file, bool removeVersion);
        // As loadXmlFromFile, for the file's bytes read already.
        static std::unique_ptr<XmlDocument> loadXmlFromFileText(const File& file, const std::string& text,
                                                                bool removeVersion);
        // Loads without the stamp and hands the root (possibly null) to
        // function; false without calling when nothing loaded.
        static bool loadXmlFromFile(const File& file, void (*function)(const XmlNode*));
        // Loads without the stamp and lets object read the root.
        static bool loadXmlFromFile(const File& file, XmlCapable& object);

        static std::string nodeToString(const XmlNode& node);
        static std::string documentToString(const XmlDocument& document);
        // True when both print to the same bytes.
        static bool compareNodes(const XmlNode& a, const XmlNode& b);

        // A new element named like older holding copies of every child of
        // newer, then copies of the children of older that newer does not
        // replace (same element name and non-empty "name"). Built in pool,
        // sharing nothing with either source. A null argument answers newer.
        static XmlNode* merge(XmlPool& pool, const XmlNode* older, XmlNode* newer);
    };

    std::string documentToString(const XmlDocument& document);
}
