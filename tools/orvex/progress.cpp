#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace orvex::cli {

namespace {

// Nothing is drawn for renders that finish sooner, and the line is redrawn at most
// this often.
constexpr std::chrono::milliseconds kFirstDraw{300};
constexpr std::chrono::milliseconds kRedraw{100};
constexpr int kBarWidth = 30;

}  // namespace

ProgressBar::ProgressBar(bool enabled, std::string label, double sampleRate)
    : enabled(enabled), label(std::move(label)), sampleRate(sampleRate), started(Clock::now()), lastDrawn(started) {}

ProgressBar::~ProgressBar() { finish(); }

bool ProgressBar::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool ProgressBar::due() {
    if (!enabled) return false;
    const auto now = Clock::now();
    if (now - started < kFirstDraw || (drawn && now - lastDrawn < kRedraw)) return false;
    lastDrawn = now;
    drawn = true;
    return true;
}

void ProgressBar::draw(double fraction, const std::string& figures) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = 0;
    std::fprintf(stderr, "\r%s [%s] %3d%%  %s ", label.c_str(), bar, static_cast<int>(fraction * 100.0),
                 figures.c_str());
    std::fflush(stderr);
}

void ProgressBar::update(int64_t done, int64_t total) {
    if (!due()) return;
    const double seconds = static_cast<double>(done) / sampleRate;
    if (total > 0) {
        char figures[64];
        std::snprintf(figures, sizeof figures, "%.1f / %.1f s", seconds, static_cast<double>(total) / sampleRate);
        draw(static_cast<double>(done) / static_cast<double>(total), figures);
    } else {
        std::fprintf(stderr, "\r%s %.1f s ", label.c_str(), seconds);
        std::fflush(stderr);
    }
}

void ProgressBar::show(double fraction, const std::string& figures) {
    if (due()) draw(fraction, figures);
}

void ProgressBar::finish() {
    if (!drawn) return;
    // Wipe the line so that what follows starts on a clean one.
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn = false;
}

}  // namespace orvex::cli
