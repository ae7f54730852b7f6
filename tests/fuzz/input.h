// The fuzz input read as a stream of choices (fuzzer thread). Past the end every read
// gives 0, so any input, the empty one too, decodes to a complete host session.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace orvex::fuzz {

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool empty() const { return pos >= size; }

    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t u16() {
        const unsigned low = byte();
        return static_cast<uint16_t>(low | static_cast<unsigned>(byte()) << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
    uint64_t u64() {
        const uint64_t low = u32();
        return low | static_cast<uint64_t>(u32()) << 32;
    }

    // 0..n-1, read from as few bytes as n needs (0 when n is 0 or 1).
    uint32_t below(uint32_t n) {
        if (n <= 1) return 0;
        if (n <= 0x100) return byte() % n;
        if (n <= 0x10000) return u16() % n;
        return u32() % n;
    }
    // 0..1 in 65536 steps.
    float unit() { return static_cast<float>(u16()) / 65535.0f; }
    // Any bit pattern, NaNs and infinities included.
    float rawFloat() { return std::bit_cast<float>(u32()); }
    double rawDouble() { return std::bit_cast<double>(u64()); }

    template <class T, std::size_t N>
    T pick(const T (&table)[N]) {
        return table[below(static_cast<uint32_t>(N))];
    }

private:
    const uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

}  // namespace orvex::fuzz
