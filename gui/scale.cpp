#include "scale.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvex::gui {

namespace {

// A remembered choice is one short line; anything longer is not ours.
constexpr std::size_t kMaxConfigBytes = 4096;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::optional<double> number(std::string_view text) {
    text = trimmed(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Calls `line` with each line of `text` until it answers a value.
template <typename Line>
std::optional<double> firstLine(std::string_view text, Line line) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (auto found = line(trimmed(text.substr(0, end)))) return found;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace

double nearestScale(double scale) {
    if (!std::isfinite(scale) || scale <= 0.0) return 1.0;
    double best = kEditorScales.front();
    for (double listed : kEditorScales)
        if (std::fabs(listed - scale) < std::fabs(best - scale)) best = listed;
    return best;
}

int drawingScale(double scale) { return static_cast<int>(std::ceil(nearestScale(scale))); }

int scaledLength(int panelLength, double scale) {
    return static_cast<int>(std::lround(panelLength * nearestScale(scale)));
}

std::string scaleLabel(double scale) {
    return std::to_string(static_cast<int>(std::lround(scale * 100.0))) + "%";
}

int scaleIndex(double scale) {
    for (std::size_t i = 0; i < kEditorScales.size(); ++i)
        if (kEditorScales[i] == scale) return static_cast<int>(i);
    return -1;
}

std::optional<double> scaleFromResources(std::string_view resources) {
    return firstLine(resources, [](std::string_view line) -> std::optional<double> {
        constexpr std::string_view key = "Xft.dpi:";
        if (line.substr(0, key.size()) != key) return std::nullopt;
        const auto dpi = number(line.substr(key.size()));
        if (!dpi || *dpi <= 0.0) return std::nullopt;
        return nearestScale(*dpi / 96.0);
    });
}

std::optional<double> scaleFromGdkScale(const char* value) {
    if (!value) return std::nullopt;
    const auto scale = number(value);
    if (!scale || *scale < 1.0 || *scale != std::floor(*scale)) return std::nullopt;
    return nearestScale(*scale);
}

std::optional<double> scaleFromConfig(std::string_view text) {
    return firstLine(text, [](std::string_view line) -> std::optional<double> {
        constexpr std::string_view key = "scale=";
        if (line.substr(0, key.size()) != key) return std::nullopt;
        const auto scale = number(line.substr(key.size()));
        if (!scale || scaleIndex(*scale) < 0) return std::nullopt;
        return *scale;
    });
}

std::string configPath() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/orvex/editor.conf";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config/orvex/editor.conf";
    return {};
}

std::optional<double> readChosenScale() {
    const std::string path = configPath();
    if (path.empty()) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kMaxConfigBytes) {
        text.resize(kMaxConfigBytes + 1);
        std::size_t got = 0;
        for (;;) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
            if (got == text.size()) break;
        }
        text.resize(got > kMaxConfigBytes ? 0 : got);  // grew while read: not ours either
    }
    ::close(fd);
    return scaleFromConfig(text);
}

bool writeChosenScale(double scale) {
    if (scaleIndex(scale) < 0) return false;
    const std::string path = configPath();
    if (path.empty()) return false;
    // The folders up to the file, as far as they are missing.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (::mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return false;
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    char line[32];
    const int length = std::snprintf(line, sizeof line, "scale=%g\n", scale);
    bool written = length > 0 && ::write(fd, line, static_cast<std::size_t>(length)) == length;
    written = ::fchmod(fd, 0644) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

std::optional<double> scaleFromXServer() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    std::optional<double> scale;
    if (c && !xcb_connection_has_error(c)) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
        if (it.rem) {
            // The whole database is a few kilobytes; 64 KiB is more than any holds.
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                c,
                xcb_get_property(c, 0, it.data->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 16384),
                nullptr);
            if (reply && reply->format == 8) {
                const auto* text = static_cast<const char*>(xcb_get_property_value(reply));
                scale = scaleFromResources(
                    std::string_view(text, static_cast<std::size_t>(xcb_get_property_value_length(reply))));
            }
            std::free(reply);
        }
    }
    if (c) xcb_disconnect(c);
    return scale;
}

double defaultScale() {
    if (auto chosen = readChosenScale()) return *chosen;
    if (auto server = scaleFromXServer()) return *server;
    if (auto gdk = scaleFromGdkScale(std::getenv("GDK_SCALE"))) return *gdk;
    return 1.0;
}

}  // namespace orvex::gui
