// Arbitrary bytes as a composition file: the loader keeps or refuses it, the
// reader turns every port into a parameter, parameter changes reach the ports
// and the composition evaluates its colour, never reading out of bounds or
// letting an exception escape.

#include <cstdint>
#include <string>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXContextOSX.h"
#include "engine/video/formats/VXQuartzComposerFormatReader.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("composition") + "/input.qtz";
        return file;
    }

    bool haveContext()
    {
        static vx::ContextOSX::NativePimpl* const context = vx::ContextOSX::NativePimpl::createOffscreen(nullptr);
        return context != nullptr && (context->isCurrent() || context->makeCurrent());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (! haveContext())
        return 0;
    vx::fuzz::writeInput(path(), data, size);
    vx::QuartzComposerFormatReader reader{vx::File(path())};
    if (! reader.isOpened())
        return 0;
    vx::ParamContainer& params = *reader.getParams();
    for (int i = 0; i < params.getNumParams(); ++i)
        if (auto range = std::dynamic_pointer_cast<vx::ParamRange>(params.getParam(i)))
            range->setValue(range->getValue() + 1.0, vx::ValueChangeInfo());
    reader.init(0, 0);
    for (double position : {0.0, 1000.0, 4900.0})
    {
        reader.readFrame(position);
        reader.getWrapper().render(position / 1000.0);
    }
    return 0;
}
