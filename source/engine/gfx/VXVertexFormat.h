#pragma once

#include <string>
#include <vector>

namespace vx
{

    /** Names of the vertex element kinds, indexed by kind: "POS2", "POS3",
        "POS4", "UV", "UVW", "COLOR", "COLOR4", "NORMAL", "FLOAT", "FLOAT2",
        "FLOAT3", "FLOAT4", "BYTE", "BYTE2", "BYTE3", "BYTE4". */
    extern const char* const elementNames[16];

    /** An interleaved vertex layout, parsed from element names such as "POS3 UV".
        Elements are packed one after another without padding. A plain value. */
    class VertexFormat
    {
    public:
        enum ElementKind
        {
            POS2 = 0,
            POS3,
            POS4,
            UV,
            UVW,
            COLOR,
            COLOR4,
            NORMAL,
            FLOAT,
            FLOAT2,
            FLOAT3,
            FLOAT4,
            BYTE,
            BYTE2,
            BYTE3,
            BYTE4,
            numElementKinds
        };

        struct Element
        {
            unsigned int kind = 0;
            unsigned int offset = 0;
            unsigned int size = 0;
            unsigned int glType = 0;
            unsigned int numComponents = 0;
        };

        /** Per kind: bytes, GL component type, component count. */
        static const unsigned int elementSizes[numElementKinds];
        static const unsigned int glElementTypes[numElementKinds];
        static const unsigned int elementNumComponents[numElementKinds];

        VertexFormat() = default;
        /** An empty format followed by create(text). */
        explicit VertexFormat(const std::string& text);
        /** Rebuilds from the source's element kinds. */
        VertexFormat(const VertexFormat& other);
        VertexFormat& operator=(const VertexFormat& other);

        /** Clears, then adds one element per word (runs of letters and digits;
            anything else separates). The first unknown word (names are
            case-sensitive) stops with false, keeping the elements before it. */
        bool create(const std::string& text);
        /** Appends an element of e.kind at the current stride; only the kind is
            read. A kind outside the table is ignored. */
        void addElement(const Element& e);
        /** Empties the elements, counters and stride; the text stays. */
        void release();

        const std::vector<Element>& getElements() const { return elements; }
        unsigned int getNumElements() const { return unsigned(elements.size()); }
        /** How many elements of that kind the format holds (0 outside the table). */
        unsigned int getNumElementsOfKind(unsigned int kind) const;
        unsigned int getStride() const { return stride; }
        /** Each element's name followed by one blank. */
        const std::string& getText() const { return text; }

    private:
        std::vector<Element> elements;
        unsigned int kindCounts[numElementKinds] = {};
        unsigned int stride = 0;
        std::string text;
    };

} // namespace vx
