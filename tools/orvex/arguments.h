// Command-line parsing for the `orvex` subcommands: turns argument lists into plain
// option records and checks everything that can be checked without a plug-in
// (number syntax and ranges). Names of parameters and programs are resolved later
// against the loaded plug-in.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvex::cli {

// A failure to report on stderr; the command exits with `status`.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, int status = 1) : std::runtime_error(message), exitStatus(status) {}
    int status() const { return exitStatus; }

private:
    int exitStatus;
};

// A badly formed command line (exit status 2); the message points at the help.
class UsageError : public Error {
public:
    UsageError(const std::string& command, const std::string& message);
};

// Number syntax: the whole text must be the number.
std::optional<long long> parseInteger(const std::string& text);
std::optional<double> parseFinite(const std::string& text);

struct ParameterSetting {
    std::string parameter;  // index or name, resolved against the plug-in
    float value = 0.0f;     // normalised, checked to lie in 0..1
    // VALUE in the parameter's own terms ("250Hz", "Soft shaper"), resolved against the
    // plug-in (values.h); empty when VALUE is a bare normalised number.
    std::optional<std::string> written;
};

struct ControllerEvent {
    int controller = 0;
    int value = 0;
    double seconds = 0.0;
};

struct NoteEvent {
    int note = 0;
    double seconds = 0.0;
};

struct ListOptions {
    bool help = false;
    std::optional<std::string> path;
};

struct InfoOptions {
    bool help = false;
    std::optional<std::string> path;
    std::string plugin;
    std::optional<std::string> program;
    std::vector<ParameterSetting> settings;  // in command-line order
    bool printSettings = false;              // the state as a settings file instead
};

struct RenderOptions {
    bool help = false;
    std::optional<std::string> path;
    std::string plugin;
    std::string input;
    std::string output;
    // A batch (--out-dir DIR): every positional after PLUGIN is an input, "-" alone
    // stands for the names on standard input; input and output above stay empty.
    std::optional<std::string> outDir;
    std::vector<std::string> inputs;
    int jobs = 0;  // workers; 0: one per core
    std::optional<std::string> program;
    std::vector<std::string> settingsFiles;  // applied after the program, before `settings`
    std::vector<ParameterSetting> settings;  // in command-line order
    double tempo = 120.0;
    bool tempoGiven = false;
    bool transport = true;
    std::vector<ControllerEvent> controllers;
    std::vector<NoteEvent> notes;
    int block = 512;
    double tail = 0.0;
    std::optional<std::string> format;
    bool inPlace = false;  // OUT may be IN
    bool quiet = false;
};

struct SnapshotOptions {
    bool help = false;
    std::optional<std::string> path;
    std::string plugin;
    std::string output;
    std::optional<std::string> program;
    std::vector<ParameterSetting> settings;  // in command-line order
    double scale = 1.0;  // one of the editors' scales
};

struct BenchOptions {
    bool help = false;
    std::optional<std::string> path;
    std::string plugin;
    std::optional<std::string> program;
    std::vector<ParameterSetting> settings;  // in command-line order
    double tempo = 120.0;
    int block = 512;
    int runs = 5;
    double seconds = 10.0;  // audio per run
};

struct DemoOptions {
    bool help = false;
    std::optional<std::string> path;
    std::string directory = "demo";
    double tempo = 120.0;
    int block = 512;
};

struct ValidateOptions {
    bool help = false;
    std::optional<std::string> path;
    std::vector<std::string> plugins;  // none: every plug-in in the search folders
    std::vector<std::string> only;     // check names, groups or globs
    std::vector<std::string> with;     // more bundles to run side by side
    bool alone = false;                // no bundles side by side but the plug-in's own
    bool quick = false;
    bool json = false;
    bool list = false;
    bool verbose = false;
    bool allowSkips = false;  // checks this machine could not run do not fail the run
    int seed = 1;
    double timeout = 300.0;
};

ListOptions parseList(const std::vector<std::string>& args);
InfoOptions parseInfo(const std::vector<std::string>& args);
RenderOptions parseRender(const std::vector<std::string>& args);
DemoOptions parseDemo(const std::vector<std::string>& args);
SnapshotOptions parseSnapshot(const std::vector<std::string>& args);
BenchOptions parseBench(const std::vector<std::string>& args);
ValidateOptions parseValidate(const std::vector<std::string>& args);

// The limits the options are checked against.
inline constexpr int kMaxBlock = 65536;
inline constexpr double kMinTempo = 1.0;
inline constexpr double kMaxTempo = 999.0;
inline constexpr double kMaxTail = 3600.0;
inline constexpr int kMaxRuns = 1000;
inline constexpr double kMaxBenchSeconds = 600.0;
inline constexpr int kMaxJobs = 256;

}  // namespace orvex::cli
