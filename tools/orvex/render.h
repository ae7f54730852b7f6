// The render loop: pulls audio from a source, runs it through a plug-in in blocks as a
// host does, and pushes the plug-in's outputs into a sink. Blocks end at every MIDI
// event's sample, so that an event handed over at the start of a block takes effect
// exactly at its sample whatever the plug-in does with delta frames; the transport the
// host reports moves on with the samples processed.
//
// Everything runs on the calling thread, which plays both the host's user-interface
// and audio threads, one after the other.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "tools/vsthost/vsthost.h"

namespace orvex::cli {

// Planar audio coming in. `read` fills up to `frames` samples per channel and returns
// how many it gave; fewer only at the end.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual int64_t frames() const = 0;  // -1 when not known in advance
    virtual int read(float* const* destination, int frames) = 0;
};

// Planar audio going out.
class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual void write(const float* const* source, int channels, int frames) = 0;
};

// Audio held in memory, one vector per channel.
class MemorySource : public AudioSource {
public:
    explicit MemorySource(std::vector<std::vector<float>> channels);
    int channels() const override { return static_cast<int>(audio.size()); }
    int64_t frames() const override { return audio.empty() ? 0 : static_cast<int64_t>(audio[0].size()); }
    int read(float* const* destination, int frames) override;

private:
    std::vector<std::vector<float>> audio;
    std::size_t position = 0;
};

class MemorySink : public AudioSink {
public:
    void write(const float* const* source, int channels, int frames) override;
    std::vector<std::vector<float>> audio;
};

// A MIDI message to hand over when the render reaches `frame`.
struct TimedMidi {
    int64_t frame = 0;
    vsthost::MidiMessage message{0};
};

struct RenderSettings {
    float sampleRate = 44100.0f;
    int blockSize = 512;
    // The tempo the host reports with a playing transport; none: the host answers
    // time requests with nothing.
    std::optional<double> tempo = 120.0;
    std::vector<TimedMidi> events;  // any order; events at one frame go in this order
    int64_t tailFrames = 0;         // silence fed after the source ends
};

// Peak and RMS of what the plug-in wrote.
struct Levels {
    float peak = 0.0f;
    double sumOfSquares = 0.0;
    int64_t samples = 0;
    int64_t nonFinite = 0;
    void add(const float* samples, int count);
    double peakDb() const;  // dB relative to full scale; -inf for silence
    double rmsDb() const;
};

struct RenderResult {
    int64_t frames = 0;         // written to the sink, tail included
    int64_t inputFrames = 0;    // read from the source
    int outputChannels = 0;
    double processSeconds = 0;  // spent inside the plug-in's processing calls
    Levels levels;
    int eventsSent = 0;
    int eventsPastEnd = 0;      // events at or after the last frame, not sent
};

// Called after every block with the frames done and the total (-1 when unknown).
using ProgressCallback = std::function<void(int64_t done, int64_t total)>;

// The sample at `seconds` at `sampleRate`, rounded. A time too far ahead for a sample
// count (from about 2e14 s at 44.1 kHz on), and NaN, give the largest count, which no
// render reaches.
int64_t framesAt(double seconds, double sampleRate);

// How many channels the render writes for this plug-in: its outputs, at most two.
int outputChannels(const vsthost::Plugin& plugin);

// What the render loop drives: one plug-in behind one of the host libraries, loaded,
// with its program and parameters set. The loop calls start, then for every block the
// MIDI due at its first sample and process, then stop.
class RenderTarget {
public:
    virtual ~RenderTarget() = default;
    virtual std::string path() const = 0;
    // The plug-in's channels: at least two buffers are always handed over, the first
    // two outputs are written to the sink.
    virtual int inputChannels() const = 0;
    virtual int outputChannels() const = 0;
    virtual void start(const RenderSettings& settings) = 0;
    virtual void midi(const std::vector<vsthost::MidiMessage>& due) = 0;
    // `frames` samples starting `frame` samples into the render; the transport the
    // host reports is the one of `frame`.
    virtual void process(float** inputs, float** outputs, int frames, int64_t frame) = 0;
    virtual void stop() = 0;
};

// Renders through any target, as `render` below does through a VST 2.x plug-in.
RenderResult render(RenderTarget& target, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                    const ProgressCallback& progress = {});

// Renders `source` through `plugin`, which must be loaded and opened, with its program
// and parameters set. Sets the sample rate and block size, resumes, processes, and
// suspends again. A mono source feeds both inputs; more than two channels, a plug-in
// without outputs or bad settings throw Error.
RenderResult render(vsthost::Plugin& plugin, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                    const ProgressCallback& progress = {});

}  // namespace orvex::cli
