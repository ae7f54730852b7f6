#include "bandfilter.h"

namespace orvex {

CBandFilter::CBandFilter(float sampleRate, FilterForm form)
    : CEffect("BandF", 3), highFilter(sampleRate, form), bandFilter(sampleRate, form), lowFilter(sampleRate, form) {
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
    if (!input || !lowOut || !bandOut || !highOut) return;
    // The three filters side by side, their states in registers for the block: the
    // three recursions overlap, and the samples are those of `tick`, bit for bit. As
    // built (all on, each with its own response) the responses are known here and the
    // loop has no branch to take; otherwise each voice picks its output per sample.
    CStateVariable::Voice low(lowFilter), band(bandFilter), high(highFilter);
    if (low.runs(svf::kLowPass) && band.runs(svf::kBandPass) && high.runs(svf::kHiPass)) {
        auto step = [&]<bool Steady>(int i) {
            const float x = input[i];
            lowOut[i] = low.tickAs<svf::kLowPass, Steady>(x);
            bandOut[i] = band.tickAs<svf::kBandPass, Steady>(x);
            highOut[i] = high.tickAs<svf::kHiPass, Steady>(x);
        };
        int i = 0;
        for (; i < count && i < 2; ++i) step.template operator()<false>(i);
        for (; i < count; ++i) step.template operator()<true>(i);
    } else {
        for (int i = 0; i < count; ++i) {
            const float x = input[i];
            lowOut[i] = low.tick(x);
            bandOut[i] = band.tick(x);
            highOut[i] = high.tick(x);
        }
    }
    low.store(lowFilter);
    band.store(bandFilter);
    high.store(highFilter);
}

void CBandFilter::processBlocks(const float* input, float* lowOut, float* bandOut, float* highOut, int count) {
    if (!input || !lowOut || !bandOut || !highOut) return;
    if (lowFilter.onOff.on) lowFilter.processBlockNoUpdate(input, lowOut, count);
    if (bandFilter.onOff.on) bandFilter.processBlockNoUpdate(input, bandOut, count);
    if (highFilter.onOff.on) highFilter.processBlockNoUpdate(input, highOut, count);
}

}  // namespace orvex
