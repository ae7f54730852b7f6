// A hostile LV2 host for libFuzzer, linked with one plug-in's objects and its LV2 face
// (host/lv2face.cpp). Every input is one session: a header sets up the instantiation,
// and the rest of the input is read as host actions, one byte choosing each (the
// `Action` slots) and the following bytes its arguments:
//   header   the rate (hostileRate: a byte, a raw double after some), the feature
//            bits (`Features`: a byte), with kStateMaxBlock the maximum block (a byte,
//            a raw u32 after some), with kMaxBlockMistyped how it is wrong (a byte)
//   actions  connect an audio port to a buffer of its own, to another port's buffer
//            (in place, shared inputs, shared outputs) or to null; connect any control
//            port number to one of the host's control values or to null; set a control
//            value to anything; connect the atom inputs (both to the one sequence the
//            host writes) or not; write that sequence
//            (well-formed time:Position and MIDI events and garbage of every kind);
//            run 0 up to a few times the stated maximum frames; activate and
//            deactivate in any order; extension_data with any URI; a second instance
//            made, run and cleaned up; cleanup, which ends the session.
//
// Whatever the session does, the face must not crash, read or write past a buffer,
// leak, hang or trip the sanitizers, and these hold (a broken one aborts):
// - instantiate answers every rate a host runs at (8 kHz to 768 kHz) with an instance;
// - every output sample of a run is written (outputs start as a NaN no arithmetic
//   makes), on whichever output is connected, whatever else is;
// - outputs are finite after a run whose audio input was finite and bounded, whatever
//   the controls and the atom input said, with the VST 2.x driver's allowance: after a
//   run with non-finite or unbounded input, the first clean run goes unchecked;
// - extension_data answers null to a URI it does not know, and its own description
//   to ours;
// - the floating-point modes come back as the host had them.
//
// The input layout is kept stable so that the committed corpus (seeds-lv2,
// regressions-lv2) keeps its meaning: a new action takes the next free slot, new
// arguments go after the existing ones. ORVEX_FUZZ_TRACE=1 prints every action.
//
// Threads: everything runs on the fuzzer's one thread, playing the host's loading
// thread (instantiate, activate, connect, cleanup) and its audio thread (run) in turn.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

#include "host/lv2face.h"
#include "host/reading.h"
#include "hostile.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace orvex::fuzz {
namespace {

// The samples one session may run in all, and in one run: bounds the time of an input
// however it repeats its runs.
constexpr long kFrameBudget = 1L << 17;
constexpr uint32_t kMostFramesPerRun = 1u << 17;
// The maximum block the face assumes when the host states none (host/lv2face.cpp).
constexpr int64_t kUnstatedBlock = 4096;
// Control values beyond the plug-in's ports, for ports connected by wrong numbers.
constexpr std::size_t kSpareControls = 4;
// A NaN with a payload no arithmetic produces: an output sample still holding it was
// not written.
const float kUnwritten = std::bit_cast<float>(0x7FA5A5A5u);
bool unwritten(float x) { return std::bit_cast<uint32_t>(x) == 0x7FA5A5A5u; }

// What the plug-in's table says about its parameters, read once from an effect of its
// own: how many control ports there are, and each one's range and default in its unit.
struct Table {
    struct Control {
        float minimum, maximum, initial;
    };
    std::vector<Control> controls;

    Table() {
        std::unique_ptr<EffectShell> effect(createEffectWithoutEditor(lv2FaceCallback));
        FUZZ_CHECK(effect != nullptr, "the plug-in makes no effect");
        for (int p = 0; p < effect->numParams(); ++p) {
            const Reading& reading = readingOf(effect->parameterInfo(p));
            controls.push_back({reading.minimum, reading.maximum, unitOfValue(reading, effect->getParameter(p))});
        }
    }
};

const Table& table() {
    static const Table instance;
    return instance;
}

constexpr double kDoubleNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDoubleInf = std::numeric_limits<double>::infinity();

const double kRates[] = {44100.0, 48000.0,  96000.0, 192000.0,  22050.0, 8000.0,    768000.0, 11025.0,
                         1.0,     0.5,      1e-300,  4.9e-324,  0.0,     -0.0,      -44100.0, kDoubleNaN,
                         kDoubleInf, -kDoubleInf, 1e7, 1e7 + 1, 1e9,     1e300,     std::numeric_limits<double>::max(),
                         384000.0, 88200.0, 3.4e38, 1000.0};

double hostileRate(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 224) return kRates[kind % std::size(kRates)];
    return in.rawDouble();
}

// A value for a double in an atom: the transport's ordinary values and nonsense.
const double kAtomNumbers[] = {0.0,  1.0,   -1.0,  0.5,   2.0,    3.0,   4.0,    7.0,    8.0,   16.0,  120.0,
                               93.75, 10000.0, 10000.5, 1024.0, 1025.0, 1e15, 1e16, 2147483648.0, -9.3e18,
                               1e300, -1e300, kDoubleNaN, kDoubleInf, -kDoubleInf, 4.9e-324, 1e-300, 0.999999};

double hostileNumber(Input& in) {
    const uint8_t kind = in.byte();
    if (kind < 160) return kAtomNumbers[kind % std::size(kAtomNumbers)];
    if (kind < 230) return static_cast<int32_t>(in.u32()) / 256.0;
    return in.rawDouble();
}

// Bits of the header's second byte: which features instantiate is given.
enum Features : uint8_t {
    kGiveMap = 1,           // urid:map
    kMapFails = 2,          // ... which maps every URI to 0
    kGiveOptions = 4,       // options
    kStateMaxBlock = 8,     // ... stating the maximum block (then a u32 follows)
    kMaxBlockMistyped = 16, // ... as a Long, or an Int of the wrong size or without a value
    kNoFeatureList = 32,    // a null feature list
    kMapWithoutData = 64,   // a urid:map feature whose data is null
    kNoBundlePath = 128,
};

// The host's URID map, always there for the host's own atoms; whether the plug-in is
// given it is the session's choice.
struct UridMap {
    std::vector<std::string> uris;
    bool fails = false;
    LV2_URID_Map feature{this, &UridMap::mapThunk};

    LV2_URID id(const char* uri) {
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    static LV2_URID mapThunk(LV2_URID_Map_Handle handle, const char* uri) {
        auto* map = static_cast<UridMap*>(handle);
        FUZZ_CHECK(uri != nullptr, "urid:map asked to map a null URI");
        return map->fails ? 0 : map->id(uri);
    }
};

enum class Route : uint8_t { kUnset, kNull, kOwn, kAlias };

// An audio port as the host connected it: never, to null, to a buffer of its own, or
// to another port's buffer.
struct AudioPort {
    Route route = Route::kUnset;
    int alias = 0;  // the port whose buffer it shares
};

enum Action : uint8_t {
    kConnectAudio = 0,
    kConnectControl,
    kSetControl,
    kConnectEvents,
    kWriteEvents,
    kRun,
    kActivate,
    kDeactivate,
    kExtensionData,
    kSibling,     // a second instance made, run a little and cleaned up
    kConnectAll,  // every port to a buffer of its own, as an ordinary host does
    kCleanup,     // ends the session
    // An action is the byte modulo the slots; the slots no action takes do nothing.
    kSlots = 32,
};

class Session {
public:
    explicit Session(Input& in) : in(in) {}
    ~Session() {
        if (instance) cleanup();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run();

private:
    void step(uint8_t action);
    void cleanup();
    void connectAudio();
    void connectControl();
    void setControl();
    void connectEvents();
    void attachEvents(bool connect);
    void writeEvents();
    void runCall();
    void extensionData();
    void sibling();
    void connectAll();

    uint32_t pickFrames();
    void writePosition(std::vector<uint8_t>& body);
    void writeAtom(std::vector<uint8_t>& out, LV2_URID type, const void* body, uint32_t size);
    // The host's one sequence goes to both atom inputs (MIDI, transport), as a host that
    // hands every input all it has: the face takes from each what it reads there.
    void plugEvents(void* data) {
        for (uint32_t i = 0; i < kLv2AtomInputCount; ++i) descriptor->connect_port(instance, eventsPort() + i, data);
    }
    void reconnectEvents() {
        if (eventsConnected) plugEvents(events.get());
    }
    uint32_t eventsPort() const { return kLv2FirstControl + static_cast<uint32_t>(table().controls.size()); }

    Input& in;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle instance = nullptr;
    UridMap map;
    unsigned controlRegister = 0;
    int64_t statedBlock = kUnstatedBlock;
    long framesLeft = kFrameBudget;
    bool everBad = false;
    int cleanRunsSinceBad = 0;
    std::array<AudioPort, 4> audio;
    std::array<std::unique_ptr<float[]>, 4> buffers;
    // The host's control values: one per control port and a few spare.
    std::unique_ptr<float[]> controls;
    std::unique_ptr<uint8_t[]> events;  // exactly as long as the sequence says
    bool eventsConnected = false;
};

void Session::run() {
    controlRegister = controlModes();
    descriptor = lv2_descriptor(0);
    FUZZ_CHECK(descriptor && descriptor->URI && std::strcmp(descriptor->URI, ORVEX_LV2_URI) == 0,
               "lv2_descriptor(0) is not " ORVEX_LV2_URI);
    FUZZ_CHECK(lv2_descriptor(1) == nullptr && lv2_descriptor(UINT32_MAX) == nullptr, "more than one descriptor");
    const std::size_t count = table().controls.size();
    controls = std::make_unique<float[]>(count + kSpareControls);
    for (std::size_t p = 0; p < count + kSpareControls; ++p)
        controls[p] = p < count ? table().controls[p].initial : 0.0f;

    // Header.
    const double rate = hostileRate(in);
    const uint8_t features = in.byte();
    int32_t maxBlock = 0;
    if (features & kStateMaxBlock) {
        const uint8_t kind = in.byte();
        const int32_t kBlocks[] = {512, 1, 0, -1, 64, 4096, 4097, 8192, 1 << 16, 1 << 20, INT32_MAX, INT32_MIN, 3, 1000};
        maxBlock = kind < 200 ? kBlocks[kind % std::size(kBlocks)] : static_cast<int32_t>(in.u32());
    }
    map.fails = (features & kMapFails) != 0;
    const LV2_URID intType = map.id(LV2_ATOM__Int);
    int64_t blockValue = maxBlock;  // a Long's room, of which an Int reads the low half
    LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, map.id(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &blockValue},
        {LV2_OPTIONS_INSTANCE, 0, map.id(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &blockValue},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    if (!(features & kStateMaxBlock)) options[1].key = map.id(LV2_BUF_SIZE__nominalBlockLength);
    if (features & kMaxBlockMistyped) {
        const uint8_t how = in.byte() % 3;
        if (how == 0) options[1].type = map.id(LV2_ATOM__Long), options[1].size = sizeof(int64_t);
        if (how == 1) options[1].size = sizeof(int64_t);
        if (how == 2) options[1].value = nullptr;
    }
    const LV2_Feature mapFeature{LV2_URID__map, (features & kMapWithoutData) ? nullptr : &map.feature};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    const LV2_Feature unknownFeature{"urn:harmoxel:fuzz#nothing", nullptr};
    std::vector<const LV2_Feature*> list = {&unknownFeature};
    if (features & (kGiveMap | kMapWithoutData)) list.push_back(&mapFeature);
    if (features & kGiveOptions) list.push_back(&optionsFeature);
    list.push_back(nullptr);
    // What the face takes as the longest run it was promised.
    const bool stated = (features & kGiveMap) && !(features & (kMapFails | kMapWithoutData)) &&
                        (features & kGiveOptions) && (features & kStateMaxBlock) && !(features & kMaxBlockMistyped) &&
                        maxBlock > 0;
    statedBlock = stated ? maxBlock : kUnstatedBlock;
    trace("instantiate at %g Hz, features %#x, maximum block %d", rate, features, maxBlock);
    instance = descriptor->instantiate(descriptor, rate, (features & kNoBundlePath) ? nullptr : "/nowhere/",
                                       (features & kNoFeatureList) ? nullptr : list.data());
    FUZZ_CHECK(controlModes() == controlRegister, "instantiate left the floating-point modes at %#x", controlModes());
    if (rate >= 8000.0 && rate <= 768000.0) FUZZ_CHECK(instance != nullptr, "no instance at %g Hz", rate);
    if (!instance) return;

    while (instance && !in.empty()) {
        step(in.byte());
        FUZZ_CHECK(controlModes() == controlRegister, "floating-point modes left at %#x (host had %#x)",
                   controlModes(), controlRegister);
    }
}

void Session::step(uint8_t byte) {
    switch (byte % kSlots) {
        case kConnectAudio: connectAudio(); break;
        case kConnectControl: connectControl(); break;
        case kSetControl: setControl(); break;
        case kConnectEvents: connectEvents(); break;
        case kWriteEvents: writeEvents(); break;
        case kRun: runCall(); break;
        case kActivate:
            trace("activate");
            descriptor->activate(instance);
            break;
        case kDeactivate:
            trace("deactivate");
            descriptor->deactivate(instance);
            break;
        case kExtensionData: extensionData(); break;
        case kSibling: sibling(); break;
        case kConnectAll: connectAll(); break;
        case kCleanup: cleanup(); break;
        default: break;
    }
}

void Session::cleanup() {
    trace("cleanup");
    LV2_Handle closing = instance;
    instance = nullptr;
    descriptor->cleanup(closing);
}

// Ports ---------------------------------------------------------------------------

// Audio ports are connected for real just before each run, to buffers exactly as long
// as the run; what is chosen here is where each one goes.
void Session::connectAudio() {
    const int port = in.byte() % 4;
    const uint8_t how = in.byte();
    AudioPort& p = audio[static_cast<std::size_t>(port)];
    if (how < 128 || port == 0) {
        p.route = how % 8 == 7 ? Route::kNull : Route::kOwn;
    } else {
        // Another port's buffer: an earlier one, so that no chain loops.
        p.route = Route::kAlias;
        p.alias = static_cast<int>(in.below(static_cast<uint32_t>(port)));
    }
    if (p.route == Route::kAlias)
        trace("audio port %d: port %d's buffer", port, p.alias);
    else
        trace("audio port %d: %s", port, p.route == Route::kNull ? "null" : "a buffer of its own");
}

void Session::connectControl() {
    const std::size_t count = table().controls.size();
    const uint8_t kind = in.byte();
    uint32_t port;
    if (kind < 200)
        port = kLv2FirstControl + in.below(static_cast<uint32_t>(count));
    else if (kind < 240)
        port = eventsPort() + static_cast<uint32_t>(kLv2AtomInputCount) + in.byte() % 8;  // past the atom inputs
    else
        port = std::max(in.u32(), eventsPort() + static_cast<uint32_t>(kLv2AtomInputCount));  // never an audio or atom port
    const uint8_t target = in.byte();
    float* data = target == 0xFF ? nullptr : &controls[in.below(static_cast<uint32_t>(count + kSpareControls))];
    trace("connect control port %u to %s", port, data ? "a value" : "null");
    descriptor->connect_port(instance, port, data);
}

void Session::setControl() {
    const std::size_t count = table().controls.size();
    const std::size_t slot = in.below(static_cast<uint32_t>(count + kSpareControls));
    const Table::Control range = slot < count ? table().controls[slot] : Table::Control{0.0f, 1.0f, 0.0f};
    const uint8_t kind = in.byte();
    float value;
    if (kind < 96)
        value = range.minimum + in.unit() * (range.maximum - range.minimum);
    else if (kind < 128)
        value = kind % 3 == 0 ? range.minimum : kind % 3 == 1 ? range.maximum : range.initial;
    else if (kind < 160)
        value = std::round(range.minimum + in.unit() * (range.maximum - range.minimum));  // a choice's entry
    else
        value = hostileFloat(in);
    trace("control value %zu = %g", slot, value);
    controls[slot] = value;
}

void Session::connectEvents() {
    attachEvents(in.byte() < 224);
}

void Session::attachEvents(bool connect) {
    eventsConnected = connect;
    if (eventsConnected && !events) {
        // An empty sequence until the host writes one.
        events = std::make_unique<uint8_t[]>(sizeof(LV2_Atom_Sequence));
        LV2_Atom_Sequence sequence{{sizeof(LV2_Atom_Sequence_Body), map.id(LV2_ATOM__Sequence)}, {0, 0}};
        std::memcpy(events.get(), &sequence, sizeof sequence);
    }
    trace("atom input %s", eventsConnected ? "connected" : "null");
    plugEvents(eventsConnected ? events.get() : nullptr);
}

void Session::connectAll() {
    trace("connect every port");
    for (auto& p : audio) p.route = Route::kOwn;
    const std::size_t count = table().controls.size();
    for (std::size_t p = 0; p < count; ++p)
        descriptor->connect_port(instance, kLv2FirstControl + static_cast<uint32_t>(p), &controls[p]);
    if (!eventsConnected) attachEvents(true);
}

// The atom input ------------------------------------------------------------------

void Session::writeAtom(std::vector<uint8_t>& out, LV2_URID type, const void* body, uint32_t size) {
    const LV2_Atom atom{size, type};
    const auto* head = reinterpret_cast<const uint8_t*>(&atom);
    out.insert(out.end(), head, head + sizeof atom);
    const auto* bytes = static_cast<const uint8_t*>(body);
    out.insert(out.end(), bytes, bytes + size);
    out.resize((out.size() + 7) & ~std::size_t{7}, 0);
}

// A time:Position object's body (or another object's): up to ten properties, the
// transport's keys or any, each value of the type the key takes or another, of its
// size or not, or an object itself.
void Session::writePosition(std::vector<uint8_t>& body) {
    const uint8_t kind = in.byte();
    const LV2_URID otype = kind < 200 ? map.id(LV2_TIME__Position) : (kind < 230 ? map.id(LV2_ATOM__Object) : in.u32());
    const LV2_Atom_Object_Body head{kind % 5 == 0 ? in.u32() : 0, otype};
    const auto* h = reinterpret_cast<const uint8_t*>(&head);
    body.insert(body.end(), h, h + sizeof head);
    const char* const kKeys[] = {LV2_TIME__beatsPerMinute, LV2_TIME__bar,      LV2_TIME__barBeat, LV2_TIME__beat,
                                 LV2_TIME__beatsPerBar,    LV2_TIME__beatUnit, LV2_TIME__frame,   LV2_TIME__speed,
                                 LV2_TIME__Position,       LV2_ATOM__Int};
    const int properties = in.byte() % 11;
    for (int i = 0; i < properties; ++i) {
        const uint8_t shape = in.byte();
        const LV2_URID key = shape < 240 ? map.id(in.pick(kKeys)) : in.u32();
        const uint32_t context = 0;
        const auto* k = reinterpret_cast<const uint8_t*>(&key);
        const auto* c = reinterpret_cast<const uint8_t*>(&context);
        body.insert(body.end(), k, k + 4);
        body.insert(body.end(), c, c + 4);
        const double number = hostileNumber(in);
        switch (in.byte() % 8) {
            case 0: {
                const float f = static_cast<float>(number);
                writeAtom(body, map.id(LV2_ATOM__Float), &f, sizeof f);
                break;
            }
            case 1: writeAtom(body, map.id(LV2_ATOM__Double), &number, sizeof number); break;
            case 2: {
                const int32_t n = std::isfinite(number) && std::fabs(number) < 2e9 ? static_cast<int32_t>(number) : 0;
                writeAtom(body, map.id(LV2_ATOM__Int), &n, sizeof n);
                break;
            }
            case 3: {
                const int64_t n = std::isfinite(number) && std::fabs(number) < 9e18 ? static_cast<int64_t>(number) : -1;
                writeAtom(body, map.id(LV2_ATOM__Long), &n, sizeof n);
                break;
            }
            case 4: {  // a number of the wrong size for its type
                const uint8_t room[8] = {};
                writeAtom(body, map.id(in.byte() & 1 ? LV2_ATOM__Float : LV2_ATOM__Double), room, 1 + in.byte() % 8);
                break;
            }
            case 5: {  // an object where a number belongs
                std::vector<uint8_t> inner;
                const LV2_Atom_Object_Body innerHead{0, map.id(LV2_TIME__Position)};
                const auto* ih = reinterpret_cast<const uint8_t*>(&innerHead);
                inner.insert(inner.end(), ih, ih + sizeof innerHead);
                const LV2_URID innerKey = map.id(LV2_TIME__beatsPerMinute);
                const auto* ik = reinterpret_cast<const uint8_t*>(&innerKey);
                inner.insert(inner.end(), ik, ik + 4);
                inner.insert(inner.end(), c, c + 4);
                writeAtom(inner, map.id(LV2_ATOM__Double), &number, sizeof number);
                writeAtom(body, map.id(LV2_ATOM__Object), inner.data(), static_cast<uint32_t>(inner.size()));
                break;
            }
            case 6: {  // a string, a bool or any type
                const char* text = "120";
                const LV2_URID type = in.byte() % 3 == 0 ? map.id(LV2_ATOM__String)
                                                         : (in.byte() & 1 ? map.id(LV2_ATOM__Bool) : in.u32());
                writeAtom(body, type, text, 4);
                break;
            }
            default: {  // a value whose size runs past the object
                const LV2_Atom atom{in.u32(), map.id(LV2_ATOM__Double)};
                const auto* a = reinterpret_cast<const uint8_t*>(&atom);
                body.insert(body.end(), a, a + sizeof atom);
                break;
            }
        }
    }
}

// A sequence of up to eight events, replacing what the atom input held: time stamps in
// order, repeated, backwards, negative or far past the run; MIDI of every length and
// status; time:Position objects; garbage; any event's size a lie now and again, and
// the sequence's own size shorter than what it holds. Its buffer is exactly as long as
// the sequence says, so a read past it is an overrun the sanitizer reports.
void Session::writeEvents() {
    const uint8_t header = in.byte();
    const LV2_URID type = header % 8 == 7 ? (header & 8 ? map.id(LV2_ATOM__Object) : in.u32()) : map.id(LV2_ATOM__Sequence);
    const LV2_URID kUnits[] = {0, map.id(LV2_ATOM__frameTime), map.id(LV2_ATOM__beatTime), 12345};
    const LV2_Atom_Sequence_Body sequenceBody{in.pick(kUnits), 0};
    std::vector<uint8_t> bytes(sizeof(LV2_Atom));
    const auto* sb = reinterpret_cast<const uint8_t*>(&sequenceBody);
    bytes.insert(bytes.end(), sb, sb + sizeof sequenceBody);
    const int count = in.byte() % 9;
    int64_t stamp = 0;
    trace("atom input: %d events", count);
    for (int e = 0; e < count; ++e) {
        const uint8_t when = in.byte();
        // Steps wrap round, as a host's stamps would, rather than overflow.
        const auto step = [&stamp](int64_t by) {
            stamp = static_cast<int64_t>(static_cast<uint64_t>(stamp) + static_cast<uint64_t>(by));
        };
        if (when < 128)
            step(in.below(static_cast<uint32_t>(std::min<int64_t>(statedBlock, 1 << 16)) + 1));
        else if (when < 160)
            step(-static_cast<int64_t>(in.below(64)));
        else if (when < 240)
            stamp = in.pick({int64_t{0}, int64_t{-1}, int64_t{1} << 20, int64_t{INT32_MAX}, int64_t{UINT32_MAX},
                             int64_t{UINT32_MAX} + 1, INT64_MAX, INT64_MIN, statedBlock, statedBlock - 1});
        else
            stamp = static_cast<int64_t>(in.u64());
        std::vector<uint8_t> body;
        LV2_URID bodyType = 0;
        const uint8_t what = in.byte() % 8;
        if (what < 2) {
            // A channel message of its length, mostly; any status and length now and again.
            const uint8_t status = in.byte();
            const std::size_t length = what == 0 ? 3 : 1 + in.byte() % 4;
            body.push_back(what == 0 ? static_cast<uint8_t>(0x80 | (status % 0x70)) : status);
            for (std::size_t i = 1; i < length; ++i) body.push_back(in.byte() & 0x7F);
            bodyType = map.id(LV2_MIDI__MidiEvent);
        } else if (what < 5) {
            writePosition(body);
            bodyType = what == 4 ? map.id(LV2_ATOM__Blank) : map.id(LV2_ATOM__Object);
        } else {
            const std::size_t length = in.byte() % 48;
            for (std::size_t i = 0; i < length; ++i) body.push_back(in.byte());
            const char* const kTypes[] = {LV2_MIDI__MidiEvent, LV2_ATOM__Object, LV2_ATOM__Blank, LV2_ATOM__Sequence,
                                          LV2_ATOM__Float, LV2_TIME__Position};
            bodyType = what == 7 ? in.u32() : map.id(in.pick(kTypes));
        }
        const LV2_Atom_Event head{{stamp}, {static_cast<uint32_t>(body.size()), bodyType}};
        const std::size_t at = bytes.size();
        const auto* h = reinterpret_cast<const uint8_t*>(&head);
        bytes.insert(bytes.end(), h, h + sizeof head);
        bytes.insert(bytes.end(), body.begin(), body.end());
        const uint8_t lie = in.byte();
        if (lie >= 240) {
            // A size past the end of the sequence, or off by a little either way.
            const uint32_t kLies[] = {UINT32_MAX, UINT32_MAX - 7, 1u << 31, 4096, 0};
            uint32_t size = lie < 250 ? in.pick(kLies) : static_cast<uint32_t>(body.size()) + (lie & 1 ? 1 : -1);
            std::memcpy(bytes.data() + at + offsetof(LV2_Atom_Event, body) + offsetof(LV2_Atom, size), &size, sizeof size);
        }
        trace("  event at %lld: type %u, %zu bytes%s", static_cast<long long>(stamp), bodyType, body.size(),
              lie >= 240 ? ", size a lie" : "");
        if (e + 1 < count) bytes.resize((bytes.size() + 7) & ~std::size_t{7}, 0);
    }
    uint32_t size = static_cast<uint32_t>(bytes.size() - sizeof(LV2_Atom));
    if (in.byte() >= 240) size = in.below(size + 1);  // the sequence says less than it holds
    const LV2_Atom atom{size, type};
    std::memcpy(bytes.data(), &atom, sizeof atom);
    events = std::make_unique<uint8_t[]>(sizeof(LV2_Atom) + size);
    std::memcpy(events.get(), bytes.data(), sizeof(LV2_Atom) + size);
    reconnectEvents();
}

// Audio ------------------------------------------------------------------------------

uint32_t Session::pickFrames() {
    const uint8_t kind = in.byte();
    const int64_t most = std::min<int64_t>(4 * statedBlock, kMostFramesPerRun);
    const int64_t block = std::min<int64_t>(statedBlock, kMostFramesPerRun);
    switch (kind % 4) {
        case 0: return 1 + in.below(64);
        case 1: return 1 + in.below(static_cast<uint32_t>(block));
        case 2: return 1 + in.below(static_cast<uint32_t>(most));
        default: {
            const int64_t special[] = {0, block, block + 1, 2 * block, most, 1, 2, 3};
            return static_cast<uint32_t>(std::min(in.pick(special), most));
        }
    }
}

void Session::runCall() {
    uint32_t frames = pickFrames();
    const bool spent = frames > 0 && framesLeft <= 0;
    if (spent) frames = 0;
    frames = static_cast<uint32_t>(std::min<long>(frames, framesLeft));
    framesLeft -= frames;
    // Every buffer exactly as long as the run: a read or write past it is an overrun
    // the sanitizer reports.
    for (std::size_t p = 0; p < 4; ++p) {
        buffers[p].reset();
        if (audio[p].route == Route::kOwn) buffers[p] = std::make_unique<float[]>(frames);
    }
    std::array<float*, 4> pointers{};
    for (std::size_t p = 0; p < 4; ++p) {
        const AudioPort& port = audio[p];
        if (port.route == Route::kOwn) pointers[p] = buffers[p].get();
        if (port.route == Route::kAlias) pointers[p] = pointers[static_cast<std::size_t>(port.alias)];
    }
    // The host's signal on the inputs that have buffers of their own, outputs marked
    // unwritten.
    std::vector<std::unique_ptr<float[]>> signal(2);
    for (auto& c : signal) c = std::make_unique<float[]>(frames);
    fillSignal(in, signal, static_cast<int>(frames));
    for (std::size_t p = 0; p < 2; ++p)
        if (audio[p].route == Route::kOwn) std::copy(signal[p].get(), signal[p].get() + frames, pointers[p]);
    for (std::size_t p = 2; p < 4; ++p)
        if (audio[p].route == Route::kOwn) std::fill(pointers[p], pointers[p] + frames, kUnwritten);
    bool bad = false;
    for (std::size_t p = 0; p < 2; ++p)
        for (uint32_t i = 0; pointers[p] && i < frames; ++i)
            if (!(std::fabs(pointers[p][i]) <= kBound)) bad = true;
    for (std::size_t p = 0; p < 4; ++p)
        if (audio[p].route != Route::kUnset) descriptor->connect_port(instance, static_cast<uint32_t>(p), pointers[p]);
    trace("run %u frames%s", frames, spent ? ", not made: audio budget spent" : (bad ? ", bad input" : ""));
    if (spent) return;
    descriptor->run(instance, frames);

    for (std::size_t p = 2; p < 4; ++p)
        if (audio[p].route == Route::kOwn)
            for (uint32_t i = 0; i < frames; ++i)
                FUZZ_CHECK(!unwritten(pointers[p][i]), "output port %zu sample %u of %u not written", p, i, frames);
    if (frames == 0) return;
    if (bad) {
        everBad = true;
        cleanRunsSinceBad = 0;
        return;
    }
    if (!everBad || cleanRunsSinceBad >= 1) {
        for (std::size_t p = 2; p < 4; ++p)
            for (uint32_t i = 0; pointers[p] && i < frames; ++i)
                FUZZ_CHECK(std::isfinite(pointers[p][i]), "output port %zu sample %u of %u is %g after %s input", p, i,
                           frames, pointers[p][i], everBad ? "recovering from bad" : "only clean");
    }
    ++cleanRunsSinceBad;
}

// Extensions, a second instance ----------------------------------------------------

void Session::extensionData() {
    const char* const kKnown[] = {kLv2DescribeUri, LV2_STATE__interface, LV2_OPTIONS__interface,
                                  LV2_WORKER__interface, LV2_STATE__threadSafeRestore};
    const char* const kUnknown[] = {"urn:harmoxel:orvex#describ", "urn:harmoxel:orvex#describe ", "",
                                    "URN:HARMOXEL:ORVEX#DESCRIBE", LV2_URID__map, "urn:harmoxel:orvex:panner"};
    const uint8_t kind = in.byte();
    std::string text;
    const char* uri = nullptr;
    bool unknown = true;
    if (kind < 96) {
        uri = in.pick(kKnown);
        unknown = false;
    } else if (kind < 192) {
        uri = in.pick(kUnknown);
    } else if (kind < 255) {
        const std::size_t length = in.byte() % 64;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(1 + in.byte() % 255);
        uri = text.c_str();
        unknown = std::strcmp(uri, kLv2DescribeUri) != 0;  // no other known one is likely
    }
    trace("extension_data \"%s\"", uri ? uri : "(null)");
    const void* data = descriptor->extension_data(uri);
    if (unknown) FUZZ_CHECK(data == nullptr, "extension_data(\"%s\") is not null", uri ? uri : "(null)");
    if (uri && std::strcmp(uri, kLv2DescribeUri) == 0) {
        const auto* describe = static_cast<const Lv2Describe*>(data);
        FUZZ_CHECK(describe && describe->name && std::strcmp(describe->name, ORVEX_LV2_NAME) == 0,
                   "extension_data of our description gives another");
    }
}

void Session::sibling() {
    const double rate = in.pick(kRates);
    trace("second instance at %g Hz", rate);
    const LV2_Feature mapFeature{LV2_URID__map, &map.feature};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle other = descriptor->instantiate(descriptor, rate, "/nowhere/", features);
    if (!other) return;
    std::vector<float> in0(64, 0.5f), in1(64, -0.5f), out0(64, kUnwritten), out1(64, kUnwritten);
    std::vector<float> values(table().controls.size());
    for (std::size_t p = 0; p < values.size(); ++p) {
        values[p] = table().controls[p].initial;
        descriptor->connect_port(other, kLv2FirstControl + static_cast<uint32_t>(p), &values[p]);
    }
    float* ports[] = {in0.data(), in1.data(), out0.data(), out1.data()};
    for (uint32_t p = 0; p < 4; ++p) descriptor->connect_port(other, p, ports[p]);
    descriptor->activate(other);
    descriptor->run(other, 64);
    for (float x : out0) FUZZ_CHECK(std::isfinite(x), "second instance output %g", x);
    for (float x : out1) FUZZ_CHECK(std::isfinite(x), "second instance output %g", x);
    descriptor->deactivate(other);
    descriptor->cleanup(other);
}

}  // namespace
}  // namespace orvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return orvex::fuzz::runSession<orvex::fuzz::Session>(data, size);
}
