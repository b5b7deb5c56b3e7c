#include "core/xml/VXXmlAttributes.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace vx
{
    namespace
    {
        // Longest token converted; longer tokens are converted from their
        // first tokenLimit characters and skipped whole.
        constexpr std::size_t tokenLimit = 511;

        // Number text is read in the classic locale whatever the host set.
        locale_t classicLocale()
        {
            static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
            return locale;
        }

        float tokenToFloat(const char* token)
        {
            return strtof_l(token, nullptr, classicLocale());
        }

        // atoi's reading, clamped to int instead of overflowing.
        int tokenToInt(const char* token)
        {
            const long long value = std::strtoll(token, nullptr, 10);
            return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
        }

        bool isDivider(char c, char separator)
        {
            return c == separator || c == ' ';
        }

        template <typename T, typename Convert>
        int parseArray(std::vector<T>& out, const char* text, char separator, Convert convert)
        {
            if (text != nullptr)
            {
                const char* p = text;
                while (*p != 0)
                {
                    while (*p != 0 && isDivider(*p, separator))
                        ++p;

                    const char* tokenStart = p;
                    while (*p != 0 && ! isDivider(*p, separator))
                        ++p;

                    char token[tokenLimit + 1];
                    const std::size_t length = std::min(static_cast<std::size_t>(p - tokenStart), tokenLimit);
                    std::memcpy(token, tokenStart, length);
                    token[length] = 0;
                    out.push_back(convert(token));

                    while (*p != 0 && isDivider(*p, separator))
                        ++p;
                }
            }
            return static_cast<int>(out.size());
        }
    }

    char* createValue(XmlPool& pool, const std::string& text)
    {
        return pool.allocate_string(text.c_str(), text.size() + 1);
    }

    void forEachChildOfType(const XmlNode& node, const std::string& typeName,
                            const std::function<void(const XmlNode&)>& function)
    {
        for (const XmlNode* child = node.first_node(typeName.c_str(), typeName.size()); child != nullptr;
             child = child->next_sibling(typeName.c_str(), typeName.size()))
            function(*child);
    }

    namespace detail
    {
        XmlAttribute* makeAttribute(XmlPool& pool, const char* name, const std::string& text)
        {
            const char* pooledName = pool.allocate_string(name);
            const char* pooledValue = pool.allocate_string(text.c_str(), text.size() + 1);
            return pool.allocate_attribute(pooledName, pooledValue, std::strlen(pooledName), text.size());
        }
    }

    XmlAttribute* createAttribute(XmlPool& pool, const char* name, unsigned char value)
    {
        return detail::makeAttribute(pool, name, std::to_string(static_cast<int>(value)));
    }

    XmlAttribute* createAttribute(XmlPool& pool, const char* name, char value)
    {
        return detail::makeAttribute(pool, name, std::to_string(static_cast<int>(static_cast<signed char>(value))));
    }

    XmlAttribute* createAttribute(XmlPool& pool, const std::string& name, unsigned char value)
    {
        return createAttribute(pool, name.c_str(), value);
    }

    XmlAttribute* createAttribute(XmlPool& pool, const std::string& name, char value)
    {
        return createAttribute(pool, name.c_str(), value);
    }

    std::string readAttribute(const XmlAttribute* attribute, const std::string& defaultValue)
    {
        if (attribute == nullptr)
            return defaultValue;
        return std::string(attribute->value(), attribute->value_size());
    }

    int parseFloatArray(std::vector<float>& out, const char* text, char separator)
    {
        return parseArray(out, text, separator, tokenToFloat);
    }

    int parseIntArray(std::vector<int>& out, const char* text, char separator)
    {
        return parseArray(out, text, separator, tokenToInt);
    }
}
