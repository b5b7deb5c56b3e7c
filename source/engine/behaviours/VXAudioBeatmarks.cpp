#include "engine/behaviours/VXAudioBeatmarks.h"

#include "core/xml/VXXmlUtils.h"

namespace vx
{
    template <typename T>
    AudioBeatmarks<T>::AudioBeatmarks() : XmlCapable(getNodeName(), std::string())
    {
    }

    template <typename T>
    const std::string& AudioBeatmarks<T>::getNodeName()
    {
        static const std::string name = "AudioBeatmarks" + XmlUtils::getTypeIDName(T());
        return name;
    }

    template <typename T>
    XmlNode* AudioBeatmarks<T>::writeStateDerived(XmlPool& pool, bool)
    {
        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "bpm", bpm));
        element->append_attribute(createAttribute(pool, "totalLength", totalLength));
        for (const T& mark : beatmarks)
            element->append_attribute(createAttribute(pool, "bm", mark));
        return element;
    }

    template <typename T>
    void AudioBeatmarks<T>::readStateDerived(const XmlNode& node)
    {
        beatmarks.clear();
        if (! readAttribute(node.first_attribute("bpm"), &bpm))
            bpm = static_cast<T>(120.0);
        if (! readAttribute(node.first_attribute("totalLength"), &totalLength))
            totalLength = static_cast<T>(0.0);
        for (const XmlAttribute* mark = node.first_attribute("bm"); mark != nullptr; mark = mark->next_attribute("bm"))
        {
            T position{};
            if (readAttribute(mark, &position))
                beatmarks.insert(position);
        }
    }

    template class AudioBeatmarks<double>;
}
