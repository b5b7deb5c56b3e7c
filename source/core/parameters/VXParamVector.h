#pragma once

#include "core/parameters/VXParamBase.h"

#include <string>
#include <vector>

namespace vx
{
    // A parameter whose value is a vector (an audio spectrum, a list of
    // texts). Its owner reads and fills the vector directly; an attached
    // update source may refill it every frame. Instantiated for float and
    // std::string. Element "ParamVector".
    template <typename T>
    class ParamVector : public ParamBase
    {
    public:
        // Refills the vector during update; answers true when it changed it.
        class UpdateSource
        {
        public:
            virtual ~UpdateSource() = default;
            virtual bool updateValue(std::vector<T>& value) = 0;
        };

        explicit ParamVector(const std::string& name);

        std::vector<T>& getValue() { return value; }
        const std::vector<T>& getValue() const { return value; }

        // Not owned; null detaches. The source must outlive its attachment.
        void setUpdateSource(UpdateSource* source) { updateSource = source; }
        UpdateSource* getUpdateSource() const { return updateSource; }

        // When the source changed the vector, sends StateChange_Value stamped
        // with the frame's time. Answers false in every case.
        bool update(const TimeInfo& info) override;

        // The element with one "Value" child per entry ("value": floats at
        // 20 significant digits, texts unchanged).
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Appends the "value" of every "Value" child (floats only when they
        // parse; texts whenever present). Nothing is cleared or announced.
        void readStateDerived(const XmlNode& node) override;

    protected:
        ParamVector(const std::string& name, const std::string& elementName);

    private:
        std::vector<T> value;
        UpdateSource* updateSource = nullptr;
    };

    extern template class ParamVector<float>;
    extern template class ParamVector<std::string>;
}
