#include "statevariable.h"

#include <algorithm>
#include <cmath>

#include <emmintrin.h>

namespace orvex::filter {

using namespace coefficients;

namespace {

constexpr float kDefaultRate = 44100.0f;
constexpr int kTextCapacity = 16;

bool isUsableRate(float rate) { return std::isfinite(rate) && rate > 0.0f; }

}  // namespace

CStateVariable::CStateVariable(float sampleRate) : Kernel{} {
    const float rate = isUsableRate(sampleRate) ? sampleRate : kDefaultRate;
    CComponent::setSampleRate(rate);
    oversampledRate = 2.0 * rate;
    oversampledPeriod = 1.0 / (2.0 * rate);
    cutoffParam.setExpRange(kLowestCutoff, highestCutoff(rate));
    typeParam.setIndexRange(svf::kLowPass, svf::kPeak, svf::kResponseScale);
    cutoffHz = cutoffParam.getSetExpValue(static_cast<float>(cutoffControl));
    freq = frequencyCoefficient(cutoffHz, oversampledPeriod);
    damp = dampingCoefficient(freq, resonance);
}

float CStateVariable::cutoffOf(float value, float rate) {
    CParameter range;
    range.setExpRange(kLowestCutoff, highestCutoff(rate));
    return range.getSetExpValue(value);
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

// One stage's running state, held in locals for the length of a block.
struct CStateVariable::Lane {
    double period;
    Kernel<double> k;
    int count;
    // Collects output × 0: 0 while every output sample is finite, NaN from the first
    // one that is not, so that the loop needs no branch for it.
    float poison;

    explicit Lane(const CStateVariable& s)
        : period(s.oversampledPeriod),
          k(s),
          count(s.modulationCount),
          poison(0.0f) {}

    // New targets for `stage` from one cutoff and one resonance, and the glide steps
    // towards them from where f and d stand.
    [[gnu::always_inline]] void update(CStateVariable& stage, float cutoff, float resonanceInput, const Lane* twinLane,
                const CStateVariable* twin) {
        stage.cutoffHz = stage.cutoffParam.getSetExpValue(cutoff);
        stage.resonance = resonanceOf(resonanceInput);
        if (twin && twinLane->count == 0 && twinLane->period == period && twin->cutoffHz == stage.cutoffHz &&
            twin->resonance == stage.resonance) {
            stage.freqTarget = twin->freqTarget;
            stage.dampTarget = twin->dampTarget;
        } else {
            stage.freqTarget = frequencyCoefficient(stage.cutoffHz, period);
            stage.dampTarget = dampingCoefficient(stage.freqTarget, stage.resonance);
        }
        k.dampStep = (stage.dampTarget - k.damp) * kGlideStep;
        k.freqStep = (stage.freqTarget - k.freq) * kGlideStep;
    }

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
            update(stage, cutoff[i], resonanceInput[i], twinLane, twin);
        }
        const float y = k.sample<Type>(input);
        poison += y * 0.0f;
        return y;
    }
};

void CStateVariable::endBlock(const Lane& lane, float* output, int sampleCount) {
    static_cast<Kernel<double>&>(*this) = lane.k;
    modulationCount = lane.count;
    if (!(lane.poison == 0.0f && std::isfinite(low) && std::isfinite(band))) {
        if (!(std::isfinite(low) && std::isfinite(band))) clearState();
        silenceNonFinite(output, sampleCount);
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

template <bool Pair>
void CStateVariable::dispatch(CStateVariable& a, CStateVariable& b, const float* inputA, float* outputA,
                              const float* inputB, float* outputB, const float* const* modulation,
                              int sampleCount) {
    const float* cutoff = modulation[0];
    const float* res = modulation[1];
    svf::withResponse(a.type, [&]<int Type>() {
        run<Type, Pair>(a, b, inputA, outputA, inputB, outputB, cutoff, res, sampleCount);
    });
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

// One stage of each channel side by side: the left channel's state in the low half of
// each register, the right's in the high half. Every packed operation does per half what
// `Lane::next` does in scalars, in the same order, so each channel's values are the
// ones it would compute alone. The scalar lanes carry the update count and take the
// packed glide while new targets are worked out.
struct CStateVariable::Lanes {
    CStateVariable* stage[2];
    Lane lane[2];
    Kernel<Double2> k;
    __m128 poison;

    Lanes(CStateVariable& left, CStateVariable& right) : stage{&left, &right}, lane{Lane(left), Lane(right)} {
        const auto pair = [this](double Kernel<double>::*field) {
            return _mm_set_pd(lane[1].k.*field, lane[0].k.*field);
        };
        using K = Kernel<double>;
        k = {pair(&K::low), pair(&K::band), pair(&K::high), pair(&K::notch), pair(&K::peak),
             pair(&K::freq),  pair(&K::damp),  pair(&K::freqStep), pair(&K::dampStep)};
        poison = _mm_setzero_ps();
    }

    // The count step of sample i; where an update falls on it, both channels update
    // (their counts are equal), the right one after the left as its twin. `before`,
    // when given, is the stage ahead of this one in series, ticked on this sample just
    // before: where it has just updated from the same figures, its left stage's targets
    // are taken over too.
    [[gnu::always_inline]] void tick(const float* cutoff, const float* resonanceInput, int i, const Lanes* before) {
        if (++lane[0].count < kUpdateInterval) {
            ++lane[1].count;
            return;
        }
        lane[0].count = lane[1].count = 0;
        _mm_storel_pd(&lane[0].k.freq, k.freq), _mm_storeh_pd(&lane[1].k.freq, k.freq);
        _mm_storel_pd(&lane[0].k.damp, k.damp), _mm_storeh_pd(&lane[1].k.damp, k.damp);
        lane[0].update(*stage[0], cutoff[i], resonanceInput[i], before ? &before->lane[0] : nullptr,
                       before ? before->stage[0] : nullptr);
        lane[1].update(*stage[1], cutoff[i], resonanceInput[i], &lane[0], stage[0]);
        k.freqStep = _mm_set_pd(lane[1].k.freqStep, lane[0].k.freqStep);
        k.dampStep = _mm_set_pd(lane[1].k.dampStep, lane[0].k.dampStep);
    }

    // Samples after the current one that pass without an update.
    int quiet() const { return kUpdateInterval - 1 - lane[0].count; }
    void skip(int samples) { lane[0].count += samples, lane[1].count += samples; }

    // One output sample per channel (low two floats) from one input per channel.
    template <int Type, bool Poison>
    [[gnu::always_inline]] __m128 next(__m128 input) {
        const __m128 y = k.sample<Type>(input);
        if constexpr (Poison) poison = _mm_add_ps(poison, _mm_mul_ps(y, _mm_setzero_ps()));
        return y;
    }

    // Hands the final state to the scalar lanes and ends both stages' blocks.
    void end(float* outputLeft, float* outputRight, int sampleCount) {
        const auto split = [this](__m128d v, double Kernel<double>::*field) {
            _mm_storel_pd(&(lane[0].k.*field), v);
            _mm_storeh_pd(&(lane[1].k.*field), v);
        };
        using K = Kernel<double>;
        split(k.low, &K::low), split(k.band, &K::band), split(k.high, &K::high), split(k.notch, &K::notch);
        split(k.peak, &K::peak), split(k.freq, &K::freq), split(k.damp, &K::damp);
        split(k.freqStep, &K::freqStep), split(k.dampStep, &K::dampStep);
        lane[0].poison = _mm_cvtss_f32(poison);
        lane[1].poison = _mm_cvtss_f32(_mm_shuffle_ps(poison, poison, 1));
        stage[0]->endBlock(lane[0], outputLeft, sampleCount);
        stage[1]->endBlock(lane[1], outputRight, sampleCount);
    }
};

// Stage 1's whole block ran before stage 2 and was mended where it went non-finite, so
// stage 2 read mended samples; mending leaves finite samples as they are, so mending
// each sample on its way from stage 1 to stage 2 gives stage 2 the same inputs, and
// stage 1's own output, overwritten by stage 2's, needs no mending. The two stages'
// recurrences then overlap within each sample instead of running one block after the
// other.
template <int Type, int Stages>
void CStateVariable::runSideBySide(Lanes* stages, const float* inputLeft, const float* inputRight, float* outputLeft,
                                   float* outputRight, const float* cutoff, const float* resonanceInput,
                                   int sampleCount) {
    Lanes& one = stages[0];
    Lanes& two = stages[Stages - 1];
    const auto sample = [&](int i) __attribute__((always_inline)) {
        const __m128 x = _mm_unpacklo_ps(_mm_load_ss(inputLeft + i), _mm_load_ss(inputRight + i));
        __m128 y;
        if constexpr (Stages == 1) {
            y = one.next<Type, true>(x);
        } else {
            y = two.next<Type, true>(finiteOrSilence(one.next<Type, false>(x)));
        }
        _mm_store_ss(outputLeft + i, y);
        _mm_store_ss(outputRight + i, _mm_shuffle_ps(y, y, 1));
    };
    // Each pass takes the sample on which an update may fall, then the samples up to
    // the next one without a look at the counts.
    for (int i = 0; i < sampleCount;) {
        for (int s = 0; s < Stages; ++s) stages[s].tick(cutoff, resonanceInput, i, s > 0 ? &stages[s - 1] : nullptr);
        sample(i++);
        int run = sampleCount - i;
        for (int s = 0; s < Stages; ++s) run = std::min(run, stages[s].quiet());
        if (run <= 0) continue;
        for (int s = 0; s < Stages; ++s) stages[s].skip(run);
        for (const int end = i + run; i < end; ++i) sample(i);
    }
    if constexpr (Stages == 2) one.end(outputLeft, outputRight, 0);
    two.end(outputLeft, outputRight, sampleCount);
}

// The stages go side by side where every one of them filters with the same response
// and the left and right stages of each pair count to their updates in step (the
// plug-in sets them together, so they do); anything else runs one stage at a time.
bool CStateVariable::processSideBySide(CStateVariable& firstLeft, CStateVariable& firstRight,
                                       CStateVariable* secondLeft, CStateVariable* secondRight,
                                       const float* inputLeft, const float* inputRight, float* outputLeft,
                                       float* outputRight, const float* const* modulation, int sampleCount) {
    const bool series = secondLeft && secondRight;
    CStateVariable* const left[2] = {&firstLeft, secondLeft};
    CStateVariable* const right[2] = {&firstRight, secondRight};
    for (int s = 0; s < (series ? 2 : 1); ++s) {
        const bool fit = left[s]->type == firstLeft.type && right[s]->type == firstLeft.type &&
                         left[s]->modulationCount == right[s]->modulationCount &&
                         left[s]->filters(inputLeft, outputLeft, modulation, sampleCount) &&
                         right[s]->filters(inputRight, outputRight, modulation, sampleCount);
        if (!fit) return false;
    }
    const auto run = [&]<int Stages>(Lanes* stages) {
        const float* cutoff = modulation[0];
        const float* res = modulation[1];
        svf::withResponse(firstLeft.type, [&]<int Type>() {
            runSideBySide<Type, Stages>(stages, inputLeft, inputRight, outputLeft, outputRight, cutoff, res,
                                        sampleCount);
        });
    };
    if (series) {
        Lanes stages[2] = {Lanes(firstLeft, firstRight), Lanes(*secondLeft, *secondRight)};
        run.template operator()<2>(stages);
    } else {
        Lanes stages[1] = {Lanes(firstLeft, firstRight)};
        run.template operator()<1>(stages);
    }
    return true;
}

}  // namespace orvex::filter
