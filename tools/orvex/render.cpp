#include "render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "arguments.h"
#include "vsttarget.h"

namespace orvex::cli {

// Memory source and sink -------------------------------------------------------------

MemorySource::MemorySource(std::vector<std::vector<float>> channels) : audio(std::move(channels)) {}

int MemorySource::read(float* const* destination, int frames) {
    if (audio.empty()) return 0;
    const std::size_t left = audio[0].size() - position;
    const int count = static_cast<int>(std::min<std::size_t>(left, static_cast<std::size_t>(std::max(frames, 0))));
    for (std::size_t c = 0; c < audio.size(); ++c)
        std::copy_n(audio[c].begin() + static_cast<std::ptrdiff_t>(position), count, destination[c]);
    position += static_cast<std::size_t>(count);
    return count;
}

void MemorySink::write(const float* const* source, int channels, int frames) {
    if (audio.size() < static_cast<std::size_t>(channels)) audio.resize(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) audio[c].insert(audio[c].end(), source[c], source[c] + frames);
}

// Levels -------------------------------------------------------------------------------

void Levels::add(const float* data, int count) {
    for (int i = 0; i < count; ++i) {
        const float x = data[i];
        if (!std::isfinite(x)) {
            ++nonFinite;
            continue;
        }
        peak = std::max(peak, std::fabs(x));
        sumOfSquares += static_cast<double>(x) * x;
        ++samples;
    }
}

double Levels::peakDb() const {
    return peak > 0.0f ? 20.0 * std::log10(static_cast<double>(peak)) : -std::numeric_limits<double>::infinity();
}

double Levels::rmsDb() const {
    if (samples == 0 || sumOfSquares <= 0.0) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(sumOfSquares / static_cast<double>(samples));
}

// The loop -----------------------------------------------------------------------------

int64_t framesAt(double seconds, double sampleRate) {
    const double frames = std::round(seconds * sampleRate);
    // Converting a double outside the range of int64_t is undefined: 2^63 and on are
    // clamped first.
    const double limit = std::ldexp(1.0, 63);
    if (frames >= -limit && frames < limit) return static_cast<int64_t>(frames);
    return frames < 0.0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

int outputChannels(const vsthost::Plugin& plugin) { return std::min(plugin.numOutputs(), 2); }

RenderResult render(vsthost::Plugin& plugin, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                    const ProgressCallback& progress) {
    VstTarget target(plugin);
    return render(target, source, sink, settings, progress);
}

RenderResult render(RenderTarget& plugin, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                    const ProgressCallback& progress) {
    const int sourceChannels = source.channels();
    if (sourceChannels < 1 || sourceChannels > 2)
        throw Error("the input has " + std::to_string(sourceChannels) +
                    " channels; the plug-ins take mono or stereo audio only");
    if (!(settings.sampleRate > 0.0f) || !std::isfinite(settings.sampleRate))
        throw Error("the sample rate must be a positive number");
    if (settings.blockSize < 1 || settings.blockSize > kMaxBlock)
        throw Error("the block size must lie from 1 to " + std::to_string(kMaxBlock));
    if (settings.tailFrames < 0) throw Error("the tail cannot be negative");
    const int outChannels = std::min(plugin.outputChannels(), 2);
    if (outChannels < 1) throw Error(plugin.path() + " has no audio outputs");

    std::vector<TimedMidi> events = settings.events;
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });

    const int block = settings.blockSize;
    // At least two of each: a plug-in announcing fewer still gets valid pointers.
    vsthost::AudioBuffers inputs(std::max<int>(plugin.inputChannels(), 2), block);
    vsthost::AudioBuffers outputs(std::max<int>(plugin.outputChannels(), 2), block);
    plugin.start(settings);

    RenderResult result;
    result.outputChannels = outChannels;
    const int64_t known = source.frames();
    int64_t total = known >= 0 ? known + settings.tailFrames : -1;
    int64_t end = -1;  // known once the source has ended
    int64_t frame = 0;
    std::size_t nextEvent = 0;
    std::vector<vsthost::MidiMessage> due;
    const float* outPointers[2] = {outputs[0].data(), outputs[1].data()};
    using Clock = std::chrono::steady_clock;
    Clock::duration processing{};

    while (end < 0 || frame < end) {
        // Hand over the events of this frame; the block stops at the next event.
        due.clear();
        while (nextEvent < events.size() && events[nextEvent].frame <= frame) {
            vsthost::MidiMessage message = events[nextEvent++].message;
            message.deltaFrames = 0;
            due.push_back(message);
        }
        int64_t length = block;
        if (nextEvent < events.size()) length = std::min<int64_t>(length, events[nextEvent].frame - frame);
        if (end >= 0) length = std::min<int64_t>(length, end - frame);
        int count = static_cast<int>(length);

        if (end < 0) {
            float* const into[2] = {inputs[0].data(), inputs[1].data()};
            const int got = std::clamp(source.read(into, count), 0, count);
            if (sourceChannels == 1) std::copy_n(inputs[0].begin(), got, inputs[1].begin());
            result.inputFrames += got;
            if (got < count) {
                end = frame + got + settings.tailFrames;
                total = end;
                for (int c = 0; c < 2; ++c) std::fill(inputs[c].begin() + got, inputs[c].begin() + count, 0.0f);
                count = static_cast<int>(std::min<int64_t>(count, end - frame));
            }
        } else {
            for (int c = 0; c < 2; ++c) std::fill_n(inputs[c].begin(), count, 0.0f);
        }
        if (count <= 0) {
            if (!due.empty()) {
                // The source ended exactly here: these events belong past the end.
                result.eventsPastEnd += static_cast<int>(due.size());
            }
            break;
        }
        if (!due.empty()) {
            plugin.midi(due);
            result.eventsSent += static_cast<int>(due.size());
        }

        vsthost::markUnwritten(outputs.data(), outChannels, count);
        const auto started = Clock::now();
        plugin.process(inputs.data(), outputs.data(), count, frame);
        processing += Clock::now() - started;
        if (const int64_t unwritten = vsthost::countUnwritten(outputs.data(), outChannels, count); unwritten > 0)
            throw Error(plugin.path() + " did not write its outputs: " + std::to_string(unwritten) + " of " +
                        std::to_string(static_cast<int64_t>(count) * outChannels) +
                        " samples of the block at sample " + std::to_string(frame) + " left as the host filled them");

        sink.write(outPointers, outChannels, count);
        for (int c = 0; c < outChannels; ++c) result.levels.add(outputs[c].data(), count);
        frame += count;
        result.frames = frame;
        if (progress) progress(frame, total);
    }
    result.eventsPastEnd += static_cast<int>(events.size() - nextEvent);
    plugin.stop();
    result.processSeconds = std::chrono::duration<double>(processing).count();
    return result;
}

}  // namespace orvex::cli
