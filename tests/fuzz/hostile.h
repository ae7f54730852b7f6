// What both fuzz drivers share (fuzzer thread): the trace and the invariant check, the
// values that break things, and the host audio a processing call is given. Changing
// what a function here reads from the input changes the meaning of both corpora.
#pragma once

#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "input.h"

namespace orvex::fuzz {

inline bool gTrace = false;

inline void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void trace(const char* format, ...) {
    if (!gTrace) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

[[noreturn]] inline void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void fail(const char* format, ...) {
    std::fputs("orvex fuzz: invariant broken: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, ...)                      \
    do {                                                \
        if (!(condition)) ::orvex::fuzz::fail(__VA_ARGS__); \
    } while (false)

// One fuzz input played as one session of the driver's host, traced when
// ORVEX_FUZZ_TRACE is set in the environment.
template <class Session>
int runSession(const uint8_t* data, std::size_t size) {
    static const bool traceWanted = [] {
        const char* value = std::getenv("ORVEX_FUZZ_TRACE");
        return value && *value && *value != '0';
    }();
    gTrace = traceWanted;
    Input in(data, size);
    Session session(in);
    session.run();
    return 0;
}

// Input samples beyond this magnitude count as unbounded, like non-finite ones.
constexpr float kBound = 1e6f;

// The rounding, flush-to-zero, denormals-are-zero and exception-mask bits of the SSE
// control register, without the sticky status flags that any arithmetic sets.
inline unsigned controlModes() { return _mm_getcsr() & ~0x3Fu; }

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kFloatMax = std::numeric_limits<float>::max();
constexpr float kFloatMin = std::numeric_limits<float>::min();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();
constexpr double kDoubleInf = std::numeric_limits<double>::infinity();
constexpr double kDoubleNaN = std::numeric_limits<double>::quiet_NaN();

// Value pickers: a table of the values that break things, a range of ordinary
// values, and raw bit patterns.

inline const float kHostileFloats[] = {0.0f,  -0.0f,  1.0f,     0.5f,       -1.0f,     2.0f,       0.25f,     0.999999f,
                                1.000001f, kDenormal, 1e-30f, kFloatMin, kFloatMax, -kFloatMax, kInf,    -kInf,
                                kNaN,  -kNaN,  1e6f,     -1e6f,      1e30f,     127.0f,     0.0078740157f, 0.4999999f};

inline float hostileFloat(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 64) return kHostileFloats[kind % std::size(kHostileFloats)];
    if (kind < 224) return in.unit();
    return in.rawFloat();
}

// One block of host audio: a generator for the left channel, the right one the same,
// negated, silent or a generator of its own (further channels copy the left), then
// now and again a burst of non-finite or unbounded samples.
inline void fillSignal(Input& in, std::vector<std::unique_ptr<float[]>>& channels, int frames) {
    struct Generator {
        uint8_t kind = 0;
        float amplitude = 0;
        float step = 0;
        uint32_t seed = 0;
        int period = 1;
        std::array<int16_t, 32> raw{};
        int rawCount = 1;

        void read(Input& in) {
            const float kAmplitudes[] = {0.0f, 1e-40f, 1e-6f, 1e-3f, 0.1f, 0.5f, 1.0f, 2.0f, 10.0f, 1e3f, 1e5f, 1e6f};
            kind = in.byte() % 9;
            amplitude = in.pick(kAmplitudes);
            step = 0.0005f + 3.14f * in.unit();
            seed = in.u32();
            period = 1 + static_cast<int>(in.below(4096));
            if (kind == 7) {
                rawCount = 1 + static_cast<int>(in.below(32));
                for (int i = 0; i < rawCount; ++i) raw[static_cast<std::size_t>(i)] = static_cast<int16_t>(in.u16());
            }
        }
        void render(float* out, int n) {
            for (int i = 0; i < n; ++i) {
                float x = 0.0f;
                switch (kind) {
                    case 0: x = 0.0f; break;
                    case 1: x = 1.0f; break;
                    case 2: x = std::sin(step * static_cast<float>(i)); break;
                    case 3:
                        seed = seed * 1664525u + 1013904223u;
                        x = static_cast<float>(static_cast<int32_t>(seed)) * 4.656613e-10f;
                        break;
                    case 4: x = (i % period) == 0 ? 1.0f : 0.0f; break;
                    case 5: x = (i / period) % 2 ? 1.0f : -1.0f; break;
                    case 6: x = (i % 2) ? 1.0f : -1.0f; break;
                    case 7: x = raw[static_cast<std::size_t>(i % rawCount)] / 32768.0f; break;
                    default: x = static_cast<float>(i % period) / static_cast<float>(period); break;
                }
                out[i] = std::clamp(amplitude * x, -kBound, kBound);
            }
        }
    };
    if (channels.empty()) return;
    Generator left;
    left.read(in);
    left.render(channels[0].get(), frames);
    const uint8_t rightKind = in.byte() % 4;
    if (channels.size() > 1) {
        float* right = channels[1].get();
        if (rightKind == 0)
            std::copy(channels[0].get(), channels[0].get() + frames, right);
        else if (rightKind == 1)
            for (int i = 0; i < frames; ++i) right[i] = -channels[0][static_cast<std::size_t>(i)];
        else if (rightKind == 2)
            std::fill(right, right + frames, 0.0f);
        else {
            Generator other;
            other.read(in);
            other.render(right, frames);
        }
    }
    for (std::size_t c = 2; c < channels.size(); ++c)
        std::copy(channels[0].get(), channels[0].get() + frames, channels[c].get());
    if (in.byte() < 224) return;
    const float kBurst[] = {kNaN, -kNaN, kInf, -kInf, kFloatMax, -kFloatMax, 1e7f, 1e30f, 2e6f};
    const int bursts = 1 + in.byte() % 8;
    for (int b = 0; b < bursts; ++b) {
        const float value = in.pick(kBurst);
        const std::size_t c = in.byte() % channels.size();
        const int start = static_cast<int>(in.u16());
        const int length = 1 + in.byte() % 64;
        if (frames <= 0) continue;
        float* x = channels[c].get();
        const int first = start % frames;
        std::fill(x + first, x + std::min(first + length, frames), value);
    }
}

}  // namespace orvex::fuzz
