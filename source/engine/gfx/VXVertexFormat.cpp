#include "engine/gfx/VXVertexFormat.h"

#include <epoxy/gl.h>

#include <cctype>
#include <cstring>

namespace vx
{

    const char* const elementNames[16] = {"POS2",  "POS3",   "POS4",   "UV",     "UVW",  "COLOR", "COLOR4", "NORMAL",
                                          "FLOAT", "FLOAT2", "FLOAT3", "FLOAT4", "BYTE", "BYTE2", "BYTE3",  "BYTE4"};

    const unsigned int VertexFormat::elementSizes[numElementKinds] = {8, 12, 16, 8,  12, 4, 16, 12,
                                                                      4, 8,  12, 16, 1,  2, 3,  4};

    // COLOR4 is four floats: the only pairing of its 16 bytes that a generic
    // attribute pointer accepts.
    const unsigned int VertexFormat::glElementTypes[numElementKinds] = {
        GL_FLOAT, GL_FLOAT, GL_FLOAT, GL_FLOAT, GL_FLOAT,         GL_UNSIGNED_BYTE, GL_FLOAT,         GL_FLOAT,
        GL_FLOAT, GL_FLOAT, GL_FLOAT, GL_FLOAT, GL_UNSIGNED_BYTE, GL_UNSIGNED_BYTE, GL_UNSIGNED_BYTE, GL_UNSIGNED_BYTE};

    const unsigned int VertexFormat::elementNumComponents[numElementKinds] = {2, 3, 4, 2, 3, 4, 4, 3,
                                                                              1, 2, 3, 4, 1, 2, 3, 4};

    VertexFormat::VertexFormat(const std::string& formatText)
    {
        create(formatText);
    }

    VertexFormat::VertexFormat(const VertexFormat& other)
    {
        for (const Element& e : other.elements)
            addElement(e);
    }

    VertexFormat& VertexFormat::operator=(const VertexFormat& other)
    {
        if (this != &other)
        {
            release();
            text.clear();
            for (const Element& e : other.elements)
                addElement(e);
        }
        return *this;
    }

    bool VertexFormat::create(const std::string& formatText)
    {
        release();
        text.clear();

        const auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };

        size_t p = 0;
        while (p < formatText.size())
        {
            while (p < formatText.size() && ! isWordChar(formatText[p]))
                ++p;
            if (p == formatText.size())
                break;

            const size_t start = p;
            while (p < formatText.size() && isWordChar(formatText[p]))
                ++p;
            const std::string word = formatText.substr(start, p - start);

            unsigned int kind = 0;
            while (kind < numElementKinds && word != elementNames[kind])
                ++kind;
            if (kind == numElementKinds)
                return false;

            Element e;
            e.kind = kind;
            addElement(e);
        }
        return true;
    }

    void VertexFormat::addElement(const Element& e)
    {
        if (e.kind >= numElementKinds)
            return;

        Element added;
        added.kind = e.kind;
        added.offset = stride;
        added.size = elementSizes[e.kind];
        added.glType = glElementTypes[e.kind];
        added.numComponents = elementNumComponents[e.kind];
        elements.push_back(added);

        stride += added.size;
        ++kindCounts[e.kind];
        text += elementNames[e.kind];
        text += ' ';
    }

    void VertexFormat::release()
    {
        elements.clear();
        std::memset(kindCounts, 0, sizeof(kindCounts));
        stride = 0;
    }

    unsigned int VertexFormat::getNumElementsOfKind(unsigned int kind) const
    {
        return kind < numElementKinds ? kindCounts[kind] : 0;
    }

} // namespace vx
