// The panner panel's rows (gui/panel.h): read by the editor to place its controls and
// by the picture generator to draw the panel around them.
#pragma once

#include "adelay.h"
#include "gui/panel.h"

namespace orvex::panner::layout {

using gui::PanelKind;

// Picture numbers.
enum Picture {
    kPanel = 128,
    kBandKnobs = 129,    // frequency and level knobs
    kGlobalKnobs = 130,  // tempo and mix knobs
    kDepthKnobs = 131,
    kSoloButton = 132,   // off above, on below; white is left out
    kTempoField = 133,
    kFilterScreen = 134, // then the low-pass, band-pass and high-pass curves
    kFrequencyField = 144,
};
// Each band's menu backgrounds (low, middle, high) are 138 to 140 and 141 to 143; the
// waveform menus of the middle and high band show each other's number.

// Tags of the controls without a parameter of their own.
inline constexpr long kTempoTextTag = 250;
inline constexpr long kFilterDisplayTag = 251;

// The bands sit side by side, 150 pixels apart (the high band's division menu one
// pixel further).
inline constexpr gui::PanelRow kRows[] = {
    {kLowSolo, PanelKind::keyedButton, {177, 276, 207, 292}, kSoloButton},
    {kMidSolo, PanelKind::keyedButton, {327, 276, 357, 292}, kSoloButton},
    {kHighSolo, PanelKind::keyedButton, {477, 276, 507, 292}, kSoloButton},
    {kTempoTextTag, PanelKind::own, {50, 78, 107, 100}, kTempoField},
    {kLowFreq, PanelKind::display, {97, 155, 133, 169}, kFrequencyField, 0, 0, gui::PanelText::frequency},
    {kMidFreq, PanelKind::display, {247, 155, 283, 169}, kFrequencyField, 0, 0, gui::PanelText::frequency},
    {kHighFreq, PanelKind::display, {397, 155, 433, 169}, kFrequencyField, 0, 0, gui::PanelText::frequency},
    {kLowFreq, PanelKind::knob, {104, 195, 126, 217}, kBandKnobs, 129, 22},
    {kMidFreq, PanelKind::knob, {254, 195, 276, 217}, kBandKnobs, 129, 22},
    {kHighFreq, PanelKind::knob, {404, 195, 426, 217}, kBandKnobs, 129, 22},
    {kLowLevel, PanelKind::knob, {174, 169, 196, 191}, kBandKnobs, 129, 22},
    {kMidLevel, PanelKind::knob, {324, 169, 346, 191}, kBandKnobs, 129, 22},
    {kHighLevel, PanelKind::knob, {474, 169, 496, 191}, kBandKnobs, 129, 22},
    {kLowLfoDepth, PanelKind::knob, {106, 278, 124, 296}, kDepthKnobs, 101, 18},
    {kMidLfoDepth, PanelKind::knob, {256, 278, 274, 296}, kDepthKnobs, 101, 18},
    {kHighLfoDepth, PanelKind::knob, {406, 278, 424, 296}, kDepthKnobs, 101, 18},
    {kBpm, PanelKind::knob, {69, 36, 87, 54}, kGlobalKnobs, 101, 18},
    {kMix, PanelKind::knob, {493, 36, 511, 54}, kGlobalKnobs, 101, 18},
    {kLowDiv, PanelKind::menu, {163, 343, 207, 364}, 138, 0, 0, gui::PanelText::centred, &gui::kDivisionMenu},
    {kMidDiv, PanelKind::menu, {313, 343, 357, 364}, 139, 0, 0, gui::PanelText::centred, &gui::kDivisionMenu},
    {kHighDiv, PanelKind::menu, {464, 343, 508, 364}, 140, 0, 0, gui::PanelText::centred, &gui::kDivisionMenu},
    {kLowModType, PanelKind::menu, {78, 343, 158, 364}, 141, 0, 0, gui::PanelText::centred, &gui::kWaveformMenu},
    {kMidModType, PanelKind::menu, {226, 343, 306, 364}, 143, 0, 0, gui::PanelText::centred, &gui::kWaveformMenu},
    {kHighModType, PanelKind::menu, {376, 343, 456, 364}, 142, 0, 0, gui::PanelText::centred, &gui::kWaveformMenu},
    {kFilterDisplayTag, PanelKind::own, {152, 46, 448, 128}, kFilterScreen},
};

// The filter curves: the low-pass and high-pass span the display, the band-pass
// travels inside it; all are as high as the display, so a level of 1 fills it.
inline constexpr int kBandPassWidth = 100;

}  // namespace orvex::panner::layout
