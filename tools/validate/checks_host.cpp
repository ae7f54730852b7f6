// What the host does around the audio: a second thread changing parameters and
// programs, time information of every kind, random MIDI, and real-time safety of the
// processing calls themselves: no allocation, lock or system call, the host's
// floating-point state kept, and no sample rate much dearer than the others.
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <thread>

#include "checks.h"
#include "harness.h"
#include "rtwatch.h"

namespace orvex::validate {

namespace {

// Random event records and the list a host hands over for them, all built before the
// call.
class EventBatch {
public:
    void clear() {
        records.clear();
        dumps.clear();
    }
    // One record of up to 64 bytes; its contents are written by the caller.
    unsigned char* add() {
        records.emplace_back();
        records.back().fill(0);
        return records.back().data();
    }
    char* dump(std::size_t size) {
        dumps.emplace_back(size);
        return dumps.back().data();
    }
    VstEvents* list() {
        std::vector<VstEvent*> entries;
        for (auto& record : records) entries.push_back(reinterpret_cast<VstEvent*>(record.data()));
        built = vsthost::EventList(entries);
        return built.get();
    }
    std::size_t size() const { return records.size(); }

private:
    std::vector<std::array<unsigned char, 64>> records;
    std::vector<std::vector<char>> dumps;
    vsthost::EventList built;
};

// A random event: mostly MIDI with any bytes at all, some system exclusive, some of
// types no plug-in expects, and now and then a time outside the block.
void randomEvent(EventBatch& batch, Random& random, int block) {
    unsigned char* record = batch.add();
    const float kind = random.uniform();
    VstInt32 deltaFrames = random.chance(0.9f) ? random.below(block)
                                               : static_cast<VstInt32>(random.next() & 0xFFFFFFFF);
    if (kind < 0.7f) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = random.chance(0.9f) ? static_cast<VstInt32>(sizeof(VstMidiEvent)) : random.below(64);
        e.deltaFrames = deltaFrames;
        e.flags = random.below(4);
        e.noteLength = static_cast<VstInt32>(random.next());
        e.noteOffset = static_cast<VstInt32>(random.next());
        for (char& b : e.midiData) b = static_cast<char>(random.next());
        // Half of them well-formed, so that controllers and notes really arrive.
        if (random.chance(0.5f)) {
            static const unsigned char statuses[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
            e.midiData[0] = static_cast<char>(statuses[random.below(7)] | random.below(16));
            e.midiData[1] = static_cast<char>(random.below(128));
            e.midiData[2] = static_cast<char>(random.below(128));
        }
        e.detune = static_cast<char>(random.next());
        e.noteOffVelocity = static_cast<char>(random.next());
        std::memcpy(record, &e, sizeof e);
    } else if (kind < 0.85f) {
        VstMidiSysexEvent e{};
        e.type = kVstSysExType;
        e.byteSize = sizeof(VstMidiSysexEvent);
        e.deltaFrames = deltaFrames;
        e.dumpBytes = 1 + random.below(256);
        e.sysexDump = batch.dump(static_cast<std::size_t>(e.dumpBytes));
        for (int i = 0; i < e.dumpBytes; ++i) e.sysexDump[i] = static_cast<char>(random.next());
        e.sysexDump[0] = static_cast<char>(0xF0);
        std::memcpy(record, &e, sizeof e);
    } else {
        VstEvent e{};
        static const VstInt32 types[] = {kVstAudioType, kVstVideoType, kVstParameterType, kVstTriggerType, 0, -1, 99};
        e.type = types[random.below(7)];
        e.byteSize = sizeof(VstEvent);
        e.deltaFrames = deltaFrames;
        std::memcpy(record, &e, sizeof e);
        for (std::size_t i = sizeof(VstEvent) - sizeof(e.data); i < 64; ++i)
            record[i] = static_cast<unsigned char>(random.next());
    }
}

// A controller change or a note inside the block, as a sequencer sends them.
void wellFormedEvent(EventBatch& batch, Random& random, int block) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = random.below(block);
    e.midiData[0] = static_cast<char>((random.chance(0.5f) ? 0xB0 : 0x90) | random.below(16));
    e.midiData[1] = static_cast<char>(random.below(128));
    e.midiData[2] = static_cast<char>(random.below(128));
    std::memcpy(batch.add(), &e, sizeof e);
}

// Holds the thread it lands on for a few microseconds wherever it was, as a scheduler
// holds a thread that has used its time: a value a set leaves for a moment stays
// there long enough for the other thread to read it. Runs as a signal handler; the
// next hold is asked for only once this one is over, so that the thread moves on
// between holds and is caught at ever other places.
std::atomic<bool> holding{false};
void holdThread(int) {
    timespec from{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &from);
    do clock_gettime(CLOCK_MONOTONIC, &now);
    while ((now.tv_sec - from.tv_sec) * 1000000000L + (now.tv_nsec - from.tv_nsec) < 5000);
    holding.store(false);
}

}  // namespace

void checkParameterThreads(Context& c, Outcome& out) {
    // Short calls, many of them: a value the other thread holds for a moment is seen
    // only by a call that reads it in that moment.
    constexpr int kFrames = 16, kRuns = 4;
    const int kBlocks = c.settings.quick ? 10000 : 40000;
    // Calls that must have overlapped sets for a clean output to mean anything.
    const int kWanted = c.settings.quick ? 300 : 1000;
    // A run goes on while too few were, for long enough that a busy machine's
    // scheduler lets both threads run side by side for a while.
    const double kRunSeconds = c.settings.quick ? 0.25 : 0.5;
    auto p = c.started(out);
    if (!p) return;
    const Audio in = makeSignal(Signal::noise, inputChannels(*p), kFrames, 44100.0);
    Audio output = in;
    output.resize(static_cast<std::size_t>(outputChannels(*p)), in[0]);
    std::vector<float*> ins, outs;
    Audio inCopy = in;
    for (auto& ch : inCopy) ins.push_back(ch.data());
    for (auto& ch : output) outs.push_back(ch.data());
    const VstInt32 params = p->numParams(), programs = p->numPrograms();
    if (params == 0 && programs == 0) return out.skip("the plug-in has no parameters and no programs");
    // The setting thread is held now and then (see holdThread).
    const int kHoldSignal = SIGURG;
    struct sigaction hold {}, previous {};
    hold.sa_handler = holdThread;
    hold.sa_flags = SA_RESTART;
    sigemptyset(&hold.sa_mask);
    sigaction(kHoldSignal, &hold, &previous);
    Scan scan;
    int runs = 0, blocks = 0, overlapped = 0, fresh = 0;
    uint64_t sets = 0;
    while (runs < kRuns && fresh < kWanted && scan.clean()) {
        ++runs;
        c.step("run %d: a second thread setting parameters and programs while this one processes", runs);
        // Sets are numbered as they begin and as they end: a call overlapped one when a
        // set had begun by the call's end that had not ended by its start.
        std::atomic<uint64_t> begun{0}, ended{0};
        std::atomic<bool> stop{false};
        uint64_t lastOverlapped = 0;  // the last set a call overlapped
        uint64_t lastBegun = 0;
        int still = 0;  // calls since the setting thread last began a set
        std::barrier start(2);
        std::thread setter([&] {
            Random random(c.settings.seed + static_cast<uint32_t>(runs));
            start.arrive_and_wait();
            for (int r = 0; !stop.load(std::memory_order_relaxed); ++r) {
                for (VstInt32 i = 0; i < params; ++i) {
                    begun.fetch_add(1);
                    p->setParameter(i, random.uniform());
                    ended.fetch_add(1);
                }
                if (programs > 0) {
                    begun.fetch_add(1);
                    p->setProgram(r % programs);
                    ended.fetch_add(1);
                }
            }
        });
        start.arrive_and_wait();
        const double started = wallSeconds();
        int b = 0;
        for (; b < kBlocks || (fresh < kWanted && wallSeconds() - started < kRunSeconds); ++b) {
            if (b % 4 == 0 && !holding.exchange(true)) pthread_kill(setter.native_handle(), kHoldSignal);
            for (std::size_t ch = 0; ch < in.size(); ++ch) inCopy[ch] = in[ch];
            const uint64_t endedBefore = ended.load();
            p->processReplacing(ins.data(), outs.data(), kFrames);
            const uint64_t begunAfter = begun.load();
            // A setting thread that has not moved on for a while shares this one's
            // processor on a busy machine: it is let run.
            if (begunAfter != lastBegun) {
                lastBegun = begunAfter;
                still = 0;
            } else if (++still == 64) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                still = 0;
            }
            if (begunAfter > endedBefore) {
                ++overlapped;
                // A call that overlapped sets not seen before, so that a thread stopped
                // inside one set, or a call stopped while many ran, counts once.
                if (begunAfter > lastOverlapped) ++fresh;
                lastOverlapped = begunAfter;
            }
            for (const auto& ch : output) scan.add(ch.data(), kFrames);
        }
        stop = true;
        setter.join();
        holding = false;
        blocks += b;
        sets += ended.load();
    }
    sigaction(kHoldSignal, &previous, nullptr);
    if (!scan.clean()) out.fail(scan.describe() + " output samples while parameters changed on another thread");
    out.say("%d blocks of %d in %d run%s while a second thread set %d parameters%s over and over (%llu sets), "
            "%d blocks overlapped a set (%d of them one that no block before had): output %s",
            blocks, kFrames, runs, runs == 1 ? "" : "s", params, programs > 0 ? " and a program" : "",
            static_cast<unsigned long long>(sets), overlapped, fresh, scan.describe().c_str());
    out.figure("blocks", blocks);
    out.figure("blocks_overlapping", overlapped);
    out.figure("blocks_overlapping_fresh_sets", fresh);
    if (scan.clean() && fresh < kWanted)
        out.fail("inconclusive: only " + std::to_string(fresh) + " processing calls overlapped fresh sets on the "
                 "other thread, " + std::to_string(kWanted) + " wanted");
}

void checkTimeInfo(Context& c, Outcome& out) {
    struct Scenario {
        const char* name;
        // Sets the transport for block `b`; false: the host answers with nothing.
        bool (*transport)(vsthost::Transport& t, int b, Random& random);
    };
    const Scenario scenarios[] = {
        {"steady at 120 BPM", [](vsthost::Transport&, int, Random&) { return true; }},
        {"no answer", [](vsthost::Transport&, int, Random&) { return false; }},
        {"answers now and then", [](vsthost::Transport&, int b, Random&) { return b % 3 == 0; }},
        {"positions jumping", [](vsthost::Transport& t, int, Random& r) {
             t.ppqPos = (r.uniform() - 0.2) * 1e6;
             return true;
         }},
        {"negative positions", [](vsthost::Transport& t, int b, Random&) {
             t.ppqPos = -64.0 + b * 0.1;
             return true;
         }},
        {"tempo changing every block", [](vsthost::Transport& t, int, Random& r) {
             t.tempo = 20.0 + 380.0 * r.uniform();
             return true;
         }},
        {"tempo 0", [](vsthost::Transport& t, int, Random&) {
             t.tempo = 0;
             return true;
         }},
        {"negative tempo", [](vsthost::Transport& t, int, Random&) {
             t.tempo = -120;
             return true;
         }},
        {"NaN tempo", [](vsthost::Transport& t, int, Random&) {
             t.tempo = NAN;
             return true;
         }},
        {"infinite tempo", [](vsthost::Transport& t, int b, Random&) {
             t.tempo = b % 2 ? INFINITY : -INFINITY;
             return true;
         }},
        {"tempo 1e9 and 1e-9", [](vsthost::Transport& t, int b, Random&) {
             t.tempo = b % 2 ? 1e9 : 1e-9;
             return true;
         }},
        {"tempo and positions beyond any float", [](vsthost::Transport& t, int b, Random&) {
             t.tempo = b % 2 ? 1e300 : 1e39;
             t.ppqPos = b % 2 ? 1e300 : -1e39;
             t.samplePos = 1e300;
             return true;
         }},
        {"non-finite positions", [](vsthost::Transport& t, int b, Random&) {
             t.ppqPos = b % 2 ? NAN : INFINITY;
             t.samplePos = -INFINITY;
             return true;
         }},
        {"no valid flags", [](vsthost::Transport& t, int, Random& r) {
             t.flags = 0;
             t.tempo = r.uniform() * 1e6;
             return true;
         }},
        {"time signature 0/0 and -3/-4", [](vsthost::Transport& t, int b, Random&) {
             t.timeSigNumerator = b % 2 ? 0 : -3;
             t.timeSigDenominator = b % 2 ? 0 : -4;
             return true;
         }},
        {"sample rate 0 in the answer", [](vsthost::Transport& t, int, Random&) {
             t.sampleRate = -1;
             return true;
         }},
    };
    auto p = c.started(out);
    if (!p) return;
    Random random(c.settings.seed);
    float baseline = 0, loudest = 0;
    const vsthost::Transport normal = *defaultHost().transport;
    for (const Scenario& s : scenarios) {
        c.step("time information: %s", s.name);
        vsthost::Transport t = normal;
        Scan scan;
        const Audio in = makeSignal(Signal::noise, inputChannels(*p), 16 * 512, 44100.0, 9);
        scan.add(runBlocks(*p, in, 512, [&](int b, int64_t) {
            vsthost::Transport next = t;
            next.advance = false;
            if (s.transport(next, b, random))
                p->setTransport(next);
            else
                p->clearTransport();
            t.ppqPos += 512 / 44100.0 * 2.0;
            t.samplePos += 512;
        }));
        if (scan.nonFinite() > 0) out.fail(std::string(s.name) + ": " + scan.describe() + " output samples");
        if (&s == &scenarios[0]) baseline = std::max(scan.peak, 0.5f);
        loudest = std::max(loudest, scan.peak);
        if (scan.peak > 4 * baseline)
            out.fail(std::string(s.name) + ": the output peaks at " + decibels(scan.peak) + ", against " +
                     decibels(baseline) + " with a steady transport");
    }
    out.say("%zu kinds of time information, 16 blocks each: loudest output %s (%s with a steady transport)",
            std::size(scenarios), decibels(loudest).c_str(), decibels(baseline).c_str());
    out.figure("loudest", loudest);
    out.figure("steady_peak", baseline);
}

void checkRandomMidi(Context& c, Outcome& out) {
    constexpr int kEvents = 10000, kBlock = 512;
    auto p = c.started(out, kBlock);
    if (!p) return;
    Random random(c.settings.seed);
    EventBatch batch;
    Scan scan;
    int sent = 0, calls = 0;
    const Audio in = makeSignal(Signal::noise, inputChannels(*p), kBlock, 44100.0);
    while (sent < kEvents) {
        batch.clear();
        const int n = std::min(kEvents - sent, 1 + random.below(100));
        for (int i = 0; i < n; ++i) randomEvent(batch, random, kBlock);
        c.step("events %d to %d", sent + 1, sent + n);
        p->dispatch(effProcessEvents, 0, 0, batch.list());
        sent += n;
        ++calls;
        c.step("processing after events %d to %d", sent - n + 1, sent);
        scan.add(runBlocks(*p, in, kBlock));
    }
    c.step("an empty event list");
    batch.clear();
    p->dispatch(effProcessEvents, 0, 0, batch.list());
    scan.add(runBlocks(*p, in, kBlock));
    int badValues = 0;
    for (VstInt32 i = 0; i < p->numParams(); ++i) {
        const float v = p->getParameter(i);
        if (!(v >= 0.0f && v <= 1.0f)) ++badValues;
    }
    if (scan.nonFinite() > 0) out.fail(scan.describe() + " output samples after random events");
    if (badValues > 0) out.fail(std::to_string(badValues) + " parameters outside 0..1 after random events");
    out.say("%d events in %d lists (MIDI with junk bytes, system exclusive, other types): output %s", sent, calls,
            scan.describe().c_str());
    out.figure("events", sent);
}

void checkRealtime(Context& c, Outcome& out) {
    constexpr VstInt32 kBlock = 512;
    auto p = c.started(out, kBlock);
    if (!p) return;
    vsthost::setCallbackHooks({rt::pauseForHost, rt::resumeAfterHost});

    // Everything the watched thread hands the plug-in is made before the calls.
    const int ins = inputChannels(*p), outs = outputChannels(*p);
    Audio inputs = makeSignal(Signal::noise, ins, kBlock, 44100.0);
    Audio outputs(static_cast<std::size_t>(outs), std::vector<float>(kBlock));
    std::vector<float*> inPointers, outPointers;
    for (auto& ch : inputs) inPointers.push_back(ch.data());
    for (auto& ch : outputs) outPointers.push_back(ch.data());
    EventBatch batch;
    const VstInt32 params = p->numParams(), programs = p->numPrograms();
    // What the host changed before the calls, so that work done on a change or every
    // so many calls happens inside one.
    struct {
        int calls = 0, accumulating = 0, parameters = 0, atEnds = 0, programs = 0, lists = 0, events = 0,
            transports = 0;
    } seen;
    // The first call that allocated, locked or made a system call, and what the host
    // changed just before it.
    rt::FirstBreach first;
    rt::SelfTest selfTest;
    AEffect* effect = p->effect();
    const bool canAccumulate = effect->process != nullptr;
    const int kCalls = c.settings.quick ? 1000 : 5000;

    std::string problem;
    const bool watched = rt::watchPasses(selfTest, problem, [&](bool counted) {
        Random random(c.settings.seed);
        vsthost::Transport transport = *defaultHost().transport;
        transport.advance = false;  // moved on here, as the calls below bypass the host's wrapper
        for (int call = 0; call < kCalls; ++call) {
            // Any length up to the announced one, the ends more often.
            const float pick = random.uniform();
            const int n = pick < 0.1f ? 1 : pick < 0.2f ? kBlock : 1 + random.below(kBlock);
            // Between calls, as a host's automation, program changes, MIDI and
            // transport arrive; the event list is handed over inside the watched
            // region, as processEvents belongs to it.
            bool parameter = false, atEnd = false, program = false, moved = false;
            if (params > 0 && random.chance(0.15f)) {
                for (int k = 1 + random.below(3); k > 0; --k) {
                    const float end = random.uniform();
                    const float v = end < 0.2f ? 0.0f : end < 0.4f ? 1.0f : random.uniform();
                    p->setParameter(random.below(params), v);
                    seen.parameters += counted;
                    seen.atEnds += counted && (v == 0.0f || v == 1.0f);
                    parameter = true;
                    atEnd = atEnd || v == 0.0f || v == 1.0f;
                }
            }
            if (programs > 1 && random.chance(0.02f)) {
                p->setProgram(random.below(programs));
                seen.programs += counted;
                program = true;
            }
            if (random.chance(0.05f)) {
                const int what = random.below(3);
                if (what == 0) transport.tempo = 40.0 + 200.0 * random.uniform();
                if (what == 1) transport.flags ^= kVstTransportPlaying;
                if (what == 2) transport.ppqPos = 64.0 * random.uniform();
                seen.transports += counted;
                moved = true;
            }
            p->setTransport(transport);
            transport.samplePos += n;
            transport.ppqPos += n / 44100.0 * transport.tempo / 60.0;
            batch.clear();
            if (random.chance(0.3f))
                for (int e = 1 + random.below(8); e > 0; --e) wellFormedEvent(batch, random, n);
            VstEvents* list = batch.size() ? batch.list() : nullptr;
            const bool accumulate = canAccumulate && call % 4 == 3;
            const rt::Counts before = rt::counts();
            if (counted) rt::begin();
            if (list) effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
            if (accumulate)
                effect->process(effect, inPointers.data(), outPointers.data(), n);
            else
                effect->processReplacing(effect, inPointers.data(), outPointers.data(), n);
            rt::end();
            const rt::Counts after = rt::counts();
            first.note(call, before, after,
                       {{atEnd, "a parameter to 0 or 1"},
                        {parameter && !atEnd, "a parameter"},
                        {program, "the program"},
                        {moved, "the tempo or transport"},
                        {list != nullptr, "events"}});
            seen.calls += counted;
            seen.accumulating += counted && accumulate;
            seen.lists += counted && list;
            seen.events += counted ? static_cast<int>(batch.size()) : 0;
        }
    });
    vsthost::setCallbackHooks({});
    if (!rt::countable(selfTest, out)) return;
    out.say("%d processing calls of 1 to %d frames (%d accumulating) after %d parameter changes (%d to 0 or 1), "
            "%d program changes, %d event lists (%d notes and controllers), %d tempo and transport changes",
            seen.calls, kBlock, seen.accumulating, seen.parameters, seen.atEnds, seen.programs, seen.lists, seen.events,
            seen.transports);
    out.figure("calls", seen.calls);
    rt::judge(selfTest, watched, problem, first.where("call", "changed"), "the processing calls", out);
}

constexpr unsigned kMxcsrFlags = 0x3F;

FpState fpState() {
    FpState state;
    state.mxcsr = _mm_getcsr() & ~kMxcsrFlags;
    asm volatile("fnstcw %0" : "=m"(state.x87));
    return state;
}

void setFpState(const FpState& state) {
    _mm_setcsr(state.mxcsr);
    asm volatile("fldcw %0" : : "m"(state.x87));
}

std::string fpChange(const FpState& before, const FpState& after) {
    static const char* const rounding[] = {"to nearest", "down", "up", "towards zero"};
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    char number[64];
    if (before.mxcsr != after.mxcsr) {
        std::snprintf(number, sizeof number, "MXCSR 0x%04x to 0x%04x (", before.mxcsr, after.mxcsr);
        std::string what;
        auto bit = [&](unsigned mask, const char* name) {
            if ((before.mxcsr ^ after.mxcsr) & mask)
                what += std::string(what.empty() ? "" : ", ") + name + (after.mxcsr & mask ? " on" : " off");
        };
        bit(0x8000, "flush to zero");
        bit(0x0040, "denormals are zero");
        if ((before.mxcsr ^ after.mxcsr) & 0x6000)
            what += std::string(what.empty() ? "" : ", ") + "rounding " + rounding[(after.mxcsr >> 13) & 3] +
                    " instead of " + rounding[(before.mxcsr >> 13) & 3];
        if ((before.mxcsr ^ after.mxcsr) & 0x1F80) what += std::string(what.empty() ? "" : ", ") + "exception masks";
        add(number + what + ")");
    }
    if (before.x87 != after.x87) {
        std::snprintf(number, sizeof number, "x87 control word 0x%04x to 0x%04x", before.x87, after.x87);
        add(number);
    }
    return text;
}

void FpCalls::call(const FpState& host, const char* name, const std::function<void()>& body) {
    setFpState(host);
    body();
    const FpState after = fpState();
    setFpState(validator);
    ++calls;
    if (after == host || std::find(kinds.begin(), kinds.end(), name) != kinds.end()) return;
    kinds.push_back(name);
    changed.push_back(std::string(name) + " changed " + fpChange(host, after));
}

void FpCalls::judge(Outcome& out) const {
    setFpState(validator);
    out.say("%d calls from two host states (MXCSR 0x1f80 and 0x9fc0 with flush to zero): %s", calls,
            changed.empty() ? "the state kept by each"
                            : (std::to_string(changed.size()) + (changed.size() == 1 ? " kind" : " kinds") +
                               " of call changed it").c_str());
    out.figure("calls", calls);
    out.figure("changing_calls", static_cast<double>(changed.size()));
    for (const std::string& problem : changed) out.fail(problem + " and left it so");
}

void checkFpState(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    FpCalls calls;
    Random random(c.settings.seed);
    EventBatch batch;
    Audio inputs = makeSignal(Signal::noise, inputChannels(*p), 256, 48000.0);
    Audio outputs(static_cast<std::size_t>(outputChannels(*p)), std::vector<float>(256));
    std::vector<float*> inPointers, outPointers;
    for (auto& ch : inputs) inPointers.push_back(ch.data());
    for (auto& ch : outputs) outPointers.push_back(ch.data());
    const bool canAccumulate = p->effect()->process != nullptr;
    for (const FpState& host : FpCalls::kHostStates) {
        // Every call a host makes of the plug-in while it runs, each from the host's state.
        auto call = [&](const char* name, const std::function<void()>& body) { calls.call(host, name, body); };
        c.step("calls from the floating-point state MXCSR 0x%04x", host.mxcsr);
        call("effMainsChanged", [&] { p->suspend(); });
        call("effSetSampleRate", [&] { p->setSampleRate(48000.0f); });
        call("effSetBlockSize", [&] { p->setBlockSize(256); });
        call("effMainsChanged", [&] { p->resume(); });
        for (int round = 0; round < 16; ++round) {
            for (VstInt32 i = 0; i < p->numParams(); ++i) {
                call("setParameter", [&] { p->setParameter(i, random.uniform()); });
                call("getParameter", [&] { p->getParameter(i); });
                call("effGetParamDisplay", [&] { p->parameterDisplay(i); });
            }
            if (p->numPrograms() > 0) call("effSetProgram", [&] { p->setProgram(round % p->numPrograms()); });
            // Events fall inside the call that follows them, as a host times them.
            const VstInt32 n = 1 + random.below(256);
            batch.clear();
            for (int e = 0; e < 4; ++e) wellFormedEvent(batch, random, n);
            call("effProcessEvents", [&] { p->dispatch(effProcessEvents, 0, 0, batch.list()); });
            const bool accumulate = canAccumulate && round % 4 == 3;
            call(accumulate ? "process" : "processReplacing", [&] {
                if (accumulate)
                    p->process(inPointers.data(), outPointers.data(), n);
                else
                    p->processReplacing(inPointers.data(), outPointers.data(), n);
            });
        }
    }
    calls.judge(out);
}

void checkRateCost(Context& c, Outcome& out) {
    // The common rates and two odd ones. A plug-in may well be cheaper at high rates
    // (it oversamples less there); only a rate much dearer than the rest fails.
    static const double rates[] = {22050, 37800, 44100, 48000, 88200, 96000, 100003, 176400, 192000};
    constexpr double kLimit = 4.0;
    auto p = c.player(out);
    if (!p) return;
    c.step("calibrating");
    const int64_t frames = framesLasting(*p, c.settings.quick ? 0.003 : 0.01);
    const Audio in = makeSignal(Signal::noise, p->inputs, frames, 44100.0, 3);
    const Audio warmUp = makeSignal(Signal::noise, p->inputs, 1024, 44100.0, 4);
    const int rounds = c.settings.quick ? 3 : 5;
    std::vector<double> best;  // ns per frame, the least of the rounds, per rate
    double worst = INFINITY, typical = 0;
    std::size_t dearest = 0;
    // A dear rate shows in every round; a busy moment of the machine does not, so
    // each rate keeps its cheapest round, and a failing measurement is taken again.
    for (int attempt = 0; attempt < 2 && worst > kLimit; ++attempt) {
        best.assign(std::size(rates), INFINITY);
        for (int r = 0; r < rounds; ++r) {
            // The rates take turns, so that a busy stretch falls on all of them alike.
            for (std::size_t i = 0; i < std::size(rates); ++i) {
                c.step("timing round %d at %s", r + 1, rateText(rates[i]).c_str());
                if (!p->prepare(rates[i], 512)) return out.fail("refuses to be prepared for " + rateText(rates[i]));
                p->runBlocks(warmUp, 512);
                const double t = threadSeconds();
                p->runBlocks(in, 512);
                best[i] = std::min(best[i], (threadSeconds() - t) / static_cast<double>(frames) * 1e9);
            }
        }
        typical = median(best);
        const auto at = std::max_element(best.begin(), best.end());
        worst = *at / std::max(typical, 1e-3);
        dearest = static_cast<std::size_t>(at - best.begin());
    }
    std::string figures;
    for (std::size_t i = 0; i < std::size(rates); ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%s %.1f", i ? ", " : "", rateText(rates[i]).c_str(), best[i]);
        figures += text;
        out.figure("ns_per_frame_at_" + std::to_string(static_cast<long>(rates[i])), best[i]);
    }
    out.say("ns per frame at %s; the dearest, %s, %.2f times the median", figures.c_str(),
            rateText(rates[dearest]).c_str(), worst);
    out.figure("dearest_to_median", worst);
    if (worst > kLimit) {
        char text[160];
        std::snprintf(text, sizeof text, "processing at %s costs %.1f times the median per frame (more than %.0f)",
                      rateText(rates[dearest]).c_str(), worst, kLimit);
        out.fail(text);
    }
}

}  // namespace orvex::validate
