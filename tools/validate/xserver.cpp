#include "xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
