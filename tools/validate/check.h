// The validator's checks: each a named function that judges one aspect of a VST 2.x,
// CLAP or LV2 plug-in and reports PASS, FAIL or SKIP with the figures it measured. A check runs
// in a process of its own (see runner.cpp), loads its own instances of the plug-in, and
// may crash or hang without taking the validator with it. Each format has its own table
// of checks; what they share (the runner, the report, the harness) is written once.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/vsthost/vsthost.h"

namespace orvex::validate {

class Player;

enum class Status { pass, fail, skip };

// Why a check was skipped: the plug-in has nothing for it to judge (no editor, no
// parameters), or this machine lacks what the check needs (an X display that can be
// reached). Only the second leaves a run incomplete.
enum class SkipCause { plugin, machine };

// One named number of a check, for the machine-readable report.
struct Figure {
    std::string name;
    double value;
};

// What a check found.
struct Outcome {
    Status status = Status::pass;
    SkipCause cause = SkipCause::plugin;  // when skipped
    std::string summary;                // one line of figures for the report
    std::vector<Figure> figures;        // the same figures by name, for --json
    std::vector<std::string> problems;  // why it failed, most telling first

    // Adds a problem (and so fails the check).
    void fail(const std::string& problem);
    void figure(const std::string& name, double value) { figures.push_back({name, value}); }
    // Appends to the summary line, separated by ", ".
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void skip(const std::string& why, SkipCause cause = SkipCause::plugin);
};

// The plug-in interface a file is judged through, told by its name: a `.clap` is a CLAP
// plug-in, a URI ("urn:...", "http://...") an LV2 one, anything else a VST 2.x one.
enum class Format { vst, clap, lv2 };
Format formatOf(const std::string& path);

// What every check may know of the plug-in before it starts: probed once by loading it.
struct Target {
    Format format = Format::vst;
    std::string path;
    std::string name;  // effect name, or the file name
    VstInt32 numInputs = 0;
    VstInt32 numOutputs = 0;
    VstInt32 numParams = 0;
    VstInt32 numPrograms = 0;
    VstInt32 flags = 0;          // VST 2.x
    std::string id;              // CLAP: the plug-in id (the factory's first)
    std::string searchPath;      // LV2: the folders its URI (the path) is looked up in
    bool editor = false;         // CLAP: an editor that embeds in an X11 window
    bool hasEditor() const { return format == Format::clap ? editor : (flags & effFlagsHasEditor) != 0; }
};

struct Settings {
    bool quick = false;          // a smaller grid, fewer rounds: for CI
    uint32_t seed = 1;           // every random choice follows from it
    std::vector<std::string> companions;  // other bundles to run side by side with the target
    std::string display;         // the X display editors open on, empty: none
};

// Given to a running check.
class Context {
public:
    Context(const Target& target, const Settings& settings) : target(target), settings(settings) {}

    const Target& target;
    const Settings& settings;

    // Says what the check is doing now; a crash or hang report quotes the last step.
    void step(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // A new instance of the target (opened, not yet started) or of another plug-in.
    // Null, with the loader's reason in `error`, when it does not load.
    std::unique_ptr<vsthost::Plugin> load(const vsthost::HostOptions& options, std::string* error = nullptr) const;
    std::unique_ptr<vsthost::Plugin> loadOther(const std::string& path, const vsthost::HostOptions& options,
                                               std::string* error = nullptr) const;
    // An instance of the target prepared as a host prepares one (the default host,
    // 44.1 kHz, blocks of `block`, resumed); null, with the loader's reason failing
    // `out`, when it does not load.
    std::unique_ptr<vsthost::Plugin> started(Outcome& out, VstInt32 block = 512) const;
    // The same for the checks that only listen, through the target's own interface.
    std::unique_ptr<Player> player(Outcome& out, int block = 512) const;
};

// The host a check plays by default: 44.1 kHz, blocks of 512, a playing transport at
// 120 BPM that moves on with the samples.
vsthost::HostOptions defaultHost(float rate = 44100.0f, VstInt32 block = 512);

using CheckFunction = void (*)(Context&, Outcome&);

struct Check {
    const char* name;      // "group.what", matched by --only
    const char* title;     // what it checks, for --list
    CheckFunction run;
    // The faults of the validator's own test plug-ins (their ORVEX_FAULT words) that
    // this check is shown to fail on, for --list: "faultyeffect: alloc, lock".
    const char* provenBy = "";
    bool needsEditor = false;   // skipped when the plug-in has none or no display can be had
    bool needsInstance = true;  // fails unrun when the plug-in gives no usable instance
};

// Every check of a VST 2.x plug-in, in report order.
const std::vector<Check>& allChecks();
// Every check of a CLAP plug-in, in report order (checks_clap.cpp).
const std::vector<Check>& clapChecks();
// Every check of an LV2 plug-in, in report order (checks_lv2.cpp).
const std::vector<Check>& lv2Checks();
const std::vector<Check>& checksFor(Format format);

// The step buffer shared with the parent process (set up by the runner).
void setStepBuffer(char* buffer, std::size_t size);

}  // namespace orvex::validate
