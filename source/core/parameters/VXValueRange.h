#pragma once

#include "core/xml/VXXmlCapable.h"

#include <string>
#include <type_traits>

namespace vx
{
    // A pair of bounds with XML persistence (element "ValueRange", attributes
    // "min" and "max"). Nothing orders the bounds: a reversed range stays
    // reversed, and every operation states what it does with equal bounds.
    // Assignment copies the bounds only, so a range keeps its own name (a
    // parameter's "minMax" stays "minMax" when given its default range).
    template <typename T>
    class ValueRange : public XmlCapable
    {
    public:
        // (0, 1) named "range".
        ValueRange() : ValueRange(T(0), T(1), "range") {}
        ValueRange(T minimum, T maximum, const std::string& name = "range")
            : XmlCapable("ValueRange", name), min(minimum), max(maximum)
        {
        }
        // Integer or float bounds, stored as T. A template so that mixed
        // argument types pick the (T, T) form instead of being ambiguous.
        template <typename U, typename = std::enable_if_t<std::is_arithmetic_v<U> && ! std::is_same_v<U, T>>>
        ValueRange(U minimum, U maximum, const std::string& name = "range")
            : ValueRange(static_cast<T>(minimum), static_cast<T>(maximum), name)
        {
        }
        // The bounds of other under a new name; storage 1, no alternative
        // name.
        ValueRange(const ValueRange& other, const std::string& name)
            : XmlCapable("ValueRange", name), min(other.min), max(other.max)
        {
        }
        ValueRange(const ValueRange& other) : XmlCapable(other), min(other.min), max(other.max) {}

        ValueRange& operator=(const ValueRange& other)
        {
            min = other.min;
            max = other.max;
            return *this;
        }

        void set(T minimum, T maximum)
        {
            min = minimum;
            max = maximum;
        }

        // Bounds only; names do not take part.
        bool operator==(const ValueRange& other) const { return min == other.min && max == other.max; }
        bool operator!=(const ValueRange& other) const { return ! (*this == other); }

        // r measured in this range: ((r.min - min) / (max - min), ...);
        // (1, 1) when the bounds are equal. Named "range".
        ValueRange normalize(const ValueRange& r) const
        {
            if (min == max)
                return ValueRange(T(1), T(1));
            return ValueRange((r.min - min) / (max - min), (r.max - min) / (max - min));
        }

        // The inverse of normalize; (max, max) when the bounds are equal.
        ValueRange denormalize(const ValueRange& r) const
        {
            if (min == max)
                return ValueRange(max, max);
            return ValueRange(min + (max - min) * r.min, min + (max - min) * r.max);
        }

        // Each end of a clamped into bounds (a NaN end stays NaN). A reversed
        // a stays reversed. Named "range".
        static ValueRange confine(const ValueRange& a, const ValueRange& bounds)
        {
            return ValueRange(clampInto(a.min, bounds), clampInto(a.max, bounds));
        }

        // bounds.min when it is above x, else the smaller of bounds.max and x.
        static T clampInto(T x, const ValueRange& bounds)
        {
            if (bounds.min > x)
                return bounds.min;
            return bounds.max < x ? bounds.max : x;
        }

        XmlNode* writeStateDerived(XmlPool& pool, bool) override
        {
            XmlNode* element = createElement(pool);
            element->append_attribute(createAttribute(pool, "min", min));
            element->append_attribute(createAttribute(pool, "max", max));
            return element;
        }

        // A missing or unreadable bound keeps its value.
        void readStateDerived(const XmlNode& node) override
        {
            T value{};
            if (readAttribute(node.first_attribute("min"), &value))
                min = value;
            if (readAttribute(node.first_attribute("max"), &value))
                max = value;
        }

        T min;
        T max;
    };

    extern template class ValueRange<double>;
}
