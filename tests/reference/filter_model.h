// An independent, step-by-step model of the filter plug-in's signal path, written from
// its algorithms alone (nothing shared with the plug-in's units): the per-sample LFO
// with its double-precision sine, the two CV generators, the double-precision
// state-variable stages with their coefficient updates every 32 samples, the shaper and
// the blend. The wave tables and the rate of the LFO are those of the panner's model.
#pragma once

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <optional>
#include <vector>

#include "reference/panner_model.h"

namespace model {

// The LFO of the filter: the panner's tables except the sine, whose sine and 2 pi are
// taken in double precision; one value per sample.
struct FilterLfo : Lfo {
    FilterLfo(float bpm, float rate) : Lfo(0, bpm, 0, 1, rate) { setWave(0); }
    void setWave(int waveform) {
        setWaveform(waveform);
        if (waveform == 0)
            for (int i = 0; i <= 256; ++i)
                table[i] = (static_cast<float>(std::sin(static_cast<double>(static_cast<float>(i) * 0.00390625f) *
                                                        6.283185307179586)) + 1.0f) * 0.5f;
    }
    float next() { return read(1); }
};

// The cutoff map 30 Hz .. 0.49 x the rate of construction, in natural logarithms,
// held at its ends and inside them limited by the branch-free form.
struct CutoffMap {
    float low, high, logLow, logHigh, last;
    explicit CutoffMap(float constructionRate)
        : low(30.0f), high(constructionRate * 0.49f), logLow(std::log(30.0f)), logHigh(std::log(high)) {
        last = map(1.0f);
    }
    float map(float c) {
        const float v = std::exp(c * (logHigh - logLow) + logLow);
        if (!(v >= low)) return last = low;
        if (v > high) return last = high;
        return last = 0.5f * (std::fabs(v - low) + low + high - std::fabs(v - high));
    }
};

struct Stage {
    CutoffMap map;
    double period;
    double low = 0, band = 0, high = 0, notch = 0, peak = 0;
    double hz, resonance = 0, freq, damp, freqStep = 0, dampStep = 0;
    int count = 0, type = 0;
    bool active = true;

    static double mn(double a, double b) { return (a + b - std::fabs(a - b)) / 2; }
    static double mx(double a, double b) { return (a + b + std::fabs(a - b)) / 2; }
    static double f(double hz, double period) { return 2 * std::sin(3.141592653589793 * mn(hz * period, 0.25)); }
    static double d(double f, double r) { return mn(mn(2, 2 / f - 0.5 * f), 2 * (1 - std::pow(r, 0.25))); }

    Stage(float constructionRate, float rate) : map(constructionRate), period(1.0 / (2.0 * constructionRate)) {
        hz = map.last;
        freq = f(hz, period);
        damp = d(freq, 0);
        setRate(rate);
    }
    // The coefficients are recomputed for the new rate where the filter stands.
    void setRate(float rate) {
        period = 1.0 / (2.0 * static_cast<double>(rate));
        freq = f(hz, period);
        damp = d(freq, resonance);
        freqStep = dampStep = 0;
    }
    double pick() const {
        const double outputs[5] = {low, band, high, notch, peak};
        return outputs[type];
    }
    void run(const float* in, float* out, const float* cutoff, const float* reson, int n) {
        if (!active) {
            std::copy_n(in, n, out);
            return;
        }
        for (int i = 0; i < n; ++i) {
            if (++count % 32 == 0) {
                count = 0;
                hz = map.map(cutoff[i]);
                resonance = mx(std::clamp(static_cast<double>(reson[i]), 0.0, 1.0), 0.06);
                const double ft = f(hz, period), dt = d(ft, resonance);
                dampStep = (dt - damp) * 0.03125;
                freqStep = (ft - freq) * 0.03125;
            }
            damp += dampStep;
            freq += freqStep;
            const double x = static_cast<double>(in[i]) + static_cast<double>(1e-20f);
            float y = 0;
            for (int pass = 0; pass < 2; ++pass) {
                notch = x - damp * band;
                low = low + freq * band;
                high = notch - low;
                band = freq * high + band;
                peak = pass == 0 ? 0 : low - high;
                y = y + static_cast<float>(0.5 * pick());
            }
            out[i] = y;
        }
    }
};

// The whole plug-in, parameters as normalised values set one by one as the host does.
struct Filter {
    static constexpr float kConstructionRate = 44100.0f;  // the base's rate when built
    float rate;
    std::array<float, 13> p{0.8f, 0, 0.2f, 0, 1, 0, 0, 0.5f, 0.5f, 1, 0.5f, 0.5f, 0};
    FilterLfo lfo;
    std::array<std::array<Stage, 2>, 2> stage;  // [channel][first, second]
    bool fourPoles = false;
    float gain = 0, curve = 0;
    float hostTempo = -1;

    Filter(float rate, std::optional<double> initialHostTempo)
        : rate(rate),
          lfo(150, rate),
          stage{{{Stage(kConstructionRate, rate), Stage(kConstructionRate, rate)},
                 {Stage(kConstructionRate, rate), Stage(kConstructionRate, rate)}}} {
        if (initialHostTempo) hostTempo = static_cast<float>(*initialHostTempo);
        for (int i = 0; i < 13; ++i) set(i, p[i]);
    }
    static int choice(float value, int count, float scale) {
        return std::clamp(static_cast<int>(value * scale), 0, count - 1);
    }
    float tempo() const { return hostTempo == -1.0f ? 50.0f + p[11] * 200.0f : hostTempo; }
    void setLfoRate() { lfo.setRate(tempo(), choice(p[5], 9, 8.99999f), choice(p[12], 8, 7.99999f) + 1); }
    void set(int index, float v) {
        p[index] = v;
        for (auto& channel : stage)
            for (Stage& s : channel) {
                if (index == 3) s.type = choice(v, 5, 4.99999f);
                if (index == 4) s.active = v >= 0.5f;
                if (index == 9) s.count = 31;
            }
        if (index == 9) fourPoles = 1.0f - v >= 0.5f;
        if (index == 2) {
            const float shape = v * 0.5f + 0.49f;
            curve = (shape + shape) / (1.0f - shape);
            gain = curve + 1.0f;
        }
        if (index == 6) lfo.setWave(choice(v, 6, 5.99999f));
        if (index == 5 || index == 11 || index == 12) setLfoRate();
    }
    void noteOn() { lfo.reset(); }
    void process(const float* inL, const float* inR, float* outL, float* outR, int n, std::optional<Time> time) {
        const float hostValue = time ? static_cast<float>(time->tempo) : 0.0f;
        const bool hasTempo = std::isfinite(hostValue) && hostValue > 0;
        if (hasTempo) {
            if (hostValue != hostTempo) {
                hostTempo = hostValue;
                setLfoRate();
            }
            lfo.songPosition = time->ppq && std::isfinite(*time->ppq) ? static_cast<float>(*time->ppq) : -1000.0f;
        } else {
            if (hostTempo != -1.0f) {
                hostTempo = -1.0f;
                setLfoRate();
            }
            lfo.songPosition = -1000.0f;
        }
        std::vector<float> l(n), cut(n), res(n), filtered[2] = {std::vector<float>(n), std::vector<float>(n)};
        for (int i = 0; i < n; ++i) l[i] = lfo.next();
        const float a = 2 * p[7] - 1, b = 2 * p[8] - 1;
        for (int i = 0; i < n; ++i) {
            const float v = a * l[i] + p[0], w = b * l[i] + p[1];
            cut[i] = (std::fabs(v) + 1 - std::fabs(v - 1)) * 0.5f;
            res[i] = (std::fabs(w) + 1 - std::fabs(w - 1)) * 0.5f;
        }
        const float* in[2] = {inL, inR};
        float* out[2] = {outL, outR};
        for (int c = 0; c < 2; ++c) {
            stage[c][0].run(in[c], filtered[c].data(), cut.data(), res.data(), n);
            if (fourPoles) stage[c][1].run(filtered[c].data(), filtered[c].data(), cut.data(), res.data(), n);
            for (int i = 0; i < n; ++i) {
                const float x = filtered[c][i];
                const float y = static_cast<float>(static_cast<double>(x * gain) /
                                                   (static_cast<double>(curve) * std::fabs(static_cast<double>(x)) + 1));
                out[c][i] = y * p[10] + in[c][i] * (1 - p[10]);
            }
        }
    }
};

}  // namespace model
