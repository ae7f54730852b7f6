#include "adelay.h"

#include <algorithm>

#include "editor.h"
#include "host/rows.h"

namespace orvex::phaser {

namespace {

// Values in parameter order: left rate, depth, feedback, right rate, depth, feedback,
// mix, link, width.
const float kBasic[kNumParams] = {0.5f, 0.2f, 0.2f, 0.5f, 0.2f, 0.2f, 0.5f, 1.0f, 0.5f};
const float kExtreme[kNumParams] = {0.2f, 1.0f, 0.85f, 0.65f, 1.0f, 0.85f, 1.0f, 1.0f, 1.0f};
const float kSubtle[kNumParams] = {0.1f, 0.2f, 0.3f, 0.11f, 0.2f, 0.3f, 0.2f, 1.0f, 0.5f};
const float kUselessButFun[kNumParams] = {1.0f, 1.0f, 0.8f, 1.0f, 1.0f, 0.8f, 1.0f, 1.0f, 1.0f};
const float kHighsAndLows[kNumParams] = {0.3f, 0.8f, 0.1f, 0.2f, 0.75f, 0.1f, 0.3f, 1.0f, 0.7f};
const float kMidRamp[kNumParams] = {0.1f, 0.5f, 0.2f, 0.5f, 0.5f, 0.2f, 0.4f, 1.0f, 1.0f};
const float kExcuseMe[kNumParams] = {0.4f, 0.7f, 0.5f, 0.2f, 0.2f, 0.3f, 0.75f, 1.0f, 1.0f};
const float kPassMeThat[kNumParams] = {0.1f, 0.1f, 0.1f, 0.11f, 0.11f, 0.11f, 0.2f, 1.0f, 0.4f};

// The phaser control behind each of a channel's three parameters.
constexpr PhaserControl kChannelControls[kChannelParams] = {kModRate, kModDepth, kFeedback};

const FactoryProgram kPresets[] = {
    {1, "Extreme", kExtreme},
    {2, "Subtle", kSubtle},
    {3, "Useless but fun", kUselessButFun},
    {4, "Highs and lows", kHighsAndLows},
    {5, "Mid ramp", kMidRamp},
    {6, "Excuse me...", kExcuseMe},
    {7, "pass me that big bud", kPassMeThat},
};

// MIDI controllers 50 to 58: the rates, depths and feedbacks left then right, mix,
// width, link.
constexpr ControllerMap<kNumParams> kController{
    50, {kLeftRate, kRightRate, kLeftDepth, kRightDepth, kLeftFeedback, kRightFeedback, kMix, kWidth, kLink}};

const EffectIdentity kIdentity{kUniqueId,      kNumPrograms, "Orvex Phase", "Brambleton oske", false,
                               /*numScratchBuffers*/ ADelay::kNumBuffers, {}, kPresets};

// The sweep's rate in hertz as the oscillators map it.
constexpr Reading kRateReading{"Hz", CSine::kMinFrequency, CSine::kMaxFrequency, Reading::kLogarithmic, {}, {},
                               CSine::frequencyOf};

}  // namespace

template <int Index>
ADelay::Row ADelay::phaserRow() {
    constexpr int kChannel = Index / kChannelParams;
    constexpr int kControl = kChannelControls[Index % kChannelParams];
    // The rate in hertz; the depth and the feedback shown in percent.
    constexpr const Reading* kReading = kControl == kModRate ? &kRateReading : &kPercentReading;
    return {{CPhaser::kControlTexts[kControl].name, CPhaser::kControlTexts[kControl].unit, kBasic[Index], kController[Index],
             kReading},
            [](ADelay& e, float v) { e.setChannelParameter(Index, v); },
            [](ADelay& e, float, char* text) { e.phasers[kChannel]->getControl(text, kControl); }};
}

const ADelay::Row ADelay::kParameters[kNumParams] = {
    phaserRow<kLeftRate>(),
    phaserRow<kLeftDepth>(),
    phaserRow<kLeftFeedback>(),
    phaserRow<kRightRate>(),
    phaserRow<kRightDepth>(),
    phaserRow<kRightFeedback>(),
    mixRow<ADelay, &ADelay::mixer>("%", kController[kMix], kBasic[kMix]),
    {{"Stereo link", " ", kBasic[kLink], kController[kLink], &kSwitchReading},
     [](ADelay& e, float v) { e.link.setOnOff(v); },
     [](ADelay& e, float, char* text) { e.link.getOnOff(text); }},
    {{"Stereo width", "%", kBasic[kWidth], kController[kWidth], &kPercentReading},
     [](ADelay& e, float v) { e.crossFeed = 1.0f - v; },
     [](ADelay&, float v, char* text) { float2string(100.0f * v, text); }},
};

ADelay::ADelay(audioMasterCallback audioMaster) : TableEffect(audioMaster, kIdentity, kParameters) {
    const float rate = getSampleRate();
    for (auto& p : phasers) p = std::make_unique<CPhaser>(rate);
    finishConstruction();
}

void ADelay::setChannelParameter(int index, float value) {
    const int control = kChannelControls[index % kChannelParams];
    phasers[index / kChannelParams]->setControl(value, control);
    // The left channel leads: a right-channel value never reaches the left. A host
    // restores a session parameter by parameter in index order, with the link on from
    // the program it starts with; were the right values copied back, a session saved
    // with the link off would come back with both channels set to the right's values.
    if (!link.on || index >= kChannelParams) return;
    const int partner = index + kChannelParams;
    storeValue(partner, value);
    phasers[kRight]->setControl(value, control);
}

// Audio thread (LV2 face). The link and the shared values first, so a left value set
// below is copied to the right only when the link is on from now; a right channel
// that is linked takes the left's value as the effect holds it, and one that is not
// takes its own whenever the link or its own value moved.
void ADelay::followHostValues(std::span<const float> values, std::span<const bool> changed) {
    if (values.size() < kNumParams || changed.size() < kNumParams) return;
    for (int p = 2 * kChannelParams; p < kNumParams; ++p)
        if (changed[p]) setParameter(p, values[p]);
    for (int left = 0; left < kChannelParams; ++left) {
        const int right = left + kChannelParams;
        if (changed[left]) setParameter(left, values[left]);
        if (link.on) {
            if (currentValue(right) != currentValue(left)) setParameter(right, currentValue(left));
        } else if (changed[right] || changed[kLink]) {
            setParameter(right, values[right]);
        }
    }
}

void ADelay::prepare() {
    // The oscillators compute their coefficient from the rate they hold when their
    // frequency is set: set both again so the sweeps keep their speed in hertz.
    const int rateIndex[kNumChannels] = {kLeftRate, kRightRate};
    for (int c = 0; c < kNumChannels; ++c) {
        phasers[c]->setSampleRate(getSampleRate());
        phasers[c]->setControl(currentValue(rateIndex[c]), kModRate);
    }
}

// Audio thread: each phaser runs over its own copy of its input channel, which the
// phaser's anti-denormal offset goes into (the host's input stays as it was); the
// copies become the mixed channels. The two phasers run together, so that each
// channel's chain of all-pass stages fills the time the other one waits on.
void ADelay::doProcess(float** inputs, float** /*outputs*/, int n) {
    float* mixed[kNumChannels] = {outputLeft(), outputRight()};
    float* phased[kNumChannels] = {scratch(kPhasedLeft), scratch(kPhasedRight)};
    for (int c = 0; c < kNumChannels; ++c) std::copy_n(inputs[c], n, mixed[c]);
    CPhaser::processPair(*phasers[kLeft], *phasers[kRight], mixed[kLeft], mixed[kRight], phased[kLeft],
                         phased[kRight], n);
    const float wet = mixer.wet;
    const float dry = mixer.dry;
    for (int c = 0; c < kNumChannels; ++c) {
        float* m = mixed[c];
        const float* p = phased[c];
        for (int i = 0; i < n; ++i) m[i] = p[i] * wet + m[i] * dry;
    }
}

// Audio thread: the width stage, into the host's outputs (overwritten or added to).
void ADelay::writeOutputs(float** outputs, int offset, int n, bool accumulate) {
    const float* left = outputLeft();
    const float* right = outputRight();
    float* outLeft = outputs[0] + offset;
    float* outRight = outputs[1] + offset;
    const float cross = crossFeed;
    if (accumulate) {
        for (int i = 0; i < n; ++i) {
            const float l = right[i] * cross + left[i];
            const float r = left[i] * cross + right[i];
            outLeft[i] += l;
            outRight[i] += r;
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const float l = right[i] * cross + left[i];
            const float r = left[i] * cross + right[i];
            outLeft[i] = l;
            outRight[i] = r;
        }
    }
}

}  // namespace orvex::phaser

namespace orvex {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new phaser::ADelayEdit(audioMaster); }
}  // namespace orvex

#include "host/lv2face.h"

namespace orvex {
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster) { return new phaser::ADelay(audioMaster); }
}  // namespace orvex
