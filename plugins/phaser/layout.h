// Where the editor's controls sit and which pictures they show: read by the editor,
// which builds its controls from it, and by the picture generator, which draws the
// panel and the control pictures around the same places.
#pragma once

#include "parameters.h"

namespace orvex::phaser::layout {

// Frame pixels: left, top, right, bottom (right and bottom exclusive).
struct Box {
    int left;
    int top;
    int right;
    int bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};

// Picture numbers.
enum Picture {
    kPanel = 128,         // fixes the editor's size
    kChannelKnobs = 129,  // rate, depth and feedback of both channels
    kOutputKnobs = 130,   // mix and stereo width
    kLinkButton = 131,    // off above, on below
    kDisplay = 132,       // behind every value display
};

struct Knob {
    int parameter;
    Box box;
    int picture;
    int subImages;    // how many pictures the knob spreads its value over
    int imageHeight;  // one picture's height in the strip
};

// In the order the editor adds them, after the link button. The right feedback knob
// spreads its value over one picture more than the others, so the channel knobs'
// strip holds that many (its last picture repeats the full-scale one).
inline constexpr Knob kKnobs[] = {
    {kLeftRate, {49, 60, 71, 82}, kChannelKnobs, 127, 22},
    {kRightRate, {198, 60, 220, 82}, kChannelKnobs, 127, 22},
    {kLeftDepth, {80, 122, 102, 144}, kChannelKnobs, 127, 22},
    {kRightDepth, {229, 122, 251, 144}, kChannelKnobs, 127, 22},
    {kLeftFeedback, {110, 185, 132, 207}, kChannelKnobs, 127, 22},
    {kRightFeedback, {259, 185, 281, 207}, kChannelKnobs, 128, 22},
    {kMix, {381, 56, 399, 74}, kOutputKnobs, 101, 18},
    {kWidth, {381, 152, 399, 170}, kOutputKnobs, 101, 18},
};
inline constexpr int kNumKnobs = sizeof kKnobs / sizeof kKnobs[0];

inline constexpr Box kLinkBox{329, 47, 348, 78};

enum class Shows { hertz, percent };

struct Display {
    int parameter;
    Box box;
    Shows shows;
};

// In the order the editor adds them, after the knobs.
inline constexpr Display kDisplays[] = {
    {kLeftRate, {97, 79, 130, 89}, Shows::hertz},
    {kLeftFeedback, {158, 205, 191, 215}, Shows::percent},
    {kLeftDepth, {127, 142, 160, 152}, Shows::percent},
    {kRightRate, {246, 79, 279, 89}, Shows::hertz},
    {kRightFeedback, {307, 205, 340, 215}, Shows::percent},
    {kRightDepth, {277, 142, 310, 152}, Shows::percent},
    {kWidth, {374, 205, 407, 215}, Shows::percent},
    {kMix, {374, 109, 407, 119}, Shows::percent},
};
inline constexpr int kNumDisplays = sizeof kDisplays / sizeof kDisplays[0];

// The strips' frame counts: enough pictures for every knob that shows them.
constexpr int framesOf(int picture) {
    int frames = 0;
    for (const Knob& k : kKnobs)
        if (k.picture == picture && k.subImages > frames) frames = k.subImages;
    return frames;
}
constexpr int imageHeightOf(int picture) {
    for (const Knob& k : kKnobs)
        if (k.picture == picture) return k.imageHeight;
    return 0;
}

}  // namespace orvex::phaser::layout
