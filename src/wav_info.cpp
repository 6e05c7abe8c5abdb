#include "wav_info.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__)
// A freshly allocated buffer costs one page fault per 4 KiB page when the
// data is read into it; for a large data chunk that costs more than reading
// the file. Huge pages (2 MiB) take 512 times fewer faults, so large buffers
// are mapped on a 2 MiB boundary and offered to the kernel for them.
constexpr size_t HUGE_PAGE = size_t{2} << 20;

uint8_t* hugePagesMap(size_t size, size_t& mappedBytes)
{
    const size_t rounded = (size + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    const size_t reserved = rounded + HUGE_PAGE;
    void* area = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) {
        return nullptr;
    }
    // Keep the 2 MiB-aligned part and give back the slack on both sides.
    const auto start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    if (aligned > start) {
        munmap(area, aligned - start);
    }
    const size_t after = start + reserved - (aligned + rounded);
    if (after > 0) {
        munmap(reinterpret_cast<void*>(aligned + rounded), after);
    }
    auto* bytes = reinterpret_cast<uint8_t*>(aligned);
    madvise(bytes, rounded, MADV_HUGEPAGE);  // a hint: without it the buffer still works
    mappedBytes = rounded;
    return bytes;
}
#endif

}  // namespace

void WavBufferDeleter::operator()(uint8_t* bytes) const
{
#if defined(__linux__)
    if (mappedBytes != 0) {
        munmap(bytes, mappedBytes);
        return;
    }
#endif
    std::free(bytes);
}

WavBuffer wavBufferAlloc(size_t size)
{
    if (size == 0) {
        return WavBuffer(nullptr, WavBufferDeleter{});
    }
#if defined(__linux__)
    if (size >= HUGE_PAGE) {
        size_t mappedBytes = 0;
        if (uint8_t* bytes = hugePagesMap(size, mappedBytes)) {
            return WavBuffer(bytes, WavBufferDeleter{mappedBytes});
        }
    }
#endif
    return WavBuffer(static_cast<uint8_t*>(std::malloc(size)), WavBufferDeleter{});
}
