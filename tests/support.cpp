#include "support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

std::string le16(uint32_t value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string le32(uint32_t value)
{
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string chunkDeclared(const std::string& id, uint32_t declared, const std::string& payload)
{
    return id + le32(declared) + payload;
}

std::string chunk(const std::string& id, const std::string& payload)
{
    std::string bytes = chunkDeclared(id, static_cast<uint32_t>(payload.size()), payload);
    if (payload.size() % 2 != 0) {
        bytes.push_back('\0');
    }
    return bytes;
}

std::string fmtPayload(uint32_t formatTag, uint32_t channels, uint32_t sampleRate, uint32_t byteRate,
                       uint32_t blockAlign, uint32_t bits)
{
    return le16(formatTag) + le16(channels) + le32(sampleRate) + le32(byteRate) + le16(blockAlign) + le16(bits);
}

std::string pcmFmtChunk(uint32_t channels, uint32_t sampleRate, uint32_t bits)
{
    const uint32_t align = channels * bits / 8;
    return chunk("fmt ", fmtPayload(1, channels, sampleRate, align * sampleRate, align, bits));
}

std::string riff(const std::string& chunks)
{
    return "RIFF" + le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

std::string pcmWav(uint32_t channels, uint32_t sampleRate, uint32_t bits, const std::string& data)
{
    return riff(pcmFmtChunk(channels, sampleRate, bits) + chunk("data", data));
}

std::string canonicalHeader(uint32_t channels, uint32_t sampleRate, uint32_t bits, uint32_t dataSize)
{
    const uint32_t align = bits / 8 * channels;
    return "RIFF" + le32(dataSize + 36) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(channels) + le32(sampleRate) +
           le32(align * sampleRate) + le16(align) + le16(bits) + "data" + le32(dataSize);
}

std::string patternBytes(size_t count, uint32_t seed)
{
    std::string bytes(count, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string sjis(const std::string& utf8)
{
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv cannot convert UTF-8 to CP932");
    }
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (rc == static_cast<size_t>(-1)) {
        throw std::runtime_error("text has no CP932 form: " + utf8);
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::string console(const std::string& utf8)
{
    std::string bytes = sjis(utf8);
    const char* eol = std::getenv("SONVEX_EOL");
    if (!eol || std::string(eol) != "crlf") {
        return bytes;
    }
    std::string crlf;
    for (char c : bytes) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    return crlf;
}

std::string fmtReport(unsigned formatTag, unsigned channels, unsigned long sampleRate, unsigned long byteRate,
                      unsigned blockAlign, unsigned bits)
{
    std::ostringstream text;
    text << "             データ形式: " << formatTag << " (1 = PCM)\n"
         << "           チャンネル数: " << channels << "\n"
         << "     サンプリング周波数: " << sampleRate << " [Hz]\n"
         << "          バイト数 / 秒: " << byteRate << " [bytes/sec]\n"
         << " バイト数×チャンネル数: " << blockAlign << " [bytes]\n"
         << "    ビット数 / サンプル: " << bits << " [bits/sample]\n";
    return text.str();
}

std::string fileLine(const std::string& name) { return "\nファイル名[" + name + "]\n"; }
std::string fmtLength(long size) { return " \"fmt \"の長さ: " + std::to_string(size) + " [bytes]\n"; }
std::string dataLength(long size) { return "\n \"data\" の長さ: " + std::to_string(size) + " [bytes]\n"; }
std::string chunkLine(const std::string& shownId, long size)
{
    return " \"" + shownId + "\"の長さ: " + std::to_string(size) + " [bytes]\n";
}
std::string timeLine(const std::string& seconds) { return "\n 時間=" + seconds + "\n"; }
std::string doneLine(const std::string& in, const std::string& out)
{
    return "\n[" + in + "] を [" + out + "] へ変換しました.\n";
}
const char* const WRITE_FAILED_TEXTS = "書き込みにに失敗しました.\nwavDataWriteでエラー発生.\n";

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sonvex-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a scratch folder");
    }
    path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

void fileWrite(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string fileRead(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::vector<std::string> folderEntries(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

static std::vector<std::string> commandWords()
{
    std::vector<std::string> words;
    const char* command = std::getenv("SONVEX_CMD");
    std::istringstream in(command && *command ? command : SONVEX_EXE);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

static bool environmentSays(const char* name)
{
    const char* value = std::getenv(name);
    return value && std::string(value) == "1";
}

bool testingPosixProgram()
{
    const char* command = std::getenv("SONVEX_CMD");
    return !command || !*command || environmentSays("SONVEX_CMD_POSIX");
}

bool testingUnderEmulation()
{
    return environmentSays("SONVEX_CMD_EMULATED");
}

// Forks and runs `words` from `cwd` with standard input from /dev/null and
// the given descriptors as standard output and error; -1 leaves it as is.
static pid_t spawn(std::vector<std::string> words, const std::string& cwd, int out, int err,
                   const RunLimits& limits = RunLimits{})
{
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int none = open("/dev/null", O_RDONLY);
        if (none < 0 || dup2(none, 0) < 0 || (out >= 0 && dup2(out, 1) < 0) || (err >= 0 && dup2(err, 2) < 0) ||
            chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        // Signals are left as they are: the program must cope with a
        // file-size limit and a closed pipe on its own.
        if (limits.fileSizeBytes) {
            const rlimit limit{limits.fileSizeBytes, limits.fileSizeBytes};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (limits.addressSpaceBytes) {
            const rlimit limit{limits.addressSpaceBytes, limits.addressSpaceBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

int processWait(int pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs `words` with its streams captured in files of a scratch folder.
static RunResult runCaptured(const std::vector<std::string>& words, const std::string& cwd, const RunSetup& setup)
{
    ScratchDir capture;
    const int out = open(capture.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = setup.merged ? out : open(capture.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int gonePipe[2] = {-1, -1};
    if (setup.stdoutReaderGone && pipe2(gonePipe, O_CLOEXEC) == 0) {
        close(gonePipe[0]);
    }
    const pid_t child = spawn(words, cwd, setup.stdoutReaderGone ? gonePipe[1] : out, err, setup.limits);
    if (gonePipe[1] >= 0) {
        close(gonePipe[1]);
    }
    close(out);
    if (err != out) {
        close(err);
    }
    RunResult result;
    result.status = processWait(child);
    if (setup.merged) {
        result.both = fileRead(capture.file("stdout"));
    } else {
        result.out = fileRead(capture.file("stdout"));
        result.err = fileRead(capture.file("stderr"));
    }
    return result;
}

RunResult runSonvex(const std::vector<std::string>& args, const std::string& cwd, const RunSetup& setup)
{
    std::vector<std::string> words = commandWords();
    words.insert(words.end(), args.begin(), args.end());
    return runCaptured(words, cwd, setup);
}

int sonvexStart(const std::vector<std::string>& args, const std::string& cwd)
{
    std::vector<std::string> words = commandWords();
    words.insert(words.end(), args.begin(), args.end());
    const int none = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t child = spawn(words, cwd, none, none);
    close(none);
    return child;
}

RunResult runShell(const std::string& script, const std::string& cwd)
{
    std::string command;
    for (const auto& word : commandWords()) {
        command += (command.empty() ? "" : " ") + word;
    }
    setenv("SONVEX", command.c_str(), 1);
    return runCaptured({"bash", "-c", script}, cwd, RunSetup{});
}

}  // namespace testsupport
