#include "check.h"

#include <cstdio>

#include "checks.h"
#include "checks_clap.h"
#include "checks_lv2.h"
#include "harness.h"

namespace orvex::validate {

namespace {

char* stepBuffer = nullptr;
std::size_t stepSize = 0;

std::string vformat(const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

}  // namespace

void Outcome::fail(const std::string& problem) {
    status = Status::fail;
    problems.push_back(problem);
}

void Outcome::say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    if (!summary.empty()) summary += ", ";
    summary += text;
}

void Outcome::skip(const std::string& why, SkipCause skipCause) {
    if (status != Status::fail) status = Status::skip;
    cause = skipCause;
    summary = why;
}

void setStepBuffer(char* buffer, std::size_t size) {
    stepBuffer = buffer;
    stepSize = size;
}

void Context::step(const char* format, ...) {
    if (!stepBuffer || stepSize == 0) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(stepBuffer, stepSize, format, args);
    va_end(args);
}

std::unique_ptr<vsthost::Plugin> Context::load(const vsthost::HostOptions& options, std::string* error) const {
    return loadOther(target.path, options, error);
}

std::unique_ptr<vsthost::Plugin> Context::loadOther(const std::string& path, const vsthost::HostOptions& options,
                                                    std::string* error) const {
    auto result = vsthost::Plugin::load(path, options);
    if (!result) {
        if (error) *error = result.error;
        return nullptr;
    }
    result.plugin->open();
    // Long runs would otherwise keep every time request of every block.
    result.plugin->recordTimeMasks(false);
    return std::move(result.plugin);
}

std::unique_ptr<vsthost::Plugin> Context::started(Outcome& out, VstInt32 block) const {
    std::string error;
    auto plugin = load(defaultHost(44100.0f, block), &error);
    if (!plugin) {
        out.fail(error);
        return nullptr;
    }
    plugin->start(44100.0f, block);
    return plugin;
}

namespace {

class VstPlayer : public Player {
public:
    explicit VstPlayer(std::unique_ptr<vsthost::Plugin> started) : plugin(std::move(started)) {
        inputs = inputChannels(*plugin);
        outputs = outputChannels(*plugin);
        announced = plugin->numOutputs();
    }
    bool prepare(double rate, int block) override {
        validate::prepare(*plugin, static_cast<float>(rate), block);
        return true;
    }
    Audio run(const Audio& input, const std::function<int()>& nextLength, Outputs ways, BufferUse* use) override {
        return validate::run(*plugin, input, nextLength, {}, ways, use);
    }
    void bufferWays(std::vector<Outputs>& ways, std::vector<std::string>& notRun) const override {
        ways = {Outputs::stale, Outputs::nan};
        if (plugin->numInputs() == plugin->numOutputs())
            ways.push_back(Outputs::inPlace);
        else
            notRun.push_back("not in place (" + std::to_string(plugin->numInputs()) + " inputs, " +
                             std::to_string(plugin->numOutputs()) + " outputs)");
        // From VST 2.4 on, hosts call processReplacing only and `process` is left to
        // whatever the plug-in's framework points it at.
        if (!plugin->effect()->process)
            notRun.push_back("no accumulating process");
        else if (const VstInt32 version = plugin->vstVersion(); version >= 2400)
            notRun.push_back("process not judged (VST " + std::to_string(version) + ": hosts call processReplacing only)");
        else
            ways.push_back(Outputs::added);
    }

private:
    std::unique_ptr<vsthost::Plugin> plugin;
};

}  // namespace

std::unique_ptr<Player> Context::player(Outcome& out, int block) const {
    if (target.format == Format::clap) return clap::player(*this, out, block);
    if (target.format == Format::lv2) return lv2::player(*this, out, block);
    auto plugin = started(out, block);
    if (!plugin) return nullptr;
    return std::make_unique<VstPlayer>(std::move(plugin));
}

vsthost::HostOptions defaultHost(float rate, VstInt32 block) {
    vsthost::HostOptions options;
    options.sampleRate = rate;
    options.blockSize = block;
    vsthost::Transport transport;
    transport.tempo = 120.0;
    transport.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid;
    transport.advance = true;
    options.transport = transport;
    options.product = "orvex validate";
    return options;
}

Format formatOf(const std::string& path) {
    if (path.find("://") != std::string::npos || path.rfind("urn:", 0) == 0) return Format::lv2;
    const std::string suffix = ".clap";
    return path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0
               ? Format::clap
               : Format::vst;
}

const std::vector<Check>& checksFor(Format format) {
    return format == Format::clap ? clapChecks() : format == Format::lv2 ? lv2Checks() : allChecks();
}

const std::vector<Check>& allChecks() {
    static const std::vector<Check> checks = {
        {"load.open", "loads with RTLD_LOCAL|RTLD_NOW and gives a sound plug-in record", checkOpen,
         "bareeffect: null-dispatcher, null-process, many-parameters, many-channels, bad-magic"},
        {"load.exports", "exports its entry points and nothing else", checkExports,
         "faultyeffect, always (one export too many)", false, false},
        {"load.no-host", "a host answering 0 to the version query gets no record", checkNoHost,
         "bareeffect, always (made for any host)"},
        {"load.cycles", "20 open/close cycles with the library unloaded each time, 20 with it kept", checkCycles,
         "faultyeffect: shared-state"},
        {"load.side-by-side", "8 instances of every bundle in one process sound as each does alone", checkSideBySide,
         "faultyeffect: shared-state"},
        {"process.grid", "every sample rate and block size, re-prepared, with noise, silence, DC and square",
         checkGrid, "faultyeffect: high-rates, subnormal-out"},
        {"process.rate-change", "a sample rate change while resumed", checkRateChange, "faultyeffect: high-rates"},
        {"process.block-split", "calls twice the announced size and random lengths sound as one long call",
         checkBlockSplit, "faultyeffect: per-call, block-memory"},
        {"process.buffers",
         "outputs holding old audio or NaN, in place, and process adding to old audio sound as a clean run; inputs "
         "and what lies past the end stay untouched",
         checkBuffers, "faultyeffect: adds-output, in-place-unsafe, process-replaces, writes-input, overrun"},
        {"process.latency", "the response to noise comes no earlier than the initial delay reported", checkLatency,
         "faultyeffect: latency-unapplied"},
        {"input.extreme", "inputs of +-1e6 and DC offsets give finite output", checkExtremeInput,
         "faultyeffect: unbounded"},
        {"input.non-finite",
         "after NaN and infinity bursts the output is finite again within one block and soon answers its input as a "
         "fresh instance's does",
         checkNonFiniteInput, "faultyeffect: poison, silent-after-nan"},
        {"input.subnormal", "subnormal input costs no more than 1.2 times normal input", checkSubnormalInput,
         "faultyeffect: slow-subnormal"},
        {"params.extremes", "every parameter at 0 and at 1 while processing", checkParameterExtremes,
         "faultyeffect: nan-at-one"},
        {"params.random", "random parameter sets every 32 samples while processing", checkRandomParameters,
         "faultyeffect: glide-by-zero"},
        {"params.invalid", "NaN, infinite and out-of-range values and indices", checkInvalidParameters,
         "faultyeffect: crash-on-nan"},
        {"params.programs", "every program selected while processing, program names", checkPrograms,
         "faultyeffect: long-program-name"},
        {"params.text", "names, labels and display texts fit their buffers", checkParameterTexts,
         "faultyeffect: long-display"},
        {"params.readback", "a value in 0..1 set is the value read back", checkReadback,
         "faultyeffect: quantise, readback-5ulps"},
        {"params.restore",
         "a state set in any order, restored in index order before resume, reads back as saved and sounds as set "
         "while running",
         checkSessionRestore, "faultyeffect: restore-order, restore-unheard"},
        {"threads.parameters", "parameters and programs set on a second thread while processing",
         checkParameterThreads, "faultyeffect: nan-moment"},
        {"time.info", "missing, jumping, negative and non-finite time information", checkTimeInfo,
         "faultyeffect: tempo-gain"},
        {"midi.random", "10 000 random events, junk bytes and other event types", checkRandomMidi,
         "faultyeffect: hang-on-sysex"},
        {"realtime.process", "no allocation, lock or system call inside the processing calls", checkRealtime,
         "faultyeffect: alloc, lock, syscall, alloc-sometimes, alloc-on-change, libc-malloc"},
        {"realtime.fp-state", "every call leaves the host's floating-point control state as it found it",
         checkFpState, "faultyeffect: fpu-mode"},
        {"realtime.rate-cost", "no sample rate costs more than 4 times the median per frame", checkRateCost,
         "faultyeffect: slow-rate"},
        {"editor.rect", "the editor rectangle before the editor opens, at 1x and at the host's scale 2", checkEditorRect,
         "faultyeffect: editor-norect, editor-stays, editor-oversize", true},
        {"editor.cycles", "100 open/idle/close cycles in a real window; memory and X server resources do not grow",
         checkEditorCycles,
         "faultyeffect: editor-leak, editor-pixmap-leak", true},
        {"editor.while-processing", "the editor opens and closes while another thread processes",
         checkEditorWhileProcessing, "faultyeffect: editor-meter-nan", true},
        {"editor.close-open", "the plug-in closed with its editor open", checkCloseWithEditorOpen,
         "faultyeffect: editor-stays", true},
        {"editor.after-close", "idle and close again after the editor closed", checkEditorAfterClose,
         "faultyeffect: editor-idle-after-close", true},
    };
    return checks;
}

}  // namespace orvex::validate
