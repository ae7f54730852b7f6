// A CLAP plug-in judged: the table of its checks, the harness they share, and the
// loading group (the file, its factory and descriptors, repeated loading, instances
// side by side). Everything runs on the check's own thread, the plug-in's main thread.
#include "checks_clap.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "checks.h"

namespace orvex::validate {

namespace clap {

std::unique_ptr<Plugin> load(const Context& c, std::string* error, const std::string& path) {
    auto result = Plugin::load(path.empty() ? c.target.path : path, c.target.id);
    if (!result) {
        if (error) *error = result.error;
        return nullptr;
    }
    return std::move(result.plugin);
}

std::unique_ptr<Plugin> active(const Context& c, Outcome& out, double rate, uint32_t block) {
    std::string error;
    auto plugin = load(c, &error);
    if (!plugin) {
        out.fail(error);
        return nullptr;
    }
    if (!plugin->activate(rate, 1, block)) {
        out.fail("activate(" + rateText(rate) + ", 1, " + std::to_string(block) + ") refused");
        return nullptr;
    }
    return plugin;
}

Audio run(Plugin& plugin, const Audio& input, const std::function<int()>& nextLength, const Feed& feed) {
    clap_event_transport_t transport{};
    clap_event_transport_t* now = nullptr;
    Processor processor;
    processor.blockSize = static_cast<int>(feed.block);
    processor.process = [&](float** in, float** out, int frames, bool) {
        const clap_process_status status = plugin.process(in, out, static_cast<uint32_t>(frames), now);
        if (status == CLAP_PROCESS_ERROR && feed.errors) ++*feed.errors;
    };
    const BeforeCall before = [&](int call, int64_t frame) {
        now = nullptr;
        if (feed.transport) {
            transport = claphost::playingTransport(feed.tempo, feed.rate, frame);
            now = &transport;
        }
        if (feed.before) feed.before(call, frame, now);
    };
    const int most = static_cast<int>(feed.block);
    return validate::run(processor, input, [&] { return std::min(nextLength(), most); }, before, feed.outputs,
                         feed.use);
}

Audio runBlocks(Plugin& plugin, const Audio& input, int blockLength, const Feed& feed) {
    return run(plugin, input, [blockLength] { return blockLength; }, feed);
}

namespace {

class ClapPlayer : public Player {
public:
    ClapPlayer(std::unique_ptr<Plugin> activated, uint32_t block) : plugin(std::move(activated)) { feed.block = block; }
    bool prepare(double rate, int block) override {
        plugin->deactivate();
        feed.rate = rate;
        feed.block = static_cast<uint32_t>(block);
        return plugin->activate(rate, 1, feed.block);
    }
    Audio run(const Audio& input, const std::function<int()>& nextLength, Outputs ways, BufferUse* use) override {
        Feed f = feed;
        f.outputs = ways;
        f.use = use;
        return clap::run(*plugin, input, nextLength, f);
    }
    // A CLAP host calls process only, replacing; in place where it pairs the ports.
    void bufferWays(std::vector<Outputs>& ways, std::vector<std::string>& notRun) const override {
        ways = {Outputs::stale, Outputs::nan, Outputs::inPlace};
        notRun.push_back("no accumulating call in CLAP");
    }

private:
    std::unique_ptr<Plugin> plugin;
    Feed feed;
};

}  // namespace

std::unique_ptr<Player> player(const Context& c, Outcome& out, int block) {
    auto plugin = active(c, out, 44100.0, static_cast<uint32_t>(block));
    if (!plugin) return nullptr;
    return std::make_unique<ClapPlayer>(std::move(plugin), static_cast<uint32_t>(block));
}

Audio fingerprint(Plugin& plugin, int frames, uint64_t seed) {
    if (plugin.state() == claphost::State::inactive) plugin.activate(44100.0, 1, 512);
    return runBlocks(plugin, makeSignal(Signal::noise, 2, frames, 44100.0, seed), 512);
}

std::vector<double> values(const Plugin& plugin) {
    std::vector<double> all;
    for (const claphost::ParamInfo& info : plugin.params()) all.push_back(plugin.paramValue(info.id).value_or(NAN));
    return all;
}

double within(const claphost::ParamInfo& info, double where) {
    const double value = info.min + where * (info.max - info.min);
    return info.stepped() ? std::round(value) : value;
}

void queueRandomValues(Plugin& plugin, Random& random, uint32_t time) {
    for (const claphost::ParamInfo& info : plugin.params())
        plugin.queueEvent(claphost::paramValueEvent(info.id, within(info, random.uniform()), time));
}

}  // namespace clap

std::string describeClap(Target& t) {
    auto result = claphost::Plugin::load(t.path);
    if (!result) return result.error;
    claphost::Plugin& p = *result.plugin;
    t.id = p.descriptor().id;
    t.name = p.descriptor().name;
    for (const claphost::AudioPort& port : p.audioPorts(true)) t.numInputs += static_cast<VstInt32>(port.channels);
    for (const claphost::AudioPort& port : p.audioPorts(false)) t.numOutputs += static_cast<VstInt32>(port.channels);
    t.numParams = static_cast<VstInt32>(p.paramCount());
    t.editor = p.guiSupported(CLAP_WINDOW_API_X11, false);
    return {};
}

namespace {

const char* const kMainCategories[] = {"instrument", "audio-effect", "note-effect", "note-detector", "analyzer"};

// A host for a plug-in that should never be made: it answers nothing.
const void* noExtension(const clap_host_t*, const char*) { return nullptr; }
void nothing(const clap_host_t*) {}
const clap_host_t kSilentHost = {CLAP_VERSION, nullptr, "orvex validate", "Harmoxel", "", "1.0.0",
                                 noExtension,  nothing, nothing,           nothing};

std::string portsText(const std::vector<claphost::AudioPort>& ports, const char* way) {
    std::string text;
    for (const claphost::AudioPort& p : ports)
        text += (text.empty() ? "" : ", ") + std::to_string(p.channels) + "-channel " + way;
    return text.empty() ? std::string("no ") + way : text;
}

}  // namespace

void checkClapOpen(Context& c, Outcome& out) {
    c.step("dlopen, clap_entry.init, the factory and the descriptors");
    const double start = wallSeconds();
    auto opened = claphost::Library::open(c.target.path);
    if (!opened.library) {
        out.fail(opened.error);
        return;
    }
    for (const std::string& fault : opened.library->faults()) out.fail("the factory's " + fault);
    c.step("create_plugin and init");
    auto result = claphost::Plugin::load(opened.library, c.target.id);
    const double loaded = wallSeconds() - start;
    if (!result) {
        out.fail(result.error);
        return;
    }
    claphost::Plugin& p = *result.plugin;
    const claphost::Descriptor& d = p.descriptor();
    const clap_version_t v = opened.library->version();
    c.step("the ports and the parameters");
    const auto ins = p.audioPorts(true), outs = p.audioPorts(false);
    const auto notes = p.notePorts(true);
    out.say("clap_entry %u.%u.%u: \"%s\" (%s) by \"%s\" %s, %s, %s, %zu note input%s, %u parameters", v.major, v.minor,
            v.revision, d.name.c_str(), d.id.c_str(), d.vendor.c_str(), d.version.c_str(),
            portsText(ins, "in").c_str(), portsText(outs, "out").c_str(), notes.size(), notes.size() == 1 ? "" : "s",
            p.paramCount());
    out.say("loaded in %s", milliseconds(loaded).c_str());
    out.figure("load_ms", loaded * 1000);
    out.figure("parameters", p.paramCount());
    out.figure("audio_inputs", static_cast<double>(ins.size()));
    out.figure("audio_outputs", static_cast<double>(outs.size()));
    // This host drives one stereo pair (the main ports of an effect).
    if (ins.empty() || outs.empty() || ins[0].channels != 2 || outs[0].channels != 2)
        out.fail("no stereo main input and output port: " + portsText(ins, "in") + ", " + portsText(outs, "out"));
    for (const auto* ports : {&ins, &outs})
        for (const claphost::AudioPort& port : *ports)
            if (port.channels == 0) out.fail("audio port \"" + port.name + "\" has no channels");
    std::set<clap_id> ids;
    const uint32_t count = p.paramCount();
    for (uint32_t i = 0; i < count; ++i) {
        const auto info = p.paramInfo(i);
        if (!info) {
            out.fail("get_info refuses parameter " + std::to_string(i) + " of " + std::to_string(count));
            continue;
        }
        if (!ids.insert(info->id).second) out.fail("parameter id " + std::to_string(info->id) + " given twice");
        if (!(info->min <= info->defaultValue && info->defaultValue <= info->max))
            out.fail("parameter \"" + info->name + "\": default " + std::to_string(info->defaultValue) +
                     " outside its range " + std::to_string(info->min) + " .. " + std::to_string(info->max));
    }
    c.step("activate and deactivate");
    if (!p.activate(44100.0, 1, 512)) out.fail("activate(44100, 1, 512) refused");
}

void checkClapExports(Context& c, Outcome& out) {
    judgeExports(c, out, {"clap_entry"}, "clap_entry is not exported", "clap_entry");
}

void checkClapFactory(Context& c, Outcome& out) {
    c.step("the factory's count and descriptors");
    auto opened = claphost::Library::open(c.target.path);
    if (!opened.library) {
        out.fail(opened.error);
        return;
    }
    const claphost::Library& library = *opened.library;
    const clap_plugin_factory_t* f = library.factory();
    const uint32_t count = f->get_plugin_count(f);
    for (const std::string& fault : library.faults()) out.fail("the factory's " + fault);
    if (library.descriptors().size() != count)
        out.fail("get_plugin_count says " + std::to_string(count) + ", " +
                 std::to_string(library.descriptors().size()) + " descriptors have an id");
    if (f->get_plugin_descriptor(f, count) != nullptr)
        out.fail("get_plugin_descriptor(" + std::to_string(count) + ") past the count gives a descriptor");
    std::set<std::string> ids;
    for (const claphost::Descriptor& d : library.descriptors()) {
        const std::string who = "\"" + d.id + "\"";
        if (!ids.insert(d.id).second) out.fail("the id " + who + " is given twice");
        if (d.id.empty()) out.fail("a descriptor with an empty id");
        if (d.name.empty()) out.fail(who + " has no name");
        if (d.version.empty()) out.fail(who + " has no version");
        if (d.vendor.empty()) out.fail(who + " has no vendor");
        if (!clap_version_is_compatible(d.clapVersion)) out.fail(who + " declares a CLAP version before 1.0");
        const bool category = std::any_of(d.features.begin(), d.features.end(), [](const std::string& f) {
            return std::any_of(std::begin(kMainCategories), std::end(kMainCategories),
                               [&](const char* k) { return f == k; });
        });
        if (!category)
            out.fail(who + "'s features (" + joined(d.features, 8) +
                     ") name no main category (instrument, audio-effect, note-effect, note-detector, analyzer)");
        out.say("%s \"%s\" %s: %s", d.id.c_str(), d.name.c_str(), d.version.c_str(), joined(d.features, 8).c_str());
    }
    c.step("create_plugin with an id the factory does not have");
    const std::string unknown = (library.descriptors().empty() ? std::string("x") : library.descriptors()[0].id) +
                                ".no-such-plug-in";
    if (const clap_plugin_t* made = f->create_plugin(f, &kSilentHost, unknown.c_str())) {
        out.fail("create_plugin(\"" + unknown + "\") gives a plug-in for an id the factory does not have");
        if (made->destroy) made->destroy(made);
    }
    out.figure("plugins", count);
}

void checkClapCycles(Context& c, Outcome& out) {
    constexpr int kCycles = 20;
    const int frames = 2048;
    std::vector<Audio> cold, warm;
    double coldSeconds = 0, warmSeconds = 0;
    auto cycle = [&](const char* kind, int n, std::shared_ptr<claphost::Library> library, std::vector<Audio>& runs,
                     double& seconds) {
        c.step("%s cycle %d: create, activate, process, destroy", kind, n);
        const double t = wallSeconds();
        auto result = library ? claphost::Plugin::load(library, c.target.id) : claphost::Plugin::load(c.target.path, c.target.id);
        if (!result) {
            out.fail(std::string(kind) + " cycle " + std::to_string(n) + ": " + result.error);
            return false;
        }
        runs.push_back(clap::fingerprint(*result.plugin, frames));
        result.plugin.reset();
        seconds += wallSeconds() - t;
        return true;
    };
    // Cold: the library is initialised, deinitialised and unloaded around every instance.
    for (int n = 1; n <= kCycles; ++n)
        if (!cycle("cold", n, nullptr, cold, coldSeconds)) return;
    // Warm: one library, its entry initialised once; only instances come and go.
    auto library = claphost::Library::open(c.target.path).library;
    for (int n = 1; n <= kCycles && library; ++n)
        if (!cycle("warm", n, library, warm, warmSeconds)) return;
    out.say("cold %s, warm %s per cycle", milliseconds(coldSeconds / kCycles).c_str(),
            milliseconds(warmSeconds / kCycles).c_str());
    out.figure("cold_ms", coldSeconds / kCycles * 1000);
    out.figure("warm_ms", warmSeconds / kCycles * 1000);
    judgeWarmInstances(out, cold, warm);
}

void checkClapSideBySide(Context& c, Outcome& out) {
    constexpr int kInstances = 8;
    const int frames = c.settings.quick ? 4096 : 16384;
    std::vector<std::string> files{c.target.path};
    for (const std::string& other : c.settings.companions)
        if (formatOf(other) == Format::clap && other != c.target.path) files.push_back(other);
    const Audio input = makeSignal(Signal::noise, 2, frames, 44100.0, 3);
    // Instance k of every file gets parameter set k: instances that shared state would
    // hear each other's settings.
    auto make = [&](const std::string& file, int k) -> std::unique_ptr<claphost::Plugin> {
        auto result = claphost::Plugin::load(file);
        if (!result || !result.plugin->activate(44100.0, 1, 512)) return nullptr;
        Random random(c.settings.seed * 1000u + static_cast<unsigned>(k));
        if (k > 0) clap::queueRandomValues(*result.plugin, random);
        return std::move(result.plugin);
    };
    std::vector<std::vector<Audio>> alone(files.size());
    std::vector<bool> deterministic(files.size(), false);
    for (std::size_t f = 0; f < files.size(); ++f) {
        c.step("%s alone, %d settings one after another", files[f].c_str(), kInstances);
        auto body = [&]() -> std::string {
            std::vector<Audio> runs;
            for (int k = 0; k < kInstances; ++k) {
                auto p = make(files[f], k);
                if (!p) return {};
                runs.push_back(clap::runBlocks(*p, input, 512));
            }
            return bytesOf(runs);
        };
        std::string first, second;
        if (!inChild(body, first) || !inChild(body, second) || first.empty()) {
            if (f == 0) {
                out.fail("the plug-in alone did not run to the end in a process of its own");
                return;
            }
            continue;
        }
        deterministic[f] = first == second;
        std::size_t at = 0;
        for (int k = 0; k < kInstances; ++k) {
            Audio a(2, std::vector<float>(static_cast<std::size_t>(frames)));
            for (auto& channel : a) {
                if (at + channel.size() * sizeof(float) > first.size()) break;
                std::memcpy(channel.data(), first.data() + at, channel.size() * sizeof(float));
                at += channel.size() * sizeof(float);
            }
            alone[f].push_back(std::move(a));
        }
    }
    // All of them at once, made interleaved and processed block by block in turn.
    struct Running {
        std::size_t file;
        int k;
        std::unique_ptr<claphost::Plugin> plugin;
        Audio out;
    };
    std::vector<Running> all;
    for (int k = 0; k < kInstances; ++k)
        for (std::size_t f = 0; f < files.size(); ++f) {
            if (alone[f].empty()) continue;
            c.step("side by side: instance %d of %s", k + 1, files[f].c_str());
            auto p = make(files[f], k);
            if (!p) {
                out.fail("instance " + std::to_string(k + 1) + " of " + files[f] + " does not load beside the others");
                return;
            }
            all.push_back({f, k, std::move(p), Audio(2, std::vector<float>(static_cast<std::size_t>(frames)))});
        }
    c.step("side by side: %zu instances processing in turn", all.size());
    for (int done = 0; done < frames; done += 512) {
        const int n = std::min(512, frames - done);
        for (Running& r : all) {
            Audio slice(2);
            float* ins[2];
            float* outs[2];
            for (std::size_t ch = 0; ch < 2; ++ch) {
                slice[ch].assign(input[ch].begin() + done, input[ch].begin() + done + n);
                ins[ch] = slice[ch].data();
                outs[ch] = r.out[ch].data() + done;
            }
            const auto transport = claphost::playingTransport(120.0, 44100.0, done);
            r.plugin->process(ins, outs, static_cast<uint32_t>(n), &transport);
        }
    }
    int compared = 0, differing = 0;
    for (Running& r : all) {
        if (!deterministic[r.file]) continue;
        ++compared;
        const double d = maxDifference(r.out, alone[r.file][static_cast<std::size_t>(r.k)]);
        if (d == 0.0) continue;
        ++differing;
        out.fail("instance " + std::to_string(r.k + 1) + " of " + files[r.file] +
                 " sounds different beside the others (by up to " + std::to_string(d) + ")");
    }
    out.say("%zu file%s x %d instances in one process, %d compared with their runs alone, %d differ", files.size(),
            files.size() == 1 ? "" : "s", kInstances, compared, differing);
    out.figure("instances", static_cast<double>(all.size()));
    out.figure("differing", differing);
    if (!deterministic[0]) out.skip("the plug-in's output differs from run to run: nothing to compare");
}

const std::vector<Check>& clapChecks() {
    static const std::vector<Check> checks = {
        {"load.open", "loads, creates and initialises an instance: stereo ports, sound parameter descriptions",
         checkClapOpen, "faultyclap: init, mono"},
        {"load.exports", "exports clap_entry and nothing else", checkClapExports,
         "faultyclap, always (linked without an export map: the linker's __bss_start, _edata, _end)", false, false},
        {"load.no-host",
         "a host whose get_extension answers null, and one whose extensions have null functions: init, activate, "
         "process and destroy still work",
         checkClapNoHost, "faultyclap: needs-log"},
        {"clap.factory",
         "the factory's count and descriptors (id, name, vendor, version, a main category); an unknown id makes "
         "nothing",
         checkClapFactory, "faultyclap: no-category, any-id"},
        {"load.cycles", "20 create/destroy cycles with the library unloaded each time, 20 with it kept",
         checkClapCycles, "faultyclap: shared-state"},
        {"load.side-by-side", "8 instances of each CLAP file in one process sound as each does alone", checkClapSideBySide,
         "faultyclap: shared-state"},
        {"process.grid", "every sample rate and block size, activated anew, with noise, silence, DC and square",
         checkGrid, "faultyclap: high-rates"},
        {"clap.lifecycle",
         "activate, start and stop processing, reset, deactivate, over and over at other rates: each activation "
         "sounds as a fresh instance at its rate",
         checkClapLifecycle, "faultyclap: first-rate, start-once"},
        {"process.block-split", "calls of random lengths sound as calls of the activated maximum", checkClapBlockSplit,
         "faultyclap: per-call"},
        {"process.buffers",
         "outputs holding old audio or NaN and processing in place sound as a clean run; inputs and what lies past "
         "the end stay untouched",
         checkBuffers, "faultyclap: adds-output, in-place-unsafe, writes-input, overrun"},
        {"process.latency", "the latency reported while active agrees with an impulse's delay at neutral settings",
         checkClapLatency, "faultyclap: latency-lies"},
        {"input.extreme", "inputs of +-1e6 and DC offsets give finite output", checkExtremeInput,
         "faultyclap: unbounded"},
        {"input.non-finite",
         "after NaN and infinity bursts the output is finite again within one block and soon answers its input as a "
         "fresh instance's does",
         checkNonFiniteInput, "faultyclap: poison"},
        {"input.subnormal", "subnormal input costs no more than 1.2 times normal input", checkSubnormalInput,
         "faultyclap: slow-subnormal"},
        {"params.extremes", "every parameter at its minimum and maximum while processing", checkClapParameterExtremes,
         "faultyclap: nan-at-max"},
        {"params.random", "random values of every parameter at random frames of each call", checkClapRandomParameters,
         "faultyclap: glide-by-zero"},
        {"params.invalid",
         "NaN, infinite and out-of-range values, unknown ids, a wrong cookie, indices past the end: refused or "
         "clamped, the output finite",
         checkClapInvalidParameters, "faultyclap: takes-nan"},
        {"params.programs",
         "every listed preset loads through preset-load while active and the host hears of its values; unknown keys "
         "and location kinds refused",
         checkClapPrograms, "faultyclap: preset-unheard"},
        {"params.text", "value_to_text and text_to_value both ways, names and texts within their buffers",
         checkClapParameterTexts, "faultyclap: text-off"},
        {"params.readback", "a value sent in process is the value get_value reads back", checkClapReadback,
         "faultyclap: quantise"},
        {"clap.flush",
         "values sent by flush without processing read back and change the next block; flush's output events well "
         "formed",
         checkClapFlush, "faultyclap: flush-ignored, flush-unheard, bad-out-event"},
        {"clap.state",
         "save, load into a fresh instance: the same values and sound; streams giving one byte a call",
         checkClapState, "faultyclap: state-one-read, state-lossy"},
        {"clap.state-garbage",
         "truncated, oversized and random states are refused or loaded, never a crash; refused leaves the instance "
         "as it was",
         checkClapGarbageState, "faultyclap: state-half-load"},
        {"threads.parameters",
         "get_value, the texts, get_info and the state on the main thread while the audio thread processes "
         "parameter events",
         checkClapParameterThreads, "faultyclap: torn-read"},
        {"time.info", "missing, jumping, negative and absurd transports, and transport events inside a block",
         checkClapTimeInfo, "faultyclap: tempo-gain"},
        {"midi.random", "10 000 random MIDI, note, system exclusive and unknown events", checkClapRandomMidi,
         "faultyclap: crash-on-sysex"},
        {"realtime.process", "no allocation, lock or system call inside process and flush", checkClapRealtime,
         "faultyclap: alloc, lock"},
        {"realtime.fp-state", "every call leaves the host's floating-point control state as it found it",
         checkClapFpState, "faultyclap: fpu-mode"},
        {"realtime.rate-cost", "no sample rate costs more than 4 times the median per frame", checkRateCost,
         "faultyclap: slow-rate"},
        {"clap.threads",
         "each call of the plug-in into the host on the thread the interface allows, with processing on a thread "
         "of its own",
         checkClapThreads, "faultyclap: dirty-from-audio, flush-request-from-audio"},
        {"editor.cycles",
         "create, set_parent, show, hide and destroy cycles in a real window; no window left, memory does not grow",
         checkClapEditorCycles, "faultyclap: gui-stays", true},
        {"editor.while-processing", "the editor made, shown and destroyed while another thread processes",
         checkClapEditorWhileProcessing, "faultyclap: gui-meter-nan", true},
        {"clap.gui-size",
         "get_size at scale 1 and 2 doubles; adjust_size and set_size agree; can_resize as the resize hints say",
         checkClapEditorSize, "faultyclap: gui-no-scale, gui-resize-lies", true},
        {"editor.close-open",
         "the host's window destroyed under an open editor before destroy, and the plug-in destroyed with its "
         "editor open: no crash, no window left",
         checkClapCloseWithEditorOpen, "faultyclap: gui-parent-gone", true},
        {"editor.after-close",
         "gui calls before create and after destroy, processing and parameters with the editor gone, then the "
         "editor again",
         checkClapEditorAfterClose, "faultyclap: gui-destroy-twice", true},
    };
    return checks;
}

}  // namespace orvex::validate
