// `orvex validate`: judges any VST 2.x, CLAP or LV2 plug-in the way the strictest plug-in
// validators judge theirs: loading, processing at every rate and block size, extreme
// input, parameters, programs, threads, time information, MIDI, real-time safety and the
// editor, for a `.clap` the rules of its interface (factory, lifecycle, flush, state,
// calling threads, the editor's sizes), and for an LV2 URI what a host of LV2 through
// lilv meets (loading, processing, ports, transport and MIDI atoms, real-time, state). Each check runs in a process of its own, so that
// a plug-in that crashes or hangs fails that check and the report goes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::validate {

struct Request {
    std::vector<std::string> plugins;     // paths of the .so and .clap files and LV2 URIs, in report order
    std::vector<std::string> patterns;    // --only: check names, groups or globs; empty: all
    std::vector<std::string> companions;  // bundles run side by side with each plug-in
    bool quick = false;
    bool json = false;
    bool verbose = false;  // the plug-in's own output of failed checks
    bool allowSkips = false;  // checks this machine could not run leave the exit status 0
    uint32_t seed = 1;
    double timeout = 300.0;  // seconds one check may take before it counts as hung
    // The folders LV2 URIs are looked up in (as LV2_PATH); empty: those an LV2 host searches.
    std::string lv2Path;
};

// Runs the checks on every plug-in, prints the report to stdout and returns the exit
// status: 0 when nothing failed and no check was skipped for want of something on this
// machine (unless allowSkips), 1 otherwise.
int validate(const Request& request);

// Whether a check called `name` is selected by `patterns` (a group such as "params",
// a full name, or a glob such as "*.random"; empty selects everything).
bool selected(const std::string& name, const std::vector<std::string>& patterns);

// A check as `orvex validate --list` shows it: its name, what it checks, and the
// faults of the validator's own test plug-ins it is shown to fail on.
struct CheckListing {
    std::string name;
    std::string title;
    std::string provenBy;
};
std::vector<CheckListing> checkList();

}  // namespace orvex::validate
