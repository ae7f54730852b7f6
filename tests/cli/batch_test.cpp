// `orvex render PLUGIN IN... --out-dir DIR`, run as a user runs it: a folder of files
// at once comes out as each file's own render, through VST 2.x and CLAP; a broken file
// among them is reported and the others written; Ctrl-C half-way leaves finished files
// only; two inputs for one output stop the batch before anything is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_support.h"

namespace orvex::clitest {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The panner through each format: a parameter, a tempo its LFOs follow and
// a MIDI note, so that any state one file leaves to the next would show.
class CliBatchRenders : public ::testing::TestWithParam<const char*> {
protected:
    std::string plugin() const {
        if (std::string(GetParam()) == "clap") return ORVEX_BINARY_DIR "/clap/panner.clap";
        return pannerPath();
    }
};

INSTANTIATE_TEST_SUITE_P(Formats, CliBatchRenders, ::testing::Values("vst", "clap"));

TEST_P(CliBatchRenders, EachFileAsItsOwnRender) {
    if (plugin().empty() || !fs::exists(plugin())) GTEST_SKIP() << "the panner is not built";
    ScratchFolder dir;
    fs::create_directory(dir.file("in"));
    const std::vector<std::string> names = {"a.wav", "b.wav", "c.flac", "d.aiff", "e.wav"};
    writeAudio(dir.file("in/a.wav"), noise(2, 30000, 1), 44100);
    writeAudio(dir.file("in/b.wav"), noise(1, 20000, 2), 48000);
    writeAudio(dir.file("in/c.flac"), noise(2, 25000, 3), 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    writeAudio(dir.file("in/d.aiff"), noise(2, 9000, 4), 22050, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    writeAudio(dir.file("in/e.wav"), noise(2, 40000, 5), 44100);
    const std::vector<std::string> options = {"--set", "2=0.7", "--tempo", "133", "--note", "60@0.1"};

    // Each file alone, as the reference.
    std::vector<Audio> single;
    for (const std::string& name : names) {
        std::vector<std::string> args = {"render", plugin(), dir.file("in/" + name), dir.file("single-" + name), "-q"};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult run = runOrvex(args);
        ASSERT_EQ(run.status, 0) << run.err;
        single.push_back(readAudio(dir.file("single-" + name)));
    }

    // Three workers with the names on the command line; one worker, which renders
    // every file after the other through the same process, with the names read from
    // standard input.
    std::ofstream(dir.file("list.txt")) << "\n" << dir.file("in/e.wav") << "\r\n" << dir.file("in/c.flac") << "\n\n"
                                        << dir.file("in/a.wav") << "\n" << dir.file("in/d.aiff") << "\n"
                                        << dir.file("in/b.wav") << "\n";
    const std::string list = dir.file("list.txt");
    for (const bool fromList : {false, true}) {
        SCOPED_TRACE(fromList ? "one worker, names from stdin" : "three workers");
        const std::string out = dir.file(fromList ? "one" : "three");
        std::vector<std::string> args = {"render", plugin()};
        if (fromList)
            args.push_back("-");
        else
            for (const std::string& name : names) args.push_back(dir.file("in/" + name));
        args.insert(args.end(), {"--out-dir", out, "--jobs", fromList ? "1" : "3"});
        args.insert(args.end(), options.begin(), options.end());
        const RunResult run = runOrvex(args, [&] {
            if (fromList) ::dup2(::open(list.c_str(), O_RDONLY), 0);
        });
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(contains(run.out, "5 of 5 files written into " + out)) << run.out;
        EXPECT_TRUE(contains(run.out, fromList ? "1 worker)" : "3 workers)")) << run.out;
        const std::vector<std::string> written = [&] {
            std::vector<std::string> entries;
            for (const auto& e : fs::directory_iterator(out)) entries.push_back(e.path().filename().string());
            std::sort(entries.begin(), entries.end());
            return entries;
        }();
        EXPECT_EQ(written, names);  // nothing else: no temporary file left
        for (std::size_t i = 0; i < names.size(); ++i) {
            const Audio audio = readAudio(out + "/" + names[i]);
            EXPECT_EQ(audio.format, single[i].format) << names[i];
            EXPECT_EQ(audio.sampleRate, single[i].sampleRate) << names[i];
            EXPECT_TRUE(audio.channels == single[i].channels) << names[i] << " differs from its own render";
        }
    }
}

// The test effect passes its input through: every file written equals its input.
class CliBatch : public ::testing::Test {
protected:
    std::string in(const std::string& name) const { return dir.file("in/" + name); }
    std::string out(const std::string& name) const { return dir.file("out/" + name); }
    std::vector<std::string> outEntries() const {
        std::vector<std::string> entries;
        std::error_code error;
        for (const auto& e : fs::directory_iterator(dir.file("out"), error)) entries.push_back(e.path().filename().string());
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    void SetUp() override { fs::create_directory(dir.file("in")); }
    ScratchFolder dir;
};

TEST_F(CliBatch, ABrokenFileIsReportedAndTheOthersWritten) {
    const Channels first = noise(2, 3000, 11), last = noise(1, 2000, 12);
    writeAudio(in("first.wav"), first, 48000);
    std::ofstream(in("words.wav")) << "these are words, not samples\n";
    writeAudio(in("surround.wav"), noise(3, 100, 13), 48000);
    writeAudio(in("last.wav"), last, 48000);
    const RunResult run = runOrvex({"render", testEffectPath(), in("first.wav"), in("words.wav"), in("surround.wav"),
                                    in("absent.wav"), in("last.wav"), "--out-dir", dir.file("out"), "--jobs", "2"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "cannot read " + in("words.wav") + " as audio")) << run.err;
    EXPECT_TRUE(contains(run.err, in("surround.wav") + " has 3 channels")) << run.err;
    EXPECT_TRUE(contains(run.err, "cannot open input " + in("absent.wav"))) << run.err;
    EXPECT_TRUE(contains(run.out, "2 of 5 files written into " + dir.file("out") + ", 3 failed")) << run.out;
    const auto row = [&](const std::string& file) {  // the table's row of `file`, from its name on
        const auto at = run.out.find(file + " ");
        return at == std::string::npos ? std::string() : run.out.substr(at, run.out.find('\n', at) - at);
    };
    EXPECT_TRUE(row(in("last.wav")).ends_with(" ok")) << run.out;
    EXPECT_TRUE(contains(row(in("words.wav")), " cannot read ")) << run.out;
    EXPECT_EQ(outEntries(), (std::vector<std::string>{"first.wav", "last.wav"}));
    EXPECT_EQ(readAudio(out("first.wav")).channels, first);
    EXPECT_EQ(readAudio(out("last.wav")).channels, Channels(2, last[0]));
}

// Stopped half-way by SIGINT or SIGTERM: the files finished stay whole, the ones being
// written leave nothing, and the exit status says which signal.
TEST_F(CliBatch, AnInterruptedBatchLeavesFinishedFilesOnly) {
    const Channels shortOne = noise(1, 1000, 21);
    writeAudio(in("a.wav"), shortOne, 8000);
    writeAudio(in("b.wav"), shortOne, 8000);
    writeAudio(in("long1.wav"), noise(1, 3000000, 22), 8000);  // over six minutes each
    writeAudio(in("long2.wav"), noise(1, 3000000, 23), 8000);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        fs::remove_all(dir.file("out"));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string binary = orvexBinary(), folder = dir.file("out");
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            ::execl(binary.c_str(), binary.c_str(), "render", testEffectPath().c_str(), in("a.wav").c_str(),
                    in("b.wav").c_str(), in("long1.wav").c_str(), in("long2.wav").c_str(), "--out-dir",
                    folder.c_str(), "--jobs", "2", "--block", "4", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Both long files under way, both short ones done: then stop the batch.
        bool busy = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!busy && std::chrono::steady_clock::now() < deadline) {
            int temporary = 0, done = 0;
            for (const std::string& name : outEntries()) {
                temporary += name.rfind(".long", 0) == 0 && contains(name, ".orvex-");
                done += name == "a.wav" || name == "b.wav";
            }
            busy = temporary == 2 && done == 2;
            if (!busy) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(busy) << "the batch never had both long files under way";
        EXPECT_EQ(outEntries(), (std::vector<std::string>{"a.wav", "b.wav"}));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal)
            << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                  : "killed by signal " + std::to_string(WTERMSIG(status)));
        EXPECT_EQ(readAudio(out("b.wav")).channels, Channels(2, shortOne[0]));
    }
}

TEST_F(CliBatch, TwoInputsForOneOutputAndAnInputAsOutput) {
    fs::create_directory(in("other"));
    writeAudio(in("x.wav"), noise(2, 100, 31), 48000);
    writeAudio(in("other/x.wav"), noise(2, 100, 32), 48000);
    writeAudio(in("y.wav"), noise(2, 100, 33), 48000);
    writeAudio(in("y.flac"), noise(2, 100, 34), 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);

    // Clashes are found before anything is rendered: the folder is not even made.
    const RunResult clash = runOrvex({"render", testEffectPath(), in("x.wav"), in("y.wav"), in("other/x.wav"),
                                      in("y.flac"), in("y.wav"), "--out-dir", dir.file("out"), "--format", "wav"});
    EXPECT_EQ(clash.status, 2);
    EXPECT_TRUE(contains(clash.err, in("x.wav") + " and " + in("other/x.wav") + " would both be written to " +
                                        out("x.wav"))) << clash.err;
    EXPECT_TRUE(contains(clash.err, in("y.wav") + " and " + in("y.flac") + " would both")) << clash.err;
    EXPECT_TRUE(contains(clash.err, in("y.wav") + " is given twice")) << clash.err;
    EXPECT_FALSE(fs::exists(dir.file("out")));

    // DIR is the inputs' own folder: a file whose output would be itself is refused, and
    // the others are written beside it.
    const std::string before = fileContents(in("x.wav"));
    const RunResult own = runOrvex({"render", testEffectPath(), in("x.wav"), in("y.flac"), "--out-dir",
                                    dir.file("in"), "--format", "wav", "-q"});
    EXPECT_EQ(own.status, 1);
    EXPECT_TRUE(contains(own.err, "its output " + in("x.wav") + " is an input of this batch")) << own.err;
    EXPECT_EQ(fileContents(in("x.wav")), before);
    EXPECT_EQ(readAudio(in("y.wav")).channels, readAudio(in("y.flac")).channels);

    // The forms that cannot be told apart are refused.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{in("x.wav"), "-", "--out-dir", dir.file("out")},
          {in("x.wav"), out("x.wav"), "--jobs", "2"},
          {in("x.wav"), "--out-dir", dir.file("out"), "--in-place"}}) {
        std::vector<std::string> all = {"render", testEffectPath()};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(runOrvex(all).status, 2) << args[1];
    }
}

}  // namespace
}  // namespace orvex::clitest
