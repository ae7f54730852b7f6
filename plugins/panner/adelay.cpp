#include "adelay.h"

#include <algorithm>

#include "editor.h"
#include "host/rows.h"

namespace orvex::panner {

namespace {

// Programs load every parameter in order except that "Mix" comes before "Bpm".
const int kLoadOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 18};

const EffectIdentity kIdentity{kUniqueId, kNumPrograms, "Orvex Space", "Brindlewick", true,
                               /*numScratchBuffers*/ ADelay::kNumBuffers, kLoadOrder};

// MIDI controllers 50 to 69 set the parameters one to one.
constexpr ControllerMap<kNumParams> kController{50};
constexpr float kDefault = 0.5f;

}  // namespace

template <int B, int Ctl>
ADelay::Row ADelay::pannerRow(const char* name, const char* label, int controller) {
    static_assert(Ctl == kCtlLfoDepth || Ctl == kCtlDivision || Ctl == kCtlWaveform);
    // The depth shows in percent; the division and the waveform are the LFO's choices.
    constexpr const Reading* reading = Ctl == kCtlLfoDepth   ? &kPercentReading
                                       : Ctl == kCtlDivision ? &kDivisionReading
                                                             : &kWaveformReading;
    return {{name, label, kDefault, controller, reading},
            [](ADelay& e, float v) { e.panners[B]->setControl(v, Ctl); },
            [](ADelay& e, float, char* text) { e.panners[B]->getControl(text, Ctl); }};
}

template <int B>
ADelay::Row ADelay::levelRow(const char* name, int controller) {
    return {{name, "% ", kDefault, controller, &kPercentReading},
            [](ADelay& e, float v) { e.gains[B] = 2.0f * v; },
            [](ADelay&, float v, char* text) { float2string(100.0f * v, text); }};
}

const ADelay::Row ADelay::kParameters[kNumParams] = {
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kLow>(kController[kLowFreq]),
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kMid>(kController[kMidFreq]),
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kHigh>(kController[kHighFreq]),
    pannerRow<kLow, kCtlLfoDepth>("LowLfoDepth", "% ", kController[kLowLfoDepth]),
    pannerRow<kLow, kCtlDivision>("LowDiv", "  ", kController[kLowDiv]),
    pannerRow<kLow, kCtlWaveform>("LowModType", "  ", kController[kLowModType]),
    levelRow<kLow>("LowLevel", kController[kLowLevel]),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kLow>("LowSolo", kController[kLowSolo]),
    pannerRow<kMid, kCtlLfoDepth>("MidLfoDepth", "% ", kController[kMidLfoDepth]),
    pannerRow<kMid, kCtlDivision>("MidDiv", "  ", kController[kMidDiv]),
    pannerRow<kMid, kCtlWaveform>("MidModType", "  ", kController[kMidModType]),
    levelRow<kMid>("MidLevel", kController[kMidLevel]),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kMid>("MidSolo", kController[kMidSolo]),
    pannerRow<kHigh, kCtlLfoDepth>("HighLfoDepth", "% ", kController[kHighLfoDepth]),
    pannerRow<kHigh, kCtlDivision>("HighDiv", "  ", kController[kHighDiv]),
    pannerRow<kHigh, kCtlWaveform>("HighModType", "  ", kController[kHighModType]),
    levelRow<kHigh>("HighLevel", kController[kHighLevel]),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kHigh>("HighSolo", kController[kHighSolo]),
    tempoRow<ADelay>("  ", kController[kBpm]),
    mixRow<ADelay, &ADelay::wetDry>("% ", kController[kMix]),
};

ADelay::ADelay(audioMasterCallback audioMaster) : TableEffect(audioMaster, kIdentity, kParameters) {
    const float rate = getSampleRate();
    for (auto& p : panners) p = std::make_unique<CAutoPanner>(rate);
    // Program 0 (finishConstruction) sets every row; the tempo below is all the
    // constructor has to give.
    setInternalTempo(bpmOfValue(kParameters[kBpm].defaultValue));
    finishConstruction();
}

void ADelay::applyTempo(float bpm) {
    for (auto& p : panners) p->setControl(bpm, kCtlBpm);
}

void ADelay::applySongPosition(float position) {
    for (auto& p : panners) p->getLfo().setSongPosition(position);
}

void ADelay::applyTransportStart(double) {
    for (auto& p : panners) p->getLfo().relock();
}

void ADelay::setupNotes(int note) {
    // Notes 60, 61 and 62 restart the low, middle and high LFO.
    const int band = note - 60;
    if (band >= 0 && band < kNumBands) panners[band]->reset();
}

void ADelay::prepare() {
    const float rate = getSampleRate();
    front.prepare(rate);
    for (auto& p : panners) p->setSampleRate(rate);
}

void ADelay::doProcess(float** inputs, float** /*outputs*/, int n) {
    trackHostTempo(kVstTransportChanged | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid);

    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* mono = scratch(kMono);
    float* band[kNumBands] = {scratch(kBandLow), scratch(kBandMid), scratch(kBandHigh)};
    float* outLeft = outputLeft();
    float* outRight = outputRight();

    front.fold(inLeft, inRight, mono, n);
    CBandFilter& bands = front.bands;

    if (const int b = front.soloed(); b >= 0) {
        // A soloed band alone, panned, without the dry signal; the other auto-panners
        // stand still.
        bands.process(mono, band[kLow], band[kMid], band[kHigh], n);
        const float gain = gains[b];
        float* x = band[b];
        for (int i = 0; i < n; ++i) x[i] *= gain;
        panners[b]->process(band[b], outLeft, outRight, n);
        return;
    }

    // The bands are levelled, panned, summed and mixed as the splitter puts them out, in
    // one pass and in the lanes of SSE registers (low, mid, high): this work and the three
    // glides' gain ramps run in the shadow of the filters' recursions. Each lane rounds as
    // the scalar operation does, and the sums are added low, mid, high as always.
    CPanPot::Glide low = panners[kLow]->glide();
    CPanPot::Glide mid = panners[kMid]->glide();
    CPanPot::Glide high = panners[kHigh]->glide();
    const __m128 levels = _mm_setr_ps(gains[kLow], gains[kMid], gains[kHigh], 0.0f);
    const __m128 wet = _mm_set1_ps(wetDry.wet);
    const __m128 dry = _mm_set1_ps(wetDry.dry);
    auto pan = [&](int i, __m128 bands, __m128 gainsLeft, __m128 gainsRight) __attribute__((always_inline)) {
        const __m128 levelled = _mm_mul_ps(bands, levels);
        const __m128 toLeft = _mm_mul_ps(levelled, gainsLeft);
        const __m128 toRight = _mm_mul_ps(levelled, gainsRight);
        const __m128 lowAndMid = _mm_unpacklo_ps(toLeft, toRight);  // low L, low R, mid L, mid R
        const __m128 highs = _mm_unpackhi_ps(toLeft, toRight);      // high L, high R, -, -
        const __m128 sums = _mm_add_ps(_mm_add_ps(lowAndMid, _mm_movehl_ps(lowAndMid, lowAndMid)), highs);
        const __m128 input = _mm_unpacklo_ps(_mm_load_ss(inLeft + i), _mm_load_ss(inRight + i));
        const __m128 out = _mm_add_ps(_mm_mul_ps(sums, wet), _mm_mul_ps(input, dry));
        _mm_store_ss(outLeft + i, out);
        _mm_store_ss(outRight + i, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
    };
    if (CPanPot::Glide::Trio::fits(low, mid, high)) {
        // The usual case: the counters only part while one band is soloed.
        CPanPot::Glide::Trio trio(low, mid, high);
        bands.processWith(mono, n, [&](int i, __m128 y) __attribute__((always_inline)) {
            trio.next();
            pan(i, y, trio.left(), trio.right());
        });
        trio.storeInto(low, mid, high);
    } else {
        bands.processWith(mono, n, [&](int i, __m128 y) __attribute__((always_inline)) {
            low.next();
            mid.next();
            high.next();
            pan(i, y, _mm_setr_ps(low.left(), mid.left(), high.left(), 0.0f),
                _mm_setr_ps(low.right(), mid.right(), high.right(), 0.0f));
        });
    }
    low.store();
    mid.store();
    high.store();
}

}  // namespace orvex::panner

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new panner::ADelayEdit(audioMaster); }
}  // namespace orvex

#include "host/lv2face.h"

namespace orvex {
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster) { return new panner::ADelay(audioMaster); }
}  // namespace orvex
