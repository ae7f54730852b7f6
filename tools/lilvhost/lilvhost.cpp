#include "lilvhost.h"

#include <dlfcn.h>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace orvex::lilvhost {

namespace {

// The room for one run's events: a position and a full MIDI queue fit many times over.
constexpr std::size_t kSequenceBytes = 16384;
// An atom output's room when the plug-in states no minimum.
constexpr std::size_t kAtomOutBytes = 16384;

constexpr const char* kSideChain = LV2_CORE_PREFIX "isSideChain";

// What this host offers; a plug-in that requires anything else is refused.
// inPlaceBroken is a promise the host keeps anyway: its inputs and outputs never share
// a buffer.
const std::set<std::string, std::less<>>& offered() {
    static const std::set<std::string, std::less<>> features = {
        LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options, LV2_BUF_SIZE__boundedBlockLength,
        LV2_CORE__inPlaceBroken, LV2_CORE__isLive, LV2_CORE__hardRTCapable};
    return features;
}

// Owns one node made with lilv_new_*.
struct Node {
    LilvNode* node;
    explicit Node(LilvNode* n) : node(n) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    operator const LilvNode*() const { return node; }
};

constexpr const char* kDoap = "http://usefulinc.com/ns/doap#";
constexpr const char* kFoafName = "http://xmlns.com/foaf/0.1/name";
constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";

// A node's text, or "" for none; frees the node.
std::string text(LilvNode* node) {
    std::string value = node && (lilv_node_is_string(node) || lilv_node_is_uri(node)) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return value;
}

// The symbols of the units vocabulary, for when its own description (units.lv2) is
// not among the bundles searched.
std::string unitSymbol(const std::string& uri) {
    static const std::pair<const char*, const char*> known[] = {
        {"bar", "bars"}, {"beat", "beats"}, {"bpm", "BPM"},   {"cent", "ct"},  {"cm", "cm"},   {"coef", ""},
        {"db", "dB"},    {"degree", "deg"}, {"frame", "frames"}, {"hz", "Hz"}, {"inch", "in"}, {"khz", "kHz"},
        {"km", "km"},    {"m", "m"},        {"mhz", "MHz"},   {"midiNote", "note"}, {"mile", "mi"}, {"min", "min"},
        {"mm", "mm"},    {"ms", "ms"},      {"oct", "oct"},   {"pc", "%"},     {"s", "s"},     {"semitone12TET", "semi"}};
    const std::string prefix = LV2_UNITS_PREFIX;
    if (uri.compare(0, prefix.size(), prefix) != 0) return {};
    const std::string term = uri.substr(prefix.size());
    for (const auto& [name, symbol] : known)
        if (term == name) return symbol;
    return term;
}

// URIs with their numbers compared as numbers: "preset:2" before "preset:10".
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            const auto za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
            const std::string ta = za == std::string::npos ? "" : na.substr(za);
            const std::string tb = zb == std::string::npos ? "" : nb.substr(zb);
            if (ta.size() != tb.size()) return ta.size() < tb.size();
            if (ta != tb) return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The maintainer's name, the project's maintainer's, else the project's name.
std::string vendorOf(LilvWorld* w, const LilvPlugin* plugin) {
    if (std::string author = text(lilv_plugin_get_author_name(plugin)); !author.empty()) return author;
    LilvNode* project = lilv_plugin_get_project(plugin);
    if (!project) return {};
    Node maintainer(lilv_new_uri(w, (std::string(kDoap) + "maintainer").c_str()));
    Node foafName(lilv_new_uri(w, kFoafName)), doapName(lilv_new_uri(w, (std::string(kDoap) + "name").c_str()));
    std::string name;
    if (LilvNode* who = lilv_world_get(w, project, maintainer, nullptr)) {
        name = text(lilv_world_get(w, who, foafName, nullptr));
        lilv_node_free(who);
    }
    if (name.empty()) name = text(lilv_world_get(w, project, doapName, nullptr));
    lilv_node_free(project);
    return name;
}

}  // namespace

std::string hostSearchPath() {
    if (const char* path = std::getenv("LV2_PATH"); path && *path) return path;
    const char* home = std::getenv("HOME");
    return (home && *home ? std::string(home) + "/.lv2:" : std::string()) + "/usr/local/lib/lv2:/usr/lib/lv2";
}

// URIDs ------------------------------------------------------------------------------

UridMap::UridMap() {
    mapData.handle = this;
    mapData.map = [](LV2_URID_Map_Handle handle, const char* uri) { return static_cast<UridMap*>(handle)->map(uri); };
    unmapData.handle = this;
    unmapData.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
        return static_cast<UridMap*>(handle)->unmap(urid);
    };
}

LV2_URID UridMap::map(const char* uri) {
    if (!uri) return 0;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = ids.find(std::string_view(uri));
    if (found != ids.end()) return found->second;
    const auto id = static_cast<LV2_URID>(uris.size() + 1);
    auto inserted = ids.emplace(uri, id).first;
    uris.push_back(&inserted->first);
    return id;
}

const char* UridMap::unmap(LV2_URID urid) {
    std::lock_guard<std::mutex> lock(mutex);
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1]->c_str() : nullptr;
}

// The world ----------------------------------------------------------------------------

World::World(const std::string& path) : searchPath(path), world(lilv_world_new()) {
    // lilv takes absolute folders only (a relative one ends in a crash inside it): a
    // relative one, as a user may put in LV2_PATH, counts from the working folder.
    std::string absolute;
    for (std::size_t from = 0; from <= path.size();) {
        std::size_t to = path.find(':', from);
        if (to == std::string::npos) to = path.size();
        const std::string folder = path.substr(from, to - from);
        if (!folder.empty()) {
            std::error_code error;
            const std::filesystem::path made = std::filesystem::absolute(folder, error);
            absolute += (absolute.empty() ? "" : ":") + (error ? folder : made.string());
        }
        from = to + 1;
    }
    Node lv2Path(lilv_new_string(world, absolute.c_str()));
    lilv_world_set_option(world, LILV_OPTION_LV2_PATH, lv2Path);
    lilv_world_load_all(world);
    auto m = [this](const char* uri) { return uridMap.map(uri); };
    host = {m(LV2_ATOM__Int),          m(LV2_ATOM__Long),
            m(LV2_ATOM__Float),        m(LV2_ATOM__Double),
            m(LV2_ATOM__Sequence),     m(LV2_ATOM__Chunk),
            m(LV2_ATOM__frameTime),    m(LV2_MIDI__MidiEvent),
            m(LV2_TIME__Position),     m(LV2_TIME__frame),
            m(LV2_TIME__speed),        m(LV2_TIME__bar),
            m(LV2_TIME__barBeat),      m(LV2_TIME__beatUnit),
            m(LV2_TIME__beatsPerBar),  m(LV2_TIME__beatsPerMinute),
            m(LV2_BUF_SIZE__nominalBlockLength), m(LV2_BUF_SIZE__maxBlockLength),
            m(LV2_BUF_SIZE__minBlockLength),     m(LV2_PARAMETERS__sampleRate)};
}

World::~World() { lilv_world_free(world); }

std::vector<Description> World::describeAll() const {
    Node presetClass(lilv_new_uri(world, LV2_PRESETS__Preset));
    Node inputClass(lilv_new_uri(world, LV2_CORE__InputPort)), controlClass(lilv_new_uri(world, LV2_CORE__ControlPort));
    std::vector<Description> all;
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    LILV_FOREACH(plugins, i, plugins) {
        const LilvPlugin* p = lilv_plugins_get(plugins, i);
        Description d;
        d.uri = lilv_node_as_uri(lilv_plugin_get_uri(p));
        d.name = text(lilv_plugin_get_name(p));
        d.vendor = vendorOf(world, p);
        d.controls = static_cast<int>(lilv_plugin_get_num_ports_of_class(p, inputClass.node, controlClass.node, nullptr));
        LilvNodes* presets = lilv_plugin_get_related(p, presetClass);
        d.presets = presets ? static_cast<int>(lilv_nodes_size(presets)) : 0;
        lilv_nodes_free(presets);
        all.push_back(std::move(d));
    }
    std::sort(all.begin(), all.end(), [](const Description& a, const Description& b) { return a.uri < b.uri; });
    return all;
}

const LilvPlugin* World::find(const std::string& uri) const {
    Node node(lilv_new_uri(world, uri.c_str()));
    return lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
}

// Loading --------------------------------------------------------------------------

LoadResult Plugin::load(const std::string& path, const std::string& uri, const HostOptions& options) {
    return load(std::make_shared<World>(path), uri, options);
}

LoadResult Plugin::load(std::shared_ptr<World> world, const std::string& uri, const HostOptions& options) {
    LoadResult result;
    const LilvPlugin* plugin = world->find(uri);
    if (!plugin) {
        result.error = "no LV2 plug-in " + uri + " in " + world->path();
        return result;
    }
    std::unique_ptr<Plugin> p(new Plugin);
    p->world = std::move(world);
    p->pluginUri = uri;
    p->options = options;
    if (!p->prepare(plugin, result.error)) return result;
    result.plugin = std::move(p);
    return result;
}

bool Plugin::prepare(const LilvPlugin* plugin, std::string& error) {
    LilvWorld* w = world->get();
    const HostUrids& u = world->hostUrids();
    description = plugin;
    if (options.blockSize == 0 || !(options.sampleRate > 0)) {
        error = "a block size and a sample rate are needed";
        return false;
    }
    // Required features first: nothing is made for a plug-in this host cannot serve.
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    std::string missing;
    LILV_FOREACH(nodes, i, required) {
        const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
        if (!offered().count(std::string_view(feature))) missing += std::string(missing.empty() ? "" : ", ") + feature;
    }
    lilv_nodes_free(required);
    if (!missing.empty()) {
        error = pluginUri + " requires what this host does not offer: " + missing;
        return false;
    }

    // The ports, sorted by kind.
    Node audioClass(lilv_new_uri(w, LV2_CORE__AudioPort)), controlClass(lilv_new_uri(w, LV2_CORE__ControlPort));
    Node cvClass(lilv_new_uri(w, LV2_CORE__CVPort)), atomClass(lilv_new_uri(w, LV2_ATOM__AtomPort));
    Node inputClass(lilv_new_uri(w, LV2_CORE__InputPort)), outputClass(lilv_new_uri(w, LV2_CORE__OutputPort));
    Node optional(lilv_new_uri(w, LV2_CORE__connectionOptional)), sideChain(lilv_new_uri(w, kSideChain));
    Node minimumSize(lilv_new_uri(w, LV2_RESIZE_PORT__minimumSize));
    Node positionEvent(lilv_new_uri(w, LV2_TIME__Position)), midiEvent(lilv_new_uri(w, LV2_MIDI__MidiEvent));
    Node logarithmic(lilv_new_uri(w, LV2_PORT_PROPS__logarithmic)), toggled(lilv_new_uri(w, LV2_CORE__toggled));
    Node integer(lilv_new_uri(w, LV2_CORE__integer)), enumeration(lilv_new_uri(w, LV2_CORE__enumeration));
    Node unitOf(lilv_new_uri(w, LV2_UNITS__unit)), symbolOf(lilv_new_uri(w, LV2_UNITS__symbol));
    const uint32_t count = lilv_plugin_get_num_ports(plugin);
    std::vector<float> lows(count), highs(count), defaults(count);
    lilv_plugin_get_port_ranges_float(plugin, lows.data(), highs.data(), defaults.data());
    enum class Kind { mainIn, mainOut, extraAudio, controlIn, controlOut, atomIn, atomOut, none };
    std::vector<Kind> kinds(count, Kind::none);
    std::vector<int> takes(count, 0);  // of an atom input: what it supports (kTakes...)
    std::vector<std::size_t> atomOutBytes;
    std::size_t sequenceBytes = kSequenceBytes;
    for (uint32_t p = 0; p < count; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        const bool input = lilv_port_is_a(plugin, port, inputClass);
        const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        std::size_t atomBytes = 0;
        if (LilvNode* size = lilv_port_get(plugin, port, minimumSize)) {
            atomBytes = static_cast<std::size_t>(std::max(0, lilv_node_as_int(size)));
            lilv_node_free(size);
        }
        if (lilv_port_is_a(plugin, port, audioClass)) {
            const bool main = !lilv_port_has_property(plugin, port, sideChain);
            kinds[p] = input && main ? Kind::mainIn : !input && main ? Kind::mainOut : Kind::extraAudio;
        } else if (lilv_port_is_a(plugin, port, controlClass)) {
            kinds[p] = input ? Kind::controlIn : Kind::controlOut;
            if (input) {
                controlPorts.emplace(symbol, p);
                ControlInfo info;
                info.index = p;
                info.symbol = symbol;
                info.name = text(lilv_port_get_name(plugin, port));
                info.minimum = lows[p];
                info.maximum = highs[p];
                info.defaultValue = defaults[p];
                info.logarithmic = lilv_port_has_property(plugin, port, logarithmic);
                info.toggled = lilv_port_has_property(plugin, port, toggled);
                info.integer = lilv_port_has_property(plugin, port, integer);
                info.enumeration = lilv_port_has_property(plugin, port, enumeration);
                if (LilvNode* unit = lilv_port_get(plugin, port, unitOf)) {
                    // A term of the units vocabulary or a unit of the plug-in's own,
                    // either with its symbol.
                    LilvNode* shown = lilv_world_get(w, unit, symbolOf, nullptr);
                    info.unit = shown ? text(shown) : lilv_node_is_uri(unit) ? unitSymbol(lilv_node_as_uri(unit)) : "";
                    lilv_node_free(unit);
                }
                if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
                    LILV_FOREACH(scale_points, i, points) {
                        const LilvScalePoint* point = lilv_scale_points_get(points, i);
                        const LilvNode* value = lilv_scale_point_get_value(point);
                        const LilvNode* label = lilv_scale_point_get_label(point);
                        if (value && (lilv_node_is_float(value) || lilv_node_is_int(value)))
                            info.scalePoints.emplace_back(lilv_node_as_float(value),
                                                          label ? lilv_node_as_string(label) : "");
                    }
                    lilv_scale_points_free(points);
                    std::stable_sort(info.scalePoints.begin(), info.scalePoints.end(),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
                }
                controlInfo.push_back(std::move(info));
            }
        } else if (lilv_port_is_a(plugin, port, cvClass)) {
            kinds[p] = Kind::extraAudio;
        } else if (lilv_port_is_a(plugin, port, atomClass)) {
            kinds[p] = input ? Kind::atomIn : Kind::atomOut;
            if (input) {
                sequenceBytes = std::max(sequenceBytes, atomBytes);
                takes[p] = (lilv_port_supports_event(plugin, port, positionEvent) ? kTakesPosition : 0) |
                           (lilv_port_supports_event(plugin, port, midiEvent) ? kTakesMidi : 0);
                sequenceUsed[static_cast<std::size_t>(takes[p])] = true;
            } else {
                atomOutBytes.push_back(std::max(kAtomOutBytes, atomBytes));
            }
        } else if (!lilv_port_has_property(plugin, port, optional)) {
            error = pluginUri + ": port " + symbol + " is of a kind this host cannot connect";
            return false;
        }
        if (kinds[p] == Kind::mainIn) audioIns.push_back(p);
        if (kinds[p] == Kind::mainOut) audioOuts.push_back(p);
        if (kinds[p] == Kind::atomIn) ++eventInputs;
    }
    if (audioIns.empty() || audioIns.size() > 2 || audioOuts.size() < audioIns.size()) {
        error = pluginUri + " is neither a mono nor a stereo effect (" + std::to_string(audioIns.size()) + " inputs, " +
                std::to_string(audioOuts.size()) + " outputs)";
        return false;
    }
    const bool mono = audioIns.size() == 1;
    // The first output of each input channel is the channel's; the others (a band
    // splitter's bands) write into buffers of their own.
    outputsPerUnit = static_cast<int>(audioOuts.size());
    for (std::size_t o = audioIns.size(); o < audioOuts.size(); ++o) kinds[audioOuts[o]] = Kind::extraAudio;
    audioOuts.resize(audioIns.size());

    // The features: the block lengths and the rate as options, the URID map.
    UridMap& urids = world->urids();
    const auto block = static_cast<int32_t>(options.blockSize);
    blockLengths = {block, block, 1};
    rateValue = static_cast<float>(options.sampleRate);
    optionList = {
        {LV2_OPTIONS_INSTANCE, 0, u.nominalBlock, sizeof(int32_t), u.atomInt, &blockLengths[0]},
        {LV2_OPTIONS_INSTANCE, 0, u.maxBlock, sizeof(int32_t), u.atomInt, &blockLengths[1]},
        {LV2_OPTIONS_INSTANCE, 0, u.minBlock, sizeof(int32_t), u.atomInt, &blockLengths[2]},
        {LV2_OPTIONS_INSTANCE, 0, u.sampleRate, sizeof(float), u.atomFloat, &rateValue},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    featureData = {{LV2_URID__map, urids.mapFeature()},
                   {LV2_URID__unmap, urids.unmapFeature()},
                   {LV2_OPTIONS__options, optionList.data()},
                   {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
    for (const LV2_Feature& f : featureData) features.push_back(&f);
    features.push_back(nullptr);

    // The instances, every port connected: controls to their values, extra audio to
    // buffers of their own, atom inputs to the host's sequence.
    for (std::vector<uint64_t>& sequence : sequences) sequence.assign((sequenceBytes + 7) / 8, 0);
    lv2_atom_forge_init(&forge, urids.mapFeature());
    writeEvents(0);
    if (options.keepMapped) {
        const std::string binary = library();
        if (void* handle = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) dlclose(handle);
    }
    units.resize(mono ? 2 : 1);
    for (Unit& unit : units) {
        unit.instance = lilv_plugin_instantiate(plugin, options.sampleRate, features.data());
        if (!unit.instance) {
            error = pluginUri + " did not instantiate";
            return false;
        }
        unit.controls.assign(count, 0.0f);
        std::size_t atomOut = 0;
        for (uint32_t p = 0; p < count; ++p) {
            switch (kinds[p]) {
                case Kind::controlIn:
                    unit.controls[p] = std::isfinite(defaults[p]) ? defaults[p] : std::isfinite(lows[p]) ? lows[p] : 0.0f;
                    [[fallthrough]];
                case Kind::controlOut:
                    lilv_instance_connect_port(unit.instance, p, &unit.controls[p]);
                    break;
                case Kind::extraAudio:
                    unit.extraAudio.emplace_back(options.blockSize, 0.0f);
                    lilv_instance_connect_port(unit.instance, p, unit.extraAudio.back().data());
                    break;
                case Kind::atomIn:
                    lilv_instance_connect_port(unit.instance, p, sequences[static_cast<std::size_t>(takes[p])].data());
                    break;
                case Kind::atomOut:
                    unit.atomOuts.emplace_back((atomOutBytes[atomOut++] + 7) / 8, 0);
                    unit.atomOutPorts.push_back(p);
                    lilv_instance_connect_port(unit.instance, p, unit.atomOuts.back().data());
                    break;
                case Kind::none:  // optional and of no kind known here: left unconnected
                case Kind::mainIn:
                case Kind::mainOut:  // connected at every run
                    lilv_instance_connect_port(unit.instance, p, nullptr);
                    break;
            }
        }
    }
    activate();
    return true;
}

Plugin::~Plugin() {
    deactivate();
    for (Unit& unit : units)
        if (unit.instance) lilv_instance_free(unit.instance);
}

void Plugin::activate() {
    if (active) return;
    for (Unit& unit : units) lilv_instance_activate(unit.instance);
    active = true;
}

void Plugin::deactivate() {
    if (!active) return;
    for (Unit& unit : units)
        if (unit.instance) lilv_instance_deactivate(unit.instance);
    active = false;
}

std::string Plugin::name() const { return text(lilv_plugin_get_name(description)); }

std::string Plugin::vendor() const { return vendorOf(world->get(), description); }

std::string Plugin::library() const {
    const LilvNode* uri = lilv_plugin_get_library_uri(description);
    if (!uri) return {};
    char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
    std::string result = path ? path : lilv_node_as_uri(uri);
    lilv_free(path);
    return result;
}

int Plugin::numOutputs() const { return static_cast<int>(units.size()) * outputsPerUnit; }

// Settings ------------------------------------------------------------------------------

bool Plugin::setControl(const std::string& symbol, float value) {
    auto found = controlPorts.find(symbol);
    if (found == controlPorts.end()) return false;
    for (Unit& unit : units) unit.controls[found->second] = value;
    return true;
}

std::optional<float> Plugin::control(const std::string& symbol) const {
    auto found = controlPorts.find(symbol);
    if (found == controlPorts.end() || units.empty()) return std::nullopt;
    return units.front().controls[found->second];
}

void Plugin::setControlValue(std::size_t control, float value) {
    const uint32_t port = controlInfo[control].index;
    for (Unit& unit : units) unit.controls[port] = value;
}

float Plugin::controlValue(std::size_t control) const {
    return units.empty() ? 0.0f : units.front().controls[controlInfo[control].index];
}

// Presets and state -------------------------------------------------------------------

std::vector<PresetInfo> Plugin::presets() const {
    LilvWorld* w = world->get();
    Node presetClass(lilv_new_uri(w, LV2_PRESETS__Preset)), label(lilv_new_uri(w, kRdfsLabel));
    std::vector<PresetInfo> found;
    LilvNodes* related = lilv_plugin_get_related(description, presetClass);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(w, preset);
        found.push_back({lilv_node_as_uri(preset), text(lilv_world_get(w, preset, label, nullptr))});
    }
    lilv_nodes_free(related);
    std::sort(found.begin(), found.end(), [](const PresetInfo& a, const PresetInfo& b) { return naturalLess(a.uri, b.uri); });
    return found;
}

namespace {

// lilv hands port values to the host through these, by symbol.
void setPortValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
    auto* plugin = static_cast<Plugin*>(data);
    float number = 0.0f;
    const LV2_URID floatType = plugin->hostUridsForState().atomFloat, doubleType = plugin->hostUridsForState().atomDouble;
    const LV2_URID intType = plugin->hostUridsForState().atomInt;
    if (type == floatType && size == sizeof(float)) std::memcpy(&number, value, sizeof number);
    else if (type == doubleType && size == sizeof(double)) {
        double d;
        std::memcpy(&d, value, sizeof d);
        number = static_cast<float>(d);
    } else if (type == intType && size == sizeof(int32_t)) {
        int32_t n;
        std::memcpy(&n, value, sizeof n);
        number = static_cast<float>(n);
    } else {
        return;
    }
    plugin->setControl(symbol, number);
}

const void* getPortValue(const char* symbol, void* data, uint32_t* size, uint32_t* type) {
    auto* plugin = static_cast<Plugin*>(data);
    const float* value = plugin->controlAddress(symbol);
    if (!value) {
        *size = *type = 0;
        return nullptr;
    }
    *size = sizeof(float);
    *type = plugin->hostUridsForState().atomFloat;
    return value;
}

}  // namespace

const float* Plugin::controlAddress(const std::string& symbol) const {
    auto found = controlPorts.find(symbol);
    if (found == controlPorts.end() || units.empty()) return nullptr;
    return &units.front().controls[found->second];
}

bool Plugin::applyPreset(const std::string& uri, std::string* error) {
    LilvWorld* w = world->get();
    Node preset(lilv_new_uri(w, uri.c_str()));
    lilv_world_load_resource(w, preset);
    State state(lilv_state_new_from_world(w, world->urids().mapFeature(), preset));
    if (!state) {
        if (error) *error = "cannot read the preset " + uri;
        return false;
    }
    restoreState(state.get());
    return true;
}

bool Plugin::hasStateInterface() const {
    Node iface(lilv_new_uri(world->get(), LV2_STATE__interface));
    return lilv_plugin_has_extension_data(description, iface);
}

State Plugin::saveState() {
    if (units.empty()) return nullptr;
    return State(lilv_state_new_from_instance(description, units.front().instance, world->urids().mapFeature(), nullptr,
                                              nullptr, nullptr, nullptr, getPortValue, this,
                                              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data()));
}

void Plugin::restoreState(const LilvState* state) {
    // The port values once, then what the plug-in keeps itself into every instance.
    lilv_state_emit_port_values(state, setPortValue, this);
    for (Unit& unit : units) lilv_state_restore(state, unit.instance, nullptr, nullptr, 0, features.data());
}

std::vector<std::string> Plugin::controlSymbols() const {
    std::vector<std::string> symbols;
    for (const auto& [symbol, port] : controlPorts) symbols.push_back(symbol);
    return symbols;
}

// The position event is forged here, once per transport, and copied into every run's
// sequence with only the moving values (frame, bar, beat) patched: forging its
// fifteen atoms anew would cost a run of 32 frames about a fifth of what our plug-ins do.
void Plugin::setTransport(const Transport& t) {
    transport = t;
    positionPending = true;
    written = {};
    const HostUrids& u = world->hostUrids();
    LV2_Atom_Forge positionForge = forge;
    auto* bytes = reinterpret_cast<uint8_t*>(positionEvent.data());
    lv2_atom_forge_set_buffer(&positionForge, bytes, sizeof positionEvent);
    auto offset = [&](LV2_Atom_Forge_Ref ref) {
        return reinterpret_cast<uint8_t*>(ref) + sizeof(LV2_Atom) - bytes;
    };
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_frame_time(&positionForge, 0);
    lv2_atom_forge_object(&positionForge, &object, 0, u.position);
    lv2_atom_forge_key(&positionForge, u.frame);
    frameAt = offset(lv2_atom_forge_long(&positionForge, t.frame));
    lv2_atom_forge_key(&positionForge, u.speed);
    lv2_atom_forge_float(&positionForge, t.speed);
    lv2_atom_forge_key(&positionForge, u.bar);
    barAt = offset(lv2_atom_forge_long(&positionForge, 0));
    lv2_atom_forge_key(&positionForge, u.barBeat);
    barBeatAt = offset(lv2_atom_forge_float(&positionForge, 0.0f));
    lv2_atom_forge_key(&positionForge, u.beatUnit);
    lv2_atom_forge_int(&positionForge, t.beatUnit);
    lv2_atom_forge_key(&positionForge, u.beatsPerBar);
    lv2_atom_forge_float(&positionForge, static_cast<float>(t.beatsPerBar));
    lv2_atom_forge_key(&positionForge, u.beatsPerMinute);
    lv2_atom_forge_float(&positionForge, static_cast<float>(t.tempo));
    lv2_atom_forge_pop(&positionForge, &object);
    positionSize = positionForge.offset;
}

bool Plugin::queueMidi(const MidiMessage& message) {
    if (midiCount == kMaxMidi) return false;
    // After those at the same frame: messages at one frame keep their order.
    std::size_t at = midiCount;
    while (at > 0 && midi[at - 1].frame > message.frame) {
        midi[at] = midi[at - 1];
        --at;
    }
    midi[at] = message;
    ++midiCount;
    return true;
}

// Running (audio thread) ---------------------------------------------------------------

// The sequences the atom inputs read in the next run, each what its inputs support:
// the position at frame 0, then the queued messages. Written into the buffers made at
// loading; nothing is mapped.
void Plugin::writeEvents(uint32_t frames) {
    const bool telling = transport && (transport->everyRun || positionPending);
    if (telling) {
        // The moving values into the forged event.
        const Transport& t = *transport;
        const double bar = std::floor(t.beats / t.beatsPerBar);
        auto* bytes = reinterpret_cast<uint8_t*>(positionEvent.data());
        // A position beyond any bar number a 64-bit count holds (or not a number) is
        // told as bar 0 rather than cast out of range.
        const int64_t barValue = std::fabs(bar) < 9.0e18 ? static_cast<int64_t>(bar) : 0;
        const float barBeat = static_cast<float>(t.beats - bar * t.beatsPerBar);
        std::memcpy(bytes + frameAt, &t.frame, sizeof t.frame);
        std::memcpy(bytes + barAt, &barValue, sizeof barValue);
        std::memcpy(bytes + barBeatAt, &barBeat, sizeof barBeat);
    }
    for (std::size_t takes = 0; takes < sequences.size(); ++takes)
        if (sequenceUsed[takes])
            writeSequence(takes, (takes & kTakesPosition) && telling, (takes & kTakesMidi) && midiCount > 0, frames);
    positionPending = false;
    midiCount = 0;
}

// One sequence: what it held in the last run is left as it is (a plug-in does not
// write its inputs), so a sequence as empty as before is not written again, and one
// holding the position alone again gets only the position's moving values.
void Plugin::writeSequence(std::size_t takes, bool position, bool messages, uint32_t frames) {
    std::vector<uint64_t>& sequence = sequences[takes];
    Written& before = written[takes];
    const Written now{true, position, messages};
    if (!messages && before.valid && !before.messages && before.position == position) {
        if (position) {
            auto* event = reinterpret_cast<uint8_t*>(sequence.data()) + sizeof(LV2_Atom_Sequence);
            const auto* forged = reinterpret_cast<const uint8_t*>(positionEvent.data());
            for (std::ptrdiff_t at : {frameAt, barAt, barBeatAt}) std::memcpy(event + at, forged + at, 8);
        }
        return;
    }
    before = now;
    const HostUrids& u = world->hostUrids();
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(sequence.data()), sequence.size() * 8);
    lv2_atom_forge_sequence_head(&forge, &sequenceFrame, u.frameTime);
    if (position) lv2_atom_forge_write(&forge, positionEvent.data(), positionSize);
    const uint32_t last = frames > 0 ? frames - 1 : 0;
    for (std::size_t i = 0; messages && i < midiCount; ++i) {
        const uint8_t bytes[3] = {midi[i].status, midi[i].data1, midi[i].data2};
        // Channel messages are three bytes but program and channel pressure, two.
        const uint32_t size = (bytes[0] & 0xE0) == 0xC0 ? 2 : 3;
        lv2_atom_forge_frame_time(&forge, std::min(midi[i].frame, last));
        lv2_atom_forge_atom(&forge, size, u.midiEvent);
        lv2_atom_forge_write(&forge, bytes, size);
    }
    lv2_atom_forge_pop(&forge, &sequenceFrame);
}

void Plugin::run(const float* const* inputs, float* const* outputs, uint32_t frames) {
    frames = std::min(frames, options.blockSize);
    writeEvents(frames);
    const HostUrids& u = world->hostUrids();
    for (std::size_t i = 0; i < units.size(); ++i) {
        Unit& unit = units[i];
        // Atom outputs are handed over empty, their room stated, before every run.
        for (auto& words : unit.atomOuts) {
            auto* atom = reinterpret_cast<LV2_Atom*>(words.data());
            atom->size = static_cast<uint32_t>(words.size() * 8 - sizeof(LV2_Atom));
            atom->type = u.atomChunk;
        }
        // A mono unit takes its channel; a stereo one both.
        for (std::size_t a = 0; a < audioIns.size(); ++a)
            lilv_instance_connect_port(unit.instance, audioIns[a], const_cast<float*>(inputs[(i + a) % 2]));
        for (std::size_t o = 0; o < audioOuts.size(); ++o)
            lilv_instance_connect_port(unit.instance, audioOuts[o], outputs[(i + o) % 2]);
        lilv_instance_run(unit.instance, frames);
    }
    if (transport && transport->advance) {
        Transport& t = *transport;
        t.beats += static_cast<double>(frames) / options.sampleRate * t.tempo / 60.0 * t.speed;
        t.frame += static_cast<int64_t>(std::llround(static_cast<double>(frames) * t.speed));
    }
}

}  // namespace orvex::lilvhost
