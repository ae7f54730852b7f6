#include "commands.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "arguments.h"
#include "lookup.h"
#include "outputfile.h"
#include "target.h"
#include "vsttarget.h"

namespace orvex::cli {

namespace {

const char* const kHelp = R"(Usage: orvex snapshot PLUGIN OUT.png [OPTIONS]

Draws PLUGIN's editor offscreen, as it looks with the program and settings given,
into the PNG file OUT.png. Works for the Orvex bundles with an editor; no X server
is needed.

Options:
  --program N|NAME     select a program first (as for render)
  --set PARAM=VALUE    set a parameter after the program (repeatable, in order)
  --scale S            the editor at 1, 1.25, 1.5, 1.75, 2, 2.5 or 3 times its size
                       (default 1); OUT.png is S times the panel
  --path DIR           look for PLUGIN in DIR instead of this build's bundle folder
  -h, --help           this text
)";

// The editor drawn as PNG bytes; nothing when the plug-in cannot draw it offscreen. The
// plug-in writes into a pipe read here, so that a failure to write OUT is told apart
// from the editor's and reported with its cause. A plug-in that keeps the pipe open
// cannot hold the command up: what it wrote before returning is all that is read.
std::optional<std::string> editorPicture(vsthost::Plugin& p, double scale) {
    if (::access("/proc/self/fd", F_OK) != 0)
        throw Error("cannot hand the editor a pipe to draw into: /proc is not mounted");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw Error(std::string("cannot make a pipe: ") + std::strerror(errno));
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    std::string bytes;
    std::atomic<bool> returned{false};
    std::thread reader([&] {
        char buffer[1 << 16];
        for (;;) {
            const bool last = returned.load();
            ssize_t n = 0;
            while ((n = ::read(ends[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
                if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
            if (n == 0 || last) break;
            pollfd ready{ends[0], POLLIN, 0};
            ::poll(&ready, 1, 20);
        }
    });
    const bool drawn = p.snapshot("/proc/self/fd/" + std::to_string(ends[1]), static_cast<float>(scale));
    ::close(ends[1]);
    returned = true;
    reader.join();
    ::close(ends[0]);
    if (!drawn) return std::nullopt;
    return bytes;
}

int runSnapshot(const std::vector<std::string>& args) {
    const SnapshotOptions options = parseSnapshot(args);
    if (options.help) return printHelp("snapshot");
    const std::string path = resolvePlugin(options.plugin, searchFolders(options.path));
    auto plugin = loadPlugin(path, hostOptions(44100.0f, 512, 120.0));
    vsthost::Plugin& p = *plugin;
    const std::string name = displayName(p);
    if (!(p.flags() & effFlagsHasEditor)) throw Error(name + " has no editor");
    VstTarget target(p);
    applySettings(target, options.program, options.settings);
    // Written like rendered files; OUT is looked at before the editor is drawn.
    OutputFile output(options.output);
    // The host's scale first, so that the editor's rectangle below is the picture's.
    p.setEditorScale(static_cast<float>(options.scale));
    const std::optional<std::string> picture = editorPicture(p, options.scale);
    if (!picture || picture->empty())
        throw Error(name + " cannot draw its editor offscreen (only Orvex editors can)");
    output.write(picture->data(), picture->size());
    output.commit();
    FILE* const report = output.isStandardOutput() ? stderr : stdout;
    const auto rect = p.editorRect();
    std::fprintf(report, "%s: editor of %s", options.output.c_str(), name.c_str());
    if (rect) std::fprintf(report, ", %d x %d pixels", rect->right - rect->left, rect->bottom - rect->top);
    std::fprintf(report, "\n");
    return 0;
}

}  // namespace

const Command kSnapshotCommand{"snapshot", "PLUGIN OUT", "draws one of our plug-ins' editors into a PNG file", [] { return std::string(kHelp); }, runSnapshot};

}  // namespace orvex::cli
