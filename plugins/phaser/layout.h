// The phaser panel's rows (gui/panel.h): read by the editor, which builds its controls
// from them, and by the picture generator, which draws the panel and the control
// pictures around the same places.
#pragma once

#include "gui/panel.h"
#include "parameters.h"

namespace orvex::phaser::layout {

using gui::Kind;
using gui::Text;

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
    {kLink, Kind::button, {329, 47, 348, 78}, kLinkButton},
    {kLeftRate, Kind::knob, {49, 60, 71, 82}, kChannelKnobs, 127, 22},
    {kRightRate, Kind::knob, {198, 60, 220, 82}, kChannelKnobs, 127, 22},
    {kLeftDepth, Kind::knob, {80, 122, 102, 144}, kChannelKnobs, 127, 22},
    {kRightDepth, Kind::knob, {229, 122, 251, 144}, kChannelKnobs, 127, 22},
    {kLeftFeedback, Kind::knob, {110, 185, 132, 207}, kChannelKnobs, 127, 22},
    {kRightFeedback, Kind::knob, {259, 185, 281, 207}, kChannelKnobs, 128, 22},
    {kMix, Kind::knob, {381, 56, 399, 74}, kOutputKnobs, 101, 18},
    {kWidth, Kind::knob, {381, 152, 399, 170}, kOutputKnobs, 101, 18},
    {kLeftRate, Kind::display, {97, 79, 130, 89}, kDisplay, 0, 0, Text::hertz},
    {kLeftFeedback, Kind::display, {158, 205, 191, 215}, kDisplay, 0, 0, Text::percent},
    {kLeftDepth, Kind::display, {127, 142, 160, 152}, kDisplay, 0, 0, Text::percent},
    {kRightRate, Kind::display, {246, 79, 279, 89}, kDisplay, 0, 0, Text::hertz},
    {kRightFeedback, Kind::display, {307, 205, 340, 215}, kDisplay, 0, 0, Text::percent},
    {kRightDepth, Kind::display, {277, 142, 310, 152}, kDisplay, 0, 0, Text::percent},
    {kWidth, Kind::display, {374, 205, 407, 215}, kDisplay, 0, 0, Text::percent},
    {kMix, Kind::display, {374, 109, 407, 119}, kDisplay, 0, 0, Text::percent},
};

}  // namespace orvex::phaser::layout
