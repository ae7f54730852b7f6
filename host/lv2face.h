// The LV2 face of a plug-in: the same effect the VST 2.x entry makes, without its
// editor, behind one LV2 descriptor (host/lv2face.cpp), and the private interface the
// bundle's Turtle is written from at build time (tools/lv2ttl).
#pragma once

#include <cstdio>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "audioeffect.h"
#include "effectshell.h"

namespace orvex {

// Defined once per plug-in beside createEffectInstance: its effect without an editor.
// May throw; the face turns a failure into no instance.
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster);

// What `extension_data(kLv2DescribeUri)` of our descriptor returns: the writers of the
// bundle's three Turtle files (the manifest, the plug-in, its presets), reading the
// plug-in's own table and programs. Build time only (any thread, no instance needed);
// each returns false when it could not write.
inline constexpr const char* kLv2DescribeUri = "urn:harmoxel:orvex#describe";

struct Lv2Describe {
    const char* name;          // the plug-in's short name: "panner", "filter" ...
    const char* turtleFile;    // the description's file name in the bundle: "panner.ttl"
    bool (*writeManifest)(std::FILE* out, const char* binaryFile);
    bool (*writePlugin)(std::FILE* out);
    const char* presetsFile;   // "presets.ttl"
    bool (*writePresets)(std::FILE* out);
};

// The bundle's writers (host/lv2describe.cpp), handed out by the face's extension_data.
extern const Lv2Describe kLv2Describe;

// What the face and the description share: the ports before the controls (audio in
// left and right, out left and right), the host callback the effect is made with, and
// a row's reading.
inline constexpr uint32_t kLv2FirstControl = 4;
// The atom inputs, after the controls in this order: the host's MIDI, and its
// transport. Two ports, because hosts hand a port what it says it supports and no more
// (Ardour gives a port that takes MIDI only the track's MIDI); a host that sends the
// transport on the first is followed as well. A host may connect either, both or none.
struct Lv2AtomInput {
    const char* symbol;
    const char* name;
    const char* supports;  // the Turtle's atom:supports
    bool midi;             // whether MIDI events on it are heard
};
inline constexpr Lv2AtomInput kLv2AtomInputs[] = {
    {"events", "MIDI", "midi:MidiEvent", true},
    {"transport", "Transport", "time:Position", false},
};
inline constexpr std::size_t kLv2AtomInputCount = std::size(kLv2AtomInputs);
VstIntPtr lv2FaceCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
// The control ports' symbols, in parameter order (host/lv2describe.cpp): the Turtle's,
// and the keys of the saved state. Allocates: never on the audio thread.
std::vector<std::string> controlSymbols(const EffectShell& effect);

#ifdef ORVEX_LV2_NAME
#define ORVEX_LV2_URI "urn:harmoxel:orvex:" ORVEX_LV2_NAME
#endif

}  // namespace orvex
