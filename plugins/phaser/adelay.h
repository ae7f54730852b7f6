// "Orvex Phase": a stereo phaser. Each channel has its own complete phaser with its
// own rate, depth and feedback; a link switch ties the two channels' settings
// together; a wet/dry mixer blends each phaser's output with its input, and a
// stereo-width stage cross-feeds the two mixed channels.
#pragma once

#include <array>
#include <memory>

#include "dsp/utility.h"
#include "host/effectshell.h"
#include "host/entry.h"
#include "parameters.h"
#include "phaser.h"

namespace orvex::phaser {

inline constexpr VstInt32 kUniqueId = fourCharCode('H', 'a', 'O', 'p');
inline constexpr int kNumPrograms = 8;

enum Channel { kLeft = 0, kRight = 1, kNumChannels = 2 };

class ADelay : public TableEffect<ADelay> {
public:
    explicit ADelay(audioMasterCallback audioMaster);

    // The scratch buffers the chain uses, after the two mixed outputs.
    enum Buffer { kPhasedLeft, kPhasedRight, kNumBuffers };

    static const Row kParameters[kNumParams];

    // With a host that owns every value the link reads from the values as they stand:
    // on, the right channel runs on the left's values and its own are ignored; off,
    // each side on its own.
    void followHostValues(std::span<const float> values, std::span<const bool> changed) override;

protected:
    void doProcess(float** inputs, float** outputs, int sampleFrames) override;
    void writeOutputs(float** outputs, int offset, int sampleFrames, bool accumulate) override;
    void prepare() override;

private:
    template <int Index> static Row phaserRow();

    // Parameters 0 to 5 onto their phaser; with the link on, a left-channel value goes
    // to its right-channel partner (three places on) too: into its phaser, the current
    // values and the current program.
    void setChannelParameter(int index, float value);

    std::array<std::unique_ptr<CPhaser>, kNumChannels> phasers;
    CWetDryMixer mixer;
    COnOff link;
    float crossFeed = 0.0f;  // 1 - stereo width; program 0 sets it
};

using ADelayEdit = WithEditor<ADelay, class ADEditor>;

}  // namespace orvex::phaser
