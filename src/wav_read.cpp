#include "wav_read.h"

#include <cstring>

#include "platform.h"
#include "messages.h"

namespace {

constexpr size_t RIFF_HEADER_BYTES = 12;
constexpr size_t CHUNK_HEADER_BYTES = 8;
constexpr size_t FMT_BYTES = 16;

uint16_t le16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t le32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Chunk sizes are shown as signed 32-bit values, so 2^31 and more print negative.
long asSigned32(uint32_t value)
{
    return static_cast<long>(static_cast<int32_t>(value));
}

// Keeps a crafted identifier from sending control sequences to the terminal.
int printable(uint8_t byte)
{
    return (byte >= 0x20 && byte <= 0x7E) ? byte : '?';
}

// Reads up to `count` bytes and adds what was read to the tracked position.
size_t readCounted(FILE* file, void* into, size_t count, uint64_t& position)
{
    const size_t got = std::fread(into, 1, count, file);
    position += got;
    return got;
}

// Moves from `position` to `target`: by seeking, or, on a stream that cannot
// seek, by reading forward. 0 on success; -1 when the target cannot be
// reached, which ends the walk as the end of the file does.
int skipTo(FILE* file, uint64_t& position, uint64_t target)
{
    if (fileSeek(file, target) == 0) {
        position = target;
        return 0;
    }
    if (target < position) {
        return -1;
    }
    uint8_t discard[4096];
    while (position < target) {
        const uint64_t left = target - position;
        const size_t want = left < sizeof discard ? static_cast<size_t>(left) : sizeof discard;
        if (readCounted(file, discard, want, position) != want) {
            return -1;
        }
    }
    return 0;
}

// What the walk has found so far.
struct WalkState {
    bool haveFmt = false;
    bool haveData = false;
    bool sizeKnown = false;
    uint64_t fileBytes = 0;
};

int dataChunkRead(FILE* file, uint32_t size, uint64_t& position, const WalkState& walk, WavInfo& info)
{
    info.dataSize = size;
    msgErr(MSG_DATA_LENGTH, asSigned32(size));
    info.data.reset();  // an earlier data chunk's buffer goes before the new one is taken
    // A declared size beyond the end of the file cannot be read; saying so
    // before allocating keeps a forged size from costing its memory.
    if (walk.sizeKnown && size > walk.fileBytes - position) {
        msgErr(MSG_READ_FAILED);
        return -1;
    }
    info.data = wavBufferAlloc(size);
    if (!info.data) {
        msgErr(MSG_NO_MEMORY);
        return -1;
    }
    if (readCounted(file, info.data.get(), size, position) != size) {
        msgErr(MSG_READ_FAILED);
        info.data.reset();
        return -1;
    }
    return 0;
}

// The chunk walk from the first chunk header on; 0 when it ran to the end.
int chunksRead(FILE* file, WavInfo& info, WalkState& walk)
{
    uint8_t riff[RIFF_HEADER_BYTES];
    uint64_t position = 0;
    if (readCounted(file, riff, sizeof riff, position) != sizeof riff) {
        msgErr(MSG_HEADER_SHORT, static_cast<long>(position));
        return -1;
    }
    if (std::memcmp(riff + 8, "WAVE", 4) != 0) {
        msgErr(MSG_NO_WAVE);
        return -1;
    }
    if (std::memcmp(riff, "RIFF", 4) != 0) {
        msgErr(MSG_NOT_RIFF);
        return -1;
    }
    walk.sizeKnown = fileSize(file, walk.fileBytes) == 0;

    uint8_t header[CHUNK_HEADER_BYTES];
    while (readCounted(file, header, sizeof header, position) == sizeof header) {
        const uint32_t size = le32(header + 4);
        // Every chunk ends at the same computed place: payload, then the pad
        // byte that follows an odd-sized payload. 64-bit arithmetic keeps
        // the walk moving forward whatever the size.
        const uint64_t next = position + size + (size & 1u);
        if (std::memcmp(header, "fmt ", 4) == 0) {
            msgErr(MSG_FMT_LENGTH, asSigned32(size));
            WavFmt fmt;
            if (wavFmtRead(file, fmt) != 0) {
                return -1;
            }
            position += FMT_BYTES;
            info.sampleRate = fmt.sampleRate;
            info.bitsPerSample = fmt.bitsPerSample;
            info.channels = fmt.channels;
            info.byteRate = fmt.byteRate;
            walk.haveFmt = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (dataChunkRead(file, size, position, walk, info) != 0) {
                return -1;
            }
            walk.haveData = true;
        } else {
            msgOut(MSG_CHUNK_LENGTH, printable(header[0]), printable(header[1]), printable(header[2]),
                   printable(header[3]), asSigned32(size));
        }
        if (skipTo(file, position, next) != 0) {
            break;
        }
    }
    return 0;
}

}  // namespace

int wavFmtRead(FILE* file, WavFmt& fmt)
{
    uint8_t bytes[FMT_BYTES];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) {
        return -1;
    }
    fmt.formatTag = le16(bytes);
    fmt.channels = le16(bytes + 2);
    fmt.sampleRate = le32(bytes + 4);
    fmt.byteRate = le32(bytes + 8);
    fmt.blockAlign = le16(bytes + 12);
    fmt.bitsPerSample = le16(bytes + 14);

    msgOut(MSG_FMT_FORMAT_TAG, static_cast<unsigned>(fmt.formatTag));
    msgOut(MSG_FMT_CHANNELS, static_cast<unsigned>(fmt.channels));
    msgOut(MSG_FMT_SAMPLE_RATE, static_cast<unsigned long>(fmt.sampleRate));
    msgOut(MSG_FMT_BYTE_RATE, static_cast<unsigned long>(fmt.byteRate));
    msgOut(MSG_FMT_BLOCK_ALIGN, static_cast<unsigned>(fmt.blockAlign));
    msgOut(MSG_FMT_BITS, static_cast<unsigned>(fmt.bitsPerSample));

    // The format code is checked first, so a compressed file never gets the
    // sample-width texts.
    if (fmt.formatTag != 1) {
        msgErr(MSG_ONLY_PCM);
        msgErr(MSG_FORMAT_TAG_IS, static_cast<unsigned>(fmt.formatTag));
        return -1;
    }
    if (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16) {
        msgErr(MSG_ONLY_8_16_BITS);
        msgErr(MSG_BITS_IS, static_cast<int>(fmt.bitsPerSample));
        return -1;
    }
    // No channels would mean frames of no bytes, which cannot be counted.
    if (fmt.channels == 0) {
        msgErr(MSG_ONLY_CHANNELS);
        msgErr(MSG_CHANNELS_IS, static_cast<unsigned>(fmt.channels));
        return -1;
    }
    return 0;
}

int wavRead(const char* path, WavInfo& info)
{
    info.data.reset();
    FILE* file = fileOpenRead(path);
    if (!file) {
        msgErr(MSG_IN_OPEN_FAILED, msgPathShown(path).c_str());
        return -1;
    }
    info.source = fileIdOf(file);
    msgOut(MSG_FILE_NAME, msgPathShown(path).c_str());

    WalkState walk;
    const int walked = chunksRead(file, info, walk);
    std::fclose(file);
    if (walked != 0) {
        return -1;
    }
    if (!walk.haveFmt) {
        msgErr(MSG_NO_FMT_CHUNK);
        return -1;
    }
    if (!walk.haveData) {
        msgErr(MSG_NO_DATA_CHUNK);
        return -1;
    }
    // A byte rate of 0 gives no meaningful playing time, so none is shown.
    if (info.byteRate != 0) {
        msgOut(MSG_PLAY_TIME, static_cast<double>(info.dataSize) / static_cast<double>(info.byteRate));
    }
    return 0;
}
