// The LV2 UI of a plug-in (host/lv2ui.cpp): its editor in the host's X11 window, on
// the host's control ports, in the same binary as the plug-in's LV2 face. What the
// Turtle (host/lv2describe.cpp) and the UI share.
#pragma once

#include "lv2face.h"

#ifdef ORVEX_LV2_NAME
#define ORVEX_LV2_UI_URI ORVEX_LV2_URI "#ui"
#endif
