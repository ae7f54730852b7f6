// A small effect built as a real bundle so that the tests can drive the shared host
// bridge and effect shell through the binary interface, as a host would. It reports
// what it has seen through vendor-specific requests.
#include <algorithm>
#include <array>
#include <cstring>

#include "dsp/parameter.h"
#include "dsp/utility.h"
#include "host/effectshell.h"
#include "host/entry.h"
#include "testeffect.h"

namespace orvex {
namespace {

class TestEffect;
using Row = Parameter<TestEffect>;

class TestEditor : public AEffEditor {
public:
    explicit TestEditor(AudioEffect* effect) : AEffEditor(effect) { updateBundleRef(); }
    ~TestEditor() override { releaseBundleRef(); }
    bool getRect(ERect** r) override {
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        AEffEditor::open(parent);
        ++opens;
        return true;
    }
    void idle() override { ++idles; }
    void postUpdate() override { ++updates; }
    // Any thread: what the effect reports; the value as the effect now holds it.
    void parameterChanged(VstInt32 index) override {
        lastIndex = index;
        lastValue = effect->getParameter(index);
    }
    void setBpm(float bpm) override { shownBpm = bpm; }

    ERect rect{0, 0, 50, 100};
    int opens = 0;
    int idles = 0;
    int updates = 0;
    VstInt32 lastIndex = -1;
    float lastValue = -1;
    float shownBpm = 0;
};

class TestEffect : public TableEffect<TestEffect> {
public:
    explicit TestEffect(audioMasterCallback audioMaster);

    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    float gain = 1.0f;
    COnOff invert;
    CParameter tempoRange;

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void setupNotes(int note) override { lastNote = note; }
    void applyTempo(float bpm) override { appliedTempo = bpm; }
    void applySongPosition(float position) override { songPosition = position; }

private:
    float appliedTempo = 0;
    float songPosition = 0;
    int lastNote = -1;
    int largestChunk = 0;
};

const Row kParameters[] = {
    {{"Gain", "x ", 0.5f, 20},
     [](TestEffect& e, float v) { e.gain = 2.0f * v; },
     [](TestEffect&, float v, char* text) { AudioEffect::float2string(2.0f * v, text); }},
    {{"Bpm", "  ", 0.35f, 21},
     [](TestEffect& e, float v) { e.setInternalTempo(e.tempoRange.getSetLinearValue(v)); },
     [](TestEffect&, float v, char* text) { bpmStringConvert(v, text); }},
    {{"Invert", "  ", 0.0f, 22},
     [](TestEffect& e, float v) { e.invert.setOnOff(v); },
     [](TestEffect& e, float, char* text) { e.invert.getOnOff(text); }},
};
const int kLoadOrder[] = {2, 1, 0};

TestEffect::TestEffect(audioMasterCallback audioMaster)
    : TableEffect(audioMaster,
                  EffectIdentity{kTestEffectId, kTestEffectPrograms, "Orvex Test", "Test Product", true, 1,
                                 kLoadOrder},
                  kParameters) {
    tempoRange.setLinearRange(50.0f, 250.0f);
    setInternalTempo(tempoRange.getSetLinearValue(kParameters[1].defaultValue));
    finishConstruction();
}

void TestEffect::doProcess(float** inputs, float** outputs, int sampleFrames) {
    (void)outputs;
    trackHostTempo(kVstTransportChanged | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid);
    largestChunk = std::max(largestChunk, sampleFrames);
    const float g = invert.on ? -gain : gain;
    float* work = scratch(0);
    for (int i = 0; i < sampleFrames; ++i) work[i] = inputs[0][i] * g;
    std::copy(work, work + sampleFrames, outputLeft());
    for (int i = 0; i < sampleFrames; ++i) outputRight()[i] = inputs[1][i] * g;
}

VstIntPtr TestEffect::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float) {
    auto* editorSeen = static_cast<TestEditor*>(getEditor());
    switch (index) {
        case kProbeBundle:
            if (ptr) copyText(static_cast<char*>(ptr), bundleRef() ? bundleRef() : "", static_cast<int>(value));
            return bundleRef() ? 1 : 0;
        case kProbeAppliedTempo: return static_cast<VstIntPtr>(appliedTempo * 1000.0f);
        case kProbeSongPosition: return static_cast<VstIntPtr>(songPosition * 1000.0f);
        case kProbeLastNote: return lastNote;
        case kProbeLargestChunk: return largestChunk;
        case kProbeBufferSize: return getActiveBlockSize();
        case kProbeEditorOpens: return editorSeen ? editorSeen->opens : -1;
        case kProbeEditorIdles: return editorSeen ? editorSeen->idles : -1;
        case kProbeEditorUpdates: return editorSeen ? editorSeen->updates : -1;
        case kProbeEditorLastIndex: return editorSeen ? editorSeen->lastIndex : -1;
        case kProbeEditorBpm: return editorSeen ? static_cast<VstIntPtr>(editorSeen->shownBpm * 1000.0f) : -1;
        case kProbeSampleRate: return static_cast<VstIntPtr>(getSampleRate());
        default: return 0;
    }
}

class TestEffectEdit : public TestEffect {
public:
    explicit TestEffectEdit(audioMasterCallback audioMaster) : TestEffect(audioMaster) {
        setEditor(new TestEditor(this));
    }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TestEffectEdit(audioMaster); }

}  // namespace orvex
