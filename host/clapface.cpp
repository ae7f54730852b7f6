// The CLAP face, compiled once per plug-in (ORVEX_CLAP_NAME: "panner" ...,
// ORVEX_CLAP_FEATURE: its own descriptor keyword): the library's clap_entry, a plug-in
// factory with one descriptor, com.harmoxel.orvex.<name>, over the plug-in's effect
// without its editor, and a preset-discovery factory listing its factory programs.
//
// Parameters are the table's rows, their ids the row indices. A continuous or
// logarithmic row's value is the 0..1 value the effect holds (what VST 2.x hosts store);
// a switch's is 0 or 1 and a menu's the entry's position, both stepped. One stereo
// input, one stereo output, one note input (MIDI and CLAP notes) whose controllers and
// notes reach the effect at their frame, as the host's parameter events do; the host's
// transport becomes the time the effect asks for (host/hosttime.h, shared with LV2).
//
// Threads: the audio thread (process, and flush while active) never allocates, locks
// or does I/O. The main thread never touches the effect while the instance is active:
// its changes (the editor's, a restored state, a preset) go through the instance's
// fixed queue and are applied at the start of the next process or flush.
#include "clapface.h"
#include "clapgui.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "lv2face.h"
#include "reading.h"

namespace orvex::clapface {

namespace {

#ifndef ORVEX_CLAP_NAME
#error "ORVEX_CLAP_NAME names the plug-in"
#endif
constexpr const char* kPluginId = "com.harmoxel.orvex." ORVEX_CLAP_NAME;
constexpr const char* kProviderId = "com.harmoxel.orvex." ORVEX_CLAP_NAME ".factory-programs";
constexpr const char* kVersion = "1.0.0";
// The longest block the effect's buffers are made for when the host states a larger
// one: longer calls are served in pieces.
constexpr uint32_t kLongestPiece = static_cast<uint32_t>(kMaxBufferSize);

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO, ORVEX_CLAP_FEATURE,
                                 nullptr};

// What the library tells before any instance exists, read once off a model effect at
// the first clap_entry.init: the effect's name, and the factory programs (their
// numbers, names and values) that preset discovery lists and preset-load loads.
struct Catalogue {
    std::string name;
    struct Program {
        int number;
        std::string name;
        std::vector<float> values;
    };
    std::vector<Program> programs;
};

std::mutex gEntryLock;  // init and deinit, from whichever thread the host loads on
int gInitCount = 0;
std::unique_ptr<Catalogue> gCatalogue;
clap_plugin_descriptor_t gDescriptor{CLAP_VERSION, kPluginId, "", kVendorName, "", "", "", kVersion, "", kFeatures};

}  // namespace

VstIntPtr faceCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode != audioMasterGetTime || !effect || !effect->user) return 0;
    return reinterpret_cast<VstIntPtr>(static_cast<Instance*>(effect->user)->timeInfo());
}

namespace {

std::unique_ptr<Catalogue> readCatalogue() {
    std::unique_ptr<EffectShell> model(createEffectWithoutEditor(faceCallback));
    if (!model) return nullptr;
    auto catalogue = std::make_unique<Catalogue>();
    catalogue->name = model->effectIdentity().effectName;
    // Program 0 and the programs the plug-in ships with. Loading one on the pristine
    // model writes only into that program, so each reads as shipped.
    std::vector<int> numbers{0};
    for (const FactoryProgram& p : model->effectIdentity().factoryPrograms)
        if (p.program > 0 && p.program < model->getNumPrograms() &&
            std::find(numbers.begin(), numbers.end(), p.program) == numbers.end())
            numbers.push_back(p.program);
    for (int number : numbers) {
        model->setProgram(number);
        char text[kVstMaxProgNameLen + 1] = {};
        model->getProgramName(text);
        Catalogue::Program program{number, text, {}};
        for (int p = 0; p < model->numParams(); ++p) program.values.push_back(model->getParameter(p));
        catalogue->programs.push_back(std::move(program));
    }
    return catalogue;
}

// A row's CLAP value and the 0..1 value the effect holds, both ways.
bool stepped(const Reading& r) { return r.kind == Reading::kToggle || r.kind == Reading::kChoice; }
double clapOfValue(const Reading& r, float value) {
    return stepped(r) ? static_cast<double>(unitOfValue(r, value)) : static_cast<double>(value);
}
float valueOfClap(const Reading& r, double clap) {
    if (std::isnan(clap)) return NAN;
    if (stepped(r)) return valueOfUnit(r, static_cast<float>(std::clamp(clap, -1.0, 1e6)));
    return static_cast<float>(std::clamp(clap, 0.0, 1.0));
}

// Trims blanks off both ends of `text` in place.
std::string trimmed(std::string text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && blank(text[first])) ++first;
    return text.substr(first);
}
bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

// Instance --------------------------------------------------------------------------

Instance::Instance(const clap_host_t* host, const clap_plugin_t& functions) : record(functions), host(host) {
    record.plugin_data = this;
}

Instance::~Instance() { destroyEditor(*this); }

// Main thread.
bool Instance::init() {
    try {
        effect.reset(createEffectWithoutEditor(faceCallback));
        model.reset(createEffectWithoutEditor(faceCallback));
        if (!effect || !model) return false;
        // From here on the effect's time requests reach this instance.
        effect->getAeffect()->user = this;
        const std::size_t count = static_cast<std::size_t>(effect->numParams());
        told.resize(count);
        shownStore = std::make_unique<std::atomic<float>[]>(count);
        shown = {shownStore.get(), count};
        for (std::size_t p = 0; p < count; ++p) {
            told[p] = effect->getParameter(static_cast<VstInt32>(p));
            shown[p].store(told[p], std::memory_order_relaxed);
        }
        // Which rows' displays show their value: they read differently at both ends.
        displaysValue.assign(count, true);
        for (int p = 0; p < static_cast<int>(count); ++p) {
            char ends[2][kVstMaxParamStrLen * 8] = {};
            for (int end = 0; end < 2; ++end) {
                model->setParameter(p, static_cast<float>(end));
                model->getParameterDisplay(p, ends[end]);
            }
            model->setParameter(p, told[static_cast<std::size_t>(p)]);
            displaysValue[static_cast<std::size_t>(p)] = std::strcmp(ends[0], ends[1]) != 0;
        }
    } catch (...) {
        return false;
    }
    if (host && host->get_extension) {
        hostParams = static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
        hostPresetLoad = static_cast<const clap_host_preset_load_t*>(host->get_extension(host, CLAP_EXT_PRESET_LOAD));
        if (!hostPresetLoad)
            hostPresetLoad =
                static_cast<const clap_host_preset_load_t*>(host->get_extension(host, CLAP_EXT_PRESET_LOAD_COMPAT));
    }
    return true;
}

// Main thread, inactive.
bool Instance::activate(double rate, uint32_t maxFrames) {
    if (!std::isfinite(rate) || rate <= 0 || rate > 1e7 || maxFrames == 0) return false;
    // What the main thread handed over while inactive is in the effect already.
    drainChanges(nullptr);
    const VstInt32 block = static_cast<VstInt32>(std::min(maxFrames, kLongestPiece));
    effect->setSampleRate(static_cast<float>(rate));
    effect->setBlockSize(block);
    if (effect->getActiveBlockSize() <= 0) return false;
    model->setSampleRate(static_cast<float>(rate));
    longestPiece = static_cast<uint32_t>(effect->getActiveBlockSize());
    time = HostTime{};
    time.rate = static_cast<double>(static_cast<float>(rate));
    active.store(true, std::memory_order_release);
    return true;
}

void Instance::deactivate() {
    active.store(false, std::memory_order_release);
    effect->suspend();
}

// Audio thread, active: a new start, the values as they are.
void Instance::reset() {
    const double rate = time.rate;
    time = HostTime{};
    time.rate = rate;
}

const VstTimeInfo* Instance::timeInfo() {
    if (!time.known) return nullptr;
    time.fill();
    return &time.info;
}

float Instance::hostTempo() const { return effect ? effect->getTheBpm() : -1.0f; }

// The main thread's side ------------------------------------------------------------

void Instance::requestFlush() const {
    if (hostParams && hostParams->request_flush) hostParams->request_flush(host);
}

// Main thread. Active: the changes go to the audio thread whole or not at all.
// Inactive: nothing processes, and the host's flush (on this thread) takes them, told to
// the host there gestures and all.
bool Instance::hand(const Change* list, std::size_t count) {
    if (changes.space() < count) {
        if (active.load(std::memory_order_acquire)) return false;
        drainChanges(nullptr);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (list[i].kind == Change::kEdit || list[i].kind == Change::kHostValue)
            shown[list[i].id].store(list[i].value, std::memory_order_relaxed);
        changes.push(list[i]);
    }
    // A host that flushes takes them there, gestures and all; without one they are
    // applied here, and told to nobody.
    if (!active.load(std::memory_order_acquire) && !(hostParams && hostParams->request_flush)) drainChanges(nullptr);
    requestFlush();
    return true;
}

bool Instance::beginGesture(int id) {
    if (id < 0 || id >= numParams()) return false;
    const Change change{Change::kBeginGesture, static_cast<uint32_t>(id), 0.0f};
    return hand(&change, 1);
}

bool Instance::setFromEditor(int id, float value) {
    if (id < 0 || id >= numParams() || std::isnan(value)) return false;
    const Change change{Change::kEdit, static_cast<uint32_t>(id), std::clamp(value, 0.0f, 1.0f)};
    return hand(&change, 1);
}

bool Instance::endGesture(int id) {
    if (id < 0 || id >= numParams()) return false;
    const Change change{Change::kEndGesture, static_cast<uint32_t>(id), 0.0f};
    return hand(&change, 1);
}

// Main thread: a row as the host lists it.
bool Instance::paramInfo(uint32_t index, clap_param_info_t& info) const {
    if (index >= static_cast<uint32_t>(numParams())) return false;
    const ParameterInfo& row = model->parameterInfo(static_cast<int>(index));
    const Reading& reading = readingOf(row);
    info = clap_param_info_t{};
    info.id = index;
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (stepped(reading)) info.flags |= CLAP_PARAM_IS_STEPPED;
    if (reading.kind == Reading::kChoice) info.flags |= CLAP_PARAM_IS_ENUM;
    std::snprintf(info.name, sizeof info.name, "%s", row.name);
    info.min_value = stepped(reading) ? reading.minimum : 0.0;
    info.max_value = stepped(reading) ? reading.maximum : 1.0;
    info.default_value = clapOfValue(reading, row.defaultValue);
    return true;
}

bool Instance::paramValue(clap_id id, double& value) const {
    if (id >= static_cast<clap_id>(numParams())) return false;
    value = clapOfValue(readingOf(model->parameterInfo(static_cast<int>(id))), valueOf(static_cast<int>(id)));
    return true;
}

// Main thread: the model takes the value, and shows its display. A row whose display
// shows what the effect last computed rather than its value (the filter's Cutoff and
// Resonance show the swept filter) shows the number its reading gives the value.
std::string Instance::textOf(int id, float value) {
    model->setParameter(id, value);
    char display[kVstMaxParamStrLen * 8] = {}, label[kVstMaxParamStrLen * 8] = {};
    if (displaysValue[static_cast<std::size_t>(id)]) model->getParameterDisplay(id, display);
    else floatToString(unitOfValue(readingOf(model->parameterInfo(id)), value), display);
    model->getParameterLabel(id, label);
    const std::string shownText = trimmed(display), unit = trimmed(label);
    return unit.empty() ? shownText : shownText + " " + unit;
}

bool Instance::valueToText(clap_id id, double value, char* text, uint32_t size) {
    if (id >= static_cast<clap_id>(numParams()) || !text || size == 0) return false;
    const float v = valueOfClap(readingOf(model->parameterInfo(static_cast<int>(id))), value);
    if (std::isnan(v)) return false;
    std::snprintf(text, size, "%s", textOf(static_cast<int>(id), v).c_str());
    return true;
}

// How many neighbouring values a text is looked for among.
constexpr int kNeighbours = 4096;

// A number in the row's unit, with or without the unit (or the row's label) after it,
// or, for a switch or a menu, the text one of its steps shows.
bool Instance::textToValue(clap_id id, const char* text, double* value) {
    if (id >= static_cast<clap_id>(numParams()) || !text || !value) return false;
    const int p = static_cast<int>(id);
    const Reading& reading = readingOf(model->parameterInfo(p));
    const std::string given = trimmed(text);
    if (stepped(reading)) {
        const int steps = static_cast<int>(reading.maximum - reading.minimum) + 1;
        for (int k = 0; k < steps; ++k) {
            const float v = valueOfUnit(reading, static_cast<float>(k));
            if (sameText(given, textOf(p, v)) ||
                (k < static_cast<int>(reading.entries.size()) && sameText(given, trimmed(reading.entries[k])))) {
                *value = clapOfValue(reading, v);
                return true;
            }
        }
    }
    char* end = nullptr;
    const double number = std::strtod(given.c_str(), &end);
    if (end == given.c_str() || !std::isfinite(number)) return false;
    const std::string rest = trimmed(end);
    char label[kVstMaxParamStrLen * 8] = {};
    model->getParameterLabel(p, label);
    if (!rest.empty() && !sameText(rest, reading.unit) && !sameText(rest, trimmed(label))) return false;
    if (stepped(reading)) {
        *value = std::clamp(std::round(number), static_cast<double>(reading.minimum), static_cast<double>(reading.maximum));
        return true;
    }
    // The unit's displays cut digits off: the value nearest the number may show one
    // digit below it. The neighbouring values are tried, towards the number, for one
    // that shows it.
    float v = valueOfUnit(reading, static_cast<float>(number));
    const auto shownNumber = [&](float x) { return std::strtod(textOf(p, x).c_str(), nullptr); };
    const double first = shownNumber(v);
    if (first != number) {
        const float towards = first < number ? 2.0f : -1.0f;
        float x = v;
        for (int step = 0; step < kNeighbours; ++step) {
            x = std::nextafter(x, towards);
            if (x < 0.0f || x > 1.0f) break;
            const double shows = shownNumber(x);
            if (shows == number) {
                v = x;
                break;
            }
            if ((first < number) != (shows < number)) break;  // passed it: no value shows it
        }
    }
    *value = v;
    return true;
}

// The state ------------------------------------------------------------------------
// "OxCS", a version, the count, then the parameters as (id, value 0..1) pairs: 32-bit
// little-endian words each, the value a float's bits.

namespace {

constexpr uint32_t kStateMagic = 0x5343784Fu;  // "OxCS" read as a little-endian word
constexpr uint32_t kStateVersion = 1;

void putWord(std::vector<uint8_t>& bytes, uint32_t word) {
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
}
uint32_t wordAt(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

// Main thread: the values as the main thread knows them.
bool Instance::save(const clap_ostream_t& stream) const {
    if (!stream.write) return false;
    std::vector<uint8_t> bytes;
    putWord(bytes, kStateMagic);
    putWord(bytes, kStateVersion);
    putWord(bytes, static_cast<uint32_t>(numParams()));
    for (int p = 0; p < numParams(); ++p) {
        putWord(bytes, static_cast<uint32_t>(p));
        putWord(bytes, std::bit_cast<uint32_t>(valueOf(p)));
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const int64_t wrote = stream.write(&stream, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0 || static_cast<uint64_t>(wrote) > bytes.size() - done) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Main thread. The whole stream is read and checked before anything changes: a short,
// long or garbled one leaves the instance as it was. Parameters it does not name go
// to their defaults.
bool Instance::load(const clap_istream_t& stream) {
    if (!stream.read) return false;
    const std::size_t count = static_cast<std::size_t>(numParams());
    const std::size_t expectedMost = 12 + 8 * count;
    std::vector<uint8_t> bytes(expectedMost + 1);
    std::size_t size = 0;
    while (size < bytes.size()) {
        const int64_t got = stream.read(&stream, bytes.data() + size, bytes.size() - size);
        if (got < 0 || static_cast<uint64_t>(got) > bytes.size() - size) return false;
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    if (size < 12 || size > expectedMost) return false;
    if (wordAt(&bytes[0]) != kStateMagic || wordAt(&bytes[4]) != kStateVersion) return false;
    const uint32_t given = wordAt(&bytes[8]);
    if (given > count || size != 12 + 8 * static_cast<std::size_t>(given)) return false;
    std::vector<float> values(count, NAN);
    for (uint32_t i = 0; i < given; ++i) {
        const uint32_t id = wordAt(&bytes[12 + 8 * i]);
        const float value = std::bit_cast<float>(wordAt(&bytes[16 + 8 * i]));
        if (id >= count || !std::isnan(values[id]) || !(value >= 0.0f && value <= 1.0f)) return false;
        values[id] = value;
    }
    std::vector<Change> list;
    for (std::size_t p = 0; p < count; ++p) {
        const float value =
            std::isnan(values[p]) ? effect->parameterInfo(static_cast<int>(p)).defaultValue : values[p];
        list.push_back({Change::kHostValue, static_cast<uint32_t>(p), value});
    }
    if (!hand(list.data(), list.size())) return false;
    if (!active.load(std::memory_order_acquire) && hostParams && hostParams->rescan)
        hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

// Main thread: one of the programs preset discovery lists, by number. Its values are
// a change the plug-in makes, told to the host as such.
bool Instance::loadProgram(int number) {
    if (!gCatalogue) return false;
    for (const Catalogue::Program& program : gCatalogue->programs) {
        if (program.number != number || program.values.size() != shown.size()) continue;
        std::vector<Change> list;
        for (std::size_t p = 0; p < program.values.size(); ++p)
            list.push_back({Change::kEdit, static_cast<uint32_t>(p), program.values[p]});
        return hand(list.data(), list.size());
    }
    return false;
}

// Main thread: the host hears which preset it now shows.
void Instance::presetLoaded(uint32_t kind, const char* key) const {
    if (hostPresetLoad && hostPresetLoad->loaded) hostPresetLoad->loaded(host, kind, nullptr, key);
}

// The audio side ---------------------------------------------------------------------
// Everything from here runs on the audio thread (process, flush while active) or on the
// main thread while inactive: no allocation, no lock.

namespace {

bool pushEvent(const clap_output_events_t* out, const clap_event_header_t& event) {
    return out && out->try_push && out->try_push(out, &event);
}

}  // namespace

bool Instance::pushGesture(Change::Kind kind, uint32_t id, uint32_t at, const clap_output_events_t* out) {
    clap_event_param_gesture_t event{};
    event.header = {sizeof event, at, CLAP_CORE_EVENT_SPACE_ID,
                    static_cast<uint16_t>(kind == Change::kBeginGesture ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                                                         : CLAP_EVENT_PARAM_GESTURE_END),
                    0};
    event.param_id = id;
    return pushEvent(out, event.header);
}

// The main thread's changes, in the order handed over; a gesture's end comes after the
// values in it were told.
void Instance::drainChanges(const clap_output_events_t* out) {
    Change change{};
    while (changes.pop(change)) {
        switch (change.kind) {
            case Change::kBeginGesture:
                pushGesture(change.kind, change.id, 0, out);
                break;
            case Change::kEndGesture:
                report(0, out);
                pushGesture(change.kind, change.id, 0, out);
                break;
            case Change::kEdit:
                effect->setParameter(static_cast<VstInt32>(change.id), change.value);
                break;
            case Change::kHostValue:
                hostChanged(static_cast<int>(change.id), change.value);
                break;
        }
    }
}

// A value the host set (or knows of): applied, and not told back.
void Instance::hostChanged(int id, float value) {
    effect->setParameter(id, value);
    told[id] = effect->getParameter(id);
    shown[id].store(told[id], std::memory_order_relaxed);
}

// Every value the effect holds other than the host knows it (a solo another one turned
// off, a MIDI controller, the editor, a program): told to the host at frame `at` and to
// the main thread. Without an output list the host hears of them at the next flush.
// `flags`: CLAP_EVENT_DONT_RECORD for what a MIDI message moved, which is no automation.
void Instance::report(uint32_t at, const clap_output_events_t* out, uint32_t flags) {
    if (!out) return;
    for (std::size_t p = 0; p < told.size(); ++p) {
        const float holds = effect->getParameter(static_cast<VstInt32>(p));
        if (holds == told[p]) continue;
        const Reading& reading = readingOf(effect->parameterInfo(static_cast<int>(p)));
        clap_event_param_value_t event{};
        event.header = {sizeof event, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, flags};
        event.param_id = static_cast<clap_id>(p);
        event.note_id = -1;
        event.port_index = event.channel = event.key = -1;
        event.value = clapOfValue(reading, holds);
        if (!pushEvent(out, event.header)) continue;  // the host took none: told at the next chance
        told[p] = holds;
        shown[p].store(holds, std::memory_order_relaxed);
    }
}

void Instance::handMidi(uint8_t status, uint8_t data1, uint8_t data2) {
    if (status < 0x80 || status >= 0xF0) return;
    const uint8_t bytes[3] = {status, static_cast<uint8_t>(data1 & 0x7F), static_cast<uint8_t>(data2 & 0x7F)};
    orvex::handMidi(*effect, bytes, 3);
}

// The transport at a frame: what it gives replaces what the count had.
void Instance::takeTransport(const clap_event_transport_t& t) {
    TransportGiven g;
    const uint32_t flags = t.flags;
    g.tempo = flags & CLAP_TRANSPORT_HAS_TEMPO, g.bpm = t.tempo;
    g.perBar = g.unit = flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
    g.beatsPerBar = t.tsig_num, g.beatUnit = t.tsig_denom;
    g.quarters = flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
    g.quarterValue = static_cast<double>(t.song_pos_beats) / static_cast<double>(CLAP_BEATTIME_FACTOR);
    g.barStartValue = static_cast<double>(t.bar_start) / static_cast<double>(CLAP_BEATTIME_FACTOR);
    g.frame = flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE;
    g.frameValue = std::round(static_cast<double>(t.song_pos_seconds) / static_cast<double>(CLAP_SECTIME_FACTOR) * time.rate);
    g.speed = true, g.speedValue = (flags & CLAP_TRANSPORT_IS_PLAYING) ? 1.0 : 0.0;
    time.take(g);
}

// `at`: the frame the event is taken at, which what it moves is told to the host at.
void Instance::handleEvent(const clap_event_header_t& event, uint32_t at, const clap_output_events_t* out) {
    if (event.space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    uint32_t flags = 0;
    switch (event.type) {
        case CLAP_EVENT_PARAM_VALUE: {
            if (event.size < sizeof(clap_event_param_value_t)) return;
            const auto& e = reinterpret_cast<const clap_event_param_value_t&>(event);
            if (e.param_id >= told.size()) return;
            const int p = static_cast<int>(e.param_id);
            const float value = valueOfClap(readingOf(effect->parameterInfo(p)), e.value);
            if (std::isnan(value)) return;
            hostChanged(p, value);
            break;
        }
        case CLAP_EVENT_MIDI: {
            if (event.size < sizeof(clap_event_midi_t)) return;
            const auto& e = reinterpret_cast<const clap_event_midi_t&>(event);
            handMidi(e.data[0], e.data[1], e.data[2]);
            flags = CLAP_EVENT_DONT_RECORD;
            break;
        }
        case CLAP_EVENT_NOTE_ON:
        case CLAP_EVENT_NOTE_OFF: {
            if (event.size < sizeof(clap_event_note_t)) return;
            const auto& e = reinterpret_cast<const clap_event_note_t&>(event);
            if (e.key < 0 || e.key > 127) return;
            const int channel = e.channel >= 0 && e.channel < 16 ? e.channel : 0;
            const double velocity = std::isfinite(e.velocity) ? std::clamp(e.velocity, 0.0, 1.0) : 0.0;
            const auto status = static_cast<uint8_t>((event.type == CLAP_EVENT_NOTE_ON ? 0x90 : 0x80) | channel);
            handMidi(status, static_cast<uint8_t>(e.key), static_cast<uint8_t>(std::lround(velocity * 127.0)));
            flags = CLAP_EVENT_DONT_RECORD;
            break;
        }
        case CLAP_EVENT_TRANSPORT:
            if (event.size < sizeof(clap_event_transport_t)) return;
            takeTransport(reinterpret_cast<const clap_event_transport_t&>(event));
            return;
        default:
            return;
    }
    report(at, out, flags);
}

namespace {

// The stereo buffer's channels, or null when the host gave no such thing.
float* const* stereo(const clap_audio_buffer_t* buffers, uint32_t count) {
    if (!buffers || count < 1 || buffers[0].channel_count != 2 || !buffers[0].data32) return nullptr;
    return buffers[0].data32[0] && buffers[0].data32[1] ? buffers[0].data32 : nullptr;
}

// Silence on every output channel the host gave.
void silence(clap_audio_buffer_t* buffers, uint32_t count, uint32_t frames) {
    for (uint32_t b = 0; buffers && b < count; ++b) {
        for (uint32_t c = 0; c < buffers[b].channel_count; ++c) {
            if (buffers[b].data32 && buffers[b].data32[c]) std::fill_n(buffers[b].data32[c], frames, 0.0f);
            if (buffers[b].data64 && buffers[b].data64[c]) std::fill_n(buffers[b].data64[c], frames, 0.0);
        }
        buffers[b].constant_mask = buffers[b].channel_count >= 64 ? ~uint64_t{0} : (uint64_t{1} << buffers[b].channel_count) - 1;
    }
}

}  // namespace

clap_process_status Instance::process(const clap_process_t& p) {
    drainChanges(p.out_events);
    report(0, p.out_events);
    if (p.transport) {
        takeTransport(*p.transport);
    } else if (time.known) {
        reset();  // a free-running host: no transport
    }
    const uint32_t frames = p.frames_count;
    float* const* inputs = stereo(p.audio_inputs, p.audio_inputs_count);
    float* const* outputs = stereo(p.audio_outputs, p.audio_outputs_count);
    if (!inputs || !outputs) {
        // Nowhere to read or write as agreed: silence, the events still heard.
        silence(p.audio_outputs, p.audio_outputs_count, frames);
        inputs = outputs = nullptr;
    }
    // The block cut at each event's frame; an event before the previous one's frame is
    // taken there, one past the end at the last frame.
    uint32_t done = 0;
    const clap_input_events_t* in = p.in_events;
    const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* event = in->get(in, i);
        if (!event || event->size < sizeof(clap_event_header_t)) continue;
        const uint32_t at = std::clamp(event->time, done, frames);
        runPieces(*effect, time, longestPiece, inputs, outputs, done, at);
        done = at;
        // Told to the host within the block: an event at its very end at the last frame.
        handleEvent(*event, frames > 0 ? std::min(at, frames - 1) : 0, p.out_events);
    }
    runPieces(*effect, time, longestPiece, inputs, outputs, done, frames);
    if (outputs) p.audio_outputs[0].constant_mask = 0;
    return CLAP_PROCESS_CONTINUE;
}

void Instance::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    drainChanges(out);
    report(0, out);
    const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* event = in->get(in, i);
        if (!event || event->size < sizeof(clap_event_header_t) || event->type == CLAP_EVENT_TRANSPORT) continue;
        handleEvent(*event, 0, out);
    }
}

// The plug-in record's functions ---------------------------------------------------------

namespace {

// The host calls only through records it was given, never with null.
Instance* self(const clap_plugin_t* plugin) { return static_cast<Instance*>(plugin->plugin_data); }

bool pluginInit(const clap_plugin_t* plugin) { return self(plugin)->init(); }
void pluginDestroy(const clap_plugin_t* plugin) { delete self(plugin); }
bool pluginActivate(const clap_plugin_t* plugin, double rate, uint32_t, uint32_t maxFrames) {
    return self(plugin)->activate(rate, maxFrames);
}
void pluginDeactivate(const clap_plugin_t* plugin) { self(plugin)->deactivate(); }
bool pluginStartProcessing(const clap_plugin_t*) { return true; }
void pluginStopProcessing(const clap_plugin_t*) {}
void pluginReset(const clap_plugin_t* plugin) { self(plugin)->reset(); }
clap_process_status pluginProcess(const clap_plugin_t* plugin, const clap_process_t* process) {
    return process ? self(plugin)->process(*process) : CLAP_PROCESS_ERROR;
}
// Nothing is asked of the main thread.
void pluginOnMainThread(const clap_plugin_t*) {}

// Ports: one stereo pair in and out, the main one, which may share its buffers.
uint32_t audioPortCount(const clap_plugin_t*, bool) { return 1; }
bool audioPortGet(const clap_plugin_t*, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (index != 0 || !info) return false;
    *info = clap_audio_port_info_t{};
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Stereo input" : "Stereo output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    return true;
}
const clap_plugin_audio_ports_t kAudioPorts{audioPortCount, audioPortGet};

uint32_t notePortCount(const clap_plugin_t*, bool isInput) { return isInput ? 1 : 0; }
bool notePortGet(const clap_plugin_t*, uint32_t index, bool isInput, clap_note_port_info_t* info) {
    if (index != 0 || !isInput || !info) return false;
    *info = clap_note_port_info_t{};
    info->id = 0;
    info->supported_dialects = CLAP_NOTE_DIALECT_MIDI | CLAP_NOTE_DIALECT_CLAP;
    info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
    std::snprintf(info->name, sizeof info->name, "%s", "MIDI");
    return true;
}
const clap_plugin_note_ports_t kNotePorts{notePortCount, notePortGet};

uint32_t paramsCount(const clap_plugin_t* plugin) { return static_cast<uint32_t>(self(plugin)->numParams()); }
bool paramsGetInfo(const clap_plugin_t* plugin, uint32_t index, clap_param_info_t* info) {
    return info && self(plugin)->paramInfo(index, *info);
}
bool paramsGetValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    return value && self(plugin)->paramValue(id, *value);
}
bool paramsValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* text, uint32_t size) {
    return self(plugin)->valueToText(id, value, text, size);
}
bool paramsTextToValue(const clap_plugin_t* plugin, clap_id id, const char* text, double* value) {
    return self(plugin)->textToValue(id, text, value);
}
void paramsFlush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    self(plugin)->flush(in, out);
}
const clap_plugin_params_t kParams{paramsCount, paramsGetInfo, paramsGetValue, paramsValueToText, paramsTextToValue,
                                   paramsFlush};

bool stateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    return stream && self(plugin)->save(*stream);
}
bool stateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    return stream && self(plugin)->load(*stream);
}
const clap_plugin_state_t kState{stateSave, stateLoad};

uint32_t latencyGet(const clap_plugin_t*) { return 0; }
const clap_plugin_latency_t kLatency{latencyGet};

// A load key is the program's number, as preset discovery listed it.
bool presetFromLocation(const clap_plugin_t* plugin, uint32_t kind, const char*, const char* key) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !key || !*key) return false;
    char* end = nullptr;
    const long number = std::strtol(key, &end, 10);
    if (*end != '\0' || number < 0 || number > 1 << 20) return false;
    Instance& instance = *self(plugin);
    if (!instance.loadProgram(static_cast<int>(number))) return false;
    instance.presetLoaded(kind, key);
    return true;
}
const clap_plugin_preset_load_t kPresetLoad{presetFromLocation};

const void* pluginGetExtension(const clap_plugin_t*, const char* id) {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePorts;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupport;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 || std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
        return &kPresetLoad;
    return nullptr;
}

// Factory ---------------------------------------------------------------------------------

uint32_t factoryCount(const clap_plugin_factory_t*) { return gCatalogue ? 1 : 0; }
const clap_plugin_descriptor_t* factoryDescriptor(const clap_plugin_factory_t*, uint32_t index) {
    return index == 0 && gCatalogue ? &gDescriptor : nullptr;
}
const clap_plugin_t* factoryCreate(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    if (!gCatalogue || !host || !id || !clap_version_is_compatible(host->clap_version) || std::strcmp(id, kPluginId) != 0)
        return nullptr;
    try {
        const clap_plugin_t functions{&gDescriptor,     nullptr,          pluginInit,
                                      pluginDestroy,    pluginActivate,   pluginDeactivate,
                                      pluginStartProcessing, pluginStopProcessing, pluginReset,
                                      pluginProcess,    pluginGetExtension, pluginOnMainThread};
        return (new Instance(host, functions))->plugin();
    } catch (...) {
        return nullptr;
    }
}
const clap_plugin_factory_t kFactory{factoryCount, factoryDescriptor, factoryCreate};

// Preset discovery: one provider, whose one location is inside the plug-in. ---------------

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor{CLAP_VERSION, kProviderId,
                                                                      "Orvex factory programs", kVendorName};

struct Provider {
    clap_preset_discovery_provider_t record;
    const clap_preset_discovery_indexer_t* indexer;
};

bool providerInit(const clap_preset_discovery_provider_t* provider) {
    const auto* indexer = static_cast<const Provider*>(provider->provider_data)->indexer;
    if (!indexer || !indexer->declare_location) return false;
    const clap_preset_discovery_location_t location{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Factory programs",
                                                    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return indexer->declare_location(indexer, &location);
}
void providerDestroy(const clap_preset_discovery_provider_t* provider) {
    delete static_cast<const Provider*>(provider->provider_data);
}
bool providerMetadata(const clap_preset_discovery_provider_t*, uint32_t kind, const char*,
                      const clap_preset_discovery_metadata_receiver_t* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver || !receiver->begin_preset || !gCatalogue)
        return false;
    const clap_universal_plugin_id_t id{"clap", kPluginId};
    for (const Catalogue::Program& program : gCatalogue->programs) {
        const std::string key = std::to_string(program.number);
        if (!receiver->begin_preset(receiver, program.name.c_str(), key.c_str())) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &id);
        if (receiver->set_flags) receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    }
    return true;
}
const void* providerExtension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }

uint32_t discoveryCount(const clap_preset_discovery_factory_t*) { return gCatalogue ? 1 : 0; }
const clap_preset_discovery_provider_descriptor_t* discoveryDescriptor(const clap_preset_discovery_factory_t*,
                                                                       uint32_t index) {
    return index == 0 && gCatalogue ? &kProviderDescriptor : nullptr;
}
const clap_preset_discovery_provider_t* discoveryCreate(const clap_preset_discovery_factory_t*,
                                                        const clap_preset_discovery_indexer_t* indexer,
                                                        const char* id) {
    if (!gCatalogue || !indexer || !id || std::strcmp(id, kProviderId) != 0) return nullptr;
    try {
        auto* provider = new Provider{{&kProviderDescriptor, nullptr, providerInit, providerDestroy, providerMetadata,
                                       providerExtension},
                                      indexer};
        provider->record.provider_data = provider;
        return &provider->record;
    } catch (...) {
        return nullptr;
    }
}
const clap_preset_discovery_factory_t kDiscovery{discoveryCount, discoveryDescriptor, discoveryCreate};

// Entry -------------------------------------------------------------------------------------

// Any thread the host loads on; pairs with deinit, counted, so that nested pairs keep
// what the first made.
bool entryInit(const char*) {
    std::lock_guard<std::mutex> lock(gEntryLock);
    if (gInitCount == 0) {
        try {
            gCatalogue = readCatalogue();
        } catch (...) {
            gCatalogue.reset();
        }
        if (!gCatalogue) return false;
        gDescriptor.name = gCatalogue->name.c_str();
    }
    ++gInitCount;
    return true;
}

void entryDeinit() {
    std::lock_guard<std::mutex> lock(gEntryLock);
    if (gInitCount == 0) return;
    if (--gInitCount == 0) {
        gDescriptor.name = "";
        gCatalogue.reset();
    }
}

const void* entryFactory(const char* id) {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 || std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
        return &kDiscovery;
    return nullptr;
}

}  // namespace

}  // namespace orvex::clapface

extern "C" __attribute__((visibility("default"))) const clap_plugin_entry_t clap_entry{
    CLAP_VERSION, orvex::clapface::entryInit, orvex::clapface::entryDeinit, orvex::clapface::entryFactory};
