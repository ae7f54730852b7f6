// Processing: every sample rate and block size, rate changes, calls of any length,
// and input no musician would send on purpose.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "checks.h"
#include "harness.h"

namespace orvex::validate {

namespace {

const double kRates[] = {22050, 44100, 48000, 88200, 96000, 192000, 1234.5678, 8000, 384000};
const double kQuickRates[] = {44100, 96000, 1234.5678, 384000};
const int kBlocks[] = {1, 2, 17, 64, 256, 512, 1024, 1536, 2027, 4096, 8192};
const int kQuickBlocks[] = {1, 17, 512, 2027, 8192};

// Output that is not clean, said once per kind of input at most.
void judge(Outcome& out, const Scan& scan, const std::string& where) {
    if (scan.clean()) return;
    out.fail(where + ": " + scan.describe() + " output samples");
}


}  // namespace

void checkGrid(Context& c, Outcome& out) {
    const std::vector<double> rates = c.settings.quick ? std::vector<double>(std::begin(kQuickRates), std::end(kQuickRates))
                                                       : std::vector<double>(std::begin(kRates), std::end(kRates));
    const std::vector<int> blocks = c.settings.quick ? std::vector<int>(std::begin(kQuickBlocks), std::end(kQuickBlocks))
                                                     : std::vector<int>(std::begin(kBlocks), std::end(kBlocks));
    const double seconds = c.settings.quick ? 0.02 : 0.05;
    auto p = c.player(out);
    if (!p) return;
    Scan total;
    int runs = 0;
    const double start = threadSeconds();
    for (double rate : rates) {
        for (int block : blocks) {
            c.step("preparing for %s, blocks of %d", rateText(rate).c_str(), block);
            if (!p->prepare(rate, block)) {
                out.fail("refuses to be prepared for " + rateText(rate) + ", blocks of " + std::to_string(block));
                return;
            }
            const int64_t frames = std::max<int64_t>(4 * static_cast<int64_t>(block), static_cast<int64_t>(rate * seconds));
            for (Signal signal : kAllSignals) {
                c.step("%s at %s in blocks of %d", signalName(signal), rateText(rate).c_str(), block);
                const Audio in = makeSignal(signal, p->inputs, frames, rate, static_cast<uint64_t>(runs + 1));
                Scan scan;
                scan.add(p->runBlocks(in, block));
                judge(out, scan, std::string(signalName(signal)) + " at " + rateText(rate) + ", blocks of " +
                                     std::to_string(block));
                total.samples += scan.samples;
                total.nan += scan.nan;
                total.infinite += scan.infinite;
                total.subnormal += scan.subnormal;
                total.unwritten += scan.unwritten;
                total.peak = std::max(total.peak, scan.peak);
                ++runs;
            }
        }
    }
    const double spent = threadSeconds() - start;
    out.say("%d runs: %zu rates x %zu block sizes x 4 signals, %lld frames, peak %s, output %s", runs, rates.size(),
            blocks.size(), static_cast<long long>(total.samples / std::max(p->outputs, 1)),
            decibels(total.peak).c_str(), total.describe().c_str());
    out.figure("runs", runs);
    out.figure("frames", static_cast<double>(total.samples / std::max(p->outputs, 1)));
    out.figure("peak", total.peak);
    out.figure("non_finite", static_cast<double>(total.nonFinite()));
    out.figure("subnormal", static_cast<double>(total.subnormal));
    out.figure("unwritten", static_cast<double>(total.unwritten));
    out.figure("cpu_seconds", spent);
}

void checkRateChange(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    Scan total;
    for (double rate : {44100.0, 96000.0, 22050.0, 192000.0, 8000.0, 48000.0}) {
        c.step("sample rate %s set while resumed", rateText(rate).c_str());
        p->setSampleRate(static_cast<float>(rate));
        Scan scan;
        scan.add(runBlocks(*p, makeSignal(Signal::noise, inputChannels(*p), static_cast<int64_t>(rate / 10), rate), 512));
        judge(out, scan, "after a change to " + rateText(rate) + " without suspend");
        total.peak = std::max(total.peak, scan.peak);
    }
    out.say("6 rates from 8000 to 192000 Hz without suspend, peak %s", decibels(total.peak).c_str());
    out.figure("peak", total.peak);
}

void checkBlockSplit(Context& c, Outcome& out) {
    const int frames = c.settings.quick ? 8192 : 32768;
    constexpr int kAnnounced = 512;
    auto whole = c.started(out, frames);
    auto doubled = c.started(out, kAnnounced);
    auto random = c.started(out, kAnnounced);
    if (!whole || !doubled || !random) return;
    const Audio in = makeSignal(Signal::noise, inputChannels(*whole), frames, 44100.0, 11);

    c.step("one call of %d frames", frames);
    const Audio reference = runBlocks(*whole, in, frames);
    c.step("calls of %d frames, twice the announced %d", 2 * kAnnounced, kAnnounced);
    const Audio twice = runBlocks(*doubled, in, 2 * kAnnounced);
    Random lengths(c.settings.seed);
    int calls = 0, singles = 0;
    c.step("calls of random lengths up to %d frames", 2 * kAnnounced);
    const Audio pieces = run(*random, in, [&] {
        ++calls;
        if (lengths.chance(0.2f)) {
            ++singles;
            return 1;
        }
        return 2 + lengths.below(2 * kAnnounced - 1);
    });
    const double dTwice = maxDifference(reference, twice);
    const double dPieces = maxDifference(reference, pieces);
    Scan scan;
    scan.add(reference);
    judge(out, scan, "one long call");
    out.say("%d frames: calls of %d %s, %d random calls (%d single samples) %s", frames, 2 * kAnnounced,
            differenceText(dTwice).c_str(), calls, singles, differenceText(dPieces).c_str());
    out.figure("difference_double_blocks", dTwice);
    out.figure("difference_random_blocks", dPieces);
    out.figure("random_calls", calls);
    out.figure("single_sample_calls", singles);
    if (!(dTwice <= kSameSound)) out.fail("calls twice the announced block size sound different from one long call");
    if (!(dPieces <= kSameSound)) out.fail("calls of random lengths sound different from one long call");
}

void checkBuffers(Context& c, Outcome& out) {
    const int frames = c.settings.quick ? 8192 : 32768;
    constexpr int kAnnounced = 512;
    auto first = c.player(out, kAnnounced);
    if (!first) return;
    const Audio in = makeSignal(Signal::noise, first->inputs, frames, 44100.0, 13);
    // One list of call lengths for every run, mostly shorter than the announced size:
    // a plug-in that writes its announced block size writes past their end.
    std::vector<int> lengths;
    Random random(c.settings.seed);
    for (int sum = 0; sum < frames; sum += lengths.back()) lengths.push_back(1 + random.below(kAnnounced));
    const auto replay = [&lengths] {
        return [&lengths, k = std::size_t{0}]() mutable { return lengths[k++ % lengths.size()]; };
    };
    // The ways a host may hand this plug-in its buffers, each against a clean run.
    std::vector<Outputs> ways;
    std::vector<std::string> notRun;
    first->bufferWays(ways, notRun);
    // The outputs it announces: the extra ones a mono plug-in gets hold what they held.
    const auto announced = [outputs = static_cast<std::size_t>(first->announced)](Audio audio) {
        audio.resize(std::min(audio.size(), outputs));
        return audio;
    };
    BufferUse use;
    c.step("a clean run in %zu calls of random lengths", lengths.size());
    const Audio clean = announced(first->run(in, replay(), Outputs::unwritten, &use));
    first.reset();
    Scan level;
    level.add(clean);
    // What `process` added is read back by a subtraction, which rounds as the sum did:
    // by up to half an ulp of the level.
    const double addedTolerance = kSameSound * std::max(1.0f, level.peak);
    int runs = 1;
    double worst = 0;
    for (Outputs way : ways) {
        auto p = c.player(out, kAnnounced);
        if (!p) return;
        c.step("%s", outputsName(way));
        const double d = maxDifference(clean, announced(p->run(in, replay(), way, &use)));
        ++runs;
        worst = std::max(worst, d);
        if (d <= (way == Outputs::added ? addedTolerance : kSameSound)) continue;
        out.fail(way == Outputs::added
                     ? std::string("process does not add to what the outputs held: what it added ") + differenceText(d) +
                           " from a clean run"
                     : std::string(outputsName(way)) + " sounds different from a clean run: " + differenceText(d));
    }
    if (use.inputWrites > 0)
        out.fail("writes to its inputs when not processing in place: " + std::to_string(use.inputWrites) +
                 " input samples changed, first in call " + std::to_string(use.firstInputWrite + 1));
    if (use.overruns > 0)
        out.fail("writes past the end of its buffers: " + std::to_string(use.overruns) +
                 " samples, first in call " + std::to_string(use.firstOverrun + 1) + " of " +
                 std::to_string(use.overrunLength) + " frames");
    std::string ran;
    for (Outputs way : ways) ran += std::string(ran.empty() ? "" : ", ") + outputsName(way);
    out.say("%d runs of %d frames in the same %zu calls up to %d frames; %s against a clean run: %s", runs, frames,
            lengths.size(), kAnnounced, ran.c_str(), differenceText(worst).c_str());
    for (const std::string& why : notRun) out.say("%s", why.c_str());
    out.say("inputs and past the end %s", use.inputWrites + use.overruns == 0 ? "untouched" : "written");
    out.figure("runs", runs);
    out.figure("difference", worst);
    out.figure("input_writes", static_cast<double>(use.inputWrites));
    out.figure("overruns", static_cast<double>(use.overruns));
}

void checkLatency(Context& c, Outcome& out) {
    // Lags searched beyond the reported delay, and the longest delay searched for.
    constexpr int kBeyond = 1024, kLongest = 65536;
    // A response this many samples early is rounding in the plug-in's own count.
    constexpr int kSlack = 4;
    // Below this the output does not follow the input, and no lag is told.
    constexpr double kRelated = 0.1;
    constexpr int kBlock = 512;
    const int window = c.settings.quick ? 4096 : 16384;
    auto p = c.started(out, kBlock);
    if (!p) return;
    const VstInt32 reported = p->effect()->initialDelay;
    out.figure("reported_delay", reported);
    if (reported < 0) {
        out.fail("initialDelay is negative: " + std::to_string(reported));
        return;
    }
    const int expected = std::min<int>(reported, kLongest), lags = expected + kBeyond;
    // The correlation window starts once the longest lag has input behind it.
    const int from = lags + kBlock;
    // One noise on every input, so that a plug-in mixing its channels still follows it.
    const Audio noise = makeSignal(Signal::noise, 1, from + window, 44100.0, c.settings.seed);
    c.step("noise through the plug-in");
    const Audio output = runBlocks(*p, Audio(static_cast<std::size_t>(inputChannels(*p)), noise[0]), kBlock);
    Scan scan;
    scan.add(output);
    judge(out, scan, "noise");
    if (scan.nonFinite() || scan.unwritten) return;
    // The lag of the output's greatest correlation with the input, over the output
    // channels (each taken as it is, whatever its polarity): a zero-latency filter,
    // phaser or distortion peaks near 0 however it modulates, a delay at its delay.
    const float* x = noise[0].data() + from;
    std::vector<double> score(static_cast<std::size_t>(lags) + 1, 0.0);
    double inputNorm = 0, outputNorms = 0;
    for (int i = 0; i < window; ++i) inputNorm += static_cast<double>(x[i]) * x[i];
    for (const std::vector<float>& channel : output) {
        const float* y = channel.data() + from;
        double energy = 0;
        for (int i = 0; i < window; ++i) energy += static_cast<double>(y[i]) * y[i];
        outputNorms += std::sqrt(energy);
        for (int lag = 0; lag <= lags; ++lag) {
            double sum = 0;
            for (int i = 0; i < window; ++i) sum += static_cast<double>(y[i]) * x[i - lag];
            score[static_cast<std::size_t>(lag)] += std::fabs(sum);
        }
    }
    const int lag = static_cast<int>(std::max_element(score.begin(), score.end()) - score.begin());
    const double correlation =
        score[static_cast<std::size_t>(lag)] / std::max(std::sqrt(inputNorm) * outputNorms, 1e-30);
    out.figure("correlation", correlation);
    if (!(correlation >= kRelated)) {
        out.say("reported delay %d samples; the output does not follow noise at the input (correlation %.2f), no lag "
                "told", reported, correlation);
        return;
    }
    out.say("reported delay %d samples, the response to noise peaks at lag %d (correlation %.2f)", reported, lag,
            correlation);
    out.figure("measured_lag", lag);
    if (lag < expected - kSlack)
        out.fail("the response comes " + std::to_string(lag) + " samples after the input, before the reported " +
                 "delay of " + std::to_string(reported) + ": a host compensating for it puts the output " +
                 std::to_string(reported - lag) + " samples early");
}

void checkExtremeInput(Context& c, Outcome& out) {
    struct Case {
        const char* name;
        float dc;
        float noise;
        bool square;
    };
    const Case cases[] = {
        {"+1e6 DC", 1e6f, 0, false},       {"-1e6 DC", -1e6f, 0, false},     {"+-1e6 square", 1e6f, 0, true},
        {"noise at 1e6", 0, 1e6f, false},  {"DC offset 0.9 with noise", 0.9f, 0.1f, false},
        {"DC offset -1", -1.0f, 0, false}, {"noise after all that", 0, 0.5f, false},
    };
    auto p = c.player(out);
    if (!p) return;
    Random random(c.settings.seed);
    float loudest = 0;
    for (const Case& k : cases) {
        c.step("input %s", k.name);
        Audio in(static_cast<std::size_t>(p->inputs), std::vector<float>(8 * 512));
        for (auto& channel : in)
            for (std::size_t i = 0; i < channel.size(); ++i)
                channel[i] = (k.square ? ((i / 50) % 2 ? -k.dc : k.dc) : k.dc) + k.noise * random.bipolar();
        Scan scan;
        scan.add(p->runBlocks(in, 512));
        if (scan.nonFinite() > 0) out.fail(std::string(k.name) + ": " + scan.describe() + " output samples");
        loudest = std::max(loudest, scan.peak);
    }
    out.say("%zu kinds of input from +-1e6 to DC offsets, loudest output %.3g", std::size(cases), loudest);
    out.figure("loudest", loudest);
}

void checkNonFiniteInput(Context& c, Outcome& out) {
    constexpr int kBlock = 512;
    struct Burst {
        const char* name;
        float value;
        int length;
        bool leftOnly;
        bool alternate;  // the sign flips every sample
    };
    const Burst bursts[] = {
        {"64 NaN", NAN, 64, false, false},
        {"64 +inf", INFINITY, 64, false, false},
        {"64 -inf", -INFINITY, 64, false, false},
        {"one NaN on the left", NAN, 1, true, false},
        {"a block of NaN", NAN, kBlock, false, false},
        {"32 alternating +-inf", INFINITY, 32, false, true},
    };
    // After the burst and two blocks of finite input the output must answer its input
    // as a fresh instance's does: not silent where that one is not, and, once a long
    // tail it may rightly have flushed had time to build up again, about as loud.
    constexpr int kFrames = 48 * kBlock, kWindow = 2048, kTail = 44100 / 10;
    constexpr double kLevelTolerance = 6.0;
    auto fresh = c.player(out, kBlock);
    if (!fresh) return;
    const Audio clean = makeSignal(Signal::noise, fresh->inputs, kFrames, 44100.0, 5);
    c.step("a fresh instance without a burst");
    const Audio reference = fresh->runBlocks(clean, kBlock);
    fresh.reset();
    int64_t worst = 0;
    double worstLevel = 0;
    for (const Burst& b : bursts) {
        auto p = c.player(out, kBlock);
        if (!p) return;
        Audio in = clean;
        const int64_t from = 4 * kBlock + 100, to = from + b.length;
        for (std::size_t ch = 0; ch < in.size(); ++ch) {
            if (b.leftOnly && ch > 0) break;
            for (int64_t i = from; i < to; ++i)
                in[ch][static_cast<std::size_t>(i)] = b.alternate && (i % 2) ? -b.value : b.value;
        }
        c.step("a burst of %s", b.name);
        const Audio output = p->runBlocks(in, kBlock);
        Scan scan;
        for (const auto& channel : output) scan.add(channel.data(), static_cast<int64_t>(channel.size()));
        const int64_t recovery = scan.lastNonFinite < to ? 0 : scan.lastNonFinite - to + 1;
        worst = std::max(worst, recovery);
        if (recovery > kBlock)
            out.fail(std::string("after ") + b.name + " the output is still not finite " + std::to_string(recovery) +
                     " samples later (more than one block of " + std::to_string(kBlock) + ")" +
                     (scan.lastNonFinite + 1 >= static_cast<int64_t>(output[0].size()) ? ", up to the end of the run"
                                                                                         : ""));
        const LevelMatch soon = compareLevels(output, reference, to + 2 * kBlock, kWindow);
        const LevelMatch later = compareLevels(output, reference, to + 2 * kBlock + kTail, kWindow);
        worstLevel = std::max(worstLevel, later.worstDecibels);
        if (soon.silentAlone)
            out.fail(std::string("after ") + b.name +
                     " the output does not answer its input as a fresh instance's does: " + soon.describe());
        else if (later.worstDecibels > kLevelTolerance)
            out.fail(std::string("after ") + b.name + " the output level is not a fresh instance's: " +
                     later.describe());
    }
    out.say("%zu bursts of NaN and infinity, output finite again after at most %lld samples", std::size(bursts),
            static_cast<long long>(worst));
    out.say("from %s after the burst as loud as a fresh instance within %.2f dB",
            milliseconds((2 * kBlock + kTail) / 44100.0).c_str(), worstLevel);
    out.figure("worst_recovery_samples", static_cast<double>(worst));
    out.figure("worst_level_difference_db", worstLevel);
}

void checkSubnormalInput(Context& c, Outcome& out) {
    auto p = c.player(out);
    if (!p) return;
    const int channels = p->inputs;
    c.step("calibrating");
    const int64_t frames = framesLasting(*p, c.settings.quick ? 0.01 : 0.025);
    Audio normal = makeSignal(Signal::noise, channels, frames, 44100.0, 2);
    for (auto& channel : normal)
        for (float& s : channel) s *= 0.2f;
    Audio tiny = normal;
    Random random(c.settings.seed);
    for (auto& channel : tiny)
        for (float& s : channel) s = (random.chance(0.5f) ? 1.0f : -1.0f) * (0.1f + 0.9f * random.uniform()) * 1e-39f;

    const int rounds = c.settings.quick ? 5 : 9;
    double best = INFINITY, normalNs = 0, tinyNs = 0;
    // A real slowdown shows in every measurement; a busy moment of the machine does
    // not, so the best of three medians is taken. Twice the normal cost at the first
    // is no busy moment (the times are the thread's own), and measuring it twice more
    // would only spend the check's time.
    for (int attempt = 0; attempt < 3 && best > 1.2 && (attempt == 0 || best <= 2.0); ++attempt) {
        std::vector<double> a, b;
        for (int r = 0; r < rounds; ++r) {
            c.step("timing round %d: normal input", r + 1);
            double t = threadSeconds();
            p->runBlocks(normal, 512);
            a.push_back(threadSeconds() - t);
            c.step("timing round %d: subnormal input", r + 1);
            t = threadSeconds();
            p->runBlocks(tiny, 512);
            b.push_back(threadSeconds() - t);
        }
        const double ratio = median(b) / std::max(median(a), 1e-12);
        if (ratio < best) {
            best = ratio;
            normalNs = median(a) / static_cast<double>(frames) * 1e9;
            tinyNs = median(b) / static_cast<double>(frames) * 1e9;
        }
    }
    out.say("normal input %.1f ns, subnormal input %.1f ns per frame: %.2f times", normalNs, tinyNs, best);
    out.figure("normal_ns_per_frame", normalNs);
    out.figure("subnormal_ns_per_frame", tinyNs);
    out.figure("ratio", best);
    if (best > 1.2) out.fail("subnormal input makes processing more than 1.2 times slower");
}

}  // namespace orvex::validate
