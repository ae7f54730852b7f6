// The tempo-synchronised wave-table LFO shared by the panner's auto-panners and the
// filter plug-in, and the convertor that turns tempo, division and rate multiple into
// an oscillator frequency.
//
// Threads: constructed, configured and destroyed on whatever thread the owner uses
// for controls (the host's user-interface thread, sometimes its audio thread);
// processBlock and setSongPosition run on the audio thread. Control writes are plain
// stores picked up at the next processBlock; nothing here allocates after construction.
#pragma once

#include <array>

#include "component.h"
#include "parameter.h"

namespace orvex {

// Cycles per bar of each tempo division, from 4 bars (index 0) down to 1/64 bar (8).
inline constexpr float CMUSIC_MATH_SONG_PHASE[9] = {0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 32.0f, 64.0f};

// Length of one cycle, in beats, for each division: 4 bars = 16 beats ... 1/64 bar.
inline constexpr float kLfoDivisionFactor[9] = {16.0f, 8.0f, 4.0f, 2.0f, 1.0f, 0.5f, 0.25f, 0.125f, 0.0625f};

class CConvertor : public CParameter {
public:
    static constexpr int kNumNotes = 128;

    CConvertor();

    // Frequency in hertz of one LFO cycle lasting `division` (index 0..8 of the
    // division table) at `bpm`, divided by 1.5 for triplets and by `multiple`.
    // A division outside 0..8 or a multiple below 1 gives 0 (no movement).
    float getLfoFreq(float bpm, int division, bool triplet, int multiple) const;

    // Equal-tempered frequencies of MIDI notes 0..127 (8.1757989 Hz upwards).
    std::array<float, kNumNotes> noteFrequency{};
};

// The arithmetic of the sine table: single precision throughout (the shared form), or
// the sine and its 2 pi taken in double precision and the entry stored as a float.
enum class SinePrecision { kSingle, kDouble };

class CLfo : public CModulator {
public:
    static constexpr int kTableSize = 257;  // 256 steps per cycle + the closing entry
    static constexpr float kCycleLength = 256.0f;
    static constexpr int kNumWaveforms = 6;
    static constexpr int kNumDivisions = 9;
    static constexpr int kNumMultiples = 8;
    // The choice scales of the division, waveform and multiple controls: each value
    // selects truncate(value x scale), just below the number of entries.
    static constexpr float kDivisionScale = 8.99999f;
    static constexpr float kWaveformScale = 5.99999f;
    static constexpr float kMultipleScale = 7.99999f;
    static constexpr float kNoSongPosition = orvex::kNoSongPosition;

    enum Waveform { kSine = 0, kSawUp, kSawDown, kSquare, kTriangle, kExpTriangle };

    using WaveTable = std::array<float, kTableSize>;

    explicit CLfo(float sampleRate) : CLfo(sampleRate, SinePrecision::kSingle) {}

    // Control interface (identifiers 10 Bpm, 11 Division, 15 Type, 37 Multipler).
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Stores the rate and recomputes the phase increment at once, so a resume at a
    // new rate does not leave the LFO running at the old speed. A rate that is not a
    // positive finite number (or so small that 257 / rate overflows) is ignored.
    void setSampleRate(float rate) override;

    // Restarts the cycle: phase 0, song position 0 (audio or control thread).
    virtual void reset();

    // Fills the six wave tables in place (they live inside the LFO, so rebuilding
    // never allocates).
    virtual void createWaveTables();

    // Audio thread: advances the oscillator by `count` samples and returns its value
    // (0..1) at the last of them, after locking the phase to the song position when
    // the host's position has moved.
    float processBlock(int count);

    // Audio thread: processBlock(count) on three distinct oscillators, their values in
    // `values`. Each phase is a chain of dependent additions; stepped side by side the
    // three chains overlap instead of running one after another.
    static void processBlocks(CLfo& a, CLfo& b, CLfo& c, int count, float values[3]);

    // Audio thread, before each block: the host's position in quarter notes, or
    // kNoSongPosition. A position that is not finite counts as none.
    void setSongPosition(float position);
    // Audio thread: the next block locks to the song position even when it has not
    // moved. The host's transport has just started where it stood: the oscillator ran
    // free while it stood, and the music starts here.
    void relock() { lastSongPosition = kNoSongPosition; }

    float getPhaseIncrement() const { return phaseIncrement; }
    float getPhase() const { return phase; }
    const WaveTable& getWaveTable(int waveform) const { return (*waveTables)[clampWaveform(waveform)]; }

protected:
    CLfo(float sampleRate, SinePrecision sinePrecision);

    // Audio thread, at the start of a block: sets the phase from the song position
    // when the host's position has moved since the last lock.
    void lockToSongPosition();
    // The value of `waveTable` at `phase` (0 <= phase < 256), linearly interpolated.
    static float interpolate(const float* waveTable, float phase) {
        const int index = static_cast<int>(phase);
        const float fraction = phase - static_cast<float>(index);
        return waveTable[index] + fraction * (waveTable[index + 1] - waveTable[index]);
    }
    // `phase` one sample on by `increment`, back inside 0..256.
    static float stepped(float phase, float increment) {
        phase += increment;
        return phase >= kCycleLength ? wrapped(phase) : phase;
    }

    const float* table = nullptr;  // the selected one of waveTables
    float phaseIncrement = 0.0f;
    float phase = 0.0f;

private:
    static int clampWaveform(int waveform) {
        return waveform < 0 ? 0 : (waveform >= kNumWaveforms ? kNumWaveforms - 1 : waveform);
    }
    // Recomputes the increment and bar factor after a tempo, division, multiple or
    // rate change (control thread).
    void setFrequency();
    // One sample forward, keeping the phase in 0..256.
    void advance() { phase = stepped(phase, phaseIncrement); }
    static float wrapped(float phase);

    SinePrecision sinePrecision;
    // The tables depend on the sine's precision alone, so every LFO of the process
    // shares one set per precision (made once, never written after).
    const std::array<WaveTable, kNumWaveforms>* waveTables = nullptr;
    CConvertor convertor;
    CParameter waveformChoice;
    CParameter divisionChoice;
    CParameter multipleChoice;
    float tempo = 120.0f;
    float rateFactor = 0.0f;
    float songPosition = 0.0f;
    float lastSongPosition = 0.0f;
    float barFactor = 0.25f;
};

// The LFO's choices as a person picks them, in the LFO's own order, and the control
// value each sends (it lands back on its entry through the control's scale). The
// editors' menus show these names as they are: the leading blank is their padding.
inline constexpr const char* kDivisionEntries[CLfo::kNumDivisions] = {
    " 4 bars", " 2 bars", " 1 bar", " 1/2 bar", " 1/4 bar", " 1/8 bar", " 1/16 bar", " 1/32 bar", " 1/64 bar"};
inline constexpr float kDivisionValues[CLfo::kNumDivisions] = {0.0f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1.0f};
inline constexpr const char* kWaveformEntries[CLfo::kNumWaveforms] = {" Sin",    " Saw up",   " Saw down",
                                                                      " Square", " Triangle", " Exp(Triangle)"};
inline constexpr float kWaveformValues[CLfo::kNumWaveforms] = {0.0f, 0.2f, 0.4f, 0.6f, 0.7f, 1.0f};
inline constexpr const char* kMultipleEntries[CLfo::kNumMultiples] = {"x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8"};
inline constexpr float kMultipleValues[CLfo::kNumMultiples] = {0.0f, 0.14f, 0.29f, 0.42f, 0.57f, 0.71f, 0.85f, 1.0f};

}  // namespace orvex
