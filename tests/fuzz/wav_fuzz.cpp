// Fuzz target: one run of the converter on each input, through the
// program's own reader and writer. The input goes to a file, as the reader
// opens a path, and is converted in place, so every accepted input also
// goes through the replacement of a file; the result must be the 44-byte
// header and the data. Run it with -close_fd_mask=3 so the program's report
// does not drown libFuzzer's own lines, and with TMPDIR on a memory file
// system (/dev/shm) so the syncs of the replacement cost nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "wav_info.h"
#include "wav_read.h"
#include "wav_write.h"

namespace {

std::string inputPath;

void inputFileCreate()
{
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/sonvex-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    close(fd);
    inputPath = pattern;
    std::atexit([] { unlink(inputPath.c_str()); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    inputFileCreate();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FILE* file = std::fopen(inputPath.c_str(), "wb");
    if (!file || std::fwrite(bytes, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    WavInfo info{};
    if (wavRead(inputPath.c_str(), info) == 0 && wavWrite(inputPath.c_str(), info) == 0) {
        struct stat converted {};
        if (stat(inputPath.c_str(), &converted) != 0 || static_cast<uint64_t>(converted.st_size) != 44u + info.dataSize) {
            std::abort();
        }
    }
    return 0;
}
