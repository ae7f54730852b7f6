// Every row's reading against what the bundle shows, for the four plug-ins through the
// test host: over a sweep of values, the number in the unit is the number the display
// shows (to the display's last digit, which it truncates), a switch or a choice is the
// one the display names, and the value a unit value maps back onto gives the same text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/effectshell.h"
#include "reference/bundle.h"

namespace {

using orvex::Reading;
using orvex::vsthost::AudioBuffers;
using orvex::vsthost::Plugin;

constexpr const char* kPlugins[] = {"panner", "distortion", "filter", "phaser"};
constexpr int kBlock = 64;  // two of the filter's coefficient updates: its displays follow
constexpr int kSteps = 1000;

// One unit in the last digit the text shows.
double lastDigit(const std::string& text) {
    const auto point = text.find('.');
    if (point == std::string::npos) return 1.0;
    return std::pow(10.0, -static_cast<double>(text.size() - point - 1));
}

class Readings : public testing::TestWithParam<const char*> {};

TEST_P(Readings, AgreeWithTheDisplays) {
    orvex::vsthost::HostOptions options;
    options.blockSize = kBlock;
    auto plugin = reference::loadBundle(GetParam(), options);
    ASSERT_TRUE(plugin);
    // The shell inside the bundle: its rows' readings are what the other faces publish.
    auto* shell = static_cast<orvex::EffectShell*>(orvex::AudioEffect::fromRecord(plugin->effect()));
    ASSERT_EQ(shell->numParams(), plugin->numParams());
    AudioBuffers in(2, kBlock, 0.1f), out(2, kBlock);

    for (int i = 0; i < shell->numParams(); ++i) {
        const orvex::ParameterInfo& row = shell->parameterInfo(i);
        const Reading& r = *row.reading;
        SCOPED_TRACE(row.name);
        const bool continuous = r.kind == Reading::kContinuous || r.kind == Reading::kLogarithmic;
        EXPECT_FALSE(r.kind == Reading::kContinuous && !r.toUnit && r.unit[0] == 0) << "a plain reading";
        auto display = [&](float v) {
            plugin->setParameter(i, v);
            plugin->processReplacing(in.data(), out.data(), kBlock);
            return plugin->parameterDisplay(i);
        };
        if (r.kind == Reading::kChoice) {
            ASSERT_EQ(r.entries.size(), r.values.size());
            EXPECT_EQ(r.maximum, static_cast<float>(r.entries.size() - 1));
            // Each entry's value selects it, and the entries show apart.
            std::vector<std::string> shown;
            for (std::size_t k = 0; k < r.values.size(); ++k) {
                EXPECT_EQ(orvex::unitOfValue(r, r.values[k]), static_cast<float>(k)) << r.entries[k];
                shown.push_back(display(r.values[k]));
                EXPECT_EQ(std::count(shown.begin(), shown.end(), shown.back()), 1) << r.entries[k];
            }
        }

        double worst = 0.0;
        for (int step = 0; step <= kSteps; ++step) {
            const float v = static_cast<float>(step) / kSteps;
            const std::string text = display(v);
            const float unit = orvex::unitOfValue(r, v);
            EXPECT_GE(unit, std::min(r.minimum, r.maximum)) << v;
            EXPECT_LE(unit, std::max(r.minimum, r.maximum)) << v;
            if (continuous) {
                const double shownNumber = std::strtod(text.c_str(), nullptr);
                EXPECT_NEAR(unit, shownNumber, lastDigit(text)) << v << " " << text;
            } else if (r.kind == Reading::kToggle) {
                EXPECT_TRUE(unit == 0.0f || unit == 1.0f) << v;
                EXPECT_EQ(text, display(unit)) << v;
            } else {
                EXPECT_EQ(unit, std::floor(unit)) << v;
                EXPECT_EQ(text, display(r.values[static_cast<std::size_t>(unit)])) << v;
            }
            const float back = orvex::valueOfUnit(r, unit);
            if (continuous) worst = std::max(worst, std::fabs(static_cast<double>(back) - v));
            EXPECT_EQ(display(back), text) << v << " came back as " << back;
        }
        plugin->setParameter(i, row.defaultValue);
        const char* kinds[] = {"continuous", "logarithmic", "toggle", "choice"};
        std::printf("%-10s %-15s %-3s %8g %8g %-11s", GetParam(), row.name, r.unit, r.minimum, r.maximum, kinds[r.kind]);
        if (continuous) std::printf(" largest |valueOfUnit(unitOfValue(v)) - v| %.3g", worst);
        std::printf("\n");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Readings, testing::ValuesIn(kPlugins),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
