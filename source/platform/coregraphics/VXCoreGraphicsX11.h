#pragma once

#include <memory>
#include <string>

#include "platform/coregraphics/VXCoreGraphics.h"

// The CoreGraphics backend over an X server, through xcb:
// - displays are the RandR 1.5 monitors (ids: their name atoms; the main one
//   is the primary monitor, else the first); without RandR 1.5 the screen is
//   one display;
// - reconfiguration callbacks fire, from the backend's event thread, on RandR
//   screen changes and root window reshapes (desktop shape changed), CRTC and
//   output changes (set mode), and monitors appearing or going (added,
//   removed);
// - the window list is the window manager's client list while that manager
//   lives (its _NET_SUPPORTING_WM_CHECK window names itself), in the order the
//   server stacks their frames, else the client windows (with WM_STATE) in
//   the mapped top-level windows, or those windows themselves; owner name
//   from WM_CLASS, owner id the process of the client that made the window
//   (X-Resource), else its _NET_WM_PID, name from _NET_WM_NAME or WM_NAME
//   (UTF8_STRING, STRING or COMPOUND_TEXT, as UTF-8);
// - a window seen destroyed counts as gone once more (windowGeneration): X
//   gives a gone client's ids to the next one;
// - window images come from the window's Composite pixmap (right also while
//   covered), without Composite from what the screen shows, read over MIT-SHM
//   where the server offers it, else in bands of rows on a connection and
//   thread of their own, waited for as any reply is (below), silence
//   counted only while that thread waits for the server: one picture comes
//   at a time, the windows grabbed meanwhile read in the order asked; a
//   picture still coming over a slow link when a grab gives up is the next
//   grab's of each reader of the window that has not had it (each source
//   its own reader, windowListCreateImage one per window), and one more is
//   asked for then, so that every window's pictures come at the link's
//   pace while no grab waits longer than any call; the pictures of a window
//   destroyed are dropped (its id may be another program's window next);
//   windows of depth
//   24 and 32, and true-colour ones of depth 15 and 16 (said once for any
//   other);
// - mouse events go through XTest (without it clicks fail), only onto a
//   point on the screen where a window of the process they are for (a
//   pop-up too) is the front-most, not a manager's frame; the front process
//   is raised by raising its windows (when another's is in front of one),
//   its pop-ups above them once a window manager, which carries the raise
//   out a moment later, has (up to half a second), and the events posted to
//   it next wait for that up to half a second too (the server's stacking
//   changes) before they give up; a release waits (up to half a second
//   each) until the server has taken the press (a program's freezing grab
//   keeps it queued), then itself, after the press a manager's own grab may
//   hold to raise the window first, so that the next click is checked after
//   this one has landed (nothing is pressed while a button is down), and
//   answers whether both were taken, and not by another program holding the
//   pointer grabbed when the press went (an open menu, a drag: the server
//   gives it both); which client holds a grab the server does not tell: it
//   counts as the process's own while a pop-up of the process shows (its
//   open menu); without
//   X-Resource, where a window's process is only what its _NET_WM_PID says,
//   the windows of a process are those of the client that made the window
//   chosen (the client part of their ids).
// The event thread connects again while the server answers (a server at its
// client limit refuses it for a while). A server that goes away leaves every
// answer empty and says so once; the known monitors are reported removed.
// A server that sends nothing for 250 ms while a call waits for it (stopped,
// or held by another client's server grab) is not answering, said once:
// until it answers again, calls do not wait for it; grabs give no image,
// clicks are refused, and the display and window lists are the last ones
// it gave. Its late answers are thrown away.
namespace vx::cg
{
    struct X11Options
    {
        // Read window images through a shared memory segment when the server
        // offers MIT-SHM and accepts the segment.
        bool useSharedMemory = true;
    };

    // The backend over the X display named (null or empty: $DISPLAY, read
    // now); null, with the reason, when no X server answers there.
    std::shared_ptr<Backend> createX11Backend(const char* displayName, const X11Options& options,
                                              std::string* whyNot = nullptr);
}
