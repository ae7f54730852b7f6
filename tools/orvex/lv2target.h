// The command-line host's LV2 side: a plug-in named by its URI, found by lilv among the
// bundles an LV2 host searches and this build's own, and opened through the LV2 host
// library (tools/lilvhost) as a Target. Its parameters are the input control ports, in
// port order; a normalised value maps onto a port's range as its description says
// (linear, exponential for a logarithmic port, a scale point's position for a choice,
// off below 0.5 and on from there for a toggle), and the port value is the value in
// its unit. Its programs are the plug-in's presets.
//
// Threads: everything but the RenderTarget calls runs on the command's thread before
// `start` or after `stop`; the command's thread also plays the audio thread between
// them, so `process` neither allocates nor locks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "target.h"
#include "tools/lilvhost/lilvhost.h"

namespace orvex::cli {

// The folders LV2 plug-ins are looked for in: this build's bundle folder and the one
// next to the executable (../../lv2), those that exist, then the folders an LV2 host
// searches (LV2_PATH's, or the usual ones when it is not set), as lilv takes them.
std::string lv2SearchPath();
// Only the folders of this build and LV2_PATH's (when set): the plug-ins `orvex list`
// shows and `orvex validate` judges when none is named; with --path, that folder.
std::string lv2ListPath(const std::optional<std::string>& path = std::nullopt);

class Lv2Target : public Target {
public:
    // The plug-in `uri` instantiated and activated for `setup`, every port at its
    // default; throws Error with the host library's reason, or naming where it looked
    // and how to list what is there when no bundle has the URI.
    Lv2Target(const std::string& uri, const HostSetup& setup);

    std::string name() const override;
    std::string vendor() const override;
    std::string format() const override { return "LV2"; }
    std::string identity() const override { return uri; }

    int parameterCount() override;
    ParameterDescription describe(int index) override;
    float value(int index) override;
    void setValue(int index, float normalised) override;
    std::string display(int index) override;
    std::optional<float> valueOfUnit(int index, double unitValue) override;
    std::optional<double> unitOfValue(int index, float normalised) override;

    std::vector<ProgramName> programs() override;
    void selectProgram(int index) override;
    std::optional<int> currentProgram() override { return current; }

    // The shared object (the bundle's binary).
    std::string path() const override;
    // Two of each: a mono plug-in runs as one instance per channel.
    int inputChannels() const override { return 2; }
    int outputChannels() const override { return 2; }
    void start(const RenderSettings& settings) override;
    void midi(const std::vector<vsthost::MidiMessage>& due) override;
    void process(float** inputs, float** outputs, int frames, int64_t frame) override;
    void stop() override {}

    lilvhost::Plugin& plugin() { return *instance; }

private:
    // A new instance at `rate` for runs of up to `block`, every port set as now.
    void reload(double rate, int block);
    const lilvhost::ControlInfo& control(int index) const;

    std::string uri;
    std::shared_ptr<lilvhost::World> world;
    std::unique_ptr<lilvhost::Plugin> instance;
    std::vector<lilvhost::PresetInfo> presets;
    bool presetsRead = false;
    std::optional<int> current;
    std::optional<double> tempo;
};

// `orvex info URI`: the plug-in's identity, its ports, every parameter with its unit,
// range, kind or entries, default and value, and its presets.
int printLv2Info(const std::string& uri, const std::function<void(Target&)>& prepare = {});

}  // namespace orvex::cli
