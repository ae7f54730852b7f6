#include "rtwatch.h"

#include <dlfcn.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <thread>

#include "check.h"
#include "harness.h"

namespace orvex::validate::rt {

namespace {

std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> frees{0};
std::atomic<uint64_t> locks{0};
std::atomic<bool> interposerPresent{false};

// Plain thread-locals: the interposed allocator reads them, so they must never
// allocate (initial-exec TLS of the executable does not).
thread_local bool watching = false;
thread_local int paused = 0;

// The system calls of the watched thread, counted by the supervising thread while the
// watched one is blocked in the call, so no more than one writer at a time.
std::atomic<bool> syscallWatch{false};
uint64_t syscallTotal = 0;
uint64_t runtimeTotal = 0;
std::array<uint32_t, 512> syscallNumbers{};

// Where a sanitizer runtime's code lies in this process, read before watching so that
// the supervisor needs no lock to tell its calls apart.
struct Range {
    uint64_t from, to;
};
std::array<Range, 32> runtimeCode{};
std::size_t runtimeRanges = 0;

void findRuntimeCode() {
    runtimeRanges = 0;
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps) return;
    char line[1024];
    while (std::fgets(line, sizeof line, maps) && runtimeRanges < runtimeCode.size()) {
        unsigned long long from = 0, to = 0;
        char permissions[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s", &from, &to, permissions) != 3 || permissions[2] != 'x') continue;
        if (std::strstr(line, "/libasan") || std::strstr(line, "/libubsan") || std::strstr(line, "/liblsan") ||
            std::strstr(line, "/libtsan"))
            runtimeCode[runtimeRanges++] = {from, to};
    }
    std::fclose(maps);
}

bool inRuntime(uint64_t address) {
    for (std::size_t i = 0; i < runtimeRanges; ++i)
        if (address >= runtimeCode[i].from && address < runtimeCode[i].to) return true;
    return false;
}

bool counting() { return watching && paused == 0; }

}  // namespace

void begin() {
    watching = true;
    syscallWatch.store(paused == 0, std::memory_order_relaxed);
}

void end() {
    syscallWatch.store(false, std::memory_order_relaxed);
    watching = false;
}

void pauseForHost() {
    ++paused;
    if (watching) syscallWatch.store(false, std::memory_order_relaxed);
}

void resumeAfterHost() {
    if (paused > 0) --paused;
    if (watching && paused == 0) syscallWatch.store(true, std::memory_order_relaxed);
}

void noteAllocation() {
    if (counting()) allocations.fetch_add(1, std::memory_order_relaxed);
}
void noteFree() {
    if (counting()) frees.fetch_add(1, std::memory_order_relaxed);
}
void noteLock() {
    if (counting()) locks.fetch_add(1, std::memory_order_relaxed);
}
bool interposed() { return interposerPresent.load(); }
void markInterposed() { interposerPresent.store(true); }

Counts counts() {
    Counts c;
    c.allocations = allocations.load();
    c.frees = frees.load();
    c.locks = locks.load();
    c.syscalls = syscallTotal;
    c.runtimeSyscalls = runtimeTotal;
    c.bySyscall = syscallNumbers;
    return c;
}

void reset() {
    allocations = 0;
    frees = 0;
    locks = 0;
    syscallTotal = 0;
    runtimeTotal = 0;
    syscallNumbers.fill(0);
}

bool runWatched(const std::function<void()>& body, std::string& problem) {
    // The watched thread installs the filter on itself and then waits, without a
    // system call, until this thread listens.
    findRuntimeCode();
    std::atomic<int> listener{-1};
    std::atomic<bool> listening{false};
    std::atomic<int> failure{0};
    std::thread watched([&] {
        int fd = -1;
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
            failure = errno;
        } else {
            sock_filter filter[] = {BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF)};
            sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
            fd = static_cast<int>(
                syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program));
            if (fd < 0) failure = errno;
        }
        listener.store(fd < 0 ? -2 : fd);
        if (fd >= 0)
            while (!listening.load()) {
            }
        body();
    });
    while (listener.load() == -1) std::this_thread::yield();
    const int fd = listener.load();
    if (fd < 0) {
        watched.join();
        problem = std::string("the kernel refused a seccomp listener: ") + std::strerror(failure.load());
        return false;
    }
    listening = true;
    // Nothing in this loop may allocate or lock: the watched thread may be stopped in
    // a system call inside the allocator.
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 1000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        if (ready < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
        seccomp_notif request;
        std::memset(&request, 0, sizeof request);
        if (ioctl(fd, SECCOMP_IOCTL_NOTIF_RECV, &request) != 0) {
            if (errno == EINTR || errno == ENOENT) continue;
            break;
        }
        if (syscallWatch.load(std::memory_order_relaxed) && inRuntime(request.data.instruction_pointer)) {
            ++runtimeTotal;
        } else if (syscallWatch.load(std::memory_order_relaxed)) {
            ++syscallTotal;
            if (request.data.nr >= 0 && request.data.nr < static_cast<int>(syscallNumbers.size()))
                ++syscallNumbers[static_cast<std::size_t>(request.data.nr)];
        }
        seccomp_notif_resp response;
        std::memset(&response, 0, sizeof response);
        response.id = request.id;
        response.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
        ioctl(fd, SECCOMP_IOCTL_NOTIF_SEND, &response);
    }
    watched.join();
    close(fd);
    return true;
}

std::string syscallName(int number) {
    static const std::pair<int, const char*> names[] = {
        {SYS_read, "read"}, {SYS_write, "write"}, {SYS_open, "open"}, {SYS_close, "close"},
        {SYS_stat, "stat"}, {SYS_fstat, "fstat"}, {SYS_poll, "poll"}, {SYS_lseek, "lseek"},
        {SYS_mmap, "mmap"}, {SYS_mprotect, "mprotect"}, {SYS_munmap, "munmap"}, {SYS_brk, "brk"},
        {SYS_rt_sigaction, "rt_sigaction"}, {SYS_rt_sigprocmask, "rt_sigprocmask"}, {SYS_ioctl, "ioctl"},
        {SYS_writev, "writev"}, {SYS_access, "access"}, {SYS_sched_yield, "sched_yield"},
        {SYS_mremap, "mremap"}, {SYS_madvise, "madvise"}, {SYS_nanosleep, "nanosleep"},
        {SYS_getpid, "getpid"}, {SYS_socket, "socket"}, {SYS_sendto, "sendto"}, {SYS_recvfrom, "recvfrom"},
        {SYS_getppid, "getppid"}, {SYS_gettid, "gettid"}, {SYS_futex, "futex"},
        {SYS_clock_gettime, "clock_gettime"}, {SYS_clock_nanosleep, "clock_nanosleep"},
        {SYS_openat, "openat"}, {SYS_newfstatat, "newfstatat"}, {SYS_getrandom, "getrandom"},
        {SYS_statx, "statx"}, {SYS_gettimeofday, "gettimeofday"}, {SYS_select, "select"},
        {SYS_sched_getaffinity, "sched_getaffinity"}, {SYS_eventfd2, "eventfd2"},
    };
    for (const auto& [n, name] : names)
        if (n == number) return name;
    return "#" + std::to_string(number);
}

SelfTest selfTest() {
    auto allocate = reinterpret_cast<void* (*)(std::size_t)>(dlsym(RTLD_DEFAULT, "malloc"));
    auto release = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "free"));
    auto lock = reinterpret_cast<int (*)(pthread_mutex_t*)>(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"));
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    reset();
    begin();
    if (allocate && release) release(allocate(16));
    if (lock) lock(&mutex);
    syscall(SYS_getppid);
    end();
    pthread_mutex_unlock(&mutex);
    const Counts test = counts();
    reset();
    return {test.allocations >= 1, test.locks >= 1, test.syscalls};
}

bool countable(const SelfTest& test, Outcome& out) {
    if (interposed() && test.allocations) return true;
    out.skip("allocations cannot be counted in this process (the allocator is not interposed)", SkipCause::machine);
    return false;
}

void judge(const SelfTest& test, bool watched, const std::string& problem, const std::string& first,
           const std::string& calls, Outcome& out) {
    const Counts counts = rt::counts();
    out.say("%llu allocations, %llu frees, %llu locks", static_cast<unsigned long long>(counts.allocations),
            static_cast<unsigned long long>(counts.frees), static_cast<unsigned long long>(counts.locks));
    const bool syscallsCounted = watched && test.syscalls >= 1;
    if (syscallsCounted) {
        std::string names;
        for (std::size_t n = 0; n < counts.bySyscall.size(); ++n)
            if (counts.bySyscall[n])
                names += (names.empty() ? "" : ", ") + syscallName(static_cast<int>(n)) + " x" +
                         std::to_string(counts.bySyscall[n]);
        out.say("%llu system calls%s%s%s", static_cast<unsigned long long>(counts.syscalls), names.empty() ? "" : " (",
                names.c_str(), names.empty() ? "" : ")");
        if (counts.runtimeSyscalls)
            out.say("%llu more by the sanitizer runtime, not counted",
                    static_cast<unsigned long long>(counts.runtimeSyscalls));
        if (counts.syscalls) out.fail(std::to_string(counts.syscalls) + " system calls inside " + calls + ": " + names);
    } else {
        out.say("system calls not counted (%s)", watched ? "the filter saw no test call" : problem.c_str());
    }
    if (!test.locks) out.say("locks not counted (pthread functions not interposed)");
    if (!first.empty()) out.say("%s", first.c_str());
    out.figure("allocations", static_cast<double>(counts.allocations));
    out.figure("frees", static_cast<double>(counts.frees));
    out.figure("locks", static_cast<double>(counts.locks));
    out.figure("syscalls", syscallsCounted ? static_cast<double>(counts.syscalls) : NAN);
    if (counts.allocations) out.fail(std::to_string(counts.allocations) + " allocations inside " + calls);
    if (counts.frees) out.fail(std::to_string(counts.frees) + " frees inside " + calls);
    if (counts.locks) out.fail(std::to_string(counts.locks) + " lock calls inside " + calls);
}

void FirstBreach::note(int call, const Counts& before, const Counts& after,
                       std::initializer_list<std::pair<bool, const char*>> changes) {
    if (first >= 0 || (after.allocations == before.allocations && after.frees == before.frees &&
                       after.locks == before.locks && after.syscalls == before.syscalls))
        return;
    first = call;
    for (const auto& [made, what] : changes)
        if (made) changed += (changed.empty() ? "" : ", ") + std::string(what);
    if (changed.empty()) changed = "nothing";
}

std::string FirstBreach::where(const char* unit, const char* verb) const {
    if (first < 0) return {};
    return "the first in " + std::string(unit) + " " + std::to_string(first + 1) + ", the host having " + verb + " " +
           changed + " before it";
}

bool watchPasses(SelfTest& test, std::string& problem, const std::function<void(bool counted)>& pass) {
    return runWatched(
        [&] {
            test = selfTest();
            for (int round = kSanitized ? 0 : 1; round < 2; ++round) pass(round == 1);
        },
        problem);
}

}  // namespace orvex::validate::rt
