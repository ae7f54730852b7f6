// A plug-in with the faults a validator must find, each switched on by a word in the
// environment variable ORVEX_FAULT (read when an instance is made), so that the
// validator's tests can show that every check fails when it should. With no fault
// switched on it is a well-behaved gain with an editor that opens a plain window.
#include <sys/syscall.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xmmintrin.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/effectshell.h"
#include "host/entry.h"

extern "C" {
// glibc's own entry points, behind the back of whatever stands in front of malloc.
void* __libc_malloc(std::size_t);
void __libc_free(void*);
}

namespace orvex {
namespace {

bool fault(const char* word) {
    const char* all = std::getenv("ORVEX_FAULT");
    if (!all) return false;
    const std::string list = std::string(",") + all + ",";
    return list.find(std::string(",") + word + ",") != std::string::npos;
}

// State every instance shares: what a plug-in must never have.
float sharedLevel = 0.0f;
// The last picture the leaking editor lost hold of.
char* volatile leaked = nullptr;

// A subnormal number, told by its bits (the processor's denormals-are-zero mode makes
// it compare as zero).
bool subnormal(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7F800000u) == 0 && (bits & 0x007FFFFFu) != 0;
}

// A slow path worth nothing (a zero, or NaN if the arithmetic failed), as some filters
// take by accident.
float wastedWork(int i) {
    float y = static_cast<float>(i + 1);
    for (int k = 0; k < 8; ++k) y = std::sqrt(y + 1.0f);
    return y * 0.0f;
}

class FaultyEffect;
using Row = Parameter<FaultyEffect>;

class FaultyEditor : public AEffEditor {
public:
    explicit FaultyEditor(AudioEffect* effect)
        : AEffEditor(effect), noRect(fault("editor-norect")), leaks(fault("editor-leak")),
          staysOpen(fault("editor-stays")) {}
    ~FaultyEditor() override { FaultyEditor::close(); }

    bool getRect(ERect** r) override {
        if (noRect && !isOpen()) return false;
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        AEffEditor::open(parent);
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) return false;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window,
                          static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(parent)), 0, 0, rect.right,
                          rect.bottom, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection, window);
        xcb_flush(connection);
        if (leaks) {
            // A picture made again at every open and never released.
            leaked = static_cast<char*>(std::malloc(256 * 1024));
            if (leaked) std::memset(leaked, 1, 256 * 1024);
        }
        return true;
    }
    void close() override {
        if (connection) {
            if (!staysOpen) xcb_destroy_window(connection, window);
            xcb_flush(connection);
            // A window that should outlive its close stays only while its connection does.
            if (!staysOpen) xcb_disconnect(connection);
            connection = nullptr;
        }
        AEffEditor::close();
    }
    void idle() override {
        if (!connection) return;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
    }

private:
    ERect rect{0, 0, 120, 200};
    bool noRect, leaks, staysOpen;
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
};

class FaultyEffect : public TableEffect<FaultyEffect> {
public:
    explicit FaultyEffect(audioMasterCallback audioMaster);

    float gain = 1.0f;
    float stored[2] = {0.5f, 0.0f};

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void applyTempo(float bpm) override { tempo = bpm; }
    VstInt32 processEvents(VstEvents* events) override;
    void getProgramName(char* text) override;
    float getParameter(VstInt32 index) override;

public:
    void setParameter(VstInt32 index, float value) override;
    void setProgram(VstInt32 index) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

public:
    struct {
        bool alloc = fault("alloc"), lock = fault("lock"), syscall = fault("syscall"), nanAtOne = fault("nan-at-one"),
             crashOnNan = fault("crash-on-nan"), hangOnSysex = fault("hang-on-sysex"), shared = fault("shared-state"),
             perCall = fault("per-call"), poison = fault("poison"), slowSubnormal = fault("slow-subnormal"),
             quantise = fault("quantise"), restoreOrder = fault("restore-order"), longDisplay = fault("long-display"),
             tempoGain = fault("tempo-gain"), highRates = fault("high-rates"), subnormalOut = fault("subnormal-out"),
             programNames = fault("long-program-name");
        bool allocSometimes = fault("alloc-sometimes"), allocOnChange = fault("alloc-on-change"),
             libcMalloc = fault("libc-malloc"), nanMoment = fault("nan-moment"), fpuMode = fault("fpu-mode"),
             slowRate = fault("slow-rate");
        // Values read back an ulp off, as through units of its own, or five ulps of a
        // value near 1 off, whatever the value.
        bool ulpOff = fault("readback-1ulp"), fiveOff = fault("readback-5ulps");
    } faults;
    float tempo = 120.0f;

private:
    std::mutex mutex;
    float memory = 0.0f;  // a one-pole filter's state
    float callRamp = 0.0f;
    int calls = 0;
    // A switch-like change since the last call, once the processing has begun.
    std::atomic<bool> running{false}, changed{false};
};

const Row kParameters[] = {
    {{"Gain", "x ", 0.5f, 20},
     [](FaultyEffect& e, float v) { e.gain = 2.0f * v; },
     [](FaultyEffect& e, float v, char* text) {
         if (e.faults.longDisplay)
             std::snprintf(text, 64, "%.6f times the input level", 2.0f * v);
         else
             AudioEffect::float2string(2.0f * v, text);
     }},
    {{"Mode", "  ", 0.0f, 21},
     [](FaultyEffect& e, float v) { e.stored[1] = v; },
     [](FaultyEffect&, float v, char* text) { AudioEffect::float2string(v, text); }},
};

FaultyEffect::FaultyEffect(audioMasterCallback audioMaster)
    : TableEffect(audioMaster, EffectIdentity{fourCharCode('O', 'x', 'F', 'y'), 2, "Orvex Faulty", "Faulty", true, 0},
                  kParameters) {
    finishConstruction();
}

void FaultyEffect::setParameter(VstInt32 index, float value) {
    if (faults.crashOnNan && std::isnan(value)) *static_cast<volatile int*>(nullptr) = 1;
    // The gain may not exceed the mode: restored before the mode, it is cut short.
    if (faults.restoreOrder && index == 0) value = std::min(value, EffectShell::getParameter(1));
    // A moment of NaN where the audio thread reads the gain, before the real value.
    if (faults.nanMoment && index == 0 && !std::isnan(value)) *static_cast<volatile float*>(&gain) = NAN;
    // A parameter moved to an end of its range acts as a switch.
    if (running && (value <= 0.0f || value >= 1.0f)) changed = true;
    EffectShell::setParameter(index, value);
}

void FaultyEffect::setProgram(VstInt32 index) {
    if (running) changed = true;
    EffectShell::setProgram(index);
}

void FaultyEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    EffectShell::processReplacing(inputs, outputs, sampleFrames);
    // Rounding towards zero left on for the host.
    if (faults.fpuMode) _mm_setcsr(_mm_getcsr() | _MM_ROUND_TOWARD_ZERO);
}

void FaultyEffect::getProgramName(char* text) {
    if (faults.programNames)
        std::strcpy(text, "A program name far too long");
    else
        EffectShell::getProgramName(text);
}

float FaultyEffect::getParameter(VstInt32 index) {
    const float v = EffectShell::getParameter(index);
    float read = faults.quantise ? std::round(v * 8.0f) / 8.0f : v;
    if (faults.ulpOff) read = std::nextafter(read, 2.0f);
    if (faults.fiveOff) read += 5.0f / (1 << 24);
    return read;
}

VstInt32 FaultyEffect::processEvents(VstEvents* events) {
    if (faults.hangOnSysex && events)
        for (VstInt32 i = 0; i < events->numEvents; ++i)
            if (const VstEvent* e = eventEntries(*events)[i]; e && e->type == kVstSysExType)
                for (volatile bool forever = true; forever;) {
                }
    return EffectShell::processEvents(events);
}

void FaultyEffect::doProcess(float** inputs, float** outputs, int sampleFrames) {
    (void)outputs;
    trackHostTempo(kVstTempoValid | kVstPpqPosValid);
    std::vector<float>* scratch = nullptr;
    if (faults.alloc) scratch = new std::vector<float>(static_cast<std::size_t>(sampleFrames));
    // A buffer made again now and then, or when a switch changed.
    const bool sometimes = faults.allocSometimes && ++calls % 64 == 0;
    const bool onChange = faults.allocOnChange && changed.exchange(false);
    if (!scratch && (sometimes || onChange)) scratch = new std::vector<float>(1);
    running = true;
    if (faults.libcMalloc) __libc_free(__libc_malloc(64));
    const bool slowHere = faults.slowRate && getSampleRate() == 48000.0f;
    if (faults.lock) mutex.lock();
    if (faults.syscall) syscall(SYS_getppid);
    if (faults.perCall) callRamp = 0.0f;  // a ramp that starts again with every call
    float g = gain;
    if (faults.nanAtOne && gain >= 2.0f) g = NAN;
    if (faults.tempoGain) g *= tempo / 120.0f;
    if (faults.highRates && getSampleRate() > 150000.0f) g = INFINITY;
    float* left = outputLeft();
    float* right = outputRight();
    for (int i = 0; i < sampleFrames; ++i) {
        float x = inputs[0][i];
        if (faults.slowSubnormal && subnormal(x)) x = wastedWork(i);
        if (slowHere)
            for (int k = 0; k < 8; ++k) x += wastedWork(i + k);
        if (faults.poison) {
            memory = 0.5f * memory + 0.5f * x;  // no guard: a NaN stays in the state for ever
            x = memory;
        }
        if (faults.shared) {
            sharedLevel = 0.999f * sharedLevel + 0.001f;
            x *= sharedLevel;
        }
        if (faults.perCall) {
            callRamp = std::min(1.0f, callRamp + 1.0f / 64.0f);
            x *= callRamp;
        }
        left[i] = x * g;
        right[i] = inputs[1][i] * g;
        if (faults.subnormalOut) right[i] = 1e-40f;
    }
    if (faults.lock) mutex.unlock();
    delete scratch;
}

class FaultyEffectEdit : public FaultyEffect {
public:
    explicit FaultyEffectEdit(audioMasterCallback audioMaster) : FaultyEffect(audioMaster) {
        if (fault("editor") || fault("editor-norect") || fault("editor-leak") || fault("editor-stays"))
            setEditor(new FaultyEditor(this));
    }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new FaultyEffectEdit(audioMaster); }

}  // namespace orvex
