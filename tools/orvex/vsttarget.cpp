#include "vsttarget.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "arguments.h"
#include "report.h"

#include <cmath>
#include <cstdlib>

namespace orvex::cli {

namespace {

constexpr VstInt32 kPlayingFlags =
    kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;

// What the host reports for the block starting at `frame`: the song position is worked
// out from the frame each time, so it does not drift over a long file.
void reportTime(vsthost::Plugin& plugin, const RenderSettings& settings, int64_t frame) {
    if (!settings.tempo) return;
    vsthost::Transport transport;
    transport.tempo = *settings.tempo;
    transport.sampleRate = settings.sampleRate;
    transport.samplePos = static_cast<double>(frame);
    transport.ppqPos = static_cast<double>(frame) / settings.sampleRate * *settings.tempo / 60.0;
    transport.flags = kPlayingFlags | (frame == 0 ? kVstTransportChanged : 0);
    transport.advance = false;
    plugin.setTransport(transport);
}

ParameterDescription::Kind kindNamed(const std::string& name) {
    using Kind = ParameterDescription::Kind;
    if (name == "logarithmic") return Kind::logarithmic;
    if (name == "toggle") return Kind::toggle;
    if (name == "choice") return Kind::choice;
    return Kind::continuous;
}

}  // namespace

vsthost::HostOptions hostOptions(float sampleRate, int blockSize, std::optional<double> tempo) {
    vsthost::HostOptions options;
    options.sampleRate = sampleRate;
    options.blockSize = blockSize;
    options.product = "Orvex Command-Line Host";
    if (tempo) {
        vsthost::Transport transport;
        transport.tempo = *tempo;
        transport.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;
        transport.sampleRate = sampleRate;
        options.transport = transport;
    }
    return options;
}

std::unique_ptr<vsthost::Plugin> loadPlugin(const std::string& path, const vsthost::HostOptions& options) {
    vsthost::LoadResult result = vsthost::Plugin::load(path, options);
    if (!result) throw Error(result.error);
    // A long render must not keep every time request the plug-in makes.
    result.plugin->recordTimeMasks(false);
    result.plugin->open();
    return std::move(result.plugin);
}

PluginSummary summarise(const std::string& path) {
    PluginSummary summary;
    vsthost::LoadResult result = vsthost::Plugin::load(path, hostOptions(44100.0f, 512, 120.0));
    if (!result) {
        summary.error = result.error;
        return summary;
    }
    vsthost::Plugin& plugin = *result.plugin;
    plugin.open();
    summary.loaded = true;
    summary.name = displayName(plugin);
    summary.vendor = plugin.vendorString();
    summary.uniqueId = plugin.uniqueId();
    summary.parameters = plugin.numParams();
    summary.programs = plugin.numPrograms();
    return summary;
}

std::string displayName(vsthost::Plugin& plugin) {
    const std::string name = trimmed(plugin.effectName());
    if (!name.empty()) return name;
    return std::filesystem::path(plugin.path()).stem().string();
}

std::vector<std::string> parameterNames(vsthost::Plugin& plugin) {
    std::vector<std::string> names;
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) names.push_back(plugin.parameterName(i));
    return names;
}

std::vector<ProgramName> programNames(vsthost::Plugin& plugin) {
    std::vector<ProgramName> names;
    const VstInt32 count = plugin.numPrograms();
    if (count <= 0) return names;
    const VstInt32 current = plugin.getProgram();
    for (VstInt32 i = 0; i < count; ++i) {
        ProgramName name;
        name.stored = plugin.programNameIndexed(i);
        plugin.setProgram(i);
        name.shown = plugin.programName();
        if (trimmed(name.shown).empty() && name.stored) name.shown = *name.stored;
        names.push_back(std::move(name));
    }
    plugin.setProgram(current >= 0 && current < count ? current : 0);
    return names;
}

std::string formatUniqueId(VstInt32 id) {
    const auto bits = static_cast<uint32_t>(id);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((bits >> shift) & 0xFF);
        if (!std::isprint(static_cast<unsigned char>(c))) return std::to_string(id);
        text += c;
    }
    return text;
}


// VstTarget ----------------------------------------------------------------------------

VstTarget::VstTarget(const std::string& path, const HostSetup& setup)
    : owned(loadPlugin(path, hostOptions(setup.sampleRate, setup.blockSize, setup.tempo))), p(*owned) {}

VstTarget::VstTarget(vsthost::Plugin& plugin) : p(plugin) {}

std::string VstTarget::name() const { return displayName(p); }

std::string VstTarget::identity() const {
    return formatUniqueId(p.uniqueId());
}

ParameterDescription VstTarget::describe(int index) {
    ParameterDescription d;
    d.name = trimmed(p.parameterName(index));
    if (const auto lines = p.readingLines(index)) {
        const std::vector<std::string>& l = *lines;
        char* end = nullptr;
        const double minimum = std::strtod(l[2].c_str(), &end);
        const double maximum = std::strtod(l[3].c_str(), &end);
        if (std::isfinite(minimum) && std::isfinite(maximum)) {
            d.kind = kindNamed(l[0]);
            d.unit = trimmed(l[1]);
            d.minimum = minimum;
            d.maximum = maximum;
            d.entries.assign(l.begin() + 4, l.end());
            d.described = true;
            return d;
        }
    }
    // Anyone else's: the label is the unit, the range is what the display shows.
    d.unit = trimmed(p.parameterLabel(index));
    return d;
}

std::string VstTarget::display(int index) {
    std::string shown = trimmed(p.parameterDisplay(index));
    const std::string label = trimmed(p.parameterLabel(index));
    if (!label.empty()) shown += " " + label;
    return shown;
}

bool VstTarget::reads(int index) {
    if (readable.empty()) readable.assign(static_cast<std::size_t>(std::max(p.numParams(), 0)), -1);
    if (index < 0 || static_cast<std::size_t>(index) >= readable.size()) return false;
    signed char& known = readable[static_cast<std::size_t>(index)];
    if (known < 0) known = p.readingLines(index) ? 1 : 0;
    return known == 1;
}

std::optional<float> VstTarget::valueOfUnit(int index, double unitValue) {
    if (!reads(index)) return std::nullopt;
    return p.valueOfUnit(index, static_cast<float>(unitValue));
}

std::optional<double> VstTarget::unitOfValue(int index, float normalised) {
    if (!reads(index)) return std::nullopt;
    const std::optional<float> unit = p.unitOfValue(index, normalised);
    return unit ? std::optional<double>(*unit) : std::nullopt;
}

std::optional<int> VstTarget::currentProgram() {
    if (p.numPrograms() <= 0) return std::nullopt;
    return p.getProgram();
}

void VstTarget::start(const RenderSettings& s) {
    settings = s;
    if (settings.tempo)
        reportTime(p, settings, 0);
    else
        p.clearTransport();
    p.setSampleRate(settings.sampleRate);
    p.setBlockSize(settings.blockSize);
    p.resume();
}

void VstTarget::process(float** inputs, float** outputs, int frames, int64_t frame) {
    reportTime(p, settings, frame);
    p.processReplacing(inputs, outputs, frames);
}

}  // namespace orvex::cli
