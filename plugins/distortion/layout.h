// Where the editor's controls sit on its panel, in panel pixels, and the sizes of the
// pictures they show. The editor places its controls from these; the picture generator
// draws the panel's labels and each control's backdrop from the same numbers.
// Plain numbers only: the generator runs at build time without the toolkit.
#pragma once

namespace orvex::distortion::layout {

struct Spot {
    int left;
    int top;
};
struct Rect {
    int left;
    int top;
    int right;
    int bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};

// The knob film strips: frames stacked vertically, each frame square.
inline constexpr int kLargeKnobFrames = 127;
inline constexpr int kLargeKnobSize = 22;
inline constexpr int kSmallKnobFrames = 101;
inline constexpr int kSmallKnobSize = 18;

// One entry per band, low, middle, high. Large knobs and solo buttons take their size
// from their pictures.
inline constexpr Spot kSolo[3] = {{179, 299}, {350, 299}, {521, 299}};
// The high band's read-out is two pixels narrower than the others.
inline constexpr Rect kFrequencyDisplay[3] = {{66, 156, 102, 170}, {237, 156, 273, 170}, {408, 156, 442, 170}};
inline constexpr Spot kFrequencyKnob[3] = {{73, 195}, {244, 195}, {415, 195}};
inline constexpr Spot kInputKnob[3] = {{163, 169}, {334, 169}, {505, 169}};
inline constexpr Spot kDriveKnob[3] = {{73, 265}, {244, 265}, {415, 265}};
inline constexpr Rect kOutputKnob[3] = {{165, 245, 183, 263}, {336, 245, 354, 263}, {507, 245, 525, 263}};
inline constexpr Rect kTypeMenu[3] = {{95, 346, 163, 362}, {266, 346, 334, 362}, {437, 346, 505, 362}};

inline constexpr Rect kMixKnob{493, 36, 511, 54};
inline constexpr Rect kFilterDisplay{152, 46, 448, 128};

}  // namespace orvex::distortion::layout
