// What both CLAP fuzz drivers give the plug-in (fuzzer thread): a host that offers
// nothing but its name, and the byte streams its state is saved to and loaded from,
// handing over at most `most` bytes per call as a host may.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/clap.h"
#include "hostile.h"

namespace orvex::fuzz {

inline clap_host_t quietHost(const void* (*extension)(const clap_host_t*, const char*)) {
    clap_host_t host{};
    host.clap_version = CLAP_VERSION;
    host.name = host.version = "hostile";
    host.get_extension = extension;
    host.request_restart = host.request_process = host.request_callback = [](const clap_host_t*) {};
    return host;
}

struct StreamBytes {
    std::vector<uint8_t> data;
    std::size_t at = 0, most = SIZE_MAX;
    const clap_ostream_t out{this, [](const clap_ostream_t* s, const void* bytes, uint64_t size) -> int64_t {
                                 auto& self = *static_cast<StreamBytes*>(s->ctx);
                                 const std::size_t n = std::min(static_cast<std::size_t>(size), self.most);
                                 const auto* b = static_cast<const uint8_t*>(bytes);
                                 self.data.insert(self.data.end(), b, b + n);
                                 return static_cast<int64_t>(n);
                             }};
    const clap_istream_t in{this, [](const clap_istream_t* s, void* bytes, uint64_t size) -> int64_t {
                                auto& self = *static_cast<StreamBytes*>(s->ctx);
                                const std::size_t n =
                                    std::min({static_cast<std::size_t>(size), self.most, self.data.size() - self.at});
                                if (n > 0) std::memcpy(bytes, self.data.data() + self.at, n);
                                self.at += n;
                                return static_cast<int64_t>(n);
                            }};
    StreamBytes() = default;
    StreamBytes(const StreamBytes&) = delete;
    StreamBytes& operator=(const StreamBytes&) = delete;
};

// The plug-in's saved state; a save that fails breaks an invariant.
inline std::vector<uint8_t> savedState(const clap_plugin_t* plugin, const clap_plugin_state_t& state) {
    StreamBytes saved;
    FUZZ_CHECK(state.save(plugin, &saved.out), "state save failed");
    return saved.data;
}

}  // namespace orvex::fuzz
