// The CLAP face's state loader under libFuzzer, linked with one plug-in's objects and its
// CLAP face (host/clapface.cpp). The first input byte says whether the instance is
// active and how many bytes the host's stream hands over at a time; the rest is the
// stream. The loader must refuse what is short, long or garbled and leave the instance
// as it was (its saved state the same bytes), take what is sound (its saved state then
// the same bytes, when the stream named every parameter), and the instance must still
// process to finite output on finite input either way.
//
// Threads: the fuzzer's one thread plays the host's main thread and its audio thread in
// turn.
#include <cmath>
#include <cstring>
#include <vector>

#include "clapstreams.h"

extern "C" const clap_plugin_entry_t clap_entry;

namespace orvex::fuzz {
namespace {

struct Session {
    explicit Session(Input& in) : in(in) {}
    void run();
    Input& in;
};

void Session::run() {
    FUZZ_CHECK(clap_entry.init(""), "clap_entry.init failed");
    const auto* factory = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_host_t host = quietHost([](const clap_host_t*, const char*) -> const void* { return nullptr; });
    const clap_plugin_t* plugin = factory->create_plugin(factory, &host, factory->get_plugin_descriptor(factory, 0)->id);
    FUZZ_CHECK(plugin && plugin->init(plugin), "no instance");
    const auto& state = *static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
    const uint8_t shape = in.byte();
    const bool active = shape & 1;
    if (active) FUZZ_CHECK(plugin->activate(plugin, 48000.0, 1, 256), "activation refused");
    StreamBytes given;
    given.most = 1 + (shape >> 1) % 32;
    while (!in.empty()) given.data.push_back(in.byte());
    const std::vector<uint8_t> before = savedState(plugin, state);
    const bool loaded = state.load(plugin, &given.in);
    trace("%s, %zu bytes at most %zu at a time: %s", active ? "active" : "inactive", given.data.size(), given.most,
          loaded ? "taken" : "refused");
    const std::vector<uint8_t> after = savedState(plugin, state);
    if (!loaded) FUZZ_CHECK(after == before, "a refused state changed the instance");
    if (loaded && given.data.size() == after.size()) FUZZ_CHECK(after == given.data, "a loaded state saves otherwise");
    if (!active) FUZZ_CHECK(plugin->activate(plugin, 48000.0, 1, 256), "activation refused");
    std::vector<float> left(256), right(256), input(256);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = std::sin(0.05f * static_cast<float>(i));
    float* ins[2] = {input.data(), input.data()};
    float* outs[2] = {left.data(), right.data()};
    clap_audio_buffer_t in32{ins, nullptr, 2, 0, 0}, out32{outs, nullptr, 2, 0, 0};
    const clap_process_t p{-1, 256, nullptr, &in32, &out32, 1, 1, nullptr, nullptr};
    for (int block = 0; block < 4; ++block) plugin->process(plugin, &p);
    for (float x : left) FUZZ_CHECK(std::isfinite(x), "output %g after the state", x);
    for (float x : right) FUZZ_CHECK(std::isfinite(x), "output %g after the state", x);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
    clap_entry.deinit();
}

}  // namespace
}  // namespace orvex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return orvex::fuzz::runSession<orvex::fuzz::Session>(data, size);
}
