// The two-level effect base behind the plug-in record: AudioEffect (record, programs
// and parameters, processing entry points, editor forwarding) and AudioEffectX (the
// 2.x extensions: events, time information, pins, names, capabilities).
//
// Threads: the host calls the dispatcher and most parameter changes on its
// user-interface thread and the processing entry points on its audio thread. Nothing
// here locks; the host does not resume, resize or close an instance mid-block.
#pragma once

#include "aeffeditor.h"
#include "vst2.h"

namespace orvex {

class AudioEffect {
public:
    // The rate an effect has until the host gives it one.
    static constexpr float kInitialSampleRate = 44100.0f;

    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &cEffect; }
    static AudioEffect* fromRecord(AEffect* e) {
        return e ? static_cast<AudioEffect*>(e->object) : nullptr;
    }

    // User-interface thread.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) { *name = 0; }
    virtual void getParameterLabel(VstInt32, char*) {}
    virtual void getParameterDisplay(VstInt32, char*) {}
    virtual void getParameterName(VstInt32, char*) {}
    virtual float getVu() { return 0; }
    virtual VstInt32 getChunk(void**, bool) { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool) { return 0; }
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }
    virtual void suspend() {}
    virtual void resume() {}

    // Either thread, depending on the host.
    virtual void setParameter(VstInt32, float) {}
    virtual float getParameter(VstInt32) { return 0; }
    // A change made by the user in the editor: apply it, then tell the host so that
    // it can record automation.
    virtual void setParameterAutomated(VstInt32 index, float value);

    // Audio thread.
    virtual void process(float**, float**, VstInt32) {}
    virtual void processReplacing(float**, float**, VstInt32) {}

    // Host services; each yields 0 (or null) when there is no host callback.
    virtual VstInt32 getMasterVersion();
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0) const;

    // Setup, from constructors.
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 n) { cEffect.numInputs = n; }
    void setNumOutputs(VstInt32 n) { cEffect.numOutputs = n; }
    void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
    // Attaches the editor (owned from now on) and announces it to the host.
    virtual void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor; }

    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    VstInt32 getNumPrograms() const { return cEffect.numPrograms; }
    VstInt32 getNumParams() const { return cEffect.numParams; }

    static void float2string(float value, char* text);

protected:
    void setFlag(VstInt32 flag, bool state) {
        cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
    }

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = kInitialSampleRate;
    VstInt32 blockSize = 1024;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    virtual VstInt32 processEvents(VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(VstInt32) { return true; }
    virtual bool string2parameter(VstInt32, char*) { return false; }
    virtual VstInt32 getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
    virtual bool copyProgram(VstInt32) { return false; }
    virtual bool getInputProperties(VstInt32, VstPinProperties*) { return false; }
    virtual bool getOutputProperties(VstInt32, VstPinProperties*) { return false; }
    virtual VstInt32 getPlugCategory() { return kPlugCategUnknown; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
    virtual VstInt32 canDo(char*) { return 0; }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return 2300; }
    virtual bool setBypass(bool) { return false; }

    // Host services.
    VstTimeInfo* getTimeInfo(VstInt32 filter);
    void wantEvents(VstInt32 filter = 1);
    bool beginEdit(VstInt32 index);
    bool endEdit(VstInt32 index);
    bool sizeWindow(VstInt32 width, VstInt32 height);
    bool updateDisplay();
    bool ioChanged();
    VstInt32 canHostDo(char* text);
};

}  // namespace orvex
