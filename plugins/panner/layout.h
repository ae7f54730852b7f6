// The panner panel's rows (gui/panel.h): read by the editor to place its controls and
// by the picture generator to draw the panel around them.
#pragma once

#include "adelay.h"
#include "gui/panel.h"

namespace orvex::panner::layout {

using gui::Kind;

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
    {kLowSolo, Kind::keyedButton, {177, 276, 207, 292}, kSoloButton},
    {kMidSolo, Kind::keyedButton, {327, 276, 357, 292}, kSoloButton},
    {kHighSolo, Kind::keyedButton, {477, 276, 507, 292}, kSoloButton},
    {kTempoTextTag, Kind::own, {50, 78, 107, 100}, kTempoField},
    {kLowFreq, Kind::display, {97, 155, 133, 169}, kFrequencyField, 0, 0, gui::Text::frequency},
    {kMidFreq, Kind::display, {247, 155, 283, 169}, kFrequencyField, 0, 0, gui::Text::frequency},
    {kHighFreq, Kind::display, {397, 155, 433, 169}, kFrequencyField, 0, 0, gui::Text::frequency},
    {kLowFreq, Kind::knob, {104, 195, 126, 217}, kBandKnobs, 129, 22},
    {kMidFreq, Kind::knob, {254, 195, 276, 217}, kBandKnobs, 129, 22},
    {kHighFreq, Kind::knob, {404, 195, 426, 217}, kBandKnobs, 129, 22},
    {kLowLevel, Kind::knob, {174, 169, 196, 191}, kBandKnobs, 129, 22},
    {kMidLevel, Kind::knob, {324, 169, 346, 191}, kBandKnobs, 129, 22},
    {kHighLevel, Kind::knob, {474, 169, 496, 191}, kBandKnobs, 129, 22},
    {kLowLfoDepth, Kind::knob, {106, 278, 124, 296}, kDepthKnobs, 101, 18},
    {kMidLfoDepth, Kind::knob, {256, 278, 274, 296}, kDepthKnobs, 101, 18},
    {kHighLfoDepth, Kind::knob, {406, 278, 424, 296}, kDepthKnobs, 101, 18},
    {kBpm, Kind::knob, {69, 36, 87, 54}, kGlobalKnobs, 101, 18},
    {kMix, Kind::knob, {493, 36, 511, 54}, kGlobalKnobs, 101, 18},
    {kLowDiv, Kind::menu, {163, 343, 207, 364}, 138, 0, 0, gui::Text::centred, &gui::kDivisionMenu},
    {kMidDiv, Kind::menu, {313, 343, 357, 364}, 139, 0, 0, gui::Text::centred, &gui::kDivisionMenu},
    {kHighDiv, Kind::menu, {464, 343, 508, 364}, 140, 0, 0, gui::Text::centred, &gui::kDivisionMenu},
    {kLowModType, Kind::menu, {78, 343, 158, 364}, 141, 0, 0, gui::Text::centred, &gui::kWaveformMenu},
    {kMidModType, Kind::menu, {226, 343, 306, 364}, 143, 0, 0, gui::Text::centred, &gui::kWaveformMenu},
    {kHighModType, Kind::menu, {376, 343, 456, 364}, 142, 0, 0, gui::Text::centred, &gui::kWaveformMenu},
    {kFilterDisplayTag, Kind::own, {152, 46, 448, 128}, kFilterScreen},
};

// The filter curves: the low-pass and high-pass span the display, the band-pass
// travels inside it; all are as high as the display, so a level of 1 fills it.
inline constexpr int kBandPassWidth = 100;

}  // namespace orvex::panner::layout
