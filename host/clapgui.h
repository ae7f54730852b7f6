// The CLAP face's editor (host/clapgui.cpp, compiled once per plug-in with
// ORVEX_CLAP_EDITOR: the plug-in's editor class, ORVEX_CLAP_EDITOR_HEADER: its header):
// the plug-in's own editor embedded in the host's X11 window, on a model of the
// instance's values, idled by the host's timer.
#pragma once

#include "clap.h"

namespace orvex::clapface {

class Instance;
struct Editor;

// The extensions the face hands out for the editor.
extern const clap_plugin_gui_t kGui;
extern const clap_plugin_timer_support_t kTimerSupport;

// Main thread: the instance's editor, if the host made one, closed and freed (when the
// plug-in is destroyed without the host destroying its editor first).
void destroyEditor(Instance& instance);

}  // namespace orvex::clapface
