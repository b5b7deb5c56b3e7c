// Arbitrary bytes as an XML document, read into a parameter container that
// holds one parameter of each kind and creates what the text asks for.
// Malformed text must answer null; whatever parses must read without
// touching memory out of bounds and write back out.

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/xml/VXXmlUtils.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto document = vx::XmlUtils::loadXmlFromString(text, true);
    if (document == nullptr)
        return 0;

    vx::ParamContainer container("Params", false);
    container.addParamDouble("Size", 0.5);
    container.addParamBool("Show Image", true);
    container.addParamString("Label", "");
    container.addParamChoice("Mode", {"Fall", "Settle"});
    auto codes = std::make_shared<vx::ParamChoice<unsigned long long>>("Codes");
    container.addParam(codes);

    container.readState(document->first_node(), false);
    container.readState(document->first_node(), true);

    for (int i = 0; i < container.getNumParams(); ++i)
        if (auto* choice = dynamic_cast<vx::GenericParamChoice*>(container.getParam(i).get()))
        {
            choice->incrementNormalized(0.37, vx::ValueChangeInfo());
            choice->decrementChoice(true, vx::ValueChangeInfo());
        }

    const std::string written = vx::XmlUtils::writeXmlToString(container, true);
    (void)written;
    return 0;
}
