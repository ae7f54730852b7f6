#include "xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace orvex::validate {

namespace {
volatile sig_atomic_t runningServer = 0;
}  // namespace

void XServer::stopRunning() {
    if (runningServer > 0) kill(static_cast<pid_t>(runningServer), SIGTERM);
}

XServer::~XServer() {
    if (keeper) xcb_disconnect(keeper);
    runningServer = 0;
    if (server > 0) {
        kill(server, SIGTERM);
        int status = 0;
        waitpid(server, &status, 0);
    }
}

bool XServer::connect(std::string& problem) {
    keeper = xcb_connect(name.c_str(), nullptr);
    if (!xcb_connection_has_error(keeper)) return true;
    xcb_disconnect(keeper);
    keeper = nullptr;
    problem = "cannot connect to the X display " + name;
    return false;
}

bool XServer::start(std::string& problem) {
    if (const char* display = std::getenv("DISPLAY"); display && *display) {
        name = display;
        return connect(problem);
    }
    // Xvfb writes the display number it chose to the descriptor given with -displayfd.
    // -noreset: between two checks no client is connected, and a server that resets
    // then refuses the next check's connection for a moment.
    int fds[2];
    if (pipe(fds) != 0) {
        problem = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        problem = std::string("cannot fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, 30000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char c;
        const ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        int status = 0;
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        problem = WIFEXITED(status) && WEXITSTATUS(status) == 127
                      ? "DISPLAY is not set and Xvfb is not installed (package xvfb)"
                      : "DISPLAY is not set and Xvfb did not start";
        return false;
    }
    server = pid;
    runningServer = pid;
    name = ":" + number;
    return connect(problem);
}

// HostWindow -------------------------------------------------------------------------

HostWindow::HostWindow(const std::string& display) {
    setenv("DISPLAY", display.c_str(), 1);
    connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    window = xcb_generate_id(connection);
    const uint32_t values[] = {screen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1024, 768, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    ok = true;
}

HostWindow::~HostWindow() {
    if (ok) xcb_destroy_window(connection, window);
    if (connection) xcb_disconnect(connection);
}

int HostWindow::children() {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree) return -1;
    const int n = xcb_query_tree_children_length(tree);
    std::free(tree);
    return n;
}

int HostWindow::childrenAfterClose() {
    int n = children();
    for (int wait = 0; wait < 50 && n > 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        drain();
        n = children();
    }
    return n;
}

std::vector<Placement> HostWindow::placements() {
    std::vector<Placement> found;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree) return found;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    std::vector<xcb_get_geometry_cookie_t> asked;
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
        asked.push_back(xcb_get_geometry(connection, children[i]));
    std::free(tree);
    for (const xcb_get_geometry_cookie_t& cookie : asked) {
        // A window gone meanwhile has no geometry and is no longer inside ours.
        if (xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(connection, cookie, nullptr)) {
            found.push_back({g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width});
            std::free(g);
        }
    }
    return found;
}

XUsage HostWindow::pluginUsage() {
    XUsage usage;
    const xcb_query_extension_reply_t* extension = ok ? xcb_get_extension_data(connection, &xcb_res_id) : nullptr;
    xcb_res_query_version_reply_t* version =
        extension && extension->present
            ? xcb_res_query_version_reply(connection, xcb_res_query_version(connection, 1, 2), nullptr)
            : nullptr;
    // Client ids, and with them the clients' process ids, came with version 1.2.
    const bool recent =
        version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
    std::free(version);
    if (!recent) {
        usage.unknown = "the X server has no X-Resource 1.2";
        return usage;
    }
    // The clients of this process, by the process id the server knows them by (the
    // run's own connection, XServer's, is the parent's); ours is the one whose resources
    // start at our connection's base.
    const uint32_t own = xcb_get_setup(connection)->resource_id_base;
    const xcb_res_client_id_spec_t all{0, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* ids =
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &all), nullptr);
    const auto pid = static_cast<uint32_t>(getpid());
    bool ownSeen = false;
    std::vector<uint32_t> plugin;
    for (auto it = ids ? xcb_res_query_client_ids_ids_iterator(ids) : xcb_res_client_id_value_iterator_t{};
         it.rem; xcb_res_client_id_value_next(&it)) {
        if (xcb_res_client_id_value_value_length(it.data) != 1 || *xcb_res_client_id_value_value(it.data) != pid)
            continue;
        const auto& [client, length] = *it.data;
        if (client.client == own)
            ownSeen = true;
        else
            plugin.push_back(client.client);
    }
    std::free(ids);
    if (!ownSeen) {
        // Connected from afar, or through a server that keeps no process ids.
        usage.unknown = "the X server does not say which process its clients belong to";
        return usage;
    }
    usage.clients = static_cast<int>(plugin.size());
    std::vector<xcb_res_query_client_pixmap_bytes_cookie_t> bytesAsked;
    std::vector<xcb_res_query_client_resources_cookie_t> resourcesAsked;
    for (uint32_t client : plugin) {
        bytesAsked.push_back(xcb_res_query_client_pixmap_bytes(connection, client));
        resourcesAsked.push_back(xcb_res_query_client_resources(connection, client));
    }
    // A client that left meanwhile answers nothing, and holds nothing any more.
    std::map<xcb_atom_t, int64_t> byType;
    for (std::size_t i = 0; i < plugin.size(); ++i) {
        if (auto* bytes = xcb_res_query_client_pixmap_bytes_reply(connection, bytesAsked[i], nullptr)) {
            usage.pixmapBytes += (static_cast<int64_t>(bytes->bytes_overflow) << 32) + bytes->bytes;
            std::free(bytes);
        }
        if (auto* resources = xcb_res_query_client_resources_reply(connection, resourcesAsked[i], nullptr)) {
            for (auto it = xcb_res_query_client_resources_types_iterator(resources); it.rem; xcb_res_type_next(&it))
                byType[it.data->resource_type] += it.data->count;
            std::free(resources);
        }
    }
    std::vector<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> names;
    for (const auto& [type, count] : byType) names.emplace_back(type, xcb_get_atom_name(connection, type));
    for (const auto& [type, cookie] : names) {
        std::string name = "type " + std::to_string(type);
        if (xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(connection, cookie, nullptr)) {
            name.assign(xcb_get_atom_name_name(reply), static_cast<std::size_t>(xcb_get_atom_name_name_length(reply)));
            std::free(reply);
        }
        usage.resources[name] += byType[type];
    }
    return usage;
}

void HostWindow::drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
}

std::vector<uint32_t> HostWindow::screenPixels(int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    if (!ok || width <= 0 || height <= 0) return pixels;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
        nullptr);
    if (!image) return pixels;
    const int length = xcb_get_image_data_length(image);
    if (length >= width * height * 4) {
        pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        std::memcpy(pixels.data(), xcb_get_image_data(image), pixels.size() * 4);
        for (uint32_t& p : pixels) p &= 0x00FFFFFFu;
    }
    std::free(image);
    return pixels;
}

}  // namespace orvex::validate
