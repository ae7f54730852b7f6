// One plug-in opened for a command, whatever its format: a VST 2.x shared object, a
// CLAP file or an LV2 plug-in named by its URI. The commands reach its parameters and
// programs, set it up and render or measure through it only by this interface, so that
// every command takes every format the same way.
//
// Threads: everything but the RenderTarget calls runs on the command's thread before
// `start` or after `stop`; the command's thread also plays the audio thread between
// them. A batch gives each worker thread a Target of its own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render.h"

namespace orvex::cli {

// How a person reads one parameter, as far as the plug-in's format tells: the unit
// it is counted in, its range in that unit, and its kind.
struct ParameterDescription {
    enum class Kind { continuous, logarithmic, toggle, choice };

    std::string name;        // as the plug-in reports it
    std::string unit;        // "Hz", "%", "BPM", "" ...
    Kind kind = Kind::continuous;
    double minimum = 0.0;    // in the unit at the ends of the range (choices: 0 and entries - 1)
    double maximum = 1.0;
    std::vector<std::string> entries;  // choices: the names, in the order their values rise
    // Whether the unit and range come from the plug-in's own description (our rows'
    // readings, an LV2 port, CLAP's value texts) rather than from its display texts.
    bool described = false;
};

struct ProgramName {
    std::string shown;                  // the name the plug-in shows with the program selected
    std::optional<std::string> stored;  // another name it answers for the program, when it has one
};

// What a plug-in is opened with: the rate and block size it will run at, and the
// tempo of a playing transport (none: no time information at all).
struct HostSetup {
    float sampleRate = 44100.0f;
    int blockSize = 512;
    std::optional<double> tempo = 120.0;
};

class Target : public RenderTarget {
public:
    // The name the plug-in reports (the file's name when it reports none), its vendor,
    // its format ("VST 2.x", "CLAP", "LV2") and the identity hosts know it by (the
    // unique ID, the CLAP id, the URI).
    virtual std::string name() const = 0;
    virtual std::string vendor() const = 0;
    virtual std::string format() const = 0;
    virtual std::string identity() const = 0;

    // Parameters by index, 0 to parameterCount() - 1. A value is normalised: 0 to 1
    // across the parameter's range, as VST 2.x hosts store it; each format maps it onto
    // its own (an LV2 port's range, a stepped CLAP parameter's steps).
    virtual int parameterCount() = 0;
    virtual ParameterDescription describe(int index) = 0;
    virtual float value(int index) = 0;
    virtual void setValue(int index, float normalised) = 0;
    // The plug-in's own display of the current value, with its unit ("250.00 Hz").
    virtual std::string display(int index) = 0;
    // The plug-in's own mapping between a normalised value and the value in the unit
    // (choices: the entry's index); none when the format offers none, and the commands
    // then read the display instead.
    virtual std::optional<float> valueOfUnit(int index, double unitValue) = 0;
    virtual std::optional<double> unitOfValue(int index, float normalised) = 0;

    // Programs (VST 2.x programs, CLAP presets of the preset-discovery factory, LV2
    // presets). Reading the names leaves the current program selected.
    virtual std::vector<ProgramName> programs() = 0;
    virtual void selectProgram(int index) = 0;
    // The program selected now, when the format says.
    virtual std::optional<int> currentProgram() = 0;
};

// The index of parameter `given`: an index, else a name matching exactly one parameter
// (exactly as written first, then ignoring case). Throws Error listing the valid ones.
int findParameter(const std::vector<std::string>& names, const std::string& given, const std::string& pluginName);
// The index of program `given`: a 0-based index, else a name matching one program (shown
// names, then stored names, then either ignoring case). Throws Error listing them.
int findProgram(const std::vector<ProgramName>& names, const std::string& given, const std::string& pluginName);

struct ParameterSetting;
// Selects the program, then sets each parameter the settings files and then the
// settings ask for, in order, all read and checked first (values.h); says what each
// became.
std::vector<std::string> applySettings(Target& target, const std::optional<std::string>& program,
                                       const std::vector<ParameterSetting>& settings,
                                       const std::vector<std::string>& files = {});

// Whether PLUGIN as the user typed it names an LV2 plug-in by URI ("urn:...", "http://...").
bool isLv2Uri(const std::string& text);

// Opens a plug-in found by resolvePlugin: a .clap path through the CLAP host, an LV2
// URI through lilv, anything else as a VST 2.x shared object. Throws Error with the
// host library's reason.
std::unique_ptr<Target> openTarget(const std::string& resolved, const HostSetup& setup);

}  // namespace orvex::cli
