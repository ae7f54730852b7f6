// The command-line host's CLAP side: a .clap file's plug-in loaded through the CLAP
// host library (tools/claphost), its presets and parameters reached by what the user
// typed, and the plug-in as a target of the render loop. Everything runs on the calling
// thread, which plays the host's main and audio threads one after the other.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "target.h"
#include "tools/claphost/claphost.h"

namespace orvex::cli {

// Whether PLUGIN names a CLAP file (by its extension): it is then hosted as CLAP.
bool isClapPath(const std::string& path);

class ClapTarget : public Target {
public:
    // The file's first plug-in, created and initialised; throws Error with the host's
    // reason when it cannot be.
    explicit ClapTarget(const std::string& path);
    claphost::Plugin& plugin() { return *instance; }

    std::string name() const override;
    std::string vendor() const override { return instance->descriptor().vendor; }
    std::string format() const override { return "CLAP"; }
    std::string identity() const override { return instance->descriptor().id; }
    // A normalised value spans the parameter's range, rounded to a step for a stepped
    // one; a change goes to the plug-in through params.flush.
    int parameterCount() override { return static_cast<int>(params.size()); }
    ParameterDescription describe(int index) override;
    float value(int index) override;
    void setValue(int index, float normalised) override;
    std::string display(int index) override;
    // Through the plug-in's text_to_value and value_to_text.
    std::optional<float> valueOfUnit(int index, double unitValue) override;
    std::optional<double> unitOfValue(int index, float normalised) override;
    // The presets of the file's preset-discovery factory, loaded with preset-load.
    std::vector<ProgramName> programs() override;
    void selectProgram(int index) override;
    std::optional<int> currentProgram() override { return loaded; }

    std::string path() const override { return instance->library().path(); }
    int inputChannels() const override;
    int outputChannels() const override;
    void start(const RenderSettings& settings) override;
    void midi(const std::vector<vsthost::MidiMessage>& due) override;
    void process(float** inputs, float** outputs, int frames, int64_t frame) override;
    void stop() override;

private:
    double valueOf(int index, float normalised) const;
    const std::vector<claphost::Preset>& presetList();

    std::unique_ptr<claphost::Plugin> instance;
    std::vector<claphost::ParamInfo> params;
    std::optional<std::vector<claphost::Preset>> presets;
    std::optional<int> loaded;
    std::optional<double> tempo;
    double sampleRate = 44100.0;
};

// `orvex info X.clap`: the descriptor, ports, parameters, presets and extensions.
// `prepare` sets the program and values to show first.
int printClapInfo(const std::string& path, const std::function<void(Target&)>& prepare = {});

}  // namespace orvex::cli
