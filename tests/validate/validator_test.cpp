// `orvex validate` judged: run as a user runs it, on a plug-in whose faults are
// switched on one at a time, every check has to fail when its fault is there and pass
// when it is not; the report keeps its form and its exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string kOrvex = ORVEX_BINARY_DIR "/tools/orvex/orvex";
const std::string kFaulty = ORVEX_BINARY_DIR "/tests/faulty-vst/faultyeffect.vst/Contents/x86_64-linux/faultyeffect.so";
const std::string kBare = ORVEX_BINARY_DIR "/tests/faulty-vst/bareeffect.so";
const std::string kFaultyClap = ORVEX_BINARY_DIR "/tests/faulty-clap/faultyclap.clap";
// The LV2 test gain's URI, and LV2_PATH naming the folder of its bundle.
const std::string kFaultyLv2 = "urn:harmoxel:orvex:test:faulty";
const std::string kFaultyLv2Path = "LV2_PATH=" ORVEX_BINARY_DIR "/tests/faulty-lv2";

struct Result {
    int status = -1;
    std::string output;
};

// `orvex validate ARGS` with ORVEX_FAULT set to `faults` and the environment
// `settings` ("NAME=VALUE ..."), stdout and stderr together.
Result validate(const std::string& faults, const std::string& args, const std::string& settings = "") {
    const std::string command =
        settings + " ORVEX_FAULT='" + faults + "' '" + kOrvex + "' validate --alone " + args + " 2>&1";
    Result run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The status word of a check's line in the report ("PASS", "FAIL", "SKIP"), or "".
std::string statusOf(const std::string& report, const std::string& check) {
    for (const char* word : {"PASS", "FAIL", "SKIP"}) {
        const std::string line = std::string(word) + "  " + check + " ";
        if (report.find(line) != std::string::npos) return word;
    }
    return "";
}

struct Fault {
    const char* faults;    // ORVEX_FAULT
    const char* check;     // the check that must fail
    const char* evidence;  // what its report must say
    const char* never = nullptr;  // what the same report must not say
};

class EachFault : public ::testing::TestWithParam<Fault> {};

TEST_P(EachFault, FailsItsCheckAndSaysWhy) {
    const Fault& f = GetParam();
    // A hang shows within 5 s; the other rows get room for a busy machine, where a
    // timing check of a many-times slower effect may take longer than that.
    const char* timeout = std::string_view(f.evidence).starts_with("hung") ? "5" : "60";
    const Result run = validate(f.faults, "--quick --timeout " + std::string(timeout) + " --only " + std::string(f.check) +
                                              " '" + kFaulty + "'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(statusOf(run.output, f.check), "FAIL") << run.output;
    EXPECT_NE(run.output.find(f.evidence), std::string::npos) << run.output;
    if (f.never) {
        EXPECT_EQ(run.output.find(f.never), std::string::npos) << run.output;
    }
}

const Fault kFaults[] = {
    Fault{"", "load.exports", "orvexFaultyExtra"},
    Fault{"shared-state", "load.cycles", "state outlives its instance", "all 40 instances sound alike"},
    Fault{"shared-state", "load.side-by-side", "sounds different beside the others"},
    Fault{"high-rates", "process.grid", "at 384000 Hz"},
    Fault{"subnormal-out", "process.grid", "subnormal output samples"},
    Fault{"high-rates", "process.rate-change", "192000 Hz without suspend"},
    Fault{"per-call", "process.block-split", "random lengths sound different"},
    Fault{"block-memory", "process.block-split", "twice the announced block size sound different"},
    Fault{"latency-unapplied", "process.latency", "before the reported delay of 256"},
    Fault{"adds-output", "process.buffers", "outputs holding old audio sounds different from a clean run"},
    Fault{"in-place-unsafe", "process.buffers", "processing in place sounds different from a clean run"},
    Fault{"process-replaces", "process.buffers", "process does not add to what the outputs held"},
    Fault{"writes-input", "process.buffers", "writes to its inputs when not processing in place"},
    Fault{"overrun", "process.buffers", "writes past the end of its buffers"},
    Fault{"unbounded", "input.extreme", "+1e6 DC: 4096 infinite output samples"},
    Fault{"poison", "input.non-finite", "still not finite"},
    Fault{"silent-after-nan", "input.non-finite", "does not answer its input as a fresh instance's does: silent"},
    Fault{"slow-subnormal", "input.subnormal", "more than 1.2 times slower"},
    Fault{"nan-at-one", "params.extremes", "non-finite output with every parameter at 1"},
    Fault{"glide-by-zero", "params.random", "non-finite output with random parameters"},
    Fault{"crash-on-nan", "params.invalid", "crashed"},
    Fault{"long-program-name", "params.programs", "a host's buffer holds 23"},
    Fault{"long-display", "params.text", "more than 24 bytes with its terminator"},
    Fault{"quantise", "params.readback", "read back 0.125"},
    Fault{"readback-5ulps", "params.readback", "set 0, read back 2.98023224e-07"},
    Fault{"restore-order", "params.restore", "restored as 0"},
    Fault{"restore-unheard", "params.restore", "sounds unlike an instance given the same values while running"},
    Fault{"tempo-gain", "time.info", "against -6.0 dBFS with a steady transport"},
    Fault{"hang-on-sysex", "midi.random", "hung: no result within 5 s"},
    Fault{"alloc", "realtime.process", "allocations inside the processing calls"},
    Fault{"lock", "realtime.process", "lock calls inside the processing calls"},
    Fault{"syscall", "realtime.process", "getppid"},
    Fault{"alloc-sometimes", "realtime.process", "allocations inside the processing calls"},
    Fault{"alloc-on-change", "realtime.process", "allocations inside the processing calls"},
    Fault{"libc-malloc", "realtime.process", "1000 allocations inside the processing calls"},
    Fault{"nan-moment", "threads.parameters", "NaN output samples while parameters changed on another thread"},
    Fault{"fpu-mode", "realtime.fp-state",
          "processReplacing changed MXCSR 0x1f80 to 0x7f80 (rounding towards zero instead of to nearest)"},
    Fault{"slow-rate", "realtime.rate-cost", "processing at 48000 Hz costs"},
    Fault{"editor-norect", "editor.rect", "gives no rectangle"},
    Fault{"editor-stays", "editor.rect", "still inside the host's after effEditClose"},
    Fault{"editor-leak", "editor.cycles", "the editor leaks"},
    Fault{"editor-stays", "editor.close-open", "outlives the plug-in"},
    Fault{"editor-oversize", "editor.rect", "reaches outside the 200 x 120 rectangle"},
    Fault{"editor-pixmap-leak", "editor.cycles", "pixmaps in the X server grow by"},
    Fault{"editor-meter-nan", "editor.while-processing", "NaN output samples while the editor opened and closed"},
    // A sanitizer build names the crash its own way.
    Fault{"editor-idle-after-close", "editor.after-close", "during: effEditIdle and effEditClose after the editor closed"},
};

// A test's name: the check and the fault.
std::string faultName(const ::testing::TestParamInfo<Fault>& info) {
    std::string name = std::string(info.param.check) + "_" + (*info.param.faults ? info.param.faults : "none");
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Validator, EachFault, ::testing::ValuesIn(kFaults), faultName);

// The CLAP checks, each on the CLAP test gain with the fault that breaks its rule.
const Fault kClapFaults[] = {
    Fault{"", "load.exports", "symbols beyond clap_entry"},
    Fault{"init", "load.open", "failed its init"},
    Fault{"mono", "load.open", "no stereo main input and output port"},
    Fault{"no-category", "clap.factory", "name no main category"},
    Fault{"any-id", "clap.factory", "gives a plug-in for an id the factory does not have"},
    Fault{"shared-state", "load.cycles", "state outlives its instance"},
    Fault{"shared-state", "load.side-by-side", "sounds different beside the others"},
    Fault{"high-rates", "process.grid", "at 384000 Hz"},
    Fault{"first-rate", "clap.lifecycle", "sounds unlike a fresh instance at that rate"},
    Fault{"start-once", "clap.lifecycle", "start_processing refused"},
    Fault{"per-call", "process.block-split", "calls of random lengths sound different"},
    Fault{"adds-output", "process.buffers", "outputs holding old audio sounds different from a clean run"},
    Fault{"in-place-unsafe", "process.buffers", "processing in place sounds different from a clean run"},
    Fault{"writes-input", "process.buffers", "writes to its inputs when not processing in place"},
    Fault{"overrun", "process.buffers", "writes past the end of its buffers"},
    Fault{"unbounded", "input.extreme", "+1e6 DC: 8192 infinite output samples"},
    Fault{"poison", "input.non-finite", "still not finite"},
    Fault{"nan-at-max", "params.extremes", "non-finite output with every parameter at its maximum"},
    Fault{"glide-by-zero", "params.random", "non-finite output with random parameters"},
    Fault{"text-off", "params.text", "(the text of 0.25) reads back as 0.22"},
    Fault{"quantise", "params.readback", "read back 0.5"},
    Fault{"flush-ignored", "clap.flush", "after flush while inactive, \"Gain\""},
    Fault{"flush-unheard", "clap.flush", "are not heard in the next blocks"},
    Fault{"bad-out-event", "clap.flush", "sets parameter id 99, which the plug-in does not have"},
    Fault{"state-one-read", "clap.state", "refuses the state just saved (20 bytes) from a stream giving one byte a call"},
    Fault{"state-lossy", "clap.state", "restored, \"Gain\" reads"},
    Fault{"state-half-load", "clap.state-garbage", "refused cut to 19 bytes, yet \"Gain\" changed"},
    Fault{"tempo-gain", "time.info", "against -6.0 dBFS with a steady transport"},
    // A sanitizer build names the crash its own way.
    Fault{"crash-on-sysex", "midi.random", "crashed"},
    Fault{"alloc", "realtime.process", "allocations inside process, flush"},
    Fault{"lock", "realtime.process", "lock calls inside process, flush"},
    Fault{"dirty-from-audio", "clap.threads", "mark_dirty (main thread only) from the audio thread inside process"},
    Fault{"flush-request-from-audio", "clap.threads", "request_flush (any thread but audio) from the audio thread"},
    Fault{"gui-stays", "editor.cycles", "windows left inside the host's after 50 cycles"},
    Fault{"gui-no-scale", "clap.gui-size", "at scale 2, 200 x 120 at scale 1: not twice the size"},
    Fault{"gui-resize-lies", "clap.gui-size", "can_resize says yes, the resize hints say it cannot"},
    Fault{"gui-meter-nan", "editor.while-processing", "NaN output samples while the editor opened and closed"},
    Fault{"slow-subnormal", "input.subnormal", "more than 1.2 times slower"},
    Fault{"slow-rate", "realtime.rate-cost", "processing at 48000 Hz costs"},
    Fault{"fpu-mode", "realtime.fp-state", "process changed MXCSR 0x1f80 to 0x7f80 (rounding towards zero"},
    Fault{"needs-log", "load.no-host", "for a host whose get_extension answers null: init refused"},
    Fault{"takes-nan", "params.invalid", "parameter \"Gain\" sent NaN reads back nan"},
    Fault{"preset-unheard", "params.programs", "preset \"Quiet\" changed the values, and the host heard nothing"},
    Fault{"latency-lies", "process.latency", "before the reported latency of 256"},
    Fault{"torn-read", "threads.parameters", "read nan while the audio thread changed it"},
    Fault{"gui-parent-gone", "editor.close-open", "crashed"},
    Fault{"gui-destroy-twice", "editor.after-close", "crashed"},
};

class EachClapFault : public ::testing::TestWithParam<Fault> {};

TEST_P(EachClapFault, FailsItsCheckAndSaysWhy) {
    const Fault& f = GetParam();
    const Result run = validate(f.faults, "--quick --timeout 60 --only " + std::string(f.check) + " '" + kFaultyClap + "'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(statusOf(run.output, f.check), "FAIL") << run.output;
    EXPECT_NE(run.output.find(f.evidence), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(ClapValidator, EachClapFault, ::testing::ValuesIn(kClapFaults), faultName);

// The LV2 checks, each on the LV2 test gain with the fault that breaks its rule.
const Fault kLv2Faults[] = {
    Fault{"no-instance", "load.open", "urn:harmoxel:orvex:test:faulty did not instantiate"},
    Fault{"high-rates", "process.grid", "at 384000 Hz"},
    Fault{"per-call", "process.block-split", "runs of random lengths sound different from one long run"},
    Fault{"unbounded", "input.extreme", "+1e6 DC: 8192 infinite output samples"},
    Fault{"poison", "input.non-finite", "still not finite"},
    Fault{"nan-at-max", "params.extremes", "non-finite output with every control input at its maximum"},
    Fault{"glide-by-zero", "params.random", "non-finite output with random control values"},
    Fault{"tempo-gain", "time.info", "against -6.0 dBFS with a steady transport"},
    // A sanitizer build names the crash its own way.
    Fault{"crash-on-sysex", "midi.random", "crashed"},
    Fault{"alloc", "realtime.process", "allocations inside run"},
    Fault{"lock", "realtime.process", "lock calls inside run"},
    Fault{"state-lossy", "lv2.state", "restored into a fresh instance, it sounds unlike the instance it was saved from"},
};

class EachLv2Fault : public ::testing::TestWithParam<Fault> {};

TEST_P(EachLv2Fault, FailsItsCheckAndSaysWhy) {
    const Fault& f = GetParam();
    const Result run =
        validate(f.faults, "--quick --timeout 60 --only " + std::string(f.check) + " " + kFaultyLv2, kFaultyLv2Path);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(statusOf(run.output, f.check), "FAIL") << run.output;
    EXPECT_NE(run.output.find(f.evidence), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Lv2Validator, EachLv2Fault, ::testing::ValuesIn(kLv2Faults), faultName);

// Without faults the LV2 gain passes every LV2 check; the one requiring a worker fails
// to load, naming it, and no other check runs on it; the list names each LV2 check's
// faults under it.
TEST(Lv2Validator, CleanNeedyAndListed) {
    const Result clean = validate("", "--quick " + kFaultyLv2, kFaultyLv2Path);
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_NE(clean.output.find("Orvex Faulty LV2: 11 passed, 0 failed, 0 skipped"), std::string::npos) << clean.output;

    const Result needy = validate("", "--quick --only load.open,params " + kFaultyLv2 + "-needy", kFaultyLv2Path);
    EXPECT_EQ(needy.status, 1) << needy.output;
    EXPECT_EQ(statusOf(needy.output, "load.open"), "FAIL") << needy.output;
    EXPECT_NE(needy.output.find("faulty-needy requires what this host does not offer: "
                                "http://lv2plug.in/ns/ext/worker#schedule"),
              std::string::npos)
        << needy.output;
    EXPECT_EQ(statusOf(needy.output, "params.random"), "FAIL") << needy.output;
    EXPECT_NE(needy.output.find("not run: the plug-in gives no usable instance"), std::string::npos) << needy.output;

    const Result list = validate("", "--list");
    ASSERT_EQ(list.status, 0) << list.output;
    for (const Fault& f : kLv2Faults) {
        std::size_t at = 0;
        do at = list.output.find(std::string("\n") + f.check + " ", at + 1);
        while (at != std::string::npos &&
               list.output.compare(list.output.find_first_not_of(' ', at + 1 + std::strlen(f.check)), 5, "LV2: ") != 0);
        ASSERT_NE(at, std::string::npos) << f.check;
        const std::size_t from = list.output.find('\n', at + 1) + 1;
        const std::string proof = list.output.substr(from, list.output.find('\n', from) - from) + ",";
        EXPECT_NE(proof.find("fails on faultylv2: "), std::string::npos) << f.check << ": " << proof;
        EXPECT_NE(proof.find(std::string(" ") + f.faults + ","), std::string::npos) << f.check << ": " << proof;
    }
}

// Without faults (the editor switched on) the CLAP gain passes every CLAP check but the
// exports; with a VST 2.x plug-in beside it, each is judged by its own table, and the
// list names each CLAP check's faults under it.
TEST(ClapValidator, CleanMixedAndListed) {
    const Result run = validate("editor", "--quick '" + kFaultyClap + "'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(statusOf(run.output, "load.exports"), "FAIL") << run.output;
    EXPECT_NE(run.output.find("Orvex Test Gain: 34 passed, 1 failed, 0 skipped"), std::string::npos) << run.output;

    const Result mixed =
        validate("", "--quick --json --only load.open,clap.factory,params.readback '" + kFaulty + "' '" + kFaultyClap + "'");
    EXPECT_EQ(mixed.status, 0) << mixed.output;
    EXPECT_NE(mixed.output.find("\"name\": \"Orvex Faulty\", \"passed\": 2, \"failed\": 0"), std::string::npos)
        << mixed.output;
    EXPECT_NE(mixed.output.find("\"name\": \"Orvex Test Gain\", \"passed\": 3, \"failed\": 0"), std::string::npos)
        << mixed.output;

    const Result list = validate("", "--list");
    ASSERT_EQ(list.status, 0) << list.output;
    for (const Fault& f : kClapFaults) {
        // The check's CLAP line, then the line saying what it fails on.
        std::size_t at = 0;
        do at = list.output.find(std::string("\n") + f.check + " ", at + 1);
        while (at != std::string::npos && list.output.compare(list.output.find_first_not_of(' ', at + 1 + std::strlen(f.check)), 6, "CLAP: ") != 0);
        ASSERT_NE(at, std::string::npos) << f.check;
        const std::size_t from = list.output.find('\n', at + 1) + 1;
        const std::string proof = list.output.substr(from, list.output.find('\n', from) - from) + ",";
        EXPECT_NE(proof.find("fails on faultyclap"), std::string::npos) << f.check << ": " << proof;
        if (*f.faults) {
            EXPECT_NE(proof.find(std::string(" ") + f.faults + ","), std::string::npos) << f.check << ": " << proof;
        }
    }
}

// --list names, for each check, the faults it is shown above to fail on.
TEST(Validator, TheListNamesTheFaultsEachCheckIsProvenAgainst) {
    const Result list = validate("", "--list");
    ASSERT_EQ(list.status, 0) << list.output;
    // Every check: its own line, then the line saying what it fails on.
    std::size_t checks = 0, proofs = 0;
    for (std::size_t at = 0; at < list.output.size(); at = list.output.find('\n', at) + 1) {
        if (list.output.compare(at, 1, " ") != 0) ++checks;
        else if (list.output.find("fails on ", at) == list.output.find_first_not_of(' ', at)) ++proofs;
        if (list.output.find('\n', at) == std::string::npos) break;
    }
    EXPECT_EQ(proofs, checks) << list.output;
    for (const Fault& f : kFaults) {
        const std::size_t at = list.output.find(std::string("\n") + f.check + " ");
        ASSERT_NE(at, std::string::npos) << f.check;
        // The line under the check's own.
        const std::size_t from = list.output.find('\n', at + 1) + 1;
        const std::string proof = list.output.substr(from, list.output.find('\n', from) - from) + ",";
        EXPECT_NE(proof.find("fails on faultyeffect"), std::string::npos) << f.check << ": " << proof;
        if (*f.faults) {
            EXPECT_NE(proof.find(std::string(" ") + f.faults + ","), std::string::npos) << f.check << ": " << proof;
        }
    }
}

TEST(Validator, WithoutFaultsEveryCheckButTheExportsPasses) {
    // The editor is switched on so that its checks run too.
    const Result run = validate("editor", "--quick '" + kFaulty + "'");
    ASSERT_EQ(run.status, 1) << run.output;  // the extra export, always there
    std::size_t checks = 0;
    for (std::size_t at = 0; (at = run.output.find("\nPASS  ", at)) != std::string::npos; ++at) ++checks;
    EXPECT_EQ(checks, 30u) << run.output;  // the whole report: a skipped check shows why
    EXPECT_EQ(statusOf(run.output, "load.exports"), "FAIL");
    EXPECT_NE(run.output.find("Orvex Faulty: 30 passed, 1 failed, 0 skipped"), std::string::npos) << run.output;
}

TEST(Validator, ABareRecordFailsTheHandshakeAndTheIdentity) {
    const Result run = validate("", "--quick --only load '" + kBare + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(statusOf(run.output, "load.no-host"), "FAIL") << run.output;
    EXPECT_NE(run.output.find("created an instance for a host that answered 0"), std::string::npos);
    EXPECT_NE(run.output.find("the unique ID is 0"), std::string::npos) << run.output;
    // Checks that need parameters or an editor say why they did not run.
    const Result rest = validate("", "--quick --only params.text,editor.rect '" + kBare + "'");
    EXPECT_EQ(rest.status, 0) << rest.output;
    EXPECT_EQ(statusOf(rest.output, "params.text"), "SKIP") << rest.output;
    EXPECT_EQ(statusOf(rest.output, "editor.rect"), "SKIP");
    EXPECT_NE(rest.output.find("the plug-in has no parameters"), std::string::npos);
    EXPECT_NE(rest.output.find("the plug-in has no editor"), std::string::npos);
}

TEST(Validator, ReportFormsAndExitStatus) {
    const Result clean = validate("", "--only params.text,params.readback '" + kFaulty + "'");
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_NE(clean.output.find("Orvex Faulty: 2 passed, 0 failed, 0 skipped"), std::string::npos) << clean.output;
    // One ulp off, as a plug-in mapping through units of its own: a pass that says so.
    const Result ulp = validate("readback-1ulp", "--only params.readback,params.restore '" + kFaulty + "'");
    EXPECT_EQ(ulp.status, 0) << ulp.output;
    EXPECT_NE(ulp.output.find("0 read back as set, 20 within 4 ulps at full scale (worst 1 read back as 1.00000012)"),
              std::string::npos)
        << ulp.output;

    const Result json = validate("quantise", "--json --only params '" + kFaulty + "'");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.output.rfind("{", 0), 0u) << json.output;
    EXPECT_NE(json.output.find("\"name\": \"params.readback\", \"status\": \"fail\""), std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find("\"mismatches\": "), std::string::npos);
    EXPECT_NE(json.output.find("\"passed\": 6, \"failed\": 1, \"skipped\": 0"), std::string::npos) << json.output;

    const Result unknown = validate("", "--only no.such.check '" + kFaulty + "'");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("selects no check"), std::string::npos) << unknown.output;

    const Result list = validate("", "--list");
    EXPECT_EQ(list.status, 0);
    for (const char* check : {"load.open", "process.grid", "realtime.process", "editor.after-close"})
        EXPECT_NE(list.output.find(check), std::string::npos) << check;
}

// An Xvfb as many are started, without -noreset: it resets whenever its last client
// leaves. Returns its pid and display number.
std::pair<pid_t, std::string> startResettingXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    return {pid, number.empty() ? "" : ":" + number};
}

// The editor checks on a display that resets between them all run; on a display that
// is gone they are skipped, named with the cause, and the run is not a pass unless
// the user accepts it.
TEST(Validator, EditorChecksOnADisplayThatResetsOrIsGone) {
    const auto [server, display] = startResettingXvfb();
    if (display.empty()) {
        if (server > 0) waitpid(server, nullptr, 0);
        GTEST_SKIP() << "Xvfb does not start here (package xvfb)";
    }
    // Eight times over: 40 checks, each connecting after the last one left.
    std::string eight;
    for (int i = 0; i < 8; ++i) eight += " '" + kFaulty + "'";
    const Result reset = validate("editor", "--quick --only editor" + eight, "DISPLAY=" + display);
    EXPECT_EQ(reset.status, 0) << reset.output;
    EXPECT_EQ(reset.output.find("SKIP"), std::string::npos) << reset.output;
    EXPECT_NE(reset.output.find("8 plug-ins: 8 passed every check"), std::string::npos) << reset.output;

    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    const std::string only = "--only editor.rect,editor.after-close '" + kFaulty + "'";
    const Result gone = validate("editor", only, "DISPLAY=" + display);
    EXPECT_EQ(gone.status, 1) << gone.output;
    EXPECT_EQ(statusOf(gone.output, "editor.rect"), "SKIP") << gone.output;
    EXPECT_NE(gone.output.find("0 passed, 0 failed, 2 skipped in "), std::string::npos) << gone.output;
    EXPECT_NE(gone.output.find(": INCOMPLETE\n  2 not run on this machine (no X display: cannot connect to the X "
                               "display " + display + "): editor.rect, editor.after-close; --allow-skips"),
              std::string::npos)
        << gone.output;
    const Result accepted = validate("editor", "--allow-skips " + only, "DISPLAY=" + display);
    EXPECT_EQ(accepted.status, 0) << accepted.output;
    EXPECT_NE(accepted.output.find(": PASSED\n"), std::string::npos) << accepted.output;
    // A check skipped because the plug-in has nothing for it is named too, and fails nothing.
    const Result none = validate("", only, "DISPLAY=" + display);
    EXPECT_EQ(none.status, 0) << none.output;
    EXPECT_NE(none.output.find("  2 skipped as the plug-in has no editor: editor.rect, editor.after-close\n"),
              std::string::npos)
        << none.output;
}

// Third-party plug-ins: whatever they do, the report reaches its end for each.
TEST(Validator, RunsToTheEndOnThirdPartyPlugins) {
    const std::vector<std::string> plugins = {"/usr/lib/vst/Kars-vst.so", "/usr/lib/vst/MaBitcrush-vst.so"};
    struct stat info {};
    for (const std::string& p : plugins)
        if (stat(p.c_str(), &info) != 0) GTEST_SKIP() << p << " is not installed (package dpf-plugins-vst)";
    const Result run = validate("", "--quick --only load,process,params,midi,realtime '" + plugins[0] + "' '" +
                                     plugins[1] + "'");
    EXPECT_NE(run.output.find("Kars: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("MaBitcrush: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("2 plug-ins: "), std::string::npos) << run.output;
}

}  // namespace
