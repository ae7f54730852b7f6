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

// std::clamp(x, low, high) is x < low ? low : (high < x ? high : x); maxps(a, b) is
// a > b ? a : b and minps(a, b) a < b ? a : b, a NaN x answering x in both, as clamp.
void CWaveShaper1::saturateAndBlend(const float* x, const float* dry, float* out, int sampleCount, float gain,
                                    float curve, float wet, float dryGain) {
    const __m128 low = _mm_set1_ps(-kInputLimit), high = _mm_set1_ps(kInputLimit);
    const __m128 gains = _mm_set1_ps(gain), wets = _mm_set1_ps(wet), dryGains = _mm_set1_ps(dryGain);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128d curves = _mm_set1_pd(static_cast<double>(curve)), one = _mm_set1_pd(1.0);
    int i = 0;
    for (; i + 4 <= sampleCount; i += 4) {
        const __m128 bounded = _mm_min_ps(high, _mm_max_ps(low, _mm_loadu_ps(x + i)));
        const __m128 scaled = _mm_mul_ps(bounded, gains);
        const __m128 size = _mm_and_ps(bounded, magnitude);
        const __m128d first = _mm_div_pd(_mm_cvtps_pd(scaled), _mm_add_pd(_mm_mul_pd(curves, _mm_cvtps_pd(size)), one));
        const __m128d second = _mm_div_pd(_mm_cvtps_pd(_mm_movehl_ps(scaled, scaled)),
                                          _mm_add_pd(_mm_mul_pd(curves, _mm_cvtps_pd(_mm_movehl_ps(size, size))), one));
        const __m128 saturated = _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second));
        _mm_storeu_ps(out + i, _mm_add_ps(_mm_mul_ps(saturated, wets), _mm_mul_ps(_mm_loadu_ps(dry + i), dryGains)));
    }
    for (; i < sampleCount; ++i) out[i] = saturate(x[i], gain, curve) * wet + dry[i] * dryGain;
}

void CWaveShaper1::getControl(char* text, int) { floatToString(drivePercent, text); }

void CWaveShaper1::getControlName(char* text, int) { copyText(text, "Drive", kTextCapacity); }

void CWaveShaper1::getUnitOfMeasurement(char* text, int) { copyText(text, "%", kTextCapacity); }

}  // namespace orvex::filter
