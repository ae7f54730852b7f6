#include "vsthost.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace orvex::vsthost {

namespace {

// Which host instance a record belongs to. Plug-ins call back with their record, so
// the table is filled once the entry point has returned; during the entry point (the
// version query with a null record, the first time request from the constructor)
// the instance being loaded on this thread answers.
std::mutex registryMutex;
std::unordered_map<const AEffect*, Plugin*>& registry() {
    static std::unordered_map<const AEffect*, Plugin*> table;
    return table;
}
thread_local Plugin* loading = nullptr;

Plugin* hostFor(const AEffect* effect) {
    if (effect) {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto found = registry().find(effect);
        if (found != registry().end()) return found->second;
    }
    return loading;
}

void registerEffect(const AEffect* effect, Plugin* plugin) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[effect] = plugin;
}

void unregisterEffect(const AEffect* effect) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(effect);
}

CallbackHooks hooks;

// The callback handed to every plug-in; may run on any thread the plug-in calls from.
VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    struct Scope {
        Scope() {
            if (hooks.enter) hooks.enter();
        }
        ~Scope() {
            if (hooks.leave) hooks.leave();
        }
    } scope;
    if (Plugin* host = hostFor(effect)) return host->answer(opcode, index, value, ptr, opt);
    // A record we do not know: still a host, knowing nothing else.
    return opcode == audioMasterVersion ? HostOptions{}.version : 0;
}

// What this host can do for a plug-in, answered to audioMasterCanDo.
const char* const kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "sizeWindow"};

void copyBounded(char* dest, const std::string& src, std::size_t capacity) {
    if (!dest || capacity == 0) return;
    const std::size_t n = std::min(src.size(), capacity - 1);
    std::memcpy(dest, src.data(), n);
    dest[n] = 0;
}

// Text buffers far larger than the published limits: plug-ins overrun them.
constexpr std::size_t kTextBuffer = 512;

using EntryPoint = AEffect* (*)(audioMasterCallback);
const char* const kEntryNames[] = {"VSTPluginMain", "main_macho", "main"};

}  // namespace

void setCallbackHooks(const CallbackHooks& newHooks) { hooks = newHooks; }

// AudioBuffers ------------------------------------------------------------------

AudioBuffers::AudioBuffers(int numChannels, int frames, float value)
    : channels(static_cast<std::size_t>(std::max(numChannels, 0)),
               std::vector<float>(static_cast<std::size_t>(std::max(frames, 0)), value)) {
    point();
}

AudioBuffers::AudioBuffers(const AudioBuffers& other) : channels(other.channels) { point(); }

AudioBuffers& AudioBuffers::operator=(const AudioBuffers& other) {
    if (this != &other) {
        channels = other.channels;
        point();
    }
    return *this;
}

void AudioBuffers::point() {
    pointers.clear();
    for (auto& channel : channels) pointers.push_back(channel.data());
}

void AudioBuffers::fill(float value) {
    for (auto& channel : channels) std::fill(channel.begin(), channel.end(), value);
}

// The record ---------------------------------------------------------------------

std::vector<std::string> recordFaults(const AEffect& e) {
    std::vector<std::string> faults;
    if (e.magic != kEffectMagic) {
        char text[64];
        std::snprintf(text, sizeof text, "bad magic 0x%08x", static_cast<unsigned>(e.magic));
        // Nothing else in it can be trusted then.
        return {text};
    }
    auto count = [&](VstInt32 n, VstInt32 most, const char* what) {
        if (n < 0 || n > most)
            faults.push_back(std::to_string(n) + " " + what + " (a usable record has 0 to " + std::to_string(most) + ")");
    };
    count(e.numInputs, kMaxChannels, "inputs");
    count(e.numOutputs, kMaxChannels, "outputs");
    count(e.numParams, kMaxParameters, "parameters");
    count(e.numPrograms, kMaxPrograms, "programs");
    if (!e.dispatcher) faults.push_back("the record has no dispatcher");
    if ((e.flags & effFlagsCanReplacing) && !e.processReplacing)
        faults.push_back("effFlagsCanReplacing is set but processReplacing is null");
    if (!(e.flags & effFlagsCanReplacing) && !e.process)
        faults.push_back("effFlagsCanReplacing is not set and process is null: nothing to process with");
    if (e.numParams > 0 && (!e.setParameter || !e.getParameter))
        faults.push_back("the record has parameters but no setParameter/getParameter");
    return faults;
}

namespace {
constexpr uint32_t kUnwrittenBits = 0x7FC0DEADu;

float unwrittenSample() {
    float sample;
    std::memcpy(&sample, &kUnwrittenBits, sizeof sample);
    return sample;
}
}  // namespace

bool isUnwritten(float sample) {
    uint32_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    return bits == kUnwrittenBits;
}

void markUnwritten(float* const* outputs, int channels, int frames) {
    const float marker = unwrittenSample();
    for (int c = 0; c < channels; ++c) std::fill(outputs[c], outputs[c] + std::max(frames, 0), marker);
}

int64_t countUnwritten(const float* const* outputs, int channels, int frames) {
    int64_t n = 0;
    for (int c = 0; c < channels; ++c) n += std::count_if(outputs[c], outputs[c] + std::max(frames, 0), isUnwritten);
    return n;
}

// Loading -----------------------------------------------------------------------

Plugin::Plugin(const HostOptions& options) : options(options) {}

Plugin::~Plugin() { close(); }

LoadResult Plugin::load(const std::string& path, const HostOptions& options) {
    LoadResult result;
    if (path.empty()) {
        result.error = "no plug-in path given";
        return result;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        result.error = "cannot find " + path + ": " + std::strerror(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = path + " is not a file";
        return result;
    }
    // Without a slash dlopen would search the library path instead of this folder.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* library = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        result.error = "cannot load " + path + ": " + (why ? why : "unknown dynamic loader error");
        return result;
    }
    void* symbol = nullptr;
    for (const char* name : kEntryNames) {
        dlerror();
        symbol = dlsym(library, name);
        if (symbol) break;
    }
    if (!symbol) {
        dlclose(library);
        result.error = path + " has no VST 2.x entry point (looked for VSTPluginMain, main_macho and main)";
        return result;
    }

    std::unique_ptr<Plugin> plugin(new Plugin(options));
    plugin->libraryPath = path;
    plugin->library = library;  // released by the destructor from here on

    Plugin* previous = loading;
    loading = plugin.get();
    AEffect* effect = reinterpret_cast<EntryPoint>(symbol)(hostCallback);
    loading = previous;

    result.record = plugin->hostRecord;
    if (!effect) {
        result.error = "the entry point of " + path + " returned no plug-in";
        return result;
    }
    result.faults = recordFaults(*effect);
    if (!result.faults.empty()) {
        result.error = path + " returned an unusable plug-in record:";
        for (std::size_t i = 0; i < result.faults.size(); ++i) result.error += (i ? "; " : " ") + result.faults[i];
        return result;
    }
    plugin->aeffect = effect;
    registerEffect(effect, plugin.get());
    result.plugin = std::move(plugin);
    return result;
}

VstIntPtr Plugin::close() {
    VstIntPtr answered = 0;
    if (aeffect) {
        answered = aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f);
        unregisterEffect(aeffect);
        aeffect = nullptr;
    }
    if (library) {
        dlclose(library);
        library = nullptr;
    }
    return answered;
}

// Host side -----------------------------------------------------------------------

VstIntPtr Plugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    std::lock_guard<std::recursive_mutex> lock(answering);
    if (opcode >= 0 && opcode < HostRecord::kOpcodes) ++hostRecord.calls[opcode];
    switch (opcode) {
        case audioMasterVersion:
            return options.version;
        case audioMasterAutomate:
            hostRecord.events.push_back({HostEvent::Kind::automate, index, opt});
            return 0;
        case audioMasterBeginEdit:
            hostRecord.events.push_back({HostEvent::Kind::beginEdit, index, 0.0f});
            return 1;
        case audioMasterEndEdit:
            hostRecord.events.push_back({HostEvent::Kind::endEdit, index, 0.0f});
            return 1;
        case audioMasterCurrentId:
            return aeffect ? aeffect->uniqueID : options.currentId;
        case audioMasterIdle:
            ++hostRecord.idle;
            return 0;
        case audioMasterWantMidi:
            ++hostRecord.wantMidi;
            return 1;
        case audioMasterGetTime: {
            if (recordMasks) hostRecord.timeMasks.push_back(value);
            if (!options.transport) return 0;
            const Transport& t = *options.transport;
            timeInfo = VstTimeInfo{};
            timeInfo.samplePos = t.samplePos;
            timeInfo.sampleRate = t.sampleRate > 0 ? t.sampleRate : options.sampleRate;
            timeInfo.ppqPos = t.ppqPos;
            timeInfo.tempo = t.tempo;
            const double barLength =
                t.timeSigDenominator > 0 ? 4.0 * t.timeSigNumerator / t.timeSigDenominator : 4.0;
            timeInfo.barStartPos =
                barLength > 0 && std::isfinite(t.ppqPos) ? std::floor(t.ppqPos / barLength) * barLength : 0.0;
            timeInfo.timeSigNumerator = t.timeSigNumerator;
            timeInfo.timeSigDenominator = t.timeSigDenominator;
            timeInfo.flags = t.flags;
            return reinterpret_cast<VstIntPtr>(&timeInfo);
        }
        case audioMasterSizeWindow:
            hostRecord.sizeWindowWidth = index;
            hostRecord.sizeWindowHeight = static_cast<int>(value);
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(options.sampleRate);
        case audioMasterGetBlockSize:
            return options.blockSize;
        case audioMasterCanDo: {
            const char* text = static_cast<const char*>(ptr);
            if (!text) return 0;
            for (const char* known : kHostCanDo)
                if (std::strcmp(text, known) == 0) return 1;
            return 0;
        }
        case audioMasterGetVendorString:
            copyBounded(static_cast<char*>(ptr), options.vendor, kVstMaxVendorStrLen);
            return ptr ? 1 : 0;
        case audioMasterGetProductString:
            copyBounded(static_cast<char*>(ptr), options.product, kVstMaxProductStrLen);
            return ptr ? 1 : 0;
        default:
            return 0;
    }
}

void Plugin::advanceTransport(VstInt32 frames) {
    if (!options.transport || !options.transport->advance || frames <= 0) return;
    Transport& t = *options.transport;
    const double rate = t.sampleRate > 0 ? t.sampleRate : options.sampleRate;
    if (rate > 0) t.ppqPos += frames / rate * t.tempo / 60.0;
    t.samplePos += frames;
}

// Plug-in side --------------------------------------------------------------------

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!aeffect) return 0;
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

std::string Plugin::readText(VstInt32 opcode, VstInt32 index) {
    char text[kTextBuffer] = {};
    dispatch(opcode, index, 0, text);
    text[kTextBuffer - 1] = 0;
    return text;
}

std::string Plugin::effectName() { return readText(effGetEffectName); }
std::string Plugin::vendorString() { return readText(effGetVendorString); }
std::string Plugin::productString() { return readText(effGetProductString); }
std::string Plugin::parameterName(VstInt32 index) { return readText(effGetParamName, index); }
std::string Plugin::parameterLabel(VstInt32 index) { return readText(effGetParamLabel, index); }
std::string Plugin::parameterDisplay(VstInt32 index) { return readText(effGetParamDisplay, index); }
std::string Plugin::programName() { return readText(effGetProgramName); }

std::optional<std::string> Plugin::programNameIndexed(VstInt32 index, VstInt32 category) {
    char text[kTextBuffer] = {};
    if (!dispatch(effGetProgramNameIndexed, index, category, text)) return std::nullopt;
    text[kTextBuffer - 1] = 0;
    return std::string(text);
}

void Plugin::setProgramName(const std::string& name) {
    std::vector<char> text(name.begin(), name.end());
    text.push_back(0);
    dispatch(effSetProgramName, 0, 0, text.data());
}

VstIntPtr Plugin::canDo(const char* text) { return dispatch(effCanDo, 0, 0, const_cast<char*>(text)); }

VstInt32 Plugin::vendorVersion() { return static_cast<VstInt32>(dispatch(effGetVendorVersion)); }
VstInt32 Plugin::vstVersion() { return static_cast<VstInt32>(dispatch(effGetVstVersion)); }
VstInt32 Plugin::plugCategory() { return static_cast<VstInt32>(dispatch(effGetPlugCategory)); }

float Plugin::getParameter(VstInt32 index) {
    return aeffect && aeffect->getParameter ? aeffect->getParameter(aeffect, index) : 0.0f;
}

void Plugin::setParameter(VstInt32 index, float value) {
    if (aeffect && aeffect->setParameter) aeffect->setParameter(aeffect, index, value);
}

void Plugin::setProgram(VstInt32 index) { dispatch(effSetProgram, 0, index); }
VstInt32 Plugin::getProgram() { return static_cast<VstInt32>(dispatch(effGetProgram)); }

void Plugin::open() { dispatch(effOpen); }

void Plugin::setSampleRate(float rate) {
    options.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void Plugin::setBlockSize(VstInt32 size) {
    options.blockSize = size;
    dispatch(effSetBlockSize, 0, size);
}

void Plugin::resume() { dispatch(effMainsChanged, 0, 1); }
void Plugin::suspend() { dispatch(effMainsChanged, 0, 0); }

void Plugin::start(float rate, VstInt32 size) {
    open();
    setSampleRate(rate);
    setBlockSize(size);
    resume();
}

bool Plugin::snapshot(const std::string& path, float scale) {
    return dispatch(effVendorSpecific, kOrvexSnapshotRequest, 0, const_cast<char*>(path.c_str()), scale) == 1;
}

bool Plugin::setEditorScale(float scale) {
    return dispatch(effVendorSpecific, kHostScaleRequest, kHostScaleValue, nullptr, scale) == 1;
}

std::optional<std::vector<std::string>> Plugin::readingLines(VstInt32 index) {
    // One byte more than the plug-in may write, so that the text always ends.
    std::vector<char> text(static_cast<std::size_t>(kOrvexReadingTextSize) + 1, '\0');
    if (dispatch(effVendorSpecific, kOrvexReadingRequest, index, text.data(), 0.0f) != 1) return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    for (const char* c = text.data(); *c; ++c) {
        if (*c != '\n') {
            line += *c;
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    if (lines.size() < 4) return std::nullopt;
    return lines;
}

std::optional<float> Plugin::unitOfValue(VstInt32 index, float value) {
    float unit = 0.0f;
    if (dispatch(effVendorSpecific, kOrvexUnitOfValueRequest, index, &unit, value) != 1) return std::nullopt;
    return unit;
}

std::optional<float> Plugin::valueOfUnit(VstInt32 index, float unitValue) {
    float value = 0.0f;
    if (dispatch(effVendorSpecific, kOrvexValueOfUnitRequest, index, &value, unitValue) != 1) return std::nullopt;
    return value;
}

std::optional<ERect> Plugin::editorRect() {
    ERect* rect = nullptr;
    if (!dispatch(effEditGetRect, 0, 0, &rect) || !rect) return std::nullopt;
    return *rect;
}

void Plugin::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (!aeffect) return;
    if (aeffect->processReplacing && (aeffect->flags & effFlagsCanReplacing)) {
        aeffect->processReplacing(aeffect, inputs, outputs, frames);
    } else if (aeffect->process) {
        // An old plug-in that only accumulates: give it silent outputs to add to.
        if (frames > 0 && outputs)
            for (VstInt32 c = 0; c < aeffect->numOutputs; ++c)
                if (outputs[c]) std::fill(outputs[c], outputs[c] + frames, 0.0f);
        aeffect->process(aeffect, inputs, outputs, frames);
    }
    advanceTransport(frames);
}

void Plugin::process(float** inputs, float** outputs, VstInt32 frames) {
    if (!aeffect) return;
    if (aeffect->process) aeffect->process(aeffect, inputs, outputs, frames);
    advanceTransport(frames);
}

EventList::EventList(const std::vector<VstEvent*>& events) {
    // VstEvents ends in a variable-length pointer array.
    const std::size_t bytes =
        std::max(sizeof(VstEvents), offsetof(VstEvents, events) + events.size() * sizeof(VstEvent*));
    storage.assign((bytes + sizeof(VstIntPtr) - 1) / sizeof(VstIntPtr), 0);
    VstEvents* list = get();
    list->numEvents = static_cast<VstInt32>(events.size());
    std::copy(events.begin(), events.end(), eventEntries(*list));
}

VstIntPtr Plugin::sendEvents(const std::vector<VstEvent*>& events) {
    EventList list(events);
    return dispatch(effProcessEvents, 0, 0, list.get());
}

VstIntPtr Plugin::sendMidi(const std::vector<MidiMessage>& messages) {
    std::vector<VstMidiEvent> midi(messages.size());
    std::vector<VstEvent*> events;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        VstMidiEvent& e = midi[i];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = messages[i].deltaFrames;
        e.midiData[0] = static_cast<char>(messages[i].status);
        e.midiData[1] = static_cast<char>(messages[i].data1);
        e.midiData[2] = static_cast<char>(messages[i].data2);
        events.push_back(reinterpret_cast<VstEvent*>(&e));
    }
    return sendEvents(events);
}

}  // namespace orvex::vsthost
