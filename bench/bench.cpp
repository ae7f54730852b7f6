// The benchmark: our four plug-ins against peers doing the same job, hosted side by side
// in one run. The machine it runs on is usually shared and noisy, so the contenders of a
// section take turns (round robin, the starting one moving on every round), each turn
// processes the same stretch of audio, and every figure is the median over the rounds;
// a ratio is the median of the ratios within each round, whose turns lie close in time.
// Costs are CPU time of this thread (CLOCK_THREAD_CPUTIME_ID) per stereo frame at
// 44.1 kHz, the host's answers to the plug-ins' callbacks included, as in a DAW.
//
// The peers and their settings, chosen to do the work ours do:
//   3BandSplitter (dpf-plugins-vst): defaults, crossovers 220 Hz and 2 kHz, six outputs;
//     the band split of our panner and distortion.
//   PingPongPan (dpf-plugins-vst): Frequency 0.02 (shown as 2), Width 1 (100 %, the full
//     sweep); one per band in the panner's peer set.
//   SoulForce (dpf-plugins-vst): Shape 0.5, FBack 0.5, Source 0, Foot 1 (engaged); one per
//     band in the distortion's peer set.
//   AutoFilter (caps, LADSPA): its defaults (band-limited resonant filter swept by its own
//     LFO and envelope), one instance per channel.
//   PhaserII (caps, LADSPA): its defaults, one instance per channel.
//   Saturate (caps, LADSPA): its defaults (8x oversampled), one instance per channel; shown
//     beside the distortion types.
//   TAP AutoPanner (tap-plugins, LADSPA): Frequency 2 Hz, Depth 100 %, stereo; a one-band
//     panner shown for comparison.
// Ours run as loaded (program 0) with a playing transport at 120 BPM, except the filter,
// which is set to four poles (Pole 0), swept by its LFO in a second row.
//
// The LV2 peers (lv2peers), all through our lilv host with a time:Position before every
// block; ours through their LV2 bundles in the same way. Goals: below 1.0 against a peer
// doing comparable work, below 0.8 against one doing less than ours; none against one
// band of a three-band effect.
//   Calf XOver3Band (calf-plugins): defaults, LR4 crossovers at 150 Hz and 3 kHz, six
//     outputs; the band split of our panner and distortion.
//   LSP Crossover Stereo (lsp-plugins-lv2): three bands (splits 2 and 6 on, LR4, at
//     100 Hz and 3984 Hz, split 4 off), its FFT graphs off (drawing data for its editor,
//     which ours do not compute); the same split done by another vendor.
//   Calf Pulsator: defaults (sine, 2 Hz, amount 1, offsets 0 and 0.5: an auto-panner);
//     one per band in the panner's sets, and alone as one band (no goal).
//   Calf Saturator: defaults (drive 5, blend 10, filters off); one per band in the
//     distortion's sets. Ours with the three bands on "Soft shaper" (type 1), where as
//     loaded they are bypassed.
//   ZamAutoSat (zam-plugins): mono, no controls, one per channel and band in a third
//     distortion set.
//   Calf Phaser: defaults (6 stages, 0.1 Hz, stereo phase 180, feedback 0.5); a stereo
//     LFO phaser as ours.
//   Calf Filter: mode 1 (24 dB/oct lowpass), its defaults otherwise; a static four-pole
//     filter, less than ours, which is set to four poles (pole 0) with its LFO on the
//     cutoff (cutoff_mod 80 %).
//   x42 fil4 stereo (x42-plugins): its resonant lowpass only (every shelf and section
//     off); a static two-pole filter, less than ours.
// The LV2 face's overhead (lv2face): each of ours through its LV2 bundle (lilv, a
// time:Position every block at 120 BPM) against its VST 2.x bundle (our VST host, the
// same transport answered to its time requests), both as loaded, at blocks 512 and 32;
// beside it the LV2 bundle with the position told in the first block only.
//
// Sections: peers, blocks, types, units, memory, editors, lv2peers, lv2face (see --help).
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "contenders.h"
#include "dsp/bandfilter.h"
#include "dsp/lfo.h"
#include "plugins/panner/autopanner.h"
#include "tools/measure/measure.h"
#include "tools/validate/xserver.h"

namespace orvex::bench {
namespace {

// Audio time one stereo frame stands for, in nanoseconds.
constexpr double kFrameNs = 1e9 / kRate;
const char* const kOurs[] = {"panner", "distortion", "filter", "phaser"};
const char* const kSections[] = {"peers", "blocks", "types", "units", "memory", "editors", "lv2peers", "lv2face"};

struct Options {
    int rounds = 31;
    double seconds = 2.0;  // audio per turn
    std::set<std::string> sections;
    std::string vstDir = ORVEX_VST_DIR;
    std::string peerVstDir = "/usr/lib/vst";
    std::string ladspaDir = "/usr/lib/ladspa";
    std::string lv2Dir = ORVEX_LV2_DIR;
    std::string peerLv2Dir = "/usr/lib/lv2";
    std::vector<std::string> editors;  // more bundles for the editor section
    std::string baselineDir;           // another build of ours to run beside this one
};

const char* const kHelp = R"(Usage: orvex_bench [OPTIONS]

Hosts our four plug-ins and their peers side by side, in turns, and prints CPU time per
stereo frame (median over the rounds), times real time at 44.1 kHz and ratios to the
peer sets.

Options:
  --quick            5 rounds of 0.25 s of audio per turn (a run of about a second)
  --rounds N         rounds per section (default 31)
  --seconds S        audio per turn, in seconds (default 2)
  --only SECTION     run only this section (repeatable): peers, blocks, types, units,
                     memory, editors, lv2peers (ours through LV2 against Calf, LSP,
                     x42 and ZAM), lv2face (each of ours through LV2 against VST 2.x,
                     blocks 512 and 32)
  --vst-dir DIR      our bundles (default: this build's)
  --peer-vst-dir DIR the VST 2.x peers (default /usr/lib/vst)
  --ladspa-dir DIR   the LADSPA peers (default /usr/lib/ladspa)
  --lv2-dir DIR      our LV2 bundles (default: this build's)
  --peer-lv2-dir DIR the LV2 peers, as LV2_PATH (default /usr/lib/lv2)
  --editor PATH      another bundle for the editor section (repeatable)
  --baseline DIR     bundles of another build of ours (DIR/<name>.vst/...), run beside
                     this build's in the peers section, with the ratios of the two
  -h, --help         this text
)";

// Timing and statistics ----------------------------------------------------------------

using measure::median;
using measure::threadSeconds;
using measure::wallSeconds;
// Half the interquartile range as a share of the median: how noisy a figure was.
double spread(const std::vector<double>& v) {
    return 0.5 * (measure::quantile(v, 0.75) - measure::quantile(v, 0.25)) / median(v);
}

// The input: the benchmarks' second of noise and two tones, played in a loop.
using Signal = measure::LoopSignal;

// One row of a section: a contender at one block size and its cost in every round.
struct Entry {
    std::string name;
    Contender* contender = nullptr;
    int block = 512;
    std::vector<double> ns;  // per stereo frame, one per round
    int position = 0;
};

double turn(Entry& e, const Signal& signal, int frames) {
    float* in[2];
    const double start = threadSeconds();
    for (int done = 0; done < frames; done += e.block) {
        if (e.position + e.block > signal.length) e.position = 0;
        in[0] = const_cast<float*>(signal.left.data()) + e.position;
        in[1] = const_cast<float*>(signal.right.data()) + e.position;
        e.contender->process(in, e.block);
        e.position += e.block;
    }
    return (threadSeconds() - start) * 1e9 / frames;
}

// Every entry takes a turn in every round; the first turn of a round moves on by one
// each round, so no contender always follows the same one.
void roundRobin(std::vector<Entry>& entries, const Options& options, const Signal& signal) {
    const int n = static_cast<int>(entries.size());
    auto frames = [&](const Entry& e) {
        const int blocks = std::max(1, static_cast<int>(std::lround(options.seconds * kRate / e.block)));
        return blocks * e.block;
    };
    for (Entry& e : entries) turn(e, signal, frames(e));  // warm up
    for (int r = 0; r < options.rounds; ++r)
        for (int k = 0; k < n; ++k) {
            Entry& e = entries[static_cast<std::size_t>((k + r) % n)];
            e.ns.push_back(turn(e, signal, frames(e)));
        }
}

// A weighted sum of entries, round by round.
using Set = std::vector<std::pair<const Entry*, double>>;
std::vector<double> sum(const Set& set) {
    std::vector<double> total(set.front().first->ns.size(), 0.0);
    for (const auto& [e, weight] : set)
        for (std::size_t r = 0; r < total.size(); ++r) total[r] += weight * e->ns[r];
    return total;
}
std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> q(a.size());
    for (std::size_t r = 0; r < a.size(); ++r) q[r] = a[r] / b[r];
    return q;
}

void printHeader(const char* title) { std::printf("\n%s\n%s\n", title, std::string(std::strlen(title), '-').c_str()); }

void printCostHeader() { std::printf("%-52s %10s %7s %12s\n", "", "ns/frame", "spread", "x real time"); }
void printCost(const std::string& name, const std::vector<double>& ns) {
    const double m = median(ns);
    std::printf("%-52s %10.2f %6.1f%% %12.0f\n", name.c_str(), m, 100.0 * spread(ns), kFrameNs / m);
}

void printRatioHeader() { std::printf("%-52s %10s %7s %8s\n", "", "ratio", "spread", "goal"); }
void printRatio(const std::string& name, const std::vector<double>& q, double goal) {
    const double m = median(q);
    std::printf("%-52s %10.3f %6.1f%% %8s %s\n", name.c_str(), m, 100.0 * spread(q),
                goal > 0 ? ("<= " + std::to_string(goal).substr(0, 3)).c_str() : "",
                goal > 0 ? (m <= goal ? "met" : "not met") : "");
}

// Loading -------------------------------------------------------------------------------

std::string ourPath(const Options& o, const std::string& name) {
    return o.vstDir + "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
}

// Sets a parameter by its name (as the plug-in reports it); false when none has it.
bool setNamed(vsthost::Plugin& p, const std::string& name, float value) {
    for (VstInt32 i = 0; i < p.numParams(); ++i)
        if (p.parameterName(i) == name) {
            p.setParameter(i, value);
            return true;
        }
    std::fprintf(stderr, "orvex_bench: %s has no parameter %s\n", p.effectName().c_str(), name.c_str());
    return false;
}

class Pool {
public:
    explicit Pool(const Options& o) : options(o) {}

    VstContender* vst(const std::string& path, const std::vector<std::pair<std::string, float>>& settings = {}) {
        std::string error;
        auto c = VstContender::load(path, error);
        if (!c) {
            std::printf("  (skipped %s: %s)\n", path.c_str(), error.c_str());
            return nullptr;
        }
        for (const auto& [name, value] : settings) setNamed(c->plugin(), name, value);
        return keep(std::move(c));
    }
    VstContender* ours(const std::string& name, const std::vector<std::pair<std::string, float>>& settings = {}) {
        return vst(ourPath(options, name), settings);
    }
    VstContender* peer(const std::string& name, const std::vector<std::pair<std::string, float>>& settings = {}) {
        return vst(options.peerVstDir + "/" + name + "-vst.so", settings);
    }
    LadspaContender* ladspa(const std::string& file, const std::string& label,
                            const LadspaContender::Controls& controls = {}) {
        std::string error;
        auto c = LadspaContender::load(options.ladspaDir + "/" + file, label, controls, error);
        if (!c) {
            std::printf("  (skipped %s: %s)\n", label.c_str(), error.c_str());
            return nullptr;
        }
        return keep(std::move(c));
    }
    // An LV2 plug-in of ours (by name) or a peer's (by URI), through our lilv host.
    Lv2Contender* lv2(bool ours, const std::string& uri, const Lv2Contender::Controls& controls = {}) {
        auto& world = ours ? ourWorld : peerWorld;
        if (!world) world = std::make_shared<lilvhost::World>(ours ? options.lv2Dir : options.peerLv2Dir);
        std::string error;
        auto c = Lv2Contender::load(world, ours ? "urn:harmoxel:orvex:" + uri : uri, controls, error);
        if (!c) {
            std::printf("  (skipped %s: %s%s)\n", uri.c_str(), error.c_str(), ours ? "" : packageOf(uri));
            return nullptr;
        }
        return keep(std::move(c));
    }
    // The Debian package a peer comes with, for the note on a peer that did not load.
    static const char* packageOf(const std::string& uri) {
        if (uri.find("calf") != std::string::npos) return "; from Debian's calf-plugins";
        if (uri.find("lsp-plug.in") != std::string::npos) return "; from Debian's lsp-plugins-lv2";
        if (uri.find("gareus.org") != std::string::npos) return "; from Debian's x42-plugins";
        if (uri.find("zamaudio") != std::string::npos) return "; from Debian's zam-plugins";
        return "";
    }
    // Hands a contender kept here over to the caller.
    std::unique_ptr<Contender> release(Contender* c) {
        for (auto& kept : owned)
            if (kept.get() == c) return std::move(kept);
        return nullptr;
    }
    template <class C>
    C* keep(std::unique_ptr<C> c) {
        C* raw = c.get();
        owned.push_back(std::move(c));
        return raw;
    }

private:
    const Options& options;
    std::shared_ptr<lilvhost::World> ourWorld, peerWorld;
    std::vector<std::unique_ptr<Contender>> owned;
};

// Adds an entry when the contender loaded; its index, or -1.
int add(std::vector<Entry>& entries, const std::string& name, Contender* c, int block = 512) {
    if (!c) return -1;
    entries.push_back({name, c, block, {}, 0});
    return static_cast<int>(entries.size()) - 1;
}

const std::vector<std::pair<std::string, float>> kPingPong = {{"Frequency", 0.02f}, {"Width", 1.0f}};
const std::vector<std::pair<std::string, float>> kSoulForce = {{"Shape", 0.5f}, {"FBack", 0.5f}, {"Foot", 1.0f}};

// Sections ------------------------------------------------------------------------------

void peers(const Options& o, const Signal& signal) {
    printHeader("Ours against the peers, block 512");
    Pool pool(o);
    std::vector<Entry> e;
    add(e, "pass-through (copy: the floor)", pool.keep(std::make_unique<PassThrough>()));
    const int panner = add(e, "Orvex Space (panner)", pool.ours("panner"));
    const int distortion = add(e, "Orvex Force (distortion, every band bypassed)", pool.ours("distortion"));
    const int filter = add(e, "Orvex Filter (four poles)", pool.ours("filter", {{"Pole", 0.0f}}));
    const int swept =
        add(e, "Orvex Filter (four poles, LFO on cutoff)", pool.ours("filter", {{"Pole", 0.0f}, {"Cutoff Mod", 0.9f}}));
    const int phaser = add(e, "Orvex Phase (phaser)", pool.ours("phaser"));
    const int split = add(e, "3BandSplitter", pool.peer("3BandSplitter"));
    const int pingPong = add(e, "PingPongPan", pool.peer("PingPongPan", kPingPong));
    const int soulForce = add(e, "SoulForce", pool.peer("SoulForce", kSoulForce));
    const int autoFilter = add(e, "AutoFilter x 2 (caps, mono)", pool.ladspa("caps.so", "AutoFilter"));
    const int phaserII = add(e, "PhaserII x 2 (caps, mono)", pool.ladspa("caps.so", "PhaserII"));
    add(e, "Saturate x 2 (caps, mono)", pool.ladspa("caps.so", "Saturate"));
    const int autoPan = add(e, "TAP AutoPanner (stereo)", pool.ladspa("tap_autopan.so", "tap_autopan",
                                                                       {{"Frequency", 2.0f}, {"Depth", 100.0f}}));
    // The same four from the baseline build, with the same settings.
    std::vector<std::pair<int, int>> againstBaseline;
    if (!o.baselineDir.empty()) {
        Options other = o;
        other.vstDir = o.baselineDir;
        Pool baseline(other);
        const int rows[] = {panner, distortion, filter, phaser};
        for (int k = 0; k < 4; ++k) {
            const std::vector<std::pair<std::string, float>> settings =
                k == 2 ? std::vector<std::pair<std::string, float>>{{"Pole", 0.0f}} : std::vector<std::pair<std::string, float>>{};
            VstContender* c = baseline.ours(kOurs[k], settings);
            const int i = c ? add(e, std::string("baseline ") + kOurs[k], pool.keep(baseline.release(c))) : -1;
            if (i >= 0 && rows[k] >= 0) againstBaseline.push_back({rows[k], i});
        }
    }
    roundRobin(e, o, signal);
    printCostHeader();
    for (const Entry& x : e) printCost(x.name, x.ns);

    auto has = [&](std::initializer_list<int> indices) {
        return std::all_of(indices.begin(), indices.end(), [](int i) { return i >= 0; });
    };
    auto at = [&](int i) { return &e[static_cast<std::size_t>(i)]; };
    const auto panSet = has({split, pingPong}) ? sum({{at(split), 1.0}, {at(pingPong), 3.0}}) : std::vector<double>{};
    const auto forceSet = has({split, soulForce}) ? sum({{at(split), 1.0}, {at(soulForce), 3.0}}) : std::vector<double>{};
    if (!panSet.empty()) printCost("3BandSplitter + 3 x PingPongPan", panSet);
    if (!forceSet.empty()) printCost("3BandSplitter + 3 x SoulForce", forceSet);
    std::printf("\n");
    printRatioHeader();
    if (has({panner}) && !panSet.empty())
        printRatio("panner / (3BandSplitter + 3 x PingPongPan)", ratios(at(panner)->ns, panSet), 0.8);
    if (has({distortion}) && !forceSet.empty())
        printRatio("distortion / (3BandSplitter + 3 x SoulForce)", ratios(at(distortion)->ns, forceSet), 0.8);
    if (has({filter, autoFilter}))
        printRatio("filter four poles / 2 x AutoFilter", ratios(at(filter)->ns, at(autoFilter)->ns), 1.0);
    if (has({swept, autoFilter}))
        printRatio("filter four poles, LFO on / 2 x AutoFilter", ratios(at(swept)->ns, at(autoFilter)->ns), 1.0);
    if (has({phaser, phaserII})) printRatio("phaser / 2 x PhaserII", ratios(at(phaser)->ns, at(phaserII)->ns), 0.5);
    if (has({panner, autoPan})) printRatio("panner / TAP AutoPanner (one band)", ratios(at(panner)->ns, at(autoPan)->ns), 0);
    for (const auto& [ours, before] : againstBaseline)
        printRatio(at(before)->name.substr(9) + " / its baseline", ratios(at(ours)->ns, at(before)->ns), 0);
}

void blocks(const Options& o, const Signal& signal) {
    printHeader("Ours at four block sizes (ns per stereo frame)");
    const int sizes[] = {32, 128, 512, 2048};
    Pool pool(o);
    std::vector<Entry> e;
    std::map<std::string, std::vector<int>> rows;
    for (const char* name : kOurs)
        for (int size : sizes) {
            const std::vector<std::pair<std::string, float>> settings =
                std::string(name) == "filter" ? std::vector<std::pair<std::string, float>>{{"Pole", 0.0f}}
                                              : std::vector<std::pair<std::string, float>>{};
            const int i = add(e, name, pool.ours(name, settings), size);
            if (i >= 0) rows[name].push_back(i);
        }
    roundRobin(e, o, signal);
    std::printf("%-20s %9s %9s %9s %9s %12s %8s\n", "", "32", "128", "512", "2048", "32 / 2048", "goal");
    for (const char* name : kOurs) {
        const auto& r = rows[name];
        if (r.size() != 4) continue;
        std::printf("%-20s", name);
        for (int i : r) std::printf(" %9.2f", median(e[static_cast<std::size_t>(i)].ns));
        const double q = median(ratios(e[static_cast<std::size_t>(r[0])].ns, e[static_cast<std::size_t>(r[3])].ns));
        std::printf(" %12.3f %8s %s\n", q, "<= 1.3", q <= 1.3 ? "met" : "not met");
    }
}

void types(const Options& o, const Signal& signal) {
    printHeader("The distortion's fourteen types (all three bands on the type), block 512");
    Pool pool(o);
    std::vector<Entry> e;
    const int split = add(e, "3BandSplitter", pool.peer("3BandSplitter"));
    const int soulForce = add(e, "SoulForce", pool.peer("SoulForce", kSoulForce));
    add(e, "Saturate x 2 (caps, mono)", pool.ladspa("caps.so", "Saturate"));
    std::set<int> typeRows;
    for (int t = 0; t < 14; ++t) {
        const float v = static_cast<float>(t) / 13.0f;
        VstContender* c = pool.ours("distortion", {{"Low type", v}, {"Mid type", v}, {"High Type", v}});
        if (!c) return;
        // The type's name as the plug-in shows it.
        std::string shown;
        for (VstInt32 i = 0; i < c->plugin().numParams(); ++i)
            if (c->plugin().parameterName(i) == "Low type") shown = c->plugin().parameterDisplay(i);
        typeRows.insert(add(e, std::to_string(t) + " " + shown, c));
    }
    roundRobin(e, o, signal);
    const bool peersLoaded = split >= 0 && soulForce >= 0;
    const auto set = peersLoaded ? sum({{&e[static_cast<std::size_t>(split)], 1.0}, {&e[static_cast<std::size_t>(soulForce)], 3.0}})
                                 : std::vector<double>{};
    std::printf("%-52s %10s %7s %12s %12s\n", "", "ns/frame", "spread", "x real time", "/ peer set");
    int costliest = -1;
    for (int i = 0; i < static_cast<int>(e.size()); ++i) {
        const Entry& x = e[static_cast<std::size_t>(i)];
        const double m = median(x.ns);
        std::printf("%-52s %10.2f %6.1f%% %12.0f", x.name.c_str(), m, 100.0 * spread(x.ns), kFrameNs / m);
        const bool isType = typeRows.count(i) > 0;
        if (isType && peersLoaded) std::printf(" %12.3f", median(ratios(x.ns, set)));
        std::printf("\n");
        if (isType && (costliest < 0 || m > median(e[static_cast<std::size_t>(costliest)].ns))) costliest = i;
    }
    if (peersLoaded) {
        printCost("3BandSplitter + 3 x SoulForce", set);
        std::printf("\n");
        printRatioHeader();
        printRatio("costliest type (" + e[static_cast<std::size_t>(costliest)].name + ") / peer set",
                   ratios(e[static_cast<std::size_t>(costliest)].ns, set), 1.0);
    }
}

void units(const Options& o, const Signal& signal) {
    printHeader("The panner's DSP units alone, mono, block 512");
    std::vector<float> a(kMaxBlock), b(kMaxBlock), c(kMaxBlock);
    CBandFilter bands(kRate);
    CAutoPanner panner(kRate);
    panner.setControl(1.0f, kCtlLfoDepth);
    CLfo lfo(kRate);
    float sink = 0;
    Pool pool(o);
    std::vector<Entry> e;
    add(e, "band filter (three oversampled state-variable filters)",
        pool.keep(std::make_unique<FunctionContender>(
            [&](const float* in, int n) { bands.process(in, a.data(), b.data(), c.data(), n); })));
    add(e, "auto-panner (one band)", pool.keep(std::make_unique<FunctionContender>(
                                          [&](const float* in, int n) { panner.process(in, a.data(), b.data(), n); })));
    add(e, "LFO read every 32 samples", pool.keep(std::make_unique<FunctionContender>([&](const float*, int n) {
            for (int i = 0; i < n; i += 32) sink += lfo.processBlock(32);
        })));
    roundRobin(e, o, signal);
    std::printf("%-52s %10s %7s\n", "", "ns/sample", "spread");
    for (const Entry& x : e) std::printf("%-52s %10.2f %6.1f%%\n", x.name.c_str(), median(x.ns), 100.0 * spread(x.ns));
    if (sink == 12345.0f) std::printf(" \n");  // keeps the LFO reads
}

std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void memory(const Options& o) {
    printHeader("Loading, instantiating and memory (load, effOpen, rate, block, resume)");
    std::printf("%-20s %11s %11s %13s %13s %13s %13s\n", "", "first (ms)", "again (ms)", "heap first", "heap again",
                "buffers", "beyond them");
    std::vector<std::pair<std::string, std::string>> bundles;
    for (const char* name : kOurs) bundles.push_back({name, ourPath(o, name)});
    for (const char* name : {"3BandSplitter", "PingPongPan", "SoulForce"})
        bundles.push_back({name, o.peerVstDir + "/" + name + "-vst.so"});
    for (const auto& [name, path] : bundles) {
        vsthost::HostOptions options;
        options.sampleRate = kRate;
        auto instantiate = [&](double& ms, std::size_t& heap, int block) {
            const std::size_t before = heapInUse();
            const double start = wallSeconds();
            auto loaded = vsthost::Plugin::load(path, options);
            if (loaded) loaded.plugin->start(kRate, block);
            ms = (wallSeconds() - start) * 1e3;
            heap = heapInUse() - before;
            return std::move(loaded.plugin);
        };
        double firstMs = 0;
        std::size_t firstHeap = 0;
        auto first = instantiate(firstMs, firstHeap, 512);
        if (!first) {
            std::printf("%-20s (does not load)\n", name.c_str());
            continue;
        }
        // While the first keeps the library loaded: the instance alone.
        std::vector<double> ms;
        std::vector<double> heap;
        std::vector<double> heapTwice;
        std::vector<std::unique_ptr<vsthost::Plugin>> more;
        for (int i = 0; i < 7; ++i) {
            double m = 0;
            std::size_t h = 0;
            more.push_back(instantiate(m, h, 512));
            ms.push_back(m);
            heap.push_back(static_cast<double>(h));
            // The same at block 1024: what grows with the block is the block buffers, and
            // at 512 they are that growth.
            more.push_back(instantiate(m, h, 1024));
            heapTwice.push_back(static_cast<double>(h));
        }
        const double buffers = std::max(0.0, median(heapTwice) - median(heap));
        std::printf("%-20s %11.3f %11.3f %9.1f KiB %9.1f KiB %9.1f KiB %9.1f KiB\n", name.c_str(), firstMs, median(ms),
                    static_cast<double>(firstHeap) / 1024.0, median(heap) / 1024.0, buffers / 1024.0,
                    (median(heap) - buffers) / 1024.0);
    }
    std::printf("(heap: growth of malloc's bytes in use, mallinfo2; \"again\": median of 7 more instances\n"
                " while the first keeps the library loaded; times are wall-clock; \"buffers\": the heap that\n"
                " grows with the block size, at block 512 (instances at block 1024 less those at 512);\n"
                " \"beyond them\": heap again less the buffers)\n");
}

// Where the editors open: a window of ours on the X display (DISPLAY, else a private
// Xvfb), started when the first bundle with an editor comes up, as a host gives one.
// Without X they open offscreen (effEditOpen with no window), where idles draw nothing.
class EditorHost {
public:
    void* window(bool& offscreen) {
        if (!tried) {
            tried = true;
            std::string problem;
            if (server.start(problem)) {
                host = std::make_unique<validate::HostWindow>(server.display());
                if (!host->usable()) host.reset();
            }
            if (!host) std::printf("(no X display%s%s: editors open offscreen)\n", problem.empty() ? "" : ": ",
                                   problem.c_str());
        }
        offscreen = !host;
        return host ? host->handle() : nullptr;
    }
    void drain() {
        if (host) host->drain();
    }

private:
    bool tried = false;
    validate::XServer server;
    std::unique_ptr<validate::HostWindow> host;
};

void editors(const Options& o) {
    printHeader("Editors (wall-clock, medians)");
    std::vector<std::string> paths;
    for (const char* name : kOurs) paths.push_back(ourPath(o, name));
    for (const std::string& p : o.editors) paths.push_back(p);
    std::printf("%-20s %10s %10s %15s %15s %14s\n", "", "open (ms)", "draw (ms)", "knob idle (us)",
                "still idle (us)", "snapshot (ms)");
    EditorHost editorHost;
    // Each bundle at 1x, then ours again at 2x (the host's scale, as hosts send it).
    for (const double scale : {1.0, 2.0})
    for (const std::string& path : paths) {
        const std::string name =
            std::filesystem::path(path).stem().string() + (scale == 1.0 ? "" : " @2x");
        vsthost::HostOptions options;
        options.sampleRate = kRate;
        auto loaded = vsthost::Plugin::load(path, options);
        if (!loaded) {
            std::printf("%-20s (does not load: %s)\n", name.c_str(), loaded.error.c_str());
            continue;
        }
        vsthost::Plugin& p = *loaded.plugin;
        p.start(kRate, 512);
        if (!(p.flags() & effFlagsHasEditor)) {
            std::printf("%-20s (no editor: skipped)\n", name.c_str());
            continue;
        }
        if (!p.setEditorScale(static_cast<float>(scale)) && scale != 1.0) continue;  // a peer: 1x only
        bool offscreen = true;
        void* window = editorHost.window(offscreen);
        // Opening and the first idle, which draws the panel whole (its pictures decoded
        // then) as a Linux host sees it; idles at 200 Hz for a while, which handle the
        // window's first expose; then a whole draw, as a host asks for with effEditDraw.
        std::vector<double> open, draw, knob, still, snapshot;
        bool opened = true;
        for (int i = 0; i < 7 && opened; ++i) {
            double start = wallSeconds();
            opened = p.dispatch(effEditOpen, 0, 0, window) == 1;
            if (opened) p.dispatch(effEditIdle);
            open.push_back((wallSeconds() - start) * 1e3);
            for (int k = 0; k < 10 && !offscreen; ++k) {
                editorHost.drain();
                p.dispatch(effEditIdle);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            start = wallSeconds();
            p.dispatch(effEditDraw);
            draw.push_back((wallSeconds() - start) * 1e3);
            if (i < 6) p.dispatch(effEditClose);
        }
        if (!opened) {
            std::printf("%-20s (effEditOpen answered 0)\n", name.c_str());
            continue;
        }
        // One knob: the mix, else the first parameter, moved by the host; the idle after
        // it redraws that knob, the next has nothing to redraw.
        VstInt32 index = 0;
        for (VstInt32 i = 0; i < p.numParams(); ++i)
            if (p.parameterName(i) == "Mix") index = i;
        for (int i = 0; i < 41 && !offscreen; ++i) {
            p.setParameter(index, i % 2 ? 0.3f : 0.7f);
            const double start = wallSeconds();
            p.dispatch(effEditIdle);
            knob.push_back((wallSeconds() - start) * 1e6);
            editorHost.drain();
            const double again = wallSeconds();
            p.dispatch(effEditIdle);
            still.push_back((wallSeconds() - again) * 1e6);
        }
        p.dispatch(effEditClose);
        const std::string file = (std::filesystem::temp_directory_path() / ("orvex_bench_" + name + ".png")).string();
        for (int i = 0; i < 3; ++i) {
            const double start = wallSeconds();
            if (p.snapshot(file, static_cast<float>(scale))) snapshot.push_back((wallSeconds() - start) * 1e3);
        }
        std::filesystem::remove(file);
        std::printf("%-20s %10.3f %10.3f", name.c_str(), median(open), median(draw));
        if (offscreen)
            std::printf(" %15s %15s", "-", "-");
        else
            std::printf(" %15.2f %15.2f", median(knob), median(still));
        if (snapshot.empty())
            std::printf(" %14s\n", "-");
        else
            std::printf(" %14.3f\n", median(snapshot));
    }
    std::printf("(open: effEditOpen, which decodes the panel's pictures, and the first idle, which draws it;\n"
                " draw: effEditDraw of the whole panel; goals: open under 30 ms, an idle redrawing one knob\n"
                " under 1000 us, an idle with nothing to redraw under 50 us, at 1x and at 2x; snapshot: the\n"
                " whole editor drawn offscreen into a PNG file, at the row's scale)\n");
}

// LV2 ---------------------------------------------------------------------------------

const char* const kCalf = "http://calf.sourceforge.net/plugins/";
const Lv2Contender::Controls kLspThreeBands = {{"frs_2", 1}, {"frs_4", 0}, {"frs_6", 1}, {"ife_l", 0},
                                               {"ofe_l", 0}, {"ife_r", 0}, {"ofe_r", 0}};
const Lv2Contender::Controls kFil4LowpassOnly = {{"LowPass", 1}, {"LSsec", 0}, {"sec1", 0}, {"sec2", 0},
                                                 {"sec3", 0},    {"sec4", 0},  {"HSsec", 0}};

void lv2Peers(const Options& o, const Signal& signal) {
    printHeader("Ours against the LV2 peers, all through lilv, block 512");
    Pool pool(o);
    std::vector<Entry> e;
    auto calf = [&](const char* name, const Lv2Contender::Controls& c = {}) { return pool.lv2(false, kCalf + std::string(name), c); };
    add(e, "pass-through (copy: the floor)", pool.keep(std::make_unique<PassThrough>()));
    const int panner = add(e, "Orvex Space (panner)", pool.lv2(true, "panner"));
    const int distortion = add(e, "Orvex Force (three bands on Soft shaper)",
                               pool.lv2(true, "distortion", {{"low_type", 1}, {"mid_type", 1}, {"high_type", 1}}));
    const int filter = add(e, "Orvex Filter (four poles, LFO on cutoff)", pool.lv2(true, "filter", {{"pole", 0}, {"cutoff_mod", 80}}));
    const int phaser = add(e, "Orvex Phase (phaser)", pool.lv2(true, "phaser"));
    const int xover = add(e, "Calf XOver3Band", calf("XOver3Band"));
    const int lsp = add(e, "LSP Crossover Stereo (three bands)", pool.lv2(false, "http://lsp-plug.in/plugins/lv2/crossover_stereo", kLspThreeBands));
    const int pulsator = add(e, "Calf Pulsator", calf("Pulsator"));
    const int saturator = add(e, "Calf Saturator", calf("Saturator"));
    const int zamSat = add(e, "ZamAutoSat x 2 (mono)", pool.lv2(false, "urn:zamaudio:ZamAutoSat"));
    const int calfPhaser = add(e, "Calf Phaser", calf("Phaser"));
    const int calfFilter = add(e, "Calf Filter (24 dB lowpass)", calf("Filter", {{"mode", 1}}));
    const int fil4 = add(e, "x42 fil4 (lowpass only)", pool.lv2(false, "http://gareus.org/oss/lv2/fil4#stereo", kFil4LowpassOnly));
    roundRobin(e, o, signal);
    printCostHeader();
    for (const Entry& x : e) printCost(x.name, x.ns);

    auto at = [&](int i) { return &e[static_cast<std::size_t>(i)]; };
    // A crossover with three of a band effect, when all loaded.
    auto set = [&](int split, int band, double perBand) {
        return split >= 0 && band >= 0 ? sum({{at(split), 1.0}, {at(band), perBand}}) : std::vector<double>{};
    };
    struct Row {
        int ours;
        const char* name;
        std::string peer;
        std::vector<double> ns;
        double goal;
    };
    const auto pulsatorSet = set(xover, pulsator, 3), lspPulsatorSet = set(lsp, pulsator, 3);
    const auto saturatorSet = set(xover, saturator, 3), lspSaturatorSet = set(lsp, saturator, 3);
    const auto zamSet = set(xover, zamSat, 3);
    const std::vector<std::pair<std::string, const std::vector<double>*>> sets = {
        {"Calf XOver3Band + 3 x Calf Pulsator", &pulsatorSet}, {"LSP Crossover + 3 x Calf Pulsator", &lspPulsatorSet},
        {"Calf XOver3Band + 3 x Calf Saturator", &saturatorSet}, {"LSP Crossover + 3 x Calf Saturator", &lspSaturatorSet},
        {"Calf XOver3Band + 3 x ZamAutoSat x 2", &zamSet}};
    for (const auto& [name, ns] : sets)
        if (!ns->empty()) printCost(name, *ns);
    auto one = [&](int i) { return i >= 0 ? at(i)->ns : std::vector<double>{}; };
    const std::vector<Row> rows = {
        {panner, "panner", "(Calf XOver3Band + 3 x Calf Pulsator)", pulsatorSet, 1.0},
        {panner, "panner", "(LSP Crossover + 3 x Calf Pulsator)", lspPulsatorSet, 1.0},
        {panner, "panner", "Calf Pulsator (one band)", one(pulsator), 0},
        {distortion, "distortion", "(Calf XOver3Band + 3 x Calf Saturator)", saturatorSet, 1.0},
        {distortion, "distortion", "(LSP Crossover + 3 x Calf Saturator)", lspSaturatorSet, 1.0},
        {distortion, "distortion", "(Calf XOver3Band + 3 x ZamAutoSat x 2)", zamSet, 1.0},
        {filter, "filter", "Calf Filter (static)", one(calfFilter), 0.8},
        {filter, "filter", "x42 fil4 (static lowpass)", one(fil4), 0.8},
        {phaser, "phaser", "Calf Phaser", one(calfPhaser), 1.0},
    };
    std::printf("\n");
    printRatioHeader();
    for (const Row& r : rows)
        if (r.ours >= 0 && !r.ns.empty()) printRatio(std::string(r.name) + " / " + r.peer, ratios(at(r.ours)->ns, r.ns), r.goal);
}

void lv2Face(const Options& o, const Signal& signal) {
    printHeader("The LV2 face against the VST 2.x face, each of ours as loaded, 120 BPM");
    const int sizes[] = {512, 32};
    Pool pool(o);
    std::vector<Entry> e;
    // Per plug-in and block: the VST 2.x row, the LV2 row with a position every block,
    // and one with the position told once (the face's own cost without the reading).
    struct Rows {
        int vst, lv2, once;
    };
    std::map<std::string, std::vector<Rows>> rows;
    for (const char* name : kOurs)
        for (int size : sizes) {
            const int vst = add(e, name, pool.ours(name), size);
            const int lv2 = add(e, name, pool.lv2(true, name), size);
            Lv2Contender* once = pool.lv2(true, name);
            if (once) {
                lilvhost::Transport transport;
                transport.everyRun = false;
                once->plugin().setTransport(transport);
            }
            const int onceRow = add(e, name, once, size);
            if (vst >= 0 && lv2 >= 0 && onceRow >= 0) rows[name].push_back({vst, lv2, onceRow});
        }
    roundRobin(e, o, signal);
    const double goals[] = {1.03, 1.10};
    for (int k = 0; k < 2; ++k) {
        std::printf("%s%-18s %10s %10s %10s %-17s %s\n", k ? "\n" : "", ("block " + std::to_string(sizes[k])).c_str(),
                    "VST ns", "LV2 ns", "LV2/VST", " goal", "position once");
        for (const char* name : kOurs) {
            const auto& r = rows[name];
            if (r.size() != 2) continue;
            const Entry& vst = e[static_cast<std::size_t>(r[k].vst)];
            const Entry& lv2 = e[static_cast<std::size_t>(r[k].lv2)];
            const Entry& once = e[static_cast<std::size_t>(r[k].once)];
            const double q = median(ratios(lv2.ns, vst.ns));
            std::printf("%-18s %10.2f %10.2f %10.3f %8s %-8s %6.3f\n", name, median(vst.ns), median(lv2.ns), q,
                        ("<= " + std::to_string(goals[k]).substr(0, 4)).c_str(), q <= goals[k] ? "met" : "not met",
                        median(ratios(once.ns, vst.ns)));
        }
    }
    std::printf("(ns per stereo frame; ratios: medians over the rounds of LV2 / VST 2.x within each round;\n"
                " position once: LV2 / VST 2.x with the time:Position told in the first block only)\n");
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orvex_bench: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--quick") {
            o.rounds = 5;
            o.seconds = 0.25;
        } else if (arg == "--rounds") {
            o.rounds = std::max(1, std::atoi(value().c_str()));
        } else if (arg == "--seconds") {
            o.seconds = std::max(0.01, std::atof(value().c_str()));
        } else if (arg == "--only") {
            const std::string s = value();
            if (std::find(std::begin(kSections), std::end(kSections), s) == std::end(kSections)) {
                std::fprintf(stderr, "orvex_bench: no section %s\n", s.c_str());
                return false;
            }
            o.sections.insert(s);
        } else if (arg == "--vst-dir") {
            o.vstDir = value();
        } else if (arg == "--peer-vst-dir") {
            o.peerVstDir = value();
        } else if (arg == "--ladspa-dir") {
            o.ladspaDir = value();
        } else if (arg == "--lv2-dir") {
            o.lv2Dir = value();
        } else if (arg == "--peer-lv2-dir") {
            o.peerLv2Dir = value();
        } else if (arg == "--editor") {
            o.editors.push_back(value());
        } else if (arg == "--baseline") {
            o.baselineDir = value();
        } else {
            std::fprintf(stderr, "orvex_bench: unknown option %s (see --help)\n", arg.c_str());
            return false;
        }
    }
    if (o.sections.empty()) o.sections.insert(std::begin(kSections), std::end(kSections));
    return true;
}

}  // namespace
}  // namespace orvex::bench

int main(int argc, char** argv) {
    using namespace orvex::bench;
    Options o;
    if (!parse(argc, argv, o)) return 2;
    const Signal signal = orvex::measure::loopSignal();
    std::printf("orvex_bench: %d rounds of %.2f s of audio per contender and section; 44.1 kHz, stereo\n", o.rounds,
                o.seconds);
    // Loading first, while no bundle is loaded yet.
    if (o.sections.count("memory")) memory(o);
    if (o.sections.count("peers")) peers(o, signal);
    if (o.sections.count("blocks")) blocks(o, signal);
    if (o.sections.count("types")) types(o, signal);
    if (o.sections.count("units")) units(o, signal);
    if (o.sections.count("lv2peers")) lv2Peers(o, signal);
    if (o.sections.count("lv2face")) lv2Face(o, signal);
    if (o.sections.count("editors")) editors(o);
    return 0;
}
