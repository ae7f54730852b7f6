#include "statevariable.h"

#include <algorithm>
#include <cmath>

#include "ramp.h"

namespace orvex {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kDefaultRate = 44100.0f;

bool isUsableRate(float rate) { return std::isfinite(rate) && rate > 0.0f; }

}  // namespace

CStateVariable::CStateVariable(float sampleRate, FilterForm form)
    : Kernel{{.freqSet = 0.01f, .dampSet = 0.01f, .freqMax = 0.25f, .dampMax = 2.0f, .driveCoef = 0}, {}},
      filterForm(form) {
    const float rate = isUsableRate(sampleRate) ? sampleRate : kDefaultRate;
    CComponent::setSampleRate(rate);
    oversampledRate = 2.0f * rate;

    cutoffParam.setExpRange(kLowestCutoff, kHighestCutoff);
    typeParam.setIndexRange(kLowPass, kPeak, svf::kResponseScale);

    setType(kLowPass);
    setControl(0.7f, kCtlCutoff);  // about 3314 Hz
    setControl(0.2f, kCtlResonance);
    setControl(0.2f, kCtlDrive);
    setControl(1.0f, kCtlOnOff);
}

void CStateVariable::setSampleRate(float rate) {
    if (!isUsableRate(rate)) return;
    CComponent::setSampleRate(rate);
    oversampledRate = 2.0f * rate;
}

float CStateVariable::cutoffOf(float value) {
    CParameter range;
    range.setExpRange(kLowestCutoff, kHighestCutoff);
    return range.getSetExpValue(value);
}

// Coefficient of the oversampled integrators for a normalised cutoff value; also keeps
// the mapped frequency in the parameter record for display.
float CStateVariable::cutoffCoefficient(float value) {
    const float hz = cutoffParam.getSetExpValue(value);
    return 2.0f * (hz * kPi / oversampledRate);
}

// Damping for a resonance value in 0..1: 2 at no resonance, 0 at full resonance.
float CStateVariable::dampingOf(float value) const {
    const float root = filterForm == FilterForm::kPerSample
                           ? static_cast<float>(std::pow(static_cast<double>(value), 0.25))
                           : std::pow(value, 0.25f);
    return 2.0f * (1.0f - root);
}

void CStateVariable::setType(int newType) {
    type = newType;
    switch (newType) {
        case kLowPass: selected = &low; break;
        case kBandPass: selected = &band; break;
        case kHiPass: selected = &high; break;
        case kNotch: selected = &notch; break;
        case kPeak: selected = &peak; break;
        default: return;
    }
    copyText(typeName, svf::kResponseNames[newType], sizeof typeName);
}

void CStateVariable::setControl(float value, int control) {
    switch (control) {
        case kCtlCutoff:
            freqSet = cutoffCoefficient(value);
            break;
        case kCtlResonance:
            // Outside 0..1 the damping turns negative (a filter that grows by itself) or
            // the limiter starts adding energy.
            resonance = unitRange(value);
            dampSet = dampingOf(resonance);
            break;
        case kCtlDrive: {
            const float drive = unitRange(value);
            drivePercent = 100.0f * drive;
            driveCoef = 0.1f * (1.0f - drive);
            break;
        }
        case kCtlFilterType:
            setType(typeParam.getSetIndex(value));
            break;
        case kCtlOnOff:
            onOff.setOnOff(value);
            break;
        default:
            break;
    }
}

void CStateVariable::setControlAutomated(float value, int control) {
    switch (control) {
        case kCtlCutoff:
            rampCall(freqRampCount, [&] {
                freqRampTarget = cutoffCoefficient(value);
                freqRampStep = (freqRampTarget - freqSet) * kRampStep;
            });
            freqSet += freqRampStep;
            break;
        case kCtlResonance:
            rampCall(dampRampCount, [&] {
                resonance = unitRange(value);
                dampRampTarget = dampingOf(resonance);
                dampRampStep = (dampRampTarget - dampSet) * kRampStep;
            });
            // A glide down to full resonance can end a rounding error below zero, and a
            // negative damping makes the undamped (drive 1.0) filter grow by itself:
            // the damping stops at 0.
            dampSet = std::max(0.0f, dampSet + dampRampStep);
            break;
        case kCtlDrive:
        case kCtlFilterType:
        case kCtlOnOff:
            setControl(value, control);
            break;
        default:
            break;
    }
}

void CStateVariable::getControl(char* text, int control) {
    switch (control) {
        case kCtlCutoff: floatToString(cutoffParam.expResult, text); break;
        case kCtlResonance: floatToString(100.0f * resonance, text); break;
        case kCtlDrive: floatToString(drivePercent, text); break;
        case kCtlFilterType: copyText(text, typeName, kNameSize); break;
        case kCtlOnOff: onOff.getOnOff(text); break;
        default: break;
    }
}

void CStateVariable::getControlName(char* text, int control) { svf::controlName(text, control); }

void CStateVariable::getUnitOfMeasurement(char* text, int control) { svf::unitOfMeasurement(text, control); }

void CStateVariable::clearState() {
    notch = low = band = high = peak = output = 0.0f;
}

float CStateVariable::tick(float input) {
    // A NaN or infinite input sample would stay in the integrators for ever. Checking
    // after every sample costs three finiteness tests on values already in registers
    // and a branch that is never taken in practice; `tick` has no block boundary at which to
    // check less often, and callers drive it one sample at a time from their own loops.
    // That sample comes out as silence and the filter starts again from rest.
    Voice voice(*this);
    const float y = voice.tick(input);
    voice.store(*this);
    return y;
}

void CStateVariable::processBlockNoUpdate(const float* input, float* outputBuffer, int count) {
    if (count <= 0 || !input || !outputBuffer) return;
    // Collects output × 0 over the block: it stays 0 while every output sample is finite
    // and turns NaN at the first one that is not, so the loop itself carries no branch.
    float poison = 0.0f;
    Voice voice(*this);
    voice.withResponse([&]<svf::Response Out>() {
        const auto step = [&]<bool Steady>(int i) {
            const float y = voice.passesAs<Out, Steady>(input[i]);
            outputBuffer[i] = y;
            poison += y * 0.0f;
        };
        int i = 0;
        for (; i < count && i < 2; ++i) step.template operator()<false>(i);
        for (; i < count; ++i) step.template operator()<true>(i);
    });
    voice.store(*this);
    // A non-finite input sample poisons the state for good; it is caught once per block
    // here, the block's non-finite samples become silence, and the filter starts the
    // next block from rest. So the output is finite again at the latest with the block
    // after the one that carried the bad input.
    if (!(poison == 0.0f && std::isfinite(low) && std::isfinite(band))) {
        clearState();
        silenceNonFinite(outputBuffer, count);
    }
}

}  // namespace orvex
