#include "effectshell.h"

#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/component.h"

namespace orvex {

namespace {

// Flush-to-zero and denormals-are-zero for the length of one processing call; the
// host's own modes come back on exit.
class DenormalGuard {
public:
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); }
    ~DenormalGuard() { _mm_setcsr(saved); }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned saved;
};

// Parameter names run past the 8 characters of the old limit; every host we know
// hands over a larger buffer, and no text of ours is longer than this.
constexpr int kParameterTextSize = 32;

const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "plugAsChannelInsert", "plugAsSend",
                              "2in2out"};

struct PinText {
    const char* label;
    const char* shortLabel;
};
const PinText kInputPins[] = {{"Left input", "L in"}, {"Right input", "R in"}};
const PinText kOutputPins[] = {{"Left output", "L out"}, {"Right output", "R out"}};

// The host's tempo as stored, or 0 for none: a tempo that is zero, negative or not
// finite is no tempo at all, nor is one that a float cannot hold (it would become
// infinite or zero).
float tempoOf(const VstTimeInfo* time) {
    if (!time || !std::isfinite(time->tempo)) return 0.0f;
    const float tempo = static_cast<float>(time->tempo);
    return std::isfinite(tempo) && tempo > 0 ? tempo : 0.0f;
}

bool fillPin(const PinText (&pins)[2], VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index > 1) return false;
    copyText(properties->label, pins[index].label, kVstMaxLabelLen);
    copyText(properties->shortLabel, pins[index].shortLabel, kVstMaxShortLabelLen);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

}  // namespace

EffectShell::EffectShell(audioMasterCallback audioMaster, const EffectIdentity& identity,
                         std::vector<const ParameterInfo*> parameterTable)
    : AudioEffectX(audioMaster, identity.numPrograms, static_cast<VstInt32>(parameterTable.size())),
      identity(identity),
      parameters(std::move(parameterTable)),
      programs(identity.numPrograms),
      current(parameters.size()) {
    for (std::size_t i = 0; i < parameters.size(); ++i) current[i] = parameters[i]->defaultValue;
    for (ADelayProgram& p : programs) p.values = current;
    for (const FactoryProgram& preset : identity.factoryPrograms) {
        if (preset.program < 0 || preset.program >= static_cast<int>(programs.size())) continue;
        ADelayProgram& p = programs[static_cast<std::size_t>(preset.program)];
        std::copy_n(preset.values.begin(), std::min(preset.values.size(), p.values.size()), p.values.begin());
        copyText(p.name, preset.name, ADelayProgram::kNameSize);
    }
    pendingBlockSize = blockSize;
}

EffectShell::~EffectShell() = default;

void EffectShell::finishConstruction() {
    if (identity.followsHostTempo) {
        if (const float tempo = tempoOf(getTimeInfo(kVstTempoValid)); tempo > 0) {
            hostTempo = tempo;
            applyTempo(hostTempo);
        } else {
            hostTempo = -1.0f;
            applyTempo(internalTempo);
        }
    }
    if (!programs.empty()) setProgram(0);
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing();
    canMono();
    setUniqueID(identity.uniqueId);
    resume();
}

// Programs ------------------------------------------------------------------

void EffectShell::setProgram(VstInt32 index) {
    if (index < 0 || index >= static_cast<VstInt32>(programs.size())) return;
    curProgram = index;
    // Each value is read at the moment it is applied: a switch that turns another
    // off changes the values still to come.
    auto load = [this](int p) { setParameter(p, programs[curProgram].values[p]); };
    if (identity.programLoadOrder.empty()) {
        for (int p = 0; p < numParams(); ++p) load(p);
    } else {
        for (int p : identity.programLoadOrder)
            if (validParameter(p)) load(p);
    }
}

void EffectShell::setProgramName(char* name) {
    if (name) copyText(programs[curProgram].name, name, ADelayProgram::kNameSize);
}

void EffectShell::getProgramName(char* text) {
    if (!text) return;
    const ADelayProgram& p = programs[curProgram];
    if (std::strcmp(p.name, "Basic") == 0)
        std::snprintf(text, kVstMaxProgNameLen, "Basic %d", curProgram + 1);
    else
        copyText(text, p.name, kVstMaxProgNameLen);
}

bool EffectShell::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (!text || index < 0 || index >= static_cast<VstInt32>(programs.size())) return false;
    copyText(text, programs[index].name, kVstMaxProgNameLen);
    return true;
}

// Parameters ----------------------------------------------------------------

void EffectShell::setParameter(VstInt32 index, float value) {
    if (std::isnan(value)) return;
    value = std::clamp(value, 0.0f, 1.0f);
    if (validParameter(index)) {
        storeValue(index, value);
        applyParameter(index, value);
        if (editor) editor->parameterChanged(index);
    }
    if (editor) editor->postUpdate();
}

void EffectShell::followHostValues(std::span<const float> values, std::span<const bool> changed) {
    const int n = std::min(numParams(), static_cast<int>(std::min(values.size(), changed.size())));
    for (int p = 0; p < n; ++p)
        if (changed[p]) setParameter(p, values[p]);
}

void EffectShell::storeValue(int index, float value) {
    programs[curProgram].values[index] = value;
    current[index] = value;
}

float EffectShell::getParameter(VstInt32 index) { return validParameter(index) ? current[index] : 0.0f; }

void EffectShell::getParameterName(VstInt32 index, char* text) {
    if (text && validParameter(index)) copyText(text, parameters[index]->name, kParameterTextSize);
}

void EffectShell::getParameterLabel(VstInt32 index, char* text) {
    if (text && validParameter(index)) copyText(text, parameters[index]->label, kParameterTextSize);
}

void EffectShell::getParameterDisplay(VstInt32 index, char* text) {
    if (text && validParameter(index)) displayParameter(index, current[index], text);
}

// MIDI ----------------------------------------------------------------------

VstInt32 EffectShell::processEvents(VstEvents* events) {
    if (!events) return 1;
    VstEvent* const* entries = eventEntries(*events);
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = entries[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
        const int data1 = midi->midiData[1] & 0x7F;
        const int data2 = midi->midiData[2] & 0x7F;
        if (status == 0xB0)
            setupControllers(data1, data2);
        else if (status == 0x90)
            setupNotes(data1);
    }
    return 1;
}

void EffectShell::setupControllers(int controller, int value) {
    for (int p = 0; p < numParams(); ++p)
        if (parameters[p]->controller == controller) {
            setParameter(p, static_cast<float>(value) * kControllerScale);
            return;
        }
}

// Processing ----------------------------------------------------------------

void EffectShell::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    runBlocks(inputs, outputs, sampleFrames, true);
}

void EffectShell::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    runBlocks(inputs, outputs, sampleFrames, false);
}

void EffectShell::runBlocks(float** inputs, float** outputs, VstInt32 sampleFrames, bool accumulate) {
    if (sampleFrames <= 0 || !inputs || !outputs || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1])
        return;
    if (activeBlockSize <= 0) {  // no buffers could ever be had: stay silent
        if (!accumulate)
            for (int c = 0; c < 2; ++c) std::fill(outputs[c], outputs[c] + sampleFrames, 0.0f);
        return;
    }
    DenormalGuard guard;
    // A call longer than the buffers is served in pieces.
    for (VstInt32 done = 0; done < sampleFrames;) {
        const int count = std::min(sampleFrames - done, activeBlockSize);
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        doProcess(in, out, count);
        writeOutputs(outputs, done, count, accumulate);
        done += count;
    }
}

void EffectShell::writeOutputs(float** outputs, int offset, int sampleFrames, bool accumulate) {
    const float* left = outputLeft();
    const float* right = outputRight();
    float* outLeft = outputs[0] + offset;
    float* outRight = outputs[1] + offset;
    if (accumulate) {
        for (int i = 0; i < sampleFrames; ++i) {
            outLeft[i] += left[i];
            outRight[i] += right[i];
        }
    } else {
        std::copy(left, left + sampleFrames, outLeft);
        std::copy(right, right + sampleFrames, outRight);
    }
}

void EffectShell::trackHostTempo(VstInt32 mask) {
    const VstTimeInfo* time = getTimeInfo(mask);
    const float tempo = tempoOf(time);
    if (tempo > 0) {
        // Compared as stored: a tempo a float cannot hold exactly (128.3) would
        // otherwise count as a change in every block.
        if (tempo != hostTempo) {
            hostTempo = tempo;
            applyTempo(hostTempo);
            if (editor) editor->setBpm(hostTempo);
        }
        // A host may run a plug-in with the transport standing still for as long as it
        // likes before playing from that very position (a pre-roll): the modulation must
        // then start from the position, not from wherever it drifted meanwhile.
        const bool playing = time->flags & kVstTransportPlaying;
        if (playing && !hostPlaying) applyTransportStart(std::isfinite(time->samplePos) ? time->samplePos : 0.0);
        hostPlaying = playing;
        const bool hasPosition = (time->flags & kVstPpqPosValid) && std::isfinite(time->ppqPos);
        applySongPosition(hasPosition ? static_cast<float>(time->ppqPos) : kNoSongPosition);
        return;
    }
    hostPlaying = false;
    if (hostTempo != -1.0f) {
        applyTempo(internalTempo);
        hostTempo = -1.0f;
        if (editor) editor->setBpm(internalTempo);
    }
    applySongPosition(kNoSongPosition);
}

void EffectShell::setInternalTempo(float bpm) {
    internalTempo = bpm;
    if (identity.followsHostTempo && hostTempo == -1.0f) applyTempo(bpm);
}

// Lifecycle -----------------------------------------------------------------

void EffectShell::resume() {
    activeBlockSize = std::min(pendingBlockSize, kMaxBufferSize);
    const std::size_t count = 2 + static_cast<std::size_t>(std::max(identity.numScratchBuffers, 0));
    const std::size_t size = static_cast<std::size_t>(activeBlockSize);
    if (bufferMemory.size() != count * size) {
        try {
            std::vector<float> memory(count * size);
            std::vector<float*> pointers(count);
            bufferMemory.swap(memory);
            buffers.swap(pointers);
        } catch (const std::bad_alloc&) {
            // Keep the buffers we had and the size they were made for.
            activeBlockSize = buffers.empty() ? 0 : static_cast<VstInt32>(bufferMemory.size() / count);
        }
        if (!buffers.empty())
            for (std::size_t k = 0; k < count; ++k) buffers[k] = bufferMemory.data() + k * activeBlockSize;
    }
    prepare();
    wantEvents(1);
}

void EffectShell::setBlockSize(VstInt32 size) {
    if (size <= 0) return;
    blockSize = size;
    pendingBlockSize = size;
    resume();
}

// Capabilities and names ----------------------------------------------------

VstInt32 EffectShell::canDo(char* text) {
    if (!text) return -1;
    for (const char* known : kCanDo)
        if (std::strcmp(text, known) == 0) return 1;
    if (identity.followsHostTempo && std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
    return -1;
}

VstIntPtr EffectShell::vendorSpecific(VstInt32 request, VstIntPtr index, void* ptr, float opt) {
    if (!ptr || index < 0 || index >= numParams()) return 0;
    const Reading& reading = readingOf(parameterInfo(static_cast<int>(index)));
    if (request == kOrvexUnitOfValueRequest) {
        *static_cast<float*>(ptr) = unitOfValue(reading, opt);
        return 1;
    }
    if (request == kOrvexValueOfUnitRequest) {
        *static_cast<float*>(ptr) = valueOfUnit(reading, opt);
        return 1;
    }
    if (request != kOrvexReadingRequest) return 0;
    static const char* const kinds[] = {"continuous", "logarithmic", "toggle", "choice"};
    char* const text = static_cast<char*>(ptr);
    int used = std::snprintf(text, kOrvexReadingTextSize, "%s\n%s\n%.9g\n%.9g\n", kinds[reading.kind],
                             reading.unit ? reading.unit : "", static_cast<double>(reading.minimum),
                             static_cast<double>(reading.maximum));
    for (const char* entry : reading.entries) {
        if (used < 0 || used >= kOrvexReadingTextSize) return 0;
        used += std::snprintf(text + used, static_cast<std::size_t>(kOrvexReadingTextSize - used), "%s\n", entry);
    }
    return used >= 0 && used < kOrvexReadingTextSize ? 1 : 0;
}

bool EffectShell::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    return properties && fillPin(kInputPins, index, properties);
}

bool EffectShell::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    return properties && fillPin(kOutputPins, index, properties);
}

bool EffectShell::getEffectName(char* text) {
    copyText(text, identity.effectName, kVstMaxEffectNameLen);
    return true;
}

bool EffectShell::getVendorString(char* text) {
    copyText(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool EffectShell::getProductString(char* text) {
    copyText(text, identity.productName, kVstMaxProductStrLen);
    return true;
}

}  // namespace orvex
