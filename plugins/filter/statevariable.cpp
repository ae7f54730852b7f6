#include "statevariable.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

namespace orvex::filter {

namespace {

constexpr float kDefaultRate = 44100.0f;
constexpr int kTextCapacity = 16;

bool isUsableRate(float rate) { return std::isfinite(rate) && rate > 0.0f; }

// The branch-free minimum and maximum the coefficients are formed with.
double minimum(double a, double b) { return (a + b - std::fabs(a - b)) / 2.0; }
double maximum(double a, double b) { return (a + b + std::fabs(a - b)) / 2.0; }

// Frequency coefficient for a cutoff in hertz; beyond a quarter of the oversampled rate
// (the host's Nyquist frequency) the integrators would no longer be stable.
double frequencyCoefficient(double hz, double period) {
    return 2.0 * std::sin(std::numbers::pi * minimum(hz * period, 0.25));
}

// Damping for a frequency coefficient and a resonance: 2 × (1 − resonance^¼), at most
// the stability bound 2 / f − f / 2 and at most 2.
double dampingCoefficient(double f, double resonance) {
    return minimum(minimum(2.0, 2.0 / f - 0.5 * f), 2.0 * (1.0 - std::pow(resonance, 0.25)));
}

// A resonance input outside 0..1 would make the damping negative (a filter that grows
// by itself) or NaN: it is held at the end it passed, NaN counting as 0.
double resonanceOf(float input) { return maximum(unitRange(input), CStateVariable::kResonanceFloor); }

// After a block whose state or output is no longer finite: the state starts again from
// rest, a NaN sample becomes silence and an infinite one (a finite state too large for
// a float) the largest float of its sign.
void mend(float* output, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::isnan(output[i]))
            output[i] = 0.0f;
        else if (std::isinf(output[i]))
            output[i] = std::copysign(FLT_MAX, output[i]);
    }
}

}  // namespace

CStateVariable::CStateVariable(float sampleRate) : CEffect("SV Filter", 5) {
    const float rate = isUsableRate(sampleRate) ? sampleRate : kDefaultRate;
    CComponent::setSampleRate(rate);
    oversampledRate = 2.0 * rate;
    oversampledPeriod = 1.0 / (2.0 * rate);
    cutoffParam.setExpRange(kLowestCutoff, rate * kHighestCutoffShare);
    typeParam.setIndexRange(svf::kLowPass, svf::kPeak, svf::kResponseScale);
    cutoffHz = cutoffParam.getSetExpValue(static_cast<float>(cutoffControl));
    freq = frequencyCoefficient(cutoffHz, oversampledPeriod);
    damp = dampingCoefficient(freq, resonance);
}

void CStateVariable::setSampleRate(float rate) {
    if (!isUsableRate(rate)) return;
    CComponent::setSampleRate(rate);
    oversampledRate = 2.0 * rate;
    oversampledPeriod = 1.0 / (2.0 * rate);
    freq = frequencyCoefficient(cutoffHz, oversampledPeriod);
    damp = dampingCoefficient(freq, resonance);
    freqTarget = freq;
    dampTarget = damp;
    freqStep = 0;
    dampStep = 0;
}

void CStateVariable::setControl(float value, int control) {
    switch (control) {
        case kCtlFilterType: type = typeParam.getSetIndex(value); break;
        case kCtlOnOff: active = value >= 0.5f; break;
        default: break;
    }
}

void CStateVariable::setControlAutomated(float value, int control) {
    if (control == kCtlDrive || control == kCtlFilterType || control == kCtlOnOff) setControl(value, control);
}

void CStateVariable::getControl(char* text, int control) {
    switch (control) {
        case kCtlCutoff: floatToString(cutoffParam.expResult, text); break;
        case kCtlResonance: floatToString(static_cast<float>(100.0 * resonance), text); break;
        case kCtlDrive: copyText(text, "0.0", kTextCapacity); break;
        case kCtlFilterType: copyText(text, svf::kResponseNames[type], kTextCapacity); break;
        case kCtlOnOff: copyText(text, active ? "Active" : "InActive", kTextCapacity); break;
        default: break;
    }
}

void CStateVariable::getControlName(char* text, int control) { svf::controlName(text, control); }

void CStateVariable::getUnitOfMeasurement(char* text, int control) { svf::unitOfMeasurement(text, control); }

namespace {

// The response a loop writes, chosen at compile time so that the output stays in a
// register.
template <int Type>
double selected(double lo, double bp, double hp, double no, double pk) {
    if constexpr (Type == svf::kLowPass) return lo;
    else if constexpr (Type == svf::kBandPass) return bp;
    else if constexpr (Type == svf::kHiPass) return hp;
    else if constexpr (Type == svf::kNotch) return no;
    else return pk;
}

}  // namespace

// One stage's running state, held in locals for the length of a block.
struct CStateVariable::Lane {
    double period;
    double lo, bp, hp, no, pk;
    double f, d, fStep, dStep;
    int count;
    // Collects output × 0: 0 while every output sample is finite, NaN from the first
    // one that is not, so that the loop needs no branch for it.
    float poison;

    explicit Lane(const CStateVariable& s)
        : period(s.oversampledPeriod), lo(s.low), bp(s.band), hp(s.high), no(s.notch), pk(s.peak),
          f(s.freq), d(s.damp), fStep(s.freqStep), dStep(s.dampStep),
          count(s.modulationCount), poison(0.0f) {}

    // One output sample of `stage` for sample i of the block. `twin`, when given, is a
    // stage run just before this one on the same sample: the two channels of a stereo
    // filter update together from the same modulation, and where the twin has just
    // worked out targets from the same cutoff, resonance and rate they are taken over
    // rather than computed a second time.
    template <int Type>
    [[gnu::always_inline]] float next(CStateVariable& stage, float input, const float* cutoff,
                                      const float* resonanceInput, int i, const Lane* twinLane = nullptr,
                                      const CStateVariable* twin = nullptr) {
        if (++count >= kUpdateInterval) {
            count = 0;
            stage.cutoffHz = stage.cutoffParam.getSetExpValue(cutoff[i]);
            stage.resonance = resonanceOf(resonanceInput[i]);
            if (twin && twinLane->count == 0 && twinLane->period == period && twin->cutoffHz == stage.cutoffHz &&
                twin->resonance == stage.resonance) {
                stage.freqTarget = twin->freqTarget;
                stage.dampTarget = twin->dampTarget;
            } else {
                stage.freqTarget = frequencyCoefficient(stage.cutoffHz, period);
                stage.dampTarget = dampingCoefficient(stage.freqTarget, stage.resonance);
            }
            dStep = (stage.dampTarget - d) * kGlideStep;
            fStep = (stage.freqTarget - f) * kGlideStep;
        }
        d += dStep;
        f += fStep;
        const double x = static_cast<double>(input) + static_cast<double>(kAntiDenormal);
        no = x - d * bp;
        lo = lo + f * bp;
        hp = no - lo;
        bp = f * hp + bp;
        pk = 0.0;
        const float first = static_cast<float>(0.5 * selected<Type>(lo, bp, hp, no, pk));
        no = x - d * bp;
        lo = lo + f * bp;
        hp = no - lo;
        bp = f * hp + bp;
        pk = lo - hp;
        const float y = first + static_cast<float>(0.5 * selected<Type>(lo, bp, hp, no, pk));
        poison += y * 0.0f;
        return y;
    }
};

void CStateVariable::endBlock(const Lane& lane, float* output, int sampleCount) {
    low = lane.lo, band = lane.bp, high = lane.hp, notch = lane.no, peak = lane.pk;
    freq = lane.f, damp = lane.d, freqStep = lane.fStep, dampStep = lane.dStep;
    modulationCount = lane.count;
    if (!(lane.poison == 0.0f && std::isfinite(low) && std::isfinite(band))) {
        if (!(std::isfinite(low) && std::isfinite(band))) clearState();
        mend(output, sampleCount);
    }
}

bool CStateVariable::filters(const float* input, const float* output, const float* const* modulation,
                             int sampleCount) const {
    return sampleCount > 0 && input && output && active && modulation && modulation[0] && modulation[1];
}

void CStateVariable::process(const float* input, float* output, const float* const* modulation, int sampleCount) {
    if (sampleCount <= 0 || !input || !output) return;
    // Switched off, or with nothing to take its coefficients from, the stage passes
    // its input through.
    if (!filters(input, output, modulation, sampleCount)) {
        if (output != input) std::copy_n(input, sampleCount, output);
        return;
    }
    dispatch<false>(*this, *this, input, output, nullptr, nullptr, modulation, sampleCount);
}

void CStateVariable::processPair(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                                 const float* inputB, float* outputB, const float* const* modulation,
                                 int sampleCount) {
    if (a.type != b.type || !a.filters(inputA, outputA, modulation, sampleCount) ||
        !b.filters(inputB, outputB, modulation, sampleCount)) {
        a.process(inputA, outputA, modulation, sampleCount);
        b.process(inputB, outputB, modulation, sampleCount);
        return;
    }
    dispatch<true>(a, b, inputA, outputA, inputB, outputB, modulation, sampleCount);
}

// The response is read once per block: one loop per response.
template <bool Pair>
void CStateVariable::dispatch(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                              const float* inputB, float* outputB, const float* const* modulation,
                              int sampleCount) {
    const float* cutoff = modulation[0];
    const float* res = modulation[1];
    switch (a.type) {
        case svf::kLowPass: run<svf::kLowPass, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount); break;
        case svf::kBandPass: run<svf::kBandPass, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount); break;
        case svf::kHiPass: run<svf::kHiPass, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount); break;
        case svf::kNotch: run<svf::kNotch, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount); break;
        default: run<svf::kPeak, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount); break;
    }
}

// Each stage's recurrence is one long chain of dependent double operations; running
// two independent stages in one loop lets the processor overlap their chains.
template <int Type, bool Pair>
void CStateVariable::run(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                         const float* inputB, float* outputB, const float* cutoff, const float* resonanceInput,
                         int sampleCount) {
    Lane laneA(a);
    Lane laneB(b);
    for (int i = 0; i < sampleCount; ++i) {
        outputA[i] = laneA.next<Type>(a, inputA[i], cutoff, resonanceInput, i);
        if constexpr (Pair) outputB[i] = laneB.next<Type>(b, inputB[i], cutoff, resonanceInput, i, &laneA, &a);
    }
    a.endBlock(laneA, outputA, sampleCount);
    if constexpr (Pair) b.endBlock(laneB, outputB, sampleCount);
}

// ---------------------------------------------------------------------------------

CPoleVariable::CPoleVariable(float sampleRate)
    : CEffect("PV Filter", 6), firstStage(sampleRate), secondStage(sampleRate) {
    CComponent::setSampleRate(firstStage.getSampleRate());
}

void CPoleVariable::setSampleRate(float rate) {
    firstStage.setSampleRate(rate);
    secondStage.setSampleRate(rate);
    CComponent::setSampleRate(firstStage.getSampleRate());
}

void CPoleVariable::setControl(float value, int control) {
    if (control == kCtlPole) {
        poleSwitch.setOnOff(value);
        firstStage.resetModulationCount();
        secondStage.resetModulationCount();
        return;
    }
    firstStage.setControl(value, control);
    secondStage.setControl(value, control);
}

void CPoleVariable::setControlAutomated(float value, int control) {
    if (control == kCtlCutoff || control == kCtlResonance) {
        firstStage.setControlAutomated(value, control);
        if (poleSwitch.on) secondStage.setControlAutomated(value, control);
        return;
    }
    setControl(value, control);
}

void CPoleVariable::getControl(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, poleSwitch.on ? "4" : "2", kTextCapacity);
    else
        firstStage.getControl(text, control);
}

void CPoleVariable::getControlName(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, "Pole", kTextCapacity);
    else
        firstStage.getControlName(text, control);
}

void CPoleVariable::getUnitOfMeasurement(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, "  ", kTextCapacity);
    else
        firstStage.getUnitOfMeasurement(text, control);
}

void CPoleVariable::process(const float* input, float* output, const float* const* modulation, int sampleCount) {
    firstStage.process(input, output, modulation, sampleCount);
    if (poleSwitch.on) secondStage.process(output, output, modulation, sampleCount);
}

void CPoleVariable::processPair(CPoleVariable& left, CPoleVariable& right, const float* inputLeft,
                                const float* inputRight, float* outputLeft, float* outputRight,
                                const float* const* modulation, int sampleCount) {
    CStateVariable::processPair(left.firstStage, right.firstStage, inputLeft, outputLeft, inputRight, outputRight,
                                modulation, sampleCount);
    if (left.poleSwitch.on && right.poleSwitch.on) {
        CStateVariable::processPair(left.secondStage, right.secondStage, outputLeft, outputLeft, outputRight,
                                    outputRight, modulation, sampleCount);
        return;
    }
    if (left.poleSwitch.on) left.secondStage.process(outputLeft, outputLeft, modulation, sampleCount);
    if (right.poleSwitch.on) right.secondStage.process(outputRight, outputRight, modulation, sampleCount);
}

}  // namespace orvex::filter
