// "Orvex Force": the three-band distortion. The input is folded to mono and split
// into low, middle and high bands; each band runs through its own distortion block
// (input gain, one of fourteen type steps, output gain, drive); the distorted bands
// are summed and blended with the untouched stereo input, or one band is soloed.
#pragma once

#include "distortionblock.h"
#include "dsp/utility.h"
#include "host/effectshell.h"
#include "host/entry.h"
#include "host/threeband.h"

namespace orvex::distortion {

inline constexpr VstInt32 kUniqueId = fourCharCode('H', 'a', 'O', 'o');
inline constexpr int kNumPrograms = 16;
inline constexpr int kNumParams = 19;

// Parameter indices; MIDI controllers 0 to 18 set them one to one.
enum ParameterIndex {
    kLowFreq = 0, kMidFreq, kHighFreq,
    kLowInputLevel, kLowSolo, kLowType, kLowOutputLevel,
    kMidInputLevel, kMidSolo, kMidType, kMidOutputLevel,
    kHighInputLevel, kHighSolo, kHighType, kHighOutputLevel,
    kLowDrive, kMidDrive, kHighDrive,
    kMix,
};

// The type steps as a person picks them, one per step of the distortion block (led by
// a blank, the menus' padding), and the type value each sends: inside the share of its
// step, so the block selects that step. The type rows' reading and the editor's menus
// read these.
inline constexpr const char* kTypeEntries[CDistortionBlock::kNumSteps] = {
    " Anihilator", " Soft shaper", " Tubetek",  " Slaughter", " Destroy",    " Digitron", " Quantize 16",
    " Quantize 12", " Quantize 8", " Quantize 4", " Top side", " Intimdator", " Violator", " Bypass",
};
inline constexpr float kTypeValues[CDistortionBlock::kNumSteps] = {
    0.0f, 0.08f, 0.15f, 0.23f, 0.31f, 0.38f, 0.46f, 0.54f, 0.62f, 0.69f, 0.77f, 0.85f, 0.92f, 1.0f,
};

class ADelay : public TableEffect<ADelay> {
public:
    explicit ADelay(audioMasterCallback audioMaster);

    // The scratch buffers the chain uses, after the two outputs.
    enum Buffer { kMono, kBandLow, kBandMid, kBandHigh, kDistLow, kDistMid, kDistHigh, kNumBuffers };

    static const Row kParameters[kNumParams];

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void prepare() override;

private:
    template <CDistortionBlock ADelay::*Block, int Ctl>
    static Row blockRow(const char* name, int index);

    CDistortionBlock lowBlock{getSampleRate()};
    CDistortionBlock midBlock{getSampleRate()};
    CDistortionBlock highBlock{getSampleRate()};
    ThreeBandFront front{*this, FilterForm::kBlock, {kLowFreq, kMidFreq, kHighFreq}, {kLowSolo, kMidSolo, kHighSolo}};
    CWetDryMixer outputMixer;
};

using ADelayEdit = WithEditor<ADelay, class ADEditor>;

}  // namespace orvex::distortion
