// Broken third-party plug-ins met by every command: the bare record made to lie (a
// null function, absurd counts, a wrong magic, output never written) must give a
// clear message and exit status 1 from `orvex info` and `orvex render`, in bounded
// time and memory and without a crash, and quick FAILs from `orvex validate`.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string kOrvex = ORVEX_BINARY_DIR "/tools/orvex/orvex";
const std::string kBare = ORVEX_BINARY_DIR "/tests/faulty-vst/bareeffect.so";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer reserves far more address space than any limit
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
    int status = -1;  // exit status, -1 when killed by a signal
    int signal = 0;
    std::string output;  // stdout and stderr together
    double seconds = 0;
    long maxResidentKb = 0;  // of the command and the processes it waited for
};

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// `orvex ARGS` with ORVEX_FAULT set to `fault`, its address space limited to 4 GiB
// and its time to `limit` seconds (then it and its checks are stopped), so that a
// command that grows without bound fails this test instead of taking the machine.
Outcome orvex(const std::string& fault, std::vector<std::string> args, double limit = 60) {
    Outcome run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (!kSanitized) {
            const rlimit space{4ul << 30, 4ul << 30};
            setrlimit(RLIMIT_AS, &space);
        }
        setenv("ORVEX_FAULT", fault.c_str(), 1);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        args.insert(args.begin(), kOrvex);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(kOrvex.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    bool stopped = false;
    char buffer[4096];
    for (;;) {
        const double left = start + limit - now();
        if (left <= 0) {
            // TERM first: the validator takes its running check down with it.
            kill(-pid, SIGTERM);
            sleep(1);
            kill(-pid, SIGKILL);
            stopped = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = now() - start;
    run.maxResidentKb = usage.ru_maxrss;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    if (stopped) run.output += "\n(stopped after " + std::to_string(limit) + " s)";
    return run;
}

// Half a second of stereo noise, 16-bit WAV at 44.1 kHz, named for the record: ctest
// runs the records side by side.
std::string noiseFile(const std::string& fault) {
    const std::string path = ::testing::TempDir() + "orvex-malformed-in-" + fault + ".wav";
    const uint32_t frames = 22050, bytes = frames * 4;
    std::ofstream file(path, std::ios::binary);
    auto word = [&](uint32_t v, int size) { file.write(reinterpret_cast<const char*>(&v), size); };
    file.write("RIFF", 4);
    word(36 + bytes, 4);
    file.write("WAVEfmt ", 8);
    word(16, 4), word(1, 2), word(2, 2), word(44100, 4), word(44100 * 4, 4), word(4, 2), word(16, 2);
    file.write("data", 4);
    word(bytes, 4);
    uint32_t state = 1;
    for (uint32_t i = 0; i < frames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        word((state >> 16) & 0x3FFFu, 2);
    }
    return path;
}

struct Malformed {
    const char* fault;     // the bare record's ORVEX_FAULT word
    const char* says;      // what info, render and load.open say; null: the record is sound
    const char* check;     // the validator's check that fails it
    const char* evidence;  // what that check says
};

void PrintTo(const Malformed& m, std::ostream* out) { *out << m.fault; }

class EachMalformedRecord : public ::testing::TestWithParam<Malformed> {};

TEST_P(EachMalformedRecord, EveryCommandRefusesItQuickly) {
    const Malformed& m = GetParam();
    constexpr double kSeconds = 10;
    constexpr long kResidentKb = 256 * 1024;
    auto bounded = [&](const Outcome& run, const std::string& what) {
        EXPECT_EQ(run.signal, 0) << what << " crashed:\n" << run.output;
        EXPECT_LT(run.seconds, kSeconds) << what << "\n" << run.output;
        EXPECT_LT(run.maxResidentKb, kResidentKb) << what << "\n" << run.output;
    };

    const Outcome info = orvex(m.fault, {"info", kBare});
    bounded(info, "info");
    if (m.says) {
        EXPECT_EQ(info.status, 1) << info.output;
        EXPECT_NE(info.output.find(m.says), std::string::npos) << info.output;
        EXPECT_NE(info.output.find("orvex info: " + kBare), std::string::npos) << info.output;
    } else {
        EXPECT_EQ(info.status, 0) << info.output;
    }

    const std::string out = ::testing::TempDir() + "orvex-malformed-out-" + m.fault + ".wav";
    std::remove(out.c_str());
    const Outcome render = orvex(m.fault, {"render", kBare, noiseFile(m.fault), out, "--quiet"});
    bounded(render, "render");
    EXPECT_EQ(render.status, 1) << render.output;
    EXPECT_NE(render.output.find(m.says ? m.says : "did not write its outputs"), std::string::npos) << render.output;
    struct stat left {};
    EXPECT_NE(stat(out.c_str(), &left), 0) << "render left " << out;

    const Outcome check = orvex(m.fault, {"validate", "--alone", "--quick", "--timeout", "20", kBare});
    EXPECT_EQ(check.signal, 0) << check.output;
    EXPECT_LT(check.seconds, m.says ? kSeconds : 30) << check.output;
    EXPECT_EQ(check.status, 1) << check.output;
    EXPECT_NE(check.output.find("FAIL  " + std::string(m.check) + " "), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(m.evidence), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find("PASS  process."), std::string::npos) << check.output;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EachMalformedRecord,
    ::testing::Values(Malformed{"null-dispatcher", "the record has no dispatcher", "load.open", "no dispatcher"},
                      Malformed{"null-process", "effFlagsCanReplacing is set but processReplacing is null",
                                "load.open", "processReplacing is null"},
                      Malformed{"many-parameters", "1073741824 parameters", "load.open", "1073741824 parameters"},
                      Malformed{"many-channels", "1048576 inputs", "load.open", "1048576 outputs"},
                      Malformed{"bad-magic", "bad magic 0x56737451", "load.open", "bad magic"},
                      Malformed{"writes-nothing", nullptr, "process.grid", "unwritten output samples"}),
    [](const ::testing::TestParamInfo<Malformed>& info) {
        std::string name = info.param.fault;
        for (char& c : name)
            if (c == '-') c = '_';
        return name;
    });

}  // namespace
