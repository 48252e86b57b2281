#include "tests/integration/support/wav_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quill::pdtest {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint64_t le64(const std::vector<uint8_t>& b, size_t at)
{
    return uint64_t(le32(b, at)) | uint64_t(le32(b, at + 4)) << 32;
}

uint16_t le16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

void fail(const std::string& why) { throw std::runtime_error("WAV: " + why); }

}  // namespace

WavData parseWav(const std::vector<uint8_t>& b)
{
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        fail("not a RIFF/WAVE file");

    constexpr uint16_t kFloat = 3;
    constexpr uint16_t kExtensible = 0xFFFE;
    int channels = 0;
    int sampleRate = 0;
    size_t bytesPerSample = 0;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t size = le32(b, at + 4);
        const size_t body = at + 8;
        const bool isFmt = std::memcmp(b.data() + at, "fmt ", 4) == 0;
        const bool isData = std::memcmp(b.data() + at, "data", 4) == 0;
        if (isFmt) {
            if (size < 16 || body + size > b.size()) fail("short fmt chunk");
            uint16_t tag = le16(b, body);
            if (tag == kExtensible) {
                if (size < 40) fail("short extensible fmt chunk");
                tag = le16(b, body + 24);  // first two bytes of the sub-format GUID
            }
            if (tag != kFloat) fail("not IEEE float samples");
            bytesPerSample = le16(b, body + 14) / 8u;
            if (bytesPerSample != 4 && bytesPerSample != 8) fail("neither 32- nor 64-bit samples");
            channels = le16(b, body + 2);
            sampleRate = int(le32(b, body + 4));
            if (channels < 1) fail("no channels");
            haveFormat = true;
        } else if (isData) {
            if (!haveFormat) fail("data before fmt");
            // Pd may leave the size open when it cannot seek back; take what is there.
            size_t bytes = size;
            if (body + bytes > b.size()) bytes = b.size() - body;
            const size_t frames = bytes / (bytesPerSample * size_t(channels));
            WavData out;
            out.sampleRate = sampleRate;
            if (bytesPerSample == 4) out.channels.assign(size_t(channels), std::vector<float>(frames));
            else out.doubles.assign(size_t(channels), std::vector<double>(frames));
            for (size_t f = 0; f < frames; ++f)
                for (size_t c = 0; c < size_t(channels); ++c) {
                    const size_t sample = body + bytesPerSample * (f * size_t(channels) + c);
                    if (bytesPerSample == 4) {
                        const uint32_t bits = le32(b, sample);
                        std::memcpy(&out.channels[c][f], &bits, 4);
                    } else {
                        const uint64_t bits = le64(b, sample);
                        std::memcpy(&out.doubles[c][f], &bits, 8);
                    }
                }
            return out;
        }
        at = body + size + (size & 1u);  // chunks are padded to even sizes
    }
    fail("no data chunk");
    return {};
}

WavData readWav(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("WAV: cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return parseWav(bytes);
}

}  // namespace quill::pdtest
