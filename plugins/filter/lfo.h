// The filter plug-in's LFO: the shared tempo-synchronised LFO (same controls, texts,
// tables, rate and song-position lock) with two differences. It writes one value per
// sample into a buffer instead of one value per call, and its sine table is computed
// with the sine and 2 pi in double precision.
//
// Threads: `process` runs on the audio thread; controls as for the shared LFO.
#pragma once

#include "dsp/lfo.h"

namespace orvex::filter {

class CLfo : public orvex::CLfo {
public:
    explicit CLfo(float sampleRate) : orvex::CLfo(sampleRate, SinePrecision::kDouble) {}

    // Audio thread: `sampleCount` values (0..1), one per sample, after locking the
    // phase to the song position when the host's position has moved. The position is
    // set before the block and stays for all of it, so the lock can only act on the
    // first sample and is taken once.
    void process(float* output, int sampleCount);

private:
    // This form has no control-rate read.
    using orvex::CLfo::processBlock;
};

}  // namespace orvex::filter
