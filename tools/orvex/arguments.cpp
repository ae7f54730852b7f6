#include "arguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>

#include "audiofile.h"
#include "gui/scale.h"

namespace orvex::cli {

UsageError::UsageError(const std::string& command, const std::string& message)
    : Error("orvex " + command + ": " + message + "\nTry 'orvex " + command + " --help'.", 2) {}

std::optional<long long> parseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0) return std::nullopt;
    return value;
}

std::optional<double> parseFinite(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end == text.c_str() || *end != 0 || !std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {

// 1.25 as "1.25", 2 as "2".
std::string trimmedNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Walks one subcommand's arguments: options with a value take it from "--name=value"
// or from the next argument; "--" ends the options.
class Cursor {
public:
    Cursor(std::string command, const std::vector<std::string>& args) : command(std::move(command)), args(args) {}

    // The next argument; false at the end. Sets `option` for an option, else
    // `positional`.
    bool next() {
        if (index >= args.size()) return false;
        const std::string& arg = args[index++];
        inlineValue.reset();
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            return next();
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            const auto equals = arg.find('=');
            if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
                option = arg.substr(0, equals);
                inlineValue = arg.substr(equals + 1);
            } else {
                option = arg;
            }
            positional.reset();
            return true;
        }
        option.clear();
        positional = arg;
        return true;
    }

    bool isOption() const { return !positional; }
    const std::string& name() const { return option; }
    const std::string& argument() const { return *positional; }

    std::string value() {
        if (inlineValue) return *inlineValue;
        if (index >= args.size()) fail(option + " needs a value");
        return args[index++];
    }
    void noValue() const {
        if (inlineValue) fail(option + " takes no value");
    }

    int integer(int low, int high) {
        const std::string text = value();
        const auto v = parseInteger(text);
        if (!v || *v < low || *v > high)
            fail(option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                 ", got '" + text + "'");
        return static_cast<int>(*v);
    }

    double number(double low, double high, const std::string& what) {
        const std::string text = value();
        const auto v = parseFinite(text);
        if (!v || *v < low || *v > high) fail(option + " wants " + what + ", got '" + text + "'");
        return *v;
    }

    [[noreturn]] void fail(const std::string& message) const { throw UsageError(command, message); }
    [[noreturn]] void unknown() const { fail("unknown option " + option); }

private:
    std::string command;
    const std::vector<std::string>& args;
    std::size_t index = 0;
    bool optionsEnded = false;
    std::string option;
    std::optional<std::string> inlineValue;
    std::optional<std::string> positional;
};

bool isHelp(const std::string& option) { return option == "--help" || option == "-h"; }

// Seconds in "...@SECONDS": finite and not negative.
double eventTime(Cursor& cursor, const std::string& text, const std::string& form) {
    const auto seconds = parseFinite(text);
    if (!seconds || *seconds < 0.0) cursor.fail(cursor.name() + " wants " + form + " with SECONDS >= 0");
    return *seconds;
}

int midiByte(Cursor& cursor, const std::string& text, const std::string& what, const std::string& form) {
    const auto v = parseInteger(text);
    if (!v || *v < 0 || *v > 127)
        cursor.fail(cursor.name() + " wants " + form + " with " + what + " from 0 to 127, got '" + text + "'");
    return static_cast<int>(*v);
}

ParameterSetting parseSetting(Cursor& cursor) {
    const std::string text = cursor.value();
    const auto equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0)
        cursor.fail("--set wants PARAM=VALUE (PARAM an index or a name), got '" + text + "'");
    ParameterSetting setting;
    setting.parameter = text.substr(0, equals);
    const std::string valueText = text.substr(equals + 1);
    const auto value = parseFinite(valueText);
    // Anything but a bare number (a unit, an entry) is read against the plug-in.
    if (!value && !valueText.empty()) {
        setting.written = valueText;
        return setting;
    }
    if (!value || *value < 0.0 || *value > 1.0)
        cursor.fail("--set " + setting.parameter + ": VALUE must be a number from 0 to 1 (normalised), got '" +
                    valueText + "'");
    setting.value = static_cast<float>(*value);
    return setting;
}

ControllerEvent parseController(Cursor& cursor) {
    const std::string form = "CONTROLLER=VALUE@SECONDS";
    const std::string text = cursor.value();
    const auto at = text.rfind('@');
    const auto equals = text.find('=');
    if (at == std::string::npos || equals == std::string::npos || equals > at)
        cursor.fail("--cc wants " + form + " (for example 20=64@0.5), got '" + text + "'");
    ControllerEvent event;
    event.controller = midiByte(cursor, text.substr(0, equals), "CONTROLLER", form);
    event.value = midiByte(cursor, text.substr(equals + 1, at - equals - 1), "VALUE", form);
    event.seconds = eventTime(cursor, text.substr(at + 1), form);
    return event;
}

NoteEvent parseNote(Cursor& cursor) {
    const std::string form = "NUMBER@SECONDS";
    const std::string text = cursor.value();
    const auto at = text.rfind('@');
    if (at == std::string::npos) cursor.fail("--note wants " + form + " (for example 60@1.5), got '" + text + "'");
    NoteEvent event;
    event.note = midiByte(cursor, text.substr(0, at), "NUMBER", form);
    event.seconds = eventTime(cursor, text.substr(at + 1), form);
    return event;
}

// Walks one subcommand's arguments. --help and --path are common to all; any other
// option goes to `option`, which answers false for one the subcommand does not know.
// Positional arguments are collected, or refused at once when `positionals` is false.
template <class Options, class Handler>
std::vector<std::string> walk(Cursor& cursor, Options& options, bool positionals, Handler&& option) {
    std::vector<std::string> positional;
    while (cursor.next()) {
        if (!cursor.isOption()) {
            if (!positionals) cursor.fail("unexpected argument '" + cursor.argument() + "'");
            positional.push_back(cursor.argument());
            continue;
        }
        const std::string& name = cursor.name();
        if (isHelp(name))
            options.help = true;
        else if (name == "--path")
            options.path = cursor.value();
        else if (!option(name))
            cursor.unknown();
    }
    return positional;
}

double tempoOption(Cursor& cursor) { return cursor.number(kMinTempo, kMaxTempo, "beats per minute from 1 to 999"); }
int blockOption(Cursor& cursor) { return cursor.integer(1, kMaxBlock); }

// --program and --set, taken alike by the commands that load a plug-in's state.
bool programOrSetting(Cursor& cursor, const std::string& name, std::optional<std::string>& program,
                      std::vector<ParameterSetting>& settings) {
    if (name == "--program") {
        program = cursor.value();
        if (program->empty()) cursor.fail("--program wants a number or a name");
    } else if (name == "--set") {
        settings.push_back(parseSetting(cursor));
    } else {
        return false;
    }
    return true;
}

}  // namespace

ListOptions parseList(const std::vector<std::string>& args) {
    ListOptions options;
    Cursor cursor("list", args);
    walk(cursor, options, false, [](const std::string&) { return false; });
    return options;
}

InfoOptions parseInfo(const std::vector<std::string>& args) {
    InfoOptions options;
    Cursor cursor("info", args);
    const auto positional = walk(cursor, options, true, [&](const std::string& name) {
        if (name != "--settings") return programOrSetting(cursor, name, options.program, options.settings);
        cursor.noValue();
        options.printSettings = true;
        return true;
    });
    if (options.help) return options;
    if (positional.size() != 1) cursor.fail(positional.empty() ? "which plug-in? (PLUGIN missing)" : "too many arguments");
    options.plugin = positional[0];
    return options;
}

RenderOptions parseRender(const std::vector<std::string>& args) {
    RenderOptions options;
    Cursor cursor("render", args);
    const auto positional = walk(cursor, options, true, [&](const std::string& name) {
        if (programOrSetting(cursor, name, options.program, options.settings)) {
        } else if (name == "--settings") {
            options.settingsFiles.push_back(cursor.value());
            if (options.settingsFiles.back().empty()) cursor.fail("--settings wants the name of a settings file");
        } else if (name == "--tempo") {
            options.tempo = tempoOption(cursor);
            options.tempoGiven = true;
        } else if (name == "--no-transport") {
            cursor.noValue();
            options.transport = false;
        } else if (name == "--cc") {
            options.controllers.push_back(parseController(cursor));
        } else if (name == "--note") {
            options.notes.push_back(parseNote(cursor));
        } else if (name == "--block") {
            options.block = blockOption(cursor);
        } else if (name == "--tail") {
            options.tail = cursor.number(0.0, kMaxTail, "seconds from 0 to 3600");
        } else if (name == "--format") {
            options.format = cursor.value();
            if (const std::string problem = formatOptionProblem(*options.format); !problem.empty()) cursor.fail(problem);
        } else if (name == "--in-place") {
            cursor.noValue();
            options.inPlace = true;
        } else if (name == "--quiet" || name == "-q") {
            cursor.noValue();
            options.quiet = true;
        } else if (name == "--out-dir") {
            options.outDir = cursor.value();
            if (options.outDir->empty()) cursor.fail("--out-dir wants a folder");
        } else if (name == "--jobs" || name == "-j") {
            options.jobs = cursor.integer(1, kMaxJobs);
        } else {
            return false;
        }
        return true;
    });
    if (options.help) return options;
    const auto contradiction = [&] {
        if (options.tempoGiven && !options.transport) cursor.fail("--tempo and --no-transport contradict each other");
    };
    if (options.outDir) {
        // A batch: no OUT among the positionals, so that none can be mistaken for one.
        if (positional.size() < 2) cursor.fail(positional.empty() ? "PLUGIN and IN missing" : "IN missing");
        options.plugin = positional[0];
        options.inputs.assign(positional.begin() + 1, positional.end());
        if (options.inputs.size() > 1 && std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end())
            cursor.fail("'-' reads the inputs' names from standard input and must be the only IN");
        if (options.inPlace) cursor.fail("--in-place is for one file: a batch never writes over its inputs");
        contradiction();
        return options;
    }
    if (options.jobs > 0) cursor.fail("--jobs is for a batch (--out-dir DIR)");
    if (positional.size() < 3) {
        const char* missing[] = {"PLUGIN, IN and OUT missing", "IN and OUT missing", "OUT missing"};
        cursor.fail(missing[positional.size()]);
    }
    if (positional.size() > 3)
        cursor.fail("too many arguments (from '" + positional[3] + "' on); several inputs need --out-dir DIR");
    contradiction();
    options.plugin = positional[0];
    options.input = positional[1];
    options.output = positional[2];
    return options;
}

SnapshotOptions parseSnapshot(const std::vector<std::string>& args) {
    SnapshotOptions options;
    Cursor cursor("snapshot", args);
    const auto positional = walk(cursor, options, true, [&](const std::string& name) {
        if (name != "--scale") return programOrSetting(cursor, name, options.program, options.settings);
        std::string listed;
        for (double s : gui::kEditorScales) listed += (listed.empty() ? "" : ", ") + trimmedNumber(s);
        options.scale = cursor.number(0.0, 100.0, "one of " + listed);
        if (std::find(gui::kEditorScales.begin(), gui::kEditorScales.end(), options.scale) == gui::kEditorScales.end())
            cursor.fail("--scale wants one of " + listed + ", got " + trimmedNumber(options.scale));
        return true;
    });
    if (options.help) return options;
    if (positional.size() < 2) cursor.fail(positional.empty() ? "PLUGIN and OUT.png missing" : "OUT.png missing");
    if (positional.size() > 2) cursor.fail("too many arguments (from '" + positional[2] + "' on)");
    options.plugin = positional[0];
    options.output = positional[1];
    return options;
}

BenchOptions parseBench(const std::vector<std::string>& args) {
    BenchOptions options;
    Cursor cursor("bench", args);
    const auto positional = walk(cursor, options, true, [&](const std::string& name) {
        if (programOrSetting(cursor, name, options.program, options.settings)) {
        } else if (name == "--tempo") {
            options.tempo = tempoOption(cursor);
        } else if (name == "--block") {
            options.block = blockOption(cursor);
        } else if (name == "--runs") {
            options.runs = cursor.integer(1, kMaxRuns);
        } else if (name == "--seconds") {
            options.seconds = cursor.number(0.01, kMaxBenchSeconds, "seconds from 0.01 to 600");
        } else {
            return false;
        }
        return true;
    });
    if (options.help) return options;
    if (positional.empty()) cursor.fail("which plug-in? (PLUGIN missing)");
    if (positional.size() > 1) cursor.fail("too many arguments (from '" + positional[1] + "' on)");
    options.plugin = positional[0];
    return options;
}

DemoOptions parseDemo(const std::vector<std::string>& args) {
    DemoOptions options;
    Cursor cursor("demo", args);
    const auto positional = walk(cursor, options, true, [&](const std::string& name) {
        if (name == "--tempo")
            options.tempo = tempoOption(cursor);
        else if (name == "--block")
            options.block = blockOption(cursor);
        else
            return false;
        return true;
    });
    if (positional.size() > 1) cursor.fail("too many arguments (one DIR at most)");
    if (!positional.empty()) options.directory = positional[0];
    return options;
}

ValidateOptions parseValidate(const std::vector<std::string>& args) {
    ValidateOptions options;
    Cursor cursor("validate", args);
    // --only takes a comma-separated list and may be given again.
    auto patterns = [&](std::vector<std::string>& into) {
        const std::string text = cursor.value();
        std::size_t start = 0;
        while (start <= text.size()) {
            const auto comma = text.find(',', start);
            const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (!part.empty()) into.push_back(part);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (into.empty()) cursor.fail(cursor.name() + " wants a check name, a group or a pattern");
    };
    options.plugins = walk(cursor, options, true, [&](const std::string& name) {
        if (name == "--only") {
            patterns(options.only);
        } else if (name == "--with") {
            options.with.push_back(cursor.value());
        } else if (name == "--alone") {
            cursor.noValue();
            options.alone = true;
        } else if (name == "--quick") {
            cursor.noValue();
            options.quick = true;
        } else if (name == "--json") {
            cursor.noValue();
            options.json = true;
        } else if (name == "--list") {
            cursor.noValue();
            options.list = true;
        } else if (name == "--verbose" || name == "-v") {
            cursor.noValue();
            options.verbose = true;
        } else if (name == "--allow-skips") {
            cursor.noValue();
            options.allowSkips = true;
        } else if (name == "--seed") {
            options.seed = cursor.integer(1, 1 << 30);
        } else if (name == "--timeout") {
            options.timeout = cursor.number(1.0, 86400.0, "seconds from 1 to 86400");
        } else {
            return false;
        }
        return true;
    });
    if (options.alone && !options.with.empty()) cursor.fail("--alone and --with contradict each other");
    return options;
}

}  // namespace orvex::cli
