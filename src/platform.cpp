#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/stat.h>
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

#if defined(_WIN32)
// Windows names a file by its volume's serial number and its ID there.
// Only disk files are compared: consoles, NUL and pipes cannot be named as
// an output the way a redirected file can.
struct FileIdentity {
    unsigned long long volume;
    unsigned char id[16];
};

static bool fileIdentity(HANDLE file, FileIdentity& identity)
{
    identity = FileIdentity{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    FILE_ID_INFO info;
    if (GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof info)) {
        identity.volume = info.VolumeSerialNumber;
        std::memcpy(identity.id, info.FileId.Identifier, sizeof identity.id);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION older;  // before Windows 8
    if (!GetFileInformationByHandle(file, &older)) {
        return false;
    }
    identity.volume = older.dwVolumeSerialNumber;
    std::memcpy(identity.id, &older.nFileIndexLow, 4);
    std::memcpy(identity.id + 4, &older.nFileIndexHigh, 4);
    return true;
}

static bool sameAsReportStream(HANDLE file)
{
    FileIdentity opened;
    if (!fileIdentity(file, opened)) {
        return false;
    }
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE stream = GetStdHandle(which);
        FileIdentity reported;
        // A serial number of 0 is unknown (Wine gives it for an inherited
        // redirection); the file ID alone then decides.
        if (stream && stream != INVALID_HANDLE_VALUE && fileIdentity(stream, reported) &&
            (reported.volume == opened.volume || reported.volume == 0 || opened.volume == 0) &&
            std::memcmp(reported.id, opened.id, sizeof opened.id) == 0) {
            return true;
        }
    }
    return false;
}

bool fileIsReportStream(const char* path)
{
    const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool same = sameAsReportStream(file);
    CloseHandle(file);
    return same;
}

bool fileIsReportStream(int fd)
{
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return file != INVALID_HANDLE_VALUE && sameAsReportStream(file);
}

FileId fileIdOf(FILE* file)
{
    FileId id;
    FileIdentity identity;
    if (fileIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), identity)) {
        id.device = identity.volume;
        std::memcpy(&id.number, identity.id, sizeof id.number);
        id.known = true;
    }
    return id;
}

FILE* fileOpenWrite(const char* path)
{
    if (fileIsReportStream(path)) {
        return nullptr;
    }
    // Opened without truncating and checked again on the handle, so a file
    // that became a report stream after the first check is not cut either.
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    FILE* file = nullptr;
    if (!fileIsReportStream(fd) && (GetFileType(handle) != FILE_TYPE_DISK || _chsize_s(fd, 0) == 0)) {
        file = _fdopen(fd, "wb");
    }
    if (!file) {
        _close(fd);
    }
    return file;
}

void processSetUp() {}
#else
static bool sameAsReportStream(const struct stat& file)
{
    if (S_ISCHR(file.st_mode)) {
        return false;  // a terminal or /dev/null may well be both
    }
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat reported {};
        if (fstat(stream, &reported) == 0 && reported.st_dev == file.st_dev && reported.st_ino == file.st_ino) {
            return true;
        }
    }
    return false;
}

bool fileIsReportStream(const char* path)
{
    struct stat file {};
    return stat(path, &file) == 0 && sameAsReportStream(file);
}

bool fileIsReportStream(int fd)
{
    struct stat file {};
    return fstat(fd, &file) == 0 && sameAsReportStream(file);
}

FileId fileIdOf(FILE* file)
{
    FileId id;
    struct stat info {};
    if (fstat(fileno(file), &info) == 0) {
        id.device = static_cast<uint64_t>(info.st_dev);
        id.number = static_cast<uint64_t>(info.st_ino);
        id.known = true;
    }
    return id;
}

FILE* fileOpenWrite(const char* path)
{
    if (fileIsReportStream(path)) {
        return nullptr;
    }
    // Opened without O_TRUNC and checked again on the descriptor, so a file
    // that became a report stream after the first check is not cut either.
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return nullptr;
    }
    struct stat opened {};
    FILE* file = nullptr;
    if (fstat(fd, &opened) == 0 && !sameAsReportStream(opened) &&
        (!S_ISREG(opened.st_mode) || ftruncate(fd, 0) == 0)) {
        file = fdopen(fd, "wb");
    }
    if (!file) {
        close(fd);
    }
    return file;
}

void processSetUp()
{
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
        if (fcntl(stream, F_GETFD) < 0 && errno == EBADF) {
            // open() takes the lowest free number, which is this one.
            const int fd = open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (fd >= 0 && fd != stream) {
                close(fd);
            }
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
#endif

bool fileIsRegularAt(const char* path, const FileId& id)
{
    std::error_code ec;
    if (!id.known || !fs::is_regular_file(fs::path(path), ec) || ec) {
        return false;
    }
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    const FileId found = fileIdOf(file);
    std::fclose(file);
    return found.known && found.device == id.device && found.number == id.number;
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
