// Parameters named and valued as a musician reads them: "Cutoff=1.2kHz", "Mix=80%",
// "LowDiv=1/8 bar", "Type#2=Saw up", or a bare number, which stays the normalised 0..1
// value scripts have always given. The same texts are written into and read from
// settings files (`orvex info PLUGIN --settings`, `orvex render --settings FILE`), so a
// value printed reads back as exactly the float it came from and a render from a
// settings file is the render of that state to the sample.
//
// Threads: everything here runs on the command's thread while the target is not
// processing (before `start` or after `stop`). Resolving a value by the plug-in's
// display sets the parameter while it searches and puts the old value back.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "arguments.h"
#include "target.h"

namespace orvex::cli {

// A value or a line a parameter cannot take, with the reason and what it can take. The
// command reports it as a bad command line (exit status 2), a settings file's line
// with its file and line number in front.
class ValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every parameter's name as the commands take and show it: the plug-in's name, trimmed,
// and where several parameters share it, that name with "#" and which of them it is in
// index order ("Type#1", "Type#2"). "#" needs no quoting in a shell inside a word, and
// the number survives a reordering of the other parameters, which an index does not.
std::vector<std::string> settingNames(Target& target);

// The index PARAM stands for: an index, a name as settingNames gives it, or a name
// only one parameter has, exactly as written first, then ignoring case. Throws Error
// (exit status 1) listing how each parameter can be named; a name shared by several
// says how to name each of them.
int parameterIndex(Target& target, const std::string& given);

// The normalised value VALUE stands for on parameter `index`:
//  - a bare number: that normalised value, from 0 to 1;
//  - a number with a unit, "250Hz", "250 Hz", "1.2kHz", "-6dB", "80%", "128bpm", "20ms"
//    (case ignored; kHz and ms scale hertz and seconds; another unit only where the
//    format describes the parameter in it): the value in the parameter's own unit,
//    through the plug-in's mapping, or where its format gives none by searching its
//    display, taken to rise or fall steadily with the value;
//  - a choice's entry or a switch's "on"/"off", case and spaces ignored.
// Throws ValueError: out of range (with a tolerance of 1e-5 of the range's magnitude
// for numbers rounded in print), an unknown entry, another unit than the parameter's,
// a display that shows no number; the message says what the parameter takes.
float normalisedValue(Target& target, int index, const std::string& text);

// The text of `normalised` on parameter `index` that normalisedValue reads back as
// exactly that float, in the parameter's terms where it can be: the entry, "on"/"off",
// the shortest number with its unit ("21.609kHz", "80%"); else the shortest bare
// normalised number.
std::string valueText(Target& target, int index, float normalised);

// What a parameter takes, in its terms: "20 Hz to 21.609 kHz", "off or on", the
// entries of a choice ("4 bars, 2 bars, ..."), "0 to 1" for a plain value.
std::string rangeText(const ParameterDescription& description);

// rangeText as the Range column of `orvex info` shows it: empty for a plain 0..1 value,
// which the Value column shows already, and where the format does not describe the
// parameter (its display is all there is); a long list of entries wrapped onto the
// lines below.
std::vector<std::string> rangeLines(const ParameterDescription& description);

// One parameter set to a normalised value, resolved from the command line or a
// settings file before anything is applied.
struct SettingChange {
    int index = 0;
    float value = 0.0f;
};

// Reads the settings file at `path`: one NAME=VALUE a line, NAME and VALUE as
// parameterIndex and normalisedValue take them, blank lines and lines starting with
// "#" skipped. Every bad line is reported, each as "FILE:LINE: reason", in one
// Error with exit status 2; a file that cannot be read is an Error with status 1.
std::vector<SettingChange> readSettingsFile(Target& target, const std::string& path);

// Every change the settings files (in order) and then the --set options (in order)
// ask for, all resolved and checked before the caller applies any. A VALUE the
// parameter cannot take is an Error with exit status 2 whose message says what it
// takes; an unknown PARAM one with status 1, listing the parameters.
std::vector<SettingChange> resolveSettings(Target& target, const std::vector<std::string>& files,
                                           const std::vector<ParameterSetting>& settings);

// Applies the changes in order; says what each parameter became, as the summaries
// show it ("Mix = 0.8 (80.00 %)").
std::vector<std::string> applyChanges(Target& target, const std::vector<SettingChange>& changes);

// The whole state as a settings file: `heading` as a comment line, then one
// NAME=VALUE line per parameter in index order.
std::string settingsText(Target& target, const std::string& heading);

}  // namespace orvex::cli
