#include "shaper.h"

#include "dsp/utility.h"

namespace orvex::filter {

namespace {
constexpr int kTextCapacity = 16;
}

void CWaveShaper1::setControl(float value, int) {
    if (std::isnan(value)) return;
    value = unitRange(value);
    drivePercent = value * 100.0f;
    shape = value * 0.5f + 0.49f;
    curve = (shape + shape) / (1.0f - shape);
    gain = curve + 1.0f;
}

void CWaveShaper1::getControl(char* text, int) { floatToString(drivePercent, text); }

void CWaveShaper1::getControlName(char* text, int) { copyText(text, "Drive", kTextCapacity); }

void CWaveShaper1::getUnitOfMeasurement(char* text, int) { copyText(text, "%", kTextCapacity); }

}  // namespace orvex::filter
