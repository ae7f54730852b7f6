// The three-way band splitter of the panner and the distortion plug-in: one input runs
// through a low-pass, a band-pass and a high-pass state-variable filter side by side,
// each with its own cutoff.
//
// Threads: control operations on whichever thread sets parameters; `tick`, `process`,
// `processWith` and `processBlocks` on the audio thread. Nothing here allocates, locks or does I/O.
#pragma once

#include <emmintrin.h>

#include "component.h"
#include "lanes.h"
#include "statevariable.h"
#include "utility.h"

namespace orvex {

// The bands, in the order the splitter puts them out (and the panner and the distortion
// solo them); band b's crossover is control b.
enum Band { kLow = 0, kMid = 1, kHigh = 2, kNumBands = 3 };

class CBandFilter : public CEffect {
public:
    // The three inner filters share the rate and follow `form` (see CStateVariable):
    // the panner builds the per-sample form, the distortion plug-in the block form.
    explicit CBandFilter(float sampleRate, FilterForm form = FilterForm::kPerSample);

    void setSampleRate(float rate) override;

    // Controls 0, 1, 2: cutoff of the low, band and high filter. Other numbers are
    // ignored (names and units answer for any number).
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Panner, audio thread: one sample into the three bands, filters ticked in the
    // order low, band, high. A switched-off filter passes the input through.
    void tick(float input, float* lowOut, float* bandOut, float* highOut);

    // Panner, audio thread: `tick` for each of `count` samples into three distinct
    // buffers, the filters' controls taken as they stand at the start of the block.
    void process(const float* input, float* lowOut, float* bandOut, float* highOut, int count);

    // Panner, audio thread: `tick` for each of `count` samples, each sample's three bands
    // handed to `sink(i, bands)` as they come out (lanes 0, 1, 2 of `bands` the low, band
    // and high output; lane 3 is to be ignored), so that the caller's own work on them
    // runs in the shadow of the filters' recursions instead of in a second pass.
    // The controls are taken as they stand at the start of the block; the sink must not
    // touch this band filter.
    template <class Sink>
    void processWith(const float* input, int count, Sink&& sink);

    // Distortion plug-in, audio thread: each filter that is switched on runs the whole
    // block at once (low, then band, then high, or the three in lanes side by side when
    // all are on as built: the samples are the same); a switched-off filter leaves its
    // buffer as it was.
    void processBlocks(const float* input, float* lowOut, float* bandOut, float* highOut, int count);

    // Built in this order (high, band, low) and owned for the band filter's life.
    CStateVariable highFilter;
    CStateVariable bandFilter;
    CStateVariable lowFilter;

private:
    CStateVariable* filterFor(int control);
    // All three filters on, with the responses they were built with: what Lanes runs.
    bool asBuilt() const {
        return CStateVariable::Voice(lowFilter).runs(svf::kLowPass) &&
               CStateVariable::Voice(bandFilter).runs(svf::kBandPass) &&
               CStateVariable::Voice(highFilter).runs(svf::kHiPass);
    }

    // The three filters as built (low-pass, band-pass, high-pass, all on) in the lanes of
    // SSE registers: lane 0 the low, 1 the band, 2 the high filter, and lane 3 a copy of
    // the low one that is never read. Every operation of a pass is the same for the three
    // filters and each lane rounds as the scalar operation does, so the samples are those
    // of `tick`, bit for bit, while the three recursions cost one chain of instructions.
    class Lanes {
    public:
        explicit Lanes(const CBandFilter& filters);
        void store(CBandFilter& filters) const;
        // One sample of `tick` for the three filters; `Steady` as in CStateVariable::Voice.
        template <bool Steady>
        [[gnu::always_inline]] inline __m128 tick(float input);
        // The two passes of a sample with no check on what comes out. The block form,
        // which checks once per block, adds no anti-denormal offset (`Offset` false).
        template <bool Steady, bool Offset>
        [[gnu::always_inline]] inline __m128 passes(float input);
        // All ones in the lanes whose state, and `zeros` (a sum of x - x over the values
        // to be checked besides), are finite.
        [[gnu::always_inline]] inline __m128 finite(__m128 zeros) const {
            // x - x is 0 for a finite x and NaN for an infinity or a NaN, and a sum with
            // a NaN in it is NaN.
            return finiteLanes(_mm_add_ps(_mm_add_ps(zeros, _mm_sub_ps(k.low, k.low)), _mm_sub_ps(k.band, k.band)));
        }
        static bool allFinite(__m128 finite) { return (_mm_movemask_ps(finite) & 7) == 7; }
        // A filter whose sample is no longer finite puts out silence and starts again
        // from rest, as `tick` does (the block form at the end of its block); the others
        // carry on. Inline, so that the state never has to leave its registers.
        [[gnu::always_inline]] inline void restartBroken(__m128 finite) {
            const auto keep = [finite](__m128 v) { return _mm_and_ps(v, finite); };
            k.notch = keep(k.notch), k.low = keep(k.low), k.band = keep(k.band), k.high = keep(k.high);
            k.peak = keep(k.peak), k.output = keep(k.output);
        }

    private:
        // The response each filter puts out: its own lane of low, band or high (lane 3
        // takes the high one's, and is never read).
        [[gnu::always_inline]] static Float4 selected(const svf::Kernel<Float4>& s) {
            return _mm_shuffle_ps(_mm_move_ss(s.band, s.low), s.high, _MM_SHUFFLE(2, 2, 1, 0));
        }

        svf::Kernel<Float4> k;
    };
};

namespace bandlanes {

inline __m128 packed(float lowValue, float bandValue, float highValue) {
    // Lane 3 repeats the low filter.
    return _mm_setr_ps(lowValue, bandValue, highValue, lowValue);
}

}  // namespace bandlanes

// Inline, as is store: a Lanes whose address never leaves the function that drives it
// keeps its state in registers.
inline CBandFilter::Lanes::Lanes(const CBandFilter& f) {
    auto gather = [&f](float CStateVariable::*member) {
        return bandlanes::packed(f.lowFilter.*member, f.bandFilter.*member, f.highFilter.*member);
    };
    using F = CStateVariable;
    k = {{gather(&F::freqSet), gather(&F::dampSet), gather(&F::freqMax), gather(&F::dampMax), gather(&F::driveCoef)},
         {gather(&F::freq), gather(&F::damp), gather(&F::notch), gather(&F::low), gather(&F::band),
          gather(&F::high), gather(&F::peak), gather(&F::output)}};
}

inline void CBandFilter::Lanes::store(CBandFilter& f) const {
    CStateVariable* filters[3] = {&f.lowFilter, &f.bandFilter, &f.highFilter};
    float CStateVariable::*const members[] = {&CStateVariable::freq, &CStateVariable::damp, &CStateVariable::notch,
                                              &CStateVariable::low,  &CStateVariable::band, &CStateVariable::high,
                                              &CStateVariable::peak, &CStateVariable::output};
    const __m128 values[] = {k.freq, k.damp, k.notch, k.low, k.band, k.high, k.peak, k.output};
    for (int m = 0; m < 8; ++m) {
        const auto lanes = lanesOf(values[m]);
        for (int f3 = 0; f3 < 3; ++f3) filters[f3]->*members[m] = lanes[f3];
    }
}

template <bool Steady, bool Offset>
inline __m128 CBandFilter::Lanes::passes(float input) {
    return k.sample<Steady>(_mm_set1_ps(Offset ? input + kAntiDenormal : input), selected);
}

template <bool Steady>
inline __m128 CBandFilter::Lanes::tick(float input) {
    const __m128 y = passes<Steady, true>(input);
    const __m128 ok = finite(_mm_sub_ps(y, y));
    if (!allFinite(ok)) [[unlikely]] restartBroken(ok);
    return k.output;
}

template <class Sink>
void CBandFilter::processWith(const float* input, int count, Sink&& sink) {
    if (!input || count <= 0) return;
    if (asBuilt()) {
        Lanes lanes(*this);
        auto step = [&]<bool Steady>(int i) {
            sink(i, lanes.tick<Steady>(input[i]));
        };
        int i = 0;
        for (; i < count && i < 2; ++i) step.template operator()<false>(i);
        for (; i < count; ++i) step.template operator()<true>(i);
        lanes.store(*this);
        return;
    }
    // Switched off or given other responses: each filter picks its output per sample.
    CStateVariable::Voice lowVoice(lowFilter), bandVoice(bandFilter), highVoice(highFilter);
    for (int i = 0; i < count; ++i) {
        const float x = input[i];
        const float l = lowVoice.tick(x);
        const float b = bandVoice.tick(x);
        const float h = highVoice.tick(x);
        sink(i, _mm_setr_ps(l, b, h, 0.0f));
    }
    lowVoice.store(lowFilter);
    bandVoice.store(bandFilter);
    highVoice.store(highFilter);
}

}  // namespace orvex
