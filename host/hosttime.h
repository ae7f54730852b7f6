// The host's transport as a face other than VST 2.x is told it (LV2's time:Position
// objects, CLAP's transport events): the last position given and the frames run since,
// answered to the effect as the VstTimeInfo it asks for. One count for every face, so
// that an equal transport gives equal values. Audio thread, plain data, no allocation.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "audioeffect.h"
#include "vst2.h"

namespace orvex {

// What one message of the host's transport gave; what it leaves out moves on from
// where the transport is. A position comes as a bar and the beat in it, as a beat
// count from the start, or as quarter notes and the start of their bar.
struct TransportGiven {
    bool tempo = false, perBar = false, unit = false, barAndBeat = false, beat = false, quarters = false;
    bool frame = false, speed = false;
    double bpm = 0.0, beatsPerBar = 0.0, beatUnit = 0.0, bar = 0.0, barBeat = 0.0, beatValue = 0.0;
    double quarterValue = 0.0, barStartValue = 0.0;  // with `quarters`
    double frameValue = 0.0, speedValue = 0.0;
};

// The bounds of a transport the face passes on: beyond them a value the host gave is
// taken for nonsense and left out.
inline constexpr double kHighestTempo = 10000.0;      // beats per minute
inline constexpr double kMostBeats = 1024.0;          // beats in a bar, and the beat's note value
inline constexpr double kFastestSpeed = 1024.0;       // transport frames per frame
inline constexpr double kFarthestQuarter = 1e15;      // a song position in quarter notes
// How far a playing host's position may lie from where the face counted the transport
// to, in quarter notes, and still be taken for the same place: hosts round what they
// send (Ardour gives the beat to its tick, 1/1920 of a beat, as a float, in every
// block), and following each rounding would jolt the tempo-locked sweeps a little at
// every block. 1/960 of a quarter note: half a millisecond at 120 BPM.
inline constexpr double kSamePlace = 1.0 / 960.0;

// The start of the bar `quarters` lies in, bars of `length` quarter notes counted from
// `origin`.
inline double barStart(double quarters, double origin, double length) {
    return origin + std::floor((quarters - origin) / length) * length;
}

// The transport as the host tells it: the last position given (the anchor) and the
// frames run since, answered to the effect as a VstTimeInfo with
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
    double barLength() const { return beatsPerBar * 4.0 / beatUnit; }
    // The anchor moved to where the transport is now.
    void rebase() {
        const double moved = quartersSince();
        if (hasBar && moved != 0.0) anchorBarStart = barStart(anchorQuarters + moved, anchorBarStart, barLength());
        anchorQuarters += moved;
        anchorFrame += framesSince();
        since = 0.0;
    }
    // What the effect is told when it asks for the time, during a piece.
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
            info.barStartPos = barStart(info.ppqPos, anchorBarStart, barLength());
            flags |= kVstBarsValid;
        }
        if (hasMeter) {
            // Rounded to the nearest whole (both are 1 or more), inline: this runs for
            // every piece.
            info.timeSigNumerator = static_cast<VstInt32>(beatsPerBar + 0.5);
            info.timeSigDenominator = static_cast<VstInt32>(beatUnit + 0.5);
            flags |= kVstTimeSigValid;
        }
        info.flags = flags;
    }
    // A message of the host's transport: what it gives replaces what the transport had.
    void take(const TransportGiven& g);
};

inline void HostTime::take(const TransportGiven& g) {
    HostTime& t = *this;
    t.rebase();
    // Where the transport is as counted, for a position that only goes on from there.
    const bool counting = t.known && t.playing && t.hasTempo && t.hasPosition;
    const double countedTempo = t.tempo, countedSpeed = t.speed, countedPerBar = t.beatsPerBar, countedUnit = t.beatUnit;
    const double countedQuarters = t.anchorQuarters, countedBarStart = t.anchorBarStart, countedFrame = t.anchorFrame;
    // Values no transport has are left out: the effect takes the tempo and the
    // position as floats, which must hold them.
    if (g.tempo && g.bpm > 0 && g.bpm <= kHighestTempo) t.tempo = g.bpm, t.hasTempo = true;
    if (g.perBar && g.beatsPerBar >= 1 && g.beatsPerBar <= kMostBeats) t.beatsPerBar = g.beatsPerBar, t.hasMeter = true;
    if (g.unit && g.beatUnit >= 1 && g.beatUnit <= kMostBeats) t.beatUnit = g.beatUnit, t.hasMeter = true;
    const double quarterPerBeat = 4.0 / t.beatUnit;
    if (g.barAndBeat) {
        t.anchorBarStart = g.bar * t.beatsPerBar * quarterPerBeat;
        t.anchorQuarters = t.anchorBarStart + g.barBeat * quarterPerBeat;
        t.hasPosition = true;
        t.hasBar = t.hasMeter;
    } else if (g.beat) {
        t.anchorQuarters = g.beatValue * quarterPerBeat;
        t.anchorBarStart = barStart(t.anchorQuarters, 0.0, t.beatsPerBar * quarterPerBeat);
        t.hasPosition = true;
        t.hasBar = t.hasMeter;
    } else if (g.quarters && std::isfinite(g.quarterValue) && std::isfinite(g.barStartValue)) {
        t.anchorQuarters = g.quarterValue;
        t.anchorBarStart = g.barStartValue;
        t.hasPosition = true;
        t.hasBar = t.hasMeter;
    }
    if (g.frame) t.anchorFrame = g.frameValue;
    if (g.speed && std::fabs(g.speedValue) <= kFastestSpeed) {
        const bool playing = g.speedValue != 0.0;
        if (playing != t.playing) t.changed = true;
        t.playing = playing;
        t.speed = g.speedValue;
    }
    // A position where the transport goes on as counted keeps the count.
    if (counting && t.playing && t.speed == countedSpeed && t.tempo == countedTempo && t.beatsPerBar == countedPerBar &&
        t.beatUnit == countedUnit && std::fabs(t.anchorQuarters - countedQuarters) <= kSamePlace &&
        std::fabs(t.anchorFrame - countedFrame) <= 0.5) {
        t.anchorQuarters = countedQuarters;
        t.anchorBarStart = countedBarStart;
        t.anchorFrame = countedFrame;
    }
    t.known = true;
}

// Frames `from` to `to` through `effect`, in pieces no longer than `longest` (its
// buffers), the effect asking for the time at the start of each; without audio (null)
// only the transport moves on. Audio thread.
inline void runPieces(AudioEffect& effect, HostTime& time, uint32_t longest, float* const* inputs,
                      float* const* outputs, uint32_t from, uint32_t to) {
    if (!inputs || !outputs) {
        time.since += to - from;
        return;
    }
    for (uint32_t done = from; done < to;) {
        const uint32_t count = std::min(to - done, longest);
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        effect.processReplacing(in, out, static_cast<VstInt32>(count));
        time.changed = false;
        time.since += count;
        done += count;
    }
}

// One channel message handed to `effect` now, as a host's list of one event: `size`
// bytes (1 to 3) from `bytes`. Audio thread, nothing allocated.
inline void handMidi(AudioEffectX& effect, const uint8_t* bytes, uint32_t size) {
    VstMidiEvent midi{};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof(VstMidiEvent);
    for (uint32_t i = 0; i < size && i < 3; ++i) midi.midiData[i] = static_cast<char>(bytes[i]);
    VstEvents list{};
    list.numEvents = 1;
    eventEntries(list)[0] = reinterpret_cast<VstEvent*>(&midi);
    effect.processEvents(&list);
}

}  // namespace orvex
