#include "outputfile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <vector>

#include "arguments.h"

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

// The temporary file being written, removed when the user interrupts the program or
// the reader of a pipe goes away, so that not even Ctrl-C leaves a half-written file
// behind. Written only outside the handler, before the handlers can see it.
char pendingTemp[4096];
volatile std::sig_atomic_t pendingSet = 0;
constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The signal a batch's InterruptCatcher noted; batchActive while one lives.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores into it");
bool batchActive = false;
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void noteSignal(int signal) { caughtSignal.store(signal); }

extern "C" void removePendingAndDie(int signal) {
    if (pendingSet) ::unlink(pendingTemp);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Creates the temporary file from `pattern` with the signals held back, so that an
// interrupt cannot fall between its creation and its registration.
int createWatchedTemp(std::vector<char>& pattern) {
    static bool installed = false;
    if (!installed && !batchActive) {
        for (int s : kWatchedSignals) std::signal(s, removePendingAndDie);
        // Past a file-size limit a write then fails (EFBIG) and is reported like a full
        // disk, instead of the program being killed.
        std::signal(SIGXFSZ, SIG_IGN);
        installed = true;
    }
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (int s : kWatchedSignals) sigaddset(&held, s);
    sigprocmask(SIG_BLOCK, &held, &previous);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    const int error = errno;
    if (fd >= 0 && !batchActive) {
        const std::size_t n = std::strlen(pattern.data());
        if (n < sizeof pendingTemp) {
            std::memcpy(pendingTemp, pattern.data(), n + 1);
            pendingSet = 1;
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return fd;
}

void forgetTemp() { pendingSet = 0; }

std::string systemError(int error) { return std::strerror(error); }

// OUT and every name its symbolic links lead to, in order: the last is no link (a link
// to a missing file names the file to create). Each link's text is taken relative to
// the folder the link is in.
std::vector<std::string> linkChain(const std::string& path) {
    std::vector<std::string> chain{path};
    for (int hops = 0; hops < 40; ++hops) {
        const std::string& current = chain.back();
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return chain;
        std::error_code error;
        const fs::path text = fs::read_symlink(current, error);
        if (error) throw Error("cannot read the link " + current + ": " + error.message());
        chain.push_back((text.is_absolute() ? text : fs::path(current).parent_path() / text).string());
    }
    throw Error("cannot write " + path + ": " + systemError(ELOOP));
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The descriptor of this process that OUT names through /dev/stdout, /dev/fd/N or
// /proc/self/fd/N somewhere along its links, or -1. Such a name means the file the
// shell opened for us (`>`, `>>`, a pipe): it is written through that descriptor, at
// its offset and in its append mode, never replaced by another file.
int ownDescriptor(const std::vector<std::string>& chain) {
    for (const std::string& name : chain)
        for (const std::string head : {"/dev/fd/", "/proc/self/fd/"}) {
            if (name.rfind(head, 0) != 0) continue;
            const std::string digits = name.substr(head.size());
            if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            return std::stoi(digits);
        }
    return -1;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    batchActive = true;
    caughtSignal.store(0);
    struct sigaction action {};
    action.sa_handler = noteSignal;
    action.sa_flags = SA_RESTART;  // a worker's read or write goes on rather than failing with EINTR
    sigemptyset(&action.sa_mask);
    for (int s : kCaughtSignals) ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

InterruptCatcher::~InterruptCatcher() {
    // Back to what the first OutputFile outside a batch installs.
    for (int s : kWatchedSignals) std::signal(s, removePendingAndDie);
    batchActive = false;
}

int InterruptCatcher::caught() { return caughtSignal.load(); }

OutputFile::OutputFile(const std::string& path) : shownPath(path) {
    if (path.empty()) throw Error("the output's name is empty");
    struct stat status {};
    const bool exists = ::stat(path.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) throw Error("cannot write " + path + ": " + systemError(errno));
    if (exists) {
        const char* refused = S_ISDIR(status.st_mode)    ? "a folder"
                              : S_ISSOCK(status.st_mode) ? "a socket"
                              : S_ISBLK(status.st_mode)  ? "a block device (a disk)"
                                                         : nullptr;
        if (refused)
            throw Error("output " + path + " is " + refused +
                        "; orvex writes regular files, character devices (/dev/stdout) and pipes");
    }
    std::vector<char> pattern;
    fs::path folder;
    mode_t mode = 0600;
    const std::vector<std::string> chain = linkChain(path);
    const int own = exists ? ownDescriptor(chain) : -1;
    if (own >= 0 || (exists && !S_ISREG(status.st_mode))) {
        // A character device or a pipe, opened now: a pipe waits for its reader before
        // the work starts, and a device that refuses says so before anything is done.
        stream = own >= 0 ? ::fcntl(own, F_DUPFD_CLOEXEC, 0) : ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (stream < 0) throw Error("cannot open output " + path + ": " + systemError(errno));
        if ((::fcntl(stream, F_GETFL) & O_ACCMODE) == O_RDONLY) {
            discard();
            throw Error("cannot write " + path + ": it is open for reading only");
        }
        struct stat opened {};
        struct stat out {};
        toStandardOutput = ::fstat(stream, &opened) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 && sameInode(opened, out);
        std::error_code error;
        folder = fs::temp_directory_path(error);
        if (error) {
            discard();
            throw Error("no folder for temporary files: " + error.message());
        }
        const std::string name = (folder / "orvex-XXXXXX").string();
        pattern.assign(name.begin(), name.end());
    } else {
        targetPath = chain.back();
        struct stat target {};
        if (exists && (::stat(targetPath.c_str(), &target) != 0 || !sameInode(target, status)))
            throw Error("cannot tell which file " + path + " names");
        const fs::path targetName(targetPath);
        folder = targetName.has_parent_path() ? targetName.parent_path() : fs::path(".");
        const std::string name = (folder / ("." + targetName.filename().string() + ".orvex-XXXXXX")).string();
        pattern.assign(name.begin(), name.end());
        // The finished file gets the mode of the file it replaces, or an ordinary new file's.
        if (exists) {
            mode = status.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
    }
    pattern.push_back(0);
    temp = createWatchedTemp(pattern);
    if (temp < 0) {
        const int error = errno;
        discard();
        throw Error("cannot write into " + folder.string() + ": " + systemError(error));
    }
    tempPath = pattern.data();
    ::fchmod(temp, mode);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    if (temp >= 0) ::close(temp);
    temp = -1;
    if (stream >= 0) ::close(stream);
    stream = -1;
    if (!tempPath.empty()) {
        ::unlink(tempPath.c_str());
        forgetTemp();
        tempPath.clear();
    }
}

namespace {

// Writes all of `size` bytes; false with errno set when the file takes no more.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void OutputFile::write(const void* data, std::size_t size) {
    if (temp < 0) throw Error("output " + shownPath + " is closed");
    if (!writeAll(temp, static_cast<const char*>(data), size))
        throw Error("cannot write " + shownPath + ": " + systemError(errno));
}

void OutputFile::commit() {
    if (temp < 0) throw Error("output " + shownPath + " is closed");
    if (stream >= 0) {
        if (::lseek(temp, 0, SEEK_SET) != 0) throw Error("cannot read back " + tempPath + ": " + systemError(errno));
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t got = ::read(temp, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw Error("cannot read back " + tempPath + ": " + systemError(errno));
            if (got == 0) break;
            if (!writeAll(stream, buffer.data(), static_cast<std::size_t>(got)))
                throw Error("cannot write " + shownPath + ": " + systemError(errno));
        }
        const int closing = ::close(stream);
        stream = -1;
        if (closing != 0) throw Error("cannot finish " + shownPath + ": " + systemError(errno));
        discard();
        return;
    }
    // On the disk before it replaces anything, so that a crash cannot leave OUT empty.
    if (::fsync(temp) != 0 && errno != EINVAL) throw Error("cannot write " + shownPath + ": " + systemError(errno));
    const int closing = ::close(temp);
    temp = -1;
    if (closing != 0) throw Error("cannot finish " + shownPath + ": " + systemError(errno));
    if (::rename(tempPath.c_str(), targetPath.c_str()) != 0)
        throw Error("cannot rename the finished file onto " + targetPath + ": " + systemError(errno));
    forgetTemp();
    tempPath.clear();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && sameInode(first, second);
}

}  // namespace orvex::cli
