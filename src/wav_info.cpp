#include "wav_info.h"

#include <cstdlib>

void WavBufferDeleter::operator()(uint8_t* bytes) const
{
    std::free(bytes);
}

WavBuffer wavBufferAlloc(size_t size)
{
    if (size == 0) {
        return WavBuffer(nullptr, WavBufferDeleter{0});
    }
    return WavBuffer(static_cast<uint8_t*>(std::malloc(size)), WavBufferDeleter{size});
}
