// The phaser's parameter indices, shared by the effect, its editor and the editor's
// picture generator (which knows nothing else of the plug-in).
#pragma once

namespace orvex::phaser {

inline constexpr int kNumParams = 9;

// Parameter indices: the left channel's three, the right channel's three in the same
// order (so a partner is three places away), then the shared ones.
enum ParameterIndex {
    kLeftRate = 0, kLeftDepth, kLeftFeedback,
    kRightRate, kRightDepth, kRightFeedback,
    kMix, kLink, kWidth,
};
inline constexpr int kChannelParams = 3;

}  // namespace orvex::phaser
