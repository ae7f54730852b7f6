// Runs the checks, each in a child process of its own, and prints the report. The
// parent never loads a plug-in: whatever a plug-in does to its process (crash, hang,
// exit, scribble on stdout) ends in that child and becomes the check's failure.
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>

#include "check.h"
#include "checks_clap.h"
#include "checks_lv2.h"
#include "tools/lilvhost/lilvhost.h"
#include "validate.h"
#include "xserver.h"
#include "tools/measure/measure.h"

namespace orvex::validate {

namespace {

constexpr std::size_t kStepSize = 512;
constexpr std::size_t kLogTail = 16384;

// The check running now, so that an interrupted validator takes it down with it.
volatile sig_atomic_t runningCheck = 0;

void stopRunningCheck() {
    if (runningCheck > 0) kill(-static_cast<pid_t>(runningCheck), SIGKILL);
}

struct ChildRun {
    bool answered = false;  // the child wrote its whole answer and exited
    std::string answer;
    std::string log;   // what the child (the plug-in, a sanitizer) printed
    std::string step;  // the last step the check announced
    int signal = 0;
    int exitStatus = 0;
    bool timedOut = false;
    double seconds = 0;
};

void writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Runs `body` in a child process (its own process group, stdout and stderr captured)
// and collects the string it returns. The answer ends with a line "end" so that a
// child that dies half-way through writing is told from one that finished.
ChildRun runChild(const std::function<std::string()>& body, double timeout) {
    ChildRun result;
    char* step = static_cast<char*>(mmap(nullptr, kStepSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (step == MAP_FAILED) step = nullptr;
    if (step) step[0] = 0;
    int fds[2];
    if (pipe(fds) != 0) {
        result.log = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    const int log = memfd_create("orvex-validate-log", MFD_CLOEXEC);
    std::fflush(nullptr);
    const double start = measure::wallSeconds();
    const pid_t pid = fork();
    if (pid < 0) {
        result.log = std::string("cannot fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        if (log >= 0) close(log);
        return result;
    }
    if (pid == 0) {
        setpgid(0, 0);
        close(fds[0]);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        signal(SIGPIPE, SIG_IGN);
        setStepBuffer(step, kStepSize);
        std::string answer;
        try {
            answer = body();
        } catch (const std::exception& e) {
            answer = "status fail\nproblem the check stopped: " + std::string(e.what()) + "\n";
        }
        writeAll(fds[1], answer + "end\n");
        std::fflush(nullptr);
        // No exit handlers: a plug-in's static destructors are not what is being judged here.
        _exit(0);
    }
    close(fds[1]);
    runningCheck = pid;
    const double deadline = start + timeout;
    char buffer[4096];
    for (;;) {
        const double left = deadline - measure::wallSeconds();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min(left, 1.0) * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.answer.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (result.timedOut) kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Grandchildren of a check are gone with it.
    kill(-pid, SIGKILL);
    runningCheck = 0;
    result.seconds = measure::wallSeconds() - start;
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    const std::string endMark = "end\n";
    result.answered = !result.timedOut && result.signal == 0 && result.answer.size() >= endMark.size() &&
                      result.answer.compare(result.answer.size() - endMark.size(), endMark.size(), endMark) == 0;
    if (step) {
        step[kStepSize - 1] = 0;
        result.step = step;
        munmap(step, kStepSize);
    }
    if (log >= 0) {
        const off_t size = lseek(log, 0, SEEK_END);
        const off_t from = size > static_cast<off_t>(kLogTail) ? size - static_cast<off_t>(kLogTail) : 0;
        std::string text(static_cast<std::size_t>(size - from), '\0');
        if (!text.empty() && pread(log, text.data(), text.size(), from) > 0) result.log = text;
        close(log);
    }
    return result;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

std::string serialise(const Outcome& outcome) {
    std::ostringstream out;
    out << "status " << (outcome.status == Status::pass ? "pass" : outcome.status == Status::fail ? "fail" : "skip")
        << "\n";
    if (outcome.status == Status::skip && outcome.cause == SkipCause::machine) out << "cause machine\n";
    out << "summary " << oneLine(outcome.summary) << "\n";
    char number[64];
    for (const Figure& f : outcome.figures) {
        std::snprintf(number, sizeof number, "%.17g", f.value);
        out << "figure " << oneLine(f.name) << " " << number << "\n";
    }
    for (const std::string& p : outcome.problems) out << "problem " << oneLine(p) << "\n";
    return out.str();
}

Outcome deserialise(const std::string& text) {
    Outcome outcome;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "status") {
            outcome.status = rest == "fail" ? Status::fail : rest == "skip" ? Status::skip : Status::pass;
        } else if (key == "cause") {
            outcome.cause = rest == "machine" ? SkipCause::machine : SkipCause::plugin;
        } else if (key == "summary") {
            outcome.summary = rest;
        } else if (key == "figure") {
            const auto split = rest.rfind(' ');
            if (split != std::string::npos)
                outcome.figures.push_back({rest.substr(0, split), std::strtod(rest.c_str() + split + 1, nullptr)});
        } else if (key == "problem") {
            outcome.problems.push_back(rest);
        }
    }
    return outcome;
}

// The first line of a sanitizer's report in what a child printed, if any.
std::string sanitizerLine(const std::string& log) {
    std::istringstream in(log);
    std::string line, found;
    while (std::getline(in, line)) {
        if (line.find("SUMMARY: ") != std::string::npos) return line;
        if (found.empty() && (line.find("ERROR: AddressSanitizer") != std::string::npos ||
                              line.find("runtime error:") != std::string::npos ||
                              line.find("ERROR: LeakSanitizer") != std::string::npos))
            found = line;
    }
    return found;
}

std::string signalText(int sig) {
    const char* abbrev = sigabbrev_np(sig);
    const char* description = strsignal(sig);
    return std::string(abbrev ? "SIG" + std::string(abbrev) : std::to_string(sig)) +
           (description ? " (" + std::string(description) + ")" : "");
}

// A check's outcome from its child, a crash or hang turned into a failure.
Outcome outcomeOf(const ChildRun& run, double timeout) {
    if (run.answered) {
        Outcome outcome = deserialise(run.answer);
        if (outcome.summary.empty() && !outcome.problems.empty()) outcome.summary = outcome.problems.front();
        return outcome;
    }
    Outcome outcome;
    const std::string during = run.step.empty() ? "" : " during: " + run.step;
    if (run.timedOut) {
        char text[64];
        std::snprintf(text, sizeof text, "hung: no result within %.0f s", timeout);
        outcome.fail(text + during);
    } else if (run.signal != 0) {
        outcome.fail("crashed with " + signalText(run.signal) + during);
    } else if (const std::string report = sanitizerLine(run.log); !report.empty()) {
        // A sanitizer stops the process with a status of its own after its report.
        outcome.fail("crashed: the sanitizer stopped it" + during);
        outcome.problems.push_back(report);
    } else {
        outcome.fail("the process ended with status " + std::to_string(run.exitStatus) + " before the check was done" +
                     during);
    }
    if (run.signal != 0 || run.timedOut)
        if (const std::string report = sanitizerLine(run.log); !report.empty()) outcome.problems.push_back(report);
    outcome.summary = outcome.problems.front();
    return outcome;
}

// Target serialised for the trip from the probing child.
std::string serialise(const Target& t) {
    std::ostringstream out;
    out << "name " << oneLine(t.name) << "\n"
        << "io " << t.numInputs << " " << t.numOutputs << "\n"
        << "counts " << t.numParams << " " << t.numPrograms << "\n"
        << "flags " << t.flags << "\n"
        << "editor " << t.editor << "\n";
    if (!t.id.empty()) out << "id " << oneLine(t.id) << "\n";
    return out.str();
}

void deserialise(const std::string& text, Target& t) {
    std::istringstream in(text);
    std::string key;
    while (in >> key) {
        if (key == "name") {
            in.get();
            std::getline(in, t.name);
        } else if (key == "io") {
            in >> t.numInputs >> t.numOutputs;
        } else if (key == "counts") {
            in >> t.numParams >> t.numPrograms;
        } else if (key == "flags") {
            in >> t.flags;
        } else if (key == "editor") {
            in >> t.editor;
        } else if (key == "id") {
            in.get();
            std::getline(in, t.id);
        } else {
            std::string rest;
            std::getline(in, rest);
        }
    }
}

std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* statusWord(Status s) { return s == Status::pass ? "PASS" : s == Status::fail ? "FAIL" : "SKIP"; }
const char* statusName(Status s) { return s == Status::pass ? "pass" : s == Status::fail ? "fail" : "skip"; }

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char code[8];
                    std::snprintf(code, sizeof code, "\\u%04x", c);
                    out += code;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

struct CheckReport {
    const Check* check;
    Outcome outcome;
    double seconds;
};

struct PluginReport {
    Target target;
    std::vector<CheckReport> checks;
    int passed = 0, failed = 0, skipped = 0;
    int incomplete = 0;  // of the skipped: this machine could not run them
    double seconds = 0;
};

bool skippedHere(const Outcome& o) { return o.status == Status::skip && o.cause == SkipCause::machine; }

// The plug-in's summary line, then its skipped checks by reason, each named.
void printSummary(const PluginReport& report, bool allowSkips) {
    const char* verdict = report.failed ? "FAILED" : report.incomplete && !allowSkips ? "INCOMPLETE" : "PASSED";
    std::printf("%s: %d passed, %d failed, %d skipped in %.1f s: %s\n", report.target.name.c_str(), report.passed,
                report.failed, report.skipped, report.seconds, verdict);
    std::vector<std::pair<const Outcome*, std::string>> reasons;  // first outcome of each reason, the names
    for (const CheckReport& r : report.checks) {
        if (r.outcome.status != Status::skip) continue;
        auto same = std::find_if(reasons.begin(), reasons.end(), [&](const auto& k) {
            return k.first->summary == r.outcome.summary && k.first->cause == r.outcome.cause;
        });
        if (same == reasons.end()) {
            reasons.push_back({&r.outcome, r.check->name});
        } else {
            same->second += std::string(", ") + r.check->name;
        }
    }
    for (const auto& [outcome, names] : reasons) {
        const auto count = std::count(names.begin(), names.end(), ',') + 1;
        if (outcome->cause == SkipCause::machine)
            std::printf("  %ld not run on this machine (%s): %s%s\n", static_cast<long>(count), outcome->summary.c_str(),
                        names.c_str(), allowSkips ? ", accepted with --allow-skips" : "; --allow-skips accepts that");
        else
            std::printf("  %ld skipped as %s: %s\n", static_cast<long>(count), outcome->summary.c_str(), names.c_str());
    }
    std::fflush(stdout);
}

std::string duration(double seconds) {
    char text[32];
    if (seconds < 1.0)
        std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000.0);
    else
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

void printCheck(const CheckReport& r, bool verbose, const ChildRun* run) {
    std::printf("%s  %-24s %s", statusWord(r.outcome.status), r.check->name, r.outcome.summary.c_str());
    if (run) std::printf(" (%s)", duration(r.seconds).c_str());
    std::printf("\n");
    if (r.outcome.status == Status::fail) {
        // The first problem is the summary already when the check could not report.
        const std::size_t shown = 8;
        for (std::size_t i = 0; i < r.outcome.problems.size() && i < shown; ++i)
            if (r.outcome.problems[i] != r.outcome.summary) std::printf("      %s\n", r.outcome.problems[i].c_str());
        if (r.outcome.problems.size() > shown)
            std::printf("      ... and %zu more\n", r.outcome.problems.size() - shown);
        if (verbose && run && !run->log.empty()) {
            std::printf("      the plug-in printed:\n");
            std::istringstream in(run->log);
            std::string line;
            while (std::getline(in, line)) std::printf("      | %s\n", line.c_str());
        }
    }
    std::fflush(stdout);
}

void printJson(const std::vector<PluginReport>& reports, int passed, int failed, int skipped, int incomplete) {
    std::string out = "{\n  \"plugins\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const PluginReport& p = reports[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"path\": " + jsonString(p.target.path) + ", \"name\": " + jsonString(p.target.name);
        out += ", \"passed\": " + std::to_string(p.passed) + ", \"failed\": " + std::to_string(p.failed) +
               ", \"skipped\": " + std::to_string(p.skipped) + ", \"not_run_here\": " + std::to_string(p.incomplete) +
               ", \"seconds\": " + jsonNumber(p.seconds);
        out += ",\n     \"checks\": [";
        for (std::size_t c = 0; c < p.checks.size(); ++c) {
            const CheckReport& r = p.checks[c];
            out += c ? ",\n       {" : "\n       {";
            out += "\"name\": " + jsonString(r.check->name) + ", \"status\": " + jsonString(statusName(r.outcome.status)) +
                   ", \"seconds\": " + jsonNumber(r.seconds) + ", \"summary\": " + jsonString(r.outcome.summary);
            if (r.outcome.status == Status::skip)
                out += std::string(", \"skipped_by\": ") + (skippedHere(r.outcome) ? "\"machine\"" : "\"plugin\"");
            out += ", \"figures\": {";
            for (std::size_t f = 0; f < r.outcome.figures.size(); ++f)
                out += (f ? ", " : "") + jsonString(r.outcome.figures[f].name) + ": " +
                       jsonNumber(r.outcome.figures[f].value);
            out += "}, \"problems\": [";
            for (std::size_t q = 0; q < r.outcome.problems.size(); ++q)
                out += (q ? ", " : "") + jsonString(r.outcome.problems[q]);
            out += "]}";
        }
        out += "]}";
    }
    out += "\n  ],\n  \"passed\": " + std::to_string(passed) + ", \"failed\": " + std::to_string(failed) +
           ", \"skipped\": " + std::to_string(skipped) + ", \"not_run_here\": " + std::to_string(incomplete) + "\n}\n";
    std::fputs(out.c_str(), stdout);
}

// What the checks of a VST 2.x plug-in need to know of it, from an instance (in the
// probing child); empty, or why the plug-in gives no instance.
std::string describeVst(Target& t) {
    auto result = vsthost::Plugin::load(t.path);
    if (!result) return result.error;
    vsthost::Plugin& p = *result.plugin;
    p.open();
    t.name = p.effectName();
    t.numInputs = p.numInputs();
    t.numOutputs = p.numOutputs();
    t.numParams = p.numParams();
    t.numPrograms = p.numPrograms();
    t.flags = p.flags();
    return {};
}

// What differs from one plug-in format to the other: its checks and how it is probed.
struct Face {
    const std::vector<Check>& checks;
    std::string (*describe)(Target&);
};

Face faceOf(Format format) {
    if (format == Format::clap) return {clapChecks(), describeClap};
    if (format == Format::lv2) return {lv2Checks(), describeLv2};
    return {allChecks(), describeVst};
}

// Loads the plug-in once in a child to learn what the checks need to know.
bool probe(Target& target, const Face& face, double timeout, std::string& why) {
    const ChildRun run = runChild(
        [&]() -> std::string {
            Target t;
            t.format = target.format;
            t.path = target.path;
            t.searchPath = target.searchPath;
            const std::string error = face.describe(t);
            if (!error.empty()) return "error " + oneLine(error) + "\n";
            return serialise(t);
        },
        timeout);
    if (!run.answered) {
        why = outcomeOf(run, timeout).summary;
        return false;
    }
    if (run.answer.rfind("error ", 0) == 0) {
        why = run.answer.substr(6, run.answer.find('\n') - 6);
        return false;
    }
    deserialise(run.answer, target);
    if (target.name.empty()) target.name = fileName(target.path);
    return true;
}

}  // namespace

bool selected(const std::string& name, const std::vector<std::string>& patterns) {
    if (patterns.empty()) return true;
    for (const std::string& p : patterns) {
        if (p == name) return true;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 && name[p.size()] == '.') return true;
        if (fnmatch(p.c_str(), name.c_str(), 0) == 0) return true;
    }
    return false;
}

std::vector<CheckListing> checkList() {
    std::vector<CheckListing> list;
    for (const Check& c : allChecks()) list.push_back({c.name, c.title, c.provenBy});
    for (const Check& c : clapChecks()) list.push_back({c.name, std::string("CLAP: ") + c.title, c.provenBy});
    for (const Check& c : lv2Checks()) list.push_back({c.name, std::string("LV2: ") + c.title, c.provenBy});
    return list;
}

int validate(const Request& request) {
    // Interrupted (Ctrl-C, a timeout's TERM): the running check and the private X
    // server go too, then the validator ends as the signal would have ended it.
    struct sigaction stop {};
    stop.sa_handler = [](int sig) {
        stopRunningCheck();
        XServer::stopRunning();
        signal(sig, SIG_DFL);
        raise(sig);
    };
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
    // The editors keep a user's chosen scale in $XDG_CONFIG_HOME: the plug-ins under
    // test read (and could write) a folder of the run's own, never the user's.
    struct PrivateConfig {
        std::string folder;
        PrivateConfig() {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/validate-config-XXXXXX";
            if (::mkdtemp(pattern.data())) {
                folder = pattern;
                setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
            }
        }
        ~PrivateConfig() {
            if (folder.empty()) return;
            std::remove((folder + "/orvex/editor.conf").c_str());
            ::rmdir((folder + "/orvex").c_str());
            ::rmdir(folder.c_str());
        }
    } privateConfig;
    Settings settings;
    settings.quick = request.quick;
    settings.seed = request.seed;
    settings.companions = request.companions;

    std::unique_ptr<XServer> xserver;
    std::string xserverProblem;
    std::vector<PluginReport> reports;
    int passed = 0, failed = 0, skipped = 0, incomplete = 0;
    for (const std::string& path : request.plugins) {
        PluginReport report;
        report.target.path = path;
        report.target.format = formatOf(path);
        if (report.target.format == Format::lv2)
            report.target.searchPath = request.lv2Path.empty() ? lilvhost::hostSearchPath() : request.lv2Path;
        const Face face = faceOf(report.target.format);
        std::vector<const Check*> chosen;
        for (const Check& c : face.checks)
            if (selected(c.name, request.patterns)) chosen.push_back(&c);
        const double start = measure::wallSeconds();
        std::string why;
        const bool loads = probe(report.target, face, request.timeout, why);
        if (report.target.name.empty()) report.target.name = fileName(path);
        if (!request.json) {
            std::printf("%s%s\n  %s\n", reports.empty() ? "" : "\n", report.target.name.c_str(), path.c_str());
            std::fflush(stdout);
        }
        for (const Check* check : chosen) {
            CheckReport r{check, {}, 0};
            ChildRun run;
            bool ran = false;
            if (!loads && std::string(check->name) == "load.open") {
                r.outcome.fail(why);
            } else if (!loads && check->needsInstance) {
                // A check that cannot run on this plug-in has not passed.
                r.outcome.fail("not run: the plug-in gives no usable instance (see load.open)");
            } else if (check->needsEditor && !report.target.hasEditor()) {
                r.outcome.skip("the plug-in has no editor");
            } else {
                if (check->needsEditor && !xserver && xserverProblem.empty()) {
                    xserver = std::make_unique<XServer>();
                    if (!xserver->start(xserverProblem)) xserver.reset();
                }
                settings.display = xserver ? xserver->display() : "";
                if (check->needsEditor && settings.display.empty()) {
                    r.outcome.skip("no X display: " + xserverProblem, SkipCause::machine);
                } else {
                    run = runChild(
                        [&] {
                            Context context(report.target, settings);
                            Outcome outcome;
                            check->run(context, outcome);
                            return serialise(outcome);
                        },
                        request.timeout);
                    ran = true;
                    r.outcome = outcomeOf(run, request.timeout);
                    r.seconds = run.seconds;
                }
            }
            if (r.outcome.summary.empty() && !r.outcome.problems.empty()) r.outcome.summary = r.outcome.problems.front();
            switch (r.outcome.status) {
                case Status::pass: ++report.passed; break;
                case Status::fail: ++report.failed; break;
                case Status::skip: ++report.skipped; break;
            }
            report.incomplete += skippedHere(r.outcome);
            if (!request.json) printCheck(r, request.verbose, ran ? &run : nullptr);
            report.checks.push_back(std::move(r));
        }
        report.seconds = measure::wallSeconds() - start;
        if (!request.json) printSummary(report, request.allowSkips);
        passed += report.passed;
        failed += report.failed;
        skipped += report.skipped;
        incomplete += report.incomplete;
        reports.push_back(std::move(report));
    }
    if (request.json) {
        printJson(reports, passed, failed, skipped, incomplete);
    } else if (reports.size() > 1) {
        int failing = 0, unfinished = 0;
        for (const PluginReport& r : reports) {
            failing += r.failed > 0;
            unfinished += r.failed == 0 && r.incomplete > 0 && !request.allowSkips;
        }
        std::printf("\n%zu plug-ins: %d passed every check, %d failed some", reports.size(),
                    static_cast<int>(reports.size()) - failing - unfinished, failing);
        if (unfinished) std::printf(", %d incomplete", unfinished);
        std::printf(" (%d checks passed, %d failed, %d skipped", passed, failed, skipped);
        if (incomplete) std::printf(", %d of them not run on this machine", incomplete);
        std::printf(")\n");
    }
    return failed == 0 && (incomplete == 0 || request.allowSkips) ? 0 : 1;
}

}  // namespace orvex::validate
