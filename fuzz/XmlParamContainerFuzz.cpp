// Arbitrary bytes as a preset: an XML document read into a parameter
// container that holds one parameter of each kind and creates what the text
// asks for. Malformed text must answer null; whatever parses must read
// without touching memory out of bounds and write back out.
//
// The loader's nesting guard must agree with the parser: where the bare
// parser can be run safely (too few '<' to recurse deeply), the loader
// accepts a text exactly when the bare parser does and the tree it builds
// nests no deeper than the guard's limit.

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamScript.h"
#include "core/parameters/VXParamVector.h"
#include "core/xml/VXXmlUtils.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <rapidxml/rapidxml.hpp>

namespace
{
    // The loader's limit; deeper trees must never come out of it.
    constexpr int maxNesting = 512;
    // The bare parser recurses once per '<' at most; this many fit any stack
    // the fuzzer runs on, sanitizers included.
    constexpr std::size_t safeMarkupCount = 4096;

    int treeDepth(const rapidxml::xml_node<>* root)
    {
        int deepest = 0;
        std::vector<std::pair<const rapidxml::xml_node<>*, int>> pending{{root, 0}};
        while (! pending.empty())
        {
            auto [node, depth] = pending.back();
            pending.pop_back();
            for (auto* child = node->first_node(); child != nullptr; child = child->next_sibling())
                if (child->type() == rapidxml::node_element)
                {
                    deepest = std::max(deepest, depth + 1);
                    pending.emplace_back(child, depth + 1);
                }
        }
        return deepest;
    }

    void checkGuardAgreesWithParser(const std::string& text, bool loaded)
    {
        if (text.empty() || static_cast<std::size_t>(std::count(text.begin(), text.end(), '<')) > safeMarkupCount)
            return;
        std::vector<char> copy(text.begin(), text.end());
        copy.push_back(0);
        rapidxml::xml_document<> bare;
        bool bareLoads = false;
        try
        {
            bare.parse<0>(copy.data());
            bareLoads = treeDepth(&bare) <= maxNesting;
        }
        catch (const std::exception&)
        {
        }
        if (bareLoads != loaded)
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto document = vx::XmlUtils::loadXmlFromString(text, true);
    checkGuardAgreesWithParser(text, document != nullptr);
    if (document == nullptr)
        return 0;

    vx::ParamContainer container("Params", false);
    container.addParamDouble("Size", 0.5);
    container.addParamBool("Show Image", true);
    container.addParamString("Label", "");
    container.addParamChoice("Mode", {"Fall", "Settle"});
    auto codes = std::make_shared<vx::ParamChoice<unsigned long long>>("Codes");
    container.addParam(codes);
    container.addParamRange("Speed", 0.25);
    container.addParamEvent("Reset");
    container.addParamStrings("Names");
    container.addParamColor("Tint", vx::Color(1.0f, 0.5f, 0.25f, 1.0f));
    container.addParamColorChannel("Hue", vx::ParamColor::ColorChannel_Hue, 0.5);
    container.addParam(std::make_shared<vx::ParamVector<float>>("Points"));
    container.addParam(std::make_shared<vx::ParamScript>("Shader", vx::ParamScript::scriptTypeFragmentShader, ""));

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
