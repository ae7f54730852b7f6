#include "claptarget.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>

#include "report.h"
#include "table.h"
#include "values.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {


std::string dialects(uint32_t bits) {
    std::string text;
    const std::pair<uint32_t, const char*> known[] = {{CLAP_NOTE_DIALECT_CLAP, "CLAP"},
                                                      {CLAP_NOTE_DIALECT_MIDI, "MIDI"},
                                                      {CLAP_NOTE_DIALECT_MIDI_MPE, "MPE"},
                                                      {CLAP_NOTE_DIALECT_MIDI2, "MIDI 2"}};
    for (const auto& [bit, name] : known)
        if (bits & bit) text += std::string(text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

int mainChannels(const std::vector<claphost::AudioPort>& ports) {
    return ports.empty() ? 0 : static_cast<int>(ports[0].channels);
}

std::unique_ptr<claphost::Plugin> loadClap(const std::string& path) {
    claphost::HostOptions options;
    options.name = "Orvex Command-Line Host";
    options.keepMapped = true;  // the command ends soon after
    claphost::LoadResult result = claphost::Plugin::load(path, {}, options);
    if (!result) throw Error(result.error);
    if (const uint32_t count = result.plugin->paramCount(); count > claphost::kMaxParams)
        throw Error(path + ": the plug-in claims " + std::to_string(count) + " parameters");
    return std::move(result.plugin);
}

}  // namespace

bool isClapPath(const std::string& path) { return std::filesystem::path(path).extension() == ".clap"; }

ClapTarget::ClapTarget(const std::string& path) : instance(loadClap(path)), params(instance->params()) {}

std::string ClapTarget::name() const {
    const std::string& name = instance->descriptor().name;
    return name.empty() ? std::filesystem::path(path()).stem().string() : name;
}

double ClapTarget::valueOf(int index, float normalised) const {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    const double value = info.min + static_cast<double>(std::clamp(normalised, 0.0f, 1.0f)) * (info.max - info.min);
    return info.stepped() ? std::round(value) : value;
}

ParameterDescription ClapTarget::describe(int index) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    ParameterDescription d;
    d.name = info.name;
    if (info.stepped()) {
        // A menu names each step; a switch is a stepped 0..1 that is no menu.
        const bool menu = info.flags & CLAP_PARAM_IS_ENUM;
        d.kind = menu || info.max - info.min > 1.0 ? ParameterDescription::Kind::choice
                                                   : ParameterDescription::Kind::toggle;
        d.minimum = 0.0;
        d.maximum = info.max - info.min;
        if (d.maximum <= 1024.0)
            for (double step = info.min; step <= info.max; step += 1.0)
                d.entries.push_back(instance->valueToText(info.id, step).value_or(formatted("%g", step)));
        d.described = true;
        return d;
    }
    // The unit is what follows the number in the plug-in's own texts of the range's ends.
    const std::optional<std::string> low = instance->valueToText(info.id, info.min);
    const std::optional<std::string> high = instance->valueToText(info.id, info.max);
    d.minimum = info.min;
    d.maximum = info.max;
    if (low && high) {
        char* end = nullptr;
        const double lowValue = std::strtod(low->c_str(), &end);
        const std::string unit = end && end != low->c_str() ? std::string(end) : std::string();
        char* highEnd = nullptr;
        const double highValue = std::strtod(high->c_str(), &highEnd);
        if (end != low->c_str() && highEnd != high->c_str() && std::isfinite(lowValue) && std::isfinite(highValue)) {
            d.minimum = lowValue;
            d.maximum = highValue;
            const auto first = unit.find_first_not_of(' ');
            d.unit = first == std::string::npos ? std::string() : unit.substr(first);
            d.described = true;
        }
    }
    return d;
}

float ClapTarget::value(int index) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    const double now = instance->paramValue(info.id).value_or(info.defaultValue);
    if (!(info.max > info.min)) return 0.0f;
    return static_cast<float>(std::clamp((now - info.min) / (info.max - info.min), 0.0, 1.0));
}

void ClapTarget::setValue(int index, float normalised) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    if (!instance->queueParam(info.id, valueOf(index, normalised)) || !instance->flush())
        throw Error(name() + " took no parameter changes (no flush in its params extension)");
}

std::string ClapTarget::display(int index) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    const std::optional<double> now = instance->paramValue(info.id);
    const std::optional<std::string> shown = now ? instance->valueToText(info.id, *now) : std::nullopt;
    return shown ? *shown : now ? formatted("%g", *now) : std::string("?");
}

std::optional<float> ClapTarget::valueOfUnit(int index, double unitValue) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    if (!(info.max > info.min)) return std::nullopt;
    std::optional<double> value;
    if (info.stepped()) {
        value = info.min + std::round(unitValue);
    } else {
        const ParameterDescription d = describe(index);
        value = instance->textToValue(info.id, formatted("%.9g", unitValue) + (d.unit.empty() ? "" : " " + d.unit));
    }
    if (!value) return std::nullopt;
    return static_cast<float>(std::clamp((*value - info.min) / (info.max - info.min), 0.0, 1.0));
}

std::optional<double> ClapTarget::unitOfValue(int index, float normalised) {
    const claphost::ParamInfo& info = params[static_cast<std::size_t>(index)];
    const double value = valueOf(index, normalised);
    if (info.stepped()) return value - info.min;
    const std::optional<std::string> text = instance->valueToText(info.id, value);
    if (!text) return std::nullopt;
    char* end = nullptr;
    const double unit = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || !std::isfinite(unit)) return std::nullopt;
    return unit;
}

const std::vector<claphost::Preset>& ClapTarget::presetList() {
    if (!presets) {
        std::string problem;
        presets = instance->library().presets(&problem);
        if (presets->empty() && !problem.empty()) throw Error(name() + ": " + problem);
    }
    return *presets;
}

std::vector<ProgramName> ClapTarget::programs() {
    std::vector<ProgramName> names;
    for (const claphost::Preset& preset : presetList()) names.push_back({preset.name, std::nullopt});
    return names;
}

void ClapTarget::selectProgram(int index) {
    const std::vector<claphost::Preset>& list = presetList();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) throw Error(name() + " has no preset " + std::to_string(index));
    std::string error;
    if (!instance->loadPreset(list[static_cast<std::size_t>(index)], &error)) throw Error(error);
    loaded = index;
}

int ClapTarget::inputChannels() const { return mainChannels(instance->audioPorts(true)); }

int ClapTarget::outputChannels() const { return mainChannels(instance->audioPorts(false)); }

void ClapTarget::start(const RenderSettings& settings) {
    tempo = settings.tempo;
    sampleRate = settings.sampleRate;
    if (!instance->activate(settings.sampleRate, 1, static_cast<uint32_t>(settings.blockSize)))
        throw Error(name() + " refused to activate at " + formatted("%g Hz", settings.sampleRate));
}

void ClapTarget::midi(const std::vector<vsthost::MidiMessage>& due) {
    for (const vsthost::MidiMessage& m : due)
        if (!instance->queueEvent(claphost::midiEvent(m.status, m.data1, m.data2)))
            throw Error("too many MIDI events at one sample");
}

void ClapTarget::process(float** inputs, float** outputs, int frames, int64_t frame) {
    const clap_event_transport_t transport = claphost::playingTransport(tempo.value_or(120.0), sampleRate, frame);
    const clap_process_status status = instance->process(inputs, outputs, static_cast<uint32_t>(frames),
                                                         tempo ? &transport : nullptr, frame);
    if (status == CLAP_PROCESS_ERROR)
        throw Error(name() + " failed to process the block at sample " + std::to_string(frame));
}

void ClapTarget::stop() {
    instance->stopProcessing();
    instance->deactivate();
}

int printClapInfo(const std::string& path, const std::function<void(Target&)>& prepare) {
    ClapTarget target(path);
    if (prepare) prepare(target);
    claphost::Plugin& p = target.plugin();
    const claphost::Descriptor& d = p.descriptor();
    std::printf("%s\n", target.name().c_str());
    Table identity({{""}, {""}});
    identity.add({"file", path});
    identity.add({"id", d.id});
    identity.add({"vendor", d.vendor});
    identity.add({"version", d.version});
    const clap_version_t v = p.library().version();
    identity.add({"CLAP", std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision)});
    std::string features;
    for (const std::string& f : d.features) features += (features.empty() ? "" : ", ") + f;
    identity.add({"features", features.empty() ? "none" : features});
    if (!d.description.empty()) identity.add({"description", d.description});
    for (bool input : {true, false}) {
        std::string text;
        for (const claphost::AudioPort& port : p.audioPorts(input))
            text += (text.empty() ? "" : "; ") + port.name + " (" + std::to_string(port.channels) + " channels" +
                    (port.flags & CLAP_AUDIO_PORT_IS_MAIN ? ", main" : "") + ")";
        identity.add({input ? "audio in" : "audio out", text.empty() ? "none" : text});
    }
    for (bool input : {true, false}) {
        std::string text;
        for (const claphost::NotePort& port : p.notePorts(input))
            text += (text.empty() ? "" : "; ") + port.name + " (" + dialects(port.supported) + ", prefers " +
                    dialects(port.preferred) + ")";
        identity.add({input ? "notes in" : "notes out", text.empty() ? "none" : text});
    }
    identity.add({"latency", std::to_string(p.latency()) + " samples"});
    std::string extensions;
    const char* const known[] = {CLAP_EXT_PARAMS, CLAP_EXT_STATE,  CLAP_EXT_AUDIO_PORTS,
                                 CLAP_EXT_NOTE_PORTS, CLAP_EXT_LATENCY, CLAP_EXT_GUI,
                                 CLAP_EXT_TIMER_SUPPORT, CLAP_EXT_POSIX_FD_SUPPORT, CLAP_EXT_PRESET_LOAD};
    for (const char* id : known)
        if (p.extension(id)) extensions += std::string(extensions.empty() ? "" : ", ") + id;
    identity.add({"extensions", extensions.empty() ? "none" : extensions});
    printTable(identity, "  ", false);

    const std::vector<claphost::ParamInfo> params = p.params();
    std::printf("\nParameters (%u)\n", p.paramCount());
    Table table({{"Id", Table::Align::right},
                 {"Name"},
                 {"Range"},
                 {"Default", Table::Align::right},
                 {"Value", Table::Align::right},
                 {"Display"},
                 {"Takes"}});
    const std::vector<std::string> names = settingNames(target);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const claphost::ParamInfo& info = params[i];
        const std::optional<double> value = p.paramValue(info.id);
        const std::optional<std::string> shown = value ? p.valueToText(info.id, *value) : std::nullopt;
        const std::vector<std::string> takes = rangeLines(target.describe(static_cast<int>(i)));
        table.add({std::to_string(info.id), names[i],
                   formatted("%g", info.min) + (info.stepped() ? " .. " : " to ") + formatted("%g", info.max),
                   formatted("%.4f", info.defaultValue), value ? formatted("%.4f", *value) : "?",
                   shown ? *shown : "?", takes[0]});
        for (std::size_t line = 1; line < takes.size(); ++line) table.add({"", "", "", "", "", "", takes[line]});
    }
    if (!params.empty()) printTable(table, "  ");

    std::string problem;
    const std::vector<claphost::Preset> presets = p.library().presets(&problem);
    std::printf("\nPresets (%zu)\n", presets.size());
    Table presetTable({{"#", Table::Align::right}, {"Name"}, {"Load key"}});
    for (std::size_t i = 0; i < presets.size(); ++i)
        presetTable.add({std::to_string(i), presets[i].name, presets[i].loadKey});
    if (!presets.empty()) printTable(presetTable, "  ");
    if (!problem.empty()) std::printf("  (%s)\n", problem.c_str());
    return 0;
}

}  // namespace orvex::cli
