#include "batch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "arguments.h"
#include "outputfile.h"
#include "progress.h"
#include "report.h"
#include "table.h"

namespace orvex::cli {

namespace fs = std::filesystem;

std::vector<std::string> readNameList(std::istream& in) {
    std::vector<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        names.push_back(line);
    }
    return names;
}

std::vector<BatchFile> planBatch(const std::vector<std::string>& inputs, const std::string& folder,
                                 const std::optional<std::string>& format) {
    std::string extension;
    if (format) {
        // The families' names are their extensions.
        extension = "." + format->substr(0, format->find(':'));
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    std::vector<BatchFile> files;
    std::map<std::string, std::size_t> byOutput;  // output name -> the first input written there
    std::string clashes;
    for (const std::string& input : inputs) {
        const fs::path given(input);
        const std::string name = given.stem().string() + (format ? extension : given.extension().string());
        BatchFile file{input, (fs::path(folder) / name).string(), {}};
        const auto [first, fresh] = byOutput.emplace(name, files.size());
        if (!fresh) {
            const std::string& earlier = files[first->second].input;
            clashes += "\n  " + (earlier == input ? input + " is given twice"
                                                  : earlier + " and " + input + " would both be written to " +
                                                        file.output);
        }
        files.push_back(std::move(file));
    }
    if (!clashes.empty())
        throw UsageError("render", "two inputs for one output, nothing rendered:" + clashes +
                                       "\nrename one, or render them into different folders");

    // An input is never written over: the files in the batch, by inode, whatever the
    // names (DIR may be an input's own folder, given another way).
    std::vector<std::pair<dev_t, ino_t>> inputFiles;
    for (const BatchFile& f : files) {
        struct stat status {};
        if (::stat(f.input.c_str(), &status) == 0) inputFiles.emplace_back(status.st_dev, status.st_ino);
    }
    std::sort(inputFiles.begin(), inputFiles.end());
    for (BatchFile& f : files) {
        struct stat status {};
        if (::stat(f.output.c_str(), &status) != 0) continue;
        if (std::binary_search(inputFiles.begin(), inputFiles.end(), std::make_pair(status.st_dev, status.st_ino)))
            f.refusal = "not rendered: its output " + f.output + " is an input of this batch";
    }
    return files;
}

int workerCount(int jobs, std::size_t files) {
    std::size_t n = jobs > 0 ? static_cast<std::size_t>(jobs) : std::thread::hardware_concurrency();
    n = std::min(std::max<std::size_t>(n, 1), std::max<std::size_t>(files, 1));
    return static_cast<int>(n);
}

namespace {

struct Outcome {
    enum class State { waiting, ok, failed, interrupted } state = State::waiting;
    std::string error;
    FileReport report;
    double wallSeconds = 0.0;
};

std::string duration(double seconds) {
    return seconds < 1.0 ? formatted("%.0f ms", seconds * 1000.0) : formatted("%.2f s", seconds);
}

// What the workers share with the main thread. Each worker has a slot of its own for
// the file it renders, written after every block with plain atomic stores; the rest is
// under the lock, taken once a file.
struct Shared {
    struct Slot {
        std::atomic<int64_t> done{0};
        std::atomic<int64_t> total{0};  // 0: between files
    };
    explicit Shared(std::size_t workers) : slots(workers) {}

    std::vector<Slot> slots;
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable changed;
    std::size_t finished = 0;  // files with an outcome
    int running = 0;           // workers not yet returned
    std::vector<std::size_t> failures;  // files failed since the main thread last reported
};

// A worker thread: takes the next file not taken until none is left or the batch is
// interrupted, and posts each outcome for the main thread.
void work(const std::vector<BatchFile>& files, std::vector<Outcome>& outcomes, Shared& shared, std::size_t slotIndex,
          const std::function<std::unique_ptr<FileRenderer>()>& makeRenderer) {
    Shared::Slot& slot = shared.slots[slotIndex];
    std::unique_ptr<FileRenderer> renderer;
    std::string rendererError;
    try {
        renderer = makeRenderer();
    } catch (const std::exception& e) {
        rendererError = e.what();
    }
    const auto progress = [&slot](int64_t done, int64_t total) {
        if (InterruptCatcher::caught()) throw BatchInterrupted{};
        slot.total.store(total > 0 ? total : -1, std::memory_order_relaxed);
        slot.done.store(done, std::memory_order_relaxed);
    };
    for (;;) {
        if (InterruptCatcher::caught()) break;
        const std::size_t index = shared.next.fetch_add(1);
        if (index >= files.size()) break;
        const BatchFile& file = files[index];
        Outcome outcome;
        const auto started = std::chrono::steady_clock::now();
        slot.done.store(0, std::memory_order_relaxed);
        slot.total.store(-1, std::memory_order_relaxed);
        try {
            if (!file.refusal.empty()) throw Error(file.refusal);
            if (!renderer) throw Error(rendererError);
            outcome.report = renderer->render(file, progress);
            outcome.state = Outcome::State::ok;
        } catch (const BatchInterrupted&) {
            outcome.state = Outcome::State::interrupted;
        } catch (const std::exception& e) {
            outcome.state = Outcome::State::failed;
            outcome.error = e.what();
        }
        outcome.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        slot.total.store(0, std::memory_order_relaxed);
        std::lock_guard<std::mutex> guard(shared.lock);
        outcomes[index] = std::move(outcome);
        ++shared.finished;
        if (outcomes[index].state == Outcome::State::failed) shared.failures.push_back(index);
        shared.changed.notify_all();
    }
    std::lock_guard<std::mutex> guard(shared.lock);
    --shared.running;
    shared.changed.notify_all();
}

}  // namespace

int runBatch(const std::vector<BatchFile>& files, const BatchSettings& settings,
             const std::function<std::unique_ptr<FileRenderer>()>& makeRenderer) {
    const int workers = workerCount(settings.jobs, files.size());
    std::vector<Outcome> outcomes(files.size());
    Shared shared(static_cast<std::size_t>(workers));
    ProgressBar bar(!settings.quiet && ProgressBar::stderrIsTerminal(), "rendering", 1.0);
    const auto started = std::chrono::steady_clock::now();
    int signal = 0;
    {
        const InterruptCatcher catcher;
        std::vector<std::thread> threads;
        shared.running = workers;
        // The workers (and any thread a plug-in starts) are born with the signals held
        // back, so that the main thread takes them and no worker's call is cut short.
        sigset_t held;
        sigset_t previous;
        sigemptyset(&held);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
        ::pthread_sigmask(SIG_BLOCK, &held, &previous);
        for (int w = 0; w < workers; ++w)
            threads.emplace_back(work, std::cref(files), std::ref(outcomes), std::ref(shared),
                                 static_cast<std::size_t>(w), std::cref(makeRenderer));
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        std::unique_lock<std::mutex> guard(shared.lock);
        for (;;) {
            // Failures as they come, then the bar: the files finished, and the part
            // done of each file being rendered.
            for (std::size_t index : shared.failures) {
                bar.finish();
                const std::string& error = outcomes[index].error;
                const std::string& input = files[index].input;
                // Most reasons name the file already.
                if (error.find(input) != std::string::npos)
                    std::fprintf(stderr, "orvex render: %s\n", error.c_str());
                else
                    std::fprintf(stderr, "orvex render: %s: %s\n", input.c_str(), error.c_str());
            }
            shared.failures.clear();
            if (shared.running == 0) break;
            double fraction = static_cast<double>(shared.finished);
            for (const Shared::Slot& slot : shared.slots) {
                const int64_t total = slot.total.load(std::memory_order_relaxed);
                if (total > 0)
                    fraction += std::clamp(static_cast<double>(slot.done.load(std::memory_order_relaxed)) /
                                               static_cast<double>(total), 0.0, 1.0);
            }
            bar.show(fraction / static_cast<double>(files.size()),
                     std::to_string(shared.finished) + " / " + std::to_string(files.size()) + " files");
            shared.changed.wait_for(guard, std::chrono::milliseconds(100));
        }
        guard.unlock();
        for (std::thread& t : threads) t.join();
        signal = InterruptCatcher::caught();
    }
    bar.finish();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::size_t written = 0;
    std::size_t failed = 0;
    for (const Outcome& o : outcomes) {
        written += o.state == Outcome::State::ok;
        failed += o.state == Outcome::State::failed;
    }
    if (signal) {
        std::fprintf(stderr,
                     "orvex render: interrupted: %zu of %zu files written, the others not (no partial file left)\n",
                     written, files.size());
        return 128 + signal;
    }
    if (!settings.quiet) {
        // The result last, where a long reason widens no other column.
        Table table({{"File"},
                     {"Length", Table::Align::right},
                     {"Peak", Table::Align::right},
                     {"Time", Table::Align::right},
                     {"Result"}});
        for (std::size_t i = 0; i < files.size(); ++i) {
            const Outcome& o = outcomes[i];
            if (o.state != Outcome::State::ok) {
                table.add({files[i].input, "-", "-", duration(o.wallSeconds), o.error});
                continue;
            }
            table.add({files[i].input, formatted("%.3f s", o.report.seconds),
                       decibels(o.report.peakDb), duration(o.wallSeconds), "ok"});
        }
        table.print();
        std::printf("\n%zu of %zu file%s written into %s", written, files.size(), files.size() == 1 ? "" : "s",
                    settings.folder.c_str());
        if (failed) std::printf(", %zu failed", failed);
        std::printf(" (%s, %d worker%s)\n", duration(wall).c_str(), workers, workers == 1 ? "" : "s");
    }
    return failed ? 1 : 0;
}

}  // namespace orvex::cli
