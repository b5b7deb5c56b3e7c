#pragma once

#include "core/xml/VXXmlAttributes.h"

#include <memory>

namespace vx
{
    class ParamBase;
    class ParamContainer;

    // Implemented by hosts. Called on the container's thread while it holds
    // its lock.
    class ParamContainerListener
    {
    public:
        virtual ~ParamContainerListener() = default;
        // Asked for a child element (storage 0) that names no parameter of
        // the container and no kind the factory re-creates; an empty
        // answer declines.
        virtual std::shared_ptr<ParamBase> createParamForXmlNode(ParamContainer& container, const XmlNode& node) = 0;
        // The list changed (insertion, removal, clearing).
        virtual void paramsChanged() = 0;
    };
}
