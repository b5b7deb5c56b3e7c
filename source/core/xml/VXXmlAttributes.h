#pragma once

#include <functional>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <rapidxml/rapidxml.hpp>

// The tree types every persistable object works on, and the typed conversion
// of attribute values to and from text. Attribute text never depends on the
// process locale: the streams are imbued with the classic locale.

namespace vx
{
    using XmlNode = rapidxml::xml_node<char>;
    using XmlAttribute = rapidxml::xml_attribute<char>;
    using XmlPool = rapidxml::memory_pool<char>;
    using XmlDocument = rapidxml::xml_document<char>;

    // The text copied into the pool, terminating zero included (for element
    // values and names that must outlive the caller's string).
    char* createValue(XmlPool& pool, const std::string& text);

    // Calls function for each direct child element named typeName, in
    // document order.
    void forEachChildOfType(const XmlNode& node, const std::string& typeName,
                            const std::function<void(const XmlNode&)>& function);

    namespace detail
    {
        // The text of value as the attribute stores it: decimal integers,
        // floating point at precision 20 in the general notation, bools as
        // "0"/"1", strings unchanged.
        template <typename T>
        std::string attributeText(const T& value)
        {
            // Texts and whole numbers need no stream (the classic locale
            // groups no digits); everything else goes through one.
            if constexpr (std::is_convertible_v<const T&, std::string_view>)
                return std::string(std::string_view(value));
            else if constexpr (std::is_same_v<T, bool>)
                return value ? "1" : "0";
            else if constexpr (std::is_integral_v<T> && sizeof(T) > 1)
                return std::to_string(value);
            else
            {
                std::ostringstream stream;
                stream.imbue(std::locale::classic());
                stream.precision(20);
                stream << value;
                return stream.str();
            }
        }

        XmlAttribute* makeAttribute(XmlPool& pool, const char* name, const std::string& text);
    }

    // A new attribute (name, value) with both texts copied into the pool; not
    // linked anywhere.
    template <typename T>
    XmlAttribute* createAttribute(XmlPool& pool, const char* name, const T& value)
    {
        return detail::makeAttribute(pool, name, detail::attributeText(value));
    }

    template <typename T>
    XmlAttribute* createAttribute(XmlPool& pool, const std::string& name, const T& value)
    {
        return detail::makeAttribute(pool, name.c_str(), detail::attributeText(value));
    }

    // Single bytes are written as decimal numbers, never as characters.
    XmlAttribute* createAttribute(XmlPool& pool, const char* name, unsigned char value);
    XmlAttribute* createAttribute(XmlPool& pool, const char* name, char value);
    XmlAttribute* createAttribute(XmlPool& pool, const std::string& name, unsigned char value);
    XmlAttribute* createAttribute(XmlPool& pool, const std::string& name, char value);

    // Extracts one T from the attribute's text in decimal with the standard
    // formatted extraction (leading white space skipped, trailing text
    // ignored). Answers false for a null attribute (out untouched) or when the
    // extraction failed (out then holds what the extraction left: 0 for a
    // non-numeric text, the type's limit when out of range). error is accepted
    // for callers that pass one and is left untouched.
    template <typename T>
    bool readAttribute(const XmlAttribute* attribute, T* out, std::string* error = nullptr)
    {
        (void)error;
        if (attribute == nullptr || out == nullptr)
            return false;

        std::istringstream stream(std::string(attribute->value(), attribute->value_size()));
        stream.imbue(std::locale::classic());
        stream >> std::dec >> *out;
        return ! stream.fail();
    }

    // The attribute's text as the parser left it (entities decoded, white
    // space kept), or defaultValue for a null attribute.
    std::string readAttribute(const XmlAttribute* attribute, const std::string& defaultValue);

    // Append the separator- or blank-separated numbers of text to out (out is
    // not cleared) and answer out's size. An empty token converts to 0; a
    // token longer than 511 characters is converted from its first 511.
    // A null text appends nothing.
    int parseFloatArray(std::vector<float>& out, const char* text, char separator);
    int parseIntArray(std::vector<int>& out, const char* text, char separator);
}
