// Console texts of the program, stored as their Shift_JIS (code page 932)
// bytes so that the output is the same whatever the compiler's source or
// execution character set. The readable text stands in the comment above
// each one; "\n" there is a line feed.
#pragma once

#include <string>

extern const char MSG_USAGE[];
extern const char MSG_CONVERTED[];
extern const char MSG_IN_OPEN_FAILED[];
extern const char MSG_FILE_NAME[];
extern const char MSG_HEADER_SHORT[];
extern const char MSG_NO_WAVE[];
extern const char MSG_NOT_RIFF[];
extern const char MSG_FMT_LENGTH[];
extern const char MSG_DATA_LENGTH[];
extern const char MSG_CHUNK_LENGTH[];
extern const char MSG_NO_MEMORY[];
extern const char MSG_READ_FAILED[];
extern const char MSG_NO_FMT_CHUNK[];
extern const char MSG_NO_DATA_CHUNK[];
extern const char MSG_PLAY_TIME[];
extern const char MSG_FMT_FORMAT_TAG[];
extern const char MSG_FMT_CHANNELS[];
extern const char MSG_FMT_SAMPLE_RATE[];
extern const char MSG_FMT_BYTE_RATE[];
extern const char MSG_FMT_BLOCK_ALIGN[];
extern const char MSG_FMT_BITS[];
extern const char MSG_ONLY_PCM[];
extern const char MSG_FORMAT_TAG_IS[];
extern const char MSG_ONLY_8_16_BITS[];
extern const char MSG_BITS_IS[];
extern const char MSG_ONLY_CHANNELS[];
extern const char MSG_CHANNELS_IS[];
extern const char MSG_OUT_OPEN_FAILED[];
extern const char MSG_HEADER_WRITE_FAILED[];
extern const char MSG_WRITE_FAILED[];
extern const char MSG_DATA_WRITE_ERROR[];

// A path as the console shows it: every control byte (0x00-0x1F, 0x7F) as
// '?', so a crafted file name cannot send sequences to the terminal; other
// bytes, Shift_JIS and UTF-8 included, as given.
std::string msgPathShown(const char* path);

// printf-style writers for the two console streams. msgErr flushes standard
// output first, so both streams sent into one pipe keep program order.
void msgOut(const char* format, ...);
void msgErr(const char* format, ...);
