// Where the commands' OUT goes. The whole file is written into a temporary file first,
// and only a finished file reaches OUT: a regular file (or none yet) is replaced by
// renaming the temporary file, made beside it, over it; a symbolic link stands for the
// file it names, which is replaced the same way and the link kept; a character device
// or a pipe gets the finished file's bytes written into it (WAV, AIFF, CAF and W64
// cannot be written to a stream that cannot seek, since their header is completed
// last); so does a file this process has open that OUT names as /dev/stdout,
// /dev/fd/N or /proc/self/fd/N (what the shell opened with `>` or `>>`), through
// that descriptor. A folder, a socket and a block device are refused. A failure, or Ctrl-C,
// leaves OUT as it was and no temporary file behind.
#pragma once

#include <cstddef>
#include <string>

namespace orvex::cli {

class OutputFile {
public:
    // Throws Error when OUT cannot be written (and says why).
    explicit OutputFile(const std::string& path);
    // Without a commit, removes the temporary file.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The temporary file, open for reading and writing, to write the whole file into.
    int descriptor() const { return temp; }
    const std::string& temporaryPath() const { return tempPath; }
    const std::string& path() const { return shownPath; }
    // True when OUT is this process's standard output, which then carries the file only.
    bool isStandardOutput() const { return toStandardOutput; }

    // Writes `size` bytes at the temporary file's current position. Throws Error.
    void write(const void* data, std::size_t size);
    // Hands the finished file over to OUT. Throws Error, after which OUT is as it was
    // (a device or a pipe may have taken part of the bytes).
    void commit();

private:
    void discard();

    std::string shownPath;   // OUT as given
    std::string targetPath;  // the regular file replaced: OUT, or what its links name
    std::string tempPath;
    int temp = -1;
    int stream = -1;  // a device or a pipe written at commit
    bool toStandardOutput = false;
};

// While one lives (a batch, writing several files at once from several threads),
// SIGINT, SIGTERM and SIGHUP only note the signal, and SIGPIPE is ignored: the threads
// poll `caught` and give up, each OutputFile removing its own temporary file as it is
// destroyed on the thread that made it. (The handler outside a batch removes the one
// temporary file it knows and ends the process, which several files at a time would
// leave behind.) Made and destroyed on the main thread, with no OutputFile alive.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
    // The signal noted, 0 while none; any thread.
    static int caught();
};

// True when both paths name one existing file (the same inode, whatever the links or
// the ".." in the paths).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace orvex::cli
