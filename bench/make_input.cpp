// Writes a PCM WAVE file of a given layout and data size with deterministic
// content, for the benchmark.
//
//   make_input OUT.wav BITS CHANNELS DATA_BYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "wav_info.h"
#include "wav_write.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_input OUT.wav BITS CHANNELS DATA_BYTES\n");
        return 1;
    }
    const auto bits = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10));
    const auto channels = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 10));
    const uint64_t dataBytes = std::strtoull(argv[4], nullptr, 10);
    // The data chunk declares its length in 32 bits.
    if (dataBytes > UINT32_MAX) {
        std::fprintf(stderr, "make_input: a data chunk holds at most %lu bytes\n", static_cast<unsigned long>(UINT32_MAX));
        return 1;
    }
    // The header as the converter itself writes it.
    WavInfo info{};
    info.sampleRate = 44100;
    info.bitsPerSample = bits;
    info.channels = channels;
    info.dataSize = static_cast<uint32_t>(dataBytes);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || wavHdrWrite(out, info) != 44) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> chunk(size_t{1} << 20);
    uint32_t state = 12345;
    for (uint64_t left = dataBytes; left > 0;) {
        const size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
        for (size_t i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            chunk[i] = static_cast<uint8_t>(state >> 24);
        }
        if (std::fwrite(chunk.data(), 1, n, out) != n) {
            std::perror(argv[1]);
            return 1;
        }
        left -= n;
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
