// The few operations that differ between platforms: opening the input and
// the output, 64-bit file positions, the size of an open file, telling
// whether two paths name the same file or a path names the report's own
// stream, preparing the process for a run, and memory for a large buffer.
// Replacing a file in place has a file pair of its own (file_replace).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Which file an open stream is: its device (volume) and its number there.
struct FileId {
    uint64_t device = 0;
    uint64_t number = 0;
    bool known = false;
};

// Opens an existing file for binary reading; a directory counts as a file
// that cannot be opened.
FILE* fileOpenRead(const char* path);

// The identity of the file an open stream reads or writes; `known` stays
// false where the system cannot tell.
FileId fileIdOf(FILE* file);

// Moves the stream to an absolute byte position; 0 on success, -1 otherwise.
int fileSeek(FILE* file, uint64_t position);

// The length of an open file, when the stream can seek (not a pipe);
// leaves the position as it was. 0 on success, -1 otherwise.
int fileSize(FILE* file, uint64_t& size);

// Opens the output for binary writing, creating it or cutting it to length
// 0, as "wb" does; null when it cannot be opened or when it is the file or
// pipe that standard output or standard error writes to (the report would
// mix with the data). Such an output is refused before anything is cut.
FILE* fileOpenWrite(const char* path);

// Whether the file that `path` names (links followed), or the open
// descriptor `fd`, is the very file or pipe that standard output or standard
// error writes to. Terminals and other character devices never count; on
// Windows only disk files are compared.
bool fileIsReportStream(const char* path);
bool fileIsReportStream(int fd);

// Whether `path` (links followed) names a regular file, and that file is
// `id`: for instance the input that was read.
bool fileIsRegularAt(const char* path, const FileId& id);

// Prepares the process for a run. Console streams that were closed at the
// start get /dev/null, so no file the run opens can take their descriptor
// and receive report lines. The signals that would end a run without its
// messages are set aside: a report reader that went away (SIGPIPE) and a
// file-size limit (SIGXFSZ); writes then fail with an error the program
// reports. Nothing on Windows.
void processSetUp();

// Memory for a large buffer, mapped so that the system can back it with huge
// pages where it offers them; null where it cannot (the caller then falls
// back to the heap). Release it with largeBufferUnmap and the mapped length.
uint8_t* largeBufferMap(size_t size, size_t& mappedBytes);
void largeBufferUnmap(uint8_t* bytes, size_t mappedBytes);
