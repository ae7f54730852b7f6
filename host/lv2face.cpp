// The LV2 face, compiled once per plug-in (ORVEX_LV2_NAME: "panner" ..., ORVEX_LV2_CLASS:
// the LV2 plug-in class): one descriptor, urn:harmoxel:orvex:<name>, over the plug-in's
// effect without its editor. Ports: audio in left/right, audio out left/right, then one
// control input per parameter in table order, counted in the unit of the row's reading,
// then two atom inputs, the host's MIDI events and its time:Position objects. Its
// state (lv2:extensionData state:interface) holds what the ports cannot bring back.
// The bundle's Turtle is written from the same table (host/lv2describe.cpp, tools/lv2ttl).
#include "lv2face.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "effectshell.h"
#include "hosttime.h"
#include "reading.h"

namespace orvex {

namespace {

// The block size the buffers are made for when the host states no maximum; longer runs
// are served in pieces by the shell.
constexpr int32_t kDefaultMaxBlock = 4096;

// The URIDs the atom input is read with, mapped once at instantiate.
enum PositionKey { kBpm, kBar, kBarBeat, kBeat, kPerBar, kUnit, kFrame, kSpeed, kKeys };

struct Uris {
    LV2_URID sequence = 0, object = 0, blank = 0, beatTime = 0;
    LV2_URID atomInt = 0, atomLong = 0, atomFloat = 0, atomDouble = 0;
    LV2_URID midiEvent = 0, position = 0;
    // The time:Position keys read, in the order of PositionKey.
    LV2_URID positionKeys[kKeys] = {};

    Uris() = default;  // all 0: nothing is read
    explicit Uris(const LV2_URID_Map& map) {
        auto m = [&map](const char* uri) { return map.map(map.handle, uri); };
        sequence = m(LV2_ATOM__Sequence), object = m(LV2_ATOM__Object), blank = m(LV2_ATOM__Blank);
        beatTime = m(LV2_ATOM__beatTime);
        atomInt = m(LV2_ATOM__Int), atomLong = m(LV2_ATOM__Long);
        atomFloat = m(LV2_ATOM__Float), atomDouble = m(LV2_ATOM__Double);
        midiEvent = m(LV2_MIDI__MidiEvent), position = m(LV2_TIME__Position);
        const char* const keys[] = {LV2_TIME__beatsPerMinute, LV2_TIME__bar,        LV2_TIME__barBeat,
                                    LV2_TIME__beat,           LV2_TIME__beatsPerBar, LV2_TIME__beatUnit,
                                    LV2_TIME__frame,          LV2_TIME__speed};
        for (std::size_t k = 0; k < std::size(keys); ++k) positionKeys[k] = m(keys[k]);
    }
};

struct Instance {
    std::unique_ptr<EffectShell> effect;
    float* audio[4] = {};
    std::vector<const float*> controls;  // null while unconnected
    // The last value read from each control port (compared bit for bit, so a NaN is
    // one value too); it starts as the unit value of what the effect holds, so a port
    // at the default is not converted back and forth.
    std::vector<uint32_t> seen;
    // The host's values (0..1) the control ports last said, and which of them moved in
    // this run; handed to the effect, which applies them by its own rules.
    std::vector<float> values;
    std::unique_ptr<bool[]> changed;
    const LV2_Atom_Sequence* events[kLv2AtomInputCount] = {};  // null while unconnected
    Uris uris;
    HostTime time;
    // The longest piece handed to the effect at once: its buffers' length (at most
    // kMaxBufferSize, well within the shell's signed counts).
    uint32_t longestPiece = 1;

    // The state: what the effect holds that its ports alone would not bring back (of
    // two solos whose ports say on, the one switched on later plays; a MIDI controller
    // moves a value the port does not show). One key per parameter, from its port's
    // symbol; none without a URID map, and then no state.
    std::vector<LV2_URID> stateKeys;
    // Of each parameter, the value (0..1) the effect holds where it is not what the
    // port says, else NaN. The audio thread writes them at the end of every run, the
    // host's saving thread reads them; `heldVersion` is odd while a run writes, and the
    // reader reads again until it got one run's values.
    std::unique_ptr<std::atomic<float>[]> held;
    std::atomic<uint32_t> heldVersion{0};
    // A restored state's values (0..1; NaN: as the port says), written by the host's
    // restoring thread and taken up by the next run once `restoredReady` is set.
    std::unique_ptr<std::atomic<float>[]> restored;
    std::atomic<bool> restoredReady{false};
    std::vector<float> wanted;  // the audio thread's scratch for taking them up
    // Of the last time:Position's properties in their order, the key each was (its
    // index in readPosition's keys).
    static constexpr std::size_t kGuesses = 12;
    uint8_t positionSlots[kGuesses] = {};
    // Whether a parameter may have moved in this run (a port, a MIDI message, a
    // restored state): only then is what the effect holds published again.
    bool moved = false;

    explicit Instance(const LV2_URID_Map* map) : uris(map ? Uris(*map) : Uris()) {}
};

// The host's URID map, or null.
const LV2_URID_Map* mapOf(const LV2_Feature* const* features) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if ((*f)->URI && std::strcmp((*f)->URI, LV2_URID__map) == 0) {
            const auto* map = static_cast<const LV2_URID_Map*>((*f)->data);
            return map && map->map ? map : nullptr;
        }
    return nullptr;
}

// The maximum block length the host states through the options feature, or 0.
int32_t maxBlockOf(const LV2_Feature* const* features, const LV2_URID_Map* map) {
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if ((*f)->URI && std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*f)->data);
    if (!map || !options) return 0;
    const LV2_URID maxBlock = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value; ++o)
        if (o->key == maxBlock && o->type == atomInt && o->size == sizeof(int32_t) && o->value)
            return std::max(*static_cast<const int32_t*>(o->value), int32_t{0});
    return 0;
}

// Host's loading thread.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    if (!std::isfinite(rate) || rate <= 0 || rate > 1e7) return nullptr;
    // Without a URID map the atom input cannot be read: it is left alone, the controls
    // and the audio work as ever (lv2apply, for one, offers no map).
    const LV2_URID_Map* map = mapOf(features);
    try {
        auto instance = std::make_unique<Instance>(map);
        instance->effect.reset(createEffectWithoutEditor(lv2FaceCallback));
        if (!instance->effect) return nullptr;
        EffectShell& effect = *instance->effect;
        // From here on the effect's time requests reach this instance.
        effect.getAeffect()->user = instance.get();
        const int32_t maxBlock = maxBlockOf(features, map);
        effect.setSampleRate(static_cast<float>(rate));
        effect.setBlockSize(maxBlock > 0 ? maxBlock : kDefaultMaxBlock);
        instance->longestPiece = static_cast<uint32_t>(std::min(maxBlock > 0 ? maxBlock : kDefaultMaxBlock, kMaxBufferSize));
        instance->time.rate = static_cast<double>(static_cast<float>(rate));
        const int params = effect.numParams();
        instance->controls.assign(static_cast<std::size_t>(params), nullptr);
        instance->seen.resize(static_cast<std::size_t>(params));
        instance->values.resize(static_cast<std::size_t>(params));
        instance->changed = std::make_unique<bool[]>(static_cast<std::size_t>(params));
        for (int p = 0; p < params; ++p) {
            instance->values[p] = effect.getParameter(p);
            instance->seen[p] = std::bit_cast<uint32_t>(unitOfValue(readingOf(effect.parameterInfo(p)), instance->values[p]));
        }
        instance->held = std::make_unique<std::atomic<float>[]>(static_cast<std::size_t>(params));
        instance->restored = std::make_unique<std::atomic<float>[]>(static_cast<std::size_t>(params));
        for (int p = 0; p < params; ++p) instance->held[p] = instance->restored[p] = NAN;
        instance->wanted.resize(static_cast<std::size_t>(params));
        if (map)
            for (const std::string& symbol : controlSymbols(effect))
                instance->stateKeys.push_back(map->map(map->handle, (ORVEX_LV2_URI "#" + symbol).c_str()));
        return instance.release();
    } catch (...) {
        return nullptr;
    }
}

// Any thread but never during run.
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* instance = static_cast<Instance*>(handle);
    if (port < kLv2FirstControl) {
        instance->audio[port] = static_cast<float*>(data);
        return;
    }
    if (port - kLv2FirstControl < instance->controls.size())
        instance->controls[port - kLv2FirstControl] = static_cast<const float*>(data);
    else if (const std::size_t input = port - kLv2FirstControl - instance->controls.size(); input < kLv2AtomInputCount)
        instance->events[input] = static_cast<const LV2_Atom_Sequence*>(data);
}

// Host's loading thread, never during run.
void activate(LV2_Handle handle) {
    Instance& instance = *static_cast<Instance*>(handle);
    // A new start: no transport until the host tells one again.
    const double rate = instance.time.rate;
    instance.time = HostTime{};
    instance.time.rate = rate;
    instance.effect->resume();
}
void deactivate(LV2_Handle handle) { static_cast<Instance*>(handle)->effect->suspend(); }
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// The atom input ------------------------------------------------------------------
// Everything here runs on the audio thread, during run: no allocation, no lock. The
// host's atoms are read within the sizes they state, each checked against what holds
// it, so a malformed sequence ends the reading rather than being read past.

// A record's length padded to 8 bytes as atoms are laid out, counted in 64 bits so
// that no size a host states wraps it round.
constexpr std::size_t padded(std::size_t length) { return (length + 7) & ~std::size_t{7}; }

// The number an atom holds, if it is an Int, Long, Float or Double of the right size.
bool numberOf(const Uris& uris, const LV2_Atom& atom, double& value) {
    const void* body = &atom + 1;
    if (atom.type == uris.atomFloat && atom.size == sizeof(float)) {
        value = *static_cast<const float*>(body);
    } else if (atom.type == uris.atomDouble && atom.size == sizeof(double)) {
        value = *static_cast<const double*>(body);
    } else if (atom.type == uris.atomInt && atom.size == sizeof(int32_t)) {
        value = *static_cast<const int32_t*>(body);
    } else if (atom.type == uris.atomLong && atom.size == sizeof(int64_t)) {
        value = static_cast<double>(*static_cast<const int64_t*>(body));
    } else {
        return false;
    }
    return std::isfinite(value);
}

// A time:Position object of `size` body bytes: what it gives replaces what the
// transport had; what it leaves out moves on from where the transport is.
void readPosition(Instance& instance, const LV2_Atom_Object_Body& body, uint32_t size) {
    const Uris& u = instance.uris;
    HostTime& t = instance.time;
    const LV2_URID* const keys = u.positionKeys;
    double value[kKeys] = {};
    bool given[kKeys] = {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&body);
    // A host sends its keys in the same order every time: the slot the n-th key took
    // in the last position is tried first.
    uint8_t* const guess = instance.positionSlots;
    std::size_t n = 0;
    for (std::size_t at = sizeof body; at + sizeof(LV2_Atom_Property_Body) <= size; ++n) {
        const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(bytes + at);
        if (property->value.size > size - at - sizeof(LV2_Atom_Property_Body)) break;
        at += padded(sizeof(LV2_Atom_Property_Body) + property->value.size);
        int k = n < Instance::kGuesses && guess[n] < kKeys && property->key == keys[guess[n]] ? guess[n] : 0;
        if (property->key != keys[k]) {
            for (k = 0; k < kKeys && property->key != keys[k]; ++k) {
            }
            if (n < Instance::kGuesses) guess[n] = static_cast<uint8_t>(k);
            if (k == kKeys) continue;
        }
        given[k] = numberOf(u, property->value, value[k]);
    }
    TransportGiven g;
    g.tempo = given[kBpm], g.bpm = value[kBpm];
    g.perBar = given[kPerBar], g.beatsPerBar = value[kPerBar];
    g.unit = given[kUnit], g.beatUnit = value[kUnit];
    g.barAndBeat = given[kBar] && given[kBarBeat], g.bar = value[kBar], g.barBeat = value[kBarBeat];
    g.beat = given[kBeat], g.beatValue = value[kBeat];
    g.frame = given[kFrame], g.frameValue = value[kFrame];
    g.speed = given[kSpeed], g.speedValue = value[kSpeed];
    t.take(g);
}

// One MIDI message of `size` bytes, handed to the effect now. Channel messages only:
// the effect reads controllers and notes, nothing longer.
void handMidi(Instance& instance, const uint8_t* bytes, uint32_t size) {
    if (size < 1 || size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
    orvex::handMidi(*instance.effect, bytes, size);
    instance.moved = true;
}

// One atom input read in order, each event within the size the sequence states; a
// malformed event ends the reading. Null or not a sequence: no events.
struct EventReader {
    const uint8_t* bytes = nullptr;
    std::size_t size = 0, at = sizeof(LV2_Atom_Sequence_Body);
    bool inFrames = true;
    const LV2_Atom_Event* event = nullptr;  // the next one, null at the end

    EventReader(const LV2_Atom_Sequence* sequence, const Uris& u) {
        if (!sequence || u.sequence == 0 || sequence->atom.type != u.sequence ||
            sequence->atom.size < sizeof(LV2_Atom_Sequence_Body))
            return;
        bytes = reinterpret_cast<const uint8_t*>(&sequence->body);
        size = sequence->atom.size;
        // Time stamps in beats cannot be placed: taken as they come. Anything else is
        // frames, whatever the unit field says: Ardour leaves it unset.
        inFrames = sequence->body.unit != u.beatTime;
        advance();
    }
    void advance() {
        event = nullptr;
        if (!bytes || at + sizeof(LV2_Atom_Event) > size) return;
        const auto* next = reinterpret_cast<const LV2_Atom_Event*>(bytes + at);
        if (next->body.size > size - at - sizeof(LV2_Atom_Event)) return;
        at += padded(sizeof(LV2_Atom_Event) + next->body.size);
        event = next;
    }
    // The next event's frame, `now` for one stamped otherwise.
    int64_t stamp(uint32_t now) const { return inFrames ? event->time.frames : now; }
};

// The run cut at each event's frame: the effect hears a message at its frame, the
// pieces between go through as they are. The atom inputs' events are taken in the
// order of their frames (the first input's first of two at one frame); an event before
// the previous one's frame is taken at that frame, one past the run's end after its
// last frame.
void runWithEvents(Instance& instance, float* const* inputs, float* const* outputs, uint32_t frames) {
    const Uris& u = instance.uris;
    static_assert(kLv2AtomInputCount == 2);
    EventReader readers[kLv2AtomInputCount] = {{instance.events[0], u}, {instance.events[1], u}};
    uint32_t done = 0;
    for (;;) {
        std::size_t next = kLv2AtomInputCount;
        for (std::size_t r = 0; r < kLv2AtomInputCount; ++r)
            if (readers[r].event && (next == kLv2AtomInputCount || readers[r].stamp(done) < readers[next].stamp(done)))
                next = r;
        if (next == kLv2AtomInputCount) break;
        const LV2_Atom_Event* event = readers[next].event;
        const uint32_t frame = static_cast<uint32_t>(std::clamp<int64_t>(readers[next].stamp(done), done, frames));
        runPieces(*instance.effect, instance.time, instance.longestPiece, inputs, outputs, done, frame);
        done = frame;
        const auto* body = reinterpret_cast<const uint8_t*>(&event->body + 1);
        if (event->body.type == u.midiEvent) {
            if (kLv2AtomInputs[next].midi) handMidi(instance, body, event->body.size);
        } else if ((event->body.type == u.object || event->body.type == u.blank) &&
                   event->body.size >= sizeof(LV2_Atom_Object_Body)) {
            const auto& object = *reinterpret_cast<const LV2_Atom_Object_Body*>(body);
            if (object.otype == u.position) readPosition(instance, object, event->body.size);
        }
        readers[next].advance();
    }
    runPieces(*instance.effect, instance.time, instance.longestPiece, inputs, outputs, done, frames);
}

// Audio thread: the control ports that changed since the last run, read into the
// host's values, which the effect follows by its own rules (EffectShell::followHostValues).
void readControls(Instance& instance) {
    const std::size_t count = instance.controls.size();
    const float* const* ports = instance.controls.data();
    uint32_t* seen = instance.seen.data();
    // Most runs find every port as it was: that is looked for first, with nothing
    // written, so that the loop keeps its pointers in registers.
    std::size_t first = 0;
    while (first < count && (!ports[first] || std::bit_cast<uint32_t>(*ports[first]) == seen[first])) ++first;
    if (first == count) return;
    EffectShell& effect = *instance.effect;
    std::fill(instance.changed.get(), instance.changed.get() + count, false);
    for (std::size_t p = first; p < count; ++p) {
        const float* port = ports[p];
        if (!port) continue;
        const float unitValue = *port;
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == seen[p]) continue;
        seen[p] = bits;
        instance.values[p] = valueOfUnit(readingOf(effect.parameterInfo(static_cast<int>(p))), unitValue);
        instance.changed[p] = true;
    }
    effect.followHostValues(instance.values, std::span<const bool>(instance.changed.get(), count));
    instance.moved = true;
}

// Audio thread: a restored state, once, after the ports it came with were read. Each
// parameter goes to the value the state gives, the others to what their ports say, and
// the effect follows those it does not hold yet by its own rules: of two solos whose
// ports say on, the one the state gives on is switched on after the other's port was
// followed, so it plays.
void takeRestoredState(Instance& instance) {
    // A plain load first: the exchange, a locked instruction, only once there is one.
    if (!instance.restoredReady.load(std::memory_order_relaxed) ||
        !instance.restoredReady.exchange(false, std::memory_order_acquire))
        return;
    EffectShell& effect = *instance.effect;
    const std::size_t count = instance.values.size();
    bool any = false;
    for (std::size_t p = 0; p < count; ++p) {
        const float given = instance.restored[p].load(std::memory_order_relaxed);
        instance.wanted[p] = std::isnan(given) ? instance.values[p] : given;
        const float holds = effect.getParameter(static_cast<VstInt32>(p));
        instance.changed[p] = std::bit_cast<uint32_t>(instance.wanted[p]) != std::bit_cast<uint32_t>(holds);
        any = any || instance.changed[p];
    }
    if (any) effect.followHostValues(instance.wanted, std::span<const bool>(instance.changed.get(), count));
    instance.moved = instance.moved || any;
}

// Audio thread, at the end of a run that may have moved a parameter: what the effect
// holds other than its ports say.
void publishHeld(Instance& instance) {
    if (instance.stateKeys.empty() || !instance.moved) return;
    instance.moved = false;
    EffectShell& effect = *instance.effect;
    instance.heldVersion.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t p = 0; p < instance.values.size(); ++p) {
        const float holds = effect.getParameter(static_cast<VstInt32>(p));
        const bool asPort = std::bit_cast<uint32_t>(holds) == std::bit_cast<uint32_t>(instance.values[p]);
        instance.held[p].store(asPort ? NAN : holds, std::memory_order_relaxed);
    }
    instance.heldVersion.fetch_add(1, std::memory_order_release);
}

// Audio thread: no allocation, no lock.
void run(LV2_Handle handle, uint32_t frames) {
    Instance& instance = *static_cast<Instance*>(handle);
    readControls(instance);
    takeRestoredState(instance);
    float* inputs[2] = {instance.audio[0], instance.audio[1]};
    float* outputs[2] = {instance.audio[2], instance.audio[3]};
    if (frames == 0 || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) {
        // Nothing to read or nowhere to write: silence on whichever output there is,
        // the events still heard (a controller is a setting the host expects kept).
        for (float* out : outputs)
            if (out) std::fill(out, out + frames, 0.0f);
        runWithEvents(instance, nullptr, nullptr, frames);
    } else {
        runWithEvents(instance, inputs, outputs, frames);
    }
    publishHeld(instance);
}

// The state ----------------------------------------------------------------------
// One property per parameter the effect holds other than its port says: keyed by the
// port's symbol, an atom:Float in the port's unit. Parameters it does not name play
// as their ports say.

// Host's thread, possibly while run goes on.
LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                           const LV2_Feature* const*) {
    const Instance& instance = *static_cast<const Instance*>(handle);
    if (instance.stateKeys.empty()) return LV2_STATE_ERR_NO_FEATURE;
    const std::size_t count = instance.stateKeys.size();
    std::vector<float> held(count);
    for (;;) {
        const uint32_t before = instance.heldVersion.load(std::memory_order_acquire);
        for (std::size_t p = 0; p < count; ++p) held[p] = instance.held[p].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && instance.heldVersion.load(std::memory_order_relaxed) == before) break;
        std::this_thread::yield();
    }
    // A state restored that no run has taken up yet is what the instance holds: a host
    // that opens a session and saves it without playing keeps what it restored.
    if (instance.restoredReady.load(std::memory_order_acquire))
        for (std::size_t p = 0; p < count; ++p) held[p] = instance.restored[p].load(std::memory_order_relaxed);
    for (std::size_t p = 0; p < count; ++p) {
        if (std::isnan(held[p])) continue;
        const float unitValue = unitOfValue(readingOf(instance.effect->parameterInfo(static_cast<int>(p))), held[p]);
        const LV2_State_Status status = store(state, instance.stateKeys[p], &unitValue, sizeof unitValue,
                                              instance.uris.atomFloat, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
        if (status != LV2_STATE_SUCCESS) return status;
    }
    return LV2_STATE_SUCCESS;
}

// Host's thread, never during run; the values reach the effect in the next run.
LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                              uint32_t, const LV2_Feature* const*) {
    Instance& instance = *static_cast<Instance*>(handle);
    if (instance.stateKeys.empty()) return LV2_STATE_ERR_NO_FEATURE;
    for (std::size_t p = 0; p < instance.stateKeys.size(); ++p) {
        std::size_t size = 0;
        uint32_t type = 0, flags = 0;
        const void* value = retrieve(state, instance.stateKeys[p], &size, &type, &flags);
        float given = NAN, unitValue = 0;
        if (value && type == instance.uris.atomFloat && size == sizeof unitValue) {
            std::memcpy(&unitValue, value, sizeof unitValue);
            if (std::isfinite(unitValue))
                given = valueOfUnit(readingOf(instance.effect->parameterInfo(static_cast<int>(p))), unitValue);
        }
        instance.restored[p].store(given, std::memory_order_relaxed);
    }
    instance.restoredReady.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

const LV2_State_Interface kState{saveState, restoreState};

}  // namespace

// The host callback the effect sees: a 2.4 host that offers nothing but the time the
// host's time:Position objects gave, none until one came. The instance is found
// through the effect's `user` field, which the face sets. Any thread; the time is asked
// for on the audio thread, during run.
VstIntPtr lv2FaceCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode != audioMasterGetTime || !effect || !effect->user) return 0;
    // Worked out when asked (during processReplacing, on the audio thread): the
    // transport stands still within a piece, and an effect that never asks costs nothing.
    HostTime& time = static_cast<Instance*>(effect->user)->time;
    if (!time.known) return 0;
    time.fill();
    return reinterpret_cast<VstIntPtr>(&time.info);
}

namespace {

const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
    return uri && std::strcmp(uri, kLv2DescribeUri) == 0 ? &kLv2Describe : nullptr;
}

const LV2_Descriptor kDescriptor{ORVEX_LV2_URI, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};

}  // namespace

}  // namespace orvex

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orvex::kDescriptor : nullptr;
}
