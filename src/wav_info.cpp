#include "wav_info.h"

#include <cstdlib>

#include "platform.h"

void WavBufferDeleter::operator()(uint8_t* bytes) const
{
    if (mappedBytes != 0) {
        largeBufferUnmap(bytes, mappedBytes);
    } else {
        std::free(bytes);
    }
}

WavBuffer wavBufferAlloc(size_t size)
{
    if (size == 0) {
        return WavBuffer(nullptr, WavBufferDeleter{});
    }
    size_t mappedBytes = 0;
    if (uint8_t* bytes = largeBufferMap(size, mappedBytes)) {
        return WavBuffer(bytes, WavBufferDeleter{mappedBytes});
    }
    return WavBuffer(static_cast<uint8_t*>(std::malloc(size)), WavBufferDeleter{});
}
