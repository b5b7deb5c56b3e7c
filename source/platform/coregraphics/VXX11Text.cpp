#include "platform/coregraphics/VXX11Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>

#include <iconv.h>

namespace vx::cg
{
    namespace
    {
        const char* const replacement = "\xEF\xBF\xBD"; // U+FFFD

        void appendCodePoint(std::string& out, uint32_t code)
        {
            if (code < 0x80)
                out += char(code);
            else if (code < 0x800)
            {
                out += char(0xC0 | (code >> 6));
                out += char(0x80 | (code & 0x3F));
            }
            else
            {
                out += char(0xE0 | (code >> 12));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            }
        }

        // Valid UTF-8 kept; each byte of an invalid sequence replaced.
        std::string validUtf8(std::string_view bytes)
        {
            static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            std::string out;
            size_t i = 0;
            while (i < bytes.size())
            {
                const auto lead = uint8_t(bytes[i]);
                const size_t length = lead < 0x80           ? 1
                                      : (lead >> 5) == 0x06 ? 2
                                      : (lead >> 4) == 0x0E ? 3
                                      : (lead >> 3) == 0x1E ? 4
                                                            : 0;
                uint32_t code = lead & (0x7Fu >> length);
                bool valid = length > 0 && i + length <= bytes.size();
                for (size_t k = 1; valid && k < length; ++k)
                {
                    const auto next = uint8_t(bytes[i + k]);
                    valid = (next & 0xC0) == 0x80;
                    code = code << 6 | (next & 0x3F);
                }
                // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
                valid = valid && (length == 1 || code >= least[length]) && code <= 0x10FFFF &&
                        (code < 0xD800 || code > 0xDFFF);
                if (valid)
                {
                    out.append(bytes.substr(i, length));
                    i += length;
                }
                else
                {
                    out += replacement;
                    ++i;
                }
            }
            return out;
        }

        // Bytes of the named encoding appended as UTF-8; a character that
        // does not convert (unit bytes) becomes U+FFFD.
        void convert(std::string& out, const std::string& encoding, std::string_view bytes, size_t unit)
        {
            if (bytes.empty())
                return;
            const iconv_t converter = iconv_open("UTF-8", encoding.c_str());
            if (converter == iconv_t(-1))
            {
                for (size_t i = 0; i < bytes.size(); i += unit)
                    out += replacement;
                return;
            }
            std::string in(bytes);
            char* from = in.data();
            size_t left = in.size();
            char buffer[256];
            while (left > 0)
            {
                char* to = buffer;
                size_t room = sizeof(buffer);
                const size_t done = iconv(converter, &from, &left, &to, &room);
                out.append(buffer, size_t(to - buffer));
                if (done == size_t(-1) && errno != E2BIG)
                {
                    out += replacement;
                    const size_t skipped = std::min(unit, left);
                    from += skipped;
                    left -= skipped;
                }
            }
            iconv_close(converter);
        }

        // A character set an escape sequence designates.
        struct Charset
        {
            enum Kind
            {
                ascii,
                latin1,   // the right half of ISO 8859-1
                jisRoman, // ASCII with a yen sign and an overline
                katakana, // JIS X 0201's right half
                converted,
                unknown
            };
            Kind kind = unknown;
            const char* encoding = nullptr; // converted: iconv's name of the set in its 8-bit form
            size_t width = 1;               // bytes per character
            char prefix = 0;                // converted: the single shift before each character
            bool ninetySix = false;         // codes 0x20 and 0x7F are characters too
        };

        Charset set94(char final)
        {
            switch (final)
            {
                case 'B':
                    return {Charset::ascii};
                case 'J':
                    return {Charset::jisRoman};
                case 'I':
                    return {Charset::katakana};
                default:
                    return {};
            }
        }

        Charset set96(char final)
        {
            struct Known
            {
                char final;
                const char* encoding;
            };
            static constexpr Known known[] = {{'B', "ISO-8859-2"},  {'C', "ISO-8859-3"},  {'D', "ISO-8859-4"},
                                              {'F', "ISO-8859-7"},  {'G', "ISO-8859-6"},  {'H', "ISO-8859-8"},
                                              {'L', "ISO-8859-5"},  {'M', "ISO-8859-9"},  {'V', "ISO-8859-10"},
                                              {'T', "TIS-620"},     {'Y', "ISO-8859-13"}, {'_', "ISO-8859-14"},
                                              {'b', "ISO-8859-15"}, {'f', "ISO-8859-16"}};
            if (final == 'A')
                return {Charset::latin1, nullptr, 1, 0, true};
            for (const Known& set : known)
                if (set.final == final)
                    return {Charset::converted, set.encoding, 1, 0, true};
            return {Charset::unknown, nullptr, 1, 0, true};
        }

        Charset set94x94(char final)
        {
            switch (final)
            {
                case 'A':
                    return {Charset::converted, "EUC-CN", 2};
                case '@':
                case 'B':
                    return {Charset::converted, "EUC-JP", 2};
                case 'C':
                    return {Charset::converted, "EUC-KR", 2};
                case 'D':
                    return {Charset::converted, "EUC-JP", 2, char(0x8F)};
                default:
                    return {Charset::unknown, nullptr, 2};
            }
        }

        // iconv's name of an extended segment's encoding ("iso8859-14", "big5-0").
        std::string segmentEncoding(std::string name)
        {
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::toupper(c)); });
            if (name.size() > 2 && name.compare(name.size() - 2, 2, "-0") == 0)
                name.resize(name.size() - 2);
            if (name.rfind("ISO8859-", 0) == 0)
                return "ISO-" + name.substr(3);
            return name;
        }

        class CompoundTextDecoder
        {
        public:
            explicit CompoundTextDecoder(std::string_view text) : text(text) {}

            std::string decode()
            {
                while (at < text.size())
                {
                    const auto byte = uint8_t(text[at]);
                    if (byte == 0x1B)
                        escape();
                    else if (byte == 0x9B)
                        skipDirection();
                    else if (byte == '\t' || byte == '\n' || byte == ' ')
                    {
                        flush();
                        out += char(byte);
                        ++at;
                    }
                    else if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0))
                        ++at; // other controls
                    else
                        character(byte < 0x80 ? left : right);
                }
                flush();
                return out;
            }

        private:
            // One character of the set from the half its first byte is in.
            void character(const Charset& set)
            {
                const bool high = uint8_t(text[at]) >= 0x80;
                if (at + set.width > text.size())
                {
                    flush();
                    out += replacement;
                    at = text.size();
                    return;
                }
                std::string codes;
                for (size_t k = 0; k < set.width; ++k)
                {
                    const auto byte = uint8_t(text[at + k]);
                    const auto code = uint8_t(byte & 0x7F);
                    if ((byte >= 0x80) != high || code < 0x20 || (! set.ninetySix && (code == 0x20 || code == 0x7F)))
                    {
                        flush();
                        out += replacement;
                        ++at;
                        return;
                    }
                    codes += char(code);
                }
                at += set.width;
                const auto code = uint8_t(codes[0]);
                switch (set.kind)
                {
                    case Charset::ascii:
                        flush();
                        out += char(code);
                        return;
                    case Charset::latin1:
                        flush();
                        appendCodePoint(out, code | 0x80u);
                        return;
                    case Charset::jisRoman:
                        flush();
                        appendCodePoint(out, code == 0x5C ? 0xA5u : code == 0x7E ? 0x203Eu : code);
                        return;
                    case Charset::katakana:
                        flush();
                        if (code <= 0x5F)
                            appendCodePoint(out, 0xFF61u + code - 0x21u);
                        else
                            out += replacement;
                        return;
                    case Charset::converted:
                    {
                        const size_t unit = set.width + (set.prefix != 0 ? 1 : 0);
                        if (pendingEncoding != set.encoding || pendingUnit != unit)
                            flush();
                        pendingEncoding = set.encoding;
                        pendingUnit = unit;
                        if (set.prefix != 0)
                            pending += set.prefix;
                        for (char c : codes)
                            pending += char(uint8_t(c) | 0x80);
                        return;
                    }
                    case Charset::unknown:
                        flush();
                        out += replacement;
                        return;
                }
            }

            void escape()
            {
                size_t end = at + 1;
                while (end < text.size() && uint8_t(text[end]) >= 0x20 && uint8_t(text[end]) <= 0x2F)
                    ++end;
                if (end >= text.size())
                {
                    at = text.size();
                    return;
                }
                const std::string_view intermediates = text.substr(at + 1, end - at - 1);
                const char final = text[end];
                at = end + 1;
                if (intermediates == "(")
                    left = set94(final);
                else if (intermediates == ")")
                    right = set94(final);
                else if (intermediates == "-")
                    right = set96(final);
                else if (intermediates == "$(" || intermediates == "$")
                    left = set94x94(final);
                else if (intermediates == "$)")
                    right = set94x94(final);
                else if (intermediates == "%/" && final >= '0' && final <= '4')
                    extendedSegment();
                else if (intermediates == "%" && final == 'G')
                    utf8Segment();
            }

            // ESC % / F M L, then the encoding's name, STX and its bytes:
            // (M - 128) * 128 + L - 128 bytes from the name on.
            void extendedSegment()
            {
                flush();
                if (at + 2 > text.size())
                {
                    at = text.size();
                    return;
                }
                const size_t length = size_t(uint8_t(text[at]) & 0x7F) << 7 | size_t(uint8_t(text[at + 1]) & 0x7F);
                const std::string_view segment = text.substr(at + 2, length);
                at = std::min(text.size(), at + 2 + length);
                const size_t stx = segment.find('\x02');
                if (stx == std::string_view::npos)
                {
                    out += replacement;
                    return;
                }
                convert(out, segmentEncoding(std::string(segment.substr(0, stx))), segment.substr(stx + 1), 1);
            }

            // ESC % G: UTF-8 up to ESC % @.
            void utf8Segment()
            {
                flush();
                const size_t end = text.find("\x1B%@", at);
                out += validUtf8(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
                at = end == std::string_view::npos ? text.size() : end + 3;
            }

            // The direction of the text (CSI 1 ], CSI 2 ], CSI ]) does not change it.
            void skipDirection()
            {
                ++at;
                while (at < text.size() && uint8_t(text[at]) >= 0x20 && uint8_t(text[at]) <= 0x3F)
                    ++at;
                if (at < text.size() && uint8_t(text[at]) >= 0x40 && uint8_t(text[at]) <= 0x7E)
                    ++at;
            }

            void flush()
            {
                convert(out, pendingEncoding, pending, pendingUnit);
                pending.clear();
            }

            std::string_view text;
            size_t at = 0;
            Charset left{Charset::ascii};
            Charset right{Charset::latin1};
            std::string out;
            // Characters of one converted set in a row, converted together.
            std::string pending;
            std::string pendingEncoding;
            size_t pendingUnit = 1;
        };
    }

    std::string x11TextToUtf8(X11TextType type, std::string_view bytes)
    {
        switch (type)
        {
            case X11TextType::string:
            {
                std::string out;
                for (char c : bytes)
                    appendCodePoint(out, uint8_t(c));
                return out;
            }
            case X11TextType::compoundText:
                return CompoundTextDecoder(bytes).decode();
            case X11TextType::utf8String:
                break;
        }
        return validUtf8(bytes);
    }
}
