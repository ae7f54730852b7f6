#include "lfo.h"

namespace orvex::filter {

void CLfo::process(float* out, int sampleCount) {
    if (!out || sampleCount <= 0) return;
    lockToSongPosition();
    const float* const wave = table;
    const float increment = phaseIncrement;
    float position = phase;
    for (int i = 0; i < sampleCount; ++i) {
        out[i] = interpolate(wave, position);
        position = stepped(position, increment);
    }
    phase = position;
}

}  // namespace orvex::filter
