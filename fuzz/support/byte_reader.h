// Reads a fuzz input front to back as small choices. Past the end every read
// gives 0, so any prefix of an input is itself a valid, shorter scenario, and
// seeds can be written by hand (see fuzz/make_seeds.py).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz {

class ByteReader {
public:
    ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }

    uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }

    uint16_t u16()
    {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }

    uint32_t u32()
    {
        const uint32_t lo = u16();
        return lo | (static_cast<uint32_t>(u16()) << 16);
    }

    // A choice among `count` options (count >= 1).
    unsigned pick(unsigned count) { return u8() % count; }

    // Any bit pattern, NaN and infinities included.
    float rawFloat()
    {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace fuzz
