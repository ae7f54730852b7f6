#include "algorithms.h"

#include <cmath>

#include "dsp/utility.h"

namespace orvex::distortion {

namespace {

constexpr float kPi = 3.1415927f;

// A held sample that is not a number would sound (or stay silent as NaN) until the
// next sample is taken, which at the slowest settings is a hundred samples away or
// never: such a sample is held as silence.
inline float holdable(float sample) { return finiteOrSilence(sample); }

}  // namespace

// Base and "bypass" -------------------------------------------------------------

CDistortion::CDistortion(float sampleRate) { CComponent::setSampleRate(sampleRate); }

void CDistortion::setControl(float value, int) { drive = unitRange(value); }

void CDistortion::getControl(char* text, int) { floatToString(100.0f * drive, text); }

void CDistortion::getControlName(char* text, int) { copyText(text, "Drive", kNameSize); }

void CDistortion::getUnitOfMeasurement(char* text, int) { copyText(text, "%", 2); }

void CDistortion::process(const float* input, float* output, int count) {
    for (int i = 0; i < count; ++i) output[i] = input[i];
}

// "Anihilator" ------------------------------------------------------------------

CDistortion1::CDistortion1(float sampleRate) : CDistortion(sampleRate) { setControl(0.5f, 0); }

void CDistortion1::setControl(float value, int) {
    drive = unitRange(value);
    const float m = 4.9f * drive + 0.1f;
    phaseScale = m * kPi;
    normGain = static_cast<float>(1.0 / std::sin(static_cast<double>(phaseScale)));
    if (!(std::fabs(normGain) <= kNormGainLimit)) normGain = std::copysign(kNormGainLimit, normGain);
    threshold = 1.0f / (4.9f * drive + 0.1f);
}

void CDistortion1::process(const float* input, float* output, int count) {
    const float scale = phaseScale;
    const float gain = normGain;
    const float top = threshold;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        output[i] = x > top ? 1.0f : std::sin(x * scale) * gain;
    }
}

// "Soft shaper" -----------------------------------------------------------------

template <> void CDistortion2::process(const float* input, float* output, int count) {
    const float d = drive;
    for (int i = 0; i < count; ++i) {
        const float c = 2.0f * d * input[i] * 0.686306f;
        const float knee = 1.0f + std::exp(-0.75f * std::sqrt(std::fabs(c)));
        const float ec = std::exp(c);
        const float numerator = ec - std::exp(-c * knee);
        const float denominator = std::exp(-c) + ec;
        // Beyond |c| of about 88 a power overflows and the ratio would be inf / inf or
        // -inf; the curve has settled at +1 or -1 long before.
        output[i] = std::isfinite(numerator) && std::isfinite(denominator) ? numerator / denominator
                                                                           : (c > 0.0f ? 1.0f : -1.0f);
    }
}

// "Tubetek" ---------------------------------------------------------------------

template <> void CDistortion3::process(const float* input, float* output, int count) {
    const float d = drive;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        output[i] = 1.5f * d * x + x * (-0.5f * d * x * x);
    }
}

// "Slaughter" -------------------------------------------------------------------

CDistortion4::CDistortion4(float sampleRate) : CDistortion(sampleRate) { setControl(0.5f, 0); }

void CDistortion4::setControl(float value, int) {
    drive = unitRange(value);
    shape = 0.5f * drive + 0.49f;
    curve = 2.0f * shape / (1.0f - shape);
}

void CDistortion4::process(const float* input, float* output, int count) {
    const float k = curve;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        output[i] = (k + 1.0f) * x / (std::fabs(x) * k + 1.0f);
    }
}

// "Destroy" ---------------------------------------------------------------------

CDistortion5::CDistortion5(float sampleRate) : CDistortion(sampleRate) { setControl(0.5f, 0); }

void CDistortion5::setControl(float value, int) {
    drive = unitRange(value);
    knee = 1000.0f * drive + 1.0f;
}

void CDistortion5::process(const float* input, float* output, int count) {
    const float k = knee;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        const float b = std::fabs(x);
        output[i] = (b + k) * x / (x * x + b * (k - 1.0f) + 1.0f);
    }
}

// "Digitron" --------------------------------------------------------------------

CDistortion6::CDistortion6(float sampleRate) : CDistortion(sampleRate) { setControl(0.5f, 0); }

void CDistortion6::setControl(float value, int) {
    drive = 100.0f * unitRange(value);
    holdLength = static_cast<int>(drive);
}

void CDistortion6::getControl(char* text, int) { floatToString(drive, text); }

void CDistortion6::process(const float* input, float* output, int count) {
    const int length = holdLength;
    int counter = holdCount;
    float held = heldSample;
    for (int i = 0; i < count; ++i) {
        if (++counter > length) {
            counter = 0;
            held = holdable(input[i]);
        }
        output[i] = held;
    }
    holdCount = counter;
    heldSample = held;
}

// "Quantize" --------------------------------------------------------------------

CDistortion7::CDistortion7(float sampleRate) : CDistortion(sampleRate) { setBitDepth(16); }

void CDistortion7::getControlName(char* text, int) { copyText(text, "SampleRate", kNameSize); }

void CDistortion7::setBitDepth(int bits) {
    quantScale = 1 << ((bits - 1) & 31);
    quantStep = 1.0f / static_cast<float>(quantScale);
}

void CDistortion7::process(const float* input, float* output, int count) {
    const float step = drive;
    const float scale = static_cast<float>(quantScale);
    const float unit = quantStep;
    float p = phase;
    float held = heldSample;
    for (int i = 0; i < count; ++i) {
        p += step;
        if (p >= 1.0f) {
            p -= 1.0f;
            // Rounds towards zero like a conversion to an integer. From 2^23 on every
            // float is whole and the scale is a power of two, so the sample is its own
            // result; taking it as it is also keeps a loud one from overflowing.
            const float x = input[i];
            const float scaled = scale * x;
            held = holdable(std::fabs(scaled) < 8388608.0f ? std::trunc(scaled) * unit : x);
        }
        output[i] = held;
    }
    phase = p;
    heldSample = held;
}

// "Top side" --------------------------------------------------------------------

CDistortion8::CDistortion8(float sampleRate) : CDistortion(sampleRate) { setControl(0.5f, 0); }

void CDistortion8::setControl(float value, int) {
    drive = unitRange(value);
    power = 74.0f * drive + 1.0f;
    invPower = 1.0f / power;
}

void CDistortion8::process(const float* input, float* output, int count) {
    const float p = power;
    const float root = invPower;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        const float a = std::pow(std::fabs(x), p);
        // |x|^power overflows for loud inputs (above 10.4 at the default drive); the
        // envelope a / (0.28 a^2 + 1) falls to 0 as a grows, and so does the output.
        output[i] = std::isinf(a) ? 0.0f : std::sin(x) * std::pow(a / (a * a * 0.28f + 1.0f), root);
    }
}

// "Intimdator" ------------------------------------------------------------------

template <> void CDistortion9::process(const float* input, float* output, int count) {
    const float d = drive;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        const float b = std::fabs(x);
        if (b < d) {
            output[i] = b;
        } else if (b > d) {
            const float q = 1.0f + (b - d) / (1.0f - d);
            output[i] = d + (b - d) / (q * q);
        } else {
            output[i] = b > 1.0f ? (d + 1.0f) * 0.5f : x;
        }
    }
}

// "Violator" --------------------------------------------------------------------

CDistortion10::CDistortion10(float sampleRate) : CDistortion(sampleRate) {
    clipParam.setLinearRange(0.05f, 0.5f);
    setControl(0.5f, 0);
}

void CDistortion10::setControl(float value, int) {
    drive = unitRange(value);
    clipLevel = clipParam.getSetLinearValue(drive);
}

void CDistortion10::process(const float* input, float* output, int count) {
    const float level = clipLevel;
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        output[i] = std::fabs(x + level) - std::fabs(x - level);
    }
}

}  // namespace orvex::distortion
