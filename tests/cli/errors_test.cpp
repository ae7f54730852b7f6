// Every way `orvex render` can fail: a non-zero exit, a message on stderr that names
// the problem, and the output left as it was (absent, or the old file untouched) with no
// temporary file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_support.h"

namespace orvex::clitest {
namespace {

constexpr const char* kOldOutput = "the previous take, not to be lost";

class CliErrors : public ::testing::Test {
protected:
    void SetUp() override {
        input = noise(2, 4800, 21);
        writeAudio(dir.file("in.wav"), input, 48000);
    }

    // Runs render with `args` after PLUGIN IN OUT, twice: once with no OUT, once with
    // an OUT holding text; checks the status, the message and what is left.
    void expectFailure(const std::vector<std::string>& args, int status, const std::vector<std::string>& messages,
                       const std::string& plugin = testEffectPath(), const std::string& in = "in.wav") {
        for (bool existing : {false, true}) {
            SCOPED_TRACE(existing ? "OUT exists" : "no OUT");
            std::filesystem::remove(dir.file("out.wav"));
            if (existing) std::ofstream(dir.file("out.wav")) << kOldOutput;
            const auto before = dir.entries();
            std::vector<std::string> all = {"render", plugin, in.empty() ? in : dir.file(in), dir.file("out.wav")};
            all.insert(all.end(), args.begin(), args.end());
            const RunResult run = runOrvex(all);
            EXPECT_EQ(run.status, status) << run.err;
            for (const std::string& m : messages) EXPECT_NE(run.err.find(m), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(dir.entries(), before);  // nothing new, nothing gone
            if (existing) {
                EXPECT_EQ(fileContents(dir.file("out.wav")), kOldOutput);
            }
        }
    }

    ScratchFolder dir;
    Channels input;
};

TEST_F(CliErrors, MissingInputFile) {
    expectFailure({}, 1, {"cannot open input", "absent.wav", "No such file or directory"}, testEffectPath(),
                  "absent.wav");
}

TEST_F(CliErrors, UnreadableFormat) {
    std::ofstream(dir.file("notes.wav")) << "these are words, not samples\n";
    expectFailure({}, 1, {"cannot read", "notes.wav", "as audio"}, testEffectPath(), "notes.wav");
}

TEST_F(CliErrors, MoreThanTwoChannels) {
    writeAudio(dir.file("surround.wav"), noise(3, 100, 22), 48000);
    expectFailure({}, 1, {"surround.wav has 3 channels", "only mono and stereo"}, testEffectPath(), "surround.wav");
}

TEST_F(CliErrors, UnknownPluginListsTheAvailableOnes) {
    expectFailure({"--path", ORVEX_TEST_VST_DIR}, 1,
                  {"unknown plug-in 'nonesuch'", "available:", "testeffect", "\"Orvex Test\""}, "nonesuch");
    expectFailure({}, 1, {"cannot find plug-in /no/such/plugin.so"}, "/no/such/plugin.so");
    // A file that is no shared object at all.
    expectFailure({}, 1, {"cannot load", "in.wav"}, dir.file("in.wav"));
}

TEST_F(CliErrors, UnknownParameterListsTheValidOnes) {
    expectFailure({"--set", "Volume=0.5"}, 1,
                  {"unknown parameter 'Volume' for Orvex Test", "0  Gain", "1  Bpm", "2  Invert"});
    expectFailure({"--set", "3=0.5"}, 1, {"parameter index 3 is out of range", "0 to 2", "2  Invert"});
}

TEST_F(CliErrors, ParameterValueOutsideZeroToOne) {
    for (const std::string value : {"1.5", "-0.1", "nan", "inf", "abc", "", "0.5x"}) {
        SCOPED_TRACE(value);
        expectFailure({"--set", "Gain=" + value}, 2, {"VALUE must be a number from 0 to 1", "'" + value + "'"});
    }
    expectFailure({"--set", "Gain"}, 2, {"--set wants PARAM=VALUE"});
}

TEST_F(CliErrors, UnknownOrAmbiguousProgramListsThePrograms) {
    expectFailure({"--program", "7"}, 1, {"program 7 is out of range", "0 to 3", "3  Basic 4"});
    expectFailure({"--program", "Lead"}, 1, {"unknown program 'Lead'", "0  Basic 1"});
    // Every program is stored as "Basic": the name alone picks none of them.
    expectFailure({"--program", "Basic"}, 1, {"program name 'Basic' is ambiguous", "programs 0, 1, 2, 3"});
}

TEST_F(CliErrors, BadOptions) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--block", "0"}, "--block wants a whole number from 1 to 65536"},
        {{"--block", "many"}, "--block wants a whole number"},
        {{"--tail", "-1"}, "--tail wants seconds from 0 to 3600"},
        {{"--tempo", "0"}, "--tempo wants beats per minute"},
        {{"--tempo", "100", "--no-transport"}, "contradict"},
        {{"--cc", "20=200@1"}, "VALUE from 0 to 127"},
        {{"--cc", "128=1@1"}, "CONTROLLER from 0 to 127"},
        {{"--cc", "20=1"}, "--cc wants CONTROLLER=VALUE@SECONDS"},
        {{"--cc", "20=1@-2"}, "SECONDS >= 0"},
        {{"--cc", "20=1@nan"}, "SECONDS >= 0"},
        {{"--note", "60@inf"}, "SECONDS >= 0"},
        {{"--note", "60@-1e300"}, "SECONDS >= 0"},
        {{"--note", "60"}, "--note wants NUMBER@SECONDS"},
        {{"--note", "x@1"}, "NUMBER from 0 to 127"},
        {{"--program"}, "--program needs a value"},
        {{"extra"}, "too many arguments"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args[0]);
        expectFailure(args, 2, {message, "Try 'orvex render --help'"});
    }
    const RunResult missing = runOrvex({"render", testEffectPath(), dir.file("in.wav")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("OUT missing"), std::string::npos) << missing.err;
}

// An unknown family or encoding is a bad command line; a known pair that libsndfile
// cannot write is not.
TEST_F(CliErrors, UnknownFormatOption) {
    expectFailure({"--format", "mp9"}, 2, {"unknown --format 'mp9'", "wav, aiff, flac, ogg", "Try 'orvex render --help'"});
    expectFailure({"--format", "wav:12"}, 2, {"unknown encoding in --format 'wav:12'", "Try 'orvex render --help'"});
    expectFailure({"--format", "flac:float"}, 1, {"cannot write FLAC"});
}

TEST_F(CliErrors, OutputFolderMissingOrOutputIsAFolder) {
    const RunResult run =
        runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("nowhere/out.wav")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write into " + dir.file("nowhere")), std::string::npos) << run.err;

    std::filesystem::create_directory(dir.file("folder.wav"));
    const RunResult folder = runOrvex({"render", testEffectPath(), dir.file("in.wav"), dir.file("folder.wav")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.wav")));
}

// A write that fails half-way (the file-size limit stands in for a full disk) leaves
// the old output as it was and no temporary file.
TEST_F(CliErrors, AWriteFailingHalfWayLeavesTheOldOutput) {
    writeAudio(dir.file("long.wav"), noise(2, 200000, 23), 48000);  // 1.6 MB of float samples
    std::ofstream(dir.file("out.wav")) << kOldOutput;
    const auto before = dir.entries();
    const RunResult run =
        runOrvex({"render", testEffectPath(), dir.file("long.wav"), dir.file("out.wav")}, [] {
            ::signal(SIGXFSZ, SIG_IGN);  // a failing write, not a killed process
            rlimit limit{256 * 1024, 256 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot write " + dir.file("out.wav")), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(fileContents(dir.file("out.wav")), kOldOutput);
}

// Stopped by the user half-way: the temporary file goes, the old output stays.
TEST_F(CliErrors, AnInterruptedRenderLeavesNoTemporaryFile) {
    writeAudio(dir.file("long.wav"), noise(1, 6000000, 24), 8000);  // 12.5 minutes
    std::ofstream(dir.file("out.wav")) << kOldOutput;
    const auto before = dir.entries();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string binary = orvexBinary();
        const std::string in = dir.file("long.wav");
        const std::string out = dir.file("out.wav");
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execl(binary.c_str(), binary.c_str(), "render", testEffectPath().c_str(), in.c_str(), out.c_str(),
                "--block", "8", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait for the temporary file to appear, then stop the render.
    bool seen = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!seen && std::chrono::steady_clock::now() < deadline) {
        for (const std::string& name : dir.entries())
            if (name.rfind(".out.wav.orvex-", 0) == 0) seen = true;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(seen) << "the render never created its temporary file";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the render ended before it was stopped";
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(fileContents(dir.file("out.wav")), kOldOutput);
}

TEST(CliCommandErrors, UnknownCommandAndEmptyPluginFolder) {
    const RunResult unknown = runOrvex({"mix"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command 'mix'"), std::string::npos) << unknown.err;

    const RunResult none = runOrvex({});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: orvex COMMAND"), std::string::npos) << none.err;

    ScratchFolder empty;
    for (const std::string command : {"list", "demo"}) {
        std::vector<std::string> args = {command, "--path", empty.path()};
        if (command == "demo") args.push_back(empty.file("out"));
        const RunResult run = runOrvex(args);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.err.find("no plug-ins found in " + empty.path()), std::string::npos) << run.err;
    }
    const RunResult info = runOrvex({"info", "nonesuch", "--path", ORVEX_TEST_VST_DIR});
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.err.find("unknown plug-in 'nonesuch'"), std::string::npos) << info.err;
    const RunResult notFolder = runOrvex({"list", "--path", testEffectPath()});
    EXPECT_EQ(notFolder.status, 1);
    EXPECT_NE(notFolder.err.find("is not a folder"), std::string::npos) << notFolder.err;
}

}  // namespace
}  // namespace orvex::clitest
