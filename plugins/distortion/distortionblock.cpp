#include "distortionblock.h"

#include "dsp/utility.h"

namespace orvex::distortion {

namespace {

constexpr const char* kStepNames[CDistortionBlock::kNumSteps] = {
    "Anihilator",  "Soft shaper", "Tubetek",  "Slaughter",  "Destroy",    "Digitron", "Quantize 16",
    "Quantize 12", "Quantize 8",  "Quantize 4", "Top side", "Intimdator", "Violator", "bypass",
};

// The quantiser steps share one instance at these bit depths.
constexpr int kQuantizeBits[] = {16, 12, 8, 4};

}  // namespace

CDistortionBlock::CDistortionBlock(float sampleRate)
    : anihilator(sampleRate),
      softShaper(sampleRate),
      tubetek(sampleRate),
      slaughter(sampleRate),
      destroy(sampleRate),
      digitron(sampleRate),
      quantizer(sampleRate),
      topSide(sampleRate),
      intimdator(sampleRate),
      violator(sampleRate),
      bypass(sampleRate) {
    typeParam.setIndexRange(0, kNumSteps - 1, kStepScale);
    typeParam.getSetIndex(0.0f);
    setSampleRate(sampleRate);
}

void CDistortionBlock::setSampleRate(float rate) {
    CComponent::setSampleRate(rate);
    for (CDistortion* a : algorithms()) a->setSampleRate(rate);
}

std::array<CDistortion*, 11> CDistortionBlock::algorithms() {
    return {&anihilator, &softShaper, &tubetek, &slaughter, &destroy,   &digitron,
            &quantizer,  &topSide,    &intimdator, &violator, &bypass};
}

void CDistortionBlock::select(int newStep) {
    switch (newStep) {
        case kAnihilator: current = &anihilator; break;
        case kSoftShaper: current = &softShaper; break;
        case kTubetek: current = &tubetek; break;
        case kSlaughter: current = &slaughter; break;
        case kDestroy: current = &destroy; break;
        case kDigitron: current = &digitron; break;
        case kQuantize16:
        case kQuantize12:
        case kQuantize8:
        case kQuantize4:
            quantizer.setBitDepth(kQuantizeBits[newStep - kQuantize16]);
            current = &quantizer;
            break;
        case kTopSide: current = &topSide; break;
        case kIntimdator: current = &intimdator; break;
        case kViolator: current = &violator; break;
        default: current = &bypass; break;
    }
    step = newStep;
    // Whatever drive the algorithm had when it was last left, it takes the current one.
    current->setControl(driveValue, 0);
}

void CDistortionBlock::setControl(float value, int control) {
    switch (control) {
        case kCtlDrive:
            driveValue = value;
            current->setControl(value, 0);
            break;
        case kCtlType:
            select(typeParam.getSetIndex(value));
            break;
        case kCtlInputLevel:
            inputGain = gainOf(value);
            break;
        case kCtlOutputLevel:
            outputGain = gainOf(value);
            break;
        default:
            break;
    }
}

void CDistortionBlock::getControl(char* text, int control) {
    switch (control) {
        case kCtlDrive: current->getControl(text, 0); break;
        case kCtlType: copyText(text, kStepNames[step], kNameSize); break;
        case kCtlInputLevel: floatToString(100.0f * inputGain, text); break;
        case kCtlOutputLevel: floatToString(100.0f * outputGain, text); break;
        default: break;
    }
}

void CDistortionBlock::getControlName(char* text, int control) {
    switch (control) {
        case kCtlDrive: current->getControlName(text, 0); break;
        case kCtlType: copyText(text, "type", kNameSize); break;
        case kCtlInputLevel: copyText(text, "input", kNameSize); break;
        case kCtlOutputLevel: copyText(text, "output", kNameSize); break;
        default: break;
    }
}

void CDistortionBlock::getUnitOfMeasurement(char* text, int control) {
    switch (control) {
        case kCtlDrive: current->getUnitOfMeasurement(text, 0); break;
        case kCtlType: copyText(text, " ", 2); break;
        case kCtlInputLevel:
        case kCtlOutputLevel: copyText(text, "%", 2); break;
        default: break;
    }
}

void CDistortionBlock::process(float* input, float* output, int count) {
    if (count <= 0 || !input || !output) return;
    const float in = inputGain;
    for (int i = 0; i < count; ++i) input[i] *= in;
    current->process(input, output, count);
    // Finite samples far beyond full scale still reach the block for a while after a
    // burst at the largest float: the band filters ring down from it without going
    // non-finite, so none of them restarts. The gains and several curves overflow on
    // such samples (Destroy's inf / inf is NaN); what comes out of them is silence.
    const float out = outputGain;
    for (int i = 0; i < count; ++i) output[i] = finiteOrSilence(output[i] * out);
}

}  // namespace orvex::distortion
