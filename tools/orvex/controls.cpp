#include "controls.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "arguments.h"

namespace orvex::cli {

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Indices whose text passes `same`.
template <class Same>
std::vector<int> matching(const std::vector<std::string>& texts, Same same) {
    std::vector<int> found;
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (same(texts[i])) found.push_back(static_cast<int>(i));
    return found;
}

// An index padded to the width of the largest one, so that the names line up.
std::string paddedIndex(std::size_t index, std::size_t count) {
    std::string text = std::to_string(index);
    const std::size_t width = std::to_string(count > 0 ? count - 1 : 0).size();
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::string indexList(const std::vector<int>& indices) {
    std::string text;
    for (std::size_t i = 0; i < indices.size(); ++i) text += (i ? ", " : "") + std::to_string(indices[i]);
    return text;
}

std::string parameterList(const std::vector<std::string>& names) {
    std::string text = "valid parameters (index or name):";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = trim(names[i]);
        const bool unique = std::count_if(names.begin(), names.end(),
                                          [&](const std::string& n) { return trim(n) == name; }) == 1;
        text += "\n  " + paddedIndex(i, names.size()) + "  " + (name.empty() ? "(no name)" : name);
        if (!unique || name.empty()) text += "  (by index only)";
    }
    return text;
}

std::string programList(const std::vector<ProgramName>& names) {
    std::string text = "valid programs (0-based index or name):";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += "\n  " + paddedIndex(i, names.size()) + "  " + names[i].shown;
        if (names[i].stored && trim(*names[i].stored) != trim(names[i].shown))
            text += "  (stored as \"" + *names[i].stored + "\")";
    }
    return text;
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
    const std::string name = trim(plugin.effectName());
    if (!name.empty()) return name;
    return std::filesystem::path(plugin.path()).stem().string();
}

std::vector<std::string> parameterNames(vsthost::Plugin& plugin) {
    std::vector<std::string> names;
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) names.push_back(plugin.parameterName(i));
    return names;
}

int findParameter(const std::vector<std::string>& names, const std::string& given, const std::string& pluginName) {
    if (names.empty()) throw Error(pluginName + " has no parameters to set");
    if (const auto index = parseInteger(given)) {
        if (*index >= 0 && *index < static_cast<long long>(names.size())) return static_cast<int>(*index);
        throw Error("parameter index " + given + " is out of range for " + pluginName + " (0 to " +
                    std::to_string(names.size() - 1) + "); " + parameterList(names));
    }
    const std::string wanted = trim(given);
    for (bool ignoreCase : {false, true}) {
        const std::vector<int> found = matching(names, [&](const std::string& name) {
            return ignoreCase ? lower(trim(name)) == lower(wanted) : trim(name) == wanted;
        });
        if (found.size() == 1) return found[0];
        if (found.size() > 1)
            throw Error("parameter name '" + given + "' is ambiguous in " + pluginName + " (indices " +
                        indexList(found) + "): give the index; " + parameterList(names));
    }
    throw Error("unknown parameter '" + given + "' for " + pluginName + "; " + parameterList(names));
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
        if (trim(name.shown).empty() && name.stored) name.shown = *name.stored;
        names.push_back(std::move(name));
    }
    plugin.setProgram(current >= 0 && current < count ? current : 0);
    return names;
}

int findProgram(const std::vector<ProgramName>& names, const std::string& given, const std::string& pluginName) {
    if (names.empty()) throw Error(pluginName + " has no programs");
    if (const auto index = parseInteger(given)) {
        if (*index >= 0 && *index < static_cast<long long>(names.size())) return static_cast<int>(*index);
        throw Error("program " + given + " is out of range for " + pluginName + " (0 to " +
                    std::to_string(names.size() - 1) + ", counted from 0); " + programList(names));
    }
    std::vector<std::string> shown;
    std::vector<std::string> stored;
    for (const ProgramName& name : names) {
        shown.push_back(name.shown);
        stored.push_back(name.stored.value_or(""));
    }
    const std::string wanted = trim(given);
    for (bool ignoreCase : {false, true}) {
        auto same = [&](const std::string& text) {
            return ignoreCase ? lower(trim(text)) == lower(wanted) : trim(text) == wanted;
        };
        for (const auto* texts : {&shown, &stored}) {
            const std::vector<int> found = matching(*texts, same);
            if (found.size() == 1) return found[0];
            if (found.size() > 1)
                throw Error("program name '" + given + "' is ambiguous in " + pluginName + " (programs " +
                            indexList(found) + "): give the index; " + programList(names));
        }
    }
    throw Error("unknown program '" + given + "' for " + pluginName + "; " + programList(names));
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

}  // namespace orvex::cli
