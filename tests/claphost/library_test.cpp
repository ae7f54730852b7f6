// The CLAP host library on the test gain: what a validator builds on. Calls into the
// host recorded with their thread and state, state through streams that give a byte
// at a time or fail, the plug-in's own changes collected as output events.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "tools/claphost/claphost.h"

namespace {

using namespace orvex::claphost;

const std::string kGain = ORVEX_BINARY_DIR "/tests/faulty-clap/faultyclap.clap";

std::unique_ptr<Plugin> loadGain() {
    LoadResult loaded = Plugin::load(kGain);
    EXPECT_TRUE(loaded) << loaded.error;
    return std::move(loaded.plugin);
}

TEST(ClapHostLibrary, RecordsEachCallWithItsThreadAndState) {
    auto p = loadGain();
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->activate(48000, 1, 64));
    float left[64] = {}, right[64] = {};
    float* io[2] = {left, right};
    // The gain refuses to process (an error) unless the host says it is on the audio thread.
    std::thread audio([&] { EXPECT_EQ(p->process(io, io, 64), CLAP_PROCESS_CONTINUE); });
    audio.join();
    p->deactivate();

    const std::vector<Callback> calls = p->callbacks().calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_STREQ(calls[0].function, "get_extension");
    EXPECT_EQ(calls[0].state, State::loading);
    EXPECT_EQ(calls[0].thread, Thread::main);
    EXPECT_EQ(p->callbacks().count("log"), 1);
    const Callback& asked = calls.back();
    EXPECT_STREQ(asked.function, "is_audio_thread");
    EXPECT_EQ(asked.thread, Thread::audio);
    EXPECT_EQ(asked.state, State::processing);
    EXPECT_TRUE(asked.insideProcess);
    ASSERT_EQ(p->logMessages().size(), 1u);
    EXPECT_STREQ(p->logMessages()[0].text, "initialised");
}

TEST(ClapHostLibrary, StateThroughSlowAndFailingStreams) {
    auto p = loadGain();
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->queueParam(0, 0.3) && p->flush());
    const auto saved = p->saveState({1, 0});  // a byte per write
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->size(), 4 + 2 * sizeof(double));
    EXPECT_EQ(p->streamCalls, static_cast<int>(saved->size()));
    EXPECT_FALSE(p->saveState({0, 1}));  // the first write fails
    ASSERT_TRUE(p->queueParam(0, 1.0) && p->flush());
    EXPECT_FALSE(p->loadState(*saved, {3, 2}));  // the second read fails
    EXPECT_TRUE(p->loadState(*saved, {3, 0}));   // three bytes per read
    EXPECT_EQ(p->paramValue(0), 0.3);
    const std::vector<uint8_t> cut(saved->begin(), saved->end() - 1);
    EXPECT_FALSE(p->loadState(cut));
}

TEST(ClapHostLibrary, CollectsThePluginsOutputEvents) {
    auto p = loadGain();
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->activate(48000, 1, 64));
    float left[64] = {}, right[64] = {};
    float* io[2] = {left, right};
    ASSERT_TRUE(p->queueEvent(midiEvent(0xB0, 7, 127, 10)));
    ASSERT_EQ(p->process(io, io, 64), CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(p->outputEvents().size(), 1u);
    const Event& told = p->outputEvents()[0];
    EXPECT_EQ(told.header.type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(told.header.time, 10u);
    EXPECT_EQ(told.paramValue.param_id, 0u);
    EXPECT_EQ(told.paramValue.value, 1.0);
    ASSERT_EQ(p->process(io, io, 64), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(p->outputEvents().size(), 0u);  // each process collects its own
}

}  // namespace

namespace {

// The render's transport says what the VST 2.x render's does: the song position in
// quarters from the frame, the start of its 4/4 bar, the meter, playing.
TEST(ClapHostLibrary, TransportOfARenderedFrame) {
    const int64_t frame = 3 * 48000 + 123;  // 6.56 quarters at 128 BPM: bar 1
    const clap_event_transport_t t = playingTransport(128.0, 48000.0, frame);
    const double quarters = static_cast<double>(frame) / 48000.0 * 128.0 / 60.0;
    EXPECT_NEAR(static_cast<double>(t.song_pos_beats) / CLAP_BEATTIME_FACTOR, quarters, 1.0 / CLAP_BEATTIME_FACTOR);
    EXPECT_EQ(t.bar_start, 4 * CLAP_BEATTIME_FACTOR);
    EXPECT_EQ(t.bar_number, 1);
    EXPECT_EQ(t.tempo, 128.0);
    EXPECT_EQ(t.tsig_num, 4);
    EXPECT_EQ(t.tsig_denom, 4);
    EXPECT_NEAR(static_cast<double>(t.song_pos_seconds) / CLAP_SECTIME_FACTOR * 48000.0, frame, 1e-3);
    EXPECT_TRUE(t.flags & CLAP_TRANSPORT_IS_PLAYING);
    EXPECT_TRUE(t.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE);
}

}  // namespace
