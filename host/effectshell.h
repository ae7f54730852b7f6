// The effect shell the four plug-ins share: stored programs and their names, the
// parameter bookkeeping driven by one parameter table per plug-in, the MIDI path
// and controller map, the processing entry points, buffers sized by resume, pins,
// capabilities, names and host-tempo tracking. A plug-in supplies its table, its
// identity and its chain (`doProcess`); everything else lives here once.
#pragma once

#include <atomic>
#include <memory>
#include <span>
#include <vector>

#include "audioeffect.h"
#include "dsp/component.h"
#include "reading.h"

namespace orvex {

// What the shell needs to know of one parameter. Plug-ins extend it (see
// `Parameter<Effect>`) with the mapping onto their units and the display.
struct ParameterInfo {
    const char* name;
    const char* label;
    float defaultValue;
    int controller;  // MIDI controller number that sets it, or kNoController
    const Reading* reading = &kPlainReading;  // its unit, range, kind and mapping
};
inline constexpr int kNoController = -1;

// A program the plug-in ships with: its values in parameter order and its name, written
// over the default program of that number when the bank is made.
struct FactoryProgram {
    int program;
    const char* name;
    std::span<const float> values;
};

struct EffectIdentity {
    VstInt32 uniqueId;
    int numPrograms;
    const char* effectName;   // what the host lists
    const char* productName;
    bool followsHostTempo;    // asks the host for its tempo and song position
    int numScratchBuffers;    // block-size buffers the chain needs besides the two outputs
    std::span<const int> programLoadOrder = {};  // empty: index order
    std::span<const FactoryProgram> factoryPrograms = {};  // the rest hold the defaults, named "Basic"
};

inline constexpr const char* kVendorName = "Harmoxel";
inline constexpr VstInt32 kVendorVersion = 1000;
// 1/127 as the controllers are scaled.
inline constexpr float kControllerScale = 0.007874016f;
// Larger announced block sizes are served in pieces of this size.
inline constexpr VstInt32 kMaxBufferSize = 1 << 16;

struct ADelayProgram {
    static constexpr int kNameSize = 24;
    std::vector<float> values;
    char name[kNameSize] = "Basic";
};

// How a person reads a row: its reading, or the plain 0..1 one when it states none.
inline const Reading& readingOf(const ParameterInfo& info) { return info.reading ? *info.reading : kPlainReading; }

class EffectShell : public AudioEffectX {
    friend class ThreeBandFront;  // clears the slots of the solos it turns off, applies the crossovers again

public:
    EffectShell(audioMasterCallback audioMaster, const EffectIdentity& identity,
                std::vector<const ParameterInfo*> parameters);
    ~EffectShell() override;

    // Programs (user-interface thread).
    void setProgram(VstInt32 index) override;
    void setProgramName(char* name) override;
    void getProgramName(char* text) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Parameters (either thread).
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

    // Audio thread.
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    VstInt32 processEvents(VstEvents* events) override;

    // Lifecycle (user-interface thread, never during a block).
    void resume() override;
    void suspend() override {}
    void setBlockSize(VstInt32 size) override;

    VstInt32 canDo(char* text) override;
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstInt32 getPlugCategory() override { return kPlugCategEffect; }
    bool getEffectName(char* text) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    // Our tools' questions about a row's reading (the 'OxRd', 'OxUn' and 'OxVa'
    // requests); user-interface thread.
    VstIntPtr vendorSpecific(VstInt32 request, VstIntPtr index, void* ptr, float opt) override;

    // The last tempo the host gave, or -1 while it gives none.
    // Any thread: the editor reads it while the audio thread tracks it.
    float getTheBpm() const { return hostTempo.load(std::memory_order_relaxed); }
    // The tempo of the plug-in's own "Bpm" parameter, used while the host gives none;
    // in that state the tempo-following units take it at once.
    void setInternalTempo(float bpm);
    float getInternalTempo() const { return internalTempo; }
    VstInt32 getActiveBlockSize() const { return activeBlockSize; }
    // The table's row `index` (a valid index), for the faces other than VST 2.x and the
    // tools that describe the plug-in.
    const ParameterInfo& parameterInfo(int index) const { return *parameters[index]; }
    int numParams() const { return static_cast<int>(parameters.size()); }
    const EffectIdentity& effectIdentity() const { return identity; }

    // For a face whose host owns every value (LV2: the plug-in cannot write a control
    // port), where the effect's rules that move other parameters (a solo turning the
    // others off, the phaser's link) have to be read from the host's values instead.
    // Audio thread: `values` are the host's (0..1, in parameter order), `changed` marks
    // those that moved since the last call. By default the changed ones go through
    // setParameter in index order: of the solos the one switched on last plays, and of
    // several switched on at once (a restored session, a preset) the highest, where a
    // VST 2.x host restoring parameter by parameter in index order leaves it.
    virtual void followHostValues(std::span<const float> values, std::span<const bool> changed);

protected:
    // The plug-in's side. `applyParameter` converts a stored value onto the units;
    // `displayParameter` writes its display text. Both get valid indices only.
    virtual void applyParameter(int index, float value) = 0;
    virtual void displayParameter(int index, float value, char* text) = 0;
    // Runs the chain over at most one buffer's worth of samples, reading the two
    // inputs and writing `outputLeft()`/`outputRight()`.
    virtual void doProcess(float** inputs, float** outputs, int sampleFrames) = 0;
    // Hands the sample rate to the rate-dependent units (from resume).
    virtual void prepare() {}
    // A mapped MIDI controller (default: the table's controller column).
    virtual void setupControllers(int controller, int value);
    virtual void setupNotes(int) {}
    // Tempo-following units get a new tempo, LFOs the song position of this block.
    virtual void applyTempo(float) {}
    virtual void applySongPosition(float) {}
    // The host's transport has started playing, with this block's first sample at
    // `samplePosition` (LFOs lock to the position at once, even where it stood still
    // before).
    virtual void applyTransportStart(double /*samplePosition*/) {}
    // Writes the internal outputs to the host's (copy or add).
    virtual void writeOutputs(float** outputs, int offset, int sampleFrames, bool accumulate);

    // Called from the plug-in's constructor once its units exist: initial tempo
    // query, program 0, pins, flags and the first resume.
    void finishConstruction();
    // Block-start tempo tracking for tempo-following plug-ins (audio thread).
    void trackHostTempo(VstInt32 mask);

    float* outputLeft() const { return buffers[0]; }
    float* outputRight() const { return buffers[1]; }
    float* scratch(int k) const { return buffers[2 + k]; }
    // Stores a value into the current program and the current values without
    // applying it (a switch turned off by another one).
    void storeValue(int index, float value);
    float currentValue(int index) const { return current[index]; }
    bool validParameter(VstInt32 index) const { return index >= 0 && index < numParams(); }

    float internalTempo = 120.0f;
    std::atomic<float> hostTempo{-1.0f};

private:
    bool hostPlaying = false;  // the transport's state in the last time answer
    void runBlocks(float** inputs, float** outputs, VstInt32 sampleFrames, bool accumulate);

    EffectIdentity identity;
    std::vector<const ParameterInfo*> parameters;
    std::vector<ADelayProgram> programs;
    std::vector<float> current;
    std::vector<float> bufferMemory;
    std::vector<float*> buffers;
    VstInt32 pendingBlockSize;
    VstInt32 activeBlockSize = 0;
};

// One row of a plug-in's parameter table: what the shell needs plus the mapping onto
// the plug-in's units and its display text.
template <class Effect>
struct Parameter : ParameterInfo {
    void (*apply)(Effect& effect, float value);
    void (*display)(Effect& effect, float value, char* text);
};

// A row that hands the value to control `Ctl` of the unit `Member` (a unit, or a
// unique_ptr to one), displays that unit's text for the control and reads as `reading`.
template <class Unit>
Unit& unitOf(Unit& unit) { return unit; }
template <class Unit>
Unit& unitOf(std::unique_ptr<Unit>& unit) { return *unit; }

template <class Effect, auto Member, int Ctl>
Parameter<Effect> controlRow(const char* name, const char* label, float defaultValue, int controller,
                             const Reading* reading = &kPlainReading) {
    return {{name, label, defaultValue, controller, reading},
            [](Effect& e, float v) { unitOf(e.*Member).setControl(v, Ctl); },
            [](Effect& e, float, char* text) { unitOf(e.*Member).getControl(text, Ctl); }};
}

// A shell driven by a table of `Parameter<Effect>` rows; `Effect` derives from it.
template <class Effect>
class TableEffect : public EffectShell {
public:
    using Row = Parameter<Effect>;

    TableEffect(audioMasterCallback audioMaster, const EffectIdentity& identity, std::span<const Row> table)
        : EffectShell(audioMaster, identity, infoOf(table)), table(table) {}

protected:
    void applyParameter(int index, float value) override {
        table[index].apply(static_cast<Effect&>(*this), value);
    }
    void displayParameter(int index, float value, char* text) override {
        table[index].display(static_cast<Effect&>(*this), value, text);
    }

private:
    static std::vector<const ParameterInfo*> infoOf(std::span<const Row> rows) {
        std::vector<const ParameterInfo*> info;
        for (const Row& row : rows) info.push_back(&row);
        return info;
    }

    std::span<const Row> table;
};

}  // namespace orvex
