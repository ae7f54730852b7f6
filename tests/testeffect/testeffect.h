// What the test effect reports through effVendorSpecific (index = probe).
#pragma once

#include "host/vst2.h"

namespace orvex {

inline constexpr VstInt32 kTestEffectId = fourCharCode('O', 'x', 'T', 'e');
inline constexpr int kTestEffectPrograms = 4;

enum TestProbe : VstInt32 {
    kProbeBundle = 1000,   // writes the bundle folder into ptr (value = capacity)
    kProbeAppliedTempo,    // tempo last set on the tempo-following units, × 1000
    kProbeSongPosition,    // song position of the last block, × 1000
    kProbeLastNote,
    kProbeLargestChunk,    // longest piece doProcess was handed
    kProbeBufferSize,      // samples per internal buffer
    kProbeEditorOpens,
    kProbeEditorIdles,
    kProbeEditorUpdates,
    kProbeEditorLastIndex,
    kProbeEditorBpm,       // × 1000
    kProbeSampleRate,
};

}  // namespace orvex
