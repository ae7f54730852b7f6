// The X display editors open on: the one in DISPLAY, or a private Xvfb started for
// the run and stopped with it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace orvex::validate {

class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Uses DISPLAY when set, else starts Xvfb, and stays connected to it for the whole
    // run. False, with the reason, when no display can be reached.
    bool start(std::string& problem);
    const std::string& display() const { return name; }
    // Stops the server started last, from a signal handler.
    static void stopRunning();

private:
    bool connect(std::string& problem);

    std::string name;
    pid_t server = -1;
    // The validator's own connection. Each check connects from a process of its own and
    // leaves again; a server that resets when its last client leaves (Xvfb without
    // -noreset, as many are started) would otherwise reset between two checks and
    // refuse the next one's connection while it does.
    xcb_connection_t* keeper = nullptr;
};

// What the X server holds for the plug-in's connections: those of this process other
// than the host's own, told apart with the X-Resource extension.
struct XUsage {
    std::string unknown;  // why the server cannot say, empty when it did
    int clients = 0;
    int64_t pixmapBytes = 0;
    std::map<std::string, int64_t> resources;  // count by type: "WINDOW", "PIXMAP", "GC"...
};

// A window inside the host's, where its parent sees it.
struct Placement {
    int x, y, width, height;  // width and height with the border on both sides
};

// The host's side of an editor: a connection of its own to `display` and a top-level
// parent window at (0, 0), 1024 x 768, whose id goes to effEditOpen as Linux hosts
// pass theirs. Sets DISPLAY, so the editor opens on the same server.
class HostWindow {
public:
    explicit HostWindow(const std::string& display);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool usable() const { return ok; }
    void* handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
    // Windows the plug-in put inside ours; -1 when the server cannot say.
    int children();
    // The windows left inside ours once the plug-in's own requests have had time to
    // reach the server (its connection may still hold them for a moment).
    int childrenAfterClose();
    // The windows the plug-in put inside ours, as placed there.
    std::vector<Placement> placements();
    // What the plug-in's connections to the server hold there now; costs a few round
    // trips.
    XUsage pluginUsage();
    // What arrives on the host's own connection is read and dropped, as a host's event
    // loop would.
    void drain();
    // The screen's pixels in the rectangle, as 0x00RRGGBB words row by row; empty when
    // the server gives none.
    std::vector<uint32_t> screenPixels(int x, int y, int width, int height);

private:
    xcb_connection_t* connection = nullptr;
    uint32_t window = 0;
    bool ok = false;
};

}  // namespace orvex::validate
