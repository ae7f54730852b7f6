#include "bandfilter.h"

namespace orvex {

CBandFilter::CBandFilter(float sampleRate, FilterForm form)
    : highFilter(sampleRate, form), bandFilter(sampleRate, form), lowFilter(sampleRate, form) {
    CComponent::setSampleRate(lowFilter.getSampleRate());
    // Fixed responses, configured in the order built: the outer bands fully damped (no
    // resonance bump at their crossovers), the middle band moderately resonant. Cutoff
    // 0.7, drive 0.2 and "on" stay as each filter was built.
    highFilter.setType(svf::kHiPass);
    highFilter.setControl(0.0f, kCtlResonance);
    bandFilter.setType(svf::kBandPass);
    bandFilter.setControl(0.5f, kCtlResonance);
    lowFilter.setType(svf::kLowPass);
    lowFilter.setControl(0.0f, kCtlResonance);
}

void CBandFilter::setSampleRate(float rate) {
    highFilter.setSampleRate(rate);
    bandFilter.setSampleRate(rate);
    lowFilter.setSampleRate(rate);
    CComponent::setSampleRate(lowFilter.getSampleRate());
}

CStateVariable* CBandFilter::filterFor(int control) {
    switch (control) {
        case kCtlLowFreq: return &lowFilter;
        case kCtlMidFreq: return &bandFilter;
        case kCtlHighFreq: return &highFilter;
        default: return nullptr;
    }
}

void CBandFilter::setControl(float value, int control) {
    if (CStateVariable* filter = filterFor(control)) filter->setControl(value, kCtlCutoff);
}

void CBandFilter::setControlAutomated(float value, int control) {
    if (CStateVariable* filter = filterFor(control)) filter->setControlAutomated(value, kCtlCutoff);
}

void CBandFilter::getControl(char* text, int control) {
    if (CStateVariable* filter = filterFor(control)) filter->getControl(text, kCtlCutoff);
}

void CBandFilter::getControlName(char* text, int) { copyText(text, "Center Freq", kNameSize); }

void CBandFilter::getUnitOfMeasurement(char* text, int) { copyText(text, "Hz", 3); }

void CBandFilter::tick(float input, float* lowOut, float* bandOut, float* highOut) {
    *lowOut = lowFilter.tick(input);
    *bandOut = bandFilter.tick(input);
    *highOut = highFilter.tick(input);
}

void CBandFilter::process(const float* input, float* lowOut, float* bandOut, float* highOut, int count) {
    if (!lowOut || !bandOut || !highOut) return;
    processWith(input, count, [=](int i, __m128 bands) {
        const auto y = lanesOf(bands);
        lowOut[i] = y[0];
        bandOut[i] = y[1];
        highOut[i] = y[2];
    });
}

void CBandFilter::processBlocks(const float* input, float* lowOut, float* bandOut, float* highOut, int count) {
    if (!input || !lowOut || !bandOut || !highOut) return;
    if (count > 0 && asBuilt()) {
        // processBlockNoUpdate's arithmetic and its once-a-block check, for the three
        // filters at once: a filter whose block put out anything not finite, or whose
        // state is no longer finite, starts the next block from rest, and its block's
        // non-finite samples become silence.
        Lanes lanes(*this);
        __m128 zeros = _mm_setzero_ps();
        auto step = [&]<bool Steady>(int i) {
            const __m128 y = lanes.template passes<Steady, false>(input[i]);
            zeros = _mm_add_ps(zeros, _mm_sub_ps(y, y));
            const auto bands = lanesOf(y);
            lowOut[i] = bands[0];
            bandOut[i] = bands[1];
            highOut[i] = bands[2];
        };
        int i = 0;
        for (; i < count && i < 2; ++i) step.template operator()<false>(i);
        for (; i < count; ++i) step.template operator()<true>(i);
        const __m128 ok = lanes.finite(zeros);
        if (!Lanes::allFinite(ok)) {
            lanes.restartBroken(ok);
            const int good = _mm_movemask_ps(ok);
            float* outs[3] = {lowOut, bandOut, highOut};
            for (int k = 0; k < 3; ++k)
                if (!(good & (1 << k))) silenceNonFinite(outs[k], count);
        }
        lanes.store(*this);
        return;
    }
    if (lowFilter.onOff.on) lowFilter.processBlockNoUpdate(input, lowOut, count);
    if (bandFilter.onOff.on) bandFilter.processBlockNoUpdate(input, bandOut, count);
    if (highFilter.onOff.on) highFilter.processBlockNoUpdate(input, highOut, count);
}

}  // namespace orvex
