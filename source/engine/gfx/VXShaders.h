#pragma once

#include "engine/gfx/VXShaderProgram.h"

#include <array>
#include <memory>

namespace qmv
{
    /** The QMV codec's shader path: YCoCg (Y and CoCg planes), YCoCg with
        alpha (YA and CoCg planes) and the two alpha planes of UV maps (LA and
        A), each a vertex and a fragment text ("Texcoord" from the first
        texture coordinate). Compiled into the built-in slots QMVYCoCg,
        QMVYCoCgAlpha and QMVAlphaPlanes. */
    extern const char* const vsYCoCg6;
    extern const char* const fsYCoCg6;
    extern const char* const vsYACoCg10;
    extern const char* const fsYACoCg10;
    extern const char* const vsALA;
    extern const char* const fsALA;
}

namespace vx
{
    /** The vertex program of effect passes ("#version 120", the engine's vertex
        convention): uniforms "WorldViewProj", "World" and "TexScroll"; it passes
        uv1 = vUV1 x TexScroll.xy + TexScroll.zw on to the fragment program. */
    extern const char* const vsTransform;
    /** The format-conversion fragment program (built-in slot FormatConversion,
        and the format-conversion pass). */
    extern const char* const fsFormatConversion;
    /** Vertex texts no slot compiles, for programs drawn through the
        fixed-function built-ins. vsQuad2 keeps the position as given and passes
        the first two texture coordinates (gl_TexCoord[0] and [1]) and the
        colour ("color"); vsFormatConversion transforms by the
        modelview-projection matrix and passes "uv0" from the first texture
        coordinate and the colour as gl_FrontColor. */
    extern const char* const vsQuad2;
    extern const char* const vsFormatConversion;

    /** The twelve built-in programs every renderer owns. Slots 0-3, 5, 10 and 11
        use the engine's vertex convention (vPosition, vNormal, vUV1, vColor and
        the renderer's uniform names); the others read the fixed-function
        built-ins. Render thread only. */
    class Shaders
    {
    public:
        enum Slot
        {
            VertexColor = 0,      // attribute colour
            FlatColor = 1,        // uniform "Color"
            Textured = 2,         // "Texture" x "Albedo" + "Emission"
            LitColor = 3,         // "Color" lit from (1, 0.2, 0.5) with 0.2 ambient
            Swizzle = 4,          // "inTex" reordered by "order"
            FormatConversion = 5, // the format-conversion fragment program
            HapYCoCg = 6,         // scaled YCoCg from "cocgsy_src"
            QMVYCoCg = 7,         // "Y_TextureUnit" and "CoCg_TextureUnit"
            QMVYCoCgAlpha = 8,    // "YA_TextureUnit" and "CoCg_TextureUnit"
            QMVAlphaPlanes = 9,   // "LA_TextureUnit" and "A_TextureUnit"
            DistanceFieldText = 10,
            AlphaMaskText = 11,
            numSlots = 12
        };

        /** Twelve empty programs. */
        Shaders();
        /** Deletes the programs with their GL objects. */
        ~Shaders();

        Shaders(const Shaders&) = delete;
        Shaders& operator=(const Shaders&) = delete;

        /** Compiles the slots in order; the first failure stops and answers false,
            leaving the slots before it linked. */
        bool init();
        /** Frees the GL objects of slots 4 to 9; the others keep theirs until the
            set is destroyed. */
        void release();

        ShaderProgram& get(Slot slot) { return *programs[size_t(slot)]; }
        const ShaderProgram& get(Slot slot) const { return *programs[size_t(slot)]; }

        /** The text program chosen by setTextProgram (alpha mask at first). */
        ShaderProgram& getTextProgram() { return *textProgram; }
        /** Distance-field program when outlined, else alpha mask. */
        void setTextProgram(bool outlined);

    private:
        std::array<std::unique_ptr<ShaderProgram>, numSlots> programs;
        ShaderProgram* textProgram = nullptr;
    };

} // namespace vx
