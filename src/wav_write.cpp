#include "wav_write.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "file_replace.h"
#include "messages.h"
#include "platform.h"

namespace {

constexpr size_t HEADER_BYTES = 44;

void putLe16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putLe32(uint8_t* at, uint32_t value)
{
    putLe16(at, value);
    putLe16(at + 2, value >> 16);
}

// Reverses the order of the `unit`-byte units inside one 64-bit word. The
// same shifts work on either byte order, and compilers turn the one-byte
// case into a single byte swap.
template <size_t unit>
uint64_t wordUnitsReverse(uint64_t word)
{
    word = (word >> 32) | (word << 32);
    if constexpr (unit <= 2) {
        word = ((word & 0xFFFF0000FFFF0000u) >> 16) | ((word & 0x0000FFFF0000FFFFu) << 16);
    }
    if constexpr (unit == 1) {
        word = ((word & 0xFF00FF00FF00FF00u) >> 8) | ((word & 0x00FF00FF00FF00FFu) << 8);
    }
    return word;
}

// Copies one block of `unit`-byte frames from `from` to `to` in reverse
// order: frame i of `to` takes frame BLOCK_FRAMES-1-i of `from`. Eight bytes
// move at a time, reversed inside a register, which runs several times
// faster than moving one sample at a time.
template <size_t unit>
void blockFramesReverse(uint8_t* to, const uint8_t* from)
{
    constexpr size_t bytes = BLOCK_FRAMES * unit;
    static_assert(bytes % 8 == 0, "a block must fill whole 64-bit words");
    for (size_t w = 0; w < bytes / 8; ++w) {
        uint64_t word;
        std::memcpy(&word, from + bytes - 8 * (w + 1), 8);
        word = wordUnitsReverse<unit>(word);
        std::memcpy(to + 8 * w, &word, 8);
    }
}

// Mono and stereo frames are 1, 2 or 4 bytes long.
void framesReverse(uint8_t* to, const uint8_t* from, size_t frameBytes)
{
    switch (frameBytes) {
    case 1: blockFramesReverse<1>(to, from); break;
    case 2: blockFramesReverse<2>(to, from); break;
    default: blockFramesReverse<4>(to, from); break;
    }
}

// With three or more channels only the channel-0 samples change places:
// sample i and sample BLOCK_FRAMES-1-i swap, in place, which reads and writes
// every frame of the block once and needs no scratch space.
template <size_t sampleBytes>
void channelZeroReverse(uint8_t* block, size_t frameBytes)
{
    uint8_t* low = block;
    uint8_t* high = block + (BLOCK_FRAMES - 1) * frameBytes;
    for (; low < high; low += frameBytes, high -= frameBytes) {
        uint8_t kept[sampleBytes];
        std::memcpy(kept, low, sampleBytes);
        std::memcpy(low, high, sampleBytes);
        std::memcpy(high, kept, sampleBytes);
    }
}

// Mono and stereo: whole frames change places, so each block is copied out
// into the scratch block once and its frames are put back in reverse order.
int blocksReverse(WavInfo& info, size_t sampleBytes)
{
    const size_t channels = info.channels;
    const size_t frameBytes = sampleBytes * channels;
    const bool wholeFrames = channels <= 2;
    uint8_t* scratch = nullptr;
    if (wholeFrames) {
        scratch = static_cast<uint8_t*>(std::malloc(frameBytes * BLOCK_FRAMES));
        if (!scratch) {
            msgErr(MSG_NO_MEMORY);
            return -1;
        }
    }
    // The reader refuses files without channels, so frames have bytes.
    const size_t frames = info.dataSize / frameBytes;
    uint8_t* const data = info.data.get();
    // The block holding the last frame stays as it is, hence the strict test.
    for (size_t done = 0; frames > done + BLOCK_FRAMES; done += BLOCK_FRAMES) {
        uint8_t* block = data + done * frameBytes;
        if (wholeFrames) {
            std::memcpy(scratch, block, frameBytes * BLOCK_FRAMES);
            framesReverse(block, scratch, frameBytes);
        } else if (sampleBytes == 1) {
            channelZeroReverse<1>(block, frameBytes);
        } else {
            channelZeroReverse<2>(block, frameBytes);
        }
    }
    std::free(scratch);
    return 0;
}

// Header and data, each failure with its texts; the caller closes `file`.
int outputWrite(FILE* file, const char* path, WavInfo& info)
{
    if (wavHdrWrite(file, info) != static_cast<long>(HEADER_BYTES)) {
        msgErr(MSG_HEADER_WRITE_FAILED, msgPathShown(path).c_str());
        return -1;
    }
    if (wavDataWrite(file, info) != 0) {
        msgErr(MSG_DATA_WRITE_ERROR);
        return -1;
    }
    return 0;
}

void writeFailureReport()
{
    msgErr(MSG_WRITE_FAILED);
    msgErr(MSG_DATA_WRITE_ERROR);
}

// Writes over the input file without ever leaving it half-written: the
// result replaces it only once every write has succeeded.
int inputReplace(const char* path, WavInfo& info)
{
    FileReplace replace;
    if (fileReplaceBegin(path, info.source, replace) != 0) {
        msgErr(MSG_OUT_OPEN_FAILED, msgPathShown(path).c_str());
        return -1;
    }
    if (outputWrite(replace.file, path, info) != 0) {
        fileReplaceAbandon(replace);
        return -1;
    }
    // Syncing or moving the finished file can still fail (a full disk shows
    // late on some file systems); the input then stays as it was.
    if (fileReplaceCommit(replace) != 0) {
        writeFailureReport();
        return -1;
    }
    return 0;
}

}  // namespace

int wavReverse8(WavInfo& info)
{
    return blocksReverse(info, 1);
}

int wavReverse16(WavInfo& info)
{
    return blocksReverse(info, 2);
}

long wavHdrWrite(FILE* file, const WavInfo& info)
{
    const uint32_t sampleBytes = info.bitsPerSample / 8u;
    const uint32_t blockAlign = sampleBytes * info.channels;
    uint8_t header[HEADER_BYTES];
    std::memcpy(header, "RIFF", 4);
    putLe32(header + 4, info.dataSize + 36u);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    putLe32(header + 16, 16);
    putLe16(header + 20, 1);
    putLe16(header + 22, info.channels);
    putLe32(header + 24, info.sampleRate);
    putLe32(header + 28, blockAlign * info.sampleRate);
    putLe16(header + 32, blockAlign & 0xFFFFu);
    putLe16(header + 34, info.bitsPerSample);
    std::memcpy(header + 36, "data", 4);
    putLe32(header + 40, info.dataSize);
    // Counting the bytes instead of asking the position lets a pipe or a
    // device be the output.
    return static_cast<long>(std::fwrite(header, 1, sizeof header, file));
}

int wavDataWrite(FILE* file, WavInfo& info)
{
    // Without its data the descriptor has nothing to scramble or write.
    int result = -1;
    bool written = false;
    if (info.data) {
        result = info.bitsPerSample == 8 ? wavReverse8(info) : wavReverse16(info);
        // Written even when the reversal failed: the data then goes out as it
        // was read, and the result says it failed.
        written = std::fwrite(info.data.get(), 1, info.dataSize, file) == info.dataSize;
    }
    written = std::fflush(file) == 0 && written;
    if (!written) {
        msgErr(MSG_WRITE_FAILED);
        result = -1;
    }
    return result;
}

int wavWrite(const char* path, WavInfo& info)
{
    if (fileIsRegularAt(path, info.source)) {
        return inputReplace(path, info);
    }
    FILE* file = fileOpenWrite(path);
    if (!file) {
        msgErr(MSG_OUT_OPEN_FAILED, msgPathShown(path).c_str());
        return -1;
    }
    int result = outputWrite(file, path, info);
    // A failure that only shows on closing is still a failed data write.
    if (std::fclose(file) != 0 && result == 0) {
        writeFailureReport();
        result = -1;
    }
    return result;
}
