// The write stage: block time reversal of the sample frames and the output
// file with its fresh 44-byte header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wav_info.h"

// Sample frames in one reversal block (400 x 1024).
constexpr uint32_t BLOCK_FRAMES = 409600;

// Reverse the order of the frames inside every block but the one holding the
// last frame, in place; wavReverse8 moves one-byte samples, wavReverse16
// 16-bit ones. With three or more channels only the channel-0 samples move.
// 0, or -1 (with its text) when the scratch block cannot be allocated.
int wavReverse8(WavInfo& info);
int wavReverse16(WavInfo& info);

// Writes the 44-byte header built from `info`; returns the bytes written,
// 44 when the write succeeded.
long wavHdrWrite(FILE* file, const WavInfo& info);

// Scrambles info.data in place and writes its dataSize bytes, flushing the
// stream so that a full device shows here. 0, or -1 after its text.
int wavDataWrite(FILE* file, WavInfo& info);

// Writes the output file named by `path`; an output that is the report's
// own stream is refused. When it names the input that was read
// (info.source), the result replaces the input only once it is complete and
// synced, with the input's attributes (see file_replace.h), so a failure
// cannot lose it.
int wavWrite(const char* path, WavInfo& info);
