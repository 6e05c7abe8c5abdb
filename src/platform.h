// The few operations that differ between platforms: 64-bit file positions,
// the size of an open file, creating a file that must not exist yet, telling
// whether two paths name the same file, and memory for a large buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Opens an existing file for binary reading; a directory counts as a file
// that cannot be opened.
FILE* fileOpenRead(const char* path);

// Moves the stream to an absolute byte position; 0 on success, -1 otherwise.
int fileSeek(FILE* file, uint64_t position);

// The length of an open file, when the stream can seek (not a pipe);
// leaves the position as it was. 0 on success, -1 otherwise.
int fileSize(FILE* file, uint64_t& size);

// Creates a new, empty file for binary writing next to `target`, under a
// name that did not exist, and returns it with that name; null on failure.
FILE* fileCreateTempBeside(const std::string& target, std::string& tempPath);

// Whether both paths exist and name the same file (links followed).
bool fileSame(const char* pathA, const char* pathB);

// Memory for a large buffer, mapped so that the system can back it with huge
// pages where it offers them; null where it cannot (the caller then falls
// back to the heap). Release it with largeBufferUnmap and the mapped length.
uint8_t* largeBufferMap(size_t size, size_t& mappedBytes);
void largeBufferUnmap(uint8_t* bytes, size_t mappedBytes);
