// The checks of an LV2 plug-in (checks_lv2*.cpp, their table in checks_lv2.cpp) and
// what they share: instances made through the LV2 host library (tools/lilvhost) from
// the plug-in's URI among the bundles of the target's search path, and driven over a
// whole signal through the same harness as the VST 2.x and CLAP checks. Everything
// runs on the check's own thread, which loads the plug-in and plays its audio thread;
// the real-time check runs the plug-in on a watched thread of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "check.h"
#include "harness.h"
#include "tools/lilvhost/lilvhost.h"

namespace orvex::validate {

// What the checks of an LV2 plug-in need to know of it, from an instance (in the
// probing child); empty, or why the plug-in gives no instance.
std::string describeLv2(Target& target);

namespace lv2 {

using lilvhost::Plugin;

// An instance of the target at `rate` for runs of up to `block`, activated, its ports
// at their defaults and a playing transport at 120 BPM told before every run; null,
// with the loader's reason in `error`.
std::unique_ptr<Plugin> load(const Context& c, std::string* error = nullptr, double rate = 44100.0,
                             uint32_t block = 512);
// The same, the reason failing `out`.
std::unique_ptr<Plugin> active(const Context& c, Outcome& out, double rate = 44100.0, uint32_t block = 512);

// Called before each run with its index and first frame, to set ports, queue MIDI or
// tell another transport.
using BeforeRun = std::function<void(int run, int64_t frame)>;
// `input` through the instance in runs of the lengths `nextLength` gives (at most the
// instantiated block), as validate::run drives any plug-in.
Audio run(Plugin& plugin, const Audio& input, const std::function<int()>& nextLength, const BeforeRun& before = {});
Audio runBlocks(Plugin& plugin, const Audio& input, int block, const BeforeRun& before = {});

// An instance as a Player (Context::player): prepared anew means instantiated anew,
// as the rate and the longest run are given to an LV2 plug-in only then.
std::unique_ptr<Player> player(const Context& c, Outcome& out, int block);

// A value of the port's range: `where` 0 is its minimum, 1 its maximum; a choice's
// nearest scale point, a toggle's end, a whole number for an integer port.
float within(const lilvhost::ControlInfo& control, double where);

}  // namespace lv2

void checkLv2Open(Context&, Outcome&);
void checkLv2BlockSplit(Context&, Outcome&);
void checkLv2ParameterExtremes(Context&, Outcome&);
void checkLv2RandomParameters(Context&, Outcome&);
void checkLv2State(Context&, Outcome&);

void checkLv2TimeInfo(Context&, Outcome&);
void checkLv2RandomMidi(Context&, Outcome&);
void checkLv2Realtime(Context&, Outcome&);

}  // namespace orvex::validate
