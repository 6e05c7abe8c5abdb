// Writes a PCM WAVE file of a given layout and data size with deterministic
// content, for the benchmark.
//
//   make_input OUT.wav BITS CHANNELS DATA_BYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_input OUT.wav BITS CHANNELS DATA_BYTES\n");
        return 1;
    }
    const auto bits = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const auto channels = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const auto dataBytes = static_cast<uint32_t>(std::strtoull(argv[4], nullptr, 10));
    const uint32_t rate = 44100;
    const uint32_t align = bits / 8 * channels;
    std::vector<uint8_t> header;
    auto put = [&](uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            header.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    auto tag = [&](const char* id) { header.insert(header.end(), id, id + 4); };
    tag("RIFF");
    put(dataBytes + 36, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(align * rate, 4);
    put(align, 2);
    put(bits, 2);
    tag("data");
    put(dataBytes, 4);

    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
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
