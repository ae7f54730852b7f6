// Shared helpers of the bridge tests: where the test effect bundle lies, loading it
// through the test host, and reading its probes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/testeffect/testeffect.h"
#include "tools/vsthost/vsthost.h"

namespace orvex::bridgetest {

using vsthost::AudioBuffers;
using vsthost::HostOptions;
using vsthost::Plugin;
using vsthost::Transport;

inline const std::string kTestEffectPath = ORVEX_TEST_VST_DIR "/testeffect.vst/Contents/x86_64-linux/testeffect.so";

inline std::unique_ptr<Plugin> loadTestEffect(const HostOptions& options = {}) {
    auto result = Plugin::load(kTestEffectPath, options);
    EXPECT_TRUE(result.plugin) << result.error;
    return std::move(result.plugin);
}

// What the test effect reports through effVendorSpecific.
inline VstIntPtr probe(Plugin& plugin, TestProbe which) { return plugin.dispatch(effVendorSpecific, which); }

// A loaded, opened and resumed test effect.
class TestEffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugin = loadTestEffect(options());
        ASSERT_TRUE(plugin);
        plugin->start(44100.0f, 512);
    }
    virtual HostOptions options() { return {}; }

    std::unique_ptr<Plugin> plugin;
};

}  // namespace orvex::bridgetest
