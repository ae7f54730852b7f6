// A plug-in with the faults a validator must find, each switched on by a word in the
// environment variable ORVEX_FAULT (read when an instance is made), so that the
// validator's tests can show that every check fails when it should. With no fault
// switched on it is a well-behaved gain with an editor that opens a plain window.
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xmmintrin.h>

#include <atomic>
#include <algorithm>
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
#include "tests/faulty/faultwords.h"

extern "C" {
// glibc's own entry points, behind the back of whatever stands in front of malloc.
void* __libc_malloc(std::size_t);
void __libc_free(void*);
}

namespace orvex {
namespace {

bool fault(const char* word) { return faultSwitchedOn(word); }

// State every instance shares: what a plug-in must never have.
float sharedLevel = 0.0f;
// The last picture the leaking editor lost hold of.
char* volatile leaked = nullptr;
// The one connection to the X server an editor may keep for the whole process, opened
// at its first open and kept as long as the library is loaded.
xcb_connection_t* processConnection = nullptr;

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
    // `fall`: the fall factor of the effect's ducker, which the editor's meter sets.
    FaultyEditor(AudioEffect* effect, std::atomic<float>& fall)
        : AEffEditor(effect), noRect(fault("editor-norect")), leaks(fault("editor-leak")),
          staysOpen(fault("editor-stays")), leaksPixmaps(fault("editor-pixmap-leak")),
          oversize(fault("editor-oversize")), meterNan(fault("editor-meter-nan")),
          idleAfterClose(fault("editor-idle-after-close")), fall(fall) {}
    ~FaultyEditor() override { FaultyEditor::close(); }

    bool getRect(ERect** r) override {
        if (noRect && !isOpen()) return false;
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        AEffEditor::open(parent);
        if (leaksPixmaps && !processConnection) processConnection = xcb_connect(nullptr, nullptr);
        connection = leaksPixmaps ? processConnection : xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) return false;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        // Sized for a larger rectangle than the one the host was given.
        const int grow = oversize ? 40 : 0;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window,
                          static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(parent)), 0, 0, rect.right + grow,
                          rect.bottom + grow, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection, window);
        if (leaksPixmaps) {
            // A 1024 x 1024 backing picture made at every open and never freed.
            const xcb_pixmap_t picture = xcb_generate_id(connection);
            xcb_create_pixmap(connection, screen->root_depth, picture, window, 1024, 1024);
        }
        if (meterNan) {
            // The meter's fall per sample, from the time between the last two idle
            // calls: at open there is none, and it makes 0/0.
            fall.store(1.0f - idleSeconds / idleSeconds);
        }
        if (idleAfterClose) {
            // The picture idle draws the meter into, mapped for the time the editor is open.
            void* mapped = mmap(nullptr, kImageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            image = mapped == MAP_FAILED ? nullptr : static_cast<uint32_t*>(mapped);
        }
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
            if (!staysOpen && connection != processConnection) xcb_disconnect(connection);
            connection = nullptr;
        }
        if (image) munmap(image, kImageBytes);
        fall.store(kFall);
        // An editor that forgets it closed: it still counts as open, so the next idle
        // reaches it and draws into the picture that is gone.
        if (idleAfterClose) return;
        image = nullptr;
        AEffEditor::close();
    }
    void idle() override {
        if (image) image[0] = 0x00FF00u;  // the meter's first pixel
        if (!connection) return;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
    }

    // The ducker's fall factor per sample while no meter sets it.
    static constexpr float kFall = 0.999f;

private:
    ERect rect{0, 0, 120, 200};
    static constexpr std::size_t kImageBytes = 200 * 120 * 4;
    bool noRect, leaks, staysOpen, leaksPixmaps, oversize, meterNan, idleAfterClose;
    std::atomic<float>& fall;
    float idleSeconds = 0.0f;
    uint32_t* image = nullptr;
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
    void writeOutputs(float** outputs, int offset, int sampleFrames, bool accumulate) override;

public:
    void setParameter(VstInt32 index, float value) override;
    void setProgram(VstInt32 index) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void resume() override;
    void suspend() override;

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
        // A ducker whose fall the editor's meter sets; a delay reported and not applied.
        bool meterNan = fault("editor-meter-nan"), latencyUnapplied = fault("latency-unapplied");
        bool addsOutput = fault("adds-output"), inPlaceUnsafe = fault("in-place-unsafe"),
             processReplaces = fault("process-replaces"), writesInput = fault("writes-input"),
             overrun = fault("overrun"), restoreUnheard = fault("restore-unheard"),
             silentAfterNan = fault("silent-after-nan"), unbounded = fault("unbounded"),
             glideByZero = fault("glide-by-zero"), blockMemory = fault("block-memory");
    } faults;
    // Set by the editor on its thread, read by the processing.
    std::atomic<float> duckerFall{FaultyEditor::kFall};
    float tempo = 120.0f;

private:
    std::mutex mutex;
    float memory = 0.0f;  // a one-pole filter's state
    float callRamp = 0.0f;
    float duckerLevel = 0.0f;
    bool running = false;   // resumed by the host
    bool silenced = false;  // a non-finite input was seen
    int previousFrames = 0;
    // The gain's glide: from, to, over how many samples, and the samples since it began.
    static constexpr int kGlide = 32;
    float glideFrom = 1.0f, glideTo = 1.0f;
    int glideSpan = kGlide, sinceChange = 1 << 30;
    float glided() const {
        return glideFrom + (glideTo - glideFrom) * std::min(static_cast<float>(sinceChange) / glideSpan, 1.0f);
    }
    int calls = 0;
    // A switch-like change since the last call, once the processing has begun.
    std::atomic<bool> processing{false}, changed{false};
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
    if (faults.latencyUnapplied) getAeffect()->initialDelay = 256;
    running = false;  // a new instance waits for the host's resume
}

void FaultyEffect::resume() {
    EffectShell::resume();
    running = true;
}

void FaultyEffect::suspend() {
    EffectShell::suspend();
    running = false;
}

void FaultyEffect::setParameter(VstInt32 index, float value) {
    if (faults.crashOnNan && std::isnan(value)) *static_cast<volatile int*>(nullptr) = 1;
    // The gain may not exceed the mode: restored before the mode, it is cut short.
    if (faults.restoreOrder && index == 0) value = std::min(value, EffectShell::getParameter(1));
    // Kept while suspended but never applied: resume does not apply what it holds.
    if (faults.restoreUnheard && !running && validParameter(index) && !std::isnan(value)) {
        storeValue(index, std::clamp(value, 0.0f, 1.0f));
        return;
    }
    // A moment of NaN where the audio thread reads the gain, before the real value.
    if (faults.nanMoment && index == 0 && !std::isnan(value)) *static_cast<volatile float*>(&gain) = NAN;
    // A parameter moved to an end of its range acts as a switch.
    if (processing && (value <= 0.0f || value >= 1.0f)) changed = true;
    EffectShell::setParameter(index, value);
}

void FaultyEffect::setProgram(VstInt32 index) {
    if (processing) changed = true;
    EffectShell::setProgram(index);
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

void FaultyEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const bool usable = sampleFrames > 0 && inputs && outputs && inputs[0] && inputs[1] && outputs[0] && outputs[1];
    if (faults.inPlaceUnsafe && usable) {
        // A cross-feed written channel by channel straight into the host's outputs: the
        // right one reads the left input after the left output was written.
        for (int i = 0; i < sampleFrames; ++i) outputs[0][i] = gain * (inputs[0][i] + 0.25f * inputs[1][i]);
        for (int i = 0; i < sampleFrames; ++i) outputs[1][i] = gain * (inputs[1][i] + 0.25f * inputs[0][i]);
        return;
    }
    EffectShell::processReplacing(inputs, outputs, sampleFrames);
    if (!usable) return;
    for (int c = 0; c < 2; ++c) {
        if (faults.writesInput) std::fill_n(inputs[c], sampleFrames, 0.0f);  // used as scratch
        // Fills the announced block size whatever the call's length.
        if (faults.overrun && sampleFrames < blockSize)
            std::fill(outputs[c] + sampleFrames, outputs[c] + blockSize, 0.0f);
    }
    // Rounding towards zero left on for the host.
    if (faults.fpuMode) _mm_setcsr(_mm_getcsr() | _MM_ROUND_TOWARD_ZERO);
}

void FaultyEffect::writeOutputs(float** outputs, int offset, int sampleFrames, bool accumulate) {
    if (faults.addsOutput) accumulate = true;
    if (faults.processReplaces) accumulate = false;
    EffectShell::writeOutputs(outputs, offset, sampleFrames, accumulate);
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
    processing = true;
    if (faults.libcMalloc) __libc_free(__libc_malloc(64));
    const bool slowHere = faults.slowRate && getSampleRate() == 48000.0f;
    if (faults.lock) mutex.lock();
    if (faults.syscall) syscall(SYS_getppid);
    if (faults.perCall) callRamp = 0.0f;  // a ramp that starts again with every call
    float g = gain;
    if (faults.nanAtOne && gain >= 2.0f) g = NAN;
    if (faults.tempoGain) g *= tempo / 120.0f;
    if (faults.highRates && getSampleRate() > 150000.0f) g = INFINITY;
    if (faults.glideByZero && gain != glideTo) {
        // A change that comes while the last glide still runs glides over what is left
        // of it; one that comes just as it ends (the test should be <) has nothing left.
        glideFrom = glided();
        glideSpan = sinceChange <= kGlide ? kGlide - sinceChange : kGlide;
        glideTo = gain;
        sinceChange = 0;
    }
    // A fade-in of each call over as many samples as the call before had.
    const int fade = previousFrames;
    previousFrames = sampleFrames;
    float* left = outputLeft();
    float* right = outputRight();
    const float fall = duckerFall.load(std::memory_order_relaxed);
    for (int i = 0; i < sampleFrames; ++i) {
        float x = inputs[0][i];
        if (faults.silentAfterNan && !(std::isfinite(x) && std::isfinite(inputs[1][i]))) silenced = true;
        if (faults.unbounded) x += 1e-3f * x * x * x * x * x * x * x;  // a shaper's polynomial, unclamped
        if (faults.blockMemory && i < fade) x *= 0.5f + 0.5f * static_cast<float>(i) / static_cast<float>(fade);
        if (faults.slowSubnormal && subnormal(x)) {
            // Many times the normal cost, so that no busy moment of the machine hides it.
            float wasted = 0.0f;
            for (int k = 0; k < 16; ++k) wasted += wastedWork(i + k);
            x = wasted;
        }
        if (slowHere)
            for (int k = 0; k < 32; ++k) x += wastedWork(i + k);
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
        if (faults.meterNan) {
            duckerLevel = fall * duckerLevel + (1.0f - fall) * std::fabs(x);
            x *= 1.0f - 0.5f * std::min(duckerLevel, 1.0f);
        }
        if (faults.glideByZero) {
            g = glided();
            sinceChange = std::min(sinceChange + 1, 1 << 30);
        }
        left[i] = x * g;
        right[i] = inputs[1][i] * g;
        if (silenced) left[i] = right[i] = 0.0f;
        if (faults.subnormalOut) right[i] = 1e-40f;
    }
    if (faults.lock) mutex.unlock();
    delete scratch;
}

class FaultyEffectEdit : public FaultyEffect {
public:
    explicit FaultyEffectEdit(audioMasterCallback audioMaster) : FaultyEffect(audioMaster) {
        if (fault("editor") || fault("editor-norect") || fault("editor-leak") || fault("editor-stays") ||
            fault("editor-pixmap-leak") || fault("editor-oversize") || fault("editor-meter-nan") ||
            fault("editor-idle-after-close"))
            setEditor(new FaultyEditor(this, duckerFall));
    }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new FaultyEffectEdit(audioMaster); }

}  // namespace orvex
