#include "lookup.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

#include "arguments.h"
#include "lv2target.h"
#include "vsttarget.h"

#ifndef ORVEX_DEFAULT_VST_DIR
#define ORVEX_DEFAULT_VST_DIR ""
#endif
#ifndef ORVEX_DEFAULT_CLAP_DIR
#define ORVEX_DEFAULT_CLAP_DIR ""
#endif

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

// How deep a scan looks below a folder: <name>.vst/Contents/x86_64-linux/<name>.so.
constexpr int kScanDepth = 4;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string canonicalText(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path.string() : resolved.string();
}

fs::path executableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

void scan(const fs::path& folder, int depth, std::vector<FoundPlugin>& found, const char* extension = ".so") {
    std::error_code error;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error) return;
    std::vector<fs::path> entries;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        std::error_code statError;
        const auto status = fs::status(entry, statError);
        if (statError) continue;
        if (fs::is_regular_file(status) && entry.extension() == extension) {
            found.push_back({entry.stem().string(), entry.string()});
        } else if (fs::is_directory(status) && depth > 1) {
            scan(entry, depth - 1, found, extension);
        }
    }
}

std::string availableList(const std::vector<FoundPlugin>& found, const std::vector<std::string>& folders) {
    if (found.empty()) return "no plug-ins found in " + joinFolders(folders);
    std::string text = "available:";
    for (const FoundPlugin& p : found) {
        text += "\n  " + p.shortName;
        const PluginSummary summary = summarise(p.path);
        if (summary.loaded && !summary.name.empty()) text += "  (\"" + summary.name + "\")";
    }
    return text;
}

}  // namespace

std::string joinFolders(const std::vector<std::string>& folders) {
    if (folders.empty()) return "(no folder)";
    std::string text;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) text += i + 1 == folders.size() ? " and " : ", ";
        text += folders[i];
    }
    return text;
}

namespace {

// A folder of the build and its place relative to this executable, those that exist.
std::vector<std::string> buildAndNearby(const char* built, const char* name) {
    std::vector<std::string> folders;
    std::set<std::string> seen;
    auto add = [&](const fs::path& folder) {
        if (folder.empty() || !isFolder(folder)) return;
        const std::string key = canonicalText(folder);
        if (seen.insert(key).second) folders.push_back(key);
    };
    add(built);
    const fs::path here = executableFolder();
    if (!here.empty()) add(here / ".." / ".." / name);
    return folders;
}

}  // namespace

std::vector<std::string> defaultSearchFolders() { return buildAndNearby(ORVEX_DEFAULT_VST_DIR, "vst"); }

std::vector<std::string> defaultClapFolders() { return buildAndNearby(ORVEX_DEFAULT_CLAP_DIR, "clap"); }

std::vector<FoundPlugin> scanClapFolders(const std::vector<std::string>& folders) {
    std::vector<FoundPlugin> all;
    for (const std::string& folder : folders) scan(folder, 2, all, ".clap");
    std::sort(all.begin(), all.end(), [](const FoundPlugin& a, const FoundPlugin& b) { return a.path < b.path; });
    return all;
}

std::vector<std::string> searchFolders(const std::optional<std::string>& path) {
    if (!path) return defaultSearchFolders();
    if (!isFolder(*path)) throw Error("--path " + *path + " is not a folder");
    return {*path};
}

std::vector<FoundPlugin> scanFolders(const std::vector<std::string>& folders) {
    std::vector<FoundPlugin> all;
    std::set<std::string> names;
    for (const std::string& folder : folders) {
        std::vector<FoundPlugin> found;
        scan(folder, kScanDepth, found);
        std::sort(found.begin(), found.end(),
                  [](const FoundPlugin& a, const FoundPlugin& b) { return a.shortName < b.shortName; });
        for (FoundPlugin& p : found)
            if (names.insert(p.shortName).second) all.push_back(std::move(p));
    }
    std::sort(all.begin(), all.end(),
              [](const FoundPlugin& a, const FoundPlugin& b) { return a.shortName < b.shortName; });
    return all;
}

std::string resolvePlugin(const std::string& given, const std::vector<std::string>& folders) {
    if (given.empty()) throw Error("no plug-in named");
    if (isLv2Uri(given)) {
        const std::string path = lv2SearchPath();
        if (!lilvhost::World(path).find(given))
            throw Error("unknown LV2 plug-in " + given + ": no bundle in " + path +
                        " describes it ('orvex list' shows the URIs found; LV2_PATH names more folders)");
        return given;
    }
    std::error_code error;
    const bool looksLikePath = given.find('/') != std::string::npos || fs::path(given).extension() == ".so" ||
                               fs::path(given).extension() == ".clap";
    if (fs::is_regular_file(given, error)) return given;
    if (looksLikePath) {
        if (fs::exists(given, error)) throw Error("plug-in " + given + " is not a file");
        throw Error("cannot find plug-in " + given + ": no such file");
    }

    const std::vector<FoundPlugin> found = scanFolders(folders);
    for (const FoundPlugin& p : found)
        if (p.shortName == given) return p.path;
    const std::string wanted = lower(given);
    for (const FoundPlugin& p : found)
        if (lower(p.shortName) == wanted) return p.path;
    // Effect names need each candidate loaded and asked.
    for (const FoundPlugin& p : found) {
        const PluginSummary summary = summarise(p.path);
        if (summary.loaded && lower(summary.name) == wanted) return p.path;
    }
    throw Error("unknown plug-in '" + given + "' (give a short name, an effect name or the path of a .so); " +
                availableList(found, folders));
}

}  // namespace orvex::cli
