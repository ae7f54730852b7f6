#include "lfo.h"

#include <cmath>

namespace orvex {

namespace {

const char* const kDivisionText[CLfo::kNumDivisions] = {"4", "2", "1", "1/2", "1/4", "1/8", "1/16", "1/32", "1/64"};
const char* const kWaveformText[CLfo::kNumWaveforms] = {"sin", "sawUp", "sawDown", "square", "triangle", "harmoxel"};

// The display texts are at most 15 characters; callers give at least that room.
constexpr int kTextCapacity = 16;

// e - 1 as the nearest float just below it: the exp-triangle's peak at entry 128
// comes out as 1 once mapped onto 0..1.
constexpr double kExpDivisor = 1.7182817459106445;

}  // namespace

CConvertor::CConvertor() {
    // Equal temperament from MIDI note 0, by repeated multiplication in double.
    double f = 8.175798915636872;
    for (int n = 0; n < kNumNotes; ++n) {
        noteFrequency[n] = static_cast<float>(f);
        f *= 1.059463094359;
    }
}

float CConvertor::getLfoFreq(float bpm, int division, bool triplet, int multiple) const {
    if (division < 0 || division >= CLfo::kNumDivisions || multiple < 1) return 0.0f;
    float period = 60000.0f / bpm;  // milliseconds per beat
    period *= kLfoDivisionFactor[division];
    // Beats per second from milliseconds per beat, rounded as the first release did:
    // 1000 / period, then × 1000 / 1000 as two more float roundings. Those can move
    // the last bit, and the golden outputs and the panner's model keep that rounding.
    float frequency = 1000.0f / period * 1000.0f / 1000.0f;
    if (triplet) frequency /= 1.5f;
    return frequency / static_cast<float>(multiple);
}

CLfo::CLfo(float rate, SinePrecision precision) : sinePrecision(precision) {
    waveformChoice.setIndexRange(0, kNumWaveforms - 1, kWaveformScale);
    divisionChoice.setIndexRange(0, kNumDivisions - 1, kDivisionScale);
    multipleChoice.setIndexRange(0, kNumMultiples - 1, kMultipleScale);
    createWaveTables();
    table = (*waveTables)[kSine].data();
    if (!(std::isfinite(rate) && rate > 0.0f && std::isfinite(257.0f / rate))) rate = 44100.0f;
    CComponent::setSampleRate(rate);
    rateFactor = 257.0f / rate;
    setFrequency();
}

namespace {

using WaveTables = std::array<CLfo::WaveTable, CLfo::kNumWaveforms>;

WaveTables drawWaveTables(SinePrecision sinePrecision) {
    WaveTables waveTables{};
    // Every table is drawn in -1..1 and then mapped onto 0..1 by (t + 1) * 0.5; the
    // saw-down is the mirror of the mapped saw-up. Entry 256 closes the cycle for the
    // interpolation between entries 255 and 256.
    CLfo::WaveTable& sine = waveTables[CLfo::kSine];
    CLfo::WaveTable& sawUp = waveTables[CLfo::kSawUp];
    CLfo::WaveTable& sawDown = waveTables[CLfo::kSawDown];
    CLfo::WaveTable& square = waveTables[CLfo::kSquare];
    CLfo::WaveTable& triangle = waveTables[CLfo::kTriangle];
    CLfo::WaveTable& expTriangle = waveTables[CLfo::kExpTriangle];

    for (int i = 0; i < CLfo::kTableSize; ++i) {
        const float turns = static_cast<float>(i) * 0.00390625f;
        sine[i] = sinePrecision == SinePrecision::kSingle
                      ? std::sin(turns * 6.2831855f)
                      : static_cast<float>(std::sin(static_cast<double>(turns) * 6.283185307179586));
    }
    for (int i = 0; i < 256; ++i) sawUp[i] = static_cast<float>(i) / 255.0f * 2.0f - 1.0f;
    sawUp[256] = -1.0f;
    for (int i = 0; i < 256; ++i) square[i] = i < 128 ? 1.0f : -1.0f;
    square[256] = 1.0f;
    for (int i = 0; i < 256; ++i) {
        const int quarter = i / 64;
        const float offset = static_cast<float>(i % 64);
        switch (quarter) {
            case 0: triangle[i] = offset / 64.0f; break;
            case 1: triangle[i] = (64.0f - offset) / 64.0f; break;
            case 2: triangle[i] = -offset / 64.0f; break;
            default: triangle[i] = (offset - 64.0f) / 64.0f; break;
        }
    }
    triangle[256] = 0.0f;
    for (int i = 0; i < 256; ++i) {
        const double x = (i < 128 ? i : 256 - i) / 128.0;
        expTriangle[i] = static_cast<float>((std::exp(x) - 1.0) / kExpDivisor * 2.0 - 1.0);
    }
    expTriangle[256] = -1.0f;

    for (int w = 0; w < CLfo::kNumWaveforms; ++w) {
        if (w == CLfo::kSawDown) continue;
        for (float& entry : waveTables[w]) entry = (entry + 1.0f) * 0.5f;
    }
    for (int i = 0; i < CLfo::kTableSize; ++i) sawDown[i] = 1.0f - sawUp[i];
    return waveTables;
}

}  // namespace

void CLfo::createWaveTables() {
    // Made on the first LFO's construction (control thread), then only read.
    if (sinePrecision == SinePrecision::kSingle) {
        static const WaveTables single = drawWaveTables(SinePrecision::kSingle);
        waveTables = &single;
    } else {
        static const WaveTables precise = drawWaveTables(SinePrecision::kDouble);
        waveTables = &precise;
    }
}

void CLfo::setSampleRate(float rate) {
    if (!(std::isfinite(rate) && rate > 0.0f)) return;
    const float factor = 257.0f / rate;
    if (!std::isfinite(factor)) return;
    CComponent::setSampleRate(rate);
    rateFactor = factor;
    setFrequency();
}

void CLfo::setFrequency() {
    const int division = divisionChoice.index;
    const float newFrequency = convertor.getLfoFreq(tempo, division, false, multipleChoice.index + 1);
    const float increment = newFrequency * rateFactor;
    // An extreme tempo or rate could overflow the increment; the phase arithmetic
    // must stay finite, so such a result is not taken and the LFO keeps its speed.
    if (std::isfinite(increment) && increment >= 0.0f) phaseIncrement = increment;
    barFactor = CMUSIC_MATH_SONG_PHASE[division];
}

void CLfo::setControl(float value, int control) {
    switch (control) {
        case kCtlBpm:
            // A tempo of zero, below zero or not a number would make the increment
            // infinite or NaN: keep the previous tempo instead.
            if (std::isfinite(value) && value > 0.0f) {
                tempo = value;
                setFrequency();
            }
            break;
        case kCtlDivision:
            divisionChoice.getSetIndex(value);
            setFrequency();
            break;
        case kCtlWaveform:
            table = (*waveTables)[waveformChoice.getSetIndex(value)].data();
            break;
        case kCtlMultiple:
            multipleChoice.getSetIndex(value);
            setFrequency();
            break;
        default:
            break;
    }
}

void CLfo::setControlAutomated(float value, int control) { setControl(value, control); }

void CLfo::getControl(char* text, int control) {
    switch (control) {
        case kCtlBpm: floatToString(tempo, text); break;
        case kCtlDivision: copyText(text, kDivisionText[divisionChoice.index], kTextCapacity); break;
        case kCtlWaveform: copyText(text, kWaveformText[waveformChoice.index], kTextCapacity); break;
        case kCtlMultiple: floatToString(static_cast<float>(multipleChoice.index + 1), text); break;
        default: break;
    }
}

void CLfo::getControlName(char* text, int control) {
    switch (control) {
        case kCtlBpm: copyText(text, "Bpm", kTextCapacity); break;
        case kCtlDivision: copyText(text, "Division", kTextCapacity); break;
        case kCtlWaveform: copyText(text, "Type", kTextCapacity); break;
        case kCtlMultiple: copyText(text, "Multipler", kTextCapacity); break;
        default: break;
    }
}

void CLfo::getUnitOfMeasurement(char* text, int control) {
    switch (control) {
        case kCtlBpm:
        case kCtlWaveform:
        case kCtlMultiple: copyText(text, " ", kTextCapacity); break;
        case kCtlDivision: copyText(text, "bars", kTextCapacity); break;
        default: break;
    }
}

void CLfo::reset() {
    phase = 0.0f;
    songPosition = 0.0f;
}

void CLfo::setSongPosition(float position) { songPosition = std::isfinite(position) ? position : kNoSongPosition; }

float CLfo::wrapped(float phase) {
    // A true modulo rather than one subtraction: with an absurdly low sample rate the
    // increment can reach 256 or more, and one subtraction would leave the phase
    // beyond the table. For a phase below 512 this equals the subtraction exactly.
    return std::fmod(phase, kCycleLength);
}

void CLfo::lockToSongPosition() {
    // Follow the host's bar position whenever it moves; run free while it stands
    // still or is absent (setSongPosition turns a non-finite position into absent).
    // c is formed in double so that even the largest float position cannot overflow.
    if (songPosition != kNoSongPosition && songPosition != lastSongPosition) {
        const double c = static_cast<double>(songPosition) * 0.25 * static_cast<double>(barFactor);
        phase = static_cast<float>((c - std::floor(c)) * 257.0);
        if (phase >= kCycleLength) phase = wrapped(phase);
        lastSongPosition = songPosition;
    }
}

float CLfo::processBlock(int count) {
    lockToSongPosition();
    for (int i = 1; i < count; ++i) advance();
    const float value = interpolate(table, phase);
    advance();
    return value;
}

void CLfo::processBlocks(CLfo& a, CLfo& b, CLfo& c, int count, float values[3]) {
    a.lockToSongPosition();
    b.lockToSongPosition();
    c.lockToSongPosition();
    float phaseA = a.phase, phaseB = b.phase, phaseC = c.phase;
    const float incA = a.phaseIncrement, incB = b.phaseIncrement, incC = c.phaseIncrement;
    for (int i = 1; i < count; ++i) {
        phaseA = stepped(phaseA, incA);
        phaseB = stepped(phaseB, incB);
        phaseC = stepped(phaseC, incC);
    }
    a.phase = phaseA;
    b.phase = phaseB;
    c.phase = phaseC;
    CLfo* const lfos[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
        CLfo& l = *lfos[k];
        values[k] = interpolate(l.table, l.phase);
        l.advance();
    }
}

}  // namespace orvex
