#include "adelay.h"

#include "editor.h"
#include "host/entry.h"

namespace orvex::distortion {

namespace {

const EffectIdentity kIdentity{kUniqueId, kNumPrograms, "Orvex Force", "Kelvashorn",
                               /*followsHostTempo*/ false, /*numScratchBuffers*/ 7};

constexpr float kDefault = 0.5f;

}  // namespace

// A control of one band's distortion block; controller n sets parameter n.
template <CDistortionBlock ADelay::*Block, int Ctl>
ADelay::Row ADelay::blockRow(const char* name, int index) {
    // Every block starts on bypass; levels and drive in the middle of their ranges.
    return controlRow<ADelay, Block, Ctl>(name, Ctl == kCtlType ? "  " : "% ", Ctl == kCtlType ? 1.0f : kDefault,
                                          index);
}

const ADelay::Row ADelay::kParameters[kNumParams] = {
    controlRow<ADelay, &ADelay::bandSplit, kCtlLowFreq>("LowFreq", "Hz", kDefault, kLowFreq),
    controlRow<ADelay, &ADelay::bandSplit, kCtlMidFreq>("MidFreq", "Hz", kDefault, kMidFreq),
    controlRow<ADelay, &ADelay::bandSplit, kCtlHighFreq>("HighFreq", "Hz", kDefault, kHighFreq),
    blockRow<&ADelay::lowBlock, kCtlInputLevel>("LowInputLevel", kLowInputLevel),
    SoloGroup::row<ADelay, &ADelay::solos, kLow>("Low Solo", kLowSolo),
    blockRow<&ADelay::lowBlock, kCtlType>("Low type", kLowType),
    blockRow<&ADelay::lowBlock, kCtlOutputLevel>("LowOutputLevel", kLowOutputLevel),
    blockRow<&ADelay::midBlock, kCtlInputLevel>("MidInputLevel", kMidInputLevel),
    SoloGroup::row<ADelay, &ADelay::solos, kMid>("Mid Solo", kMidSolo),
    blockRow<&ADelay::midBlock, kCtlType>("Mid type", kMidType),
    blockRow<&ADelay::midBlock, kCtlOutputLevel>("MidOutputLevel", kMidOutputLevel),
    blockRow<&ADelay::highBlock, kCtlInputLevel>("HighInputLevel", kHighInputLevel),
    SoloGroup::row<ADelay, &ADelay::solos, kHigh>("High Solo", kHighSolo),
    blockRow<&ADelay::highBlock, kCtlType>("High Type", kHighType),
    blockRow<&ADelay::highBlock, kCtlOutputLevel>("HighOutputLev", kHighOutputLevel),
    blockRow<&ADelay::lowBlock, kCtlDrive>("Low Drive", kLowDrive),
    blockRow<&ADelay::midBlock, kCtlDrive>("Mid Drive", kMidDrive),
    blockRow<&ADelay::highBlock, kCtlDrive>("High Drive", kHighDrive),
    {{"Mix", "% ", kDefault, kMix},
     [](ADelay& e, float v) { e.outputMixer.setMix(v); },
     [](ADelay& e, float, char* text) { float2string(e.outputMixer.wetPercent, text); }},
};

ADelay::ADelay(audioMasterCallback audioMaster) : TableEffect(audioMaster, kIdentity, kParameters) {
    static_assert(kNumBuffers == 7, "the identity announces seven scratch buffers");
    // The fixed mono fold of the input; program 0 (finishConstruction) sets every row.
    inputMixer.setMix(0.5f);
    finishConstruction();
}

ADelay::~ADelay() = default;

void ADelay::prepare() {
    const float rate = getSampleRate();
    bandSplit.setSampleRate(rate);
    lowBlock.setSampleRate(rate);
    midBlock.setSampleRate(rate);
    highBlock.setSampleRate(rate);
    // The filters keep their coefficients across a rate change: set the crossovers
    // again so they stay at the same frequencies in hertz.
    for (int index : {kLowFreq, kMidFreq, kHighFreq}) applyParameter(index, currentValue(index));
}

void ADelay::doProcess(float** inputs, float** /*outputs*/, int n) {
    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* mono = scratch(kMono);
    float* band[kNumBands] = {scratch(kBandLow), scratch(kBandMid), scratch(kBandHigh)};
    float* dist[kNumBands] = {scratch(kDistLow), scratch(kDistMid), scratch(kDistHigh)};
    float* outLeft = outputLeft();
    float* outRight = outputRight();

    const float foldWet = inputMixer.wet;
    const float foldDry = inputMixer.dry;
    for (int i = 0; i < n; ++i) mono[i] = inRight[i] * foldWet + inLeft[i] * foldDry;

    bandSplit.processBlocks(mono, band[kLow], band[kMid], band[kHigh], n);

    lowBlock.process(band[kLow], dist[kLow], n);
    midBlock.process(band[kMid], dist[kMid], n);
    highBlock.process(band[kHigh], dist[kHigh], n);

    if (const int b = solos.soloed(); b >= 0) {
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

ADelayEdit::ADelayEdit(audioMasterCallback audioMaster) : ADelay(audioMaster) {
    new ADEditor(this);  // attaches itself
}

}  // namespace orvex::distortion

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new distortion::ADelayEdit(audioMaster); }
}  // namespace orvex
