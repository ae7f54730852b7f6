// Watching what a plug-in does inside its processing calls: allocations and locks are
// counted by allocator and pthread functions that the `orvex` executable puts in front
// of the C library's (rtwatch_interpose.cpp), system calls by a seccomp filter on the
// thread that processes. Only what happens on a watching thread between `begin` and
// `end` counts, and never what the host's own callback does meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

namespace orvex::validate {
struct Outcome;
}

namespace orvex::validate::rt {

struct Counts {
    uint64_t allocations = 0;  // malloc, calloc, realloc, aligned forms (operator new lands here)
    uint64_t frees = 0;
    uint64_t locks = 0;        // mutex, rwlock, spin lock and semaphore calls
    uint64_t syscalls = 0;
    // Made by a sanitizer's runtime (its own checks), told apart by where the call
    // came from, and not the plug-in's doing.
    uint64_t runtimeSyscalls = 0;
    std::array<uint32_t, 512> bySyscall{};
};

// The calling thread counts from `begin` to `end`.
void begin();
void end();
// Around the host's callback: what the host does is not the plug-in's doing.
void pauseForHost();
void resumeAfterHost();

Counts counts();
void reset();

// Called by the interposed functions (any thread, never allocating).
void noteAllocation();
void noteFree();
void noteLock();
// Whether the interposed functions are in this process at all.
bool interposed();
void markInterposed();

// Runs `body` on a new thread whose system calls are counted while it counts (see
// begin/end). False, with the reason, when the kernel refuses the filter; `body` has
// then run on an unwatched thread.
bool runWatched(const std::function<void()>& body, std::string& problem);

// A name for a system call number of this machine ("futex"), or "#N".
std::string syscallName(int number);

// Proof that each kind of counting works on the calling watched thread, made before
// anything is judged: an allocation, a lock and a system call of its own, through the
// functions as a plug-in loaded later binds to them. Leaves the counts reset.
struct SelfTest {
    bool allocations = false;
    bool locks = false;
    uint64_t syscalls = 0;
};
SelfTest selfTest();
// The calls of a check on a watched thread (runWatched), after the counters' self-test
// (`test`): `pass` runs once, counted; in a sanitized build twice, the first time not
// counted, as a sanitizer's runtime does work of its own (pipes, writes to probe
// memory) the first time it checks a type. False, with the reason, as runWatched.
bool watchPasses(SelfTest& test, std::string& problem, const std::function<void(bool counted)>& pass);

// False, with the check skipped for this machine's sake, when allocations cannot be
// counted here.
bool countable(const SelfTest& test, orvex::validate::Outcome& out);
// The first watched call that allocated, freed, locked or made a system call, and what
// the host changed before it, for the report. The watching thread's.
class FirstBreach {
public:
    // After call `call` (from 0), with the counts around it and each change the host
    // made before it with whether it made it.
    void note(int call, const Counts& before, const Counts& after,
              std::initializer_list<std::pair<bool, const char*>> changes);
    // "the first in call 3, the host having changed MIDI before it" (`unit` "call",
    // `verb` "changed"), or "" when no call broke a rule.
    std::string where(const char* unit, const char* verb) const;

private:
    int first = -1;
    std::string changed;
};

// The counts since the last reset, in the report of a check that watched `calls`
// ("the processing calls"): figures, what was not counted and why, and a failure per
// kind found; `first` says where the first was found (empty: nowhere).
void judge(const SelfTest& test, bool watched, const std::string& problem, const std::string& first,
           const std::string& calls, orvex::validate::Outcome& out);

}  // namespace orvex::validate::rt
