// The composition stand-in: the engine's XML test composition.
//
//   <composition>
//     <port key="amount" type="Number" name="Amount" min="0" max="1" value="0.5"/>
//     <port key="mode" type="Index" menu="A;B;C" value="1"/>
//     <render red="time*0.2" green="port:amount" blue="port:tint.b" alpha="1" throwAt="3"/>
//   </composition>
//
// Port types: Boolean, Index, Number, String, Color ("r g b a"), Image and
// anything else (kept, typed as written). Rendering clears the bound
// framebuffer to the colour of the render element's channels: a number,
// "time" (seconds) or "port:<key>" (a colour port's channel with .r .g .b .a),
// optionally times a factor ("*0.2"), held within 0 to 1. From throwAt
// seconds on, rendering throws.

#include "engine/video/formats/VXQCRenderer.h"

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <rapidxml/rapidxml.hpp>

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace vx::qc
{
    const char* const portTypeBoolean = "QCPortTypeBoolean";
    const char* const portTypeIndex = "QCPortTypeIndex";
    const char* const portTypeNumber = "QCPortTypeNumber";
    const char* const portTypeString = "QCPortTypeString";
    const char* const portTypeColor = "QCPortTypeColor";
    const char* const portTypeImage = "QCPortTypeImage";

    std::shared_ptr<CIImage> CIImage::initWithTexture(unsigned texture, int width, int height, bool flipped)
    {
        if (texture == 0)
            return nullptr;
        return std::make_shared<CIImage>(CIImage{texture, width, height, flipped});
    }

    void* currentContext()
    {
        EGLContext context = eglGetCurrentContext();
        return context == EGL_NO_CONTEXT ? nullptr : context;
    }

    namespace
    {
        std::optional<std::string> attribute(const rapidxml::xml_node<>* node, const char* name)
        {
            const rapidxml::xml_attribute<>* found = node->first_attribute(name);
            if (found == nullptr)
                return std::nullopt;
            return std::string(found->value(), found->value_size());
        }

        std::optional<double> number(const std::optional<std::string>& text)
        {
            if (! text)
                return std::nullopt;
            char* end = nullptr;
            const double value = std::strtod(text->c_str(), &end);
            if (end == text->c_str())
                return std::nullopt;
            return value;
        }

        class XMLComposition final : public QCRenderer
        {
        public:
            bool load(const std::string& path)
            {
                std::ifstream in(path, std::ios::binary);
                if (! in)
                    return false;
                std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                std::vector<char> buffer(text.begin(), text.end());
                buffer.push_back('\0');
                rapidxml::xml_document<> document;
                try
                {
                    document.parse<0>(buffer.data());
                }
                catch (const rapidxml::parse_error&)
                {
                    return false;
                }
                const rapidxml::xml_node<>* root = document.first_node("composition");
                if (root == nullptr)
                    return false;
                for (auto* port = root->first_node("port"); port != nullptr; port = port->next_sibling("port"))
                    if (! addPort(*port))
                        return false;
                if (const auto* render = root->first_node("render"))
                {
                    const char* names[4] = {"red", "green", "blue", "alpha"};
                    for (int i = 0; i < 4; ++i)
                        if (auto channel = attribute(render, names[i]))
                            channels[i] = *channel;
                    throwAt = number(attribute(render, "throwAt"));
                }
                return true;
            }

            const std::vector<std::string>& inputKeys() const override { return keys; }

            const PortAttributes* attributesForKey(const std::string& key) const override
            {
                auto found = ports.find(key);
                return found != ports.end() ? &found->second.attributes : nullptr;
            }

            PortValue valueForInputKey(const std::string& key) const override
            {
                auto found = ports.find(key);
                return found != ports.end() ? found->second.value : PortValue{};
            }

            bool setValueForInputKey(const std::string& key, const PortValue& value) override
            {
                auto found = ports.find(key);
                if (found == ports.end() || found->second.value.index() != value.index())
                {
                    // An image port starts empty and takes images.
                    if (found == ports.end() || found->second.attributes.type != portTypeImage ||
                        ! std::holds_alternative<std::shared_ptr<CIImage>>(value))
                        return false;
                }
                found->second.value = value;
                return true;
            }

            bool renderAtTime(double seconds) override
            {
                if (throwAt && seconds >= *throwAt)
                    throw av::PlatformException("QCCompositionException",
                                                "the composition failed at " + std::to_string(seconds) + " s");
                float colour[4];
                for (int i = 0; i < 4; ++i)
                    colour[i] = static_cast<float>(std::clamp(evaluate(channels[i], seconds), 0.0, 1.0));
                // A renderer leaves the context's state as it found it.
                GLfloat previous[4] = {};
                glGetFloatv(GL_COLOR_CLEAR_VALUE, previous);
                glClearColor(colour[0], colour[1], colour[2], colour[3]);
                glClear(GL_COLOR_BUFFER_BIT);
                glClearColor(previous[0], previous[1], previous[2], previous[3]);
                return true;
            }

        private:
            struct Port
            {
                PortAttributes attributes;
                PortValue value;
            };

            bool addPort(const rapidxml::xml_node<>& node)
            {
                const auto key = attribute(&node, "key");
                const auto type = attribute(&node, "type");
                if (! key || key->empty() || ! type || ports.count(*key) != 0)
                    return false;
                Port port;
                port.attributes.type = "QCPortType" + *type;
                port.attributes.name = attribute(&node, "name");
                port.attributes.minimum = number(attribute(&node, "min"));
                port.attributes.maximum = number(attribute(&node, "max"));
                const auto value = attribute(&node, "value");
                if (const auto menu = attribute(&node, "menu"))
                {
                    std::stringstream items(*menu);
                    for (std::string item; std::getline(items, item, ';');)
                        port.attributes.menuItems.push_back(item);
                }
                const std::string& t = port.attributes.type;
                if (t == portTypeBoolean)
                    port.value = value.value_or("0") == "1" || value.value_or("") == "true";
                else if (t == portTypeIndex || t == portTypeNumber)
                    port.value = number(value).value_or(0.0);
                else if (t == portTypeString)
                    port.value = value.value_or("");
                else if (t == portTypeColor)
                {
                    PortColor colour;
                    std::istringstream in(value.value_or("0 0 0 1"));
                    in >> colour.red >> colour.green >> colour.blue >> colour.alpha;
                    port.value = colour;
                }
                else if (t == portTypeImage)
                    port.value = std::shared_ptr<CIImage>();
                keys.push_back(*key);
                ports.emplace(*key, std::move(port));
                return true;
            }

            double evaluate(const std::string& expression, double seconds) const
            {
                std::string term = expression;
                double factor = 1.0;
                const auto star = term.find('*');
                if (star != std::string::npos)
                {
                    factor = std::strtod(term.c_str() + star + 1, nullptr);
                    term = term.substr(0, star);
                }
                double value = 0.0;
                if (term == "time")
                    value = seconds;
                else if (term.rfind("port:", 0) == 0)
                    value = portNumber(term.substr(5));
                else
                    value = std::strtod(term.c_str(), nullptr);
                return value * factor;
            }

            double portNumber(std::string key) const
            {
                char channel = 0;
                const auto dot = key.find('.');
                if (dot != std::string::npos && dot + 1 < key.size())
                {
                    channel = key[dot + 1];
                    key = key.substr(0, dot);
                }
                auto found = ports.find(key);
                if (found == ports.end())
                    return 0.0;
                const PortValue& v = found->second.value;
                if (const bool* b = std::get_if<bool>(&v))
                    return *b ? 1.0 : 0.0;
                if (const double* d = std::get_if<double>(&v))
                    return *d;
                if (const PortColor* c = std::get_if<PortColor>(&v))
                    return channel == 'g' ? c->green : channel == 'b' ? c->blue : channel == 'a' ? c->alpha : c->red;
                if (const auto* image = std::get_if<std::shared_ptr<CIImage>>(&v))
                    return *image != nullptr ? 1.0 : 0.0;
                if (const std::string* s = std::get_if<std::string>(&v))
                    return s->empty() ? 0.0 : 1.0;
                return 0.0;
            }

            std::vector<std::string> keys;
            std::map<std::string, Port> ports;
            std::string channels[4] = {"0", "0", "0", "1"};
            std::optional<double> throwAt;
        };
    }

    std::unique_ptr<QCRenderer> QCRenderer::initWithOpenGLContext(void* context, const std::string& path)
    {
        if (context == nullptr)
            return nullptr;
        auto composition = std::make_unique<XMLComposition>();
        if (! composition->load(path))
            return nullptr;
        return composition;
    }
}
