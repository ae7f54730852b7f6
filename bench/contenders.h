// What the benchmark runs side by side: any VST 2.x plug-in through our test host, any
// LV2 plug-in through our lilv host, any LADSPA plug-in (one instance per channel when
// it is mono), a plain copy as the floor, and bare functions for the DSP units. Each takes a stereo input and keeps its
// own outputs; timing is done around `process` by the caller.
#pragma once

#include <ladspa.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/lilvhost/lilvhost.h"
#include "tools/vsthost/vsthost.h"

namespace orvex::bench {

inline constexpr float kRate = 44100.0f;
inline constexpr int kMaxBlock = 2048;

class Contender {
public:
    virtual ~Contender() = default;
    // Processes `frames` (at most kMaxBlock) of the two input channels.
    virtual void process(float* const* inputs, int frames) = 0;
};

// A VST 2.x plug-in, started at 44.1 kHz with a playing transport at 120 BPM that
// moves on with every block.
class VstContender : public Contender {
public:
    // Null, with `error` set, when the shared object does not load.
    static std::unique_ptr<VstContender> load(const std::string& path, std::string& error);
    vsthost::Plugin& plugin() { return *instance; }
    void process(float* const* inputs, int frames) override;

private:
    std::unique_ptr<vsthost::Plugin> instance;
    vsthost::AudioBuffers outputs{2, kMaxBlock};
    std::vector<float*> inputPointers;
};

// An LV2 plug-in found by its URI in a world of bundles, started at 44.1 kHz for blocks
// of up to kMaxBlock, with a playing transport at 120 BPM told before every block (as
// a host does while playing) and moving on with each. Control inputs start at their
// defaults; `controls` sets them by symbol, in the port's units. A mono plug-in gets
// one instance per channel.
class Lv2Contender : public Contender {
public:
    using Controls = std::vector<std::pair<std::string, float>>;
    static std::unique_ptr<Lv2Contender> load(std::shared_ptr<lilvhost::World> world, const std::string& uri,
                                              const Controls& controls, std::string& error);
    lilvhost::Plugin& plugin() { return *instance; }
    void process(float* const* inputs, int frames) override;

private:
    std::unique_ptr<lilvhost::Plugin> instance;
    std::vector<float> left = std::vector<float>(kMaxBlock), right = std::vector<float>(kMaxBlock);
};

// A LADSPA plug-in found by its label. Control inputs start at the defaults their hints
// give; `controls` overrides them by the start of the port name ("Depth" for
// "Depth [%]"). A mono plug-in gets one instance per channel, as hosts run it on a
// stereo track.
class LadspaContender : public Contender {
public:
    using Controls = std::vector<std::pair<std::string, float>>;
    static std::unique_ptr<LadspaContender> load(const std::string& path, const std::string& label,
                                                 const Controls& controls, std::string& error);
    ~LadspaContender() override;
    void process(float* const* inputs, int frames) override;
    int instances() const { return static_cast<int>(handles.size()); }

private:
    LadspaContender() = default;
    void* library = nullptr;
    const LADSPA_Descriptor* descriptor = nullptr;
    std::vector<LADSPA_Handle> handles;
    std::vector<std::vector<LADSPA_Data>> controlValues;  // per instance, per port
    std::vector<unsigned long> audioIn, audioOut;         // port numbers
    std::vector<std::vector<float>> outputs;              // per output port in use
};

// Copies the input to the output: what the measuring loop itself costs.
class PassThrough : public Contender {
public:
    void process(float* const* inputs, int frames) override;

private:
    std::vector<float> left = std::vector<float>(kMaxBlock), right = std::vector<float>(kMaxBlock);
};

// A unit driven directly: the function gets the left input and the frame count.
class FunctionContender : public Contender {
public:
    explicit FunctionContender(std::function<void(const float*, int)> f) : function(std::move(f)) {}
    void process(float* const* inputs, int frames) override { function(inputs[0], frames); }

private:
    std::function<void(const float*, int)> function;
};

// The default value a LADSPA port's hints give (the rules of ladspa.h).
float ladspaDefault(const LADSPA_PortRangeHint& hint, float sampleRate);

}  // namespace orvex::bench
