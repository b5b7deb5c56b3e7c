#pragma once

namespace vx
{

    // Modifier and special-key state of a GUI frame. Indices outside the
    // enumerations are ignored by the setters and answer false.
    class Keyboard
    {
    public:
        enum Modifier : int
        {
            shiftModifier = 0,
            controlModifier = 1,
            altModifier = 2,
            commandModifier = 3,
            functionModifier = 4
        };
        enum SPECIAL : int
        {
            upSpecial = 0,
            downSpecial = 1,
            leftSpecial = 2,
            rightSpecial = 3,
            escapeSpecial = 4
        };
        static constexpr int numModifiers = 5;
        static constexpr int numSpecialKeys = 5;

        static const int upKey = 173;
        static const int downKey = 175;
        static const int leftKey = 172;
        static const int rightKey = 174;

        void setModifierState(Modifier modifier, bool down);
        bool isModifierDown(Modifier modifier) const;

        // The state before is kept for wasSpecialKeyPressed.
        void setSpecialKey(SPECIAL key, int state);
        bool isSpecialKeyDown(SPECIAL key) const;
        // Any change since the last update (or set), press or release.
        bool wasSpecialKeyPressed(SPECIAL key) const;
        void update();

    private:
        bool modifiers[numModifiers] = {};
        int specialKeys[numSpecialKeys] = {};
        int previousSpecialKeys[numSpecialKeys] = {};
    };

} // namespace vx
