// An independent, step-by-step model of the distortion's signal path, written from the
// algorithms alone (no code shared with the units): the fourteen type steps with their
// drive coefficients, the gains of a block, the band split in its block form, solos and
// the wet/dry blend. Tests compare the real units and bundle against it bit for bit.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "svf_model.h"

namespace model {

// One band's distortion block: every algorithm's coefficients and state, the selected
// step, the gains.
struct Block {
    int step = 0;
    float drive = 0.5f, in = 1.0f, out = 1.0f;
    // Coefficients of the selected algorithm for the current drive.
    float phaseScale = 0, normGain = 0, threshold = 0, curve = 0, knee = 0, power = 0, invPower = 0, clip = 0;
    int holdLength = 0, holdCount = 0, quantScale = 32768;
    float digitronHeld = 0, quantHeld = 0, phase = 0;

    void setDrive(float d) {
        drive = d;
        switch (step) {
            case 0: {
                const float m = 4.9f * d + 0.1f;
                phaseScale = m * 3.1415927f;
                normGain = static_cast<float>(1.0 / std::sin(static_cast<double>(phaseScale)));
                normGain = std::clamp(normGain, -10.0f, 10.0f);
                threshold = 1.0f / (4.9f * d + 0.1f);
                break;
            }
            case 3: {
                const float shape = 0.5f * d + 0.49f;
                curve = 2.0f * shape / (1.0f - shape);
                break;
            }
            case 4: knee = 1000.0f * d + 1.0f; break;
            case 5: holdLength = static_cast<int>(100.0f * d); break;
            case 10:
                power = 74.0f * d + 1.0f;
                invPower = 1.0f / power;
                break;
            case 12: clip = d * 0.45f + 0.05f; break;
            default: break;
        }
    }
    void setType(float value) {
        step = std::clamp(static_cast<int>(value * 13.99999f), 0, 13);
        if (step >= 6 && step <= 9) quantScale = 1 << (15 - 4 * (step - 6));
        setDrive(drive);
    }
    float shape(float x) {
        switch (step) {
            case 0: return x > threshold ? 1.0f : std::sin(x * phaseScale) * normGain;
            case 1: {
                const float c = 2.0f * drive * x * 0.686306f;
                const float num = std::exp(c) - std::exp(-c * (1.0f + std::exp(-0.75f * std::sqrt(std::fabs(c)))));
                const float den = std::exp(-c) + std::exp(c);
                if (std::isinf(num) || std::isinf(den)) return c > 0 ? 1.0f : -1.0f;
                return num / den;
            }
            case 2: return 1.5f * drive * x + x * (-0.5f * drive * x * x);
            case 3: return (curve + 1.0f) * x / (std::fabs(x) * curve + 1.0f);
            case 4: return (std::fabs(x) + knee) * x / (x * x + std::fabs(x) * (knee - 1.0f) + 1.0f);
            case 5:
                if (++holdCount > holdLength) {
                    holdCount = 0;
                    digitronHeld = x;
                }
                return digitronHeld;
            case 6: case 7: case 8: case 9:
                phase += drive;
                if (phase >= 1.0f) {
                    phase -= 1.0f;
                    quantHeld = static_cast<float>(static_cast<int>(static_cast<float>(quantScale) * x)) *
                                (1.0f / static_cast<float>(quantScale));
                }
                return quantHeld;
            case 10: {
                const float a = std::pow(std::fabs(x), power);
                if (std::isinf(a)) return 0.0f;
                return std::sin(x) * std::pow(a / (a * a * 0.28f + 1.0f), invPower);
            }
            case 11: {
                const float b = std::fabs(x);
                if (b < drive) return b;
                if (b > drive) {
                    const float q = 1.0f + (b - drive) / (1.0f - drive);
                    return drive + (b - drive) / (q * q);
                }
                return b > 1.0f ? (drive + 1.0f) * 0.5f : x;
            }
            case 12: return std::fabs(x + clip) - std::fabs(x - clip);
            default: return x;
        }
    }
    float run(float x) { return shape(x * in) * out; }
};

// The whole effect, parameters as normalised values as the host sets them.
struct Distortion {
    static constexpr int kBands = 3;
    std::array<float, 19> p{};
    std::array<Svf, kBands> svf;  // low-pass, band-pass, high-pass
    std::array<Block, kBands> block;

    explicit Distortion(float rate)
        : svf{Svf(rate, 0, 0.0f, true), Svf(rate, 1, 0.5f, true), Svf(rate, 2, 0.0f, true)} {
        p.fill(0.5f);
        p[4] = p[8] = p[12] = 0.0f;
        p[5] = p[9] = p[13] = 1.0f;
        for (int i = 0; i < 19; ++i) set(i, p[i]);
    }
    // A parameter change, with the solo rule: switching a solo on turns the others off.
    void set(int index, float value) {
        p[index] = value;
        if (index < 3) svf[index].setCutoff(value);
        const int solos[] = {4, 8, 12};
        for (int s : solos)
            if (index == s && value >= 0.5f)
                for (int other : solos)
                    if (other != s) p[other] = 0.0f;
        for (int b = 0; b < kBands; ++b) {
            const int base = 3 + 4 * b;
            if (index == base) block[b].in = 3.0f * value;
            if (index == base + 2) block[b].setType(value);
            if (index == base + 3) block[b].out = 3.0f * value;
            if (index == 15 + b) block[b].setDrive(value);
        }
    }
    void process(const float* inL, const float* inR, float* outL, float* outR, int n) {
        std::array<std::vector<float>, kBands> dist;
        for (auto& d : dist) d.resize(static_cast<std::size_t>(n));
        // Each filter runs the whole block, then each block shapes its band.
        std::vector<float> mono(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) mono[i] = inR[i] * 0.5f + inL[i] * 0.5f;
        for (int b = 0; b < kBands; ++b)
            for (int i = 0; i < n; ++i) dist[b][i] = svf[b].tick(mono[i]);
        for (int b = 0; b < kBands; ++b)
            for (int i = 0; i < n; ++i) dist[b][i] = block[b].run(dist[b][i]);
        for (int b = 0; b < kBands; ++b) {
            if (p[4 + 4 * b] >= 0.5f) {
                for (int i = 0; i < n; ++i) outL[i] = outR[i] = dist[b][i];
                return;
            }
        }
        const float wet = p[18], dry = 1.0f - p[18];
        for (int i = 0; i < n; ++i) {
            const float sum = dist[0][i] + dist[1][i] + dist[2][i];
            outL[i] = sum * wet + inL[i] * dry;
            outR[i] = sum * wet + inR[i] * dry;
        }
    }
};

}  // namespace model
