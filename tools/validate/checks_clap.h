// The checks of a CLAP plug-in (checks_clap*.cpp, their table in checks_clap.cpp) and
// what they share: instances made through the CLAP host library and driven over a
// whole signal through the same harness as the VST 2.x checks. Every function here
// runs on the check's own thread, which loaded the plug-in and so is its main thread;
// the checks that judge the audio thread start one of their own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "check.h"
#include "harness.h"
#include "tools/claphost/claphost.h"

namespace orvex::validate {

// What the checks of a CLAP plug-in need to know of it, from an instance (in the
// probing child); empty, or why the plug-in gives no instance.
std::string describeClap(Target& target);

namespace clap {

using claphost::Plugin;

// An instance of the target (or of the plug-in file `path`), created and initialised;
// null, with the loader's reason in `error`.
std::unique_ptr<Plugin> load(const Context& c, std::string* error = nullptr, const std::string& path = {});
// An instance activated at `rate` for calls of up to `block` frames; null, with the
// reason failing `out`.
std::unique_ptr<Plugin> active(const Context& c, Outcome& out, double rate = 44100.0, uint32_t block = 512);

// How `run` feeds an activated instance.
struct Feed {
    double rate = 44100.0;
    uint32_t block = 512;     // the longest call, as activated
    bool transport = true;    // a playing transport at `tempo` that follows the samples
    double tempo = 120.0;
    // Called before each call, to queue its events (Plugin::queueEvent) or change the
    // transport handed to it (null: none).
    std::function<void(int call, int64_t frame, clap_event_transport_t*& transport)> before;
    Outputs outputs = Outputs::unwritten;
    BufferUse* use = nullptr;
    int* errors = nullptr;    // counts the calls that answered CLAP_PROCESS_ERROR
};
Audio run(Plugin& plugin, const Audio& input, const std::function<int()>& nextLength, const Feed& feed = {});
Audio runBlocks(Plugin& plugin, const Audio& input, int blockLength, const Feed& feed = {});

// An activated instance as a Player (Context::player).
std::unique_ptr<Player> player(const Context& c, Outcome& out, int block);

// Noise through an instance activated at 44.1 kHz, in blocks of 512: what a plug-in
// in a given state should always give back.
Audio fingerprint(Plugin& plugin, int frames, uint64_t seed = 7);

// Every parameter's value, by index (NaN where get_value refuses).
std::vector<double> values(const Plugin& plugin);
// A value of the parameter's range: `where` 0 is its minimum, 1 its maximum; whole
// for a stepped one.
double within(const claphost::ParamInfo& info, double where);
// Every parameter to a random value of its range, as events for the next call or flush.
void queueRandomValues(Plugin& plugin, Random& random, uint32_t time = 0);

// The output events of the last process or flush, judged: well formed, of the core
// space's kinds, parameter values of known parameters within their ranges, times inside
// the call of `frames`; a change the host itself just `sent` is no news to it. Returns
// how many there were.
std::size_t judgeOutputEvents(const Plugin& p, Outcome& out, const std::string& where, uint32_t frames,
                              const std::vector<std::pair<clap_id, double>>& sent = {});

}  // namespace clap

void checkClapOpen(Context&, Outcome&);
void checkClapExports(Context&, Outcome&);
void checkClapFactory(Context&, Outcome&);
void checkClapCycles(Context&, Outcome&);
void checkClapSideBySide(Context&, Outcome&);

void checkClapLifecycle(Context&, Outcome&);
void checkClapBlockSplit(Context&, Outcome&);

void checkClapParameterExtremes(Context&, Outcome&);
void checkClapRandomParameters(Context&, Outcome&);
void checkClapParameterTexts(Context&, Outcome&);
void checkClapReadback(Context&, Outcome&);
void checkClapFlush(Context&, Outcome&);
void checkClapState(Context&, Outcome&);
void checkClapGarbageState(Context&, Outcome&);

void checkClapTimeInfo(Context&, Outcome&);
void checkClapRandomMidi(Context&, Outcome&);
void checkClapRealtime(Context&, Outcome&);
void checkClapFpState(Context&, Outcome&);
void checkClapThreads(Context&, Outcome&);

void checkClapEditorCycles(Context&, Outcome&);
void checkClapEditorWhileProcessing(Context&, Outcome&);
void checkClapEditorSize(Context&, Outcome&);

void checkClapNoHost(Context&, Outcome&);
void checkClapInvalidParameters(Context&, Outcome&);
void checkClapPrograms(Context&, Outcome&);
void checkClapLatency(Context&, Outcome&);
void checkClapParameterThreads(Context&, Outcome&);
void checkClapCloseWithEditorOpen(Context&, Outcome&);
void checkClapEditorAfterClose(Context&, Outcome&);

}  // namespace orvex::validate
