#include "engine/behaviours/VXBeats.h"

#include "engine/behaviours/VXAudioBeatmarks.h"

#include <typeinfo>

namespace vx
{
    template <typename T>
    Beats<T>::Beats(T tempo, unsigned int beatCount, const Mode& beatsMode)
        : XmlCapable(getNodeName(), std::string()), mode(beatsMode), manualBeats(beatCount), manualTempo(tempo)
    {
    }

    template <typename T>
    const std::string& Beats<T>::getNodeName()
    {
        static const std::string name = std::string("Beats_") + typeid(T).name();
        return name;
    }

    template <typename T>
    XmlNode* Beats<T>::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "mode", static_cast<int>(mode)));
        element->append_attribute(createAttribute(pool, "manualBeats", static_cast<unsigned int>(manualBeats)));
        element->append_attribute(createAttribute(pool, "manualTempo", manualTempo));
        if (beatmarks != nullptr)
            beatmarks->appendAndWrite(element, pool, force);
        return element;
    }

    template <typename T>
    void Beats<T>::readStateDerived(const XmlNode& node)
    {
        int readMode = 0;
        mode = readAttribute(node.first_attribute("mode"), &readMode) && readMode >= 0 && readMode <= maxMode ? readMode
                                                                                                              : 0;
        unsigned int readBeats = 4;
        manualBeats = readAttribute(node.first_attribute("manualBeats"), &readBeats) ? readBeats : 4u;
        T readTempo = static_cast<T>(120.0);
        manualTempo =
            readAttribute(node.first_attribute("manualTempo"), &readTempo) ? readTempo : static_cast<T>(120.0);

        const std::string& marksName = AudioBeatmarks<T>::getNodeName();
        if (const XmlNode* child = node.first_node(marksName.c_str(), marksName.size()))
        {
            beatmarks = std::make_shared<AudioBeatmarks<T>>();
            beatmarks->readState(child, false);
        }
        else
        {
            beatmarks.reset();
        }
    }

    template class Beats<double>;
}
