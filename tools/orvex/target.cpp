#include "target.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "arguments.h"
#include "report.h"
#include "claptarget.h"
#include "lv2target.h"
#include "values.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {

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
        const std::string name = trimmed(names[i]);
        const bool unique = std::count_if(names.begin(), names.end(),
                                          [&](const std::string& n) { return trimmed(n) == name; }) == 1;
        text += "\n  " + paddedIndex(i, names.size()) + "  " + (name.empty() ? "(no name)" : name);
        if (!unique || name.empty()) text += "  (by index only)";
    }
    return text;
}

std::string programList(const std::vector<ProgramName>& names) {
    std::string text = "valid programs (0-based index or name):";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += "\n  " + paddedIndex(i, names.size()) + "  " + names[i].shown;
        if (names[i].stored && trimmed(*names[i].stored) != trimmed(names[i].shown))
            text += "  (stored as \"" + *names[i].stored + "\")";
    }
    return text;
}

}  // namespace

int findParameter(const std::vector<std::string>& names, const std::string& given, const std::string& pluginName) {
    if (names.empty()) throw Error(pluginName + " has no parameters to set");
    if (const auto index = parseInteger(given)) {
        if (*index >= 0 && *index < static_cast<long long>(names.size())) return static_cast<int>(*index);
        throw Error("parameter index " + given + " is out of range for " + pluginName + " (0 to " +
                    std::to_string(names.size() - 1) + "); " + parameterList(names));
    }
    const std::string wanted = trimmed(given);
    for (bool ignoreCase : {false, true}) {
        const std::vector<int> found = matching(names, [&](const std::string& name) {
            return ignoreCase ? lower(trimmed(name)) == lower(wanted) : trimmed(name) == wanted;
        });
        if (found.size() == 1) return found[0];
        if (found.size() > 1)
            throw Error("parameter name '" + given + "' is ambiguous in " + pluginName + " (indices " +
                        indexList(found) + "): give the index; " + parameterList(names));
    }
    throw Error("unknown parameter '" + given + "' for " + pluginName + "; " + parameterList(names));
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
    const std::string wanted = trimmed(given);
    for (bool ignoreCase : {false, true}) {
        auto same = [&](const std::string& text) {
            return ignoreCase ? lower(trimmed(text)) == lower(wanted) : trimmed(text) == wanted;
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


bool isLv2Uri(const std::string& text) {
    return text.rfind("urn:", 0) == 0 || text.find("://") != std::string::npos;
}

std::unique_ptr<Target> openTarget(const std::string& resolved, const HostSetup& setup) {
    if (isClapPath(resolved)) return std::make_unique<ClapTarget>(resolved);
    if (isLv2Uri(resolved)) return std::make_unique<Lv2Target>(resolved, setup);
    return std::make_unique<VstTarget>(resolved, setup);
}

std::vector<std::string> applySettings(Target& target, const std::optional<std::string>& program,
                                       const std::vector<ParameterSetting>& settings,
                                       const std::vector<std::string>& files) {
    if (program) target.selectProgram(findProgram(target.programs(), *program, target.name()));
    return applyChanges(target, resolveSettings(target, files, settings));
}

}  // namespace orvex::cli
