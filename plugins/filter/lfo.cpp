#include "lfo.h"

namespace orvex::filter {

void CLfo::process(float* out, int sampleCount) {
    if (!out || sampleCount <= 0) return;
    lockToSongPosition();
    const float* const wave = table;
    const float increment = phaseIncrement;
    float position = phase;
    int index = tableIndex;
    float part = fraction;
    for (int i = 0; i < sampleCount; ++i) {
        out[i] = interpolate(wave, position, index, part);
        position = stepped(position, increment);
    }
    phase = position;
    tableIndex = index;
    fraction = part;
    output = out[sampleCount - 1];
}

}  // namespace orvex::filter
