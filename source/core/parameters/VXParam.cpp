#include "core/parameters/VXParam.h"

namespace vx
{
    template <typename T>
    ParamBase* Param<T>::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;

        const std::string name = readAttribute(node->first_attribute("name"), std::string());
        const XmlAttribute* typeAttribute = node->first_attribute("T");
        if (typeAttribute == nullptr)
            return nullptr;
        const std::string typeWord = readAttribute(typeAttribute, std::string());

        ParamBase* created = nullptr;
        if (typeWord == XmlUtils::getTypeIDName(int()))
            created = new Param<int>(name, 1);
        else if (typeWord == XmlUtils::getTypeIDName(float()))
            created = new Param<float>(name, 1.0f);
        else if (typeWord == XmlUtils::getTypeIDName(double()))
            created = new Param<double>(name, 1.0);
        else if (typeWord == XmlUtils::getTypeIDName(bool()))
            created = new Param<bool>(name, true);
        else if (typeWord == XmlUtils::getTypeIDName(std::string()))
            created = new Param<std::string>(name, std::string());
        else
            return nullptr;

        created->readState(node, false);
        return created;
    }

    template class Param<bool>;
    template class Param<int>;
    template class Param<unsigned int>;
    template class Param<unsigned long long>;
    template class Param<float>;
    template class Param<double>;
    template class Param<std::string>;
    template class Param<CodecFourCC>;
}
