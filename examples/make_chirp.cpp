// Writes the bundled example: a rising chirp, 8-bit unsigned mono at 16 kHz,
// 26 seconds long (416000 frames, a little more than one reversal block of
// 409600 frames, so the first 25.6 seconds come out reversed).
//
//   make_chirp chirp.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "wav_info.h"
#include "wav_write.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_chirp OUT.wav\n");
        return 1;
    }
    const uint32_t rate = 16000;
    const uint32_t frames = 416000;
    const double startHz = 200.0;
    const double endHz = 3000.0;
    const double seconds = static_cast<double>(frames) / rate;
    const double pi = 3.14159265358979323846;

    std::vector<uint8_t> bytes;
    for (uint32_t n = 0; n < frames; ++n) {
        const double t = n / static_cast<double>(rate);
        // Linear sweep: the phase is the integral of the rising frequency.
        const double phase = 2 * pi * (startHz * t + (endHz - startHz) * t * t / (2 * seconds));
        const double fade = std::fmin(1.0, std::fmin(t, seconds - t) / 0.05);
        bytes.push_back(static_cast<uint8_t>(std::lround(128 + 96 * fade * std::sin(phase))));
    }
    // The program's own header writer: 8-bit mono PCM, the file as the
    // converter itself would write it.
    WavInfo info{};
    info.sampleRate = rate;
    info.bitsPerSample = 8;
    info.channels = 1;
    info.dataSize = frames;
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || wavHdrWrite(out, info) != 44 || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
