// Many files through one plug-in with one command (`orvex render PLUGIN IN...
// --out-dir DIR`): the outputs' names, the workers that render the files side by side,
// Ctrl-C, one progress bar for the whole batch and the table at the end.
//
// Threads: planning, the bar, the messages and the table run on the main thread; each
// worker thread renders its files one after another through a FileRenderer of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

struct BatchFile {
    std::string input;   // as given
    std::string output;  // DIR/<input's stem>.<extension>
    // Why the file is not rendered at all, found while planning (its output would
    // replace one of the inputs); empty when it is rendered.
    std::string refusal;
};

// The names on `in`, one a line; blank lines are skipped and a line's end may be CRLF.
std::vector<std::string> readNameList(std::istream& in);

// Each input's output in `folder`: its stem with the extension of --format's family when
// given (`format` as the option was written, "flac:24"), else the input's own. Two
// inputs that would be written to one output (a/x.wav and b/x.wav, or one file named
// twice) are a bad command line: UsageError naming every clash, before anything is
// rendered. An output that is one of the inputs gets a refusal.
std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format);

// What one file's render gave, for the table.
struct FileReport {
    double seconds = 0.0;  // the output's length
    double peakDb = 0.0;   // -inf for silence
};

// Thrown out of a worker's render when the batch is interrupted; the file it was
// writing is left as it was.
struct BatchInterrupted {};

// One worker's way of rendering: made on its worker thread, then given that worker's
// files one after another.
class FileRenderer {
public:
    virtual ~FileRenderer() = default;
    // Renders `file.input` into `file.output`, calling `progress(done, total)` (frames
    // of this file; total -1 when unknown) after every block. Throws Error with the
    // reason the file failed, BatchInterrupted out of `progress`.
    virtual FileReport render(const BatchFile& file,
                              const std::function<void(int64_t done, int64_t total)>& progress) = 0;
};

struct BatchSettings {
    int jobs = 1;          // workers, at most one per file
    bool quiet = false;    // no table and no bar
    std::string folder;    // DIR, for the closing line
};

// Renders every file. Failures are reported on stderr as they come and the others go
// on; then the table (file, result, length, peak, time) on stdout. Returns 0 when every
// file was written, 1 when any failed, 128 + the signal after SIGINT, SIGTERM or SIGHUP
// (the workers stop, no partial or temporary file is left, the files finished stay).
int runBatch(const std::vector<BatchFile>& files, const BatchSettings& settings,
             const std::function<std::unique_ptr<FileRenderer>()>& makeRenderer);

// The workers for `files` files when --jobs says `jobs` (0: one per core): at least one,
// never more than files.
int workerCount(int jobs, std::size_t files);

}  // namespace orvex::cli
