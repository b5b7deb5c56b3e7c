#include "engine/gui/VXKeyboard.h"

namespace vx
{
    namespace
    {
        bool inRange(int index, int count)
        {
            return index >= 0 && index < count;
        }
    }

    void Keyboard::setModifierState(Modifier modifier, bool down)
    {
        if (inRange(modifier, numModifiers))
            modifiers[modifier] = down;
    }

    bool Keyboard::isModifierDown(Modifier modifier) const
    {
        return inRange(modifier, numModifiers) && modifiers[modifier];
    }

    void Keyboard::setSpecialKey(SPECIAL key, int state)
    {
        if (! inRange(key, numSpecialKeys))
            return;
        previousSpecialKeys[key] = specialKeys[key];
        specialKeys[key] = state;
    }

    bool Keyboard::isSpecialKeyDown(SPECIAL key) const
    {
        return inRange(key, numSpecialKeys) && specialKeys[key] != 0;
    }

    bool Keyboard::wasSpecialKeyPressed(SPECIAL key) const
    {
        return inRange(key, numSpecialKeys) && specialKeys[key] != previousSpecialKeys[key];
    }

    void Keyboard::update()
    {
        for (int k = 0; k < numSpecialKeys; ++k)
            previousSpecialKeys[k] = specialKeys[k];
    }

} // namespace vx
