#include "cli_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvex::clitest {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvex-cli-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    fs::remove_all(root, error);
}

std::vector<std::string> ScratchFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeAudio(const std::string& path, const Channels& channels, int sampleRate, int format) {
    SF_INFO info{};
    info.channels = static_cast<int>(channels.size());
    info.samplerate = sampleRate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Audio audio;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(got)));
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i)
        for (std::size_t c = 0; c < audio.channels.size(); ++c)
            audio.channels[c][i] = interleaved[i * audio.channels.size() + c];
    return audio;
}

Channels noise(int channels, std::size_t frames, unsigned seed, float amplitude) {
    Channels out(static_cast<std::size_t>(channels), std::vector<float>(frames));
    uint32_t state = seed * 2654435761u + 1u;
    for (auto& channel : out)
        for (float& x : channel) {
            state = state * 1664525u + 1013904223u;
            x = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
        }
    return out;
}

std::string orvexBinary() { return ORVEX_BINARY_DIR "/tools/orvex/orvex"; }

std::string testEffectPath() { return ORVEX_TEST_VST_DIR "/testeffect.vst/Contents/x86_64-linux/testeffect.so"; }

std::string pannerPath() {
    const std::string path = ORVEX_VST_DIR "/panner.vst/Contents/x86_64-linux/panner.so";
    return fs::exists(path) ? path : std::string();
}

std::string fileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

RunResult runOrvex(const std::vector<std::string>& args, const std::function<void()>& inChild) {
    ScratchFolder capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    std::vector<std::string> argv = {orvexBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (inChild) inChild();
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = fileContents(outPath);
    result.err = fileContents(errPath);
    return result;
}

Channels processDirect(const std::string& path, const Channels& input, int sampleRate, int block,
                       const std::function<void(vsthost::Plugin&)>& setup, std::optional<double> tempo,
                       const std::vector<DirectEvent>& events) {
    vsthost::HostOptions options;
    options.sampleRate = static_cast<float>(sampleRate);
    options.blockSize = block;
    auto transportAt = [&](std::size_t frame) {
        vsthost::Transport t;
        t.tempo = *tempo;
        t.sampleRate = sampleRate;
        t.samplePos = static_cast<double>(frame);
        t.ppqPos = static_cast<double>(frame) / sampleRate * *tempo / 60.0;
        t.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid |
                  (frame == 0 ? kVstTransportChanged : 0);
        return t;
    };
    if (tempo) options.transport = transportAt(0);
    vsthost::LoadResult loaded = vsthost::Plugin::load(path, options);
    if (!loaded) throw std::runtime_error(loaded.error);
    vsthost::Plugin& plugin = *loaded.plugin;
    plugin.open();
    if (setup) setup(plugin);
    plugin.setSampleRate(static_cast<float>(sampleRate));
    plugin.setBlockSize(block);
    plugin.resume();

    const std::size_t frames = input.empty() ? 0 : input[0].size();
    const int outputs = std::min<int>(plugin.numOutputs(), 2);
    Channels result(static_cast<std::size_t>(outputs));
    vsthost::AudioBuffers in(2, block);
    vsthost::AudioBuffers out(std::max<int>(plugin.numOutputs(), 2), block);
    std::size_t next = 0;
    for (std::size_t done = 0; done < frames;) {
        std::size_t limit = std::min<std::size_t>(static_cast<std::size_t>(block), frames - done);
        std::vector<vsthost::MidiMessage> due;
        while (next < events.size() && events[next].frame <= done) due.push_back(events[next++].message);
        if (next < events.size()) limit = std::min(limit, events[next].frame - done);
        if (!due.empty()) plugin.sendMidi(due);
        const int count = static_cast<int>(limit);
        for (int c = 0; c < 2; ++c) {
            const auto& source = input[std::min<std::size_t>(static_cast<std::size_t>(c), input.size() - 1)];
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(done), count, in[c].begin());
        }
        if (tempo) plugin.setTransport(transportAt(done));
        plugin.processReplacing(in.data(), out.data(), count);
        for (int c = 0; c < outputs; ++c) result[c].insert(result[c].end(), out[c].begin(), out[c].begin() + count);
        done += static_cast<std::size_t>(count);
    }
    return result;
}

}  // namespace orvex::clitest
