// The unit model every DSP building block of the plug-ins shares: a component that
// knows its sample rate, and, for most kinds, a control interface addressed by
// control identifiers from one numbering common to all units.
#pragma once

namespace orvex {

// Control identifiers, one numbering for all units so that a container can pass an
// identifier it does not own straight to an inner unit.
enum ControlId : int {
    kCtlLowFreq = 0,
    kCtlMidFreq = 1,
    kCtlHighFreq = 2,
    kCtlCutoff = 4,
    kCtlResonance = 5,
    kCtlDrive = 6,
    kCtlFilterType = 7,
    kCtlOnOff = 8,
    kCtlBpm = 10,
    kCtlDivision = 11,
    kCtlWaveform = 15,
    kCtlLfoDepth = 16,
    kCtlPole = 20,
    kCtlPan = 34,
    kCtlMultiple = 37,
    kCtlInputLevel = 38,
    kCtlOutputLevel = 39,
};

// The anti-denormal offset added in front of recursive computations.
inline constexpr float kAntiDenormal = 1e-20f;

// The song position handed to tempo-locked units when the host gives none.
inline constexpr float kNoSongPosition = -1000.0f;

// Writes `value` as an 8-character decimal text ("0.500000", "120.0000", "-1.50000"),
// or "Huge!" when the integer part cannot be shown. `text` holds at least 9 bytes.
void floatToString(float value, char* text);

// Bounded NUL-terminated copy: never writes more than `capacity` bytes.
void copyText(char* dest, const char* src, int capacity);

class CComponent {
public:
    // Room for a control's name, unit or display text.
    static constexpr int kNameSize = 16;

    CComponent() = default;
    virtual ~CComponent() = default;
    CComponent(const CComponent&) = delete;
    CComponent& operator=(const CComponent&) = delete;

    virtual void setSampleRate(float rate) { sampleRate = rate; }

    float getSampleRate() const { return sampleRate; }

    static void addDC(float& sample) { sample += kAntiDenormal; }
    static void floatToString(float value, char* text) { orvex::floatToString(value, text); }

protected:
    float sampleRate = 44100.0f;
};

// The control slots every unit with controls has, declared after the slots of `Head`
// (a form of CComponent that declares what comes first). The units here put their
// `setControl` first (CSettable); a plug-in whose units put processing first gives its
// own head and so its own form of the unit base, keeping these slots as they are.
template <class Head>
class ControlSlots : public Head {
public:
    virtual void setControlAutomated(float value, int control) = 0;
    virtual void getControl(char* text, int control) = 0;
    virtual void getControlName(char* text, int control) = 0;
    virtual void getUnitOfMeasurement(char* text, int control) = 0;
};

// The head of the shared control interface: a value set by control identifier.
class CSettable : public CComponent {
public:
    virtual void setControl(float value, int control) = 0;
};

// The control interface shared, slot for slot, by audio units and modulation sources.
class CControlUnit : public ControlSlots<CSettable> {};

// Audio-processing units (filters, panners, distortion stages).
class CEffect : public CControlUnit {};

// Modulation sources (LFOs, generators).
class CModulator : public CControlUnit {};

// Units without controls (switches, mixers, pan pot).
class CUtility : public CComponent {};

}  // namespace orvex
