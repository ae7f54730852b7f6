// An LV2 plug-in and what the host sends it beside the audio: time:Position atoms of
// every kind, MIDI atoms of every kind, and run judged by the real-time rules (the
// allocator, lock and system-call counters of rtwatch, as for the other formats).
#include <algorithm>
#include <cmath>

#include "checks_lv2.h"
#include "rtwatch.h"

namespace orvex::validate {

namespace {

constexpr int kBlock = 512;

}  // namespace

void checkLv2TimeInfo(Context& c, Outcome& out) {
    using lilvhost::Transport;
    struct Kind {
        const char* name;
        // Shapes what the host tells before run `k`; `told` starts as the steady
        // transport and is told when `tell` stays true, none when the host clears it.
        void (*shape)(int k, Transport& told, bool& tell, bool& none, Random& random);
    };
    const Kind kinds[] = {
        {"a steady transport", [](int, Transport&, bool&, bool&, Random&) {}},
        {"no transport", [](int, Transport&, bool&, bool& none, Random&) { none = true; }},
        {"a position now and then",
         [](int k, Transport& t, bool& tell, bool&, Random&) {
             t.everyRun = false;
             tell = k % 4 == 0;
         }},
        {"jumping positions", [](int, Transport& t, bool&, bool&, Random& r) { t.beats = 1000.0 * r.bipolar(); }},
        {"negative positions", [](int k, Transport& t, bool&, bool&, Random&) { t.beats = -64.0 + k; }},
        {"a tempo changing every run",
         [](int, Transport& t, bool&, bool&, Random& r) { t.tempo = 20.0 + 280.0 * r.uniform(); }},
        {"tempo 0", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = 0; }},
        {"a negative tempo", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = -120; }},
        {"a NaN tempo", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = NAN; }},
        {"an infinite tempo", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = INFINITY; }},
        {"tempo 1e9", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = 1e9; }},
        {"tempo and position 1e300", [](int, Transport& t, bool&, bool&, Random&) { t.tempo = 1e300, t.beats = 1e300; }},
        {"a NaN position", [](int, Transport& t, bool&, bool&, Random&) { t.beats = NAN; }},
        {"a time signature of 0/0", [](int, Transport& t, bool&, bool&, Random&) { t.beatsPerBar = 0, t.beatUnit = 0; }},
        {"a stopped transport", [](int, Transport& t, bool&, bool&, Random&) { t.speed = 0.0f; }},
        {"a transport running backwards at speed -3",
         [](int, Transport& t, bool&, bool&, Random&) { t.speed = -3.0f; }},
    };
    float steadyPeak = 0, loudest = 0;
    for (const Kind& kind : kinds) {
        auto p = lv2::active(c, out);
        if (!p) return;
        Random random(c.settings.seed);
        Transport steady;
        const auto before = [&](int run, int64_t frame) {
            Transport told = steady;
            told.beats = static_cast<double>(frame) / 44100.0 * 2.0;
            told.frame = frame;
            bool tell = true, none = false;
            kind.shape(run, told, tell, none, random);
            if (none) p->clearTransport();
            else if (tell) p->setTransport(told);
        };
        c.step("%s", kind.name);
        Scan scan;
        scan.add(lv2::runBlocks(*p, makeSignal(Signal::noise, 2, 16 * kBlock, 44100.0, 3), kBlock, before));
        if (&kind == &kinds[0]) steadyPeak = scan.peak;
        loudest = std::max(loudest, scan.peak);
        if (scan.nonFinite() > 0)
            out.fail(std::string(kind.name) + ": " + scan.describe() + " output samples");
        else if (scan.peak > 4.0f * std::max(steadyPeak, 1e-3f))
            out.fail(std::string(kind.name) + ": output peaks at " + decibels(scan.peak) + " against " +
                     decibels(steadyPeak) + " with a steady transport");
    }
    out.say("%zu kinds of time:Position, 16 runs each: loudest output %s (%s with a steady transport)", std::size(kinds),
            decibels(loudest).c_str(), decibels(steadyPeak).c_str());
    out.figure("loudest", loudest);
    out.figure("steady_peak", steadyPeak);
}

void checkLv2RandomMidi(Context& c, Outcome& out) {
    auto p = lv2::active(c, out);
    if (!p) return;
    if (!p->hasEventInput()) return out.skip("the plug-in has no atom input for MIDI");
    const int total = c.settings.quick ? 4000 : 10000;
    Random random(c.settings.seed);
    int sent = 0, runs = 0, system = 0;
    Scan scan;
    while (sent < total) {
        const int frames = 1 + random.below(kBlock);
        const int n = 1 + random.below(96);
        for (int e = 0; e < n; ++e) {
            // Any status byte (system ones among them) and data bytes with the top bit
            // set now and then, at any frame of the run.
            const auto status = static_cast<uint8_t>(0x80 + random.below(128));
            system += status >= 0xF0;
            p->queueMidi({static_cast<uint32_t>(random.below(frames)), status,
                          static_cast<uint8_t>(random.below(random.chance(0.1f) ? 256 : 128)),
                          static_cast<uint8_t>(random.below(random.chance(0.1f) ? 256 : 128))});
        }
        sent += n;
        ++runs;
        c.step("run %d (%d messages so far)", runs, sent);
        scan.add(lv2::runBlocks(*p, makeSignal(Signal::noise, 2, frames, 44100.0, static_cast<uint64_t>(runs)), frames));
    }
    out.say("%d MIDI messages (%d with a system status byte) in %d runs: output %s", sent, system, runs,
            scan.describe().c_str());
    if (scan.nonFinite() > 0) out.fail("random MIDI: " + scan.describe() + " output samples");
    out.figure("messages", sent);
}

void checkLv2Realtime(Context& c, Outcome& out) {
    auto p = lv2::active(c, out, 44100.0, kBlock);
    if (!p) return;
    const int kRuns = c.settings.quick ? 1000 : 5000;
    const auto& controls = p->controls();
    // Everything the watched thread hands the plug-in is made before the runs.
    Audio inputs = makeSignal(Signal::noise, 2, kBlock, 44100.0), outputs = inputs;
    const float* in[2] = {inputs[0].data(), inputs[1].data()};
    float* outs[2] = {outputs[0].data(), outputs[1].data()};
    struct {
        int runs = 0, values = 0, atEnds = 0, messages = 0, transports = 0;
    } seen;
    rt::FirstBreach first;
    rt::SelfTest selfTest;
    std::string problem;
    const bool watched = rt::watchPasses(selfTest, problem, [&](bool counted) {
        Random random(c.settings.seed);
        lilvhost::Transport transport;
        p->setTransport(transport);
        for (int run = 0; run < kRuns; ++run) {
            const float pick = random.uniform();
            const int n = pick < 0.1f ? 1 : pick < 0.2f ? kBlock : 1 + random.below(kBlock);
            // Between runs, as a host's automation, MIDI and transport arrive.
            bool value = false, atEnd = false, messages = false, moved = false;
            if (!controls.empty() && random.chance(0.15f)) {
                for (int k = 1 + random.below(3); k > 0; --k) {
                    const float end = random.uniform();
                    const double where = end < 0.2f ? 0.0 : end < 0.4f ? 1.0 : random.uniform();
                    const auto i = static_cast<std::size_t>(random.below(static_cast<int>(controls.size())));
                    p->setControlValue(i, lv2::within(controls[i], where));
                    seen.values += counted;
                    seen.atEnds += counted && (where == 0.0 || where == 1.0);
                    atEnd = atEnd || where == 0.0 || where == 1.0;
                }
                value = true;
            }
            if (random.chance(0.3f)) {
                for (int e = 1 + random.below(8); e > 0; --e) {
                    const auto status = static_cast<uint8_t>((random.chance(0.5f) ? 0x90 : 0xB0) | random.below(16));
                    p->queueMidi({static_cast<uint32_t>(random.below(n)), status,
                                  static_cast<uint8_t>(random.below(128)), static_cast<uint8_t>(random.below(128))});
                    seen.messages += counted;
                }
                messages = true;
            }
            if (random.chance(0.05f)) {
                const int what = random.below(3);
                if (what == 0) transport.tempo = 40.0 + 200.0 * random.uniform();
                if (what == 1) transport.speed = transport.speed == 0.0f ? 1.0f : 0.0f;
                if (what == 2) transport.beats = 64.0 * random.uniform();
                p->setTransport(transport);
                seen.transports += counted;
                moved = true;
            }
            const rt::Counts before = rt::counts();
            if (counted) rt::begin();
            p->run(in, outs, static_cast<uint32_t>(n));
            rt::end();
            const rt::Counts after = rt::counts();
            if (counted)
                first.note(run, before, after,
                           {{atEnd, "a control input to its minimum or maximum"},
                            {value && !atEnd, "a control input"},
                            {messages, "MIDI"},
                            {moved, "the tempo or transport"}});
            seen.runs += counted;
        }
    });
    if (!rt::countable(selfTest, out)) return;
    out.say("%d runs of 1 to %d frames after %d control changes (%d to an end), %d MIDI messages and %d tempo and "
            "transport changes",
            seen.runs, kBlock, seen.values, seen.atEnds, seen.messages, seen.transports);
    out.figure("runs", seen.runs);
    rt::judge(selfTest, watched, problem, first.where("run", "changed"), "run", out);
}

}  // namespace orvex::validate
