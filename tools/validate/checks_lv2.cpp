// An LV2 plug-in judged: the table of its checks, the harness they share, loading,
// calls of any length, its control ports at their ends and at random, and its state.
// The grid and the inputs beyond reason are the VST 2.x checks' own, through a Player.
// Everything runs on the check's own thread, the plug-in's loading and audio thread.
#include "checks_lv2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "checks.h"

namespace orvex::validate {

namespace lv2 {

namespace {

// One world per check process: lilv reads the bundles once.
std::shared_ptr<lilvhost::World> worldOf(const Context& c) {
    static std::shared_ptr<lilvhost::World> world;
    if (!world || world->path() != c.target.searchPath) world = std::make_shared<lilvhost::World>(c.target.searchPath);
    return world;
}

}  // namespace

std::unique_ptr<Plugin> load(const Context& c, std::string* error, double rate, uint32_t block) {
    lilvhost::LoadResult result = Plugin::load(worldOf(c), c.target.path, {rate, block});
    if (!result) {
        if (error) *error = result.error;
        return nullptr;
    }
    result.plugin->setTransport({});
    return std::move(result.plugin);
}

std::unique_ptr<Plugin> active(const Context& c, Outcome& out, double rate, uint32_t block) {
    std::string error;
    auto plugin = load(c, &error, rate, block);
    if (!plugin) out.fail(error);
    return plugin;
}

Audio run(Plugin& plugin, const Audio& input, const std::function<int()>& nextLength, const BeforeRun& before) {
    Processor processor;
    processor.blockSize = static_cast<int>(plugin.hostOptions().blockSize);
    processor.process = [&](float** in, float** out, int frames, bool) {
        plugin.run(in, out, static_cast<uint32_t>(frames));
    };
    const int most = processor.blockSize;
    return validate::run(processor, input, [&] { return std::min(nextLength(), most); },
                         before ? BeforeCall(before) : BeforeCall());
}

Audio runBlocks(Plugin& plugin, const Audio& input, int block, const BeforeRun& before) {
    return run(plugin, input, [block] { return block; }, before);
}

namespace {

class Lv2Player : public Player {
public:
    Lv2Player(const Context& c, std::unique_ptr<Plugin> loaded) : context(c), plugin(std::move(loaded)) {}
    bool prepare(double rate, int block) override {
        plugin.reset();
        plugin = load(context, nullptr, rate, static_cast<uint32_t>(block));
        return plugin != nullptr;
    }
    Audio run(const Audio& input, const std::function<int()>& nextLength, Outputs, BufferUse*) override {
        return lv2::run(*plugin, input, nextLength);
    }
    // The host offers lv2:inPlaceBroken and keeps its promise: separate buffers only.
    void bufferWays(std::vector<Outputs>& ways, std::vector<std::string>& notRun) const override {
        ways = {Outputs::stale, Outputs::nan};
        notRun.push_back("not in place (the host keeps inputs and outputs apart)");
    }

private:
    const Context& context;
    std::unique_ptr<Plugin> plugin;
};

}  // namespace

std::unique_ptr<Player> player(const Context& c, Outcome& out, int block) {
    auto plugin = active(c, out, 44100.0, static_cast<uint32_t>(block));
    if (!plugin) return nullptr;
    return std::make_unique<Lv2Player>(c, std::move(plugin));
}

float within(const lilvhost::ControlInfo& control, double where) {
    const double low = std::isfinite(control.minimum) ? control.minimum : 0.0;
    const double high = std::isfinite(control.maximum) ? control.maximum : low + 1.0;
    if (control.toggled) return static_cast<float>(where < 0.5 ? low : high);
    if (!control.scalePoints.empty() && (control.enumeration || control.integer)) {
        const auto last = static_cast<double>(control.scalePoints.size() - 1);
        return control.scalePoints[static_cast<std::size_t>(std::lround(std::clamp(where, 0.0, 1.0) * last))].first;
    }
    const double value = low + where * (high - low);
    return static_cast<float>(control.integer ? std::round(value) : value);
}

}  // namespace lv2

std::string describeLv2(Target& t) {
    lilvhost::LoadResult result = lilvhost::Plugin::load(t.searchPath, t.path);
    if (!result) return result.error;
    lilvhost::Plugin& p = *result.plugin;
    t.name = p.name();
    t.id = t.path;
    t.numInputs = 2;
    t.numOutputs = 2;
    t.numParams = static_cast<VstInt32>(p.controls().size());
    t.numPrograms = static_cast<VstInt32>(p.presets().size());
    return {};
}

namespace {

// Noise through the instance in runs of 512; what it wrote, scanned.
Scan listen(lv2::Plugin& p, int runs, uint64_t seed = 5) {
    Scan scan;
    scan.add(lv2::runBlocks(p, makeSignal(Signal::noise, 2, runs * 512, 44100.0, seed), 512));
    return scan;
}

bool skipWithoutControls(const lv2::Plugin& p, Outcome& out) {
    if (!p.controls().empty()) return false;
    out.skip("the plug-in has no control inputs");
    return true;
}

std::string portName(const lilvhost::ControlInfo& control) {
    return "\"" + (control.name.empty() ? control.symbol : control.name) + "\"";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

void checkLv2Open(Context& c, Outcome& out) {
    c.step("instantiating");
    const double start = wallSeconds();
    std::string error;
    auto p = lv2::load(c, &error);
    if (!p) return out.fail(error);
    const double seconds = wallSeconds() - start;
    const std::string vendor = p->vendor();
    out.say("\"%s\" by \"%s\", %d instance%s for stereo, %zu control inputs, %zu presets, %s state interface, "
            "loaded in %s",
            p->name().c_str(), vendor.c_str(), p->instances(), p->instances() == 1 ? "" : "s", p->controls().size(),
            p->presets().size(), p->hasStateInterface() ? "a" : "no", milliseconds(seconds).c_str());
    if (p->name().empty()) out.fail("the plug-in has no doap:name");
    p.reset();
    // Instances made and run, deactivated and activated again, and cleaned up, over and
    // over: each run's output finite.
    const int cycles = c.settings.quick ? 5 : 20;
    Scan scan;
    for (int n = 1; n <= cycles; ++n) {
        c.step("cycle %d: instantiate, activate, run", n);
        auto q = lv2::load(c, &error);
        if (!q) return out.fail("cycle " + std::to_string(n) + ": " + error);
        scan.add(lv2::runBlocks(*q, makeSignal(Signal::noise, 2, 2048, 44100.0, static_cast<uint64_t>(n)), 512));
        c.step("cycle %d: deactivate, activate, run", n);
        q->deactivate();
        q->activate();
        scan.add(lv2::runBlocks(*q, makeSignal(Signal::noise, 2, 2048, 44100.0, static_cast<uint64_t>(n)), 512));
        c.step("cycle %d: deactivate, cleanup", n);
    }
    if (scan.nonFinite() > 0) out.fail("instantiate/activate/deactivate cycles: " + scan.describe() + " output samples");
    out.say("%d cycles of instantiate, activate, run, deactivate, activate, run, deactivate, cleanup: output %s",
            cycles, scan.describe().c_str());
    out.figure("load_ms", seconds * 1000);
    out.figure("cycles", cycles);
}

void checkLv2BlockSplit(Context& c, Outcome& out) {
    const int frames = c.settings.quick ? 8192 : 32768;
    constexpr int kBlock = 512;
    auto whole = lv2::active(c, out, 44100.0, static_cast<uint32_t>(frames));
    auto blocks = lv2::active(c, out, 44100.0, kBlock);
    auto random = lv2::active(c, out, 44100.0, kBlock);
    if (!whole || !blocks || !random) return;
    // The transport told once, as a host whose position runs on: a position before
    // every run would tell a plug-in in pieces more than one in a single run.
    lilvhost::Transport once;
    once.everyRun = false;
    for (lv2::Plugin* p : {whole.get(), blocks.get(), random.get()}) p->setTransport(once);
    const Audio in = makeSignal(Signal::noise, 2, frames, 44100.0, 11);
    c.step("one run of %d frames", frames);
    const Audio reference = lv2::runBlocks(*whole, in, frames);
    c.step("runs of %d frames", kBlock);
    const Audio even = lv2::runBlocks(*blocks, in, kBlock);
    Random lengths(c.settings.seed);
    int runs = 0, singles = 0;
    c.step("runs of random lengths up to %d frames", kBlock);
    const Audio pieces = lv2::run(*random, in, [&] {
        ++runs;
        if (lengths.chance(0.2f)) {
            ++singles;
            return 1;
        }
        return 2 + lengths.below(kBlock - 1);
    });
    const double dEven = maxDifference(reference, even), dPieces = maxDifference(reference, pieces);
    out.say("%d frames: runs of %d %s, %d random runs (%d single samples) %s", frames, kBlock,
            differenceText(dEven).c_str(), runs, singles, differenceText(dPieces).c_str());
    out.figure("difference_blocks", dEven);
    out.figure("difference_random", dPieces);
    if (!(dEven <= kSameSound)) out.fail("runs of " + std::to_string(kBlock) + " frames sound different from one long run");
    if (!(dPieces <= kSameSound)) out.fail("runs of random lengths sound different from one long run");
}

void checkLv2ParameterExtremes(Context& c, Outcome& out) {
    auto p = lv2::active(c, out);
    if (!p || skipWithoutControls(*p, out)) return;
    const auto& controls = p->controls();
    float peak = 0;
    auto hear = [&](const std::string& what) {
        const Scan scan = listen(*p, 8);
        peak = std::max(peak, scan.peak);
        if (scan.nonFinite() > 0) out.fail("non-finite output with " + what + ": " + scan.describe());
    };
    for (double where : {0.0, 1.0}) {
        const char* end = where == 0 ? "minimum" : "maximum";
        c.step("every control input at its %s", end);
        for (std::size_t i = 0; i < controls.size(); ++i) p->setControlValue(i, lv2::within(controls[i], where));
        hear(std::string("every control input at its ") + end);
    }
    for (std::size_t k = 0; k < controls.size(); ++k)
        for (double where : {0.0, 1.0}) {
            const char* end = where == 0 ? "minimum" : "maximum";
            c.step("%s alone at its %s", portName(controls[k]).c_str(), end);
            for (std::size_t i = 0; i < controls.size(); ++i)
                p->setControlValue(i, i == k ? lv2::within(controls[i], where) : controls[i].defaultValue);
            hear(portName(controls[k]) + " at its " + end + " " + number(lv2::within(controls[k], where)));
        }
    out.say("%zu control inputs at their minimum and maximum, all together and one by one: peak %s", controls.size(),
            decibels(peak).c_str());
    out.figure("peak", peak);
}

void checkLv2RandomParameters(Context& c, Outcome& out) {
    auto p = lv2::active(c, out);
    if (!p || skipWithoutControls(*p, out)) return;
    const auto& controls = p->controls();
    const int seeds = c.settings.quick ? 4 : 10;
    Scan total;
    for (int s = 0; s < seeds; ++s) {
        Random random(c.settings.seed * 100u + static_cast<unsigned>(s));
        // Every port changed between runs of 32 frames, as a host's automation.
        const auto before = [&](int, int64_t) {
            for (std::size_t i = 0; i < controls.size(); ++i)
                p->setControlValue(i, lv2::within(controls[i], random.uniform()));
        };
        c.step("seed %d: 64 changes of every control input", s + 1);
        total.add(lv2::runBlocks(*p, makeSignal(Signal::noise, 2, 64 * 32, 44100.0, static_cast<uint64_t>(s)), 32,
                                 before));
    }
    out.say("%d seeds x 64 changes of all %zu control inputs every 32 samples: output %s, peak %s", seeds,
            controls.size(), total.describe().c_str(), decibels(total.peak).c_str());
    if (total.nonFinite() > 0) out.fail("non-finite output with random control values: " + total.describe());
}

void checkLv2State(Context& c, Outcome& out) {
    auto saved = lv2::active(c, out);
    if (!saved) return;
    if (!saved->hasStateInterface()) return out.skip("the plug-in has no state interface");
    const auto& controls = saved->controls();
    constexpr double kLevelTolerance = 1.0;
    // Every controller but the channel mode messages moved once, in one run of one
    // frame, the ports left at their defaults (random ones may well mute it): what the
    // plug-in keeps beyond its ports (a value a controller moved) is what the state
    // interface must carry.
    Random random(c.settings.seed);
    for (uint8_t controller = 0; controller < 120; ++controller)
        saved->queueMidi({0, 0xB0, controller, static_cast<uint8_t>(random.below(128))});
    c.step("settings and controllers in one run");
    lv2::runBlocks(*saved, Audio(2, std::vector<float>(1, 0.0f)), 1);
    c.step("saving the state");
    lilvhost::State state = saved->saveState();
    if (!state) return out.fail("no state could be saved from the instance");
    c.step("restoring the state into a fresh instance");
    auto restored = lv2::active(c, out);
    if (!restored) return;
    restored->restoreState(state.get());
    // Saved at once, before any run, as a host saves a session it opened and did not
    // play: the state restored is what it holds.
    c.step("saving the restored instance's state before it runs");
    lilvhost::State unplayed = restored->saveState();
    if (!unplayed) return out.fail("no state could be saved from the restored instance before it ran");
    int differing = 0;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (!(restored->controlValue(i) == saved->controlValue(i))) {
            ++differing;
            out.fail("restored, " + portName(controls[i]) + " reads " + number(restored->controlValue(i)) +
                     " instead of " + number(saved->controlValue(i)));
        }
    // Both from the start of the transport over the same noise: after 100 ms (a
    // smoothing, a filter's memory of one silent frame) they sound alike.
    c.step("both instances over the same noise");
    for (lv2::Plugin* p : {saved.get(), restored.get()}) p->setTransport({});
    const Audio noise = makeSignal(Signal::noise, 2, 16384, 44100.0, 21);
    const Audio a = lv2::runBlocks(*saved, noise, 512), b = lv2::runBlocks(*restored, noise, 512);
    const LevelMatch level = compareLevels(b, a, 4410, 4096);
    if (level.worstDecibels > kLevelTolerance || level.silentAlone)
        out.fail("restored into a fresh instance, it sounds unlike the instance it was saved from: " + level.describe());
    // Saved again once it has run, as a host saves a session it reopened and played, and
    // restored into a third instance: the state survives a second round trip.
    c.step("saving the restored instance's state");
    lilvhost::State again = restored->saveState();
    if (!again) return out.fail("no state could be saved from the restored instance");
    // A saved state restored into a fresh instance, over the noise: how far it sounds
    // from the instance first saved (nothing when no instance could be made).
    const auto restoredLevel = [&](const lilvhost::State& saved, const char* step) -> std::optional<LevelMatch> {
        c.step(step);
        auto fresh = lv2::active(c, out);
        if (!fresh) return std::nullopt;
        fresh->restoreState(saved.get());
        return compareLevels(lv2::runBlocks(*fresh, noise, 512), a, 4410, 4096);
    };
    const std::optional<LevelMatch> second = restoredLevel(again, "restoring that state into another fresh instance");
    if (!second) return;
    if (second->worstDecibels > kLevelTolerance || second->silentAlone)
        out.fail("saved again from the restored instance and restored into another, it sounds unlike the instance "
                 "first saved: " + second->describe());
    const std::optional<LevelMatch> early =
        restoredLevel(unplayed, "restoring the state saved before the run into another fresh instance");
    if (!early) return;
    if (early->worstDecibels > kLevelTolerance || early->silentAlone)
        out.fail("saved from the restored instance before it ran and restored into another, it sounds unlike the "
                 "instance first saved: " + early->describe());
    out.say("%zu port values and %u properties saved, restored into a fresh instance: %d ports differ, sounds as the "
            "saved instance within %.2f dB, saved again and restored into another within %.2f dB (windows of %s "
            "after 100 ms)",
            controls.size(), lilv_state_get_num_properties(state.get()), differing, level.worstDecibels,
            second->worstDecibels, milliseconds(4096 / 44100.0).c_str());
    out.figure("properties", lilv_state_get_num_properties(state.get()));
    out.figure("level_difference_db", level.worstDecibels);
}

const std::vector<Check>& lv2Checks() {
    static const std::vector<Check> checks = {
        {"load.open",
         "instantiates through lilv with the features it requires offered or refused by name; instantiate, "
         "activate, run, deactivate, activate, run, deactivate and cleanup, over and over",
         checkLv2Open, "faultylv2: no-instance, needy (its second URI, which requires a worker)"},
        {"process.grid", "every sample rate and block size, instantiated anew, with noise, silence, DC and square",
         checkGrid, "faultylv2: high-rates"},
        {"process.block-split", "runs of 512 and of random lengths sound as one long run", checkLv2BlockSplit,
         "faultylv2: per-call"},
        {"input.extreme", "inputs of +-1e6 and DC offsets give finite output", checkExtremeInput,
         "faultylv2: unbounded"},
        {"input.non-finite",
         "after NaN and infinity bursts the output is finite again within one block and soon answers its input as a "
         "fresh instance's does",
         checkNonFiniteInput, "faultylv2: poison"},
        {"params.extremes", "every control input at its minimum and maximum while processing",
         checkLv2ParameterExtremes, "faultylv2: nan-at-max"},
        {"params.random", "random values of every control input between runs of 32 frames", checkLv2RandomParameters,
         "faultylv2: glide-by-zero"},
        {"time.info", "no transport, jumping, negative and absurd positions and tempos told as time:Position atoms",
         checkLv2TimeInfo, "faultylv2: tempo-gain"},
        {"midi.random", "10 000 random MIDI messages with junk bytes and system status bytes", checkLv2RandomMidi,
         "faultylv2: crash-on-sysex"},
        {"realtime.process", "no allocation, lock or system call inside run", checkLv2Realtime,
         "faultylv2: alloc, lock"},
        {"lv2.state",
         "the state saved (port values and the state interface's) restored into a fresh instance: the same ports "
         "and sound, also once saved again from it and restored into another",
         checkLv2State, "faultylv2: state-lossy"},
    };
    return checks;
}

}  // namespace orvex::validate
