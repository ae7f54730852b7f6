// A hostile VST 2.x host for libFuzzer. Every input is one session: a few header bytes
// set up the host (its version answer, which entry point, how its callback behaves),
// an instance is created through the plug-in's entry point with the callback below,
// and the rest of the input is read as host actions, one byte choosing each (the
// `Action` slots) and the following bytes its arguments: any dispatcher opcode with
// the pointer it takes, parameters and programs with any index and any value, names
// into buffers of their exact size, sample rates and block sizes of any kind,
// suspend/resume, event lists, the answers to audioMasterGetTime, and processing
// calls of up to a few times the announced block size.
//
// Whatever the session does, the plug-in must not crash, overrun a buffer, leak, hang
// or trip the sanitizers, and these hold (a broken one aborts, which libFuzzer reports
// as a crash):
// - output is finite after every call whose input was finite and bounded
//   (|x| <= 1e6), unless a call with non-finite or unbounded input came just before:
//   a unit may flush the bad value at its next block boundary, so only the first
//   clean call after it goes unchecked, and everything after that is checked again;
// - processReplacing writes every output sample (outputs start as NaN);
// - getParameter gives a finite value in 0..1 for any index, at any time;
// - every text the plug-in writes is NUL-terminated inside the buffer it was given;
// - a plug-in without an editor answers 0 to every editor opcode; an editor opens on
//   a null window, which draws offscreen (there is no display here), and then takes
//   clicks, keys, idles, parameter changes and tempos like any other;
// - effGetProgram stays a valid program, effCanDo answers -1, 0 or 1;
// - the record stays sound (magic, entry points, channel counts);
// - the callback is only ever called with the instance's own record (or null for
//   the version query while it is built), and automation it reports has a valid
//   index and a value in 0..1;
// - the floating-point modes come back as the host had them.
//
// The input layout is kept stable so that the committed corpus keeps its meaning: a
// new action takes the next free slot, new arguments go after the existing ones.
// ORVEX_FUZZ_TRACE=1 in the environment prints every action as it is decoded.
//
// Threads: everything runs on the fuzzer's one thread, which plays the host's
// user-interface and audio threads in turn (a host does not overlap them for one
// instance in the calls made here); the callback runs on it too, inside the plug-in's
// calls.
#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "host/vst2.h"
#include "hostile.h"
#include "input.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);
extern "C" AEffect* main_macho(audioMasterCallback audioMaster);

namespace orvex::fuzz {
namespace {

// Fuzzer thread throughout.

// Longest single processing call, and the samples one session may process in all:
// bounds the time of one input however it repeats its processing calls.
constexpr int kMaxFramesPerCall = 1 << 17;
constexpr long kFrameBudget = 1L << 17;
// The room the shell promises for parameter names, labels and displays (more than
// the 8 of the old limit, as every host we know gives).
constexpr int kParamTextRoom = 32;
// Zeroed memory behind opcodes whose pointer is a structure this host does not fill.
constexpr int kScratchSize = 4096;
constexpr int kMaxChannels = 64;
constexpr int kMaxCount = 10000;  // parameters or programs a sane record announces

VstInt32 hostileIndex(Input& in, VstInt32 count) {
    const uint8_t kind = in.byte();
    switch (kind % 8) {
        case 4: return -1;
        case 5: return count;
        case 6: return kind < 128 ? std::numeric_limits<VstInt32>::min() : std::numeric_limits<VstInt32>::max();
        case 7: return static_cast<VstInt32>(in.u32());
        default: return count > 0 ? static_cast<VstInt32>(in.below(static_cast<uint32_t>(count))) : 0;
    }
}

VstIntPtr hostileValue(Input& in) {
    const uint8_t kind = in.byte();
    switch (kind % 8) {
        case 0: return 0;
        case 1: return 1;
        case 2: return -1;
        case 3: return std::numeric_limits<VstInt32>::max();
        case 4: return std::numeric_limits<VstIntPtr>::min();
        case 5: return static_cast<VstIntPtr>(in.u64());
        default: return in.byte();
    }
}

const VstIntPtr kBlockSizes[] = {512,     0,       -1,      1,       2,       3,      31,      32,
                                 33,      64,      100,     128,     256,     1000,   1024,    2048,
                                 4096,    8192,    65535,   65536,   65537,   100000, 1 << 20, 0x7FFFFFFF,
                                 0x80000000LL, std::numeric_limits<VstIntPtr>::max(), std::numeric_limits<VstIntPtr>::min(),
                                 std::numeric_limits<VstInt32>::min(), -512};

VstIntPtr hostileBlockSize(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 200) return kBlockSizes[kind % std::size(kBlockSizes)];
    if (kind < 240) return 1 + static_cast<VstIntPtr>(in.below(8192));
    return static_cast<VstIntPtr>(in.u64());
}

const float kSampleRates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f, 22050.0f, 8000.0f,  1000.0f,
                              100.0f,   1.0f,     0.5f,     1e-30f,   kDenormal, 0.0f,     -0.0f,    -44100.0f,
                              kNaN,     kInf,     -kInf,    384000.0f, 1e6f,     1e9f,     1e20f,    kFloatMax,
                              1e-6f,    11025.0f};

float hostileSampleRate(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 224) return kSampleRates[kind % std::size(kSampleRates)];
    return in.rawFloat();
}

const double kTempos[] = {120.0, 0.0,   -0.0,   -1.0,  -120.0, kDoubleNaN, kDoubleInf, -kDoubleInf, 4.9e-324,
                          1e-300, 1e-40, 1e-7,  1.0,   20.0,   60.0,       128.3,      140.0,       300.0,
                          999.0, 1e6,    1e30,  3.4e38, 3.5e38, 1e300,     std::numeric_limits<double>::max(),
                          50.0,  250.0};

double hostileTempo(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 160) return kTempos[kind % std::size(kTempos)];
    if (kind < 230) return 1.0 + in.below(1000) * 0.5;
    return in.rawDouble();
}

// Song positions and other transport doubles; -1000 is the shell's "no position".
const double kPositions[] = {0.0,  -0.0,   1.0,    -1.0,        -1000.0,    0.5,       3.999999,  4.0,
                             1e6,  -1e6,   1e10,   1e20,        3.4e38,     4e38,      -4e38,     1e300,
                             -1e300, kDoubleNaN, kDoubleInf, -kDoubleInf, 16777216.0, 16777217.0, 4.9e-324,
                             -1000.0000001};

double hostilePosition(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 160) return kPositions[kind % std::size(kPositions)];
    if (kind < 230) return static_cast<int32_t>(in.u32()) / 16.0;
    return in.rawDouble();
}

const double kPositionSteps[] = {0.0, 0.0116, 0.01, 1.0, -1.0, 4.0, 1000.0, -1e6, 1e30, kDoubleNaN, kDoubleInf};

const VstInt32 kTimeFlags[] = {
    kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid,
    kVstTempoValid,
    kVstPpqPosValid,
    0,
    kVstTransportChanged | kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid,
    -1,
};

const VstInt32 kTimeSigParts[] = {4, 3, 0, -1, 7, 16, std::numeric_limits<VstInt32>::min(),
                                  std::numeric_limits<VstInt32>::max()};

// Texts: what hosts ask and name, and random bytes.
const char* const kCanDoTexts[] = {
    "receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo", "sendVstEvents", "sendVstMidiEvent",
    "plugAsChannelInsert", "plugAsSend", "mixDryWet", "noRealTime", "multipass", "metapass", "1in1out",
    "1in2out", "2in1out", "2in2out", "2in4out", "4in2out", "4in4out", "8in8out", "midiProgramNames",
    "conformsToWindowRules", "bypass", "hasCockosExtensions", "hasCockosViewAsConfig", "", "2in2out ",
    "receiveVstEvent", "RECEIVEVSTEVENTS"};

// A text the host hands over, in a buffer of exactly its size. `unterminatedRoom`,
// when not 0, allows a text that fills the whole room the interface gives that text
// with no NUL at all (the reader must stop at the room).
std::unique_ptr<char[]> hostText(Input& in, int unterminatedRoom, std::size_t* length = nullptr) {
    const uint8_t kind = in.byte();
    std::size_t n = 0;
    std::unique_ptr<char[]> text;
    if (kind < 96) {
        const char* known = in.pick(kCanDoTexts);
        n = std::strlen(known);
        text = std::make_unique<char[]>(n + 1);
        std::memcpy(text.get(), known, n + 1);
    } else if (unterminatedRoom > 0 && kind >= 224) {
        n = static_cast<std::size_t>(unterminatedRoom);
        text = std::make_unique<char[]>(n);
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>(in.byte() | 1);  // never 0
    } else {
        n = kind < 192 ? in.below(64) : in.below(1024);
        text = std::make_unique<char[]>(n + 1);
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>(in.byte());
        text[n] = 0;
    }
    if (length) *length = n;
    return text;
}

// A buffer the plug-in writes a text into: exactly `room` bytes, starting as an empty
// text with the rest marked, so a text written without its NUL shows.
struct TextOut {
    explicit TextOut(int room) : room(room), text(std::make_unique<char[]>(static_cast<std::size_t>(room))) {
        std::memset(text.get(), 0x55, static_cast<std::size_t>(room));
        text[0] = 0;
    }
    void check(const char* what) const {
        FUZZ_CHECK(std::memchr(text.get(), 0, static_cast<std::size_t>(room)) != nullptr,
                   "%s: text not NUL-terminated within %d bytes", what, room);
        trace("  -> \"%s\"", text.get());
    }
    char* data() { return text.get(); }

    int room;
    std::unique_ptr<char[]> text;
};

// The time information the host answers with: up to four slots answered in turn, one
// per audioMasterGetTime, each a structure of its own or null; a slot's song
// position can move by a step after every answer.
struct TimeSlot {
    std::unique_ptr<VstTimeInfo> info;  // null: the host answers 0
    double ppqStep = 0;
    bool answered = false;
};

struct Host;
Host* gHost = nullptr;

struct Host {
    VstIntPtr versionAnswer = 2400;
    uint8_t mood = 0;  // bit 0: positive answers; bit 1: reads the plug-in back from inside the callback
    VstIntPtr blockAnswer = 512;
    VstIntPtr rateAnswer = 44100;
    std::array<TimeSlot, 4> time;
    int timeSlots = 1;
    int nextSlot = 0;
    std::vector<AEffect*> records;  // instances alive
    bool creating = false;
    AEffect* seenWhileCreating = nullptr;
    int reentry = 0;

    VstTimeInfo* answerTime() {
        TimeSlot& slot = time[static_cast<std::size_t>(nextSlot)];
        nextSlot = (nextSlot + 1) % timeSlots;
        if (!slot.info) return nullptr;
        // The plug-in reads the answer after the callback returns, so a slot moves on
        // before each answer after its first.
        if (slot.answered) {
            slot.info->ppqPos += slot.ppqStep;
            slot.info->samplePos += 512.0;
        }
        slot.answered = true;
        return slot.info.get();
    }

    bool known(AEffect* effect) const { return std::find(records.begin(), records.end(), effect) != records.end(); }
};

// Callback thread (the plug-in's calling thread, the fuzzer's).
VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt) {
    Host* host = gHost;
    FUZZ_CHECK(host != nullptr, "host callback %d called outside any session", opcode);
    if (host->creating) {
        // Before the record is handed over only the version query may come without it.
        if (!(effect == nullptr && opcode == audioMasterVersion)) {
            FUZZ_CHECK(effect != nullptr, "callback %d without the record while creating", opcode);
            if (!host->seenWhileCreating) host->seenWhileCreating = effect;
            FUZZ_CHECK(effect == host->seenWhileCreating, "callback %d with two records while creating", opcode);
        }
    } else {
        FUZZ_CHECK(host->known(effect), "callback %d with a record that is not an open instance", opcode);
    }
    const bool yes = (host->mood & 1) != 0;
    switch (opcode) {
        case audioMasterVersion: return host->versionAnswer;
        case audioMasterCurrentId: return 0;
        case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(host->answerTime());
        case audioMasterAutomate:
        case audioMasterBeginEdit:
        case audioMasterEndEdit: {
            FUZZ_CHECK(effect && index >= 0 && index < effect->numParams, "callback %d for parameter %d of %d",
                       opcode, index, effect ? effect->numParams : 0);
            if (opcode == audioMasterAutomate)
                FUZZ_CHECK(std::isfinite(opt) && opt >= 0.0f && opt <= 1.0f, "automation value %g", opt);
            // Hosts read the parameter back at once (to show or record it), from
            // inside the plug-in's call.
            if ((host->mood & 2) && host->reentry == 0) {
                ++host->reentry;
                const float v = effect->getParameter(effect, index);
                FUZZ_CHECK(std::isfinite(v) && v >= 0.0f && v <= 1.0f, "parameter %d read back as %g", index, v);
                TextOut display(kParamTextRoom);
                effect->dispatcher(effect, effGetParamDisplay, index, 0, display.data(), 0);
                display.check("display read back from the callback");
                --host->reentry;
            }
            return yes ? 1 : 0;
        }
        case audioMasterCanDo: {
            FUZZ_CHECK(ptr == nullptr || std::memchr(ptr, 0, 256) != nullptr, "audioMasterCanDo text unterminated");
            return yes ? 1 : 0;
        }
        case audioMasterGetSampleRate: return host->rateAnswer;
        case audioMasterGetBlockSize: return host->blockAnswer;
        case audioMasterGetCurrentProcessLevel: return host->mood % 5;
        case audioMasterGetAutomationState: return host->mood % 5;
        case audioMasterGetVendorString:
        case audioMasterGetProductString:
            if (ptr) std::snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "%s", "Harmoxel Fuzz Host");
            return 1;
        case audioMasterGetVendorVersion: return 1000;
        case audioMasterGetLanguage: return 1;
        case audioMasterWantMidi:
        case audioMasterIdle:
        case audioMasterNeedIdle:
        case audioMasterUpdateDisplay:
        case audioMasterIOChanged:
        case audioMasterSizeWindow:
        case audioMasterPinConnected: return yes ? 1 : 0;
        default: return 0;
    }
}

// Event types as a host sends them, MIDI most often.
const VstInt32 kEventTypes[] = {kVstMidiType,    kVstMidiType,     kVstMidiType,  kVstMidiType, kVstSysExType,
                                kVstAudioType,   kVstVideoType,    kVstParameterType, kVstTriggerType, 0, -1, 99};

enum Action : uint8_t {
    kDispatch = 0,      // any opcode, with the kind of pointer it takes
    kSetParameter,      // then getParameter of the same index
    kGetParameter,
    kSetProgram,
    kSetProgramName,    // then reads the name back
    kReadText,          // one parameter or program text
    kCanDo,
    kSampleRate,        // effSetSampleRate or effSetBlockSizeAndSampleRate
    kBlockSize,
    kMainsChanged,
    kEvents,
    kTransport,         // what audioMasterGetTime answers from now on
    kProcessReplacing,
    kProcessAccumulating,
    kEditor,            // an editor opcode with a null window
    kIdentity,          // names, pins, versions, category
    kChunk,
    kSibling,           // a second instance created, run a little and closed
    kClose,             // ends the session
    kNumActions,
    kSlots = 32,        // bytes choose an action modulo this; free slots do nothing
};

class Session {
public:
    explicit Session(Input& in) : in(in) {}
    ~Session() {
        if (effect) close();
        gHost = nullptr;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run();

private:
    // What the plug-in asks of the record and of each answer.
    void checkRecord() const;
    void checkParameters() const;
    void checkState() const;
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    bool hasEditor() const { return (effect->flags & effFlagsHasEditor) != 0; }
    bool isEditorOpcode(VstInt32 opcode) const {
        return (opcode >= effEditGetRect && opcode <= effEditSleep) || opcode == effEditKeyDown ||
               opcode == effEditKeyUp || opcode == effSetEditKnobMode;
    }

    AEffect* create();
    void close();
    void step(uint8_t action);
    void finalSweep();

    void doDispatch();
    void dispatchWithShape(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt);
    void setParameter();
    void getParameter(VstInt32 index);
    void setProgram();
    void setProgramName();
    void readText();
    void canDo();
    void sampleRate();
    void blockSize();
    void mainsChanged();
    void events();
    void transport();
    void processCall(bool accumulate);
    void editor();
    void identity();
    void chunk();
    void sibling();

    void fillTimeSlot(TimeSlot& slot);
    int pickFrames();

    Input& in;
    Host host;
    AEffect* effect = nullptr;
    unsigned controlRegister = 0;
    VstIntPtr announcedBlock = 512;
    long framesLeft = kFrameBudget;
    bool everBad = false;          // some call had non-finite or unbounded input
    int cleanCallsSinceBad = 0;    // calls with clean input since the last bad one
    std::vector<uint8_t> chunkCopy;  // the last chunk the plug-in gave, for setChunk
};

AEffect* Session::create() {
    host.creating = true;
    host.seenWhileCreating = nullptr;
    AEffect* (*entry)(audioMasterCallback) = (host.mood & 4) ? main_macho : VSTPluginMain;
    AEffect* created = entry(hostCallback);
    host.creating = false;
    if (created) {
        FUZZ_CHECK(!host.seenWhileCreating || host.seenWhileCreating == created,
                   "callback during creation used a record other than the one returned");
        host.records.push_back(created);
    }
    return created;
}

void Session::close() {
    AEffect* closing = effect;
    effect = nullptr;
    closing->dispatcher(closing, effClose, 0, 0, nullptr, 0);
    host.records.erase(std::find(host.records.begin(), host.records.end(), closing));
}

void Session::checkRecord() const {
    FUZZ_CHECK(effect->magic == kEffectMagic, "record magic changed");
    FUZZ_CHECK(effect->dispatcher && effect->process && effect->processReplacing && effect->setParameter &&
                   effect->getParameter,
               "record lost an entry point");
    FUZZ_CHECK(!(effect->flags & effFlagsCanDoubleReplacing) || effect->processDoubleReplacing,
               "double processing announced without its entry point");
    FUZZ_CHECK(effect->numInputs >= 0 && effect->numInputs <= kMaxChannels && effect->numOutputs >= 0 &&
                   effect->numOutputs <= kMaxChannels,
               "record announces %d inputs and %d outputs", effect->numInputs, effect->numOutputs);
    FUZZ_CHECK(effect->numParams >= 0 && effect->numParams <= kMaxCount && effect->numPrograms >= 0 &&
                   effect->numPrograms <= kMaxCount,
               "record announces %d parameters and %d programs", effect->numParams, effect->numPrograms);
}

void Session::checkParameters() const {
    for (VstInt32 p = 0; p < effect->numParams; ++p) {
        const float v = effect->getParameter(effect, p);
        FUZZ_CHECK(std::isfinite(v) && v >= 0.0f && v <= 1.0f, "parameter %d reads %g", p, v);
    }
}

void Session::checkState() const {
    checkRecord();
    checkParameters();
    if (effect->numPrograms > 0) {
        const VstIntPtr program = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0);
        FUZZ_CHECK(program >= 0 && program < effect->numPrograms, "current program %ld of %d",
                   static_cast<long>(program), effect->numPrograms);
    }
    FUZZ_CHECK(controlModes() == controlRegister, "floating-point modes left at %#x (host had %#x)", controlModes(),
               controlRegister);
}

void Session::run() {
    gHost = &host;
    controlRegister = controlModes();
    // Header.
    const uint8_t version = in.byte();
    const VstIntPtr kVersions[] = {2400, 2300, 2000, 1, -1, 10, 1000};
    host.versionAnswer = version == 0xFF ? 0 : kVersions[version % std::size(kVersions)];
    host.mood = in.byte();
    host.blockAnswer = hostileBlockSize(in);
    host.rateAnswer = in.pick({44100, 48000, 96000, 0, -1});
    if (in.byte() & 1) {
        host.time[0].info = std::make_unique<VstTimeInfo>();
        VstTimeInfo& t = *host.time[0].info;
        t.sampleRate = 44100.0;
        t.tempo = 120.0;
        t.timeSigNumerator = 4;
        t.timeSigDenominator = 4;
        t.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid;
        host.time[0].ppqStep = 0.0116;
    }
    if (version == 0xFE) FUZZ_CHECK(VSTPluginMain(nullptr) == nullptr, "an instance without a host callback");
    trace("host version %ld, mood %#x", static_cast<long>(host.versionAnswer), host.mood);

    effect = create();
    if (host.versionAnswer == 0) {
        FUZZ_CHECK(effect == nullptr, "an instance for a host that answered version 0");
        return;
    }
    FUZZ_CHECK(effect != nullptr, "no instance for a working host");
    checkState();

    while (effect && !in.empty()) {
        step(in.byte());
        if (effect) checkState();
    }
    if (effect) finalSweep();
}

void Session::step(uint8_t byte) {
    switch (byte % kSlots) {
        case kDispatch: doDispatch(); break;
        case kSetParameter: setParameter(); break;
        case kGetParameter: getParameter(hostileIndex(in, effect->numParams)); break;
        case kSetProgram: setProgram(); break;
        case kSetProgramName: setProgramName(); break;
        case kReadText: readText(); break;
        case kCanDo: canDo(); break;
        case kSampleRate: sampleRate(); break;
        case kBlockSize: blockSize(); break;
        case kMainsChanged: mainsChanged(); break;
        case kEvents: events(); break;
        case kTransport: transport(); break;
        case kProcessReplacing: processCall(false); break;
        case kProcessAccumulating: processCall(true); break;
        case kEditor: editor(); break;
        case kIdentity: identity(); break;
        case kChunk: chunk(); break;
        case kSibling: sibling(); break;
        case kClose:
            trace("close");
            close();
            break;
        default: break;
    }
}

// Every parameter's texts and value and every program's name, as a host's generic
// editor or a session save would read them, then the close.
void Session::finalSweep() {
    for (VstInt32 p = 0; p < effect->numParams; ++p) {
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            TextOut text(kParamTextRoom);
            dispatch(opcode, p, 0, text.data(), 0);
            text.check("parameter text");
        }
    }
    for (VstInt32 p = 0; p < effect->numPrograms; ++p) {
        TextOut text(kVstMaxProgNameLen);
        dispatch(effGetProgramNameIndexed, p, 0, text.data(), 0);
        text.check("indexed program name");
    }
    checkState();
}

// Dispatcher --------------------------------------------------------------------

void Session::doDispatch() {
    const uint8_t kind = in.byte();
    VstInt32 opcode;
    if (kind < 160)
        opcode = kind % (effGetNumMidiOutputChannels + 1);
    else if (kind < 240)
        opcode = in.pick({80, 81, 100, 255, 1000, -1, 0x7FFFFFFF, -0x7FFFFFFF - 1});
    else
        opcode = static_cast<VstInt32>(in.u32());
    const VstInt32 index = hostileIndex(in, effect->numParams);
    const VstIntPtr value = hostileValue(in);
    const float opt = hostileFloat(in);
    dispatchWithShape(opcode, index, value, opt);
}

// Sends `opcode` with the pointer (and, where the value is a pointer or a count, the
// value) a host gives it, then checks what came back.
void Session::dispatchWithShape(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
    if (opcode == effClose) {
        trace("dispatch effClose");
        close();
        return;
    }
    trace("dispatch %d index %d value %ld opt %g", opcode, index, static_cast<long>(value), opt);
    VstIntPtr answer = 0;
    const auto withText = [&](int room, const char* what) {
        TextOut text(room);
        answer = dispatch(opcode, index, value, text.data(), opt);
        text.check(what);
    };
    const auto withScratch = [&](VstIntPtr v) {
        auto scratch = std::make_unique<uint8_t[]>(kScratchSize);
        answer = dispatch(opcode, index, v, scratch.get(), opt);
    };
    switch (opcode) {
        case effSetProgramName: {
            auto text = hostText(in, kVstMaxProgNameLen);
            answer = dispatch(opcode, index, value, text.get(), opt);
            break;
        }
        case effCanDo:
        case effString2Parameter: {
            auto text = hostText(in, 0);
            answer = dispatch(opcode, index, value, text.get(), opt);
            break;
        }
        case effGetProgramName:
        case effGetProgramNameIndexed: withText(kVstMaxProgNameLen, "program name"); break;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName: withText(kParamTextRoom, "parameter text"); break;
        case effGetEffectName: withText(kVstMaxEffectNameLen, "effect name"); break;
        case effGetVendorString:
        case effGetProductString:
        case effShellGetNextPlugin: withText(kVstMaxVendorStrLen, "vendor or product"); break;
        case effGetErrorText: withText(256, "error text"); break;
        case effEditGetRect: {
            ERect* rect = nullptr;
            answer = dispatch(opcode, index, value, &rect, opt);
            if (!hasEditor()) FUZZ_CHECK(rect == nullptr, "a rectangle from a plug-in without an editor");
            break;
        }
        case effEditDraw: {
            ERect rect{0, 0, 100, 100};
            answer = dispatch(opcode, index, value, (value & 1) ? &rect : nullptr, opt);
            break;
        }
        case effEditOpen: answer = dispatch(opcode, index, value, nullptr, opt); break;
        case effGetInputProperties:
        case effGetOutputProperties: {
            auto pin = std::make_unique<VstPinProperties>();
            std::memset(pin.get(), 0x55, sizeof(VstPinProperties));
            answer = dispatch(opcode, index, value, pin.get(), opt);
            if (answer) {
                FUZZ_CHECK(std::memchr(pin->label, 0, sizeof pin->label), "pin label unterminated");
                FUZZ_CHECK(std::memchr(pin->shortLabel, 0, sizeof pin->shortLabel), "pin short label unterminated");
            }
            break;
        }
        case effGetChunk: {
            void* data = nullptr;
            answer = dispatch(opcode, index, value, &data, opt);
            if (answer > 0) {
                FUZZ_CHECK(data != nullptr && answer <= (1 << 24), "chunk of %ld bytes at %p",
                           static_cast<long>(answer), data);
                const auto* bytes = static_cast<const uint8_t*>(data);
                chunkCopy.assign(bytes, bytes + answer);
            }
            break;
        }
        case effSetChunk: {
            const std::size_t n = in.below(512);
            auto data = std::make_unique<uint8_t[]>(n);
            for (std::size_t i = 0; i < n; ++i) data[i] = in.byte();
            answer = dispatch(opcode, index, static_cast<VstIntPtr>(n), data.get(), opt);
            break;
        }
        case effProcessEvents:
            events();
            return;
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun: withScratch(value & 1); break;  // value counts the records behind the pointer
        case effSetSpeakerArrangement: {
            // Both the value and the pointer are arrangements.
            auto inputs = std::make_unique<uint8_t[]>(kScratchSize);
            auto outputs = std::make_unique<uint8_t[]>(kScratchSize);
            const VstInt32 channels = static_cast<VstInt32>(value & 7);
            std::memcpy(inputs.get() + 4, &channels, sizeof channels);
            std::memcpy(outputs.get() + 4, &channels, sizeof channels);
            answer = dispatch(opcode, index, reinterpret_cast<VstIntPtr>(inputs.get()), outputs.get(), opt);
            break;
        }
        case effGetSpeakerArrangement: {
            void* inputs = nullptr;
            void* outputs = nullptr;
            answer = dispatch(opcode, index, reinterpret_cast<VstIntPtr>(&inputs), &outputs, opt);
            break;
        }
        case effProcessVarIo:
        case effGetParameterProperties:
        case effGetMidiProgramName:
        case effGetCurrentMidiProgram:
        case effGetMidiProgramCategory:
        case effGetMidiKeyName:
        case effBeginLoadBank:
        case effBeginLoadProgram:
        case effVendorSpecific: withScratch(value); break;
        default:
            if (opcode < 0 || opcode > effGetNumMidiOutputChannels)
                withScratch(value);  // unknown to the interface: give it memory anyway
            else
                answer = dispatch(opcode, index, value, nullptr, opt);
            break;
    }
    trace("  -> %ld", static_cast<long>(answer));
    if (!effect) return;
    if (isEditorOpcode(opcode) && !hasEditor())
        FUZZ_CHECK(answer == 0, "editor opcode %d answered %ld without an editor", opcode, static_cast<long>(answer));
    if (opcode == effCanDo)
        FUZZ_CHECK(answer >= -1 && answer <= 1, "effCanDo answered %ld", static_cast<long>(answer));
}

// Parameters and programs ----------------------------------------------------------

void Session::setParameter() {
    const VstInt32 index = hostileIndex(in, effect->numParams);
    const float value = hostileFloat(in);
    trace("setParameter %d %g", index, value);
    effect->setParameter(effect, index, value);
    getParameter(index);
}

void Session::getParameter(VstInt32 index) {
    const float v = effect->getParameter(effect, index);
    trace("getParameter %d -> %g", index, v);
    FUZZ_CHECK(std::isfinite(v) && v >= 0.0f && v <= 1.0f, "getParameter(%d) gave %g", index, v);
}

void Session::setProgram() {
    const uint8_t kind = in.byte();
    const VstIntPtr program =
        kind < 200 ? hostileIndex(in, effect->numPrograms) : (kind < 228 ? VstIntPtr{1} << 32 : hostileValue(in));
    trace("setProgram %ld", static_cast<long>(program));
    dispatch(effSetProgram, 0, program, nullptr, 0);
}

void Session::setProgramName() {
    std::size_t length = 0;
    auto name = hostText(in, kVstMaxProgNameLen, &length);
    trace("setProgramName (%zu bytes)", length);
    dispatch(effSetProgramName, 0, 0, name.get(), 0);
    TextOut back(kVstMaxProgNameLen);
    dispatch(effGetProgramName, 0, 0, back.data(), 0);
    back.check("program name read back");
}

void Session::readText() {
    const uint8_t which = in.byte() % 5;
    const VstInt32 kOpcodes[] = {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName,
                                 effGetProgramNameIndexed};
    const VstInt32 opcode = kOpcodes[which];
    const bool program = opcode == effGetProgramName || opcode == effGetProgramNameIndexed;
    const VstInt32 index = hostileIndex(in, program ? effect->numPrograms : effect->numParams);
    const VstIntPtr category = opcode == effGetProgramNameIndexed ? hostileValue(in) : 0;
    trace("read text %d index %d", opcode, index);
    TextOut text(program ? kVstMaxProgNameLen : kParamTextRoom);
    dispatch(opcode, index, category, text.data(), 0);
    text.check(program ? "program name" : "parameter text");
}

void Session::canDo() {
    const bool none = in.byte() == 0xFF;
    auto text = hostText(in, 0);
    trace("canDo \"%s\"", none ? "(null)" : text.get());
    const VstIntPtr answer = dispatch(effCanDo, 0, 0, none ? nullptr : text.get(), 0);
    FUZZ_CHECK(answer >= -1 && answer <= 1, "effCanDo answered %ld", static_cast<long>(answer));
}

// Lifecycle ---------------------------------------------------------------------------

void Session::sampleRate() {
    const uint8_t how = in.byte();
    const float rate = hostileSampleRate(in);
    if (how & 1) {
        const VstIntPtr block = hostileBlockSize(in);
        trace("setBlockSizeAndSampleRate %ld %g", static_cast<long>(block), rate);
        dispatch(effSetBlockSizeAndSampleRate, 0, block, nullptr, rate);
        if (block > 0) announcedBlock = block;
    } else {
        trace("setSampleRate %g", rate);
        dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    }
    if (how & 2) {
        trace("resume");
        dispatch(effMainsChanged, 0, 1, nullptr, 0);
    }
}

void Session::blockSize() {
    const VstIntPtr size = hostileBlockSize(in);
    trace("setBlockSize %ld", static_cast<long>(size));
    dispatch(effSetBlockSize, 0, size, nullptr, 0);
    if (size > 0) announcedBlock = size;
}

void Session::mainsChanged() {
    const uint8_t kind = in.byte();
    const VstIntPtr value = kind < 128 ? 1 : (kind < 250 ? 0 : hostileValue(in));
    trace("mainsChanged %ld", static_cast<long>(value));
    dispatch(effMainsChanged, 0, value, nullptr, 0);
}

// Events: up to eight records of any type, MIDI ones with any bytes, sometimes null
// entries or a count that is not a count.
void Session::events() {
    const uint8_t kind = in.byte();
    const int count = kind % 9;
    VstInt32 announced = count;
    if (kind >= 250) announced = kind == 255 ? std::numeric_limits<VstInt32>::min() : -1;
    const int listed = announced < 0 ? 0 : count;
    // The list with room for exactly its entries (the declared two at least).
    const std::size_t listSize = sizeof(VstEvents) + static_cast<std::size_t>(std::max(0, listed - 2)) * sizeof(VstEvent*);
    auto listMemory = std::make_unique<uint8_t[]>(listSize);
    auto* list = reinterpret_cast<VstEvents*>(listMemory.get());
    list->numEvents = announced;
    list->reserved = 0;
    std::vector<std::unique_ptr<uint8_t[]>> records;
    std::vector<std::unique_ptr<char[]>> dumps;
    VstEvent** entries = eventEntries(*list);
    for (int e = 0; e < listed; ++e) {
        const uint8_t shape = in.byte();
        if (shape == 0xFF) {
            entries[e] = nullptr;
            continue;
        }
        const VstInt32 type = in.pick(kEventTypes);
        const std::size_t size = type == kVstSysExType ? sizeof(VstMidiSysexEvent) : sizeof(VstEvent);
        records.push_back(std::make_unique<uint8_t[]>(size));
        uint8_t* record = records.back().get();
        auto* event = reinterpret_cast<VstEvent*>(record);
        event->type = type;
        event->byteSize = (shape & 1) ? static_cast<VstInt32>(size - 8) : static_cast<VstInt32>(in.u32());
        const uint8_t when = in.byte();
        if (when < 128)
            event->deltaFrames = static_cast<VstInt32>(when % 64);
        else if (when < 240)
            event->deltaFrames = hostileIndex(in, static_cast<VstInt32>(std::min<VstIntPtr>(announcedBlock, 1 << 20)));
        else
            event->deltaFrames = static_cast<VstInt32>(in.u32());
        event->flags = (shape & 2) ? 1 : 0;
        if (type == kVstSysExType) {
            auto* sysex = reinterpret_cast<VstMidiSysexEvent*>(record);
            const int n = static_cast<int>(in.below(65));
            dumps.push_back(std::make_unique<char[]>(static_cast<std::size_t>(std::max(n, 1))));
            for (int i = 0; i < n; ++i) dumps.back()[i] = static_cast<char>(in.byte());
            sysex->dumpBytes = n;
            sysex->sysexDump = n > 0 ? dumps.back().get() : nullptr;
        } else {
            auto* midi = reinterpret_cast<VstMidiEvent*>(record);
            midi->noteLength = (shape & 4) ? static_cast<VstInt32>(in.u32()) : 0;
            midi->noteOffset = (shape & 8) ? static_cast<VstInt32>(in.u32()) : 0;
            const uint8_t status = in.byte();
            // Mostly channel messages; every status byte and data byte is possible.
            midi->midiData[0] = static_cast<char>((shape & 16) ? status : (0x80 | status));
            midi->midiData[1] = static_cast<char>(in.byte());
            midi->midiData[2] = static_cast<char>(in.byte());
            midi->midiData[3] = static_cast<char>((shape & 32) ? in.byte() : 0);
            midi->detune = static_cast<char>((shape & 64) ? in.byte() : 0);
            midi->noteOffVelocity = static_cast<char>((shape & 64) ? in.byte() : 0);
        }
        entries[e] = event;
        trace("  event type %d delta %d bytes %02x %02x %02x", type, event->deltaFrames,
              static_cast<unsigned char>(record[24]), static_cast<unsigned char>(record[25]),
              static_cast<unsigned char>(record[26]));
    }
    trace("processEvents %d", announced);
    dispatch(effProcessEvents, 0, 0, list, 0);
}

void Session::fillTimeSlot(TimeSlot& slot) {
    const uint8_t kind = in.byte();
    if (kind % 5 == 0) {
        slot.info.reset();
        trace("  time slot: none");
        return;
    }
    slot.info = std::make_unique<VstTimeInfo>();
    slot.answered = false;
    VstTimeInfo& t = *slot.info;
    t.tempo = hostileTempo(in);
    t.ppqPos = hostilePosition(in);
    t.flags = (kind & 0x80) ? static_cast<VstInt32>(in.u32()) : in.pick(kTimeFlags);
    slot.ppqStep = (kind & 0x40) ? in.pick(kPositionSteps) : 0.0;
    t.samplePos = (kind & 0x20) ? hostilePosition(in) : 0.0;
    t.sampleRate = (kind & 0x10) ? hostileTempo(in) : 44100.0;
    t.barStartPos = (kind & 0x08) ? hostilePosition(in) : 0.0;
    t.cycleStartPos = (kind & 0x04) ? hostilePosition(in) : 0.0;
    t.cycleEndPos = (kind & 0x04) ? hostilePosition(in) : 0.0;
    t.timeSigNumerator = (kind & 0x02) ? in.pick(kTimeSigParts) : 4;
    t.timeSigDenominator = (kind & 0x02) ? in.pick(kTimeSigParts) : 4;
    t.nanoSeconds = 0.0;
    t.smpteOffset = 0;
    t.smpteFrameRate = 0;
    t.samplesToNextClock = 0;
    trace("  time slot: tempo %g ppq %g (step %g) flags %#x", t.tempo, t.ppqPos, slot.ppqStep,
          static_cast<unsigned>(t.flags));
}

void Session::transport() {
    host.timeSlots = 1 + in.byte() % 4;
    host.nextSlot = 0;
    trace("transport: %d slots", host.timeSlots);
    for (int s = 0; s < host.timeSlots; ++s) fillTimeSlot(host.time[static_cast<std::size_t>(s)]);
}

// Audio -------------------------------------------------------------------------------

int Session::pickFrames() {
    const uint8_t kind = in.byte();
    const long announced = static_cast<long>(std::clamp<VstIntPtr>(announcedBlock, 1, kMaxFramesPerCall));
    const long limit = std::min<long>(4 * announced, kMaxFramesPerCall);
    switch (kind % 4) {
        case 0: return 1 + static_cast<int>(in.below(64));
        case 1: return 1 + static_cast<int>(in.below(static_cast<uint32_t>(announced)));
        case 2: return 1 + static_cast<int>(in.below(static_cast<uint32_t>(limit)));
        default: {
            const long special[] = {0, -1, std::numeric_limits<VstInt32>::min(), announced, announced + 1,
                                    2 * announced, 1 << 16, (1 << 16) + 1, 1};
            return static_cast<int>(std::min(in.pick(special), limit));
        }
    }
}

void Session::processCall(bool accumulate) {
    int frames = pickFrames();
    // Past the session's share of audio the call is still read from the input (so what
    // follows keeps its meaning) but not made.
    const bool spent = frames > 0 && framesLeft <= 0;
    if (spent) frames = 0;
    if (frames > 0) {
        frames = static_cast<int>(std::min<long>(frames, framesLeft));
        framesLeft -= frames;
    }
    const uint8_t layout = in.byte();
    const std::size_t ins = static_cast<std::size_t>(effect->numInputs);
    const std::size_t outs = static_cast<std::size_t>(effect->numOutputs);
    const std::size_t n = static_cast<std::size_t>(std::max(frames, 0));
    // Every channel and both pointer arrays exactly as long as the call and the record
    // say: a read or write past them is an overrun the sanitizer reports.
    std::vector<std::unique_ptr<float[]>> inputs(ins), outputs(outs);
    for (auto& c : inputs) c = std::make_unique<float[]>(n);
    for (auto& c : outputs) c = std::make_unique<float[]>(n);
    fillSignal(in, inputs, static_cast<int>(n));
    auto inPointers = std::make_unique<float*[]>(ins);
    auto outPointers = std::make_unique<float*[]>(outs);
    for (std::size_t c = 0; c < ins; ++c) inPointers[c] = inputs[c].get();
    for (std::size_t c = 0; c < outs; ++c) outPointers[c] = outputs[c].get();
    // Processing in place, one buffer behind both inputs (a mono source), or pointers
    // missing altogether.
    const bool inPlace = layout >= 200 && layout < 230;
    const bool sharedInput = layout >= 230 && layout < 245 && ins > 1;
    const bool nullArray = layout >= 245 && layout < 250;
    const bool nullChannel = layout >= 250;
    if (inPlace)
        for (std::size_t c = 0; c < std::min(ins, outs); ++c) outPointers[c] = inPointers[c];
    if (sharedInput)
        for (std::size_t c = 1; c < ins; ++c) inPointers[c] = inPointers[0];
    // Replacing must overwrite every sample, so its outputs start as NaN; accumulating
    // adds to whatever is there.
    for (std::size_t c = 0; c < outs; ++c)
        if (!inPlace || c >= ins) std::fill(outputs[c].get(), outputs[c].get() + n, accumulate ? 0.25f : kNaN);
    float** inArg = inPointers.get();
    float** outArg = outPointers.get();
    if (nullArray) (layout & 1 ? inArg : outArg) = nullptr;
    if (nullChannel) {
        if ((layout & 1) && ins > 0)
            inPointers[in.below(static_cast<uint32_t>(ins))] = nullptr;
        else if (outs > 0) outPointers[in.below(static_cast<uint32_t>(outs))] = nullptr;
    }

    bool bad = false;
    for (std::size_t c = 0; c < ins; ++c)
        for (std::size_t i = 0; i < n; ++i) {
            const float x = inputs[c][i];
            if (!(std::fabs(x) <= kBound)) bad = true;
        }
    trace("%s %d frames, layout %u%s", accumulate ? "process" : "processReplacing", frames, layout,
          spent ? ", not made: audio budget spent" : (bad ? ", bad input" : ""));
    if (spent) return;
    (accumulate ? effect->process : effect->processReplacing)(effect, inArg, outArg, frames);

    const bool whole = n > 0 && !nullArray && !nullChannel;
    if (!whole) return;
    if (bad) {
        everBad = true;
        cleanCallsSinceBad = 0;
        return;
    }
    if (!everBad || cleanCallsSinceBad >= 1) {
        for (std::size_t c = 0; c < outs; ++c) {
            const float* out = outPointers[c];
            for (std::size_t i = 0; i < n; ++i)
                FUZZ_CHECK(std::isfinite(out[i]), "output %zu sample %zu of %d is %g after %s input", c, i, frames,
                           out[i], everBad ? "recovering from bad" : "only clean");
        }
    }
    ++cleanCallsSinceBad;
}

// Editor, identity, chunks, a second instance ----------------------------------------

void Session::editor() {
    const VstInt32 kOpcodes[] = {effEditGetRect, effEditOpen,     effEditIdle,    effEditClose,
                                 effEditDraw,    effEditMouse,    effEditKey,     effEditTop,
                                 effEditSleep,   effEditKeyDown,  effEditKeyUp,   effSetEditKnobMode};
    const VstInt32 opcode = in.pick(kOpcodes);
    const VstInt32 index = static_cast<VstInt32>(in.u16());
    const VstIntPtr value = hostileValue(in);
    dispatchWithShape(opcode, index, value, hostileFloat(in));
}

void Session::identity() {
    const VstInt32 kOpcodes[] = {effGetEffectName,      effGetVendorString,         effGetProductString,
                                 effGetVendorVersion,   effGetPlugCategory,         effGetVstVersion,
                                 effGetTailSize,        effGetInputProperties,      effGetOutputProperties,
                                 effGetVu,              effIdentify,                effGetNumProgramCategories,
                                 effCanBeAutomated,     effString2Parameter,        effGetErrorText,
                                 effGetNumMidiInputChannels, effGetNumMidiOutputChannels, effOpen,
                                 effSetBypass,          effStartProcess,            effStopProcess,
                                 effSetProcessPrecision, effGetParameterProperties};
    const VstInt32 opcode = in.pick(kOpcodes);
    const VstInt32 index = hostileIndex(in, effect->numParams);
    dispatchWithShape(opcode, index, hostileValue(in), 0.0f);
}

void Session::chunk() {
    const uint8_t kind = in.byte();
    const VstInt32 isPreset = (kind & 2) ? 1 : 0;
    if (kind & 1) {
        dispatchWithShape(effGetChunk, isPreset, 0, 0.0f);
        return;
    }
    if ((kind & 4) && !chunkCopy.empty()) {
        // A host restoring what the plug-in gave it before.
        std::vector<uint8_t> copy = chunkCopy;
        trace("setChunk (the plug-in's own, %zu bytes)", copy.size());
        dispatch(effSetChunk, isPreset, static_cast<VstIntPtr>(copy.size()), copy.data(), 0);
        return;
    }
    dispatchWithShape(effSetChunk, isPreset, 0, 0.0f);
}

void Session::sibling() {
    trace("sibling instance");
    AEffect* other = create();
    FUZZ_CHECK(other != nullptr, "no second instance");
    FUZZ_CHECK(other != effect, "the second instance shares the first one's record");
    const float rate = hostileSampleRate(in);
    other->dispatcher(other, effOpen, 0, 0, nullptr, 0);
    other->dispatcher(other, effSetSampleRate, 0, 0, nullptr, rate);
    other->dispatcher(other, effSetBlockSize, 0, 64, nullptr, 0);
    other->dispatcher(other, effMainsChanged, 0, 1, nullptr, 0);
    const std::size_t ins = static_cast<std::size_t>(std::clamp(other->numInputs, 0, kMaxChannels));
    const std::size_t outs = static_cast<std::size_t>(std::clamp(other->numOutputs, 0, kMaxChannels));
    std::vector<std::vector<float>> inputs(ins, std::vector<float>(64, 0.5f));
    std::vector<std::vector<float>> outputs(outs, std::vector<float>(64, kNaN));
    std::vector<float*> inPointers, outPointers;
    for (auto& c : inputs) inPointers.push_back(c.data());
    for (auto& c : outputs) outPointers.push_back(c.data());
    other->processReplacing(other, inPointers.data(), outPointers.data(), 64);
    for (const auto& c : outputs)
        for (float x : c) FUZZ_CHECK(std::isfinite(x), "second instance output %g", x);
    other->dispatcher(other, effMainsChanged, 0, 0, nullptr, 0);
    other->dispatcher(other, effClose, 0, 0, nullptr, 0);
    host.records.erase(std::find(host.records.begin(), host.records.end(), other));
}

}  // namespace
}  // namespace orvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return orvex::fuzz::runSession<orvex::fuzz::Session>(data, size);
}
