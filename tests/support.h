// Helpers shared by the tests: WAVE files built byte by byte, expected
// console texts encoded to Shift_JIS, a scratch folder, and running the
// built program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Little-endian byte strings.
std::string le16(uint32_t value);
std::string le32(uint32_t value);

// A chunk whose header declares the payload's length, with the pad byte
// after an odd-sized payload.
std::string chunk(const std::string& id, const std::string& payload);
// A chunk header declaring `declared` bytes, followed by `payload` as given.
std::string chunkDeclared(const std::string& id, uint32_t declared, const std::string& payload);
// The 16 bytes of a format chunk payload.
std::string fmtPayload(uint32_t formatTag, uint32_t channels, uint32_t sampleRate, uint32_t byteRate,
                       uint32_t blockAlign, uint32_t bits);
// A PCM format chunk with consistent byte rate and block alignment.
std::string pcmFmtChunk(uint32_t channels, uint32_t sampleRate, uint32_t bits);
// "RIFF", a size, "WAVE", then the chunks.
std::string riff(const std::string& chunks);
// A whole PCM file with one format and one data chunk.
std::string pcmWav(uint32_t channels, uint32_t sampleRate, uint32_t bits, const std::string& data);
// The canonical 44-byte header the program writes, built field by field.
std::string canonicalHeader(uint32_t channels, uint32_t sampleRate, uint32_t bits, uint32_t dataSize);
// Deterministic sample bytes.
std::string patternBytes(size_t count, uint32_t seed = 1);

// UTF-8 text as the Shift_JIS (CP932) bytes the program writes.
std::string sjis(const std::string& utf8);
// The same, with each line feed as the platform under test writes it
// (CR LF when SONVEX_EOL=crlf, for the Windows build).
std::string console(const std::string& utf8);

// The six format lines of the report, as readable Japanese.
std::string fmtReport(unsigned formatTag, unsigned channels, unsigned long sampleRate, unsigned long byteRate,
                      unsigned blockAlign, unsigned bits);

// The report's lines, as readable Japanese, for the tests' expectations.
std::string fileLine(const std::string& name);
std::string fmtLength(long size);
std::string dataLength(long size);
std::string chunkLine(const std::string& shownId, long size);
std::string timeLine(const std::string& seconds);
std::string doneLine(const std::string& in, const std::string& out);
// The two texts of a failed data write.
extern const char* const WRITE_FAILED_TEXTS;

// The exit status -1 as the shell sees it.
constexpr int FAILED = 255;

// A fresh empty folder, removed with its contents when the object goes.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

void fileWrite(const std::string& path, const std::string& bytes);
std::string fileRead(const std::string& path);
bool fileExists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> folderEntries(const std::string& path);

struct RunLimits {
    uint64_t fileSizeBytes = 0;    // RLIMIT_FSIZE when non-zero
    uint64_t addressSpaceBytes = 0;  // RLIMIT_AS when non-zero
};

struct RunSetup {
    bool merged = false;            // both streams into one file, in program order
    bool stdoutReaderGone = false;  // standard output is a pipe whose reader has closed it
    RunLimits limits;
};

struct RunResult {
    int status = -1;  // exit status as the shell sees it (255 for -1, 128+N for signal N)
    std::string out;  // standard output
    std::string err;  // standard error
    std::string both; // both streams, when merged
};

// Runs the program under test with `args`, from folder `cwd`, and waits for
// it. The program is the built sonvex, or the command in SONVEX_CMD (for
// example the Windows build under Wine).
RunResult runSonvex(const std::vector<std::string>& args, const std::string& cwd,
                    const RunSetup& setup = RunSetup{});

// Starts the program under test with its console streams sent to /dev/null
// and returns its process id without waiting.
int sonvexStart(const std::vector<std::string>& args, const std::string& cwd);

// Waits for a started process; its status as the shell shows it.
int processWait(int pid);

// Runs `script` with bash from folder `cwd`, with $SONVEX naming the program
// under test, for redirections that the shell states most plainly. What the
// script itself writes to its streams is captured as for runSonvex.
RunResult runShell(const std::string& script, const std::string& cwd);

// Whether the program under test runs as a POSIX process of this machine,
// for tests that need POSIX setups (FIFOs, signals, limits): the built
// sonvex, or a SONVEX_CMD marked SONVEX_CMD_POSIX=1 (a copy of it, or a
// build for another processor under qemu-user); not the Windows build.
bool testingPosixProgram();

// Whether the program runs under an emulator (SONVEX_CMD_EMULATED=1), whose
// own needs spoil tests of the host's limits.
bool testingUnderEmulation();

}  // namespace testsupport
