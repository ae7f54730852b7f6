// What the four editors share: the text style of their displays, menus and tempo
// fields, the pop-up menus' colours, and the tempo field of the panner and the filter:
// made in the house style, shown from the host's or the parameter's tempo, and its
// typed text turned into a "Bpm" value.
//
// Threads: editor thread only.
#pragma once

#include "controls.h"
#include "panel.h"

namespace orvex::gui {

// Displays, menus and tempo fields print in font 4 of the list, in this blue.
inline constexpr int kHouseFont = kNormalFontSmall;
inline constexpr CColor kHouseTextColor{kHouseText.red, kHouseText.green, kHouseText.blue, 0};
// The tempo field's background.
inline constexpr CColor kHouseFieldColor{kHouseField.red, kHouseField.green, kHouseField.blue, 0};
inline constexpr CColor kHouseSelectedText{42, 131, 157, 0};  // a menu's selected entry

// A new scheme for one open's menus (the caller hands it to them and releases its own
// reference): pale items, white under the pointer, the house text colour; the
// selected text colour differs slightly in the distortion's editor.
COptionMenuScheme* newHouseMenuScheme(const CColor& selectedText);

// The house text style on a display, a menu or a tempo field.
void setHouseText(CParamDisplay* control);

// Shows `hostTempo` ("%.2f") in the tempo field `field` and marks it dirty when the
// host gives one (anything but -1), otherwise the tempo of the "Bpm" value `bpm`.
void showTempo(CControl* field, float hostTempo, float bpm);

// The "Bpm" value of the text typed into the tempo field `field`: out of range (or not
// a number) it is 120 beats per minute.
float typedBpm(CControl* field);

// A tempo field in the house style, centred on the field colour, showing `hostTempo`
// or the "Bpm" value `bpm` as `showTempo` does.
CTextEdit* newTempoField(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         float hostTempo, float bpm);

}  // namespace orvex::gui
