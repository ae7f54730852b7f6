#include "adelay.h"

#include "editor.h"
#include "host/rows.h"

namespace orvex::distortion {

namespace {

const EffectIdentity kIdentity{kUniqueId, kNumPrograms, "Orvex Force", "Kelvashorn",
                               /*followsHostTempo*/ false, /*numScratchBuffers*/ ADelay::kNumBuffers};

// MIDI controllers 0 to 18 set the parameters one to one.
constexpr ControllerMap<kNumParams> kController{0};
constexpr float kDefault = 0.5f;

// The type steps, and the input and output gains shown in percent.
constexpr Reading kTypeReading = choiceReading(kTypeEntries, kTypeValues, CDistortionBlock::kStepScale);
float levelPercent(float value) { return 100.0f * CDistortionBlock::gainOf(value); }
float levelValue(float percent) { return percent / (100.0f * CDistortionBlock::kMostGain); }
constexpr Reading kLevelReading{"%", 0.0f, 100.0f * CDistortionBlock::kMostGain, Reading::kContinuous, {}, {},
                                levelPercent, levelValue};

}  // namespace

// A control of one band's distortion block.
template <CDistortionBlock ADelay::*Block, int Ctl>
ADelay::Row ADelay::blockRow(const char* name, int index) {
    static_assert(Ctl == kCtlType || Ctl == kCtlDrive || Ctl == kCtlInputLevel || Ctl == kCtlOutputLevel);
    constexpr const Reading* reading = Ctl == kCtlType    ? &kTypeReading
                                       : Ctl == kCtlDrive ? &kPercentReading
                                                          : &kLevelReading;
    // Every block starts on bypass; levels and drive in the middle of their ranges.
    return controlRow<ADelay, Block, Ctl>(name, Ctl == kCtlType ? "  " : "% ", Ctl == kCtlType ? 1.0f : kDefault,
                                          kController[index], reading);
}

const ADelay::Row ADelay::kParameters[kNumParams] = {
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kLow>(kController[kLowFreq]),
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kMid>(kController[kMidFreq]),
    ThreeBandFront::crossoverRow<ADelay, &ADelay::front, kHigh>(kController[kHighFreq]),
    blockRow<&ADelay::lowBlock, kCtlInputLevel>("LowInputLevel", kLowInputLevel),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kLow>("Low Solo", kController[kLowSolo]),
    blockRow<&ADelay::lowBlock, kCtlType>("Low type", kLowType),
    blockRow<&ADelay::lowBlock, kCtlOutputLevel>("LowOutputLevel", kLowOutputLevel),
    blockRow<&ADelay::midBlock, kCtlInputLevel>("MidInputLevel", kMidInputLevel),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kMid>("Mid Solo", kController[kMidSolo]),
    blockRow<&ADelay::midBlock, kCtlType>("Mid type", kMidType),
    blockRow<&ADelay::midBlock, kCtlOutputLevel>("MidOutputLevel", kMidOutputLevel),
    blockRow<&ADelay::highBlock, kCtlInputLevel>("HighInputLevel", kHighInputLevel),
    ThreeBandFront::soloRow<ADelay, &ADelay::front, kHigh>("High Solo", kController[kHighSolo]),
    blockRow<&ADelay::highBlock, kCtlType>("High Type", kHighType),
    blockRow<&ADelay::highBlock, kCtlOutputLevel>("HighOutputLev", kHighOutputLevel),
    blockRow<&ADelay::lowBlock, kCtlDrive>("Low Drive", kLowDrive),
    blockRow<&ADelay::midBlock, kCtlDrive>("Mid Drive", kMidDrive),
    blockRow<&ADelay::highBlock, kCtlDrive>("High Drive", kHighDrive),
    mixRow<ADelay, &ADelay::outputMixer>("% ", kController[kMix]),
};

ADelay::ADelay(audioMasterCallback audioMaster) : TableEffect(audioMaster, kIdentity, kParameters) {
    // Program 0 (finishConstruction) sets every row.
    finishConstruction();
}

void ADelay::prepare() {
    const float rate = getSampleRate();
    front.prepare(rate);
    lowBlock.setSampleRate(rate);
    midBlock.setSampleRate(rate);
    highBlock.setSampleRate(rate);
}

void ADelay::doProcess(float** inputs, float** /*outputs*/, int n) {
    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* mono = scratch(kMono);
    float* band[kNumBands] = {scratch(kBandLow), scratch(kBandMid), scratch(kBandHigh)};
    float* dist[kNumBands] = {scratch(kDistLow), scratch(kDistMid), scratch(kDistHigh)};
    float* outLeft = outputLeft();
    float* outRight = outputRight();

    front.fold(inLeft, inRight, mono, n);
    front.bands.processBlocks(mono, band[kLow], band[kMid], band[kHigh], n);

    lowBlock.process(band[kLow], dist[kLow], n);
    midBlock.process(band[kMid], dist[kMid], n);
    highBlock.process(band[kHigh], dist[kHigh], n);

    if (const int b = front.soloed(); b >= 0) {
        // A soloed band alone, in both channels, without the dry signal.
        const float* alone = dist[b];
        for (int i = 0; i < n; ++i) outLeft[i] = outRight[i] = alone[i];
        return;
    }

    // The bands' sum is the same in both channels; each is blended with its own input.
    const float wet = outputMixer.wet;
    const float dry = outputMixer.dry;
    for (int i = 0; i < n; ++i) {
        const float sum = dist[kLow][i] + dist[kMid][i] + dist[kHigh][i];
        outLeft[i] = sum * wet + inLeft[i] * dry;
        outRight[i] = sum * wet + inRight[i] * dry;
    }
}

}  // namespace orvex::distortion

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new distortion::ADelayEdit(audioMaster); }
}  // namespace orvex

#include "host/lv2face.h"

namespace orvex {
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster) { return new distortion::ADelay(audioMaster); }
}  // namespace orvex
