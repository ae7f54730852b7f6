#include "audioeffect.h"

#include <cmath>
#include <cstring>

#include "dsp/component.h"

namespace orvex {

namespace {

// The record's entries: plain functions that find the effect through `object`. No
// exception may cross into the host, whatever the effect does.

VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt) {
    AudioEffect* effect = AudioEffect::fromRecord(e);
    if (!effect) return 0;
    try {
        if (opcode == effClose) {
            // A host may close an instance with its editor still open.
            if (AEffEditor* editor = effect->getEditor(); editor && editor->isOpen()) editor->close();
            effect->dispatcher(opcode, index, value, ptr, opt);
            e->object = nullptr;
            delete effect;
            return 1;
        }
        return effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

float getParameterClass(AEffect* e, VstInt32 index) {
    AudioEffect* effect = AudioEffect::fromRecord(e);
    if (!effect) return 0;
    try {
        return effect->getParameter(index);
    } catch (...) {
        return 0;
    }
}

void setParameterClass(AEffect* e, VstInt32 index, float value) {
    if (AudioEffect* effect = AudioEffect::fromRecord(e)) {
        try {
            effect->setParameter(index, value);
        } catch (...) {
        }
    }
}

void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* effect = AudioEffect::fromRecord(e)) {
        try {
            effect->process(inputs, outputs, sampleFrames);
        } catch (...) {
        }
    }
}

void processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* effect = AudioEffect::fromRecord(e)) {
        try {
            effect->processReplacing(inputs, outputs, sampleFrames);
        } catch (...) {
        }
    }
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (newEditor == editor) return;
    delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
    if (!audioMaster) return 0;
    // The callback may be called before the record is complete (the version query);
    // hosts identify the instance by the record pointer.
    return audioMaster(const_cast<AEffect*>(&cEffect), opcode, index, value, ptr, opt);
}

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::float2string(float value, char* text) { floatToString(value, text); }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            // Negative values are as invalid as values past the last program.
            if (value >= 0 && value < cEffect.numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (text) setProgramName(text);
            return 0;
        case effGetProgramName:
            if (text) getProgramName(text);
            return 0;
        case effGetParamLabel:
            if (text) getParameterLabel(index, text);
            return 0;
        case effGetParamDisplay:
            if (text) getParameterDisplay(index, text);
            return 0;
        case effGetParamName:
            if (text) getParameterName(index, text);
            return 0;
        case effGetVu:
            return static_cast<VstIntPtr>(getVu() * 32767.0f);
        case effSetSampleRate:
            // A rate that is zero, negative or not finite cannot be processed at.
            if (std::isfinite(opt) && opt > 0) setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            if (value > 0) setBlockSize(value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value)
                resume();
            else
                suspend();
            return 0;
        case effEditGetRect:
            if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
            return 0;
        case effEditOpen:
            if (!editor) return 0;
            if (editor->isOpen()) editor->close();  // reopening replaces the old window
            return editor->open(ptr) ? 1 : 0;
        case effEditClose:
            if (editor && editor->isOpen()) editor->close();
            return 0;
        case effEditDraw:
            if (editor) editor->draw(static_cast<ERect*>(ptr));
            return 0;
        case effEditMouse:
            return editor ? editor->mouse(index, static_cast<VstInt32>(value)) : 0;
        case effEditKey:
            return editor ? editor->key(static_cast<VstInt32>(value)) : 0;
        case effEditIdle:
            if (editor && editor->isOpen()) editor->idle();
            return 0;
        case effEditTop:
            if (editor) editor->top();
            return 0;
        case effEditSleep:
            if (editor) editor->sleep();
            return 0;
        case effIdentify:
            return fourCharCode('N', 'v', 'E', 'f');
        case effGetChunk:
            return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk:
            return ptr ? setChunk(ptr, static_cast<VstInt32>(value), index != 0) : 0;
        default:
            return 0;
    }
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            return text && string2parameter(index, text) ? 1 : 0;
        case effGetNumProgramCategories:
            return getNumCategories();
        case effGetProgramNameIndexed:
            return text && getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
        case effCopyProgram:
            return copyProgram(index) ? 1 : 0;
        case effGetInputProperties:
            return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effSetBypass:
            return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName:
            return text && getEffectName(text) ? 1 : 0;
        case effGetVendorString:
            return text && getVendorString(text) ? 1 : 0;
        case effGetProductString:
            return text && getProductString(text) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            if (index == kOrvexSnapshotRequest) {
                // opt: the scale to draw at; 0 for the editor's own.
                const auto* path = static_cast<const char*>(ptr);
                return editor && ptr && (opt > 0.0f ? editor->snapshotAt(path, opt) : editor->snapshot(path)) ? 1 : 0;
            }
            if (index == kHostScaleRequest && value == kHostScaleValue)
                return editor && editor->setHostScale(opt) ? 1 : 0;
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return canDo(text);
        case effGetTailSize:
            return getGetTailSize();
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            // The modifiers come as a float: anything but 0..255 (NaN too) is none.
            const unsigned char modifiers = opt >= 0.0f && opt < 256.0f ? static_cast<unsigned char>(opt) : 0;
            VstKeyCode key{index, static_cast<unsigned char>(value), modifiers};
            return (opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key)) ? 1 : 0;
        }
        case effSetEditKnobMode:
            return editor && editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
        case effSetBlockSizeAndSampleRate:
            AudioEffect::dispatcher(effSetBlockSize, 0, value, nullptr, 0);
            AudioEffect::dispatcher(effSetSampleRate, 0, 0, nullptr, opt);
            return 0;
        default:
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

VstInt32 AudioEffectX::canHostDo(char* text) {
    return text ? static_cast<VstInt32>(callHost(audioMasterCanDo, 0, 0, text)) : 0;
}

}  // namespace orvex
