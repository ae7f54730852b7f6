// "Orvex Space": the three-band auto-panner. The input is folded to mono, split into
// low, middle and high bands, each band scaled by its level and swept across the
// stereo field by its own tempo-synchronised auto-panner; the panned bands are summed
// and blended with the untouched input, or one band is soloed.
#pragma once

#include <array>
#include <memory>

#include "autopanner.h"
#include "dsp/utility.h"
#include "host/effectshell.h"
#include "host/entry.h"
#include "host/threeband.h"

namespace orvex::panner {

inline constexpr VstInt32 kUniqueId = fourCharCode('H', 'a', 'O', 's');
inline constexpr int kNumPrograms = 16;
inline constexpr int kNumParams = 20;

// Parameter indices.
enum ParameterIndex {
    kLowFreq = 0, kMidFreq, kHighFreq,
    kLowLfoDepth, kLowDiv, kLowModType, kLowLevel, kLowSolo,
    kMidLfoDepth, kMidDiv, kMidModType, kMidLevel, kMidSolo,
    kHighLfoDepth, kHighDiv, kHighModType, kHighLevel, kHighSolo,
    kBpm, kMix,
};

class ADelay : public TableEffect<ADelay> {
public:
    explicit ADelay(audioMasterCallback audioMaster);

    // The scratch buffers the chain uses, after the two outputs.
    enum Buffer { kMono, kBandLow, kBandMid, kBandHigh, kNumBuffers };

    static const Row kParameters[kNumParams];

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void prepare() override;
    void setupNotes(int note) override;
    void applyTempo(float bpm) override;
    void applySongPosition(float position) override;
    void applyTransportStart(double samplePosition) override;

private:
    template <int B, int Ctl> static Row pannerRow(const char* name, const char* label, int controller);
    template <int B> static Row levelRow(const char* name, int controller);

    std::array<std::unique_ptr<CAutoPanner>, kNumBands> panners;
    ThreeBandFront front{*this, FilterForm::kPerSample, {kLowFreq, kMidFreq, kHighFreq}, {kLowSolo, kMidSolo, kHighSolo}};
    CWetDryMixer wetDry;
    std::array<float, kNumBands> gains{1.0f, 1.0f, 1.0f};
};

using ADelayEdit = WithEditor<ADelay, class ADEditor>;

}  // namespace orvex::panner
