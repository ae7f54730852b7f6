// Parameters and programs: extremes, random automation, values no host should send,
// texts, read-back and a session restore.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "checks.h"
#include "harness.h"

namespace orvex::validate {

namespace {

// A text the plug-in writes into a large buffer that starts out full of junk, so that
// a missing terminator shows. Returns its length, or -1 when no terminator came.
int writtenText(vsthost::Plugin& p, VstInt32 opcode, VstInt32 index, std::string* text = nullptr,
                VstIntPtr value = 0) {
    constexpr std::size_t kSize = 1024;
    char buffer[kSize];
    std::memset(buffer, 'x', kSize);
    buffer[0] = 0;  // plug-ins that write nothing leave an empty text
    buffer[kSize - 1] = 0;
    p.dispatch(opcode, index, value, buffer);
    const std::size_t length = strnlen(buffer, kSize);
    if (length >= kSize - 1) return -1;
    if (text) *text = buffer;
    return static_cast<int>(length);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A value read back this close to the one set still counts as that value. Hosts keep
// parameters as 32-bit floats, and a plug-in that keeps them in units of its own
// (decibels, hertz) maps 0..1 onto its range and back, losing a rounding step of that
// range on the way: about one ulp of a float near 1 (2^-24), whatever the value, which
// at 0.001 is already sixty ulps of the value itself. So the tolerance is counted in
// ulps at full scale, four of them (2.4e-7); no host, session or listener can tell that
// much, and a stepped, clamped or mis-scaled parameter is off by 1/127 or more.
constexpr double kFullScaleUlp = 1.0 / (1 << 24);
constexpr double kUlpTolerance = 4;

// How far apart two values are, in ulps at full scale; infinite when either is NaN.
double ulpsApart(float a, float b) {
    const double d = std::fabs(static_cast<double>(a) - static_cast<double>(b)) / kFullScaleUlp;
    return std::isnan(d) ? INFINITY : d;
}

// The values that came back a little off, for the summary: how many, and the worst.
struct NearMisses {
    int count = 0;
    double worst = 0;
    float set = 0, read = 0;
    void add(float s, float r, double apart) {
        ++count;
        if (apart > worst) {
            worst = apart;
            set = s;
            read = r;
        }
    }
    void say(Outcome& out) const {
        if (count == 0) return;
        out.say("%d within %g ulps at full scale (worst %.9g read back as %.9g)", count, kUlpTolerance, set, read);
        out.figure("within_tolerance", count);
    }
};

std::string parameterText(vsthost::Plugin& p, VstInt32 index) {
    return std::to_string(index) + " " + quoted(p.parameterName(index));
}

std::vector<float> values(vsthost::Plugin& p) {
    std::vector<float> v(static_cast<std::size_t>(p.numParams()));
    for (VstInt32 i = 0; i < p.numParams(); ++i) v[static_cast<std::size_t>(i)] = p.getParameter(i);
    return v;
}

// Processes `blocks` blocks of noise and adds what came out to `scan`.
void processNoise(vsthost::Plugin& p, Scan& scan, int blocks, int block = 512, uint64_t seed = 1) {
    scan.add(runBlocks(p, makeSignal(Signal::noise, inputChannels(p), static_cast<int64_t>(blocks) * block, 44100.0, seed),
                       block));
}

// Fails once per kind of trouble, naming where it was first seen.
class Judge {
public:
    explicit Judge(Outcome& out) : out(out) {}
    void operator()(const Scan& before, const Scan& after, const std::string& where) {
        if (after.nonFinite() > before.nonFinite() && !sawNonFinite) {
            sawNonFinite = true;
            out.fail("non-finite output " + where);
        }
        if (after.subnormal > before.subnormal && !sawSubnormal) {
            sawSubnormal = true;
            out.fail("subnormal output " + where);
        }
    }

private:
    Outcome& out;
    bool sawNonFinite = false;
    bool sawSubnormal = false;
};

}  // namespace

void checkParameterExtremes(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    if (p->numParams() == 0) return out.skip("the plug-in has no parameters");
    const std::vector<float> defaults = values(*p);
    Scan scan;
    Judge judge(out);
    for (float v : {0.0f, 1.0f}) {
        c.step("every parameter at %g", v);
        for (VstInt32 i = 0; i < p->numParams(); ++i) p->setParameter(i, v);
        const Scan before = scan;
        processNoise(*p, scan, 8);
        judge(before, scan, std::string("with every parameter at ") + (v == 0 ? "0" : "1"));
    }
    for (VstInt32 i = 0; i < p->numParams(); ++i) p->setParameter(i, defaults[static_cast<std::size_t>(i)]);
    for (VstInt32 i = 0; i < p->numParams(); ++i) {
        for (float v : {0.0f, 1.0f}) {
            c.step("parameter %d at %g", i, v);
            p->setParameter(i, v);
            const Scan before = scan;
            processNoise(*p, scan, 2);
            judge(before, scan, "with parameter " + parameterText(*p, i) + " at " + (v == 0 ? "0" : "1"));
        }
        p->setParameter(i, defaults[static_cast<std::size_t>(i)]);
    }
    out.say("%d parameters at 0 and 1, all together and one by one: output %s, peak %s", p->numParams(),
            scan.describe().c_str(), decibels(scan.peak).c_str());
    out.figure("peak", scan.peak);
    out.figure("non_finite", static_cast<double>(scan.nonFinite()));
}

void checkRandomParameters(Context& c, Outcome& out) {
    const int seeds = c.settings.quick ? 10 : 50;
    constexpr int kChanges = 64, kEvery = 32;
    auto p = c.started(out);
    if (!p) return;
    if (p->numParams() == 0) return out.skip("the plug-in has no parameters");
    Scan scan;
    Judge judge(out);
    for (int s = 0; s < seeds; ++s) {
        const uint32_t seed = c.settings.seed * 7919u + static_cast<uint32_t>(s);
        Random random(seed);
        c.step("random set %d (seed %u)", s + 1, seed);
        const Scan before = scan;
        const Audio in = makeSignal(s % 2 ? Signal::square : Signal::noise, inputChannels(*p), kChanges * kEvery,
                                    44100.0, seed);
        scan.add(runBlocks(*p, in, kEvery, [&](int, int64_t) { randomiseParameters(*p, random); }));
        judge(before, scan, "with random parameters (seed " + std::to_string(seed) + ")");
    }
    out.say("%d seeds x %d changes of all %d parameters every %d samples: output %s, peak %s", seeds, kChanges,
            p->numParams(), kEvery, scan.describe().c_str(), decibels(scan.peak).c_str());
    out.figure("seeds", seeds);
    out.figure("peak", scan.peak);
    out.figure("non_finite", static_cast<double>(scan.nonFinite()));
}

void checkInvalidParameters(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    const float bad[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -1e30f, -0.0f, 1e-40f};
    const char* badNames[] = {"NaN", "+inf", "-inf", "-1", "2", "1e30", "-1e30", "-0", "1e-40"};
    const std::vector<float> defaults = values(*p);
    Scan scan;
    Judge judge(out);
    int readBackProblems = 0;
    for (VstInt32 i = 0; i < p->numParams(); ++i) {
        for (std::size_t k = 0; k < std::size(bad); ++k) {
            c.step("parameter %d set to %s", i, badNames[k]);
            p->setParameter(i, bad[k]);
            const float read = p->getParameter(i);
            if (!(read >= 0.0f && read <= 1.0f) && readBackProblems++ < 4)
                out.fail("parameter " + parameterText(*p, i) + " set to " + badNames[k] + " reads back " +
                         std::to_string(read));
            const Scan before = scan;
            processNoise(*p, scan, 1, 64);
            judge(before, scan, "after parameter " + parameterText(*p, i) + " was set to " + badNames[k]);
        }
        p->setParameter(i, defaults[static_cast<std::size_t>(i)]);
    }
    // Indices outside the table: nothing may happen, and nothing may be read from outside.
    const VstInt32 indices[] = {-1, p->numParams(), p->numParams() + 1000, INT_MAX, INT_MIN};
    for (VstInt32 index : indices) {
        c.step("parameter index %d", index);
        p->setParameter(index, 0.5f);
        (void)p->getParameter(index);
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) writtenText(*p, opcode, index);
        p->dispatch(effCanBeAutomated, index);
    }
    const Scan before = scan;
    processNoise(*p, scan, 4);
    judge(before, scan, "after parameter indices outside the table");
    const std::vector<float> after = values(*p);
    for (VstInt32 i = 0; i < p->numParams(); ++i)
        if (after[static_cast<std::size_t>(i)] != defaults[static_cast<std::size_t>(i)]) {
            out.fail("setting parameters outside the table changed parameter " + parameterText(*p, i));
            break;
        }
    out.say("%zu values no host should send to each of %d parameters, %zu indices outside the table: output %s",
            std::size(bad), p->numParams(), std::size(indices), scan.describe().c_str());
    out.figure("non_finite", static_cast<double>(scan.nonFinite()));
}

void checkPrograms(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    const VstInt32 count = p->numPrograms();
    if (count <= 0) return out.skip("the plug-in has no programs");
    Scan scan;
    Judge judge(out);
    int longest = 0, unnamed = 0;
    for (VstInt32 i = 0; i < count; ++i) {
        c.step("program %d selected while processing", i);
        p->setProgram(i);
        if (p->getProgram() != i && out.problems.size() < 8)
            out.fail("program " + std::to_string(i) + " selected, effGetProgram answers " +
                     std::to_string(p->getProgram()));
        const Scan before = scan;
        processNoise(*p, scan, 2);
        judge(before, scan, "in program " + std::to_string(i));
        std::string shown, stored;
        const int length = writtenText(*p, effGetProgramName, 0, &shown);
        const int indexed = writtenText(*p, effGetProgramNameIndexed, i, &stored);
        for (int n : {length, indexed}) {
            if (n < 0) out.fail("the name of program " + std::to_string(i) + " has no terminator");
            if (n >= kVstMaxProgNameLen)
                out.fail("the name of program " + std::to_string(i) + " has " + std::to_string(n) +
                         " characters; a host's buffer holds " + std::to_string(kVstMaxProgNameLen - 1));
            longest = std::max(longest, n);
        }
        unnamed += length == 0;
    }
    for (VstInt32 index : {-1, count, count + 1000, INT_MAX}) {
        c.step("program index %d", index);
        p->setProgram(index);
        const VstInt32 now = p->getProgram();
        if (now < 0 || now >= count) {
            out.fail("after a request for program " + std::to_string(index) + " effGetProgram answers " +
                     std::to_string(now));
            break;
        }
    }
    const Scan before = scan;
    processNoise(*p, scan, 4);
    judge(before, scan, "after program indices outside the table");
    out.say("%d programs selected while processing, names up to %d characters, output %s", count, longest,
            scan.describe().c_str());
    if (unnamed) out.say("%d without a name", unnamed);
    out.figure("programs", count);
    out.figure("longest_name", longest);
}

void checkParameterTexts(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    if (p->numParams() == 0) return out.skip("the plug-in has no parameters");
    constexpr int kDisplayLimit = 24;  // bytes with the terminator
    int longestName = 0, longestLabel = 0, longestDisplay = 0;
    std::string longestDisplayText;
    for (VstInt32 i = 0; i < p->numParams(); ++i) {
        const float saved = p->getParameter(i);
        c.step("name and label of parameter %d", i);
        std::string name;
        const int nameLength = writtenText(*p, effGetParamName, i, &name);
        const int labelLength = writtenText(*p, effGetParamLabel, i);
        if (nameLength < 0) out.fail("the name of parameter " + std::to_string(i) + " has no terminator");
        if (nameLength == 0) out.fail("parameter " + std::to_string(i) + " has no name");
        if (labelLength < 0) out.fail("the label of parameter " + std::to_string(i) + " has no terminator");
        if (nameLength >= kVstMaxNameLen || labelLength >= kVstMaxLabelLen)
            out.fail("parameter " + std::to_string(i) + ": a name or label beyond 63 characters");
        longestName = std::max(longestName, nameLength);
        longestLabel = std::max(longestLabel, labelLength);
        for (float v : {0.0f, 0.5f, 1.0f}) {
            c.step("display of parameter %d at %g", i, v);
            p->setParameter(i, v);
            std::string text;
            const int length = writtenText(*p, effGetParamDisplay, i, &text);
            if (length < 0) {
                out.fail("the display of parameter " + std::to_string(i) + " " + quoted(name) + " has no terminator");
            } else if (length >= kDisplayLimit) {
                out.fail("the display of parameter " + std::to_string(i) + " " + quoted(name) + " at " +
                         (v == 0 ? "0" : v == 1 ? "1" : "0.5") + " is " + quoted(text) + ", " +
                         std::to_string(length) + " characters: more than 24 bytes with its terminator");
            }
            if (length > longestDisplay) {
                longestDisplay = length;
                longestDisplayText = text;
            }
        }
        p->setParameter(i, saved);
    }
    out.say("%d parameters: names up to %d, labels up to %d, displays at 0, 0.5 and 1 up to %d characters (%s)",
            p->numParams(), longestName, longestLabel, longestDisplay, quoted(longestDisplayText).c_str());
    out.figure("longest_name", longestName);
    out.figure("longest_label", longestLabel);
    out.figure("longest_display", longestDisplay);
}

void checkReadback(Context& c, Outcome& out) {
    auto p = c.started(out);
    if (!p) return;
    if (p->numParams() == 0) return out.skip("the plug-in has no parameters");
    const float tries[] = {0.0f, 1.0f, 0.5f, 0.25f, 0.75f, 0.1f, 0.9f, 1.0f / 3.0f, 0.001f, 0.999f};
    int mismatches = 0, checked = 0;
    NearMisses near;
    std::vector<VstInt32> stepped;
    for (VstInt32 i = 0; i < p->numParams(); ++i) {
        const float saved = p->getParameter(i);
        bool exact = true;
        for (float v : tries) {
            c.step("parameter %d set to %g and read back", i, v);
            p->setParameter(i, v);
            const float read = p->getParameter(i);
            ++checked;
            const double apart = ulpsApart(read, v);
            if (apart > 0 && apart <= kUlpTolerance) near.add(v, read, apart);
            if (apart > kUlpTolerance) {
                ++mismatches;
                if (exact) {
                    char text[160];
                    std::snprintf(text, sizeof text, "parameter %s: set %.9g, read back %.9g", parameterText(*p, i).c_str(),
                                  v, read);
                    if (stepped.size() < 8) out.fail(text);
                    stepped.push_back(i);
                }
                exact = false;
            }
        }
        p->setParameter(i, saved);
    }
    if (stepped.size() > 8) out.fail("and " + std::to_string(stepped.size() - 8) + " more parameters");
    out.say("%d values in 0..1 on %d parameters, %d read back as set", checked, p->numParams(),
            checked - mismatches - near.count);
    near.say(out);
    out.figure("checked", checked);
    out.figure("mismatches", mismatches);
}

void checkSessionRestore(Context& c, Outcome& out) {
    const int rounds = c.settings.quick ? 3 : 10;
    // Smoothing may take the first moments; after them the level of each window must
    // match within a decibel, far less than any value left unheard changes.
    constexpr int kHeardFrames = 44100 / 2, kSettleFrames = 44100 / 10, kLevelWindow = 4096;
    constexpr double kHeardTolerance = 1.0;
    double worstHeard = 0;
    int restored = 0;
    NearMisses near;
    for (int r = 0; r < rounds; ++r) {
        auto saved = c.started(out);
        if (!saved) return;
        if (saved->numParams() == 0) return out.skip("the plug-in has no parameters");
        Random random(c.settings.seed * 31u + static_cast<unsigned>(r));
        c.step("round %d: a session played with", r + 1);
        const VstInt32 program = saved->numPrograms() > 0 ? random.below(saved->numPrograms()) : 0;
        if (saved->numPrograms() > 0) saved->setProgram(program);
        // A musician turns the controls in any order, twice over.
        std::vector<VstInt32> order(static_cast<std::size_t>(saved->numParams()));
        for (VstInt32 i = 0; i < saved->numParams(); ++i) order[static_cast<std::size_t>(i)] = i;
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t i = order.size(); i > 1; --i)
                std::swap(order[i - 1], order[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
            for (VstInt32 i : order) saved->setParameter(i, random.uniform());
        }
        Scan scan;
        processNoise(*saved, scan, 2);
        const std::vector<float> state = values(*saved);
        saved->close();

        // As a host restores a session: program and values before the plug-in is
        // prepared and resumed.
        c.step("round %d: the session restored parameter by parameter", r + 1);
        std::string error;
        auto fresh = c.load(defaultHost(), &error);
        if (!fresh) return out.fail(error);
        const auto restore = [&](vsthost::Plugin& p) {
            if (p.numPrograms() > 0) p.setProgram(program);
            for (VstInt32 i = 0; i < p.numParams(); ++i) p.setParameter(i, state[static_cast<std::size_t>(i)]);
        };
        restore(*fresh);
        prepare(*fresh, 44100.0f, 512);
        const std::vector<float> back = values(*fresh);
        bool same = true;
        for (VstInt32 i = 0; i < fresh->numParams(); ++i) {
            const float was = state[static_cast<std::size_t>(i)], is = back[static_cast<std::size_t>(i)];
            const double apart = ulpsApart(is, was);
            if (apart == 0) continue;
            if (apart <= kUlpTolerance) {
                near.add(was, is, apart);
                continue;
            }
            same = false;
            char text[200];
            std::snprintf(text, sizeof text, "round %d: parameter %s was saved as %.9g, restored as %.9g", r + 1,
                          parameterText(*fresh, i).c_str(), state[static_cast<std::size_t>(i)],
                          back[static_cast<std::size_t>(i)]);
            if (out.problems.size() < 8) out.fail(text);
        }
        restored += same;

        // What was restored must also be what is heard: the same as an instance running
        // before it was given the values, both fed the same noise from their start.
        c.step("round %d: the restored session against one set while running", r + 1);
        auto running = c.started(out);
        if (!running) return;
        restore(*running);
        const Audio in =
            makeSignal(Signal::noise, inputChannels(*fresh), kHeardFrames, 44100.0, static_cast<uint64_t>(r) + 1);
        const LevelMatch heard = compareLevels(runBlocks(*fresh, in, 512), runBlocks(*running, in, 512), kSettleFrames,
                                               kLevelWindow);
        worstHeard = std::max(worstHeard, heard.worstDecibels);
        if (heard.worstDecibels > kHeardTolerance && out.problems.size() < 8)
            out.fail("round " + std::to_string(r + 1) +
                     ": restored before it was resumed, it sounds unlike an instance given the same values while "
                     "running: " + heard.describe());
    }
    out.say("%d of %d random sessions restored%s", restored, rounds, near.count ? "" : " exactly");
    near.say(out);
    out.say("each sounds as one set while running within %.2f dB (windows of %s after %s)", worstHeard,
            milliseconds(kLevelWindow / 44100.0).c_str(), milliseconds(kSettleFrames / 44100.0).c_str());
    out.figure("worst_level_difference_db", worstHeard);
    out.figure("rounds", rounds);
    out.figure("restored", restored);
}

}  // namespace orvex::validate
