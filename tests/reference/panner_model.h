// An independent, step-by-step model of the panner's signal path, written from the
// algorithms alone (no code shared with the units): wave-table LFO, pan pot,
// oversampled state-variable filter, band split and the whole effect chain. Tests
// compare the real units and the real bundle against it bit for bit.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "svf_model.h"

namespace model {

struct Lfo {
    float table[257];
    float phase = 0, inc = 0, barFactor = 0.25f, songPosition = 0, lastSongPosition = 0;
    float rate;
    float bpm = 120;
    int division = 0, multiple = 1;

    Lfo(int waveform, float bpm, int division, int multiple, float rate) : rate(rate) {
        setWaveform(waveform);
        setRate(bpm, division, multiple);
    }
    void setWaveform(int waveform) {
        float sawUp[257];
        for (int i = 0; i < 256; ++i) sawUp[i] = ((static_cast<float>(i) / 255.0f * 2.0f - 1.0f) + 1.0f) * 0.5f;
        sawUp[256] = 0.0f;
        for (int i = 0; i <= 256; ++i) {
            switch (waveform) {
                case 0: table[i] = (std::sin(static_cast<float>(i) * 0.00390625f * 6.2831855f) + 1.0f) * 0.5f; break;
                case 1: table[i] = sawUp[i]; break;
                case 2: table[i] = 1.0f - sawUp[i]; break;
                case 3: table[i] = (i < 128 || i == 256) ? 1.0f : 0.0f; break;
                case 4:
                    table[i] = i < 64 ? 0.5f + i / 128.0f : i < 192 ? 1.0f - (i - 64) / 128.0f : i < 256 ? (i - 192) / 128.0f : 0.5f;
                    break;
                default: {
                    const double x = i < 128 ? i / 128.0 : (256 - i) / 128.0;
                    const float t = static_cast<float>((std::exp(x) - 1.0) / 1.7182817459106445 * 2.0 - 1.0);
                    table[i] = i == 256 ? 0.0f : (t + 1.0f) * 0.5f;
                }
            }
        }
    }
    void setRate(float newBpm, int newDivision, int newMultiple) {
        bpm = newBpm;
        division = newDivision;
        multiple = newMultiple;
        const float factors[9] = {16, 8, 4, 2, 1, 0.5f, 0.25f, 0.125f, 0.0625f};
        const float bars[9] = {0.25f, 0.5f, 1, 2, 4, 8, 16, 32, 64};
        const float period = 60000.0f / bpm * factors[division];
        const float frequency = 1000.0f / period * 1000.0f / 1000.0f / static_cast<float>(multiple);
        inc = frequency * (257.0f / rate);
        barFactor = bars[division];
    }
    void reset() {
        phase = 0;
        songPosition = 0;
    }
    float read(int count) {
        if (songPosition != -1000.0f && songPosition != lastSongPosition) {
            const float c = songPosition * 0.25f * barFactor;
            phase = (c - std::floor(c)) * 257.0f;
            if (phase >= 256.0f) phase -= 256.0f;
            lastSongPosition = songPosition;
        }
        for (int i = 0; i < count - 1; ++i) {
            phase += inc;
            if (phase >= 256.0f) phase -= 256.0f;
        }
        const int index = static_cast<int>(phase);
        const float value = table[index] + (phase - index) * (table[index + 1] - table[index]);
        phase += inc;
        if (phase >= 256.0f) phase -= 256.0f;
        return value;
    }
};

struct Pot {
    float leftGain = 0.5f, rightGain = 0.5f, leftStep = 0, rightStep = 0;
    int counter = 0;
    void run(const float* in, float* left, float* right, Lfo& lfo, int count, float depth) {
        const float f = std::fabs(2.0f * depth - 1.0f);
        const float g = 0.5f - 0.5f * f;
        for (int i = 0; i < count; ++i) {
            if (++counter == 32) {
                const float p = lfo.read(32) * f + g;
                leftStep = ((1.0f - p) - leftGain) * 0.03125f;
                rightStep = (p - rightGain) * 0.03125f;
                counter = 0;
            }
            leftGain += leftStep;
            rightGain += rightStep;
            left[i] = in[i] * leftGain;
            right[i] = in[i] * rightGain;
        }
    }
};

// What the host reported for one block: nothing, or a tempo with or without position.
struct Time {
    double tempo;
    std::optional<double> ppq;
};

// The whole panner, parameters in normalised values as the host sets them.
struct Panner {
    static constexpr int kBands = 3;
    float rate;
    std::array<float, 20> p{};
    std::array<Lfo, kBands> lfo;
    std::array<Pot, kBands> pot;
    std::array<Svf, kBands> svf;  // low-pass, band-pass, high-pass
    float hostTempo = -1.0f;

    static int choice(float value, int count, float scale) {
        return std::clamp(static_cast<int>(value * scale), 0, count - 1);
    }
    float internalTempo() const { return 50.0f + p[18] * 200.0f; }

    // Starts as the plug-in does with the default program and (optionally) a host tempo.
    Panner(float rate, std::optional<double> initialHostTempo)
        : rate(rate),
          lfo{Lfo(0, 120, 0, 1, rate), Lfo(0, 120, 0, 1, rate), Lfo(0, 120, 0, 1, rate)},
          svf{Svf(rate, 0, 0.0f), Svf(rate, 1, 0.5f), Svf(rate, 2, 0.0f)} {
        p.fill(0.5f);
        p[7] = p[12] = p[17] = 0.0f;
        if (initialHostTempo) hostTempo = static_cast<float>(*initialHostTempo);
        apply();
    }
    // Pushes the normalised values into the units (a parameter change).
    void apply() {
        for (int b = 0; b < kBands; ++b) {
            svf[b].setCutoff(p[b]);
            const int base = 3 + 5 * b;
            lfo[b].setWaveform(choice(p[base + 2], 6, 5.99999f));
            const float bpm = hostTempo == -1.0f ? internalTempo() : hostTempo;
            lfo[b].setRate(bpm, choice(p[base + 1], 9, 8.99999f), 1);
        }
    }
    void process(const float* inL, const float* inR, float* outL, float* outR, int n, std::optional<Time> time) {
        if (time) {
            if (time->tempo != static_cast<double>(hostTempo)) {
                hostTempo = static_cast<float>(time->tempo);
                for (auto& l : lfo) l.setRate(hostTempo, l.division, l.multiple);
            }
        } else if (hostTempo != -1.0f) {
            hostTempo = -1.0f;
            for (auto& l : lfo) l.setRate(internalTempo(), l.division, l.multiple);
        }
        const float position = time && time->ppq ? static_cast<float>(*time->ppq) : -1000.0f;
        for (auto& l : lfo) l.songPosition = position;

        std::vector<float> bandBuf[kBands], left[kBands], right[kBands];
        for (int b = 0; b < kBands; ++b) bandBuf[b].resize(n), left[b].resize(n), right[b].resize(n);
        for (int i = 0; i < n; ++i) {
            const float mono = inR[i] * 0.5f + inL[i] * 0.5f;
            // Filters tick low, band, high.
            bandBuf[0][i] = svf[0].tick(mono);
            bandBuf[1][i] = svf[1].tick(mono);
            bandBuf[2][i] = svf[2].tick(mono);
        }
        for (int b = 0; b < kBands; ++b)
            for (int i = 0; i < n; ++i) bandBuf[b][i] *= 2.0f * p[6 + 5 * b];
        for (int b = 0; b < kBands; ++b) {
            if (p[7 + 5 * b] >= 0.5f) {
                pot[b].run(bandBuf[b].data(), outL, outR, lfo[b], n, p[3 + 5 * b]);
                return;
            }
        }
        for (int b = 0; b < kBands; ++b)
            pot[b].run(bandBuf[b].data(), left[b].data(), right[b].data(), lfo[b], n, p[3 + 5 * b]);
        const float wet = p[19], dry = 1.0f - p[19];
        for (int i = 0; i < n; ++i) {
            const float sumL = left[0][i] + left[1][i] + left[2][i];
            const float sumR = right[0][i] + right[1][i] + right[2][i];
            outL[i] = sumL * wet + inL[i] * dry;
            outR[i] = sumR * wet + inR[i] * dry;
        }
    }
};

}  // namespace model
