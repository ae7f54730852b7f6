// Where the editor's controls sit and which picture each one shows: read by the editor
// to place its controls and by the picture generator to draw the panel around them.
// Plain numbers only, so the generator needs nothing of the toolkit.
#pragma once

namespace orvex::panner::layout {

struct Rect {
    int left, top, right, bottom;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Picture numbers.
enum Picture {
    kPanel = 128,
    kBandKnobs = 129,    // frequency and level knobs
    kGlobalKnobs = 130,  // tempo and mix knobs
    kDepthKnobs = 131,
    kSoloButton = 132,
    kTempoField = 133,
    kFilterScreen = 134,
    kLowPassCurve = 135,
    kBandPassCurve = 136,
    kHighPassCurve = 137,
    kFrequencyField = 144,
};
// Each band's menu backgrounds (low, middle, high); the waveform menus of the middle
// and high band show each other's number.
inline constexpr int kDivisionMenus[3] = {138, 139, 140};
inline constexpr int kWaveformMenus[3] = {141, 143, 142};

// Film strips: frames and the height of one frame (the knobs are as wide as high).
inline constexpr int kBandKnobFrames = 129;
inline constexpr int kBandKnobSize = 22;
inline constexpr int kSmallKnobFrames = 101;
inline constexpr int kSmallKnobSize = 18;
// The solo button's picture: two states of this size stacked, off above on.
inline constexpr int kSoloWidth = 30;
inline constexpr int kSoloStateHeight = 16;

// The left edges of one band's controls; the bands sit side by side.
struct BandColumn {
    int solo;
    int frequencyField;
    int frequency;
    int level;
    int depth;
    int division;
    int waveform;
};
inline constexpr BandColumn kBands[3] = {
    {177, 97, 104, 174, 106, 163, 78},
    {327, 247, 254, 324, 256, 313, 226},
    {477, 397, 404, 474, 406, 464, 376},
};
// Tops (and bottoms where the pictures do not fix them) of the band controls.
inline constexpr int kSoloTop = 276;
inline constexpr int kFrequencyFieldTop = 155;
inline constexpr int kFrequencyFieldBottom = 169;
inline constexpr int kFrequencyFieldWidth = 36;
inline constexpr int kFrequencyTop = 195;
inline constexpr int kFrequencyBottom = 217;
inline constexpr int kLevelTop = 169;
inline constexpr int kLevelBottom = 191;
inline constexpr int kDepthTop = 278;
inline constexpr int kMenuTop = 343;
inline constexpr int kMenuBottom = 364;
inline constexpr int kDivisionWidth = 44;
inline constexpr int kWaveformWidth = 80;

inline constexpr Rect kTempoText{50, 78, 107, 100};
inline constexpr Rect kTempoKnob{69, 36, 87, 54};
inline constexpr Rect kMixKnob{493, 36, 511, 54};
inline constexpr Rect kFilterDisplay{152, 46, 448, 128};

// The filter curves: the low-pass and high-pass span the display, the band-pass
// travels inside it; all are as high as the display, so a level of 1 fills it.
inline constexpr int kBandPassWidth = 100;

}  // namespace orvex::panner::layout
