// What the host does around the audio: a second thread changing parameters and
// programs, time information of every kind, random MIDI, and real-time safety of the
// processing calls themselves.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cmath>
#include <cstring>
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

}  // namespace

void checkParameterThreads(Context& c, Outcome& out) {
    constexpr int kRounds = 500, kBlocks = 500, kFrames = 32;
    auto p = c.started(out);
    if (!p) return;
    const Audio in = makeSignal(Signal::noise, inputChannels(*p), kFrames, 44100.0);
    Audio output = in;
    output.resize(static_cast<std::size_t>(outputChannels(*p)), in[0]);
    std::vector<float*> ins, outs;
    Audio inCopy = in;
    for (auto& ch : inCopy) ins.push_back(ch.data());
    for (auto& ch : output) outs.push_back(ch.data());
    std::atomic<bool> go{false};
    std::atomic<int> blocksDuring{0};
    std::atomic<bool> uiDone{false};
    const VstInt32 params = p->numParams(), programs = p->numPrograms();
    c.step("a second thread setting parameters and programs while this one processes");
    std::thread ui([&] {
        Random random(c.settings.seed);
        while (!go.load()) {
        }
        for (int r = 0; r < kRounds; ++r) {
            for (VstInt32 i = 0; i < params; ++i) p->setParameter(i, random.uniform());
            if (programs > 0) p->setProgram(r % programs);
        }
        uiDone = true;
    });
    Scan scan;
    go = true;
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t ch = 0; ch < in.size(); ++ch) inCopy[ch] = in[ch];
        p->processReplacing(ins.data(), outs.data(), kFrames);
        if (!uiDone.load()) ++blocksDuring;
        for (const auto& ch : output) scan.add(ch.data(), kFrames);
    }
    ui.join();
    if (!scan.clean()) out.fail(scan.describe() + " output samples while parameters changed on another thread");
    out.say("%d rounds of %d parameters%s on a second thread, %d blocks of %d, %d of them while it ran: output %s",
            kRounds, params, programs > 0 ? " and a program" : "", kBlocks, kFrames, blocksDuring.load(),
            scan.describe().c_str());
    out.figure("blocks_during", blocksDuring.load());
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
    auto p = c.started(out);
    if (!p) return;
    vsthost::setCallbackHooks({rt::pauseForHost, rt::resumeAfterHost});

    // Everything the watched thread hands the plug-in is made before the calls.
    const int ins = inputChannels(*p), outs = outputChannels(*p);
    Audio inputs = makeSignal(Signal::noise, ins, 1024, 44100.0);
    Audio outputs(static_cast<std::size_t>(outs), std::vector<float>(1024));
    std::vector<float*> inPointers, outPointers;
    for (auto& ch : inputs) inPointers.push_back(ch.data());
    for (auto& ch : outputs) outPointers.push_back(ch.data());
    EventBatch batch;
    Random random(c.settings.seed);
    const int lengths[] = {512, 1, 17, 64, 512, 1024, 333};
    int calls = 0;
    bool selfTestAllocations = false, selfTestLocks = false;
    uint64_t selfTestSyscalls = 0;
    AEffect* effect = p->effect();
    const bool canAccumulate = effect->process != nullptr;

    std::string problem;
    const bool watched = rt::runWatched(
        [&] {
            // Proof that each kind of counting works here, before anything is judged:
            // the functions as a plug-in loaded later binds to them.
            auto allocate = reinterpret_cast<void* (*)(std::size_t)>(dlsym(RTLD_DEFAULT, "malloc"));
            auto release = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "free"));
            auto lock = reinterpret_cast<int (*)(pthread_mutex_t*)>(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"));
            pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
            rt::reset();
            rt::begin();
            if (allocate && release) release(allocate(16));
            if (lock) lock(&mutex);
            syscall(SYS_getppid);
            rt::end();
            pthread_mutex_unlock(&mutex);
            const rt::Counts test = rt::counts();
            selfTestAllocations = test.allocations >= 1;
            selfTestLocks = test.locks >= 1;
            selfTestSyscalls = test.syscalls;
            rt::reset();

            // A sanitizer's runtime does work of its own the first time it checks a
            // type (pipes and writes to probe memory): in such a build one pass runs
            // unwatched first. Release builds count from the first call after resume.
            constexpr int kCalls = 40;
            for (int pass = kSanitized ? 0 : 1; pass < 2; ++pass) {
                for (int round = 0; round < kCalls; ++round) {
                    const bool counted = pass == 1;
                    const int n = lengths[round % std::size(lengths)];
                    // Between calls, as a host's automation and MIDI arrive; the event list
                    // is handed over inside the watched region, as processEvents belongs to it.
                    if (round % 5 == 1)
                        for (VstInt32 i = 0; i < p->numParams(); ++i) p->setParameter(i, random.uniform());
                    batch.clear();
                    for (int e = 0; e < 8; ++e) wellFormedEvent(batch, random, n);
                    VstEvents* list = batch.list();
                    if (counted) rt::begin();
                    effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
                    if (canAccumulate && round % 4 == 3)
                        effect->process(effect, inPointers.data(), outPointers.data(), n);
                    else
                        effect->processReplacing(effect, inPointers.data(), outPointers.data(), n);
                    rt::end();
                    calls += counted;
                }
            }
        },
        problem);
    vsthost::setCallbackHooks({});
    const rt::Counts counts = rt::counts();
    if (!rt::interposed() || !selfTestAllocations) {
        return out.skip("allocations cannot be counted in this process (the allocator is not interposed)",
                        SkipCause::machine);
    }
    out.say("%d processing calls with events: %llu allocations, %llu frees, %llu locks", calls,
            static_cast<unsigned long long>(counts.allocations), static_cast<unsigned long long>(counts.frees),
            static_cast<unsigned long long>(counts.locks));
    const bool syscallsCounted = watched && selfTestSyscalls >= 1;
    if (syscallsCounted) {
        std::string names;
        for (std::size_t n = 0; n < counts.bySyscall.size(); ++n)
            if (counts.bySyscall[n])
                names += (names.empty() ? "" : ", ") + rt::syscallName(static_cast<int>(n)) + " x" +
                         std::to_string(counts.bySyscall[n]);
        out.say("%llu system calls%s%s%s", static_cast<unsigned long long>(counts.syscalls), names.empty() ? "" : " (",
                names.c_str(), names.empty() ? "" : ")");
        if (counts.runtimeSyscalls)
            out.say("%llu more by the sanitizer runtime, not counted",
                    static_cast<unsigned long long>(counts.runtimeSyscalls));
        if (counts.syscalls) out.fail(std::to_string(counts.syscalls) + " system calls inside the processing calls: " + names);
    } else {
        out.say("system calls not counted (%s)", watched ? "the filter saw no test call" : problem.c_str());
    }
    if (!selfTestLocks) out.say("locks not counted (pthread functions not interposed)");
    out.figure("calls", calls);
    out.figure("allocations", static_cast<double>(counts.allocations));
    out.figure("frees", static_cast<double>(counts.frees));
    out.figure("locks", static_cast<double>(counts.locks));
    out.figure("syscalls", syscallsCounted ? static_cast<double>(counts.syscalls) : NAN);
    if (counts.allocations) out.fail(std::to_string(counts.allocations) + " allocations inside the processing calls");
    if (counts.frees) out.fail(std::to_string(counts.frees) + " frees inside the processing calls");
    if (counts.locks) out.fail(std::to_string(counts.locks) + " lock calls inside the processing calls");
}

}  // namespace orvex::validate
