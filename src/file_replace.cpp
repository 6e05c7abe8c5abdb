#include "file_replace.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include "platform.h"

namespace {

// How many names a temporary tries before the run gives up; a name is only
// taken already when a killed run left it or someone planted it.
constexpr unsigned TEMP_NAME_ATTEMPTS = 100;

}  // namespace

std::string fileReplaceTempName(unsigned attempt)
{
#if defined(_WIN32)
    const unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    char name[64];
    std::snprintf(name, sizeof name, ".sonvex-%lx-%u.tmp", pid, attempt);
    return name;
}

#if !defined(_WIN32)

// Threat model. The target's directory may be writable by other users, who
// can rename, remove or plant names (symbolic links included) in it at any
// moment between two of our calls, but cannot touch our open descriptors.
// So every step that writes data or sets attributes acts on the temporary's
// descriptor (write, fchown, fchmod, fsync), and every step that names a
// file is relative to the one directory descriptor taken at the start
// (openat, linkat, renameat, unlinkat), never following a planted link.
// What such a user can then do to names in the directory, they could do to
// the target's name anyway; they can never make this process write to, or
// change the attributes of, a file of their choosing.

namespace {

constexpr int CLEANUP_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// A signal handler cannot be handed arguments, so the one named temporary
// that may exist is recorded here for it to remove: the only state of the
// process besides the console streams.
struct PendingTemp {
    volatile sig_atomic_t active;
    int dirFd;
    char name[64];
};
PendingTemp pendingTemp;

extern "C" void pendingTempRemoveAndRaise(int signalNumber)
{
    if (pendingTemp.active) {
        unlinkat(pendingTemp.dirFd, pendingTemp.name, 0);
        pendingTemp.active = 0;
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);  // delivered as soon as the handler returns
}

// Handlers for the signals that end a run, except those the caller set to
// be ignored (nohup), which stay ignored. Installed once; with no named
// temporary recorded they only end the run as the signal would have.
void cleanupHandlersInstall()
{
    for (const int signalNumber : CLEANUP_SIGNALS) {
        struct sigaction action {};
        if (sigaction(signalNumber, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
            action = {};
            action.sa_handler = pendingTempRemoveAndRaise;
            sigemptyset(&action.sa_mask);
            sigaction(signalNumber, &action, nullptr);
        }
    }
}

// Blocks the catchable ending signals while a name is created or moved, so
// none can fall between a name appearing and its being recorded or gone.
sigset_t cleanupSignalsBlock()
{
    sigset_t block;
    sigset_t previous;
    sigemptyset(&block);
    for (const int signalNumber : CLEANUP_SIGNALS) {
        sigaddset(&block, signalNumber);
    }
    sigprocmask(SIG_BLOCK, &block, &previous);
    return previous;
}

void cleanupSignalsRestore(const sigset_t& previous)
{
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void pendingTempRecord(const FileReplace& replace)
{
    pendingTemp.dirFd = replace.dirFd;
    std::snprintf(pendingTemp.name, sizeof pendingTemp.name, "%s", replace.tempName.c_str());
    pendingTemp.active = 1;
}

// A named temporary, created only where no name exists (a planted link
// included), with no access for anyone else until it is complete.
int namedTempCreate(FileReplace& replace)
{
    cleanupHandlersInstall();
    for (unsigned attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        const std::string name = fileReplaceTempName(attempt);
        const sigset_t previous = cleanupSignalsBlock();
        const int fd = openat(replace.dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        const int error = errno;
        if (fd >= 0) {
            replace.tempName = name;
            pendingTempRecord(replace);
        }
        cleanupSignalsRestore(previous);
        if (fd >= 0 || error != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// An unnamed temporary, which the kernel reclaims if the run dies before it
// is named; -1 where the file system or the system does not offer one.
int unnamedTempCreate(const FileReplace& replace)
{
#if defined(O_TMPFILE)
    // Naming it later goes through /proc; without /proc, use a named one.
    if (access("/proc/self/fd", X_OK) == 0) {
        return openat(replace.dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    }
#else
    (void)replace;
#endif
    return -1;
}

// Gives the unnamed temporary a name in the directory, the only way to move
// it over the target. Called with the ending signals blocked, so the name
// exists only until the rename that follows.
int unnamedTempLink(FileReplace& replace, int fd)
{
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    for (unsigned attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        const std::string name = fileReplaceTempName(attempt);
        if (linkat(AT_FDCWD, procPath, replace.dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            replace.tempName = name;
            return 0;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

// A regular file, the very one that was read (not one whose name was swapped
// in since), and one this process may write.
bool targetAccepted(const FileReplace& replace, const struct stat& target, const FileId& expected)
{
    return S_ISREG(target.st_mode) && expected.known && static_cast<uint64_t>(target.st_dev) == expected.device &&
           static_cast<uint64_t>(target.st_ino) == expected.number &&
           faccessat(replace.dirFd, replace.targetName.c_str(), W_OK, AT_EACCESS) == 0;
}

void targetSplit(const std::string& full, FileReplace& replace, std::string& dir)
{
    const size_t slash = full.rfind('/');
    dir = slash == 0 ? "/" : full.substr(0, slash);
    replace.targetName = full.substr(slash + 1);
}

}  // namespace

int fileReplaceBegin(const char* path, const FileId& expected, FileReplace& replace, bool unnamedAllowed)
{
    replace = FileReplace{};
    // The file itself, not a link to it, is what gets replaced.
    char* resolved = realpath(path, nullptr);
    if (!resolved) {
        return -1;
    }
    const std::string full(resolved);
    std::free(resolved);
    std::string dir;
    targetSplit(full, replace, dir);
    replace.dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (replace.dirFd < 0) {
        return -1;
    }
    // The one look at the target's attributes, before anything is written.
    struct stat target {};
    if (fstatat(replace.dirFd, replace.targetName.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0 ||
        !targetAccepted(replace, target, expected) || fileIsReportStream(full.c_str())) {
        fileReplaceAbandon(replace);
        return -1;
    }
    replace.mode = static_cast<uint32_t>(target.st_mode & 07777);
    replace.owner = static_cast<int64_t>(target.st_uid);
    replace.group = static_cast<int64_t>(target.st_gid);

    int fd = unnamedAllowed ? unnamedTempCreate(replace) : -1;
    if (fd < 0) {
        fd = namedTempCreate(replace);
    }
    if (fd >= 0) {
        replace.file = fdopen(fd, "wb");
        if (!replace.file) {
            close(fd);
        }
    }
    if (!replace.file) {
        fileReplaceAbandon(replace);
        return -1;
    }
    return 0;
}

int fileReplaceCommit(FileReplace& replace)
{
    const int fd = fileno(replace.file);
    bool done = std::fflush(replace.file) == 0;
    // Owner and group where this process may set them (root both, others the
    // group if they belong to it), else the temporary's own stay. Before the
    // mode, because a change of owner clears set-id bits.
    const auto owner = static_cast<uid_t>(replace.owner);
    const auto group = static_cast<gid_t>(replace.group);
    if (done && fchown(fd, owner, group) != 0) {
        (void)!fchown(fd, static_cast<uid_t>(-1), group);
    }
    done = done && fchmod(fd, static_cast<mode_t>(replace.mode)) == 0 && fsync(fd) == 0;
    if (done) {
        const sigset_t previous = cleanupSignalsBlock();
        if (replace.tempName.empty()) {
            done = unnamedTempLink(replace, fd) == 0;
        }
        if (done && renameat(replace.dirFd, replace.tempName.c_str(), replace.dirFd, replace.targetName.c_str()) == 0) {
            replace.tempName.clear();
            pendingTemp.active = 0;
        } else {
            done = false;
        }
        cleanupSignalsRestore(previous);
    }
    if (!done) {
        fileReplaceAbandon(replace);
        return -1;
    }
    // The rename is what a crash must not lose. The new file is in place
    // whatever this sync says; some file systems cannot sync a directory.
    fsync(replace.dirFd);
    std::fclose(replace.file);
    replace.file = nullptr;
    close(replace.dirFd);
    replace.dirFd = -1;
    return 0;
}

void fileReplaceAbandon(FileReplace& replace)
{
    if (!replace.tempName.empty()) {
        const sigset_t previous = cleanupSignalsBlock();
        unlinkat(replace.dirFd, replace.tempName.c_str(), 0);
        replace.tempName.clear();
        pendingTemp.active = 0;
        cleanupSignalsRestore(previous);
    }
    if (replace.file) {
        std::fclose(replace.file);  // an unnamed temporary goes with it
        replace.file = nullptr;
    }
    if (replace.dirFd >= 0) {
        close(replace.dirFd);
        replace.dirFd = -1;
    }
}

#else  // Windows: a named temporary beside the target, replaced by name.

namespace fs = std::filesystem;

namespace {

// A console control handler cannot be handed arguments, so the temporary
// that exists is recorded here for it to remove: the only state of the
// process besides the console streams.
const char* volatile pendingTempPath = nullptr;

extern "C" void pendingTempRemoveAndRaise(int signalNumber)
{
    if (const char* path = pendingTempPath) {
        _unlink(path);
        pendingTempPath = nullptr;
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

std::string tempPathOf(const FileReplace& replace)
{
    return (fs::path(replace.dirPath) / replace.tempName).string();
}

// The full path the handler removes; kept alive by the static.
void pendingTempRecord(const FileReplace& replace)
{
    static std::string recorded;
    pendingTempPath = nullptr;
    recorded = tempPathOf(replace);
    pendingTempPath = recorded.c_str();
}

}  // namespace

int fileReplaceBegin(const char* path, const FileId& expected, FileReplace& replace, bool)
{
    replace = FileReplace{};
    std::error_code ec;
    const fs::path target = fs::canonical(fs::path(path), ec);
    const fs::file_status status = ec ? fs::file_status{} : fs::status(target, ec);
    if (ec || !fs::is_regular_file(status) || (status.permissions() & fs::perms::owner_write) == fs::perms::none ||
        fileIsReportStream(target.string().c_str())) {
        return -1;
    }
    if (!fileIsRegularAt(target.string().c_str(), expected)) {
        return -1;
    }
    replace.mode = static_cast<uint32_t>(status.permissions());
    replace.dirPath = target.parent_path().string();
    replace.targetName = target.filename().string();
    std::signal(SIGINT, pendingTempRemoveAndRaise);
    std::signal(SIGTERM, pendingTempRemoveAndRaise);
    std::signal(SIGBREAK, pendingTempRemoveAndRaise);
    for (unsigned attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        replace.tempName = fileReplaceTempName(attempt);
        const std::string tempPath = tempPathOf(replace);
        const int fd = _open(tempPath.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            pendingTempRecord(replace);
            replace.file = _fdopen(fd, "wb");
            if (!replace.file) {
                _close(fd);
                fileReplaceAbandon(replace);
                return -1;
            }
            return 0;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    replace.tempName.clear();
    return -1;
}

int fileReplaceCommit(FileReplace& replace)
{
    // Windows keeps no owner or mode bits beyond read-only, and the target
    // was writable, as the temporary is.
    bool done = std::fflush(replace.file) == 0 && _commit(_fileno(replace.file)) == 0;
    done = std::fclose(replace.file) == 0 && done;
    replace.file = nullptr;
    std::error_code ec;
    if (done) {
        fs::rename(tempPathOf(replace), fs::path(replace.dirPath) / replace.targetName, ec);
        done = !ec;
    }
    if (!done) {
        fileReplaceAbandon(replace);
        return -1;
    }
    pendingTempPath = nullptr;
    replace.tempName.clear();
    return 0;
}

void fileReplaceAbandon(FileReplace& replace)
{
    if (replace.file) {
        std::fclose(replace.file);
        replace.file = nullptr;
    }
    if (!replace.tempName.empty()) {
        _unlink(tempPathOf(replace).c_str());
        pendingTempPath = nullptr;
        replace.tempName.clear();
    }
}

#endif
