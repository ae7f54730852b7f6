// Loading one of our bundles in the test host as a DAW would, for the plug-in suites:
// the bundle's path in the build, opened, resumed and ready to process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "dsp/component.h"
#include "tools/vsthost/vsthost.h"

namespace reference {

inline std::string bundlePath(const std::string& name) {
    return ORVEX_VST_DIR "/" + name + ".vst/Contents/x86_64-linux/" + name + ".so";
}

// Loads, opens and starts the bundle at the options' rate and block size; null (with a
// test failure saying why) when it does not load.
inline std::unique_ptr<orvex::vsthost::Plugin> loadBundle(const std::string& name,
                                                          const orvex::vsthost::HostOptions& options) {
    auto result = orvex::vsthost::Plugin::load(bundlePath(name), options);
    EXPECT_TRUE(result) << result.error;
    if (!result) return nullptr;
    result.plugin->start(options.sampleRate, options.blockSize);
    return std::move(result.plugin);
}

// What the host reports to the next calls: a playing transport at `tempo`, with the song
// position `ppq` when given; no time information at all without a tempo.
inline void reportTime(orvex::vsthost::Plugin& plugin, std::optional<double> tempo, std::optional<double> ppq) {
    if (!tempo) {
        plugin.clearTransport();
        return;
    }
    orvex::vsthost::Transport transport;
    transport.tempo = *tempo;
    transport.flags = kVstTempoValid | (ppq ? kVstPpqPosValid : 0);
    transport.ppqPos = ppq.value_or(0.0);
    plugin.setTransport(transport);
}

// A value as the units display it.
inline std::string floatText(float value) {
    char text[16];
    orvex::floatToString(value, text);
    return text;
}

}  // namespace reference
