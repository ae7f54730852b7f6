// Where `orvex render` and `orvex snapshot` put OUT when it is not a plain file: a
// device, a pipe, a symbolic link, a socket, the input itself; and what they say when
// OUT cannot take the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_support.h"

namespace orvex::clitest {
namespace {

namespace fs = std::filesystem;

std::string guiEffectPath() { return ORVEX_BINARY_DIR "/tests/vst-gui/guieffect.vst/Contents/x86_64-linux/guieffect.so"; }

// Reads whatever is written into `fd` (made non-blocking) on a thread of its own, until
// `finish` is called once the writer is done.
class Collector {
public:
    explicit Collector(int fd) : fd(fd) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        reader = std::thread([this] {
            char buffer[1 << 16];
            for (;;) {
                const bool last = done.load();
                ssize_t n = 0;
                while ((n = ::read(this->fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
                if (last) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~Collector() { finish(); }
    std::string finish() {
        done = true;
        if (reader.joinable()) reader.join();
        return bytes;
    }

private:
    int fd;
    std::atomic<bool> done{false};
    std::string bytes;
    std::thread reader;
};

class CliOutputs : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        input = noise(2, 4800, 41);
        writeAudio(dir.file("in.wav"), input, 48000);
    }
    bool snapshot() const { return std::string(GetParam()) == "snapshot"; }

    // The command into `out`: a render of in.wav through the test effect, whose default
    // gain passes the samples through, or the toolkit test editor's picture.
    RunResult write(const std::string& out, const std::function<void()>& inChild = {}) {
        if (snapshot()) return runOrvex({"snapshot", guiEffectPath(), out}, inChild);
        return runOrvex({"render", testEffectPath(), dir.file("in.wav"), out, "-q"}, inChild);
    }

    // `bytes` are the whole file the command writes.
    void expectTheFile(const std::string& bytes) {
        if (snapshot()) {
            ScratchFolder other;
            const RunResult plain = runOrvex({"snapshot", guiEffectPath(), other.file("plain.png")});
            ASSERT_EQ(plain.status, 0) << plain.err;
            EXPECT_EQ(bytes, fileContents(other.file("plain.png")));
            return;
        }
        ScratchFolder other;
        std::ofstream(other.file("copy.wav"), std::ios::binary) << bytes;
        EXPECT_EQ(readAudio(other.file("copy.wav")).channels, input);
    }

    ScratchFolder dir;
    Channels input;
};

INSTANTIATE_TEST_SUITE_P(Commands, CliOutputs, ::testing::Values("render", "snapshot"));

// Device nodes of our own, so that a command that replaced them could not harm the
// system's: a null device takes the file and stays a device, a full one says so.
TEST_P(CliOutputs, DevicesAreWrittenIntoAndStayDevices) {
    if (::mknod(dir.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(dir.file("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make device nodes here (root can)";
    const RunResult null = write(dir.file("null"));
    EXPECT_EQ(null.status, 0) << null.err;
    const RunResult full = write(dir.file("full"));
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write " + dir.file("full") + ": No space left on device"), std::string::npos)
        << full.err;
    for (const std::string name : {"null", "full"}) {
        struct stat status {};
        ASSERT_EQ(::lstat(dir.file(name).c_str(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << name;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"full", "in.wav", "null"}));
}

TEST_P(CliOutputs, PipesGetTheWholeFileAndStayPipes) {
    // A FIFO's reader gets the file.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const int fifo = ::open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    Collector fromFifo(fifo);
    const RunResult piped = write(dir.file("fifo"));
    EXPECT_EQ(piped.status, 0) << piped.err;
    expectTheFile(fromFifo.finish());
    ::close(fifo);
    struct stat status {};
    ASSERT_EQ(::lstat(dir.file("fifo").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));

    // Standard output on a pipe, named as /dev/stdout names it, carries the file and
    // nothing else: what the command says goes to stderr.
    fs::create_symlink("/proc/self/fd/1", dir.file("stdout"));
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    Collector fromStdout(ends[0]);
    const int writeEnd = ends[1];
    const RunResult out = write(dir.file("stdout"), [writeEnd] { ::dup2(writeEnd, 1); });
    ::close(ends[1]);
    EXPECT_EQ(out.status, 0) << out.err;
    expectTheFile(fromStdout.finish());
    ::close(ends[0]);
    if (snapshot()) {
        EXPECT_NE(out.err.find(dir.file("stdout") + ": editor of Orvex Toolkit Test"), std::string::npos) << out.err;
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("stdout")));

    // Standard output appending to a file (`>> log`): the file is written through it,
    // after what it held, and stays the file the shell opened.
    std::ofstream(dir.file("log"), std::ios::binary) << "HEAD";
    struct stat before {};
    ASSERT_EQ(::stat(dir.file("log").c_str(), &before), 0);
    const std::string log = dir.file("log");
    const RunResult appended = write(dir.file("stdout"), [log] {
        const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
        if (fd >= 0) ::dup2(fd, 1);
    });
    EXPECT_EQ(appended.status, 0) << appended.err;
    struct stat after {};
    ASSERT_EQ(::stat(dir.file("log").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    const std::string logged = fileContents(dir.file("log"));
    ASSERT_EQ(logged.substr(0, 4), "HEAD");
    expectTheFile(logged.substr(4));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"fifo", "in.wav", "log", "stdout"}));
}

TEST_P(CliOutputs, SocketsAndFoldersAreRefused) {
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir.file("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directory(dir.file("folder"));
    for (const std::string kind : {"socket", "folder"}) {
        const RunResult run = write(dir.file(kind));
        EXPECT_EQ(run.status, 1) << kind;
        EXPECT_NE(run.err.find(dir.file(kind) + " is a " + kind), std::string::npos) << run.err;
    }
    ::close(server);
    EXPECT_EQ(fs::status(dir.file("socket")).type(), fs::file_type::socket);
    EXPECT_TRUE(fs::is_empty(dir.file("folder")));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder", "in.wav", "socket"}));
}

// A link stands for the file it names, through a chain of links and relative texts;
// the links stay as they were, and so does the mode of the file replaced.
TEST_P(CliOutputs, ASymbolicLinkWritesTheFileItNames) {
    fs::create_directory(dir.file("takes"));
    std::ofstream(dir.file("takes/final")) << "the old take";
    fs::permissions(dir.file("takes/final"), fs::perms(0640));
    fs::create_symlink("final", dir.file("takes/current"));
    fs::create_symlink("takes/current", dir.file("link"));
    fs::create_symlink("takes/new", dir.file("dangling"));
    for (const std::string name : {"link", "dangling"}) {
        SCOPED_TRACE(name);
        const RunResult run = write(dir.file(name));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_symlink(dir.file(name)));
    }
    EXPECT_EQ(fs::read_symlink(dir.file("link")), "takes/current");
    EXPECT_EQ(fs::read_symlink(dir.file("takes/current")), "final");
    EXPECT_EQ(fs::read_symlink(dir.file("dangling")), "takes/new");
    expectTheFile(fileContents(dir.file("takes/final")));
    expectTheFile(fileContents(dir.file("takes/new")));
    EXPECT_EQ(fs::status(dir.file("takes/final")).permissions(), fs::perms(0640));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"dangling", "in.wav", "link", "takes"}));
    EXPECT_TRUE(fs::is_regular_file(dir.file("takes/new")));
    std::size_t inTakes = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.file("takes"))) ++inTakes;
    EXPECT_EQ(inTakes, 3u);  // final, current and new: no temporary file left
}

// A missing folder and a file-size limit (standing in for a full disk) are named as
// what failed, and leave nothing behind.
TEST_P(CliOutputs, AnOutputThatCannotBeWrittenSaysWhy) {
    const RunResult missing = write(dir.file("nowhere/out"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(dir.file("nowhere") + ": No such file or directory"), std::string::npos) << missing.err;

    const RunResult limited = write(dir.file("out"), [] {
        rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(limited.status, 1);
    EXPECT_NE(limited.err.find("cannot write " + dir.file("out") + ": "), std::string::npos) << limited.err;
    EXPECT_NE(limited.err.find("File too large"), std::string::npos) << limited.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav"}));
}

// OUT naming IN itself, by its name, a hard link, a path through ".." or a symbolic
// link, is refused unless --in-place allows it; the recording stays as it was.
TEST(CliInPlace, RenderingOntoTheInputNeedsInPlace) {
    ScratchFolder dir;
    const Channels input = noise(2, 3000, 12);
    writeAudio(dir.file("take.wav"), input, 48000);
    const std::string recording = fileContents(dir.file("take.wav"));
    fs::create_directory(dir.file("sub"));
    fs::create_hard_link(dir.file("take.wav"), dir.file("hard.wav"));
    fs::create_symlink("take.wav", dir.file("soft.wav"));
    const auto before = dir.entries();
    for (const std::string out : {"take.wav", "hard.wav", "sub/../take.wav", "soft.wav"}) {
        SCOPED_TRACE(out);
        const RunResult run =
            runOrvex({"render", testEffectPath(), dir.file("take.wav"), dir.file(out), "--set", "Invert=1"});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("is the input file"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--in-place"), std::string::npos) << run.err;
        EXPECT_EQ(fileContents(dir.file("take.wav")), recording);
        EXPECT_EQ(dir.entries(), before);
    }
    const RunResult run = runOrvex(
        {"render", testEffectPath(), dir.file("take.wav"), dir.file("take.wav"), "--set", "Invert=1", "--in-place"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(dir.file("take.wav"));
    ASSERT_EQ(out.frames(), 3000u);
    for (int ch = 0; ch < 2; ++ch)
        for (std::size_t i = 0; i < 3000; ++i) ASSERT_EQ(out.channels[ch][i], -input[ch][i]);
    EXPECT_EQ(fileContents(dir.file("hard.wav")), recording);  // the other name keeps the old file
    EXPECT_EQ(dir.entries(), before);
}

}  // namespace
}  // namespace orvex::clitest
