// A CLAP plug-in and its host: the transport in every form, events of every kind, what
// the audio thread's calls do (allocation, locks, system calls) and on which threads the
// plug-in calls into the host. The checks that judge threads process on an audio
// thread of their own, beside the check's thread, which is the plug-in's main thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

#include "checks.h"
#include "checks_clap.h"
#include "rtwatch.h"

namespace orvex::validate {

namespace {

constexpr uint32_t kBlock = 512;

clap_beattime beats(double quarters) {
    const double fixed = quarters * static_cast<double>(CLAP_BEATTIME_FACTOR);
    if (!(fixed == fixed)) return 0;
    return fixed >= 9.2e18 ? INT64_MAX : fixed <= -9.2e18 ? INT64_MIN : static_cast<clap_beattime>(fixed);
}

// One event no well-behaved plug-in trips on, of any kind a host may send: MIDI with
// junk bytes, notes with any key, system exclusive, events of other spaces and types,
// values of parameters that do not exist.
claphost::Event anyEvent(Random& random, uint32_t time, const std::vector<uint8_t>& sysex) {
    claphost::Event e{};
    const int kind = random.below(6);
    if (kind == 0) {
        e = claphost::midiEvent(static_cast<uint8_t>(0x80 + random.below(128)), static_cast<uint8_t>(random.below(256)),
                                static_cast<uint8_t>(random.below(256)), time, static_cast<uint16_t>(random.below(2)));
    } else if (kind == 1) {
        const uint16_t types[] = {CLAP_EVENT_NOTE_ON, CLAP_EVENT_NOTE_OFF, CLAP_EVENT_NOTE_CHOKE, CLAP_EVENT_NOTE_END};
        e.note.header = {sizeof(clap_event_note_t), time, CLAP_CORE_EVENT_SPACE_ID, types[random.below(4)], 0};
        e.note.note_id = random.chance(0.5f) ? -1 : random.below(1000);
        e.note.port_index = static_cast<int16_t>(random.below(3) - 1);
        e.note.channel = static_cast<int16_t>(random.below(18) - 1);
        e.note.key = static_cast<int16_t>(random.below(130) - 1);
        e.note.velocity = random.chance(0.1f) ? 7.5 : random.uniform();
    } else if (kind == 2) {
        clap_event_midi_sysex_t x{};
        x.header = {sizeof x, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI_SYSEX, 0};
        x.port_index = 0;
        x.buffer = sysex.data();
        x.size = static_cast<uint32_t>(1 + random.below(static_cast<int>(sysex.size())));
        std::memcpy(&e, &x, sizeof x);
    } else if (kind == 3) {
        // A space of another extension, or a core type past the ones known.
        e.header = {sizeof(clap_event_header_t), time, static_cast<uint16_t>(random.below(3) + 1),
                    static_cast<uint16_t>(random.below(40)), 0};
        if (random.chance(0.5f)) e.header.space_id = CLAP_CORE_EVENT_SPACE_ID, e.header.type = 200;
    } else if (kind == 4) {
        e = claphost::paramValueEvent(static_cast<clap_id>(100000 + random.below(1000)), random.uniform(), time);
    } else {
        e.midi.header = {sizeof(clap_event_midi_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI2, 0};
        for (int i = 0; i < 3; ++i) e.midi.data[i] = static_cast<uint8_t>(random.below(256));
    }
    return e;
}

}  // namespace

void checkClapTimeInfo(Context& c, Outcome& out) {
    struct Kind {
        const char* name;
        // Shapes the transport of block `k` (null: none); `t` holds the steady one.
        void (*shape)(int k, clap_event_transport_t*& t, Random& random);
    };
    const Kind kinds[] = {
        {"a steady transport", [](int, clap_event_transport_t*&, Random&) {}},
        {"no transport", [](int, clap_event_transport_t*& t, Random&) { t = nullptr; }},
        {"a transport now and then", [](int k, clap_event_transport_t*& t, Random&) { if (k % 2) t = nullptr; }},
        {"jumping positions",
         [](int, clap_event_transport_t*& t, Random& r) { t->song_pos_beats = beats(1000.0 * r.bipolar()); }},
        {"negative positions", [](int k, clap_event_transport_t*& t, Random&) { t->song_pos_beats = beats(-64.0 + k); }},
        {"a tempo changing every block",
         [](int, clap_event_transport_t*& t, Random& r) { t->tempo = 20.0 + 280.0 * r.uniform(); }},
        {"tempo 0", [](int, clap_event_transport_t*& t, Random&) { t->tempo = 0; }},
        {"a negative tempo", [](int, clap_event_transport_t*& t, Random&) { t->tempo = -120; }},
        {"a NaN tempo", [](int, clap_event_transport_t*& t, Random&) { t->tempo = NAN; }},
        {"an infinite tempo", [](int, clap_event_transport_t*& t, Random&) { t->tempo = INFINITY; }},
        {"tempo 1e9", [](int, clap_event_transport_t*& t, Random&) { t->tempo = 1e9; }},
        {"tempo 1e300 at the last beat there is",
         [](int, clap_event_transport_t*& t, Random&) { t->tempo = 1e300, t->song_pos_beats = INT64_MAX; }},
        {"a time signature of 0/0", [](int, clap_event_transport_t*& t, Random&) { t->tsig_num = 0, t->tsig_denom = 0; }},
        {"no flags but junk values",
         [](int, clap_event_transport_t*& t, Random& r) {
             t->flags = 0, t->tempo = -1e300 * r.uniform(), t->song_pos_beats = INT64_MIN;
         }},
        {"a stopped transport looping backwards",
         [](int, clap_event_transport_t*& t, Random&) {
             t->flags = (t->flags & ~CLAP_TRANSPORT_IS_PLAYING) | CLAP_TRANSPORT_IS_LOOP_ACTIVE;
             t->loop_start_beats = beats(8), t->loop_end_beats = beats(-8);
         }},
    };
    float steadyPeak = 0, loudest = 0;
    int transportEvents = 0;
    for (const Kind& kind : kinds) {
        auto p = clap::active(c, out);
        if (!p) return;
        Random random(c.settings.seed);
        clap::Feed feed;
        feed.before = [&](int call, int64_t, clap_event_transport_t*& t) { kind.shape(call, t, random); };
        c.step("%s", kind.name);
        Scan scan;
        scan.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, 16 * kBlock, 44100.0, 3), kBlock, feed));
        if (&kind == &kinds[0]) steadyPeak = scan.peak;
        loudest = std::max(loudest, scan.peak);
        if (scan.nonFinite() > 0) out.fail(std::string(kind.name) + ": " + scan.describe() + " output samples");
        else if (scan.peak > 4.0f * std::max(steadyPeak, 1e-3f))
            out.fail(std::string(kind.name) + ": output peaks at " + decibels(scan.peak) + " against " +
                     decibels(steadyPeak) + " with a steady transport");
    }
    // Transport events inside the block, as a host sends a jump or a tempo change at its sample.
    {
        auto p = clap::active(c, out);
        if (!p) return;
        Random random(c.settings.seed + 1);
        clap::Feed feed;
        feed.before = [&](int, int64_t frame, clap_event_transport_t*&) {
            uint32_t time = 0;
            for (int n = random.below(4); n > 0; --n) {
                time = std::min<uint32_t>(kBlock - 1, time + static_cast<uint32_t>(random.below(200)));
                claphost::Event e{};
                e.transport = claphost::playingTransport(random.chance(0.2f) ? 1e9 : 40 + 200 * random.uniform(),
                                                         44100.0, frame + random.below(100000));
                e.transport.header.time = time;
                p->queueEvent(e);
                ++transportEvents;
            }
        };
        c.step("transport events inside the blocks");
        Scan scan;
        scan.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, 16 * kBlock, 44100.0, 3), kBlock, feed));
        loudest = std::max(loudest, scan.peak);
        if (scan.nonFinite() > 0) out.fail("transport events inside the blocks: " + scan.describe() + " output samples");
        else if (scan.peak > 4.0f * std::max(steadyPeak, 1e-3f))
            out.fail("transport events inside the blocks: output peaks at " + decibels(scan.peak) + " against " +
                     decibels(steadyPeak) + " with a steady transport");
    }
    out.say("%zu kinds of transport, 16 blocks each, and %d transport events inside blocks: loudest output %s (%s with "
            "a steady transport)",
            std::size(kinds), transportEvents, decibels(loudest).c_str(), decibels(steadyPeak).c_str());
    out.figure("loudest", loudest);
    out.figure("steady_peak", steadyPeak);
}

void checkClapRandomMidi(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    const int total = c.settings.quick ? 4000 : 10000;
    std::vector<uint8_t> sysex(64);
    Random random(c.settings.seed);
    for (uint8_t& b : sysex) b = static_cast<uint8_t>(random.below(256));
    sysex.front() = 0xF0;
    int sent = 0, lists = 0;
    Scan scan;
    std::size_t outputEvents = 0;
    while (sent < total) {
        const uint32_t frames = 1 + static_cast<uint32_t>(random.below(static_cast<int>(kBlock)));
        const int n = 1 + random.below(96);
        std::vector<uint32_t> times(static_cast<std::size_t>(n));
        for (uint32_t& t : times) t = static_cast<uint32_t>(random.below(static_cast<int>(frames)));
        std::sort(times.begin(), times.end());
        for (uint32_t t : times) p->queueEvent(anyEvent(random, t, sysex));
        sent += n;
        ++lists;
        c.step("event list %d (%d events so far)", lists, sent);
        scan.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, frames, 44100.0, static_cast<uint64_t>(lists)),
                                 static_cast<int>(frames)));
        outputEvents += clap::judgeOutputEvents(*p, out, "event list " + std::to_string(lists), frames);
        if (out.problems.size() > 8) break;
    }
    out.say("%d events in %d lists (MIDI with junk bytes, notes, system exclusive, other spaces and types, unknown "
            "parameters): output %s, %zu output events well formed",
            sent, lists, scan.describe().c_str(), outputEvents);
    if (scan.nonFinite() > 0) out.fail("random events: " + scan.describe() + " output samples");
    out.figure("events", sent);
}

void checkClapRealtime(Context& c, Outcome& out) {
    auto p = clap::active(c, out, 44100.0, kBlock);
    if (!p) return;
    const int kCalls = c.settings.quick ? 1000 : 5000;
    const std::vector<claphost::ParamInfo> params = p->params();
    Audio inputs = makeSignal(Signal::noise, 2, kBlock, 44100.0), outputs = inputs;
    const float* in[2] = {inputs[0].data(), inputs[1].data()};
    float* outs[2] = {outputs[0].data(), outputs[1].data()};
    struct {
        int calls = 0, values = 0, events = 0, transports = 0, flushes = 0;
    } seen;
    rt::FirstBreach first;
    rt::SelfTest selfTest;
    std::string problem;
    const bool watched = rt::watchPasses(selfTest, problem, [&](bool counted) {
        Random random(c.settings.seed);
        double tempo = 120;
        int64_t frame = 0;
        for (int call = 0; call < kCalls; ++call) {
            const float pick = random.uniform();
            const uint32_t n = pick < 0.1f ? 1 : pick < 0.2f ? kBlock : 1 + random.below(kBlock);
            bool value = false, events = false, moved = false, flush = false;
            if (!params.empty() && random.chance(0.15f)) {
                for (int k = 1 + random.below(3); k > 0; --k) {
                    const claphost::ParamInfo& info = params[static_cast<std::size_t>(random.below(static_cast<int>(params.size())))];
                    const float end = random.uniform();
                    p->queueEvent(claphost::paramValueEvent(
                        info.id, clap::within(info, end < 0.2f ? 0.0 : end < 0.4f ? 1.0 : random.uniform()),
                        static_cast<uint32_t>(random.below(static_cast<int>(n)))));
                    seen.values += counted;
                }
                value = true;
            }
            if (random.chance(0.3f)) {
                uint32_t t = 0;
                for (int e = 1 + random.below(8); e > 0; --e) {
                    t = std::min(n - 1, t + static_cast<uint32_t>(random.below(64)));
                    const uint8_t status = static_cast<uint8_t>((random.chance(0.5f) ? 0x90 : 0xB0) | random.below(16));
                    p->queueEvent(claphost::midiEvent(status, static_cast<uint8_t>(random.below(128)),
                                                      static_cast<uint8_t>(random.below(128)), t));
                    seen.events += counted;
                }
                events = true;
            }
            if (random.chance(0.05f)) {
                tempo = 40.0 + 200.0 * random.uniform();
                seen.transports += counted;
                moved = true;
            }
            const clap_event_transport_t transport = claphost::playingTransport(tempo, 44100.0, frame);
            frame += n;
            // Now and then processing stops and the values come by flush, on
            // this thread, as a host does while its transport stands.
            flush = !params.empty() && random.chance(0.02f);
            const rt::Counts before = rt::counts();
            if (flush) {
                if (counted) rt::begin();
                p->stopProcessing();
                p->flush();
                p->startProcessing();
                rt::end();
                seen.flushes += counted;
            }
            if (counted) rt::begin();
            p->process(in, outs, n, &transport);
            rt::end();
            const rt::Counts after = rt::counts();
            first.note(call, before, after,
                       {{value, "parameter values"}, {events, "MIDI events"}, {moved, "the tempo"},
                        {flush, "a flush"}});
            seen.calls += counted;
        }
    });
    if (!rt::countable(selfTest, out)) return;
    out.say("%d process calls of 1 to %u frames with %d parameter values, %d MIDI events, %d tempo changes and %d "
            "stops with a flush between them",
            seen.calls, kBlock, seen.values, seen.events, seen.transports, seen.flushes);
    out.figure("calls", seen.calls);
    rt::judge(selfTest, watched, problem, first.where("call", "sent"), "process, flush, start_processing and stop_processing",
              out);
}

void checkClapFpState(Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) return out.fail(error);
    const std::vector<claphost::ParamInfo> params = p->params();
    FpCalls calls;
    Random random(c.settings.seed);
    Audio inputs = makeSignal(Signal::noise, 2, 256, 48000.0), outputs = inputs;
    const float* in[2] = {inputs[0].data(), inputs[1].data()};
    float* outs[2] = {outputs[0].data(), outputs[1].data()};
    for (const FpState& host : FpCalls::kHostStates) {
        // Every call a host makes of the plug-in, each from the host's state: the main
        // thread's and, on this same thread here, the audio thread's.
        auto call = [&](const char* name, const std::function<void()>& body) { calls.call(host, name, body); };
        c.step("calls from the floating-point state MXCSR 0x%04x", host.mxcsr);
        call("activate", [&] { p->activate(48000.0, 1, 256); });
        call("start_processing", [&] { p->startProcessing(); });
        int64_t frame = 0;
        for (int round = 0; round < 16; ++round) {
            for (const claphost::ParamInfo& info : params) {
                call("get_value", [&] { (void)p->paramValue(info.id); });
                call("value_to_text", [&] { (void)p->valueToText(info.id, clap::within(info, random.uniform())); });
                p->queueEvent(claphost::paramValueEvent(info.id, clap::within(info, random.uniform())));
            }
            p->queueEvent(claphost::midiEvent(0x90, static_cast<uint8_t>(random.below(128)), 100));
            const uint32_t n = 1 + static_cast<uint32_t>(random.below(256));
            const clap_event_transport_t t = claphost::playingTransport(120.0, 48000.0, frame);
            frame += n;
            call("process", [&] { p->process(in, outs, n, &t); });
        }
        call("stop_processing", [&] { p->stopProcessing(); });
        clap::queueRandomValues(*p, random);
        call("flush", [&] { p->flush(); });
        call("deactivate", [&] { p->deactivate(); });
        std::optional<std::vector<uint8_t>> state;
        call("state save", [&] { state = p->saveState(); });
        if (state) call("state load", [&] { p->loadState(*state); });
    }
    calls.judge(out);
}

void checkClapThreads(Context& c, Outcome& out) {
    auto p = clap::active(c, out, 44100.0, kBlock);
    if (!p) return;
    p->callbacks().clear();
    const std::vector<claphost::ParamInfo> params = p->params();
    // The audio thread processes with values, MIDI and the transport while the main
    // thread asks for values and texts and saves the state, as a host's do together.
    // Both go on until each has done its share: 400 calls, 50 rounds of questions.
    std::atomic<bool> done{false};
    std::atomic<int> rounds{0}, processed{0};
    std::thread audio([&] {
        Audio inputs = makeSignal(Signal::noise, 2, kBlock, 44100.0), outputs = inputs;
        const float* in[2] = {inputs[0].data(), inputs[1].data()};
        float* outs[2] = {outputs[0].data(), outputs[1].data()};
        Random random(c.settings.seed);
        for (int call = 0; call < 400 || rounds.load() < 50; ++call, ++processed) {
            if (!params.empty() && call % 4 == 0) clap::queueRandomValues(*p, random, static_cast<uint32_t>(call % 64));
            if (call % 3 == 0) p->queueEvent(claphost::midiEvent(0xB0, static_cast<uint8_t>(random.below(128)), 64));
            const clap_event_transport_t t = claphost::playingTransport(120.0, 44100.0, int64_t{call} * kBlock);
            p->process(in, outs, kBlock, &t);
        }
        p->stopProcessing();
        done = true;
    });
    int asked = 0;
    while (!done) {
        for (const claphost::ParamInfo& info : params) {
            (void)p->paramValue(info.id);
            (void)p->valueToText(info.id, info.defaultValue);
            ++asked;
        }
        ++rounds;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    audio.join();
    // Main thread, the instance stopped: a flush and a state saved and loaded again.
    c.step("flush and state on the main thread");
    if (!params.empty()) {
        p->queueEvent(claphost::paramValueEvent(params[0].id, params[0].defaultValue));
        p->flush();
    }
    if (const auto state = p->saveState()) p->loadState(*state);
    // Each host function, where it may be called from.
    const char* const mainOnly[] = {"rescan",           "clear",         "mark_dirty",    "changed",
                                    "is_rescan_flag_supported", "supported_dialects", "register_timer",
                                    "unregister_timer", "register_fd",   "modify_fd",     "unregister_fd",
                                    "on_error",         "loaded"};
    std::map<std::string, int> wrong;
    const auto calls = p->callbacks().calls();
    for (const claphost::Callback& call : calls) {
        const std::string name = call.function;
        const bool main = std::any_of(std::begin(mainOnly), std::end(mainOnly), [&](const char* f) { return name == f; });
        std::string where;
        if (main && call.thread != claphost::Thread::main)
            where = name + " (main thread only) from the " + claphost::threadName(call.thread) + " thread";
        else if (name == "request_flush" && call.thread == claphost::Thread::audio)
            where = "request_flush (any thread but audio) from the audio thread";
        if (where.empty()) continue;
        if (call.insideProcess) where += " inside process";
        ++wrong[where];
    }
    for (const auto& [where, count] : wrong) out.fail(where + ", " + std::to_string(count) + " times");
    int onAudio = 0;
    for (const claphost::Callback& call : calls) onAudio += call.thread == claphost::Thread::audio;
    out.say("%d process calls on an audio thread beside %d questions on the main thread: %zu calls into the host "
            "(%d from the audio thread)%s",
            processed.load(), asked, calls.size() + p->callbacks().dropped(), onAudio, wrong.empty() ? ", each on a thread it may come from" : "");
    out.figure("callbacks", static_cast<double>(calls.size()));
    out.figure("wrong_thread", static_cast<double>(wrong.size()));
}

}  // namespace orvex::validate
