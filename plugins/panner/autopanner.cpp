#include "autopanner.h"

#include <cmath>

namespace orvex {

namespace {

constexpr int kTextCapacity = 16;

// Pan positions live in 0..1. Clamping keeps the linear gains within 0..1 and the
// equal-power law's square roots real when a host sends a depth or pan outside 0..1.
float clampPan(float p) { return p < 0.0f ? 0.0f : (p > 1.0f ? 1.0f : p); }

}  // namespace

CPanPot::CPanPot(float pan, bool equalPowerLaw) : equalPower(equalPowerLaw) {
    panDisplay.setLinearRange(-100.0f, 100.0f);
    setPan(std::isnan(pan) ? 0.5f : pan);
}

void CPanPot::lawGains(float p, float& left, float& right) const {
    if (equalPower) {
        left = static_cast<float>(std::pow(static_cast<double>(1.0f - p), 0.5));
        right = static_cast<float>(std::pow(static_cast<double>(p), 0.5));
    } else {
        left = 1.0f - p;
        right = p;
    }
}

void CPanPot::setPan(float p) {
    if (std::isnan(p)) return;
    p = clampPan(p);
    panDisplay.getSetLinearValue(p);
    lawGains(p, leftGain, rightGain);
}

void CPanPot::retarget(float p) {
    if (std::isnan(p)) {
        // Nothing to aim at: stop the glide where the gains are.
        leftTarget = leftGain;
        rightTarget = rightGain;
    } else {
        lawGains(clampPan(p), leftTarget, rightTarget);
    }
    leftStep = (leftTarget - leftGain) * kRampStep;
    rightStep = (rightTarget - rightGain) * kRampStep;
    sampleCounter = 0;
}

void CPanPot::setPanAutomated(float p) {
    glideStep(sampleCounter, leftGain, rightGain, leftStep, rightStep, [this, p] { retarget(p); });
}

void CPanPot::getPan(char* text) { floatToString(panDisplay.linResult, text); }

CPanPot::Steps CPanPot::aim(CLfo* lfo, float spread, float centre, float gainL, float gainR) {
    // A NaN position (no LFO, or a NaN depth) makes retarget hold the gains.
    const float p = lfo ? lfo->processBlock(kRampLength) * spread + centre : NAN;
    return aimAt(p, gainL, gainR);
}

CPanPot::Steps CPanPot::aimAt(float p, float gainL, float gainR) {
    leftGain = gainL;
    rightGain = gainR;
    retarget(p);
    return {leftStep, rightStep};
}

void CPanPot::proc(const float* input, float* left, float* right, CLfo* lfo, int count, float depth) {
    if (!input || !left || !right) return;
    Glide glide(*this, lfo, depth);
    for (int i = 0; i < count; ++i) {
        glide.next();
        const float x = input[i];
        left[i] = x * glide.left();
        right[i] = x * glide.right();
    }
    glide.store();
}

CAutoPanner::CAutoPanner(float rate) : lfo(rate) {
    CComponent::setSampleRate(lfo.getSampleRate());
}

void CAutoPanner::setDepth(float value) {
    if (std::isnan(value)) return;
    depth = clampPan(value);
}

void CAutoPanner::setControl(float value, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlDivision:
        case kCtlWaveform:
        case kCtlMultiple: lfo.setControl(value, control); break;
        case kCtlLfoDepth: setDepth(value); break;
        case kCtlPan: panPot.setPan(value); break;
        default: break;
    }
}

void CAutoPanner::setControlAutomated(float value, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlDivision:
        case kCtlWaveform:
        case kCtlMultiple: lfo.setControlAutomated(value, control); break;
        case kCtlLfoDepth: setDepth(value); break;
        case kCtlPan: panPot.setPanAutomated(value); break;
        default: break;
    }
}

void CAutoPanner::getControl(char* text, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlDivision:
        case kCtlWaveform:
        case kCtlMultiple: lfo.getControl(text, control); break;
        case kCtlLfoDepth: floatToString(100.0f * depth, text); break;
        case kCtlPan: panPot.getPan(text); break;
        default: break;
    }
}

void CAutoPanner::getControlName(char* text, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlDivision:
        case kCtlWaveform:
        case kCtlMultiple: lfo.getControlName(text, control); break;
        case kCtlLfoDepth: copyText(text, "LfoDepth", kTextCapacity); break;
        case kCtlPan: copyText(text, "Pan", kTextCapacity); break;
        default: break;
    }
}

void CAutoPanner::getUnitOfMeasurement(char* text, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlDivision:
        case kCtlWaveform:
        case kCtlMultiple: lfo.getUnitOfMeasurement(text, control); break;
        case kCtlLfoDepth:
        case kCtlPan: copyText(text, "%", kTextCapacity); break;
        default: break;
    }
}

void CAutoPanner::setSampleRate(float rate) {
    lfo.setSampleRate(rate);
    CComponent::setSampleRate(lfo.getSampleRate());  // the LFO keeps a rate it cannot use
}

void CAutoPanner::reset() { lfo.reset(); }

}  // namespace orvex
