// The phaser panel's rows (gui/panel.h): read by the editor, which builds its controls
// from them, and by the picture generator, which draws the panel and the control
// pictures around the same places.
#pragma once

#include "gui/panel.h"
#include "parameters.h"

namespace orvex::phaser::layout {

using gui::PanelKind;
using gui::PanelText;

// Picture numbers.
enum Picture {
    kPanel = 128,         // fixes the editor's size
    kChannelKnobs = 129,  // rate, depth and feedback of both channels
    kOutputKnobs = 130,   // mix and stereo width
    kLinkButton = 131,    // off above, on below
    kDisplay = 132,       // behind every value display
};

// The link button, the knobs, then the displays. The right feedback knob spreads its
// value over one picture more than the others, so the channel knobs' strip holds that
// many (its last picture repeats the full-scale one).
inline constexpr gui::PanelRow kRows[] = {
    {kLink, PanelKind::button, {329, 47, 348, 78}, kLinkButton},
    {kLeftRate, PanelKind::knob, {49, 60, 71, 82}, kChannelKnobs, 127, 22},
    {kRightRate, PanelKind::knob, {198, 60, 220, 82}, kChannelKnobs, 127, 22},
    {kLeftDepth, PanelKind::knob, {80, 122, 102, 144}, kChannelKnobs, 127, 22},
    {kRightDepth, PanelKind::knob, {229, 122, 251, 144}, kChannelKnobs, 127, 22},
    {kLeftFeedback, PanelKind::knob, {110, 185, 132, 207}, kChannelKnobs, 127, 22},
    {kRightFeedback, PanelKind::knob, {259, 185, 281, 207}, kChannelKnobs, 128, 22},
    {kMix, PanelKind::knob, {381, 56, 399, 74}, kOutputKnobs, 101, 18},
    {kWidth, PanelKind::knob, {381, 152, 399, 170}, kOutputKnobs, 101, 18},
    {kLeftRate, PanelKind::display, {97, 79, 130, 89}, kDisplay, 0, 0, PanelText::hertz},
    {kLeftFeedback, PanelKind::display, {158, 205, 191, 215}, kDisplay, 0, 0, PanelText::percent},
    {kLeftDepth, PanelKind::display, {127, 142, 160, 152}, kDisplay, 0, 0, PanelText::percent},
    {kRightRate, PanelKind::display, {246, 79, 279, 89}, kDisplay, 0, 0, PanelText::hertz},
    {kRightFeedback, PanelKind::display, {307, 205, 340, 215}, kDisplay, 0, 0, PanelText::percent},
    {kRightDepth, PanelKind::display, {277, 142, 310, 152}, kDisplay, 0, 0, PanelText::percent},
    {kWidth, PanelKind::display, {374, 205, 407, 215}, kDisplay, 0, 0, PanelText::percent},
    {kMix, PanelKind::display, {374, 109, 407, 119}, kDisplay, 0, 0, PanelText::percent},
};

}  // namespace orvex::phaser::layout
