#include "harness.h"

#include <malloc.h>

#include <fstream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own count (its header is not shipped with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace orvex::validate {

const char* signalName(Signal signal) {
    switch (signal) {
        case Signal::noise: return "noise";
        case Signal::silence: return "silence";
        case Signal::dc: return "DC";
        case Signal::square: return "square";
    }
    return "?";
}

Audio makeSignal(Signal signal, int channels, int64_t frames, double rate, uint64_t seed) {
    Audio audio(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(frames), 0.0f));
    Random random(seed);
    const int64_t halfPeriod = std::max<int64_t>(1, static_cast<int64_t>(rate / 200.0));
    for (int c = 0; c < channels; ++c) {
        std::vector<float>& x = audio[static_cast<std::size_t>(c)];
        switch (signal) {
            case Signal::noise:
                for (float& s : x) s = 0.5f * random.bipolar();
                break;
            case Signal::silence:
                break;
            case Signal::dc:
                std::fill(x.begin(), x.end(), 0.5f);
                break;
            case Signal::square:
                for (int64_t i = 0; i < frames; ++i) x[static_cast<std::size_t>(i)] = (i / halfPeriod) % 2 ? -1.0f : 1.0f;
                break;
        }
    }
    return audio;
}

void Scan::add(const float* data, int64_t count, int64_t firstFrame) {
    for (int64_t i = 0; i < count; ++i) {
        const float s = data[i];
        if (vsthost::isUnwritten(s)) {
            ++unwritten;
            continue;
        }
        switch (std::fpclassify(s)) {
            case FP_NAN:
                ++nan;
                lastNonFinite = std::max(lastNonFinite, firstFrame + i);
                break;
            case FP_INFINITE:
                ++infinite;
                lastNonFinite = std::max(lastNonFinite, firstFrame + i);
                break;
            case FP_SUBNORMAL:
                ++subnormal;
                break;
            default:
                peak = std::max(peak, std::fabs(s));
        }
    }
    samples += count;
}

void Scan::add(const Audio& audio) {
    for (const auto& channel : audio) add(channel.data(), static_cast<int64_t>(channel.size()));
}

std::string Scan::describe() const {
    if (clean()) return "clean";
    std::string text;
    auto part = [&](int64_t n, const char* what) {
        if (n == 0) return;
        if (!text.empty()) text += ", ";
        text += std::to_string(n) + " " + what;
    };
    part(nan, "NaN");
    part(infinite, "infinite");
    part(subnormal, "subnormal");
    part(unwritten, "unwritten");
    return text;
}

int inputChannels(const vsthost::Plugin& plugin) { return std::max(plugin.numInputs(), 2); }
int outputChannels(const vsthost::Plugin& plugin) { return std::max(plugin.numOutputs(), 2); }

const char* outputsName(Outputs outputs) {
    switch (outputs) {
        case Outputs::unwritten: return "unwritten outputs";
        case Outputs::stale: return "outputs holding old audio";
        case Outputs::nan: return "outputs full of NaN";
        case Outputs::inPlace: return "processing in place";
        case Outputs::added: return "process adding to old audio";
    }
    return "?";
}

namespace {

// Samples after the end of each buffer of a call: a NaN of ours that no arithmetic
// makes and no plug-in has reason to write.
constexpr uint32_t kGuardBits = 0x7FC0BEEFu;
constexpr int kGuardSamples = 64;

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float guardSample() {
    float sample;
    std::memcpy(&sample, &kGuardBits, sizeof sample);
    return sample;
}

}  // namespace

Audio run(vsthost::Plugin& plugin, const Audio& input, const std::function<int()>& nextLength,
          const BeforeCall& before, Outputs outputs, BufferUse* use) {
    Processor processor;
    processor.inputs = inputChannels(plugin);
    processor.outputs = outputChannels(plugin);
    processor.announced = plugin.numOutputs();
    processor.blockSize = plugin.blockSize();
    processor.process = [&plugin](float** in, float** out, int frames, bool adding) {
        if (adding)
            plugin.process(in, out, frames);
        else
            plugin.processReplacing(in, out, frames);
    };
    return run(processor, input, nextLength, before, outputs, use);
}

Audio run(const Processor& processor, const Audio& input, const std::function<int()>& nextLength,
          const BeforeCall& before, Outputs outputs, BufferUse* use) {
    const int64_t frames = input.empty() ? 0 : static_cast<int64_t>(input[0].size());
    const int ins = processor.inputs;
    const int outs = processor.outputs;
    // In place needs an input under every output; the caller checks that there is one.
    const bool inPlace = outputs == Outputs::inPlace && ins >= outs;
    // Only what it announces: the extra outputs a mono plug-in gets stay silent.
    const int announced = std::min(processor.announced, outs);
    const float guard = guardSample();
    Audio result(static_cast<std::size_t>(outs), std::vector<float>(static_cast<std::size_t>(frames), 0.0f));
    std::vector<std::vector<float>> inBuffers(static_cast<std::size_t>(ins));
    std::vector<std::vector<float>> outBuffers(static_cast<std::size_t>(outs)), prior(outBuffers);
    std::vector<float*> inPointers(static_cast<std::size_t>(ins));
    std::vector<float*> outPointers(static_cast<std::size_t>(outs));
    Random old(static_cast<uint64_t>(frames) + 77);
    int call = 0;
    for (int64_t done = 0; done < frames; ++call) {
        const int length = static_cast<int>(std::min<int64_t>(std::max(nextLength(), 1), frames - done));
        const auto room = static_cast<std::size_t>(std::max(length, processor.blockSize) + kGuardSamples);
        if (before) before(call, done);
        // Fresh copies of the input: a plug-in may scribble on its inputs.
        for (int c = 0; c < ins; ++c) {
            auto& buffer = inBuffers[static_cast<std::size_t>(c)];
            buffer.assign(room, guard);
            if (c < static_cast<int>(input.size()))
                std::copy_n(input[static_cast<std::size_t>(c)].begin() + done, length, buffer.begin());
            else
                std::fill_n(buffer.begin(), length, 0.0f);
            inPointers[static_cast<std::size_t>(c)] = buffer.data();
        }
        for (int c = 0; c < outs; ++c) {
            auto& buffer = inPlace ? inBuffers[static_cast<std::size_t>(c)] : outBuffers[static_cast<std::size_t>(c)];
            if (!inPlace) buffer.assign(room, guard);
            outPointers[static_cast<std::size_t>(c)] = buffer.data();
            if (inPlace) continue;
            for (int i = 0; i < length; ++i) {
                float& s = buffer[static_cast<std::size_t>(i)];
                s = c >= announced || outputs == Outputs::unwritten ? 0.0f
                    : outputs == Outputs::nan                       ? NAN
                                                                    : 0.5f * old.bipolar();
            }
            if (outputs == Outputs::added)
                prior[static_cast<std::size_t>(c)].assign(buffer.begin(), buffer.begin() + length);
        }
        if (outputs == Outputs::unwritten) vsthost::markUnwritten(outPointers.data(), announced, length);
        processor.process(inPointers.data(), outPointers.data(), length, outputs == Outputs::added);
        for (int c = 0; c < outs; ++c) {
            const float* out = outPointers[static_cast<std::size_t>(c)];
            const float* was = prior[static_cast<std::size_t>(c)].data();
            float* to = result[static_cast<std::size_t>(c)].data() + done;
            for (int i = 0; i < length; ++i) to[i] = outputs == Outputs::added ? out[i] - was[i] : out[i];
        }
        if (use) {
            const auto firstTime = [call](int& first) {
                if (first < 0) first = call;
            };
            if (!inPlace)
                for (int c = 0; c < ins; ++c)
                    for (int i = 0; i < length; ++i) {
                        const float was = c < static_cast<int>(input.size())
                                              ? input[static_cast<std::size_t>(c)][static_cast<std::size_t>(done + i)]
                                              : 0.0f;
                        if (sameBits(inPointers[static_cast<std::size_t>(c)][i], was)) continue;
                        ++use->inputWrites;
                        firstTime(use->firstInputWrite);
                    }
            for (const auto* buffers : {&inBuffers, &outBuffers}) {
                if (inPlace && buffers == &outBuffers) continue;  // not handed out
                for (const auto& buffer : *buffers) {
                    const auto written = std::count_if(buffer.begin() + length, buffer.end(),
                                                       [guard](float s) { return !sameBits(s, guard); });
                    if (written == 0) continue;
                    use->overruns += written;
                    if (use->firstOverrun < 0) use->overrunLength = length;
                    firstTime(use->firstOverrun);
                }
            }
        }
        done += length;
    }
    return result;
}

Audio runBlocks(vsthost::Plugin& plugin, const Audio& input, int blockLength, const BeforeCall& before) {
    return run(plugin, input, [blockLength] { return blockLength; }, before);
}

void prepare(vsthost::Plugin& plugin, float rate, VstInt32 block) {
    plugin.suspend();
    plugin.setSampleRate(rate);
    plugin.setBlockSize(block);
    plugin.resume();
}

int64_t framesLasting(Player& player, double seconds) {
    int64_t frames = 44100 / 4;
    for (;;) {
        const Audio in = makeSignal(Signal::noise, player.inputs, frames, 44100.0, 1);
        const double t = threadSeconds();
        player.runBlocks(in, 512);
        const double spent = threadSeconds() - t;
        if (spent >= seconds || frames >= 44100 * 60) return frames;
        frames = std::min<int64_t>(44100 * 60, spent > 0 ? static_cast<int64_t>(frames * seconds / spent * 1.2) + 512
                                                         : frames * 4);
    }
}

std::string differenceText(double difference) {
    if (difference == 0.0) return "bit-identical";
    char text[48];
    std::snprintf(text, sizeof text, "differs by up to %.3g", difference);
    return text;
}

double maxDifference(const Audio& a, const Audio& b) {
    if (a.size() != b.size()) return INFINITY;
    double worst = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c].size() != b[c].size()) return INFINITY;
        for (std::size_t i = 0; i < a[c].size(); ++i) {
            const float x = a[c][i], y = b[c][i];
            if (std::isnan(x) && std::isnan(y)) continue;
            if (x == y) continue;
            const double d = std::fabs(static_cast<double>(x) - static_cast<double>(y));
            if (!std::isfinite(d)) return INFINITY;
            worst = std::max(worst, d);
        }
    }
    return worst;
}

LevelMatch compareLevels(const Audio& a, const Audio& b, int64_t from, int window) {
    constexpr double kSilent = 1e-5;  // -100 dBFS
    LevelMatch match;
    const std::size_t channels = std::min(a.size(), b.size());
    const int64_t frames = channels == 0 ? 0 : static_cast<int64_t>(std::min(a[0].size(), b[0].size()));
    for (int64_t start = std::max<int64_t>(from, 0); start < frames; start += std::max(window, 1)) {
        const int64_t end = std::min(frames, start + std::max(window, 1));
        ++match.windows;
        for (std::size_t c = 0; c < channels; ++c) {
            double sumA = 0, sumB = 0;
            for (int64_t i = start; i < end; ++i) {
                sumA += static_cast<double>(a[c][static_cast<std::size_t>(i)]) * a[c][static_cast<std::size_t>(i)];
                sumB += static_cast<double>(b[c][static_cast<std::size_t>(i)]) * b[c][static_cast<std::size_t>(i)];
            }
            const double rmsA = std::sqrt(sumA / static_cast<double>(end - start));
            const double rmsB = std::sqrt(sumB / static_cast<double>(end - start));
            const bool finiteA = std::isfinite(rmsA), finiteB = std::isfinite(rmsB);
            const bool silentA = finiteA && rmsA < kSilent, silentB = finiteB && rmsB < kSilent;
            double apart = 0;
            if (finiteA != finiteB || silentA != silentB)
                apart = INFINITY;
            else if (finiteA && !silentA)
                apart = std::fabs(20.0 * std::log10(rmsA / rmsB));
            match.silentAlone |= silentA && !silentB;
            if (apart > match.worstDecibels) {
                match.worstDecibels = apart;
                match.worstFrame = start;
                match.worstChannel = static_cast<int>(c);
            }
        }
    }
    return match;
}

std::string LevelMatch::describe() const {
    if (worstFrame < 0) return "the same level in every window";
    char where[64];
    std::snprintf(where, sizeof where, "in the window at %.3f s on channel %d",
                  static_cast<double>(worstFrame) / 44100.0, worstChannel + 1);
    if (std::isinf(worstDecibels))
        return std::string(silentAlone ? "silent where the other is not, "
                                       : "silent or not finite where the other is not, ") +
               where;
    char text[128];
    std::snprintf(text, sizeof text, "%.1f dB apart %s", worstDecibels, where);
    return text;
}

void randomiseParameters(vsthost::Plugin& plugin, Random& random) {
    for (VstInt32 p = 0; p < plugin.numParams(); ++p) plugin.setParameter(p, random.uniform());
}

std::string rateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, rate == std::floor(rate) ? "%.0f Hz" : "%.4f Hz", rate);
    return text;
}

std::string milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 0.01 ? "%.2f ms" : "%.1f ms", seconds * 1000.0);
    return text;
}

std::string decibels(double gain) {
    if (!(gain > 0.0)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(gain));
    return text;
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

long heapKilobytes() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
#endif
}

}  // namespace orvex::validate
