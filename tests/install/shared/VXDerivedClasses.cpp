// A program deriving the engine's classes of several bases with const and
// covariant virtual members, as extensions do: its vtables name the engine's
// thunks, so it links only when the engine exports them. It calls a function
// the headers declare in the global namespace, and keeps helpers of its own
// there beside the engine's headers. Exits 0 when the derived classes answer
// through their bases.

#include "core/parameters/VXParamChoice.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXDXTR.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXSourceExtension.h"

#include <cstdint>
#include <cstdio>

// Names a program may well use for itself.
static int imin(int a, int b)
{
    return a < b ? a : b;
}

static void linearize(std::uint8_t* dst, const std::uint8_t* src, int pixels)
{
    for (int i = 0; i < pixels; ++i)
        dst[i] = src[i];
}

namespace
{
    class CountedChoice : public vx::ParamChoice<int>
    {
    public:
        CountedChoice() : vx::ParamChoice<int>("Counted", 0) {}
        virtual int getCount() const;
    };

    int CountedChoice::getCount() const
    {
        return static_cast<int>(getNumChoices());
    }

    class PlainSourceExtension : public vx::VideoSourceExtension
    {
    public:
        PlainSourceExtension() : vx::VideoSourceExtension(vx::SourceInfo(), false) {}
        vx::VideoSource* createSource(vx::XmlState* preset) override;
        using vx::VideoSourceExtension::createSource;
        vx::XmlNode* saveSourceToXML(vx::XmlPool& pool, vx::XmlCapable* source) override;
    };

    vx::VideoSource* PlainSourceExtension::createSource(vx::XmlState*)
    {
        return nullptr;
    }

    vx::XmlNode* PlainSourceExtension::saveSourceToXML(vx::XmlPool&, vx::XmlCapable*)
    {
        return nullptr;
    }

    class OwnGeneratorExtension : public vx::GeneratorSourceExtension
    {
    public:
        explicit OwnGeneratorExtension(vx::RenderPassInfo& info) : vx::GeneratorSourceExtension(info) {}
        virtual bool isOwn() const;
    };

    bool OwnGeneratorExtension::isOwn() const
    {
        return true;
    }
}

// Made only when asked for (it needs a render-pass kind); its vtable is
// linked all the same.
vx::SourceExtension* makeOwnGenerator(vx::RenderPassInfo& info)
{
    return new OwnGeneratorExtension(info);
}

int main()
{
    CountedChoice choice;
    choice.addChoices({"one", "two", "three"});
    vx::GenericParamChoice& generic = choice;
    const bool counted = choice.getCount() == 3 && generic.getNumChoices() == 3;

    PlainSourceExtension extension;
    vx::SourceFactory& factory = extension;
    const bool plain = factory.createSource(std::string("none")) == nullptr;

    std::uint8_t bytes[4] = {1, 2, 3, 4};
    linearize(bytes, bytes, 4);
    // A function of the global namespace in an installed header.
    const bool bounded = DXTR_compressBound(64) > 0;
    if (! counted || ! plain || ! bounded || imin(bytes[0], 2) != 1)
    {
        std::fprintf(stderr, "the derived classes did not answer through their bases\n");
        return 1;
    }
    std::printf("derived classes answered\n");
    return 0;
}
