// Watching what a plug-in does inside its processing calls: allocations and locks are
// counted by allocator and pthread functions that the `orvex` executable puts in front
// of the C library's (rtwatch_interpose.cpp), system calls by a seccomp filter on the
// thread that processes. Only what happens on a watching thread between `begin` and
// `end` counts, and never what the host's own callback does meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

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

}  // namespace orvex::validate::rt
