// The LV2 face of a plug-in: the same effect the VST 2.x entry makes, without its
// editor, behind one LV2 descriptor (host/lv2face.cpp), and the private interface the
// bundle's Turtle is written from at build time (tools/lv2ttl).
#pragma once

#include <cstdio>

#include "audioeffect.h"

namespace orvex {

class EffectShell;

// Defined once per plug-in beside createEffectInstance: its effect without an editor.
// May throw; the face turns a failure into no instance.
EffectShell* createEffectWithoutEditor(audioMasterCallback audioMaster);

// What `extension_data(kLv2DescribeUri)` of our descriptor returns: the writers of the
// bundle's two Turtle files, reading the plug-in's own table. Build time only (any
// thread, no instance needed); each returns false when it could not write.
inline constexpr const char* kLv2DescribeUri = "urn:harmoxel:orvex#describe";

struct Lv2Describe {
    const char* name;          // the plug-in's short name: "panner", "filter" ...
    const char* turtleFile;    // the description's file name in the bundle: "panner.ttl"
    bool (*writeManifest)(std::FILE* out, const char* binaryFile);
    bool (*writePlugin)(std::FILE* out);
};

}  // namespace orvex
