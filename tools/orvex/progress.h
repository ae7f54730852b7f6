// A one-line progress bar on stderr for renders that take a while. Silent when stderr
// is no terminal, and for renders that end before it would be worth drawing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace orvex::cli {

class ProgressBar {
public:
    // `enabled` false keeps it silent whatever happens.
    ProgressBar(bool enabled, std::string label, double sampleRate);
    ~ProgressBar();  // clears the line if one was drawn

    // After every block: frames done and the total (-1 when unknown).
    void update(int64_t done, int64_t total);
    // The bar at `fraction` (0 to 1) of the work, with `figures` after it ("12 / 200
    // files"): for a batch, whose files may differ in rate.
    void show(double fraction, const std::string& figures);
    void finish();

    // Whether stderr is a terminal (so that a bar makes sense).
    static bool stderrIsTerminal();

private:
    using Clock = std::chrono::steady_clock;
    bool due();
    void draw(double fraction, const std::string& figures);
    bool enabled;
    bool drawn = false;
    std::string label;
    double sampleRate;
    Clock::time_point started;
    Clock::time_point lastDrawn;
};

}  // namespace orvex::cli
