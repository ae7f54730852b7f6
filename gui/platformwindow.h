// What a frame needs of the window system: a child window inside the host's window
// that shows the frame's pixels and feeds it mouse, wheel and keys, and the pop-up
// list of an option menu. The X11 binding (xcb) lives behind this in xwindow.cpp; a
// frame without a host window has none and draws offscreen only.
//
// Threads: editor thread only, like every X call of an editor.
#pragma once

#include <memory>

namespace orvex::gui {

class CFrame;
class COptionMenu;

class PlatformWindow {
public:
    // A child window of `parent` (an X11 window id) the size of the frame, mapped; null
    // when no X server can be reached (the frame then draws offscreen only).
    static std::unique_ptr<PlatformWindow> create(void* parent, CFrame& frame);
    virtual ~PlatformWindow() = default;

    // Copies what the frame drew since the last call to the window.
    virtual void show() = 0;
    // Handles every event waiting on the editor's own connection.
    virtual void dispatch() = 0;
    // A view took or gave back the keyboard focus.
    virtual void focusChanged(bool focused) = 0;
    virtual void openPopup(COptionMenu& menu) = 0;
    virtual void closePopup() = 0;
    // The window's X11 id, for a host that embeds it (the LV2 UI's widget); 0 if none.
    virtual unsigned long nativeWindow() const { return 0; }
    // Whether the window system still serves the window (false once the connection to
    // the X server broke).
    virtual bool connected() const { return true; }
};

}  // namespace orvex::gui
