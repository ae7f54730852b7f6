// The distortion panel's rows (gui/panel.h), in panel pixels: the editor builds its
// controls from them; the picture generator draws the panel's labels and each control's
// backdrop around the same places.
#pragma once

#include "adelay.h"
#include "gui/panel.h"

namespace orvex::distortion::layout {

using gui::PanelKind;

// The pictures, by resource number.
enum Picture : long {
    kPanel = 128,
    kLargeKnob,     // 127 frames of 22 pixels
    kSmallKnob,     // 101 frames of 18 pixels
    kDisplayBack,   // behind the crossover read-outs
    kSoloButton,    // off above, on below (26 x 14 each); white is left out
    kMenuBack,      // behind the type menus
    kFilterBack,    // the filter display's glass, then its three curves
};
// The filter display has no parameter of its own.
inline constexpr long kFilterDisplayTag = 250;

// The type menus: the block's type steps as adelay.h lists them.
inline constexpr gui::PanelMenu kTypeMenu{kTypeEntries, kTypeValues, CDistortionBlock::kNumSteps,
                                          CDistortionBlock::kStepScale};

// The band columns (low, middle, high) are 171 pixels apart; the high band's read-out
// is two pixels narrower than the others.
inline constexpr gui::PanelRow kRows[] = {
    {kLowSolo, PanelKind::keyedButton, {179, 299, 205, 313}, kSoloButton},
    {kMidSolo, PanelKind::keyedButton, {350, 299, 376, 313}, kSoloButton},
    {kHighSolo, PanelKind::keyedButton, {521, 299, 547, 313}, kSoloButton},
    {kLowFreq, PanelKind::display, {66, 156, 102, 170}, kDisplayBack, 0, 0, gui::PanelText::frequency},
    {kMidFreq, PanelKind::display, {237, 156, 273, 170}, kDisplayBack, 0, 0, gui::PanelText::frequency},
    {kHighFreq, PanelKind::display, {408, 156, 442, 170}, kDisplayBack, 0, 0, gui::PanelText::frequency},
    {kLowFreq, PanelKind::knob, {73, 195, 95, 217}, kLargeKnob, 127, 22},
    {kMidFreq, PanelKind::knob, {244, 195, 266, 217}, kLargeKnob, 127, 22},
    {kHighFreq, PanelKind::knob, {415, 195, 437, 217}, kLargeKnob, 127, 22},
    {kLowInputLevel, PanelKind::knob, {163, 169, 185, 191}, kLargeKnob, 127, 22},
    {kMidInputLevel, PanelKind::knob, {334, 169, 356, 191}, kLargeKnob, 127, 22},
    {kHighInputLevel, PanelKind::knob, {505, 169, 527, 191}, kLargeKnob, 127, 22},
    {kLowDrive, PanelKind::knob, {73, 265, 95, 287}, kLargeKnob, 127, 22},
    {kMidDrive, PanelKind::knob, {244, 265, 266, 287}, kLargeKnob, 127, 22},
    {kHighDrive, PanelKind::knob, {415, 265, 437, 287}, kLargeKnob, 127, 22},
    {kMix, PanelKind::knob, {493, 36, 511, 54}, kSmallKnob, 101, 18},
    {kLowOutputLevel, PanelKind::knob, {165, 245, 183, 263}, kSmallKnob, 101, 18},
    {kMidOutputLevel, PanelKind::knob, {336, 245, 354, 263}, kSmallKnob, 101, 18},
    {kHighOutputLevel, PanelKind::knob, {507, 245, 525, 263}, kSmallKnob, 101, 18},
    {kLowType, PanelKind::menu, {95, 346, 163, 362}, kMenuBack, 0, 0, gui::PanelText::centred, &kTypeMenu},
    {kMidType, PanelKind::menu, {266, 346, 334, 362}, kMenuBack, 0, 0, gui::PanelText::centred, &kTypeMenu},
    {kHighType, PanelKind::menu, {437, 346, 505, 362}, kMenuBack, 0, 0, gui::PanelText::centred, &kTypeMenu},
    {kFilterDisplayTag, PanelKind::own, {152, 46, 448, 128}, kFilterBack},
};

}  // namespace orvex::distortion::layout
