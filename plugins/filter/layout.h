// The filter panel's rows (gui/panel.h): read by the editor, which builds its controls
// from them, and by the picture generator, which draws the panel and the control
// pictures around the same places.
#pragma once

#include "adelay.h"
#include "gui/panel.h"

namespace orvex::filter::layout {

using gui::PanelKind;
using gui::PanelText;

// Picture numbers: the panel, then the fifteen the controls hold.
enum Picture : long {
    kPanel = 128,
    kBigKnobs = 129,   // cutoff, resonance, drive
    kSmallKnobs = 130, // mix, bpm
    kSwitch = 131,
    kHandle = 132,     // the pad's handle; white is left out
    kPad = 133,
    // Each menu's background, and the pressed one while its list is open.
    kTypeMenu = 134,
    kWaveformMenu = 136,
    kDivisionMenu = 138,
    kTempoField = 140,
    kMultipleMenu = 141,
    kModKnobs = 143,   // the two depths, -100..+100 %
};

// Tags of the two controls without a parameter of their own.
inline constexpr long kPadTag = 250;
inline constexpr long kTempoTag = 251;

// The response and multiple menus: the filters' responses (dsp/svfcontrols.h) and the
// LFO's multiples (dsp/lfo.h) as they list them.
inline constexpr gui::PanelMenu kTypeChoices{svf::kResponseEntries, svf::kResponseValues, svf::kNumResponses,
                                             svf::kResponseScale};
inline constexpr gui::PanelMenu kMultipleChoices{kMultipleEntries, kMultipleValues, orvex::CLfo::kNumMultiples,
                                                 orvex::CLfo::kMultipleScale};

// In the order they are made (and drawn). The pad sets cutoff (x) and resonance (1 - y).
inline constexpr gui::PanelRow kRows[] = {
    {kPadTag, PanelKind::own, {160, 142, 260, 222}, kPad},
    {kOnOff, PanelKind::button, {36, 39, 55, 70}, kSwitch},
    {kPole, PanelKind::button, {36, 98, 55, 129}, kSwitch},
    {kCutoff, PanelKind::knob, {155, 69, 177, 91}, kBigKnobs, 127, 22},
    {kResonance, PanelKind::knob, {100, 197, 122, 219}, kBigKnobs, 127, 22},
    {kDrive, PanelKind::knob, {309, 197, 331, 219}, kBigKnobs, 127, 22},
    {kMix, PanelKind::knob, {419, 200, 437, 218}, kSmallKnobs, 101, 18},
    {kCutoffMod, PanelKind::knob, {310, 60, 329, 78}, kModKnobs, 101, 18},
    {kResonanceMod, PanelKind::knob, {310, 123, 329, 141}, kModKnobs, 101, 18},
    {kBpm, PanelKind::knob, {513, 200, 531, 218}, kSmallKnobs, 101, 18},
    {kFilterType, PanelKind::menu, {429, 59, 548, 75}, kTypeMenu, 0, 0, PanelText::left, &kTypeChoices, kTypeMenu + 1},
    {kDivision, PanelKind::menu, {429, 123, 498, 139}, kDivisionMenu, 0, 0, PanelText::left, &gui::kDivisionMenu,
     kDivisionMenu + 1},
    {kWaveform, PanelKind::menu, {429, 91, 548, 107}, kWaveformMenu, 0, 0, PanelText::left, &gui::kWaveformMenu,
     kWaveformMenu + 1},
    {kMultiple, PanelKind::menu, {499, 123, 549, 139}, kMultipleMenu, 0, 0, PanelText::centred, &kMultipleChoices,
     kMultipleMenu + 1},
    {kTempoTag, PanelKind::own, {497, 155, 548, 171}, kTempoField},
};

}  // namespace orvex::filter::layout
