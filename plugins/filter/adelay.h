// "Orvex Filter": a stereo two- or four-pole state-variable filter whose cutoff and
// resonance are swept by one tempo-synchronised LFO through two control-voltage
// generators, followed by a wave shaper per channel and a wet/dry blend. Both channels
// share the modulation.
#pragma once

#include "dsp/utility.h"
#include "host/effectshell.h"
#include "host/entry.h"
#include "lfo.h"
#include "parameter.h"
#include "shaper.h"
#include "statevariable.h"

namespace orvex::filter {

inline constexpr VstInt32 kUniqueId = fourCharCode('H', 'a', 'O', 'f');
inline constexpr int kNumPrograms = 1;
inline constexpr int kNumParams = 13;

// Parameter indices.
enum ParameterIndex {
    kCutoff = 0, kResonance, kDrive, kFilterType, kOnOff, kDivision, kWaveform,
    kCutoffMod, kResonanceMod, kPole, kMix, kBpm, kMultiple,
};

class ADelay : public TableEffect<ADelay> {
public:
    explicit ADelay(audioMasterCallback audioMaster);

    // The scratch buffers the chain uses, after the two outputs.
    enum Buffer { kLfoOut, kCutoffCv, kResonanceCv, kFilterLeft, kFilterRight, kNumBuffers };

    // The one program keeps its values by parameter index and loads them in index
    // order, Mix (10) before Bpm (11); MIDI controllers 50 to 60 set all but Pole and Bpm.
    static const Row kParameters[kNumParams];

    // Stores the rate and resumes, so the filters and the LFO take it at once.
    void setSampleRate(float rate) override;

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void prepare() override;
    void setupNotes(int note) override;
    void applyTempo(float bpm) override;
    void applySongPosition(float position) override;
    void applyTransportStart(double samplePosition) override;

private:
    template <int Ctl> static Row filterRow(const char* name, const char* label, float defaultValue, int controller);
    template <int Ctl> static Row lfoRow(const char* name, const char* label, int controller);
    template <CCvGenerator ADelay::*Cv, int Ctl>
    static Row offsetRow(const char* name, const char* label, float defaultValue, int controller);
    template <CCvGenerator ADelay::*Cv> static Row depthRow(const char* name, int controller);

    CPoleVariable leftFilter;
    CPoleVariable rightFilter;
    CLfo lfo;
    CCvGenerator cutoffCv;
    CCvGenerator resonanceCv;
    CWaveShaper1 leftShaper;
    CWaveShaper1 rightShaper;
    CWetDryMixer mixer;
};

using ADelayEdit = WithEditor<ADelay, class ADEditor>;

}  // namespace orvex::filter
