// Processing a CLAP plug-in: the instance's life (activation at one rate after another,
// processing started and stopped over and over) and calls of any length. The grid, the
// buffers and extreme input are the VST 2.x checks' own, through a Player.
#include <algorithm>
#include <cmath>

#include "checks_clap.h"

namespace orvex::validate {

void checkClapLifecycle(Context& c, Outcome& out) {
    constexpr uint32_t kBlock = 512;
    constexpr double kLevelTolerance = 3.0;
    const int frames = c.settings.quick ? 8192 : 32768;
    const double rates[] = {96000.0, 22050.0, 48000.0, 44100.0};
    // How a fresh instance sounds at each rate: a re-activated one must sound the same.
    auto hear = [&](clap::Plugin& p, double rate) {
        clap::Feed feed;
        feed.rate = rate;
        return clap::runBlocks(p, makeSignal(Signal::noise, 2, frames, rate, 9), kBlock, feed);
    };
    std::vector<Audio> fresh;
    for (double rate : rates) {
        c.step("a fresh instance at %s", rateText(rate).c_str());
        auto p = clap::active(c, out, rate, kBlock);
        if (!p) return;
        fresh.push_back(hear(*p, rate));
    }
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) {
        out.fail(error);
        return;
    }
    int activations = 0, starts = 0, calls = 0;
    double worstExact = 0, worstLevel = 0;
    for (int round = 0; round < 2; ++round)
        for (std::size_t r = 0; r < std::size(rates); ++r) {
            const double rate = rates[r];
            c.step("round %d: activate at %s", round + 1, rateText(rate).c_str());
            if (!p->activate(rate, 1, kBlock)) {
                out.fail("activate at " + rateText(rate) + " refused after " + std::to_string(activations) +
                         " activations");
                return;
            }
            ++activations;
            // Processing started and stopped three times before it is heard.
            const Audio noise = makeSignal(Signal::noise, 2, kBlock, rate, 3);
            Audio scratch = noise;
            for (int k = 0; k < 3; ++k) {
                c.step("round %d at %s: start_processing %d", round + 1, rateText(rate).c_str(), k + 1);
                if (!p->startProcessing()) {
                    out.fail("start_processing refused at " + rateText(rate) + " after " + std::to_string(starts) +
                             " starts (the activation's " + std::to_string(k + 1) + ")");
                    return;
                }
                ++starts;
                float* ins[2] = {scratch[0].data(), scratch[1].data()};
                const float* const in[2] = {noise[0].data(), noise[1].data()};
                if (p->process(in, ins, kBlock) == CLAP_PROCESS_ERROR)
                    out.fail("process answers CLAP_PROCESS_ERROR between start and stop at " + rateText(rate));
                ++calls;
                p->stopProcessing();
            }
            // The deactivation and activation a host makes for a new rate or block size.
            p->deactivate();
            if (!p->activate(rate, 1, kBlock)) {
                out.fail("activate at " + rateText(rate) + " refused right after a deactivation");
                return;
            }
            ++activations;
            // A full reset of the processing state (filters, sweeps), as after a fresh
            // activation: from here it sounds as a fresh instance at this rate.
            p->raw()->reset(p->raw());
            c.step("round %d at %s: heard against a fresh instance", round + 1, rateText(rate).c_str());
            const Audio heard = hear(*p, rate);
            calls += (frames + static_cast<int>(kBlock) - 1) / static_cast<int>(kBlock);
            const double d = maxDifference(heard, fresh[r]);
            worstExact = std::max(worstExact, d);
            if (d > kSameSound) {
                // State a plug-in keeps through a reset (a sweep that runs freely from
                // the instance's making) may differ, and with it the level of a window
                // by a few decibels; a rate taken wrongly moves it further.
                const LevelMatch level = compareLevels(heard, fresh[r], static_cast<int64_t>(rate / 10), 4096);
                worstLevel = std::max(worstLevel, level.worstDecibels);
                if (level.worstDecibels > kLevelTolerance || level.silentAlone)
                    out.fail("re-activated at " + rateText(rate) + " after other rates it sounds unlike a fresh "
                             "instance at that rate: " + level.describe());
            }
            p->deactivate();
        }
    out.say("%d activations at %zu rates, %d starts and stops, %d calls; re-activated against fresh instances: %s",
            activations, std::size(rates), starts, calls, differenceText(worstExact).c_str());
    if (worstExact > kSameSound) out.say("levels within %.2f dB (%.0f allowed)", worstLevel, kLevelTolerance);
    out.figure("activations", activations);
    out.figure("difference", worstExact);
    out.figure("level_difference_db", worstLevel);
}

void checkClapBlockSplit(Context& c, Outcome& out) {
    const int frames = c.settings.quick ? 8192 : 32768;
    constexpr uint32_t kBlock = 512;
    auto whole = clap::active(c, out, 44100.0, kBlock);
    auto pieces = clap::active(c, out, 44100.0, kBlock);
    if (!whole || !pieces) return;
    const Audio in = makeSignal(Signal::noise, 2, frames, 44100.0, 11);
    c.step("calls of %u frames, the activated maximum", kBlock);
    const Audio reference = clap::runBlocks(*whole, in, kBlock);
    Random lengths(c.settings.seed);
    int calls = 0, singles = 0;
    c.step("calls of random lengths up to %u frames", kBlock);
    const Audio split = clap::run(*pieces, in, [&] {
        ++calls;
        if (lengths.chance(0.2f)) {
            ++singles;
            return 1;
        }
        return 2 + lengths.below(static_cast<int>(kBlock) - 1);
    });
    const double d = maxDifference(reference, split);
    out.say("%d frames: %d random calls (%d single samples) against calls of %u: %s", frames, calls, singles, kBlock,
            differenceText(d).c_str());
    out.figure("difference", d);
    out.figure("calls", calls);
    if (!(d <= kSameSound)) out.fail("calls of random lengths sound different from calls of the activated maximum");
}

}  // namespace orvex::validate
