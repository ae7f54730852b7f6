// The bundle's Turtle, written from the plug-in's own table at build time (through
// the describe interface of host/lv2face.h, run by tools/lv2ttl): the manifest, the
// plug-in's description with one control port per parameter in the unit of its reading
// and its X11 UI (host/lv2ui.cpp), and its presets, from the programs that differ.
// Compiled once per plug-in beside the face (ORVEX_LV2_NAME, ORVEX_LV2_CLASS).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lv2face.h"
#include "lv2ui.h"

#ifndef ORVEX_LV2_NAME
#error "ORVEX_LV2_NAME names the plug-in (cmake/OrvexPlugin.cmake)"
#endif
#ifndef ORVEX_LV2_CLASS
#error "ORVEX_LV2_CLASS gives its LV2 class (cmake/OrvexPlugin.cmake)"
#endif

namespace orvex {

namespace {

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

}  // namespace

// Port symbols from the parameter names: lower case, anything but letters and digits
// as `_`, a leading digit behind `_`; a symbol taken already gets _2, _3 ...
std::vector<std::string> controlSymbols(const EffectShell& effect) {
    std::vector<std::string> taken = {"in_l", "in_r", "out_l", "out_r"};
    for (const Lv2AtomInput& input : kLv2AtomInputs) taken.push_back(input.symbol);
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

namespace {

// The LV2 units: term of a unit, or null.
const char* unitTerm(const std::string& unit) {
    static const char* const kTerms[][2] = {{"Hz", "hz"}, {"%", "pc"}, {"BPM", "bpm"},
                                            {"dB", "db"}, {"s", "s"},  {"ms", "ms"}};
    for (const auto& t : kTerms)
        if (unit == t[0]) return t[1];
    return nullptr;
}

std::unique_ptr<EffectShell> makeEffect() {
    try {
        return std::unique_ptr<EffectShell>(createEffectWithoutEditor(lv2FaceCallback));
    } catch (...) {
        return nullptr;
    }
}

// A preset: a program's name and its values.
struct Preset {
    std::string uri;
    std::string name;
    std::vector<float> values;
};

// The programs that differ: the first one holding the defaults ("Basic"), then each
// factory program, each taken from a fresh effect after setProgram, as a VST 2.x host
// loading it hears it (the phaser's link, on in every program, has copied the left
// values over the right ones). Empty when the effect cannot be made.
std::vector<Preset> presetsOf() {
    std::unique_ptr<EffectShell> effect = makeEffect();
    if (!effect) return {};
    const EffectIdentity& identity = effect->effectIdentity();
    auto isFactory = [&](int program) {
        return std::any_of(identity.factoryPrograms.begin(), identity.factoryPrograms.end(),
                           [&](const FactoryProgram& f) { return f.program == program; });
    };
    std::vector<int> programs;
    for (int p = 0; p < identity.numPrograms; ++p)
        if (!isFactory(p)) {
            programs.push_back(p);
            break;
        }
    for (const FactoryProgram& f : identity.factoryPrograms)
        if (f.program >= 0 && f.program < identity.numPrograms) programs.push_back(f.program);
    std::vector<Preset> presets;
    for (int program : programs) {
        std::unique_ptr<EffectShell> loaded = makeEffect();
        if (!loaded) return {};
        loaded->setProgram(program);
        char name[kVstMaxProgNameLen + 1] = {};
        loaded->getProgramNameIndexed(0, program, name);
        Preset preset{std::string(ORVEX_LV2_URI ":preset:") + std::to_string(program), trimmed(name), {}};
        for (int p = 0; p < loaded->numParams(); ++p) preset.values.push_back(loaded->getParameter(p));
        presets.push_back(std::move(preset));
    }
    return presets;
}

bool writeManifest(std::FILE* out, const char* binaryFile) {
    const std::vector<Preset> presets = presetsOf();
    if (presets.empty()) return false;
    std::fprintf(out,
                 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                 "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n"
                 "<%s>\n"
                 "    a lv2:Plugin ;\n"
                 "    lv2:binary <%s> ;\n"
                 "    rdfs:seeAlso <%s.ttl> .\n\n"
                 "<%s>\n"
                 "    a ui:X11UI ;\n"
                 "    lv2:binary <%s> ;\n"
                 "    rdfs:seeAlso <%s.ttl> .\n",
                 ORVEX_LV2_URI, binaryFile, ORVEX_LV2_NAME, ORVEX_LV2_UI_URI, binaryFile, ORVEX_LV2_NAME);
    for (const Preset& preset : presets)
        std::fprintf(out,
                     "\n<%s>\n"
                     "    a pset:Preset ;\n"
                     "    lv2:appliesTo <%s> ;\n"
                     "    rdfs:seeAlso <%s> .\n",
                     preset.uri.c_str(), ORVEX_LV2_URI, kLv2Describe.presetsFile);
    return std::ferror(out) == 0;
}

// The presets: each control port's symbol and its value in the unit of its reading.
bool writePresets(std::FILE* out) {
    std::unique_ptr<EffectShell> effect = makeEffect();
    const std::vector<Preset> presets = presetsOf();
    if (!effect || presets.empty()) return false;
    const std::vector<std::string> symbols = controlSymbols(*effect);
    std::fprintf(out,
                 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n");
    for (const Preset& preset : presets) {
        std::fprintf(out,
                     "\n<%s>\n"
                     "    a pset:Preset ;\n"
                     "    lv2:appliesTo <%s> ;\n"
                     "    rdfs:label \"%s\" ;\n"
                     "    lv2:port",
                     preset.uri.c_str(), ORVEX_LV2_URI, escaped(preset.name).c_str());
        for (int p = 0; p < effect->numParams(); ++p)
            std::fprintf(out, "%s [\n        lv2:symbol \"%s\" ;\n        pset:value %s\n    ]", p ? " ," : "",
                         symbols[p].c_str(), number(unitOfValue(readingOf(effect->parameterInfo(p)), preset.values[p])).c_str());
        std::fprintf(out, " .\n");
    }
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
    std::unique_ptr<EffectShell> effect = makeEffect();
    if (!effect) return false;
    std::fprintf(out,
                 "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                 "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                 "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                 "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                 "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                 "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                 "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                 "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                 "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
                 "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
                 "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                 "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n"
                 "<%s>\n"
                 "    a lv2:Plugin, lv2:%s ;\n"
                 "    doap:name \"%s\" ;\n"
                 "    lv2:project <urn:harmoxel:orvex> ;\n"
                 "    lv2:optionalFeature lv2:hardRTCapable, opts:options, urid:map ;\n"
                 "    lv2:extensionData state:interface ;\n"
                 "    ui:ui <%s> ;\n"
                 "    lv2:port [\n"
                 "        a lv2:InputPort, lv2:AudioPort ; lv2:index 0 ; lv2:symbol \"in_l\" ; lv2:name \"Left input\"\n"
                 "    ] , [\n"
                 "        a lv2:InputPort, lv2:AudioPort ; lv2:index 1 ; lv2:symbol \"in_r\" ; lv2:name \"Right input\"\n"
                 "    ] , [\n"
                 "        a lv2:OutputPort, lv2:AudioPort ; lv2:index 2 ; lv2:symbol \"out_l\" ; lv2:name \"Left output\"\n"
                 "    ] , [\n"
                 "        a lv2:OutputPort, lv2:AudioPort ; lv2:index 3 ; lv2:symbol \"out_r\" ; lv2:name \"Right output\"\n"
                 "    ]",
                 ORVEX_LV2_URI, ORVEX_LV2_CLASS, escaped(effect->effectIdentity().effectName).c_str(), ORVEX_LV2_UI_URI);
    const std::vector<std::string> symbols = controlSymbols(*effect);
    for (int p = 0; p < effect->numParams(); ++p)
        writeControlPort(out, effect->parameterInfo(p), kLv2FirstControl + static_cast<uint32_t>(p), symbols[p]);
    // The host's transport and MIDI, after the controls; the plug-in runs as well
    // without them connected.
    uint32_t index = kLv2FirstControl + static_cast<uint32_t>(effect->numParams());
    for (const Lv2AtomInput& input : kLv2AtomInputs)
        std::fprintf(out,
                     " , [\n"
                     "        a lv2:InputPort, atom:AtomPort ;\n"
                     "        atom:bufferType atom:Sequence ;\n"
                     "        atom:supports %s ;\n"
                     "        lv2:portProperty lv2:connectionOptional ;\n"
                     "        lv2:index %u ;\n"
                     "        lv2:symbol \"%s\" ;\n"
                     "        lv2:name \"%s\"\n"
                     "    ]",
                     input.supports, index++, input.symbol, input.name);
    // The editor in the host's window: it needs the window and the idle calls; it
    // cannot be resized, and takes the host's gestures and scale where offered.
    std::fprintf(out,
                 " .\n\n"
                 "<%s>\n"
                 "    a ui:X11UI ;\n"
                 "    lv2:requiredFeature ui:idleInterface, ui:parent ;\n"
                 "    lv2:optionalFeature ui:noUserResize, ui:resize, ui:touch, opts:options, urid:map ;\n"
                 "    lv2:extensionData ui:idleInterface ;\n"
                 "    opts:supportedOption ui:scaleFactor",
                 ORVEX_LV2_UI_URI);
    std::fprintf(out,
                 " .\n\n"
                 "<urn:harmoxel:orvex>\n"
                 "    a doap:Project ;\n"
                 "    doap:name \"Orvex\" ;\n"
                 "    doap:maintainer [ a foaf:Person ; foaf:name \"%s\" ] .\n",
                 kVendorName);
    return std::ferror(out) == 0;
}

}  // namespace

const Lv2Describe kLv2Describe{ORVEX_LV2_NAME, ORVEX_LV2_NAME ".ttl", writeManifest, writePlugin, "presets.ttl", writePresets};

}  // namespace orvex
