// Loading plug-ins as a Linux host does, the failures a host meets on the way, and
// what the test host's callback answers and records.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

int callsBesides(const vsthost::HostRecord& record, VstInt32 opcode) {
    int total = std::accumulate(record.calls.begin(), record.calls.end(), 0);
    return total - record.calls[opcode];
}

TEST(HostLoading, ReportsEveryWayLoadingCanFail) {
    auto missing = Plugin::load(ORVEX_TEST_VST_DIR "/no-such.vst/Contents/x86_64-linux/no-such.so");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error.find("cannot find"), std::string::npos) << missing.error;

    auto empty = Plugin::load("");
    EXPECT_FALSE(empty);
    EXPECT_FALSE(empty.error.empty());

    auto folder = Plugin::load(ORVEX_TEST_VST_DIR "/testeffect.vst");
    EXPECT_FALSE(folder);
    EXPECT_NE(folder.error.find("not a file"), std::string::npos) << folder.error;

    // A file that is no shared object: the dynamic loader's own message comes through.
    char name[] = "/tmp/orvex-notelf-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const char junk[] = "this is not an ELF object\n";
    ASSERT_EQ(write(fd, junk, sizeof junk - 1), static_cast<ssize_t>(sizeof junk - 1));
    close(fd);
    auto notElf = Plugin::load(name);
    std::remove(name);
    EXPECT_FALSE(notElf);
    EXPECT_NE(notElf.error.find("cannot load"), std::string::npos) << notElf.error;
    EXPECT_NE(notElf.error.find(name), std::string::npos) << notElf.error;

    // A real shared object without any of the entry points.
    auto noEntry = Plugin::load("/usr/lib/x86_64-linux-gnu/libm.so.6");
    EXPECT_FALSE(noEntry);
    EXPECT_NE(noEntry.error.find("no VST 2.x entry point"), std::string::npos) << noEntry.error;
}

TEST(HostLoading, HostAnsweringZeroToTheVersionGetsNoRecordAndNothingIsCreated) {
    HostOptions options;
    options.version = 0;
    auto result = Plugin::load(kTestEffectPath, options);
    EXPECT_FALSE(result);
    EXPECT_NE(result.error.find("returned no plug-in"), std::string::npos) << result.error;
    // The version was the only question: no time request, no MIDI request.
    EXPECT_EQ(result.record.calls[audioMasterVersion], 1);
    EXPECT_EQ(callsBesides(result.record, audioMasterVersion), 0);
}

TEST(HostLoading, CreationAsksVersionThenTempoAndRequestsMidi) {
    auto result = Plugin::load(kTestEffectPath);
    ASSERT_TRUE(result) << result.error;
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(result.record.calls[audioMasterVersion], 1);
    // The initial tempo query asks for the tempo alone.
    ASSERT_EQ(result.record.timeMasks.size(), 1u);
    EXPECT_EQ(result.record.timeMasks[0], kVstTempoValid);
    EXPECT_EQ(result.record.timeMasks[0], 0x400);
    // The first resume, inside the constructor, asks for MIDI.
    EXPECT_EQ(result.record.wantMidi, 1);
    EXPECT_EQ(result.plugin->record().wantMidi, 1);
    result.plugin->resume();
    EXPECT_EQ(result.plugin->record().wantMidi, 2);
    EXPECT_EQ(result.plugin->record().calls[audioMasterWantMidi], 2);
}

TEST(HostLoading, CloseAnswersOneOnceAndLeavesAClosedInstanceInert) {
    auto plugin = loadTestEffect();
    ASSERT_TRUE(plugin);
    plugin->start(44100.0f, 256);
    EXPECT_TRUE(plugin->isOpen());
    EXPECT_EQ(plugin->close(), 1);
    EXPECT_FALSE(plugin->isOpen());
    EXPECT_EQ(plugin->effect(), nullptr);
    EXPECT_EQ(plugin->close(), 0);  // the second close has nothing left to close
    EXPECT_EQ(plugin->dispatch(effGetVstVersion), 0);
    EXPECT_EQ(plugin->numParams(), 0);
    AudioBuffers in(2, 16, 1.0f), out(2, 16, 7.0f);
    plugin->processReplacing(in.data(), out.data(), 16);
    EXPECT_EQ(out[0][0], 7.0f);
}

TEST(HostLoading, InstancesSideBySideKeepTheirOwnStateAndCallbacks) {
    HostOptions fast;
    fast.transport = Transport{.tempo = 90.0};
    auto a = loadTestEffect();
    auto b = loadTestEffect(fast);
    ASSERT_TRUE(a && b);
    a->start(44100.0f, 128);
    b->start(48000.0f, 256);
    a->setParameter(0, 0.25f);
    b->setParameter(0, 0.75f);
    EXPECT_EQ(a->getParameter(0), 0.25f);
    EXPECT_EQ(b->getParameter(0), 0.75f);
    EXPECT_EQ(probe(*a, kProbeBufferSize), 128);
    EXPECT_EQ(probe(*b, kProbeBufferSize), 256);
    // Each instance's callback reaches its own host: only b hears a tempo.
    EXPECT_EQ(probe(*a, kProbeAppliedTempo), 120000);
    EXPECT_EQ(probe(*b, kProbeAppliedTempo), 90000);
    AudioBuffers in(2, 100, 1.0f), out(2, 100);
    a->processReplacing(in.data(), out.data(), 100);
    EXPECT_EQ(a->record().timeMasks.size(), 2u);
    EXPECT_EQ(b->record().timeMasks.size(), 1u);
    // Closing one leaves the other working (the library stays loaded for it).
    EXPECT_EQ(a->close(), 1);
    b->processReplacing(in.data(), out.data(), 100);
    EXPECT_EQ(out[0][0], 1.5f);
    EXPECT_EQ(b->record().timeMasks.size(), 2u);
}

TEST(HostCallback, AnswersHostQueriesSensibly) {
    // The test effect never asks these; call the host the way a plug-in would.
    auto plugin = loadTestEffect();
    ASSERT_TRUE(plugin);
    plugin->start(48000.0f, 333);
    auto* e = plugin->effect();
    EXPECT_EQ(plugin->answer(audioMasterVersion, 0, 0, nullptr, 0), 2400);
    EXPECT_EQ(plugin->answer(audioMasterGetSampleRate, 0, 0, nullptr, 0), 48000);
    EXPECT_EQ(plugin->answer(audioMasterGetBlockSize, 0, 0, nullptr, 0), 333);
    EXPECT_EQ(plugin->answer(audioMasterCurrentId, 0, 0, nullptr, 0), e->uniqueID);
    char host[] = "sendVstTimeInfo";
    char unknown[] = "openCloseAnyThread";
    EXPECT_EQ(plugin->answer(audioMasterCanDo, 0, 0, host, 0), 1);
    EXPECT_EQ(plugin->answer(audioMasterCanDo, 0, 0, unknown, 0), 0);
    EXPECT_EQ(plugin->answer(audioMasterCanDo, 0, 0, nullptr, 0), 0);
    char text[kVstMaxVendorStrLen] = {};
    EXPECT_EQ(plugin->answer(audioMasterGetVendorString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "Harmoxel");
    EXPECT_EQ(plugin->answer(audioMasterGetProductString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "Orvex Test Host");
    EXPECT_EQ(plugin->answer(audioMasterGetTime, 0, kVstTempoValid, nullptr, 0), 0);
    EXPECT_EQ(plugin->answer(audioMasterOpenFileSelector, 0, 0, nullptr, 0), 0);

    plugin->answer(audioMasterBeginEdit, 2, 0, nullptr, 0);
    plugin->answer(audioMasterAutomate, 2, 0, nullptr, 0.25f);
    plugin->answer(audioMasterEndEdit, 2, 0, nullptr, 0);
    using K = vsthost::HostEvent::Kind;
    const std::vector<vsthost::HostEvent> expected = {
        {K::beginEdit, 2, 0.0f}, {K::automate, 2, 0.25f}, {K::endEdit, 2, 0.0f}};
    EXPECT_EQ(plugin->record().events, expected);

    plugin->setHostVersion(0);
    EXPECT_EQ(plugin->answer(audioMasterVersion, 0, 0, nullptr, 0), 0);
}

TEST(HostCallback, TransportAnswersAndAdvancesWithProcessedSamples) {
    HostOptions options;
    options.transport = Transport{.tempo = 120.0, .ppqPos = 0.0, .advance = true};
    auto plugin = loadTestEffect(options);
    ASSERT_TRUE(plugin);
    plugin->start(44100.0f, 512);
    // 11025 samples at 44.1 kHz and 120 beats per minute are half a quarter note.
    AudioBuffers in(2, 11025, 0.5f), out(2, 11025);
    for (int call = 0; call < 3; ++call) plugin->processReplacing(in.data(), out.data(), 11025);
    // The last call saw the position at its start.
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), 1000);
    EXPECT_EQ(plugin->transport()->ppqPos, 1.5);
    EXPECT_EQ(plugin->transport()->samplePos, 3 * 11025.0);
    plugin->process(in.data(), out.data(), 11025);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), 1500);
    EXPECT_EQ(plugin->transport()->ppqPos, 2.0);

    // The answer itself: tempo, position, flags, rate and a bar start in 4/4.
    auto* info = reinterpret_cast<VstTimeInfo*>(plugin->answer(audioMasterGetTime, 0, 0x2E01, nullptr, 0));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->tempo, 120.0);
    EXPECT_EQ(info->ppqPos, 2.0);
    EXPECT_EQ(info->sampleRate, 44100.0);
    EXPECT_EQ(info->flags, kVstTempoValid | kVstPpqPosValid);
    EXPECT_EQ(info->barStartPos, 0.0);
    EXPECT_EQ(info->timeSigNumerator, 4);
    EXPECT_EQ(info->timeSigDenominator, 4);

    // Non-advancing transports stay where they are put.
    plugin->setTransport(Transport{.tempo = 100.0, .ppqPos = 9.0});
    plugin->processReplacing(in.data(), out.data(), 11025);
    EXPECT_EQ(plugin->transport()->ppqPos, 9.0);
    EXPECT_EQ(probe(*plugin, kProbeSongPosition), 9000);
    info = reinterpret_cast<VstTimeInfo*>(plugin->answer(audioMasterGetTime, 0, 0x2E01, nullptr, 0));
    EXPECT_EQ(info->barStartPos, 8.0);
}

}  // namespace
}  // namespace orvex::bridgetest

// A host that passes no callback at all gets no instance from either entry point,
// and nothing crashes.
TEST(HostLoading, NullCallbackGetsNoRecord) {
    void* library = dlopen(orvex::bridgetest::kTestEffectPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* entry : {"VSTPluginMain", "main_macho"}) {
        auto* main = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, entry));
        ASSERT_NE(main, nullptr) << entry;
        EXPECT_EQ(main(nullptr), nullptr) << entry;
    }
    dlclose(library);
}
