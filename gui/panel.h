// The rows an editor panel is made of: for each control, what it is, where it sits, the
// picture it shows and what else it needs. A plug-in's layout.h holds its table once:
// gui::PanelEditor builds the controls from it, in row order (which is also the order
// they are drawn in), and the plug-in's picture generator draws the panel and the
// control pictures around the same places. Plain numbers only: the generators run at
// build time without the toolkit.
#pragma once

#include "dsp/lfo.h"

namespace orvex::gui {

// Panel pixels: left, top, right, bottom (right and bottom exclusive).
struct PanelRect {
    int left, top, right, bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};

// `keyedButton` leaves the white of its picture out; `own` is a control the plug-in
// makes itself (PanelEditor::makeOwn).
enum class PanelKind { knob, button, keyedButton, display, menu, own };
// A display's text (the value as a frequency, in hertz with two decimals, in percent),
// or a menu's alignment.
enum class PanelText { centred, left, frequency, hertz, percent };

// A menu's entries and the parameter value each one sends; each value lands back on
// its entry as truncate(value x scale).
struct PanelMenu {
    const char* const* entries;
    const float* values;
    int count;
    float scale;
};

struct PanelRow {
    long tag;  // the parameter, or a tag of the plug-in's own
    PanelKind kind;
    PanelRect rect;
    long picture;
    int frames = 0;  // a knob's film strip: how many pictures, and one's height
    int frameHeight = 0;
    PanelText text = PanelText::centred;
    const PanelMenu* menu = nullptr;
    long pressed = 0;  // a menu's picture while its list is open, when it has one
};

// The row of `tag` that is a `kind`.
template <int N>
constexpr const PanelRow& rowOf(const PanelRow (&rows)[N], long tag, PanelKind kind) {
    for (const PanelRow& row : rows)
        if (row.tag == tag && row.kind == kind) return row;
    throw "no such row";
}

// The tempo-synchronised LFO's menus: its own entries and values (dsp/lfo.h).
using orvex::kDivisionEntries;
using orvex::kDivisionValues;
using orvex::kWaveformEntries;
using orvex::kWaveformValues;
inline constexpr PanelMenu kDivisionMenu{kDivisionEntries, kDivisionValues, CLfo::kNumDivisions, CLfo::kDivisionScale};
inline constexpr PanelMenu kWaveformMenu{kWaveformEntries, kWaveformValues, CLfo::kNumWaveforms, CLfo::kWaveformScale};

// Colours the editors and the pictures share.
struct PanelColour {
    unsigned char red, green, blue;
};
inline constexpr PanelColour kCurveKey{43, 100, 118};     // behind the filter curves, left out when shown
inline constexpr PanelColour kHouseText{33, 87, 103};     // displays', menus' and tempo fields' text
inline constexpr PanelColour kHouseField{225, 231, 175};  // their fields

}  // namespace orvex::gui
