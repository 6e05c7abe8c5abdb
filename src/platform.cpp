#include "platform.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

FILE* fileOpenRead(const char* path)
{
    std::error_code ec;
    if (fs::is_directory(fs::path(path), ec)) {
        return nullptr;
    }
    return std::fopen(path, "rb");
}

int fileSeek(FILE* file, uint64_t position)
{
    if (position > static_cast<uint64_t>(INT64_MAX)) {
        return -1;
    }
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0 ? 0 : -1;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0 ? 0 : -1;
#endif
}

static int64_t fileTell(FILE* file)
{
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

int fileSize(FILE* file, uint64_t& size)
{
    const int64_t here = fileTell(file);
    if (here < 0) {
        return -1;
    }
#if defined(_WIN32)
    const bool atEnd = _fseeki64(file, 0, SEEK_END) == 0;
#else
    const bool atEnd = fseeko(file, 0, SEEK_END) == 0;
#endif
    const int64_t end = atEnd ? fileTell(file) : -1;
    if (fileSeek(file, static_cast<uint64_t>(here)) != 0 || end < 0) {
        return -1;
    }
    size = static_cast<uint64_t>(end);
    return 0;
}

// Opens `path` only if it does not exist yet, so a file that appeared under
// the chosen name is never overwritten.
static FILE* fileCreateNew(const std::string& path)
{
#if defined(_WIN32)
    const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (fd >= 0 && !file) {
        _close(fd);
    }
#else
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && !file) {
        close(fd);
    }
#endif
    return file;
}

FILE* fileCreateTempBeside(const std::string& target, std::string& tempPath)
{
    static std::atomic<unsigned> counter{0};
    const fs::path targetPath(target);
    const std::string stem = (targetPath.parent_path() / ("." + targetPath.filename().string())).string();
#if defined(_WIN32)
    const unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    const auto clock = static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%lx-%lx-%x.tmp", pid, clock & 0xFFFFFFul, counter++);
        tempPath = stem + suffix;
        if (FILE* file = fileCreateNew(tempPath)) {
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    tempPath.clear();
    return nullptr;
}

bool fileSame(const char* pathA, const char* pathB)
{
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(pathA), fs::path(pathB), ec);
    return !ec && same;
}

#if defined(__linux__)
// A freshly allocated buffer costs one page fault per 4 KiB page when the
// data is read into it; for a large data chunk that costs more than reading
// the file. Huge pages (2 MiB) take 512 times fewer faults, so the buffer is
// mapped on a 2 MiB boundary and offered to the kernel for them.
static constexpr size_t HUGE_PAGE = size_t{2} << 20;

uint8_t* largeBufferMap(size_t size, size_t& mappedBytes)
{
    if (size < HUGE_PAGE || size > SIZE_MAX - 2 * HUGE_PAGE) {
        return nullptr;
    }
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

void largeBufferUnmap(uint8_t* bytes, size_t mappedBytes)
{
    munmap(bytes, mappedBytes);
}
#else
uint8_t* largeBufferMap(size_t, size_t&)
{
    return nullptr;
}

void largeBufferUnmap(uint8_t*, size_t) {}
#endif
