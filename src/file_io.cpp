#include "file_io.h"

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
