// Fuzz target for the block time reversal. Each input is read as a layout
// rather than as a file: sample width, channel count, a frame count near a
// block boundary (up to three blocks), stray bytes after the last frame and
// a seed for the sample values. The reversal's result is checked against a
// plain frame-by-frame reference written here, and a second reversal must
// give back the original bytes. Any difference aborts, which libFuzzer
// reports as a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wav_info.h"
#include "wav_write.h"

namespace {

struct Layout {
    uint16_t bits;
    uint16_t channels;
    size_t frames;
    size_t strayBytes;
    uint32_t seed;
};

uint32_t byteAt(const uint8_t* bytes, size_t size, size_t index)
{
    return index < size ? bytes[index] : 0u;
}

// Byte 0: width; byte 1: channels; byte 2: whole blocks (0 to 3); bytes 3-4:
// a signed offset from that boundary; byte 5: stray bytes; bytes 6-9: seed.
// Offsets near a boundary are where an off-by-one would show.
Layout layoutOf(const uint8_t* bytes, size_t size)
{
    Layout layout{};
    layout.bits = (byteAt(bytes, size, 0) & 1u) ? 16 : 8;
    layout.channels = static_cast<uint16_t>(1 + byteAt(bytes, size, 1) % 8);
    const int64_t blocks = byteAt(bytes, size, 2) % 4;
    const auto offset = static_cast<int16_t>(byteAt(bytes, size, 3) | (byteAt(bytes, size, 4) << 8));
    const int64_t frames = blocks * BLOCK_FRAMES + offset;
    const int64_t most = 3 * int64_t{BLOCK_FRAMES} + 64;
    layout.frames = static_cast<size_t>(frames < 0 ? 0 : (frames > most ? most : frames));
    const size_t frameBytes = layout.bits / 8u * layout.channels;
    layout.strayBytes = byteAt(bytes, size, 5) % frameBytes;
    layout.seed = byteAt(bytes, size, 6) | (byteAt(bytes, size, 7) << 8) | (byteAt(bytes, size, 8) << 16) |
                  (byteAt(bytes, size, 9) << 24);
    return layout;
}

std::vector<uint8_t> samplesMake(size_t count, uint32_t seed)
{
    std::vector<uint8_t> bytes(count);
    uint32_t state = seed | 1u;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

// The rule, one frame at a time: in every block but the one holding the
// last frame, frame i takes frame BLOCK_FRAMES-1-i; mono and stereo frames
// move whole, with more channels only the channel-0 sample moves.
std::vector<uint8_t> referenceReverse(const Layout& layout, const std::vector<uint8_t>& in)
{
    const size_t sampleBytes = layout.bits / 8u;
    const size_t frameBytes = sampleBytes * layout.channels;
    const size_t moved = layout.channels <= 2 ? frameBytes : sampleBytes;
    const size_t blocks = layout.frames == 0 ? 0 : (layout.frames - 1) / BLOCK_FRAMES;
    std::vector<uint8_t> out = in;
    for (size_t block = 0; block < blocks; ++block) {
        const size_t first = block * BLOCK_FRAMES;
        for (size_t i = 0; i < BLOCK_FRAMES; ++i) {
            std::memcpy(&out[(first + i) * frameBytes], &in[(first + BLOCK_FRAMES - 1 - i) * frameBytes], moved);
        }
    }
    return out;
}

int reverseRun(WavInfo& info)
{
    return info.bitsPerSample == 8 ? wavReverse8(info) : wavReverse16(info);
}

void check(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const Layout layout = layoutOf(bytes, size);
    const size_t dataBytes = layout.frames * (layout.bits / 8u) * layout.channels + layout.strayBytes;
    if (dataBytes == 0) {
        return 0;  // an empty data chunk is refused before the reversal
    }
    const std::vector<uint8_t> original = samplesMake(dataBytes, layout.seed);

    WavInfo info{};
    info.bitsPerSample = layout.bits;
    info.channels = layout.channels;
    info.sampleRate = 8000;
    info.byteRate = 8000;
    info.dataSize = static_cast<uint32_t>(dataBytes);
    info.data = wavBufferAlloc(dataBytes);
    check(info.data != nullptr);
    std::memcpy(info.data.get(), original.data(), dataBytes);

    check(reverseRun(info) == 0);
    const std::vector<uint8_t> expected = referenceReverse(layout, original);
    check(std::memcmp(info.data.get(), expected.data(), dataBytes) == 0);
    check(reverseRun(info) == 0);
    check(std::memcmp(info.data.get(), original.data(), dataBytes) == 0);
    return 0;
}
