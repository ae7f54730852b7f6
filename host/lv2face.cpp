// The LV2 face, compiled once per plug-in (ORVEX_LV2_NAME: "panner" ..., ORVEX_LV2_CLASS:
// the LV2 plug-in class): one descriptor, urn:harmoxel:orvex:<name>, over the plug-in's
// effect without its editor. Ports: audio in left/right, audio out left/right, then one
// control input per parameter in table order, counted in the unit of the row's reading,
// then one atom input taking the host's time:Position objects and MIDI events.
// The bundle's Turtle is written from the same table (host/lv2describe.cpp, tools/lv2ttl).
#include "lv2face.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "effectshell.h"
#include "reading.h"

namespace orvex {

namespace {

// The block size the buffers are made for when the host states no maximum; longer runs
// are served in pieces by the shell.
constexpr int32_t kDefaultMaxBlock = 4096;
// The longest piece handed to the shell at once (its counts are 32-bit signed).
constexpr uint32_t kLongestCall = 1u << 30;


// The URIDs the atom input is read with, mapped once at instantiate.
struct Uris {
    LV2_URID sequence = 0, object = 0, blank = 0, frameTime = 0;
    LV2_URID atomInt = 0, atomLong = 0, atomFloat = 0, atomDouble = 0;
    LV2_URID midiEvent = 0, position = 0;
    LV2_URID beatsPerMinute = 0, bar = 0, barBeat = 0, beat = 0, beatsPerBar = 0, beatUnit = 0, frame = 0, speed = 0;

    Uris() = default;  // all 0: nothing is read
    explicit Uris(const LV2_URID_Map& map) {
        auto m = [&map](const char* uri) { return map.map(map.handle, uri); };
        sequence = m(LV2_ATOM__Sequence), object = m(LV2_ATOM__Object), blank = m(LV2_ATOM__Blank);
        frameTime = m(LV2_ATOM__frameTime);
        atomInt = m(LV2_ATOM__Int), atomLong = m(LV2_ATOM__Long);
        atomFloat = m(LV2_ATOM__Float), atomDouble = m(LV2_ATOM__Double);
        midiEvent = m(LV2_MIDI__MidiEvent), position = m(LV2_TIME__Position);
        beatsPerMinute = m(LV2_TIME__beatsPerMinute), bar = m(LV2_TIME__bar), barBeat = m(LV2_TIME__barBeat);
        beat = m(LV2_TIME__beat), beatsPerBar = m(LV2_TIME__beatsPerBar), beatUnit = m(LV2_TIME__beatUnit);
        frame = m(LV2_TIME__frame), speed = m(LV2_TIME__speed);
    }
};

// The bounds of a transport the face passes on: beyond them a time:Position's value is
// taken for nonsense and left out.
constexpr double kHighestTempo = 10000.0;      // beats per minute
constexpr double kMostBeats = 1024.0;          // beats in a bar, and the beat's note value
constexpr double kFastestSpeed = 1024.0;       // transport frames per frame
constexpr double kFarthestQuarter = 1e15;      // a song position in quarter notes

// The transport as the host's time:Position objects tell it: the last position given
// (the anchor) and the frames run since, answered to the effect as a VstTimeInfo with
// the flags of what the host gave. Audio thread.
struct HostTime {
    bool known = false;  // no position yet: the effect is told there is no transport
    bool hasTempo = false, hasPosition = false, hasBar = false, hasMeter = false;
    bool playing = false, changed = false;
    double rate = 0.0;
    double tempo = 120.0;  // beats per minute
    double speed = 0.0;    // transport frames per frame run
    double beatsPerBar = 4.0;
    double beatUnit = 4.0;  // the note value of a beat: 4 for quarters
    double anchorQuarters = 0.0, anchorBarStart = 0.0, anchorFrame = 0.0;
    double since = 0.0;  // frames run since the anchor
    VstTimeInfo info{};

    // Quarter notes moved on since the anchor, summed as a VST host does (frames over
    // the rate times the tempo over 60), so that an equal transport gives equal values.
    double quartersSince() const {
        return playing && hasTempo ? since / rate * tempo / 60.0 * speed * (4.0 / beatUnit) : 0.0;
    }
    double framesSince() const { return playing ? since * speed : 0.0; }
    // The anchor moved to where the transport is now.
    void rebase() {
        const double moved = quartersSince();
        if (hasBar && moved != 0.0) {
            const double barLength = beatsPerBar * 4.0 / beatUnit;
            anchorBarStart += std::floor((anchorQuarters + moved - anchorBarStart) / barLength) * barLength;
        }
        anchorQuarters += moved;
        anchorFrame += framesSince();
        since = 0.0;
    }
    // What the effect is told at the start of its next piece.
    void fill() {
        info = VstTimeInfo{};
        info.sampleRate = rate;
        info.samplePos = anchorFrame + framesSince();
        VstInt32 flags = playing ? kVstTransportPlaying : 0;
        if (changed) flags |= kVstTransportChanged;
        if (hasTempo) {
            info.tempo = tempo;
            flags |= kVstTempoValid;
        }
        // A position out of a float's reach (nonsense from the host) is not given.
        const double quarters = anchorQuarters + quartersSince();
        const bool reachable = std::fabs(quarters) <= kFarthestQuarter && std::fabs(anchorBarStart) <= kFarthestQuarter;
        if (hasPosition && reachable) {
            info.ppqPos = quarters;
            flags |= kVstPpqPosValid;
        }
        if (hasPosition && hasBar && reachable) {
            const double barLength = beatsPerBar * 4.0 / beatUnit;
            info.barStartPos = anchorBarStart + std::floor((info.ppqPos - anchorBarStart) / barLength) * barLength;
            flags |= kVstBarsValid;
        }
        if (hasMeter) {
            info.timeSigNumerator = static_cast<VstInt32>(std::lround(beatsPerBar));
            info.timeSigDenominator = static_cast<VstInt32>(std::lround(beatUnit));
            flags |= kVstTimeSigValid;
        }
        info.flags = flags;
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
    const LV2_Atom_Sequence* events = nullptr;  // null while unconnected
    Uris uris;
    HostTime time;
    // The longest piece handed to the effect at once: its buffers' length, so that it
    // asks for the time at the start of each piece the time was worked out for.
    uint32_t longestPiece = 1;
    // One MIDI message at a time, handed over at its frame.
    VstMidiEvent midi{};
    VstEvents list{};

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
    else if (port - kLv2FirstControl == instance->controls.size())
        instance->events = static_cast<const LV2_Atom_Sequence*>(data);
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
    double bpm = 0, bar = 0, barBeat = 0, beat = 0, perBar = 0, unit = 0, frame = 0, speed = 0;
    bool given[8] = {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&body);
    for (std::size_t at = sizeof body; at + sizeof(LV2_Atom_Property_Body) <= size;) {
        const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(bytes + at);
        if (property->value.size > size - at - sizeof(LV2_Atom_Property_Body)) break;
        at += padded(sizeof(LV2_Atom_Property_Body) + property->value.size);
        double value = 0;
        if (numberOf(u, property->value, value)) {
            const LV2_URID key = property->key;
            const LV2_URID keys[8] = {u.beatsPerMinute, u.bar, u.barBeat, u.beat, u.beatsPerBar, u.beatUnit, u.frame, u.speed};
            double* into[8] = {&bpm, &bar, &barBeat, &beat, &perBar, &unit, &frame, &speed};
            for (int k = 0; k < 8; ++k)
                if (key == keys[k]) *into[k] = value, given[k] = true;
        }
    }
    t.rebase();
    // Values no transport has are left out: the effect takes the tempo and the
    // position as floats, which must hold them.
    if (given[0] && bpm > 0 && bpm <= kHighestTempo) t.tempo = bpm, t.hasTempo = true;
    if (given[4] && perBar >= 1 && perBar <= kMostBeats) t.beatsPerBar = perBar, t.hasMeter = true;
    if (given[5] && unit >= 1 && unit <= kMostBeats) t.beatUnit = unit, t.hasMeter = true;
    const double quarterPerBeat = 4.0 / t.beatUnit;
    if (given[1] && given[2]) {
        t.anchorBarStart = bar * t.beatsPerBar * quarterPerBeat;
        t.anchorQuarters = t.anchorBarStart + barBeat * quarterPerBeat;
        t.hasPosition = true;
        t.hasBar = t.hasMeter;
    } else if (given[3]) {
        t.anchorQuarters = beat * quarterPerBeat;
        const double barLength = t.beatsPerBar * quarterPerBeat;
        t.anchorBarStart = std::floor(t.anchorQuarters / barLength) * barLength;
        t.hasPosition = true;
        t.hasBar = t.hasMeter;
    }
    if (given[6]) t.anchorFrame = frame;
    if (given[7] && std::fabs(speed) <= kFastestSpeed) {
        const bool playing = speed != 0.0;
        if (playing != t.playing) t.changed = true;
        t.playing = playing;
        t.speed = speed;
    }
    t.known = true;
}

// One MIDI message of `size` bytes, handed to the effect now. Channel messages only:
// the effect reads controllers and notes, nothing longer.
void handMidi(Instance& instance, const uint8_t* bytes, uint32_t size) {
    if (size < 1 || size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
    VstMidiEvent& midi = instance.midi;
    midi = VstMidiEvent{};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof(VstMidiEvent);
    for (uint32_t i = 0; i < size; ++i) midi.midiData[i] = static_cast<char>(bytes[i]);
    instance.list = VstEvents{};
    instance.list.numEvents = 1;
    eventEntries(instance.list)[0] = reinterpret_cast<VstEvent*>(&midi);
    instance.effect->processEvents(&instance.list);
}

// Frames `from` to `to` through the effect, in pieces no longer than its buffers, the
// effect asking for the time at the start of each; without audio (null) only the
// transport moves on.
void runPieces(Instance& instance, float* const* inputs, float* const* outputs, uint32_t from, uint32_t to) {
    HostTime& time = instance.time;
    if (!inputs || !outputs) {
        time.since += to - from;
        return;
    }
    const uint32_t longest = std::min(instance.longestPiece, kLongestCall);
    for (uint32_t done = from; done < to;) {
        const uint32_t count = std::min(to - done, longest);
        if (time.known) time.fill();
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        instance.effect->processReplacing(in, out, static_cast<VstInt32>(count));
        time.changed = false;
        time.since += count;
        done += count;
    }
}

// The run cut at each event's frame: the effect hears a message at its frame, the
// pieces between go through as they are. An event before the previous one's frame is
// taken at that frame; one past the run's end after its last frame.
void runWithEvents(Instance& instance, float* const* inputs, float* const* outputs, uint32_t frames) {
    const LV2_Atom_Sequence* sequence = instance.events;
    const Uris& u = instance.uris;
    uint32_t done = 0;
    if (sequence && u.sequence != 0 && sequence->atom.type == u.sequence &&
        sequence->atom.size >= sizeof(LV2_Atom_Sequence_Body)) {
        // Time stamps in anything but frames (beats) cannot be placed: taken as they come.
        const bool inFrames = sequence->body.unit == 0 || sequence->body.unit == u.frameTime;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&sequence->body);
        const std::size_t size = sequence->atom.size;
        for (std::size_t at = sizeof(LV2_Atom_Sequence_Body); at + sizeof(LV2_Atom_Event) <= size;) {
            const auto* event = reinterpret_cast<const LV2_Atom_Event*>(bytes + at);
            if (event->body.size > size - at - sizeof(LV2_Atom_Event)) break;
            at += padded(sizeof(LV2_Atom_Event) + event->body.size);
            const int64_t stamp = inFrames ? event->time.frames : done;
            const uint32_t frame = static_cast<uint32_t>(std::clamp<int64_t>(stamp, done, frames));
            runPieces(instance, inputs, outputs, done, frame);
            done = frame;
            const auto* body = reinterpret_cast<const uint8_t*>(&event->body + 1);
            if (event->body.type == u.midiEvent) {
                handMidi(instance, body, event->body.size);
            } else if ((event->body.type == u.object || event->body.type == u.blank) &&
                       event->body.size >= sizeof(LV2_Atom_Object_Body)) {
                const auto& object = *reinterpret_cast<const LV2_Atom_Object_Body*>(body);
                if (object.otype == u.position) readPosition(instance, object, event->body.size);
            }
        }
    }
    runPieces(instance, inputs, outputs, done, frames);
}

// Audio thread: the control ports that changed since the last run, read into the
// host's values, which the effect follows by its own rules (EffectShell::followHostValues).
void readControls(Instance& instance) {
    EffectShell& effect = *instance.effect;
    const std::size_t count = instance.controls.size();
    bool any = false;
    for (std::size_t p = 0; p < count; ++p) {
        instance.changed[p] = false;
        const float* port = instance.controls[p];
        if (!port) continue;
        const float unitValue = *port;
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == instance.seen[p]) continue;
        instance.seen[p] = bits;
        instance.values[p] = valueOfUnit(readingOf(effect.parameterInfo(static_cast<int>(p))), unitValue);
        instance.changed[p] = any = true;
    }
    if (any) effect.followHostValues(instance.values, std::span<const bool>(instance.changed.get(), count));
}

// Audio thread: no allocation, no lock.
void run(LV2_Handle handle, uint32_t frames) {
    Instance& instance = *static_cast<Instance*>(handle);
    readControls(instance);
    float* inputs[2] = {instance.audio[0], instance.audio[1]};
    float* outputs[2] = {instance.audio[2], instance.audio[3]};
    if (frames == 0 || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) {
        // Nothing to read or nowhere to write: silence on whichever output there is,
        // the events still heard (a controller is a setting the host expects kept).
        for (float* out : outputs)
            if (out) std::fill(out, out + frames, 0.0f);
        runWithEvents(instance, nullptr, nullptr, frames);
        return;
    }
    runWithEvents(instance, inputs, outputs, frames);
}

}  // namespace

// The host callback the effect sees: a 2.4 host that offers nothing but the time the
// host's time:Position objects gave, none until one came. The instance is found
// through the effect's `user` field, which the face sets. Any thread; the time is asked
// for on the audio thread, during run.
VstIntPtr lv2FaceCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode != audioMasterGetTime || !effect || !effect->user) return 0;
    const Instance& instance = *static_cast<const Instance*>(effect->user);
    return instance.time.known ? reinterpret_cast<VstIntPtr>(&instance.time.info) : 0;
}

namespace {

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, kLv2DescribeUri) == 0 ? &kLv2Describe : nullptr;
}

const LV2_Descriptor kDescriptor{ORVEX_LV2_URI, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};

}  // namespace

}  // namespace orvex

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orvex::kDescriptor : nullptr;
}
