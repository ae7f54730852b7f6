// The command-line host's VST 2.x side: a shared object loaded through the test host
// library (tools/vsthost), and the plug-in as a Target of the commands. Our bundles
// also tell how a person reads each parameter (vendor-specific reading requests);
// anyone else's parameters are read off their display texts.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "target.h"
#include "tools/vsthost/vsthost.h"

namespace orvex::cli {

// How the command-line host presents itself while a plug-in is created: the sample
// rate and block size it will run at, and a playing transport at `tempo` (none when
// the tempo is empty).
vsthost::HostOptions hostOptions(float sampleRate, int blockSize, std::optional<double> tempo);

// Loads the shared object and opens the instance (effOpen). Throws Error with the
// loader's reason.
std::unique_ptr<vsthost::Plugin> loadPlugin(const std::string& path, const vsthost::HostOptions& options);

// What `list` shows of one plug-in.
struct PluginSummary {
    bool loaded = false;
    std::string error;  // why it did not load
    std::string name;
    std::string vendor;
    VstInt32 uniqueId = 0;
    int parameters = 0;
    int programs = 0;
};
PluginSummary summarise(const std::string& path);

// The effect name, or the file name when the plug-in reports none.
std::string displayName(vsthost::Plugin& plugin);

std::vector<std::string> parameterNames(vsthost::Plugin& plugin);
// Every program's names. Selects each program to read the name the plug-in shows,
// then selects the current one again.
std::vector<ProgramName> programNames(vsthost::Plugin& plugin);

// A VST 2.x plug-in as a command's Target: the transport through audioMasterGetTime,
// MIDI through effProcessEvents, processReplacing. Either owns the plug-in or drives
// one the caller keeps.
class VstTarget : public Target {
public:
    VstTarget(const std::string& path, const HostSetup& setup);
    explicit VstTarget(vsthost::Plugin& plugin);
    vsthost::Plugin& plugin() { return p; }

    std::string name() const override;
    std::string vendor() const override { return p.vendorString(); }
    std::string format() const override { return "VST 2.x"; }
    std::string identity() const override;
    int parameterCount() override { return p.numParams(); }
    ParameterDescription describe(int index) override;
    float value(int index) override { return p.getParameter(index); }
    void setValue(int index, float normalised) override { p.setParameter(index, normalised); }
    std::string display(int index) override;
    std::optional<float> valueOfUnit(int index, double unitValue) override;
    std::optional<double> unitOfValue(int index, float normalised) override;
    std::vector<ProgramName> programs() override { return programNames(p); }
    void selectProgram(int index) override { p.setProgram(index); }
    std::optional<int> currentProgram() override;

    std::string path() const override { return p.path(); }
    int inputChannels() const override { return p.numInputs(); }
    int outputChannels() const override { return p.numOutputs(); }
    void start(const RenderSettings& settings) override;
    void midi(const std::vector<vsthost::MidiMessage>& due) override { p.sendMidi(due); }
    void process(float** inputs, float** outputs, int frames, int64_t frame) override;
    void stop() override { p.suspend(); }

private:
    std::unique_ptr<vsthost::Plugin> owned;
    vsthost::Plugin& p;
    // Whether the plug-in answers the reading requests for each parameter: asked once,
    // as the mappings are called many times over in a value's search (-1: not asked).
    bool reads(int index);

    RenderSettings settings;
    std::vector<signed char> readable;
};

// "OxTe" when the four bytes are printable, else the number.
std::string formatUniqueId(VstInt32 id);

}  // namespace orvex::cli
