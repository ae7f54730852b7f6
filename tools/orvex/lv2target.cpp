#include "lv2target.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "arguments.h"
#include "report.h"
#include "table.h"

#ifndef ORVEX_DEFAULT_LV2_DIR
#define ORVEX_DEFAULT_LV2_DIR ""
#endif

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

// This build's bundle folder and the one next to the executable, those that exist.
std::vector<std::string> buildFolders() {
    std::vector<std::string> folders;
    std::set<std::string> seen;
    auto add = [&](const fs::path& folder) {
        std::error_code error;
        if (folder.empty() || !fs::is_directory(folder, error)) return;
        const fs::path resolved = fs::weakly_canonical(folder, error);
        const std::string key = error ? folder.string() : resolved.string();
        if (seen.insert(key).second) folders.push_back(key);
    };
    add(ORVEX_DEFAULT_LV2_DIR);
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) add(self.parent_path() / ".." / ".." / "lv2");
    return folders;
}

std::string joined(const std::vector<std::string>& folders, const std::string& rest) {
    std::string path;
    for (const std::string& folder : folders) path += (path.empty() ? "" : ":") + folder;
    if (!rest.empty()) path += (path.empty() ? "" : ":") + rest;
    return path;
}

// A number as a musician reads it: no trailing zeros, no exponent below a million.
std::string number(double value) {
    char text[64];
    if (std::fabs(value) >= 1e6 || std::fabs(value) < 1e-4)
        std::snprintf(text, sizeof text, "%g", value);
    else
        std::snprintf(text, sizeof text, "%.5g", value);
    return text;
}

bool isChoice(const lilvhost::ControlInfo& c) {
    return (c.enumeration || c.integer) && c.scalePoints.size() >= 2;
}

bool isLogarithmic(const lilvhost::ControlInfo& c) {
    return c.logarithmic && c.minimum > 0.0f && c.maximum > c.minimum;
}

// The port value a normalised value stands for.
float portOf(const lilvhost::ControlInfo& c, float normalised) {
    const double v = std::isnan(normalised) ? 0.0 : std::clamp(static_cast<double>(normalised), 0.0, 1.0);
    if (isChoice(c)) {
        const auto last = static_cast<double>(c.scalePoints.size() - 1);
        return c.scalePoints[static_cast<std::size_t>(std::lround(v * last))].first;
    }
    if (c.toggled) return v >= 0.5 ? c.maximum : c.minimum;
    if (isLogarithmic(c)) return static_cast<float>(c.minimum * std::pow(static_cast<double>(c.maximum) / c.minimum, v));
    const double port = c.minimum + v * (static_cast<double>(c.maximum) - c.minimum);
    return static_cast<float>(c.integer ? std::round(port) : port);
}

// The entry nearest a port value.
std::size_t nearestEntry(const lilvhost::ControlInfo& c, float port) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < c.scalePoints.size(); ++i)
        if (std::fabs(c.scalePoints[i].first - port) < std::fabs(c.scalePoints[best].first - port)) best = i;
    return best;
}

// The normalised value of a port value (choices: of the entry nearest it), within 0..1.
float normalisedOf(const lilvhost::ControlInfo& c, double port) {
    if (std::isnan(port)) return 0.0f;
    double v = 0.0;
    if (isChoice(c)) {
        v = static_cast<double>(nearestEntry(c, static_cast<float>(port))) / static_cast<double>(c.scalePoints.size() - 1);
    } else if (c.toggled) {
        v = port > (static_cast<double>(c.minimum) + c.maximum) / 2.0 ? 1.0 : 0.0;
    } else if (isLogarithmic(c)) {
        v = port > 0.0 ? std::log(port / c.minimum) / std::log(static_cast<double>(c.maximum) / c.minimum) : 0.0;
    } else if (c.maximum > c.minimum) {
        v = (port - c.minimum) / (static_cast<double>(c.maximum) - c.minimum);
    }
    return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

}  // namespace

std::string lv2SearchPath() { return joined(buildFolders(), lilvhost::hostSearchPath()); }

std::string lv2ListPath(const std::optional<std::string>& path) {
    if (path) return *path;
    const char* more = std::getenv("LV2_PATH");
    return joined(buildFolders(), more ? more : "");
}

Lv2Target::Lv2Target(const std::string& uri, const HostSetup& setup)
    : uri(uri), world(std::make_shared<lilvhost::World>(lv2SearchPath())), tempo(setup.tempo) {
    if (!world->find(uri))
        throw Error("no LV2 plug-in " + uri + " among the bundles in " + world->path() +
                    " ('orvex list' shows the URIs found; LV2_PATH names the folders to search)");
    lilvhost::HostOptions options;
    options.sampleRate = setup.sampleRate;
    options.blockSize = static_cast<uint32_t>(std::max(setup.blockSize, 1));
    options.keepMapped = true;  // the command ends soon after
    lilvhost::LoadResult loaded = lilvhost::Plugin::load(world, uri, options);
    if (!loaded) throw Error(loaded.error);
    instance = std::move(loaded.plugin);
}

std::string Lv2Target::name() const {
    const std::string shown = instance->name();
    return shown.empty() ? uri : shown;
}

std::string Lv2Target::vendor() const { return instance->vendor(); }

const lilvhost::ControlInfo& Lv2Target::control(int index) const {
    const auto& all = instance->controls();
    if (index < 0 || static_cast<std::size_t>(index) >= all.size())
        throw Error(name() + " has no parameter " + std::to_string(index));
    return all[static_cast<std::size_t>(index)];
}

int Lv2Target::parameterCount() { return static_cast<int>(instance->controls().size()); }

ParameterDescription Lv2Target::describe(int index) {
    const lilvhost::ControlInfo& c = control(index);
    ParameterDescription d;
    d.name = c.name.empty() ? c.symbol : c.name;
    d.unit = c.unit;
    d.described = true;
    if (isChoice(c)) {
        d.kind = ParameterDescription::Kind::choice;
        for (const auto& [value, label] : c.scalePoints) d.entries.push_back(label.empty() ? number(value) : label);
        d.minimum = 0.0;
        d.maximum = static_cast<double>(c.scalePoints.size() - 1);
        return d;
    }
    d.kind = c.toggled              ? ParameterDescription::Kind::toggle
             : isLogarithmic(c)     ? ParameterDescription::Kind::logarithmic
                                    : ParameterDescription::Kind::continuous;
    d.minimum = c.minimum;
    d.maximum = c.maximum;
    return d;
}

float Lv2Target::value(int index) {
    const lilvhost::ControlInfo& c = control(index);
    return normalisedOf(c, instance->controlValue(static_cast<std::size_t>(index)));
}

void Lv2Target::setValue(int index, float normalised) {
    instance->setControlValue(static_cast<std::size_t>(index), portOf(control(index), normalised));
}

std::string Lv2Target::display(int index) {
    const lilvhost::ControlInfo& c = control(index);
    const float port = instance->controlValue(static_cast<std::size_t>(index));
    // A scale point's label when the value is one; else the number and its unit.
    for (const auto& [value, label] : c.scalePoints)
        if (value == port && !label.empty()) return label;
    if (c.toggled) return port > (c.minimum + c.maximum) / 2.0f ? "on" : "off";
    return number(port) + (c.unit.empty() ? "" : " " + c.unit);
}

std::optional<float> Lv2Target::valueOfUnit(int index, double unitValue) {
    const lilvhost::ControlInfo& c = control(index);
    if (!std::isfinite(unitValue)) return std::nullopt;
    if (isChoice(c)) {
        const double last = static_cast<double>(c.scalePoints.size() - 1);
        return static_cast<float>(std::clamp(std::round(unitValue), 0.0, last) / last);
    }
    return normalisedOf(c, unitValue);
}

std::optional<double> Lv2Target::unitOfValue(int index, float normalised) {
    const lilvhost::ControlInfo& c = control(index);
    if (isChoice(c)) {
        const double v = std::isnan(normalised) ? 0.0 : std::clamp(static_cast<double>(normalised), 0.0, 1.0);
        return std::round(v * static_cast<double>(c.scalePoints.size() - 1));
    }
    return portOf(c, normalised);
}

std::vector<ProgramName> Lv2Target::programs() {
    if (!presetsRead) {
        presets = instance->presets();
        presetsRead = true;
    }
    std::vector<ProgramName> names;
    for (const lilvhost::PresetInfo& p : presets) names.push_back({p.label.empty() ? p.uri : p.label, p.uri});
    return names;
}

void Lv2Target::selectProgram(int index) {
    programs();
    if (index < 0 || static_cast<std::size_t>(index) >= presets.size())
        throw Error(name() + " has no preset " + std::to_string(index));
    std::string error;
    if (!instance->applyPreset(presets[static_cast<std::size_t>(index)].uri, &error)) throw Error(error);
    current = index;
}

std::string Lv2Target::path() const {
    const std::string library = instance->library();
    return library.empty() ? uri : library;
}

void Lv2Target::reload(double rate, int block) {
    std::vector<float> values;
    for (std::size_t i = 0; i < instance->controls().size(); ++i) values.push_back(instance->controlValue(i));
    // What a preset gave the plug-in beyond its ports goes to the new instance first.
    lilvhost::State state = instance->hasStateInterface() ? instance->saveState() : nullptr;
    lilvhost::HostOptions options = instance->hostOptions();
    options.sampleRate = rate;
    options.blockSize = static_cast<uint32_t>(std::max(block, 1));
    lilvhost::LoadResult loaded = lilvhost::Plugin::load(world, uri, options);
    if (!loaded) throw Error(loaded.error);
    instance = std::move(loaded.plugin);
    if (state) instance->restoreState(state.get());
    for (std::size_t i = 0; i < values.size(); ++i) instance->setControlValue(i, values[i]);
}

void Lv2Target::start(const RenderSettings& settings) {
    const lilvhost::HostOptions& now = instance->hostOptions();
    // The rate and the longest run are given at instantiation in LV2: other ones
    // need a new instance.
    if (now.sampleRate != settings.sampleRate || now.blockSize != static_cast<uint32_t>(settings.blockSize))
        reload(settings.sampleRate, settings.blockSize);
    tempo = settings.tempo;
    if (tempo) {
        lilvhost::Transport transport;
        transport.tempo = *tempo;
        instance->setTransport(transport);
    } else {
        instance->clearTransport();
    }
}

void Lv2Target::midi(const std::vector<vsthost::MidiMessage>& due) {
    // The render ends a block at every event, so what is due falls on its first frame.
    for (const vsthost::MidiMessage& m : due)
        if (!instance->queueMidi({0, m.status, m.data1, m.data2})) throw Error("too many MIDI events at one sample");
}

void Lv2Target::process(float** inputs, float** outputs, int frames, int64_t) {
    instance->run(inputs, outputs, static_cast<uint32_t>(frames));
}

int printLv2Info(const std::string& uri, const std::function<void(Target&)>& prepare) {
    Lv2Target target(uri, {});
    if (prepare) prepare(target);
    lilvhost::Plugin& p = target.plugin();
    std::printf("%s\n", target.name().c_str());
    Table identity({{""}, {""}});
    identity.add({"URI", uri});
    identity.add({"vendor", target.vendor().empty() ? "-" : target.vendor()});
    identity.add({"binary", target.path()});
    identity.add({"audio", p.instances() == 1 ? "stereo" : "mono, one instance per channel"});
    identity.add({"events", p.hasEventInput() ? "MIDI and the host's transport, as its atom inputs take them" : "none"});
    identity.add({"state", p.hasStateInterface() ? "state interface" : "port values only"});
    printTable(identity, "  ", false);

    std::printf("\nParameters (%d)\n", target.parameterCount());
    Table parameters({{"#", Table::Align::right},
                      {"Symbol"},
                      {"Name"},
                      {"Range"},
                      {"Default", Table::Align::right},
                      {"Value", Table::Align::right},
                      {"Display"}});
    for (int i = 0; i < target.parameterCount(); ++i) {
        const lilvhost::ControlInfo& c = p.controls()[static_cast<std::size_t>(i)];
        const ParameterDescription d = target.describe(i);
        std::string range;
        if (d.kind == ParameterDescription::Kind::choice) {
            for (const std::string& entry : d.entries) range += (range.empty() ? "" : " | ") + entry;
        } else if (d.kind == ParameterDescription::Kind::toggle) {
            range = "off | on";
        } else {
            range = number(d.minimum) + " to " + number(d.maximum) + (d.unit.empty() ? "" : " " + d.unit) +
                    (d.kind == ParameterDescription::Kind::logarithmic ? ", logarithmic" : "");
        }
        parameters.add({std::to_string(i), c.symbol, d.name, range, number(c.defaultValue),
                        formatted("%.4f", target.value(i)), target.display(i)});
    }
    if (target.parameterCount() > 0) printTable(parameters, "  ");

    const std::vector<ProgramName> presets = target.programs();
    std::printf("\nPresets (%zu)\n", presets.size());
    Table presetTable({{"#", Table::Align::right}, {"Name"}, {"URI"}});
    for (std::size_t i = 0; i < presets.size(); ++i)
        presetTable.add({std::to_string(i), presets[i].shown, presets[i].stored.value_or("")});
    if (!presets.empty()) printTable(presetTable, "  ");
    return 0;
}

}  // namespace orvex::cli
