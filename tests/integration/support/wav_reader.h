// Reads float WAV files (format 3, or WAVE_FORMAT_EXTENSIBLE with the IEEE
// float sub-format), as Pd's [soundfiler] writes with "-bytes 4" (32-bit
// samples) or "-bytes 8" (64-bit samples: a double-precision Pd's, unrounded).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quill::pdtest {

struct WavData {
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;   // 32-bit files: one vector per channel
    std::vector<std::vector<double>> doubles;   // 64-bit files: one vector per channel
};

// Parses a whole file held in memory; throws std::runtime_error on anything
// that is not a well-formed 32- or 64-bit float WAV file.
WavData parseWav(const std::vector<uint8_t>& bytes);
WavData readWav(const std::string& path);

}  // namespace quill::pdtest
