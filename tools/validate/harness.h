// What the checks share: seeded randomness, test signals, driving an instance over a
// whole signal in calls of chosen lengths, and scanning what it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "check.h"
#include "tools/measure/measure.h"

namespace orvex::validate {

// Built with AddressSanitizer: its runtime works on its own inside the calls watched,
// and its allocator keeps freed memory for a while.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// Planar audio: one vector per channel, all of one length.
using Audio = std::vector<std::vector<float>>;

// A small, fast generator whose sequence is fixed by its seed.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float uniform() { return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f); }  // [0, 1)
    float bipolar() { return 2.0f * uniform() - 1.0f; }                                      // [-1, 1)
    int below(int n) { return n > 0 ? static_cast<int>(next() % static_cast<uint64_t>(n)) : 0; }
    bool chance(float p) { return uniform() < p; }

private:
    uint64_t state;
};

enum class Signal { noise, silence, dc, square };
const char* signalName(Signal signal);
inline constexpr Signal kAllSignals[] = {Signal::noise, Signal::silence, Signal::dc, Signal::square};

// `channels` × `frames` of a test signal: white noise peaking at -6 dBFS, silence, a DC
// level of 0.5, or a full-scale square wave of about 100 Hz.
Audio makeSignal(Signal signal, int channels, int64_t frames, double rate, uint64_t seed = 1);

// What a stretch of output held.
struct Scan {
    int64_t samples = 0;
    int64_t nan = 0;
    int64_t infinite = 0;
    int64_t subnormal = 0;
    int64_t unwritten = 0;       // left as the host filled them (vsthost::isUnwritten)
    float peak = 0.0f;           // of the finite samples
    int64_t lastNonFinite = -1;  // frame index, -1 when all were finite
    void add(const float* data, int64_t count, int64_t firstFrame = 0);
    void add(const Audio& audio);
    int64_t nonFinite() const { return nan + infinite; }
    bool clean() const { return nonFinite() == 0 && subnormal == 0 && unwritten == 0; }
    std::string describe() const;  // "3 NaN, 1 infinite, 2 subnormal, 5 unwritten" or "clean"
};

// Channel counts the checks use for a plug-in: what it announces, at least two so that
// a host's usual stereo arrays are always there.
int inputChannels(const vsthost::Plugin& plugin);
int outputChannels(const vsthost::Plugin& plugin);

// Called before each processing call with its index and the frame it starts at.
using BeforeCall = std::function<void(int call, int64_t frame)>;

// What the output buffers hold when a processing call starts, as hosts hand them.
enum class Outputs {
    unwritten,  // the unwritten marker, so that what is left untouched scans as such
    stale,      // old audio, as in a buffer a host reuses
    nan,        // NaN
    inPlace,    // the inputs themselves: the outputs are the same memory
    added,      // old audio that the record's accumulating `process` adds to
};
const char* outputsName(Outputs outputs);

// How a run's calls treated the buffers they were handed.
struct BufferUse {
    int64_t inputWrites = 0;  // input samples an out-of-place call changed
    int64_t overruns = 0;     // samples written past the end of a call
    int firstInputWrite = -1;  // the call that did it first, -1 for none
    int firstOverrun = -1;
    int overrunLength = 0;     // that call's length
};

// An instance as the checks that judge only its sound drive it, whatever the plug-in's
// interface (Context::player makes one for the target).
class Player {
public:
    virtual ~Player() = default;
    // Made ready anew for `rate` and calls of up to `block` frames, as a host does it
    // (VST 2.x: suspended, set and resumed; CLAP: deactivated and activated); false when
    // the plug-in refuses.
    virtual bool prepare(double rate, int block) = 0;
    // As the free function `run` below: outputs prepared as `outputs` says, and `use`
    // (when given) learning what the calls wrote where they should not.
    virtual Audio run(const Audio& input, const std::function<int()>& nextLength, Outputs outputs = Outputs::unwritten,
                      BufferUse* use = nullptr) = 0;
    Audio runBlocks(const Audio& input, int block) {
        return run(input, [block] { return block; });
    }
    // The ways beyond clean outputs a host of this interface hands its buffers over
    // (Outputs), and the ones it does not, each with why.
    virtual void bufferWays(std::vector<Outputs>& ways, std::vector<std::string>& notRun) const = 0;
    int inputs = 2;     // the channels it is fed
    int outputs = 2;    // the channels it gives back
    int announced = 2;  // the outputs it announces
};

// Feeds `input` to the plug-in in calls of the lengths `nextLength` returns (cut short
// at the end) and returns everything it wrote; with Outputs::added, what it added.
// Each call gets buffers of its own, fresh copies of the input and outputs prepared as
// `outputs` says, followed by guard samples up to past the announced block size; `use`
// (when given) learns what the calls wrote where they should not.
Audio run(vsthost::Plugin& plugin, const Audio& input, const std::function<int()>& nextLength,
          const BeforeCall& before = {}, Outputs outputs = Outputs::unwritten, BufferUse* use = nullptr);
// One plug-in's processing calls as `run` makes them, whatever the interface: the
// channels it is handed, the outputs it announces, the longest call it was told of,
// and the call itself (`adding`: the accumulating kind, onto what the outputs hold).
struct Processor {
    int inputs = 2;
    int outputs = 2;
    int announced = 2;
    int blockSize = 512;
    std::function<void(float** in, float** out, int frames, bool adding)> process;
};
Audio run(const Processor& processor, const Audio& input, const std::function<int()>& nextLength,
          const BeforeCall& before = {}, Outputs outputs = Outputs::unwritten, BufferUse* use = nullptr);
// The same in calls of one length.
Audio runBlocks(vsthost::Plugin& plugin, const Audio& input, int blockLength, const BeforeCall& before = {});

// Sets the sample rate and block size and resumes, as a host prepares a plug-in.
void prepare(vsthost::Plugin& plugin, float rate, VstInt32 block);

// How many frames of noise, run through in blocks of 512, take the plug-in about
// `seconds` of this thread's time (at most a minute of sound): enough to time it on a
// busy machine.
int64_t framesLasting(Player& player, double seconds);

// The middle value (the mean of the two middle ones of an even count), NaN when there
// are none; thread CPU time in seconds, for measurements that other processes should not
// sway; monotonic wall-clock seconds.
using measure::median;
using measure::threadSeconds;
using measure::wallSeconds;

// The largest absolute difference between two signals of the same shape (infinite
// when their shapes differ or one holds a non-finite sample where the other does not).
double maxDifference(const Audio& a, const Audio& b);
// "bit-identical", or "differs by up to 0.0312".
std::string differenceText(double difference);
// Within this, two runs of a deterministic plug-in sound the same: anything a correct
// plug-in computes differently (in pieces, added onto old audio) stays far below it.
inline constexpr double kSameSound = 1e-6;

// Two signals compared by their level, window by window: for sound that may rightly
// differ sample by sample (smoothing, a state flushed) but not in how loud it is.
struct LevelMatch {
    double worstDecibels = 0;    // the largest level difference of a window (infinite
                                 // where only one is silent or not finite)
    int64_t worstFrame = -1;     // where that window starts, -1 when none differed
    int worstChannel = 0;
    bool silentAlone = false;    // `a` silent where `b` is not
    int windows = 0;
    // "3.2 dB apart in the window at 0.250 s on channel 1"; at 44.1 kHz.
    std::string describe() const;
};
// From frame `from` on, windows of `window` frames (the last may be shorter); a window
// whose RMS is below -100 dBFS is silent.
LevelMatch compareLevels(const Audio& a, const Audio& b, int64_t from, int window);

// Every parameter set to a uniform random value.
void randomiseParameters(vsthost::Plugin& plugin, Random& random);

// The symbols a 64-bit ELF shared object defines in its dynamic symbol table (what
// another library loaded into the same process can bind to); false, with the reason,
// when the file cannot say (checks_loading.cpp, as the three below).
bool exportedSymbols(const std::string& path, std::vector<std::string>& symbols, std::string& error);
// The first `most` items separated by ", ", and how many more there are.
std::string joined(const std::vector<std::string>& items, std::size_t most);
// Runs `body` in a child of this process and returns the bytes it wrote, or nothing
// when it did not end normally.
bool inChild(const std::function<std::string()>& body, std::string& answer);
// Runs' samples one after another, as raw bytes: for a trip out of a child.
std::string bytesOf(const std::vector<Audio>& runs);

// Readable numbers for summaries: "1.5 ms", "-6.0 dBFS", "44100 Hz".
std::string milliseconds(double seconds);
std::string rateText(double rate);
std::string decibels(double gain);

// The memory this process holds: resident set and allocated heap, in kilobytes.
long residentKilobytes();
long heapKilobytes();

}  // namespace orvex::validate
