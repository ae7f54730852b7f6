// A CLAP plug-in at the edges of what a host does: hosts that offer nothing, values and
// ids no host should send, the presets it lists, the delay it reports, and its
// parameters read on the main thread while the audio thread changes them. The check's
// thread is the plug-in's main thread; the one check that judges threads processes on
// a thread of its own.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "checks.h"
#include "checks_clap.h"

namespace orvex::validate {

namespace {

constexpr uint32_t kBlock = 512;

// Noise through the instance for `blocks` blocks, scanned into `scan`.
void listenInto(clap::Plugin& p, Scan& scan, int blocks, uint64_t seed = 9) {
    scan.add(clap::runBlocks(p, makeSignal(Signal::noise, 2, int64_t{kBlock} * blocks, 44100.0, seed), kBlock));
}

std::string named(const claphost::ParamInfo& info) { return "\"" + info.name + "\""; }

// Hosts that offer nothing: get_extension answers null, or extensions whose every
// function is null. Made as plain structures, outside the host library, which offers
// everything.
const void* noExtension(const clap_host_t*, const char*) { return nullptr; }
void nothing(const clap_host_t*) {}
const clap_host_thread_check_t kNullThreadCheck{};
const clap_host_log_t kNullLog{};
const clap_host_params_t kNullParams{};
const clap_host_state_t kNullState{};
const clap_host_latency_t kNullLatency{};
const clap_host_audio_ports_t kNullAudioPorts{};
const clap_host_note_ports_t kNullNotePorts{};
const clap_host_timer_support_t kNullTimers{};
const clap_host_posix_fd_support_t kNullFds{};
const clap_host_gui_t kNullGui{};
const clap_host_preset_load_t kNullPresetLoad{};
const void* hollowExtension(const clap_host_t*, const char* id) {
    const std::pair<const char*, const void*> hollow[] = {
        {CLAP_EXT_THREAD_CHECK, &kNullThreadCheck}, {CLAP_EXT_LOG, &kNullLog},
        {CLAP_EXT_PARAMS, &kNullParams},            {CLAP_EXT_STATE, &kNullState},
        {CLAP_EXT_LATENCY, &kNullLatency},          {CLAP_EXT_AUDIO_PORTS, &kNullAudioPorts},
        {CLAP_EXT_NOTE_PORTS, &kNullNotePorts},     {CLAP_EXT_TIMER_SUPPORT, &kNullTimers},
        {CLAP_EXT_POSIX_FD_SUPPORT, &kNullFds},     {CLAP_EXT_GUI, &kNullGui},
        {CLAP_EXT_PRESET_LOAD, &kNullPresetLoad}};
    for (const auto& [name, table] : hollow)
        if (id && std::strcmp(id, name) == 0) return table;
    return nullptr;
}

// One instance made for `host`: init, activate, a few blocks of noise with a parameter
// change, deactivate, destroy. Empty, or what went wrong.
std::string bareLife(const claphost::Library& library, const std::string& id, const clap_host_t& host,
                     Scan& scan) {
    const clap_plugin_factory_t* f = library.factory();
    const clap_plugin_t* p = f->create_plugin(f, &host, id.c_str());
    if (!p) return "create_plugin gives nothing";
    struct Destroy {
        const clap_plugin_t* p;
        ~Destroy() { p->destroy(p); }
    } destroy{p};
    if (!p->init(p)) return "init refused";
    const auto* params = static_cast<const clap_plugin_params_t*>(p->get_extension(p, CLAP_EXT_PARAMS));
    if (!p->activate(p, 44100.0, 1, kBlock)) return "activate(44100, 1, 512) refused";
    if (!p->start_processing(p)) {
        p->deactivate(p);
        return "start_processing refused";
    }
    Audio in = makeSignal(Signal::noise, 2, kBlock, 44100.0), outs = in;
    float* inPtr[2] = {in[0].data(), in[1].data()};
    float* outPtr[2] = {outs[0].data(), outs[1].data()};
    clap_audio_buffer_t inBuffer{inPtr, nullptr, 2, 0, 0}, outBuffer{outPtr, nullptr, 2, 0, 0};
    claphost::EventList events, pushed;
    const clap_input_events_t inEvents{&events,
                                       [](const clap_input_events_t* l) {
                                           return static_cast<uint32_t>(
                                               static_cast<const claphost::EventList*>(l->ctx)->size());
                                       },
                                       [](const clap_input_events_t* l, uint32_t i) {
                                           return &(*static_cast<const claphost::EventList*>(l->ctx))[i].header;
                                       }};
    const clap_output_events_t outEvents{&pushed, [](const clap_output_events_t* l, const clap_event_header_t* e) {
                                             return static_cast<claphost::EventList*>(l->ctx)->add(e);
                                         }};
    for (int call = 0; call < 16; ++call) {
        events.clear();
        if (call == 4 && params && params->count(p) > 0) {
            clap_param_info_t info{};
            if (params->get_info(p, 0, &info))
                events.add(claphost::paramValueEvent(info.id, info.max_value, 7));
        }
        const clap_event_transport_t transport = claphost::playingTransport(120.0, 44100.0, int64_t{call} * kBlock);
        const clap_process_t process{int64_t{call} * kBlock, kBlock, &transport, &inBuffer, &outBuffer, 1, 1,
                                     &inEvents, &outEvents};
        p->process(p, &process);
        scan.add(outs);
    }
    p->stop_processing(p);
    p->deactivate(p);
    return {};
}

}  // namespace

void checkClapNoHost(Context& c, Outcome& out) {
    auto opened = claphost::Library::open(c.target.path);
    if (!opened.library) return out.fail(opened.error);
    const clap_host_t silent = {CLAP_VERSION, nullptr, "orvex validate", "Harmoxel", "", "1.0.0",
                                noExtension,  nothing, nothing,           nothing};
    const clap_host_t hollow = {CLAP_VERSION, nullptr, "orvex validate", "Harmoxel", "", "1.0.0",
                                hollowExtension, nothing, nothing,        nothing};
    const std::pair<const char*, const clap_host_t*> hosts[] = {
        {"a host whose get_extension answers null", &silent},
        {"a host whose extensions have null functions", &hollow}};
    for (const auto& [who, host] : hosts) {
        c.step("init, activate, process and destroy for %s", who);
        Scan scan;
        const std::string problem = bareLife(*opened.library, c.target.id, *host, scan);
        if (!problem.empty()) out.fail(std::string("for ") + who + ": " + problem);
        else if (scan.nonFinite()) out.fail(std::string("for ") + who + ": " + scan.describe() + " output samples");
        out.say("%s: %s", who, problem.empty() ? scan.describe().c_str() : "refused");
    }
}

void checkClapInvalidParameters(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    const auto params = p->params();
    if (params.empty()) return out.skip("the plug-in has no parameters");
    const double bad[] = {NAN, INFINITY, -INFINITY, -1e30, 1e30};
    const char* badNames[] = {"NaN", "+inf", "-inf", "-1e30", "1e30"};
    const std::vector<double> defaults = clap::values(*p);
    Scan scan;
    int problems = 0;
    for (std::size_t k = 0; k < params.size(); ++k) {
        const claphost::ParamInfo& info = params[k];
        const double outside[] = {info.min - (info.max - info.min) - 1, info.max + (info.max - info.min) + 1};
        for (std::size_t b = 0; b < std::size(bad) + std::size(outside); ++b) {
            const double value = b < std::size(bad) ? bad[b] : outside[b - std::size(bad)];
            const std::string what = b < std::size(bad) ? badNames[b] : std::to_string(value);
            c.step("parameter %s sent %s in process", info.name.c_str(), what.c_str());
            p->queueEvent(claphost::paramValueEvent(info.id, value, 3));
            const Scan before = scan;
            listenInto(*p, scan, 1);
            const auto read = p->paramValue(info.id);
            if (read && !(*read >= info.min && *read <= info.max) && problems++ < 4)
                out.fail("parameter " + named(info) + " sent " + what + " reads back " + std::to_string(*read));
            if (scan.nonFinite() > before.nonFinite() && problems++ < 4)
                out.fail(scan.describe() + " output samples after parameter " + named(info) + " was sent " + what);
            if (const auto text = p->valueToText(info.id, value); text && text->size() > 255)
                out.fail("value_to_text(" + what + ") of " + named(info) + " fills more than its buffer");
        }
        p->queueEvent(claphost::paramValueEvent(info.id, defaults[k]));
        listenInto(*p, scan, 1);
    }
    // Ids and indices past the end, and a cookie that is not the plug-in's: refused or
    // ignored, and nothing else changes.
    const auto* ext = static_cast<const clap_plugin_params_t*>(p->extension(CLAP_EXT_PARAMS));
    clap_id unknown = 0;
    for (const auto& info : params) unknown = std::max(unknown, info.id);
    const clap_id ids[] = {unknown + 1, unknown + 1000, CLAP_INVALID_ID - 1, CLAP_INVALID_ID};
    for (clap_id id : ids) {
        c.step("parameter id %u", id);
        p->queueEvent(claphost::paramValueEvent(id, 0.5, 1));
        double v = 0;
        char text[256];
        if (ext->get_value(p->raw(), id, &v) && !std::isfinite(v))
            out.fail("get_value of the unknown id " + std::to_string(id) + " gives " + std::to_string(v));
        (void)ext->value_to_text(p->raw(), id, 0.5, text, sizeof text);
        (void)ext->text_to_value(p->raw(), id, "0.5", &v);
    }
    const uint32_t count = p->paramCount();
    for (uint32_t index : {count, count + 1, count + 1000, UINT32_MAX}) {
        clap_param_info_t info{};
        if (ext->get_info(p->raw(), index, &info))
            out.fail("get_info(" + std::to_string(index) + ") past the " + std::to_string(count) +
                     " parameters gives a description");
    }
    claphost::Event cookie = claphost::paramValueEvent(params[0].id, params[0].defaultValue, 0);
    cookie.paramValue.cookie = reinterpret_cast<void*>(uintptr_t{0xDEADBEEF});
    p->queueEvent(cookie);
    listenInto(*p, scan, 4);
    const std::vector<double> after = clap::values(*p);
    for (std::size_t k = 0; k < params.size(); ++k)
        if (!(after[k] == defaults[k] || std::fabs(after[k] - defaults[k]) <= 1e-9)) {
            out.fail("values for unknown ids changed parameter " + named(params[k]));
            break;
        }
    if (scan.nonFinite() && problems == 0) out.fail(scan.describe() + " output samples after invalid values and ids");
    out.say("%zu values no host should send to each of %zu parameters, %zu unknown ids, 4 indices past the end, a "
            "wrong cookie: output %s",
            std::size(bad) + 2, params.size(), std::size(ids), scan.describe().c_str());
    out.figure("non_finite", static_cast<double>(scan.nonFinite()));
}

void checkClapPrograms(Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) return out.fail(error);
    const std::vector<claphost::Preset> presets = p->library().presets(&error);
    if (!error.empty()) out.fail("preset discovery: " + error);
    if (presets.empty()) return out.skip("the plug-in lists no presets (no preset-discovery factory)");
    if (!p->extension(CLAP_EXT_PRESET_LOAD) && !p->extension(CLAP_EXT_PRESET_LOAD_COMPAT))
        return out.skip("the plug-in lists presets but has no preset-load");
    if (!p->activate(44100.0, 1, kBlock)) return out.fail("activate(44100, 1, 512) refused");
    Scan scan;
    int loaded = 0, changing = 0, unheard = 0;
    std::vector<double> before = clap::values(*p);
    for (const claphost::Preset& preset : presets) {
        c.step("preset \"%s\" loaded between blocks", preset.name.c_str());
        const auto rescans = p->requests().rescan;
        const int told = p->callbacks().count("loaded");
        if (!p->loadPreset(preset, &error)) {
            out.fail(error);
            continue;
        }
        ++loaded;
        // The host hears of the change by a rescan, or by output events of the next call.
        bool heard = p->requests().rescan > rescans;
        Audio in = makeSignal(Signal::noise, 2, kBlock, 44100.0), outs = in;
        const float* ins[2] = {in[0].data(), in[1].data()};
        float* outPtr[2] = {outs[0].data(), outs[1].data()};
        p->process(ins, outPtr, kBlock);
        scan.add(outs);
        heard = heard || p->outputEvents().size() > 0;
        const std::vector<double> now = clap::values(*p);
        if (now != before) {
            ++changing;
            if (!heard && unheard++ < 4)
                out.fail("preset \"" + preset.name + "\" changed the values, and the host heard nothing of it (no "
                         "rescan, no output events)");
        }
        if (p->callbacks().count("loaded") > told + 1)
            out.fail("preset \"" + preset.name + "\": loaded called more than once");
        else if (p->callbacks().count("loaded") > told && preset.loadKey.compare(0, 255, p->loadedKey) != 0)
            out.fail("preset \"" + preset.name + "\" (key \"" + preset.loadKey + "\"): loaded names the key \"" +
                     p->loadedKey + "\"");
        before = now;
        const Scan quiet = scan;
        listenInto(*p, scan, 2);
        if (scan.nonFinite() > quiet.nonFinite())
            out.fail(scan.describe() + " output samples in preset \"" + preset.name + "\"");
    }
    c.step("an unknown load key and an unknown location kind");
    claphost::Preset wrong = presets[0];
    wrong.loadKey += ".no-such-preset";
    if (p->loadPreset(wrong)) out.fail("preset-load accepts the unknown load key \"" + wrong.loadKey + "\"");
    wrong = presets[0];
    wrong.locationKind = 77;
    if (p->loadPreset(wrong)) out.fail("preset-load accepts the unknown location kind 77");
    out.say("%d of %zu presets loaded while active, %d changed values, output %s", loaded, presets.size(), changing,
            scan.describe().c_str());
    out.figure("presets", static_cast<double>(presets.size()));
    if (changing == 0 && presets.size() > 1) out.fail("no preset changes any value");
}

void checkClapLatency(Context& c, Outcome& out) {
    constexpr int kSlack = 4;
    auto p = clap::active(c, out);
    if (!p) return;
    // Asked while active, as the interface allows.
    const uint32_t reported = p->latency();
    out.figure("reported_delay", reported);
    if (reported > 65536) return out.fail("latency reports " + std::to_string(reported) + " samples");
    // An impulse after a stretch of silence, at the plug-in's neutral (default) settings.
    const int lead = 4096, frames = lead + static_cast<int>(reported) + 8192;
    Audio in(2, std::vector<float>(static_cast<std::size_t>(frames), 0.0f));
    in[0][lead] = in[1][lead] = 1.0f;
    c.step("an impulse through the plug-in");
    const Audio output = clap::runBlocks(*p, in, kBlock);
    Scan scan;
    scan.add(output);
    if (scan.nonFinite()) return out.fail(scan.describe() + " output samples from an impulse");
    // The first output sample that answers the impulse.
    double peak = 0;
    for (const auto& channel : output)
        for (int i = lead; i < frames; ++i) peak = std::max(peak, static_cast<double>(std::fabs(channel[static_cast<std::size_t>(i)])));
    if (!(peak > 1e-4)) {
        out.say("reported delay %u samples; the impulse gives no answer at neutral settings", reported);
        return;
    }
    int first = frames;
    for (const auto& channel : output)
        for (int i = lead; i < frames; ++i)
            if (std::fabs(channel[static_cast<std::size_t>(i)]) > 0.01 * peak) {
                first = std::min(first, i - lead);
                break;
            }
    out.figure("measured_delay", first);
    out.say("reported delay %u samples, the impulse answers after %d", reported, first);
    if (first + kSlack < static_cast<int>(reported))
        out.fail("the impulse answers " + std::to_string(first) + " samples after the input, before the reported " +
                 "latency of " + std::to_string(reported) + ": a host compensating for it puts the output " +
                 std::to_string(static_cast<int>(reported) - first) + " samples early");
}

void checkClapParameterThreads(Context& c, Outcome& out) {
    auto p = clap::active(c, out, 44100.0, 64);
    if (!p) return;
    const auto params = p->params();
    if (params.empty()) return out.skip("the plug-in has no parameters");
    const int calls = c.settings.quick ? 3000 : 12000;
    std::atomic<bool> done{false};
    Scan scan;
    std::thread audio([&] {
        Audio in = makeSignal(Signal::noise, 2, 64, 44100.0), outs = in;
        const float* ins[2] = {in[0].data(), in[1].data()};
        float* outPtr[2] = {outs[0].data(), outs[1].data()};
        Random random(c.settings.seed);
        for (int call = 0; call < calls; ++call) {
            for (uint32_t t = 0; t < 64; t += 16) clap::queueRandomValues(*p, random, t);
            const clap_event_transport_t tr = claphost::playingTransport(120.0, 44100.0, int64_t{call} * 64);
            p->process(ins, outPtr, 64, &tr);
            scan.add(outs);
        }
        p->stopProcessing();
        done = true;
    });
    const auto* ext = static_cast<const clap_plugin_params_t*>(p->extension(CLAP_EXT_PARAMS));
    long reads = 0;
    int problems = 0, rounds = 0;
    while (!done) {
        for (const claphost::ParamInfo& info : params) {
            double v = 0;
            char text[256];
            ++reads;
            if (ext->get_value(p->raw(), info.id, &v) && !(v >= info.min && v <= info.max) && problems++ < 4)
                out.fail("get_value of " + named(info) + " read " + std::to_string(v) +
                         " while the audio thread changed it (its range " + std::to_string(info.min) + " .. " +
                         std::to_string(info.max) + ")");
            if (ext->value_to_text(p->raw(), info.id, v, text, sizeof text) &&
                !std::memchr(text, 0, sizeof text) && problems++ < 4)
                out.fail("value_to_text of " + named(info) + " left its text unterminated");
            double back = 0;
            if (ext->value_to_text(p->raw(), info.id, info.defaultValue, text, sizeof text) &&
                ext->text_to_value(p->raw(), info.id, text, &back) && !std::isfinite(back) && problems++ < 4)
                out.fail("text_to_value of " + named(info) + " gave " + std::to_string(back));
            clap_param_info_t described{};
            (void)ext->get_info(p->raw(), 0, &described);
        }
        (void)p->latency();
        // The state, as a host saves it now and then while it plays.
        if (++rounds % 64 == 0) (void)p->saveState();
    }
    audio.join();
    if (scan.nonFinite()) out.fail(scan.describe() + " output samples while the main thread read the parameters");
    out.say("%d calls of 64 frames with 4 sets of every parameter each, %ld reads and %d state saves on the main "
            "thread meanwhile: output %s",
            calls, reads, rounds / 64, scan.describe().c_str());
    out.figure("reads", static_cast<double>(reads));
}

}  // namespace orvex::validate
