// The LV2 face, compiled once per plug-in (ORVEX_LV2_NAME: "panner" ..., ORVEX_LV2_CLASS:
// the LV2 plug-in class): one descriptor, urn:harmoxel:orvex:<name>, over the plug-in's
// effect without its editor. Ports: audio in left/right, audio out left/right, then one
// control input per parameter in table order, counted in the unit of the row's reading.
// The bundle's Turtle is written from the same table (lv2Describe, tools/lv2ttl).
#include "lv2face.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effectshell.h"
#include "reading.h"

#ifndef ORVEX_LV2_NAME
#error "ORVEX_LV2_NAME names the plug-in (cmake/OrvexPlugin.cmake)"
#endif
#ifndef ORVEX_LV2_CLASS
#error "ORVEX_LV2_CLASS gives its LV2 class (cmake/OrvexPlugin.cmake)"
#endif

namespace orvex {

namespace {

constexpr const char* kUri = "urn:harmoxel:orvex:" ORVEX_LV2_NAME;
constexpr uint32_t kFirstControl = 4;
// The block size the buffers are made for when the host states no maximum; longer runs
// are served in pieces by the shell.
constexpr int32_t kDefaultMaxBlock = 4096;
// The longest piece handed to the shell at once (its counts are 32-bit signed).
constexpr uint32_t kLongestCall = 1u << 30;

// The host callback the effect sees: a 2.4 host that offers nothing else (no time yet).
// Any thread.
VstIntPtr faceCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

const Reading& readingOf(const ParameterInfo& info) { return info.reading ? *info.reading : kPlainReading; }

struct Instance {
    std::unique_ptr<EffectShell> effect;
    float* audio[4] = {};
    std::vector<const float*> controls;  // null while unconnected
    // The last value read from each control port (compared bit for bit, so a NaN is
    // one value too); it starts as the unit value of what the effect holds, so a port
    // at the default is not converted back and forth.
    std::vector<uint32_t> seen;
};

// The maximum block length the host states through the options feature, or 0.
int32_t maxBlockOf(const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if (!(*f)->URI) continue;
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
        if (std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*f)->data);
    }
    if (!map || !map->map || !options) return 0;
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
    try {
        auto instance = std::make_unique<Instance>();
        instance->effect.reset(createEffectWithoutEditor(faceCallback));
        if (!instance->effect) return nullptr;
        EffectShell& effect = *instance->effect;
        const int32_t maxBlock = maxBlockOf(features);
        effect.setSampleRate(static_cast<float>(rate));
        effect.setBlockSize(maxBlock > 0 ? maxBlock : kDefaultMaxBlock);
        const int params = effect.numParams();
        instance->controls.assign(static_cast<std::size_t>(params), nullptr);
        instance->seen.resize(static_cast<std::size_t>(params));
        for (int p = 0; p < params; ++p)
            instance->seen[p] = std::bit_cast<uint32_t>(unitOfValue(readingOf(effect.parameterInfo(p)), effect.getParameter(p)));
        return instance.release();
    } catch (...) {
        return nullptr;
    }
}

// Any thread but never during run.
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* instance = static_cast<Instance*>(handle);
    if (port < kFirstControl) {
        instance->audio[port] = static_cast<float*>(data);
        return;
    }
    if (port - kFirstControl < instance->controls.size())
        instance->controls[port - kFirstControl] = static_cast<const float*>(data);
}

// Host's loading thread, never during run.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->effect->resume(); }
void deactivate(LV2_Handle handle) { static_cast<Instance*>(handle)->effect->suspend(); }
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// Audio thread: no allocation, no lock.
void run(LV2_Handle handle, uint32_t frames) {
    Instance& instance = *static_cast<Instance*>(handle);
    EffectShell& effect = *instance.effect;
    for (std::size_t p = 0; p < instance.controls.size(); ++p) {
        const float* port = instance.controls[p];
        if (!port) continue;
        const float unitValue = *port;
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == instance.seen[p]) continue;
        instance.seen[p] = bits;
        const int index = static_cast<int>(p);
        effect.setParameter(index, valueOfUnit(readingOf(effect.parameterInfo(index)), unitValue));
    }
    if (frames == 0) return;
    float* inputs[2] = {instance.audio[0], instance.audio[1]};
    float* outputs[2] = {instance.audio[2], instance.audio[3]};
    if (!inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) {
        // Nothing to read or nowhere to write: silence on whichever output there is.
        for (float* out : outputs)
            if (out) std::fill(out, out + frames, 0.0f);
        return;
    }
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(frames - done, kLongestCall);
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        effect.processReplacing(in, out, static_cast<VstInt32>(count));
        done += count;
    }
}

// Turtle ---------------------------------------------------------------------------

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A Turtle string literal's contents.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

// A float as a Turtle number that reads back as the same float.
std::string number(float value) {
    if (!std::isfinite(value)) value = 0.0f;
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

// Port symbols from the parameter names: lower case, anything but letters and digits
// as `_`, a leading digit behind `_`; a symbol taken already gets _2, _3 ...
std::vector<std::string> controlSymbols(const EffectShell& effect) {
    std::vector<std::string> taken = {"in_l", "in_r", "out_l", "out_r"};
    std::vector<std::string> symbols;
    for (int p = 0; p < effect.numParams(); ++p) {
        std::string base;
        for (char c : trimmed(effect.parameterInfo(p).name)) {
            const unsigned char u = static_cast<unsigned char>(c);
            base += (u < 128 && std::isalnum(u)) ? static_cast<char>(std::tolower(u)) : '_';
        }
        if (base.empty() || std::isdigit(static_cast<unsigned char>(base[0]))) base = "_" + base;
        std::string symbol = base;
        for (int n = 2; std::find(taken.begin(), taken.end(), symbol) != taken.end(); ++n)
            symbol = base + "_" + std::to_string(n);
        taken.push_back(symbol);
        symbols.push_back(symbol);
    }
    return symbols;
}

// The LV2 units: term of a unit, or null.
const char* unitTerm(const std::string& unit) {
    static const char* const kTerms[][2] = {{"Hz", "hz"}, {"%", "pc"}, {"BPM", "bpm"},
                                            {"dB", "db"}, {"s", "s"},  {"ms", "ms"}};
    for (const auto& t : kTerms)
        if (unit == t[0]) return t[1];
    return nullptr;
}

bool writeManifest(std::FILE* out, const char* binaryFile) {
    std::fprintf(out,
                 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
                 "<%s>\n"
                 "    a lv2:Plugin ;\n"
                 "    lv2:binary <%s> ;\n"
                 "    rdfs:seeAlso <%s.ttl> .\n",
                 kUri, binaryFile, ORVEX_LV2_NAME);
    return std::ferror(out) == 0;
}

void writeControlPort(std::FILE* out, const ParameterInfo& info, uint32_t index, const std::string& symbol) {
    const Reading& r = readingOf(info);
    float low = r.minimum, high = r.maximum;
    if (r.kind == Reading::kToggle) low = 0.0f, high = 1.0f;
    if (r.kind == Reading::kChoice) low = 0.0f, high = static_cast<float>(std::max<std::size_t>(r.values.size(), 1) - 1);
    if (low > high) std::swap(low, high);
    std::fprintf(out,
                 " , [\n"
                 "        a lv2:InputPort, lv2:ControlPort ;\n"
                 "        lv2:index %u ;\n"
                 "        lv2:symbol \"%s\" ;\n"
                 "        lv2:name \"%s\" ;\n"
                 "        lv2:default %s ;\n"
                 "        lv2:minimum %s ;\n"
                 "        lv2:maximum %s",
                 index, symbol.c_str(), escaped(trimmed(info.name)).c_str(),
                 number(unitOfValue(r, info.defaultValue)).c_str(), number(low).c_str(), number(high).c_str());
    switch (r.kind) {
        case Reading::kToggle: std::fprintf(out, " ;\n        lv2:portProperty lv2:toggled"); break;
        case Reading::kLogarithmic: std::fprintf(out, " ;\n        lv2:portProperty pprops:logarithmic"); break;
        case Reading::kChoice:
            std::fprintf(out, " ;\n        lv2:portProperty lv2:enumeration, lv2:integer");
            for (std::size_t e = 0; e < r.entries.size() && e < r.values.size(); ++e)
                std::fprintf(out, " ;\n        lv2:scalePoint [ rdfs:label \"%s\" ; rdf:value %zu.0 ]",
                             escaped(trimmed(r.entries[e])).c_str(), e);
            break;
        case Reading::kContinuous: break;
    }
    const std::string unit = trimmed(r.unit);
    if (const char* term = unitTerm(unit)) {
        std::fprintf(out, " ;\n        units:unit units:%s", term);
    } else if (!unit.empty()) {
        const std::string u = escaped(unit);
        std::fprintf(out,
                     " ;\n        units:unit [ a units:Unit ; rdfs:label \"%s\" ; units:symbol \"%s\" ;"
                     " units:render \"%%f %s\" ]",
                     u.c_str(), u.c_str(), u.c_str());
    }
    std::fprintf(out, "\n    ]");
}

bool writePlugin(std::FILE* out) {
    std::unique_ptr<EffectShell> effect;
    try {
        effect.reset(createEffectWithoutEditor(faceCallback));
    } catch (...) {
        return false;
    }
    if (!effect) return false;
    std::fprintf(out,
                 "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                 "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                 "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                 "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                 "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                 "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n"
                 "<%s>\n"
                 "    a lv2:Plugin, lv2:%s ;\n"
                 "    doap:name \"%s\" ;\n"
                 "    lv2:project <urn:harmoxel:orvex> ;\n"
                 "    lv2:optionalFeature lv2:hardRTCapable, opts:options, urid:map ;\n"
                 "    lv2:port [\n"
                 "        a lv2:InputPort, lv2:AudioPort ; lv2:index 0 ; lv2:symbol \"in_l\" ; lv2:name \"Left input\"\n"
                 "    ] , [\n"
                 "        a lv2:InputPort, lv2:AudioPort ; lv2:index 1 ; lv2:symbol \"in_r\" ; lv2:name \"Right input\"\n"
                 "    ] , [\n"
                 "        a lv2:OutputPort, lv2:AudioPort ; lv2:index 2 ; lv2:symbol \"out_l\" ; lv2:name \"Left output\"\n"
                 "    ] , [\n"
                 "        a lv2:OutputPort, lv2:AudioPort ; lv2:index 3 ; lv2:symbol \"out_r\" ; lv2:name \"Right output\"\n"
                 "    ]",
                 kUri, ORVEX_LV2_CLASS, escaped(effect->effectIdentity().effectName).c_str());
    const std::vector<std::string> symbols = controlSymbols(*effect);
    for (int p = 0; p < effect->numParams(); ++p)
        writeControlPort(out, effect->parameterInfo(p), kFirstControl + static_cast<uint32_t>(p), symbols[p]);
    std::fprintf(out,
                 " .\n\n"
                 "<urn:harmoxel:orvex>\n"
                 "    a doap:Project ;\n"
                 "    doap:name \"Orvex\" ;\n"
                 "    doap:maintainer [ a foaf:Person ; foaf:name \"%s\" ] .\n",
                 kVendorName);
    return std::ferror(out) == 0;
}

const Lv2Describe kDescribe{ORVEX_LV2_NAME, ORVEX_LV2_NAME ".ttl", writeManifest, writePlugin};

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, kLv2DescribeUri) == 0 ? &kDescribe : nullptr;
}

const LV2_Descriptor kDescriptor{kUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};

}  // namespace

}  // namespace orvex

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orvex::kDescriptor : nullptr;
}
