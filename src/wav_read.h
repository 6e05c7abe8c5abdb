// The read stage: checks the input file, walks its chunks, reports them and
// loads the sample data into the descriptor.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wav_info.h"

// The first 16 bytes of a "fmt " chunk payload, as read.
struct WavFmt {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t byteRate;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};

// Reads 16 bytes at the stream's position into `fmt`, prints the six format
// lines and checks them: 0 for PCM with 8 or 16 bits and at least one
// channel, -1 otherwise (a short read fails without a text).
int wavFmtRead(FILE* file, WavFmt& fmt);

// Reads the file named by `path` into `info`: 0 once the chunk walk reached
// the end of the file with a format chunk and a data chunk seen, -1 on any
// failure, after printing its text.
int wavRead(const char* path, WavInfo& info);
