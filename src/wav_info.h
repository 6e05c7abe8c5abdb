// The wave descriptor: what one run carries from the reader to the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform.h"

// Releases a sample buffer obtained from wavBufferAlloc. A buffer mapped
// for huge pages is unmapped with its mapped length; any other is freed.
struct WavBufferDeleter {
    size_t mappedBytes = 0;
    void operator()(uint8_t* bytes) const;
};
using WavBuffer = std::unique_ptr<uint8_t[], WavBufferDeleter>;

// The sample buffer of a data chunk, or null when it cannot be had; a
// request for 0 bytes also gives null, so an empty data chunk is refused.
WavBuffer wavBufferAlloc(size_t size);

struct WavInfo {
    uint32_t sampleRate;
    uint16_t bitsPerSample;
    uint32_t dataSize;  // as the data chunk header declares it
    uint16_t channels;
    uint32_t byteRate;  // as the format chunk declares it; only for the playing time
    WavBuffer data;     // the whole data chunk payload, dataSize bytes, or null
    FileId source;      // the input file that was read: only it may be replaced in place
};
