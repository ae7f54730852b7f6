// What the command-line host tests share: scratch folders, audio files written and
// read with libsndfile, running the real `orvex` binary, and processing the same
// samples through the test host directly for comparison.
#pragma once

#include <sndfile.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/vsthost/vsthost.h"

namespace orvex::clitest {

using Channels = std::vector<std::vector<float>>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return root; }
    std::string file(const std::string& name) const { return root + "/" + name; }
    // The names in the folder, sorted (hidden ones included).
    std::vector<std::string> entries() const;

private:
    std::string root;
};

struct Audio {
    Channels channels;
    int sampleRate = 0;
    int format = 0;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

void writeAudio(const std::string& path, const Channels& channels, int sampleRate,
                int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);
Audio readAudio(const std::string& path);

// Reproducible noise in -amplitude..amplitude.
Channels noise(int channels, std::size_t frames, unsigned seed, float amplitude = 0.5f);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal when killed
    std::string out;
    std::string err;
};
// Runs the built binary with `args`; `inChild` runs in the child just before exec.
RunResult runOrvex(const std::vector<std::string>& args, const std::function<void()>& inChild = {});
std::string orvexBinary();

std::string testEffectPath();
std::string pannerPath();  // empty when the panner bundle is not built
std::string fileContents(const std::string& path);

// Processes `input` (mono is fed to both inputs) through the plug-in at `path` the way
// a host does: load, `setup`, start, blocks of `block` samples. When `tempo` is given,
// every block reports a playing transport with the song position of its first sample.
// MIDI events in `events` (frame, message) are sent at the start of a block that
// begins at their frame.
struct DirectEvent {
    std::size_t frame;
    vsthost::MidiMessage message;
};
Channels processDirect(const std::string& path, const Channels& input, int sampleRate, int block,
                       const std::function<void(vsthost::Plugin&)>& setup = {},
                       std::optional<double> tempo = std::nullopt, const std::vector<DirectEvent>& events = {});

}  // namespace orvex::clitest
