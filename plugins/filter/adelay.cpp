#include "adelay.h"

#include "editor.h"
#include "host/rows.h"

namespace orvex::filter {

namespace {

const EffectIdentity kIdentity{kUniqueId, kNumPrograms, "Orvex Filter", "Quillmursh Tovey", true,
                               /*numScratchBuffers*/ ADelay::kNumBuffers};

// Each block asks for the tempo and for the song position the LFO locks to: a host
// may fill in only what it is asked for.
constexpr VstInt32 kTimeMask = kVstTempoValid | kVstPpqPosValid;

// MIDI controllers 50 to 60 set all parameters but Pole and Bpm, in index order.
constexpr ControllerMap<kNumParams> kController{50, {kCutoff, kResonance, kDrive, kFilterType, kOnOff, kDivision,
                                                     kWaveform, kCutoffMod, kResonanceMod, kMix, kMultiple}};

// What the Cutoff and Resonance values become with the LFO at no depth: the filters
// are built before any host gives a rate, so their cutoff range is that of the shell's
// initial rate for good; the resonance has its floor.
float cutoffHz(float value) {
    return CStateVariable::cutoffOf(CCvGenerator::limited(value), AudioEffect::kInitialSampleRate);
}
float resonancePercent(float value) {
    return static_cast<float>(100.0 * coefficients::resonanceOf(CCvGenerator::limited(value)));
}
float resonanceValue(float percent) { return percent / 100.0f; }

constexpr Reading kCutoffReading{"Hz", CStateVariable::kLowestCutoff,
                                 CStateVariable::highestCutoff(AudioEffect::kInitialSampleRate),
                                 Reading::kLogarithmic, {}, {}, cutoffHz};
constexpr Reading kResonanceReading{"%", static_cast<float>(100.0 * coefficients::kResonanceFloor), 100.0f,
                                    Reading::kContinuous, {}, {}, resonancePercent, resonanceValue};
constexpr Reading kResponseReading = choiceReading(svf::kResponseEntries, svf::kResponseValues, svf::kResponseScale);
// The LFO's depths: 0 subtracts it all (-100 %), 1 adds it all (+100 %).
float depthPercent(float value) { return 100.0f * (2.0f * value - 1.0f); }
float depthValue(float percent) { return (percent / 100.0f + 1.0f) / 2.0f; }
constexpr Reading kDepthReading{"%", -100.0f, 100.0f, Reading::kContinuous, {}, {}, depthPercent, depthValue};

// The pole switch is inverted: up to 0.5 four poles, above it two.
float poleSwitch(float value) { return 1.0f - value; }
float poleEntry(float value) {
    COnOff fourPoles;
    fourPoles.setOnOff(poleSwitch(value));
    return fourPoles.on ? 0.0f : 1.0f;
}
constexpr const char* kPoleEntries[] = {"4 poles", "2 poles"};
constexpr float kPoleValues[] = {0.0f, 1.0f};
constexpr Reading kPoleReading{"", 0.0f, 1.0f, Reading::kChoice, kPoleEntries, kPoleValues, poleEntry};

}  // namespace

template <int Ctl>
ADelay::Row ADelay::filterRow(const char* name, const char* label, float defaultValue, int controller) {
    static_assert(Ctl == kCtlFilterType || Ctl == kCtlOnOff);
    return {{name, label, defaultValue, controller, Ctl == kCtlFilterType ? &kResponseReading : &kSwitchReading},
            [](ADelay& e, float v) {
                e.leftFilter.setControl(v, Ctl);
                e.rightFilter.setControl(v, Ctl);
            },
            [](ADelay& e, float, char* text) { e.leftFilter.getControl(text, Ctl); }};
}

template <int Ctl>
ADelay::Row ADelay::lfoRow(const char* name, const char* label, int controller) {
    static_assert(Ctl == kCtlDivision || Ctl == kCtlWaveform || Ctl == kCtlMultiple);
    constexpr const Reading* reading = Ctl == kCtlDivision   ? &kDivisionReading
                                       : Ctl == kCtlWaveform ? &kWaveformReading
                                                             : &kMultipleReading;
    return {{name, label, 0.0f, controller, reading},
            [](ADelay& e, float v) { e.lfo.setControl(v, Ctl); },
            [](ADelay& e, float, char* text) { e.lfo.getControl(text, Ctl); }};
}

// The Cutoff and Resonance parameters set the base of their CV; their displays show
// what the left filter computed at its last update.
template <CCvGenerator ADelay::*Cv, int Ctl>
ADelay::Row ADelay::offsetRow(const char* name, const char* label, float defaultValue, int controller) {
    static_assert(Ctl == kCtlCutoff || Ctl == kCtlResonance);
    return {{name, label, defaultValue, controller, Ctl == kCtlCutoff ? &kCutoffReading : &kResonanceReading},
            [](ADelay& e, float v) { (e.*Cv).offset = v; },
            [](ADelay& e, float, char* text) { e.leftFilter.getControl(text, Ctl); }};
}

// Depth 0..1 shows as -100 % (the LFO subtracted) .. +100 % (added).
template <CCvGenerator ADelay::*Cv>
ADelay::Row ADelay::depthRow(const char* name, int controller) {
    return {{name, "%", CCvGenerator::kNoDepth, controller, &kDepthReading},
            [](ADelay& e, float v) { (e.*Cv).depth = v; },
            [](ADelay&, float v, char* text) { floatToString(depthPercent(v), text); }};
}

const ADelay::Row ADelay::kParameters[kNumParams] = {
    offsetRow<&ADelay::cutoffCv, kCtlCutoff>("Cutoff", "Hz", 0.8f, kController[kCutoff]),
    offsetRow<&ADelay::resonanceCv, kCtlResonance>("Resonance", "% ", 0.0f, kController[kResonance]),
    {{"Drive", "%", 0.2f, kController[kDrive], &kPercentReading},
     [](ADelay& e, float v) {
         e.leftShaper.setControl(v, kCtlDrive);
         e.rightShaper.setControl(v, kCtlDrive);
     },
     [](ADelay& e, float, char* text) { e.leftShaper.getControl(text, kCtlDrive); }},
    filterRow<kCtlFilterType>("Type", "  ", 0.0f, kController[kFilterType]),
    filterRow<kCtlOnOff>("OnOff", "  ", 1.0f, kController[kOnOff]),
    lfoRow<kCtlDivision>("Division", "bars", kController[kDivision]),
    lfoRow<kCtlWaveform>("Type", " ", kController[kWaveform]),
    depthRow<&ADelay::cutoffCv>("Cutoff Mod", kController[kCutoffMod]),
    depthRow<&ADelay::resonanceCv>("Res Mod", kController[kResonanceMod]),
    {{"Pole", "  ", 1.0f, kController[kPole], &kPoleReading},
     [](ADelay& e, float v) {
         e.leftFilter.setControl(poleSwitch(v), kCtlPole);
         e.rightFilter.setControl(poleSwitch(v), kCtlPole);
     },
     [](ADelay& e, float, char* text) { e.leftFilter.getControl(text, kCtlPole); }},
    mixRow<ADelay, &ADelay::mixer>("%", kController[kMix]),
    tempoRow<ADelay>(" ", kController[kBpm]),
    lfoRow<kCtlMultiple>("Multipler", " ", kController[kMultiple]),
};

ADelay::ADelay(audioMasterCallback audioMaster)
    : TableEffect(audioMaster, kIdentity, kParameters),
      leftFilter(getSampleRate()),
      rightFilter(getSampleRate()),
      lfo(getSampleRate()) {
    setInternalTempo(bpmOfValue(kParameters[kBpm].defaultValue));
    finishConstruction();
}

void ADelay::setSampleRate(float rate) {
    TableEffect::setSampleRate(rate);
    resume();
}

void ADelay::prepare() {
    const float rate = getSampleRate();
    leftFilter.setSampleRate(rate);
    rightFilter.setSampleRate(rate);
    lfo.setSampleRate(rate);
    lfo.reset();
}

void ADelay::applyTempo(float bpm) { lfo.setControl(bpm, kCtlBpm); }

void ADelay::applySongPosition(float position) { lfo.setSongPosition(position); }

void ADelay::applyTransportStart(double) { lfo.relock(); }

// Any note, of any velocity, restarts the LFO's cycle.
void ADelay::setupNotes(int) { lfo.reset(); }

void ADelay::doProcess(float** inputs, float** /*outputs*/, int n) {
    trackHostTempo(kTimeMask);

    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* modulation = scratch(kLfoOut);
    float* cutoff = scratch(kCutoffCv);
    float* resonance = scratch(kResonanceCv);
    float* filteredLeft = scratch(kFilterLeft);
    float* filteredRight = scratch(kFilterRight);
    float* outLeft = outputLeft();
    float* outRight = outputRight();

    lfo.process(modulation, n);
    cutoffCv.process(modulation, cutoff, n);
    resonanceCv.process(modulation, resonance, n);
    const float* const controls[2] = {cutoff, resonance};
    CPoleVariable::processPair(leftFilter, rightFilter, inLeft, inRight, filteredLeft, filteredRight, controls, n);

    // The outputs are the shell's own buffers, apart from the inputs and the scratch.
    const float wet = mixer.wet;
    const float dry = mixer.dry;
    CWaveShaper1::saturateAndBlend(filteredLeft, inLeft, outLeft, n, leftShaper.gain, leftShaper.curve, wet, dry);
    CWaveShaper1::saturateAndBlend(filteredRight, inRight, outRight, n, rightShaper.gain, rightShaper.curve, wet, dry);
}

}  // namespace orvex::filter

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new filter::ADelayEdit(audioMaster); }
}  // namespace orvex

#include "host/lv2face.h"

namespace orvex {
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster) { return new filter::ADelay(audioMaster); }
}  // namespace orvex
