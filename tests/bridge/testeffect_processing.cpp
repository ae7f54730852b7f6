// Processing entry points, block size and sample rate of the shared shell. The test
// effect computes out = in * 2 * Gain, negated while Invert is on.
#include <xmmintrin.h>

#include <cmath>
#include <limits>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

using TestEffectProcessing = TestEffectTest;
using TestEffectLifecycle = TestEffectTest;

constexpr VstInt32 kBlockMask = kVstTransportChanged | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                                kVstTimeSigValid;

// A left ramp and a right ramp of the other sign, distinct in every sample.
AudioBuffers ramps(int frames) {
    AudioBuffers in(2, frames);
    for (int i = 0; i < frames; ++i) {
        in[0][i] = 0.001f * static_cast<float>(i + 1);
        in[1][i] = -0.0005f * static_cast<float>(i + 1);
    }
    return in;
}

TEST_F(TestEffectProcessing, ReplacingOverwritesTheOutputs) {
    const int n = 300;
    AudioBuffers in = ramps(n);
    AudioBuffers out(2, n, 5.0f);
    plugin->setParameter(0, 0.75f);  // gain 1.5
    plugin->processReplacing(in.data(), out.data(), n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(out[0][i], in[0][i] * 1.5f) << i;
        ASSERT_EQ(out[1][i], in[1][i] * 1.5f) << i;
    }
}

TEST_F(TestEffectProcessing, AccumulatingAddsToTheOutputs) {
    const int n = 300;
    AudioBuffers in = ramps(n);
    AudioBuffers out(2, n, 0.25f);
    plugin->setParameter(0, 0.75f);
    plugin->setParameter(2, 1.0f);  // inverted
    plugin->process(in.data(), out.data(), n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(out[0][i], 0.25f + in[0][i] * -1.5f) << i;
        ASSERT_EQ(out[1][i], 0.25f + in[1][i] * -1.5f) << i;
    }
    // A second call adds again.
    plugin->process(in.data(), out.data(), n);
    EXPECT_EQ(out[0][9], (0.25f + in[0][9] * -1.5f) + in[0][9] * -1.5f);
}

TEST_F(TestEffectProcessing, InPlaceProcessingReadsTheInputsFirst) {
    const int n = 200;
    AudioBuffers io = ramps(n);
    const AudioBuffers original = io;
    plugin->setParameter(0, 1.0f);  // gain 2
    plugin->processReplacing(io.data(), io.data(), n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(io[0][i], original[0][i] * 2.0f) << i;
        ASSERT_EQ(io[1][i], original[1][i] * 2.0f) << i;
    }
}

TEST(TestEffectPieces, CallsLongerThanTheBlockSizeAreProcessedInPieces) {
    auto plugin = loadTestEffect();
    ASSERT_TRUE(plugin);
    plugin->open();
    plugin->setBlockSize(64);
    plugin->resume();
    EXPECT_EQ(probe(*plugin, kProbeBufferSize), 64);
    const std::size_t masksBefore = plugin->record().timeMasks.size();
    const int n = 1000;
    AudioBuffers in = ramps(n);
    AudioBuffers out(2, n, 9.0f);
    plugin->processReplacing(in.data(), out.data(), n);
    EXPECT_LE(probe(*plugin, kProbeLargestChunk), 64);
    EXPECT_EQ(probe(*plugin, kProbeLargestChunk), 64);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(out[0][i], in[0][i]) << i;  // default gain 1
        ASSERT_EQ(out[1][i], in[1][i]) << i;
    }
    // Every piece is a block of its own: 15 of 64 and one of 40, each asking for the time.
    EXPECT_EQ(plugin->record().timeMasks.size() - masksBefore, 16u);
    out.fill(1.0f);
    plugin->process(in.data(), out.data(), n);
    for (int i = 0; i < n; ++i) ASSERT_EQ(out[0][i], 1.0f + in[0][i]) << i;
}

TEST_F(TestEffectProcessing, EmptyAndNegativeCallsDoNothing) {
    AudioBuffers in = ramps(32);
    AudioBuffers out(2, 32, 3.0f);
    const std::size_t masks = plugin->record().timeMasks.size();
    for (VstInt32 frames : {0, -1, -64, std::numeric_limits<VstInt32>::min()}) {
        plugin->processReplacing(in.data(), out.data(), frames);
        plugin->process(in.data(), out.data(), frames);
    }
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(out[0][i], 3.0f);
        ASSERT_EQ(out[1][i], 3.0f);
    }
    EXPECT_EQ(probe(*plugin, kProbeLargestChunk), 0);
    EXPECT_EQ(plugin->record().timeMasks.size(), masks);
}

TEST_F(TestEffectProcessing, MissingBuffersAreNoCrash) {
    AudioBuffers in = ramps(32);
    AudioBuffers out(2, 32, 3.0f);
    plugin->processReplacing(nullptr, out.data(), 32);
    plugin->processReplacing(in.data(), nullptr, 32);
    float* halfIn[2] = {in[0].data(), nullptr};
    plugin->processReplacing(halfIn, out.data(), 32);
    float* halfOut[2] = {nullptr, out[1].data()};
    plugin->process(in.data(), halfOut, 32);
    EXPECT_EQ(out[0][0], 3.0f);
    EXPECT_EQ(out[1][31], 3.0f);
}

TEST_F(TestEffectProcessing, DenormalsAreFlushedInsideACallAndTheHostModesComeBack) {
    AudioBuffers in(2, 64, std::numeric_limits<float>::denorm_min()), out(2, 64, 1.0f);
    const unsigned hostModes = _mm_getcsr() & ~0x8040u;  // this host runs without FTZ/DAZ
    _mm_setcsr(hostModes);
    plugin->processReplacing(in.data(), out.data(), 64);
    EXPECT_EQ(_mm_getcsr(), hostModes);
    // With denormals-are-zero the subnormal input reads as zero.
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(out[0][i], 0.0f) << i;
        ASSERT_EQ(out[1][i], 0.0f) << i;
    }
    plugin->process(in.data(), out.data(), 64);
    EXPECT_EQ(_mm_getcsr(), hostModes);
    EXPECT_EQ(out[0][0], 0.0f);
}

TEST_F(TestEffectLifecycle, BlockSizeFollowsTheHostAndRejectsNonsense) {
    EXPECT_EQ(probe(*plugin, kProbeBufferSize), 512);
    plugin->setBlockSize(256);  // sizes the buffers at once
    EXPECT_EQ(probe(*plugin, kProbeBufferSize), 256);
    for (VstIntPtr bad : {VstIntPtr{0}, VstIntPtr{-5}, VstIntPtr{-1}}) {
        plugin->dispatch(effSetBlockSize, 0, bad);
        plugin->resume();
        EXPECT_EQ(probe(*plugin, kProbeBufferSize), 256) << bad;
    }
    // Still processes whole calls after the rejected sizes.
    AudioBuffers in = ramps(600);
    AudioBuffers out(2, 600);
    plugin->processReplacing(in.data(), out.data(), 600);
    EXPECT_EQ(out[0][599], in[0][599]);
    EXPECT_EQ(probe(*plugin, kProbeLargestChunk), 256);
}

TEST_F(TestEffectLifecycle, SampleRateRejectsNonsense) {
    EXPECT_EQ(probe(*plugin, kProbeSampleRate), 44100);
    plugin->setSampleRate(48000.0f);
    EXPECT_EQ(probe(*plugin, kProbeSampleRate), 48000);
    for (float bad : {0.0f, -1.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_EQ(probe(*plugin, kProbeSampleRate), 48000) << bad;
    }
    plugin->setSampleRate(96000.0f);
    EXPECT_EQ(probe(*plugin, kProbeSampleRate), 96000);
}

TEST_F(TestEffectLifecycle, SuspendAndResumeKeepTheSettings) {
    plugin->setParameter(0, 0.25f);
    plugin->suspend();
    plugin->resume();
    EXPECT_EQ(plugin->getParameter(0), 0.25f);
    EXPECT_EQ(probe(*plugin, kProbeBufferSize), 512);
    AudioBuffers in(2, 16, 1.0f), out(2, 16);
    plugin->processReplacing(in.data(), out.data(), 16);
    EXPECT_EQ(out[0][15], 0.5f);
}

TEST(TestEffectTempo, HostTempoAndPositionReachTheEffect) {
    HostOptions options;
    options.transport = Transport{.tempo = 128.0, .ppqPos = 3.5, .flags = kVstTempoValid | kVstPpqPosValid};
    auto plugin = loadTestEffect(options);
    ASSERT_TRUE(plugin);
    plugin->start(44100.0f, 512);
    // Taken at construction already.
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 128000);
    AudioBuffers in(2, 256, 0.5f), out(2, 256);
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 128000);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), 3500);
    // An unchanged tempo does not bother the editor.
    EXPECT_EQ(probe(*plugin, kProbeEditorBpm), 0);

    // A new tempo goes to the units and to the editor.
    plugin->setTransport(Transport{.tempo = 140.0, .ppqPos = 8.25, .flags = kVstTempoValid | kVstPpqPosValid});
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 140000);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), 8250);
    EXPECT_EQ(probe(*plugin, kProbeEditorBpm), 140000);

    // A tempo without a valid position: no position.
    plugin->setTransport(Transport{.tempo = 140.0, .ppqPos = 8.25, .flags = kVstTempoValid});
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 140000);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), -1000000);

    // The host stops answering: back to the internal tempo (Bpm 0.35 is 120).
    plugin->clearTransport();
    plugin->processReplacing(in.data(), out.data(), 256);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), -1000000);
    EXPECT_EQ(probe(*plugin, kProbeEditorBpm), 120000);
}

TEST(TestEffectTempo, TheInternalTempoFollowsTheBpmParameter) {
    HostOptions options;
    options.transport = Transport{.tempo = 128.0};
    auto plugin = loadTestEffect(options);
    ASSERT_TRUE(plugin);
    plugin->start(44100.0f, 512);
    plugin->setParameter(1, 0.5f);  // 150 beats per minute
    AudioBuffers in(2, 64, 0.5f), out(2, 64);
    plugin->processReplacing(in.data(), out.data(), 64);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 128000);  // the host still rules
    plugin->clearTransport();
    plugin->processReplacing(in.data(), out.data(), 64);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 150000);
}

TEST(TestEffectTempo, ZeroNegativeAndNanTemposCountAsNoTempo) {
    // The last two are tempos a float cannot hold.
    for (double bad : {0.0, -120.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), 1e300, 1e-300}) {
        HostOptions options;
        options.transport = Transport{.tempo = bad, .ppqPos = 2.0};
        auto plugin = loadTestEffect(options);
        ASSERT_TRUE(plugin);
        plugin->start(44100.0f, 512);
        EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000) << bad;  // at construction
        AudioBuffers in(2, 64, 0.5f), out(2, 64);
        plugin->processReplacing(in.data(), out.data(), 64);
        EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000) << bad;
        EXPECT_EQ(probe(*plugin, kProbeSongPosition), -1000000) << bad;
        // From a real tempo to a bad one: back to the internal tempo.
        plugin->setTransport(Transport{.tempo = 99.0, .ppqPos = 1.0});
        plugin->processReplacing(in.data(), out.data(), 64);
        EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 99000);
        plugin->setTransport(Transport{.tempo = bad, .ppqPos = 1.0});
        plugin->processReplacing(in.data(), out.data(), 64);
        EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000) << bad;
        EXPECT_EQ(probe(*plugin, kProbeSongPosition), -1000000) << bad;
        for (float sample : out[0]) ASSERT_TRUE(std::isfinite(sample));
    }
}

TEST(TestEffectTempo, TimeMasksAskedAtConstructionAndPerBlock) {
    auto plugin = loadTestEffect();  // a host that never answers
    ASSERT_TRUE(plugin);
    plugin->start(44100.0f, 512);
    ASSERT_EQ(plugin->record().timeMasks.size(), 1u);
    EXPECT_EQ(plugin->record().timeMasks[0], 0x400);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000);
    AudioBuffers in(2, 128, 0.5f), out(2, 128);
    for (int block = 0; block < 3; ++block) plugin->processReplacing(in.data(), out.data(), 128);
    plugin->process(in.data(), out.data(), 128);
    ASSERT_EQ(plugin->record().timeMasks.size(), 5u);
    for (std::size_t k = 1; k < 5; ++k) EXPECT_EQ(plugin->record().timeMasks[k], 0x2E01) << k;
    EXPECT_EQ(kBlockMask, 0x2E01);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), -1000000);
    EXPECT_EQ(probe(*plugin, kProbeAppliedTempo), 120000);
    // No time information was ever given, so the editor was never told a tempo.
    EXPECT_EQ(probe(*plugin, kProbeEditorBpm), 0);
}

}  // namespace
}  // namespace orvex::bridgetest
