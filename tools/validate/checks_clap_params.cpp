// A CLAP plug-in's parameters and state: values at the ends of their ranges and at
// random, texts both ways, values read back after process and after flush, the output
// events it makes of its own accord, and its state saved, restored and fed garbage.
// All on the check's thread, the plug-in's main thread, which also processes here.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "checks_clap.h"

namespace orvex::validate {

namespace {

using claphost::ParamInfo;

// Sized for the plug-in's values: a double's rounding at full scale of the range, four
// times over, as the VST 2.x checks allow a float's (a value mapped through units of
// the plug-in's own and back loses about that).
double tolerance(const ParamInfo& info) { return 4.0 * std::ldexp(std::max(1.0, std::fabs(info.max - info.min)), -24); }

// An instance of the target that keeps a state; null, with the check failed or skipped.
std::unique_ptr<clap::Plugin> withState(const Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) {
        out.fail(error);
        return nullptr;
    }
    if (p->extension(CLAP_EXT_STATE)) return p;
    out.skip("the plug-in has no state extension");
    return nullptr;
}

bool skipWithoutParameters(const clap::Plugin& p, Outcome& out) {
    if (p.paramCount() > 0) return false;
    out.skip("the plug-in has no parameters");
    return true;
}

// Runs `blocks` blocks of noise and scans them.
Scan listen(clap::Plugin& p, int blocks, uint64_t seed = 5) {
    Scan scan;
    scan.add(clap::runBlocks(p, makeSignal(Signal::noise, 2, 512 * blocks, 44100.0, seed), 512));
    return scan;
}

std::string number(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

}  // namespace

std::size_t clap::judgeOutputEvents(const Plugin& p, Outcome& out, const std::string& where, uint32_t frames,
                                    const std::vector<std::pair<clap_id, double>>& sent) {
    const claphost::EventList& events = p.outputEvents();
    std::map<clap_id, ParamInfo> infos;
    for (const ParamInfo& info : p.params()) infos[info.id] = info;
    if (events.refused > 0)
        out.fail(where + ": " + std::to_string(events.refused) + " output events pushed with a size no event has");
    for (std::size_t i = 0; i < events.size(); ++i) {
        const clap_event_header_t& h = events[i].header;
        const std::string which = where + ": output event " + std::to_string(i + 1);
        if (h.time >= std::max<uint32_t>(frames, 1))
            out.fail(which + " at frame " + std::to_string(h.time) + " of a call of " + std::to_string(frames));
        if (i > 0 && h.time < events[i - 1].header.time) out.fail(which + " comes before the event ahead of it");
        if (h.space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
        if (h.type == CLAP_EVENT_PARAM_VALUE) {
            const clap_event_param_value_t& v = events[i].paramValue;
            if (h.size != sizeof(clap_event_param_value_t)) out.fail(which + " has the size " + std::to_string(h.size));
            const auto info = infos.find(v.param_id);
            if (info == infos.end()) {
                out.fail(which + " sets parameter id " + std::to_string(v.param_id) + ", which the plug-in does not have");
                continue;
            }
            if (!(v.value >= info->second.min && v.value <= info->second.max))
                out.fail(which + " sets \"" + info->second.name + "\" to " + number(v.value) + ", outside " +
                         number(info->second.min) + " .. " + number(info->second.max));
            for (const auto& [id, value] : sent)
                if (id == v.param_id && value == v.value)
                    out.fail(which + " echoes the host's own change of \"" + info->second.name + "\" to " + number(value));
        } else if (h.type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h.type == CLAP_EVENT_PARAM_GESTURE_END) {
            if (!infos.count(events[i].paramGesture.param_id)) out.fail(which + ": a gesture on an unknown parameter");
        } else if (h.type > CLAP_EVENT_MIDI2) {
            out.fail(which + " is of type " + std::to_string(h.type) + ", which the core space does not have");
        }
    }
    return events.size();
}

void checkClapParameterExtremes(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p || skipWithoutParameters(*p, out)) return;
    const std::vector<ParamInfo> params = p->params();
    float peak = 0;
    auto hear = [&](const std::string& what) {
        const Scan scan = listen(*p, 8);
        peak = std::max(peak, scan.peak);
        if (scan.nonFinite() > 0) out.fail("non-finite output with " + what + ": " + scan.describe());
    };
    for (double where : {0.0, 1.0}) {
        c.step("every parameter at its %s", where == 0 ? "minimum" : "maximum");
        for (const ParamInfo& info : params) p->queueEvent(claphost::paramValueEvent(info.id, clap::within(info, where)));
        hear(std::string("every parameter at its ") + (where == 0 ? "minimum" : "maximum"));
    }
    for (const ParamInfo& info : params)
        for (double where : {0.0, 1.0}) {
            c.step("\"%s\" alone at its %s", info.name.c_str(), where == 0 ? "minimum" : "maximum");
            for (const ParamInfo& other : params)
                p->queueEvent(claphost::paramValueEvent(other.id, &other == &info ? clap::within(info, where)
                                                                                    : other.defaultValue));
            hear("\"" + info.name + "\" at its " + (where == 0 ? "minimum " : "maximum ") +
                 number(clap::within(info, where)));
        }
    out.say("%zu parameters at their minimum and maximum, all together and one by one: peak %s", params.size(),
            decibels(peak).c_str());
    out.figure("peak", peak);
}

void checkClapRandomParameters(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p || skipWithoutParameters(*p, out)) return;
    const int seeds = c.settings.quick ? 4 : 10;
    Scan total;
    for (int s = 0; s < seeds; ++s) {
        Random random(c.settings.seed * 100u + static_cast<unsigned>(s));
        clap::Feed feed;
        // Every parameter changed every 32 samples, at the sample.
        feed.before = [&](int, int64_t, clap_event_transport_t*&) {
            for (uint32_t t = 0; t < 512; t += 32) clap::queueRandomValues(*p, random, t);
        };
        c.step("seed %d: 64 changes of every parameter", s + 1);
        total.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, 64 * 32, 44100.0, static_cast<uint64_t>(s)), 512,
                                  feed));
    }
    out.say("%d seeds x 64 changes of all %u parameters every 32 samples: output %s, peak %s", seeds, p->paramCount(),
            total.describe().c_str(), decibels(total.peak).c_str());
    if (total.nonFinite() > 0) out.fail("non-finite output with random parameters: " + total.describe());
}

void checkClapParameterTexts(Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) return out.fail(error);
    if (skipWithoutParameters(*p, out)) return;
    std::size_t longest = 0, texts = 0;
    std::string example;
    for (const ParamInfo& info : p->params()) {
        c.step("\"%s\": texts both ways", info.name.c_str());
        if (info.name.empty()) out.fail("parameter id " + std::to_string(info.id) + " has no name");
        for (double where : {0.0, 0.25, 0.5, 1.0}) {
            const double v = clap::within(info, where);
            const auto text = p->valueToText(info.id, v);
            if (!text || text->empty()) {
                out.fail("\"" + info.name + "\": value_to_text(" + number(v) + ") gives no text");
                continue;
            }
            ++texts;
            if (text->size() > longest) longest = text->size(), example = *text;
            const auto back = p->textToValue(info.id, *text);
            if (!back) {
                out.fail("\"" + info.name + "\": text_to_value refuses its own text \"" + *text + "\"");
                continue;
            }
            // A text is rounded for display: the value it reads back shows as the same
            // text. Where a stretch of values shows alike (a floor, a step) that value
            // may lie anywhere in it; elsewhere it lies near the value.
            const double range = std::max(info.max - info.min, 1e-12);
            const auto again = p->valueToText(info.id, *back);
            if (!again || *again != *text) {
                if (!(std::fabs(*back - v) <= 0.01 * range))
                    out.fail("\"" + info.name + "\": \"" + *text + "\" (the text of " + number(v) + ") reads back as " +
                             number(*back) + ", which shows as \"" + again.value_or("") + "\"");
                else
                    out.fail("\"" + info.name + "\": \"" + *text + "\" reads back as " + number(*back) +
                             ", which shows as \"" + again.value_or("") + "\"");
            }
        }
        for (const char* junk : {"", "not a number", "1e999", "nan", "-"}) {
            const auto v = p->textToValue(info.id, junk);
            if (v && !(*v >= info.min && *v <= info.max))
                out.fail("\"" + info.name + "\": text_to_value(\"" + junk + "\") gives " + number(*v) +
                         ", outside its range");
        }
    }
    out.say("%u parameters: %zu texts read back as shown, the longest %zu bytes (\"%s\"); junk refused or in range",
            p->paramCount(), texts, longest, example.c_str());
    out.figure("texts", static_cast<double>(texts));
}

void checkClapReadback(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p || skipWithoutParameters(*p, out)) return;
    const std::vector<ParamInfo> params = p->params();
    Random random(c.settings.seed);
    int values = 0, exact = 0, wrong = 0;
    const Audio block = makeSignal(Signal::noise, 2, 16, 44100.0, 1);
    // One parameter a call, read back after it and set back to its value before: a
    // change of one that moves others (a solo turning the others off) is its own.
    for (const ParamInfo& info : params) {
        const double before = p->paramValue(info.id).value_or(info.defaultValue);
        for (int round = 0; round < 10; ++round) {
            const double sent = clap::within(info, round == 0 ? 0.0 : round == 1 ? 1.0 : random.uniform());
            c.step("\"%s\" sent %.9g in process, read back", info.name.c_str(), sent);
            p->queueEvent(claphost::paramValueEvent(info.id, sent, static_cast<uint32_t>(random.below(16))));
            clap::runBlocks(*p, block, 16);
            ++values;
            const auto read = p->paramValue(info.id);
            if (read && *read == sent) {
                ++exact;
                continue;
            }
            if (read && std::fabs(*read - sent) <= tolerance(info)) continue;
            if (++wrong <= 8)
                out.fail("\"" + info.name + "\": sent " + number(sent) + ", read back " +
                         (read ? number(*read) : std::string("nothing (get_value refuses)")));
        }
        p->queueEvent(claphost::paramValueEvent(info.id, before));
        clap::runBlocks(*p, block, 16);
    }
    out.say("%d values on %zu parameters sent in process one at a time, %d read back as sent, %d within 4 ulps at "
            "full scale",
            values, params.size(), exact, values - exact - wrong);
    out.figure("mismatches", wrong);
}

void checkClapFlush(Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error), twin = clap::load(c, &error);
    if (!p || !twin) return out.fail(error);
    if (skipWithoutParameters(*p, out)) return;
    const std::vector<ParamInfo> params = p->params();
    Random random(c.settings.seed);
    int flushes = 0, wrong = 0;
    std::size_t events = 0;
    // Each parameter by a flush of its own, read back after it (a change of one that
    // moves others is its own); the same values sent to the twin in process, in the
    // same order, sound alike.
    auto flushValues = [&](const char* when) {
        std::vector<std::pair<clap_id, double>> sent;
        for (const ParamInfo& info : params) {
            sent.push_back({info.id, clap::within(info, random.uniform())});
            p->queueEvent(claphost::paramValueEvent(info.id, sent.back().second));
            c.step("flush %s: \"%s\"", when, info.name.c_str());
            if (!p->flush()) {
                out.fail(std::string("flush ") + when + " refused by the host library");
                return sent;
            }
            ++flushes;
            events += clap::judgeOutputEvents(*p, out, std::string("flush ") + when, 1, {sent.back()});
            const auto read = p->paramValue(info.id);
            if (read && std::fabs(*read - sent.back().second) <= tolerance(info)) continue;
            if (++wrong <= 6)
                out.fail(std::string("after flush ") + when + ", \"" + info.name + "\" set to " +
                         number(sent.back().second) + " reads back " + (read ? number(*read) : "nothing"));
        }
        return sent;
    };
    auto sounds = [&](const char* when, const std::vector<std::pair<clap_id, double>>& sent) {
        for (const auto& [id, value] : sent) twin->queueEvent(claphost::paramValueEvent(id, value));
        const Audio in = makeSignal(Signal::noise, 2, 4096, 44100.0, 21);
        c.step("the next blocks after flush %s", when);
        const Audio mine = clap::runBlocks(*p, in, 512), theirs = clap::runBlocks(*twin, in, 512);
        const double d = maxDifference(mine, theirs);
        if (d > kSameSound) {
            const LevelMatch level = compareLevels(mine, theirs, 0, 1024);
            if (level.worstDecibels > 1.0 || level.silentAlone)
                out.fail(std::string("values set by flush ") + when +
                         " are not heard in the next blocks as the same values sent in process are: " + level.describe());
        }
    };
    // Inactive: the main thread's flush, before the first activation.
    const auto first = flushValues("while inactive");
    if (!p->activate(44100.0, 1, 512) || !twin->activate(44100.0, 1, 512)) return out.fail("activate refused");
    sounds("while inactive", first);
    // Active, processing stopped: the flush a host makes while its transport stands.
    p->stopProcessing();
    twin->stopProcessing();
    const auto second = flushValues("while active and stopped");
    sounds("while active and stopped", second);
    out.say("%d flushes of one of %zu parameters each, inactive and active, read back and heard in the next blocks, "
            "%zu output events well formed",
            flushes, params.size(), events);
    out.figure("mismatches", wrong);
    out.figure("output_events", static_cast<double>(events));
}

void checkClapState(Context& c, Outcome& out) {
    if (!withState(c, out)) return;
    std::string error;
    Random random(c.settings.seed);
    const int rounds = 3;
    int exact = 0;
    std::size_t size = 0;
    for (int round = 0; round < rounds; ++round) {
        auto saved = clap::load(c, &error), restored = clap::load(c, &error), told = clap::load(c, &error);
        if (!saved || !restored || !told) return out.fail(error);
        c.step("round %d: a session's values and some processing", round + 1);
        if (!saved->activate(44100.0, 1, 512) || !told->activate(44100.0, 1, 512)) return out.fail("activate refused");
        clap::queueRandomValues(*saved, random);
        clap::runBlocks(*saved, makeSignal(Signal::noise, 2, 2048, 44100.0, 2), 512);
        const std::vector<double> before = clap::values(*saved);
        c.step("round %d: save, whole and one byte a call", round + 1);
        const auto bytes = saved->saveState();
        const auto slowly = saved->saveState({1, 0});
        if (!bytes) return out.fail("save refused");
        size = bytes->size();
        if (!slowly || *slowly != *bytes)
            out.fail("saved into a stream taking one byte a call, the state " +
                     std::string(slowly ? "differs from one saved whole" : "is refused"));
        c.step("round %d: loaded into a fresh instance one byte a call", round + 1);
        if (!restored->loadState(*bytes, {1, 0})) {
            out.fail("a fresh instance refuses the state just saved (" + std::to_string(bytes->size()) +
                     " bytes) from a stream giving one byte a call");
            continue;
        }
        const std::vector<double> after = clap::values(*restored);
        const std::vector<ParamInfo> params = restored->params();
        bool same = after.size() == before.size();
        for (std::size_t i = 0; same && i < after.size(); ++i)
            if (std::fabs(after[i] - before[i]) > tolerance(params[i])) {
                same = false;
                out.fail("restored, \"" + params[i].name + "\" reads " + number(after[i]) + ", saved as " +
                         number(before[i]));
            }
        // Its sound: as an instance given the same values in process.
        c.step("round %d: the restored instance heard", round + 1);
        for (std::size_t i = 0; i < params.size(); ++i)
            told->queueEvent(claphost::paramValueEvent(params[i].id, before[i]));
        if (!restored->activate(44100.0, 1, 512)) return out.fail("activate refused after a state was loaded");
        const Audio in = makeSignal(Signal::noise, 2, 16384, 44100.0, 4);
        const Audio heard = clap::runBlocks(*restored, in, 512), reference = clap::runBlocks(*told, in, 512);
        const double d = maxDifference(heard, reference);
        if (d <= kSameSound) {
            exact += same;
            continue;
        }
        const LevelMatch level = compareLevels(heard, reference, 4410, 4096);
        if (level.worstDecibels > 1.0 || level.silentAlone)
            out.fail("restored, it sounds unlike an instance given the same values: " + level.describe());
    }
    out.say("%d of %d sessions saved (%zu bytes), restored from a stream giving one byte a call, read back and "
            "sound as saved", exact, rounds, size);
    out.figure("state_bytes", static_cast<double>(size));
}

void checkClapGarbageState(Context& c, Outcome& out) {
    auto source = withState(c, out);
    if (!source) return;
    Random random(c.settings.seed);
    clap::queueRandomValues(*source, random);
    source->flush();
    const auto good = source->saveState();
    if (!good || good->empty()) return out.fail("save refused or empty");
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        claphost::StreamOptions stream;
    };
    std::vector<Case> cases;
    const std::size_t n = good->size();
    cases.push_back({"empty", {}, {}});
    for (std::size_t cut : {std::size_t{1}, std::size_t{4}, n / 2, n - 1})
        if (cut < n) cases.push_back({"cut to " + std::to_string(cut) + " bytes", {good->begin(), good->begin() + static_cast<std::ptrdiff_t>(cut)}, {}});
    cases.push_back({"cut to " + std::to_string(n - 1) + " bytes, one a call", {good->begin(), good->end() - 1}, {1, 0}});
    auto extended = *good;
    for (int i = 0; i < 64; ++i) extended.push_back(static_cast<uint8_t>(random.below(256)));
    cases.push_back({"64 random bytes past the end", extended, {}});
    cases.push_back({"a stream failing at its second read", *good, {1, 2}});
    for (std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{8}, n / 2}) {
        if (at >= n) continue;
        auto flipped = *good;
        flipped[at] ^= 0xFF;
        cases.push_back({"byte " + std::to_string(at) + " flipped", flipped, {}});
    }
    for (std::size_t length : {n, std::size_t{16}, std::size_t{1} << 20}) {
        std::vector<uint8_t> noise(length);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(random.below(256));
        cases.push_back({std::to_string(length) + " random bytes", noise, {}});
    }
    int refused = 0, loaded = 0;
    for (const Case& k : cases) {
        // The instance fed the garbage and its twin, which never is: with the same
        // values, activated and processing, a refusal must leave them alike.
        auto p = clap::active(c, out), twin = clap::active(c, out);
        if (!p || !twin) return;
        Random values(c.settings.seed + 7);
        clap::queueRandomValues(*p, values);
        Random same(c.settings.seed + 7);
        clap::queueRandomValues(*twin, same);
        const Audio in = makeSignal(Signal::noise, 2, 4096, 44100.0, 8);
        clap::runBlocks(*p, in, 512);
        clap::runBlocks(*twin, in, 512);
        const std::vector<double> before = clap::values(*p);
        c.step("load: %s", k.name.c_str());
        if (p->loadState(k.bytes, k.stream)) {
            ++loaded;
            for (const double v : clap::values(*p))
                if (!std::isfinite(v)) out.fail("loaded from " + k.name + ", a parameter reads " + number(v));
            continue;
        }
        ++refused;
        const std::vector<double> after = clap::values(*p);
        const std::vector<ParamInfo> params = p->params();
        for (std::size_t i = 0; i < after.size() && i < before.size(); ++i)
            if (after[i] != before[i] && !(std::isnan(after[i]) && std::isnan(before[i])))
                out.fail("refused " + k.name + ", yet \"" + params[i].name + "\" changed from " + number(before[i]) +
                         " to " + number(after[i]));
        c.step("load: %s, refused: heard against its twin", k.name.c_str());
        const double d = maxDifference(clap::runBlocks(*p, in, 512), clap::runBlocks(*twin, in, 512));
        if (d > kSameSound) out.fail("refused " + k.name + ", yet it sounds different from before (" + number(d) + ")");
    }
    out.say("%zu damaged or foreign states (state of %zu bytes): %d refused, leaving the instance as it was, %d loaded",
            cases.size(), n, refused, loaded);
    out.figure("refused", refused);
    out.figure("loaded", loaded);
}

}  // namespace orvex::validate
