// The panner's moving stereo placement: a pan pot whose gains glide to new targets
// every 32 samples, and the auto-panner that drives it from a tempo-synchronised LFO
// with a modulation depth.
//
// Threads: control operations run on whichever thread the effect's setParameter runs
// on; proc/process run on the audio thread. Control writes are plain stores picked
// up at the next LFO read; nothing here allocates after construction.
#pragma once

#include <emmintrin.h>

#include "dsp/component.h"
#include "dsp/lanes.h"
#include "dsp/lfo.h"
#include "dsp/parameter.h"
#include "dsp/ramp.h"

namespace orvex {

class CPanPot : public CUtility {
public:
    // `pan` in 0..1 (0 left, 1 right); `equalPower` chooses the square-root law.
    explicit CPanPot(float pan = 0.5f, bool equalPower = false);

    // Immediate placement: sets the gains (steps and targets stay as they are).
    // A pan outside 0..1 is clamped; one that is not a number is ignored.
    void setPan(float p);

    // One sample of gliding placement, called once per sample: every 32nd call
    // aims the gains at the law's gains for `p`, reached 32 samples later.
    void setPanAutomated(float p);

    // The pan last given to setPan, -100..100, as an 8-character text.
    void getPan(char* text);

    // Audio thread: pans `count` samples of `input` into `left` and `right`, reading
    // `lfo` once every 32 samples (the count carries over between blocks) and gliding
    // the gains linearly towards the position the LFO value gives with `depth`.
    // Without an LFO the gains hold where they arrive.
    void proc(const float* input, float* left, float* right, CLfo* lfo, int count, float depth);

    // A block's glide, held in locals: the output stores could otherwise alias the
    // pot's members and force them through memory on every sample. Made at the start
    // of a block, moved on once per sample, stored back at its end; nothing else may
    // touch the pot in between.
    class Glide {
    public:
        Glide(CPanPot& pot, CLfo* lfo, float depth);
        // The gains one sample on, aiming them anew every 32nd sample.
        [[gnu::always_inline]] void next() {
            glideStep(counter, gainL, gainR, stepL, stepR, [this] {
                const Steps steps = pot.aim(lfo, spread, centre, gainL, gainR);
                stepL = steps.left;
                stepR = steps.right;
            });
        }
        float left() const { return gainL; }
        float right() const { return gainR; }
        void store() const;

        class Trio;

    private:
        CPanPot& pot;
        CLfo* lfo;
        float spread, centre;
        float gainL, gainR, stepL, stepR;
        int counter;
    };

private:
    // The glide of a pair of gains, one sample on: every 32nd call `aim` sets new steps
    // (and may read the gains as they stand), then each gain takes its step. Written
    // once for the three forms that run it: the pot's own gains and a block's glide
    // (T float), and three bands' glides in the lanes of SSE registers (T Float4).
    template <class T, class Aim>
    [[gnu::always_inline]] static void glideStep(int& counter, T& left, T& right, const T& stepLeft,
                                                 const T& stepRight, Aim&& aim) {
        rampCall(counter, aim);
        left = left + stepLeft;
        right = right + stepRight;
    }

    // The law's gains for p; p must already be inside 0..1.
    void lawGains(float p, float& left, float& right) const;
    // Aims the glide at the gains for p (clamped into 0..1; a NaN p holds the gains).
    void retarget(float p);
    // For a glide at gains gainL, gainR: retarget to the LFO's next position and
    // return the new steps. The glide's state comes and goes by value so that it
    // never leaves the glide's registers.
    struct Steps {
        float left, right;
    };
    Steps aim(CLfo* lfo, float spread, float centre, float gainL, float gainR);
    // aim with the position `p` already formed from the LFO.
    Steps aimAt(float p, float gainL, float gainR);

    bool equalPower;
    float leftGain = 0.0f;
    float rightGain = 0.0f;
    CParameter panDisplay;
    int sampleCounter = 0;
    float leftStep = 0.0f;
    float rightStep = 0.0f;
    float leftTarget = 0.0f;
    float rightTarget = 0.0f;
};

// Inline, as is store: a glide whose address never leaves the block loop keeps its
// state in registers.
inline CPanPot::Glide::Glide(CPanPot& owner, CLfo* source, float depth)
    : pot(owner),
      lfo(source),
      // The position sweeps between centre and centre + spread, symmetric about 0.5:
      // depth 0.5 holds the middle, depth 0 and 1 both sweep the full width.
      spread(depth >= 0.5f ? 2.0f * depth - 1.0f : 1.0f - 2.0f * depth),
      centre(0.5f - 0.5f * spread),
      gainL(owner.leftGain),
      gainR(owner.rightGain),
      stepL(owner.leftStep),
      stepR(owner.rightStep),
      counter(owner.sampleCounter) {}

inline void CPanPot::Glide::store() const {
    pot.leftGain = gainL;
    pot.rightGain = gainR;
    pot.sampleCounter = counter;
}

// Three bands' glides whose pots aim on the same samples, from three distinct LFOs: the
// LFOs are read together, so that their phase chains overlap, and the gains move in the
// lanes of two SSE registers (lane 0 the first glide, 1 the second, 2 the third, lane 3
// unused). Each LFO and pot is touched only by its own glide and each lane rounds as the
// scalar addition does, so the gains are those of the three glides stepped one by one.
// Made from the glides at the start of a block, stored back into them at its end.
class CPanPot::Glide::Trio {
public:
    // Whether the three glides qualify.
    static bool fits(const Glide& a, const Glide& b, const Glide& c) {
        return a.lfo && b.lfo && c.lfo && a.lfo != b.lfo && a.lfo != c.lfo && b.lfo != c.lfo &&
               a.counter == b.counter && a.counter == c.counter;
    }

    Trio(const Glide& a, const Glide& b, const Glide& c)
        : pots{&a.pot, &b.pot, &c.pot},
          lfos{a.lfo, b.lfo, c.lfo},
          spreads{a.spread, b.spread, c.spread},
          centres{a.centre, b.centre, c.centre},
          gainsLeft(_mm_setr_ps(a.gainL, b.gainL, c.gainL, 0.0f)),
          gainsRight(_mm_setr_ps(a.gainR, b.gainR, c.gainR, 0.0f)),
          stepsLeft(_mm_setr_ps(a.stepL, b.stepL, c.stepL, 0.0f)),
          stepsRight(_mm_setr_ps(a.stepR, b.stepR, c.stepR, 0.0f)),
          counter(a.counter) {}

    // Glide::next for the three.
    [[gnu::always_inline]] void next() {
        glideStep(counter, gainsLeft, gainsRight, stepsLeft, stepsRight, [this] { aim(); });
    }
    __m128 left() const { return gainsLeft; }
    __m128 right() const { return gainsRight; }

    void storeInto(Glide& a, Glide& b, Glide& c) const {
        const auto l = lanesOf(gainsLeft), r = lanesOf(gainsRight);
        Glide* glides[3] = {&a, &b, &c};
        for (int k = 0; k < 3; ++k) {
            glides[k]->gainL = l[k];
            glides[k]->gainR = r[k];
            glides[k]->counter = counter;
        }
    }

private:
    // Inline, so that the gains never leave their registers for the calls.
    [[gnu::always_inline]] void aim() {
        float values[3];
        CLfo::processBlocks(*lfos[0], *lfos[1], *lfos[2], kRampLength, values);
        const auto l = lanesOf(gainsLeft), r = lanesOf(gainsRight);
        Steps steps[3];
        for (int k = 0; k < 3; ++k) steps[k] = pots[k]->aimAt(values[k] * spreads[k] + centres[k], l[k], r[k]);
        stepsLeft = _mm_setr_ps(steps[0].left, steps[1].left, steps[2].left, 0.0f);
        stepsRight = _mm_setr_ps(steps[0].right, steps[1].right, steps[2].right, 0.0f);
    }

    CPanPot* pots[3];
    CLfo* lfos[3];
    float spreads[3], centres[3];
    Float4 gainsLeft, gainsRight, stepsLeft, stepsRight;
    int counter;
};

class CAutoPanner : public CEffect {
public:
    explicit CAutoPanner(float sampleRate);

    // Control interface: 16 LfoDepth and 34 Pan are the auto-panner's own; 10 Bpm,
    // 11 Division, 15 Type and 37 Multipler go to its LFO.
    void setControl(float value, int control) override;
    void setControlAutomated(float value, int control) override;
    void getControl(char* text, int control) override;
    void getControlName(char* text, int control) override;
    void getUnitOfMeasurement(char* text, int control) override;

    // Passes the rate on to the LFO (control thread, from the effect's resume).
    void setSampleRate(float rate) override;

    // Restarts the LFO's cycle; the gains continue from where they are.
    virtual void reset();

    // Audio thread: one block of the band signal into the two band outputs.
    void process(const float* input, float* left, float* right, int count) {
        panPot.proc(input, left, right, &lfo, count, depth);
    }

    // The pot's glide for a block (see CPanPot::Glide), driven by this LFO and depth.
    CPanPot::Glide glide() { return CPanPot::Glide(panPot, &lfo, depth); }

    // The effect hands the LFO the song position before each block and restarts it
    // on MIDI notes.
    CLfo& getLfo() { return lfo; }
    const CLfo& getLfo() const { return lfo; }

private:
    void setDepth(float value);

    CPanPot panPot{0.5f, false};
    CLfo lfo;
    float depth = 0.0f;
};

}  // namespace orvex
