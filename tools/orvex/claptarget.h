// The command-line host's CLAP side: a .clap file's plug-in loaded through the CLAP
// host library (tools/claphost), its presets and parameters reached by what the user
// typed, and the plug-in as a target of the render loop. Everything runs on the calling
// thread, which plays the host's main and audio threads one after the other.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "render.h"
#include "tools/claphost/claphost.h"

namespace orvex::cli {

// Whether PLUGIN names a CLAP file (by its extension): it is then hosted as CLAP.
bool isClapPath(const std::string& path);

class ClapTarget : public RenderTarget {
public:
    // The file's first plug-in, created and initialised; throws Error with the host's
    // reason when it cannot be.
    explicit ClapTarget(const std::string& path);
    claphost::Plugin& plugin() { return *instance; }
    std::string name() const;

    // Loads preset `program` (an index into the preset-discovery factory's presets, or
    // a name) with preset-load, then sets each parameter: VALUE from 0 to 1 across the
    // parameter's range, rounded for a stepped one. Says what each became. Main thread,
    // before the render.
    std::vector<std::string> apply(const std::optional<std::string>& program,
                                   const std::vector<ParameterSetting>& settings);
    // "N \"name\"" of the preset loaded, if any.
    std::optional<std::string> programLine() const { return loaded; }

    std::string path() const override { return instance->library().path(); }
    int inputChannels() const override;
    int outputChannels() const override;
    void start(const RenderSettings& settings) override;
    void midi(const std::vector<vsthost::MidiMessage>& due) override;
    void process(float** inputs, float** outputs, int frames, int64_t frame) override;
    void stop() override;

private:
    std::unique_ptr<claphost::Plugin> instance;
    std::optional<std::string> loaded;
    std::optional<double> tempo;
    double sampleRate = 44100.0;
};

// `orvex info X.clap`: the descriptor, ports, parameters, presets and extensions.
int printClapInfo(const std::string& path);

}  // namespace orvex::cli
