#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The composition renderer as the composition reader uses it. No runtime on
// this platform plays real compositions: the stand-in
// (source/platform/quartzcomposer/) loads only the engine's own small XML
// test composition, saved as .qtz, and gives no renderer for anything else.
namespace vx::qc
{
    // Port types, as the attributes name them.
    extern const char* const portTypeBoolean;
    extern const char* const portTypeIndex;
    extern const char* const portTypeNumber;
    extern const char* const portTypeString;
    extern const char* const portTypeColor;
    extern const char* const portTypeImage;

    struct PortColor
    {
        float red = 0.0f, green = 0.0f, blue = 0.0f, alpha = 1.0f;
    };

    // An image over a GL texture, as an image port takes it.
    struct CIImage
    {
        unsigned texture = 0;
        int width = 0, height = 0;
        bool flipped = false;

        // Null for texture 0.
        static std::shared_ptr<CIImage> initWithTexture(unsigned texture, int width, int height, bool flipped);
    };

    using PortValue = std::variant<std::monostate, bool, double, std::string, PortColor, std::shared_ptr<CIImage>>;

    struct PortAttributes
    {
        std::string type;
        std::optional<std::string> name;
        std::optional<double> minimum, maximum;
        std::vector<std::string> menuItems;
    };

    class QCRenderer
    {
    public:
        // The composition at path on the GL context (null: none current, no
        // renderer); null when the file is not a composition this renderer
        // plays.
        static std::unique_ptr<QCRenderer> initWithOpenGLContext(void* context, const std::string& path);
        virtual ~QCRenderer() = default;

        virtual const std::vector<std::string>& inputKeys() const = 0;
        // Null for an unknown key.
        virtual const PortAttributes* attributesForKey(const std::string& key) const = 0;
        virtual PortValue valueForInputKey(const std::string& key) const = 0;
        // False for an unknown key or a value of another type.
        virtual bool setValueForInputKey(const std::string& key, const PortValue& value) = 0;
        // Draws the composition at the time into the bound framebuffer; the
        // composition's failures are thrown as av::PlatformException.
        virtual bool renderAtTime(double seconds) = 0;
    };

    // The current GL context of the calling thread; null without one.
    void* currentContext();
}
