#pragma once

#include <string>
#include <string_view>

// The text of X properties (window titles, class names) as UTF-8, whatever
// type the client gave it.
namespace vx::cg
{
    enum class X11TextType
    {
        utf8String,  // UTF8_STRING
        string,      // STRING: ISO 8859-1
        compoundText // COMPOUND_TEXT: ISO 2022 with the X extensions
    };

    // The bytes as UTF-8. Bytes that do not decode become U+FFFD; controls
    // other than tab and newline are dropped from compound text.
    std::string x11TextToUtf8(X11TextType type, std::string_view bytes);
}
