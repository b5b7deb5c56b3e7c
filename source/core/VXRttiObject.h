#pragma once

#include <string>

namespace vx
{
    // Run-time class-type strings: factory keys and saved "type" values.
    // Derived classes override all four and fall back to their base class's
    // answer, so this root ends every chain.
    class RttiObject
    {
    public:
        virtual ~RttiObject() = default;

        virtual bool isOfClassType(std::string classType) const;
        virtual std::string derivedOfClassType(std::string classType) const;
        virtual std::string getClassType() const;
        virtual std::string getClassDisplayStr() const;
    };
}
