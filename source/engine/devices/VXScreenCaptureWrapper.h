#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vx
{
    class Texture;
    template <typename T>
    class ParamChoice;

    // Lists the windows on screen as choices and grabs the chosen window's
    // picture into a texture, at most every 40 ms of engine time. Pixels are
    // premultiplied RGBA, the window's top row first. The grab runs on the
    // render thread (it makes and fills the texture); the window is chosen,
    // and asked after, on the thread that owns the parameters, also while
    // a grab runs.
    class ScreenCaptureWrapper
    {
    public:
        ScreenCaptureWrapper();
        ~ScreenCaptureWrapper();
        ScreenCaptureWrapper(const ScreenCaptureWrapper&) = delete;
        ScreenCaptureWrapper& operator=(const ScreenCaptureWrapper&) = delete;

        // Adds one choice per on-screen window, front to back: the owner's
        // name, with " - " and the window's name when it has one; the value is
        // the window number. Entries without number or owner, and entries
        // that cannot be read, are skipped. Existing choices stay. True.
        bool getWindows(ParamChoice<int>& choice);
        // Chooses the window and remembers the process that owns it and its
        // owner's name.
        void setWindowId(int id);
        // The owner's name of the window listed with that number now; none
        // when no window is, or it has no owner.
        std::optional<std::string> findOwnerName(int id) const;
        // Whether the window chosen has gone since it was chosen: whatever
        // has its id now is another window. A window gone before the last
        // getWindows is told. False without a window.
        bool hasWindowGone() const;
        // The window's picture into texture, (re)made RGBA8 at the window's
        // size. False, the texture untouched, without a window, within 40 ms
        // of the last grab, or when the window has gone.
        bool grab(Texture* texture);
        // Brings the window's owner to the front and posts it a mouse move,
        // a left button down and up at (x, y) in global coordinates. False,
        // with a warning, when the owner has no window on screen at (x, y)
        // (closed, hidden) or clicks cannot be sent: then nothing is pressed.
        // False, with a warning, too when the press and release have not
        // both been taken in time, or were taken by a program holding the
        // pointer grabbed (another program holds the pointer): the button
        // is let go all the same, so the click may land later.
        // A click (point check, raise, move, press, release) is one step
        // no other click of the process enters: one waits for the other.
        bool sendMouseDown(int x, int y);

        int getWindowId() const;
        long getOwnerPid() const;
        // The owner's name of the window chosen, as it was when chosen; empty
        // when unknown.
        std::string getOwnerName() const;

    private:
        struct Pimpl;
        std::unique_ptr<uint8_t[]> pixelBuffer;
        std::unique_ptr<Pimpl> pimpl;
        double lastGrabTime = 0.0;
    };
}
