// End-to-end tests of where the result goes: in place (attributes, long
// names, runs killed part-way), outputs that are the report's own stream,
// a report reader that went away, and file names with control bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

using namespace testsupport;

namespace {

const std::string FMT8 = pcmFmtChunk(1, 8000, 8);
const std::string REPORT8 = fmtReport(1, 1, 8000, 8000, 1, 8);
const std::string TEN = "0123456789";

struct stat statOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info;
}

// 8-bit mono data of one frame more than a block, and what a conversion
// makes of it: the first block reversed, the last frame kept.
std::string overOneBlock() { return patternBytes(409600 + 1); }
std::string convertedOverOneBlock(const std::string& data)
{
    std::string reversed = data;
    std::reverse(reversed.begin(), reversed.begin() + 409600);
    return canonicalHeader(1, 8000, 8, static_cast<uint32_t>(data.size())) + reversed;
}

TEST(InPlace, AsRootKeepsModeOwnerAndGroup)
{
    if (!testingPosixProgram() || geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root on a POSIX system";
    }
    const mode_t modes[] = {0640, 0604, 0600, 02750};
    for (const mode_t mode : modes) {
        ScratchDir dir;
        fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, TEN));
        ASSERT_EQ(chown(dir.file("in.wav").c_str(), 1234, 2345), 0);
        ASSERT_EQ(chmod(dir.file("in.wav").c_str(), mode), 0);
        const RunResult run = runSonvex({"in.wav", "in.wav"}, dir.path);
        EXPECT_EQ(run.status, 0) << std::oct << mode;
        const struct stat after = statOf(dir.file("in.wav"));
        EXPECT_EQ(after.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(after.st_uid, 1234u);
        EXPECT_EQ(after.st_gid, 2345u);
        EXPECT_EQ(fileRead(dir.file("in.wav")), canonicalHeader(1, 8000, 8, 10) + TEN);
    }
}

// Run by CI as an unprivileged user with a supplementary group.
TEST(InPlace, AsUserKeepsModeAndAGroupTheUserBelongsTo)
{
    if (!testingPosixProgram() || geteuid() == 0) {
        GTEST_SKIP() << "needs an unprivileged user on a POSIX system";
    }
    gid_t groups[64];
    const int count = getgroups(64, groups);
    gid_t other = getegid();
    for (int i = 0; i < count; ++i) {
        if (groups[i] != getegid()) {
            other = groups[i];
        }
    }
    const mode_t modes[] = {0640, 0604, 0600};
    for (const mode_t mode : modes) {
        ScratchDir dir;
        fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, TEN));
        ASSERT_EQ(chown(dir.file("in.wav").c_str(), static_cast<uid_t>(-1), other), 0);
        ASSERT_EQ(chmod(dir.file("in.wav").c_str(), mode), 0);
        EXPECT_EQ(runSonvex({"in.wav", "in.wav"}, dir.path).status, 0);
        const struct stat after = statOf(dir.file("in.wav"));
        EXPECT_EQ(after.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(after.st_uid, geteuid());
        EXPECT_EQ(after.st_gid, other);
    }
    if (other == getegid()) {
        GTEST_SKIP() << "modes checked; no supplementary group to show the group is kept";
    }
}

TEST(InPlace, NameOf254BytesConverts)
{
    ScratchDir dir;
    const std::string name = std::string(250, 'n') + ".wav";
    fileWrite(dir.file(name), pcmWav(1, 8000, 8, TEN));
    const RunResult run = runSonvex({name, name}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, console(fileLine(name) + REPORT8 + timeLine("0.001") + doneLine(name, name)));
    EXPECT_EQ(fileRead(dir.file(name)), canonicalHeader(1, 8000, 8, 10) + TEN);
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{name});
}

// Killed at moments spread over a run: before, while and after the result
// is written and synced. The input is always whole, old or new, and alone.
TEST(InPlace, KilledRunLeavesTheInputWholeAndNoOtherFile)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "signals are sent through POSIX";
    }
    const std::string data = patternBytes(32u << 20);  // 16-bit stereo, many blocks
    const std::string original = riff(pcmFmtChunk(2, 44100, 16) + chunk("data", data));
    ScratchDir reference;
    fileWrite(reference.file("in.wav"), original);
    ASSERT_EQ(runSonvex({"in.wav", "converted.wav"}, reference.path).status, 0);
    const std::string converted = fileRead(reference.file("converted.wav"));

    for (const int signalNumber : {SIGTERM, SIGKILL}) {
        for (const int delayMs : {0, 2, 10, 30, 60, 120, 250, 500}) {
            ScratchDir dir;
            fileWrite(dir.file("in.wav"), original);
            const int pid = sonvexStart({"in.wav", "in.wav"}, dir.path);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(pid, signalNumber);
            const int status = processWait(pid);
            const std::string after = fileRead(dir.file("in.wav"));
            const bool whole = after == original || after == converted;
            EXPECT_TRUE(whole) << "signal " << signalNumber << " after " << delayMs << " ms, status " << status;
            EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"in.wav"})
                << "signal " << signalNumber << " after " << delayMs << " ms";
        }
    }
}

struct ReportStreamCase {
    const char* name;
    const char* output;  // the output argument, as the refusal names it
    const char* script;  // sends the report to report.txt and the errors to errors.txt
    bool posixOnly;      // names a /dev path, which only POSIX systems have
};

void PrintTo(const ReportStreamCase& c, std::ostream* os) { *os << c.name; }

class ReportStreamAsOutput : public ::testing::TestWithParam<ReportStreamCase> {};

// The output is refused before it is opened: the report and the texts end
// up where they were sent, with no data bytes among them.
TEST_P(ReportStreamAsOutput, IsRefusedAndGetsNoData)
{
    const ReportStreamCase& c = GetParam();
    if (c.posixOnly && !testingPosixProgram()) {
        GTEST_SKIP() << "/dev paths are POSIX ones";
    }
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, TEN));
    const RunResult run = runShell(c.script, dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(fileRead(dir.file("report.txt")), console(fileLine("in.wav") + REPORT8 + timeLine("0.001")));
    EXPECT_EQ(fileRead(dir.file("errors.txt")),
              console(fmtLength(16) + dataLength(10) + c.output + " をオープンできません.\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReportStreamAsOutput,
    ::testing::Values(
        ReportStreamCase{"dev_stdout_to_a_file", "/dev/stdout", R"($SONVEX in.wav /dev/stdout >report.txt 2>errors.txt)", true},
        ReportStreamCase{"dev_stdout_to_a_pipe", "/dev/stdout",
                         R"(set -o pipefail; $SONVEX in.wav /dev/stdout 2>errors.txt | cat >report.txt)", true},
        ReportStreamCase{"dev_fd_1_to_a_file", "/dev/fd/1", R"($SONVEX in.wav /dev/fd/1 >report.txt 2>errors.txt)", true},
        ReportStreamCase{"named_file_that_stdout_goes_to", "report.txt",
                         R"($SONVEX in.wav report.txt >report.txt 2>errors.txt)", false},
        ReportStreamCase{"dev_stderr_to_a_file", "/dev/stderr", R"($SONVEX in.wav /dev/stderr >report.txt 2>errors.txt)", true},
        ReportStreamCase{"named_file_that_stderr_goes_to", "errors.txt",
                         R"($SONVEX in.wav errors.txt >report.txt 2>errors.txt)", false}),
    [](const auto& test) { return std::string(test.param.name); });

// The reader meets the report lines appended to its own input as a chunk,
// so only the refusal and the input's first bytes are certain.
TEST(ConsoleStreams, InputConvertedInPlaceWhileTheReportIsAppendedToItIsRefused)
{
    ScratchDir dir;
    const std::string input = pcmWav(1, 8000, 8, TEN);
    fileWrite(dir.file("in.wav"), input);
    const RunResult run = runShell(R"($SONVEX in.wav in.wav >>in.wav 2>errors.txt)", dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(fileRead(dir.file("in.wav")).substr(0, input.size()), input);
    const std::string refusal = console("in.wav をオープンできません.\n");
    const std::string errors = fileRead(dir.file("errors.txt"));
    ASSERT_GE(errors.size(), refusal.size());
    EXPECT_EQ(errors.substr(errors.size() - refusal.size()), refusal);
    EXPECT_EQ(folderEntries(dir.path), (std::vector<std::string>{"errors.txt", "in.wav"}));
}

TEST(ConsoleStreams, DevNullAsBothOutputAndReportIsAccepted)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "/dev/null is a POSIX device";
    }
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, TEN));
    const RunResult run = runShell(R"($SONVEX in.wav /dev/null >/dev/null 2>errors.txt)", dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(fileRead(dir.file("errors.txt")), console(fmtLength(16) + dataLength(10)));
}

// A console stream closed at the start must not hand its descriptor to a
// file of the run, where report lines would land or the output be refused.
TEST(ConsoleStreams, ClosedConsoleStreamsLeaveTheOutputWhole)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "descriptors are closed through POSIX shells";
    }
    const std::string data = overOneBlock();
    for (const std::string closing : {">&-", "2>&-", "<&-", ">&- 2>&- <&-"}) {
        for (const std::string output : {"out.wav", "in.wav"}) {
            ScratchDir dir;
            fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, data));
            const RunResult run = runShell("$SONVEX in.wav " + output + " " + closing, dir.path);
            EXPECT_EQ(run.status, 0) << closing << " " << output;
            EXPECT_EQ(fileRead(dir.file(output)), convertedOverOneBlock(data)) << closing << " " << output;
        }
    }
}

// The report cannot be written, the conversion goes on: new output and in place.
TEST(ReportReaderGone, OutputIsCompleteAndTheRunSucceeds)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "pipes are set up through POSIX";
    }
    const std::string data = overOneBlock();
    RunSetup setup;
    setup.stdoutReaderGone = true;
    for (const std::string output : {"out.wav", "in.wav"}) {
        ScratchDir dir;
        fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, data));
        const RunResult run = runSonvex({"in.wav", output}, dir.path, setup);
        EXPECT_EQ(run.status, 0) << output;
        EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(409601))) << output;
        EXPECT_EQ(fileRead(dir.file(output)), convertedOverOneBlock(data)) << output;
    }
}

// A reader that opens the FIFO and leaves without reading: the data cannot
// all go into the pipe's buffer, so the write fails.
TEST(ReportReaderGone, OutputFifoWhoseReaderLeftFailsTheWrite)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "FIFOs are a POSIX matter";
    }
    ScratchDir dir;
    const std::string data = overOneBlock();
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, data));
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::thread reader([&] {
        const int fd = open(dir.file("pipe").c_str(), O_RDONLY);
        close(fd);
    });
    const RunResult run = runSonvex({"in.wav", "pipe"}, dir.path);
    reader.join();
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(409601)) + sjis(WRITE_FAILED_TEXTS));
}

// Control bytes in the names become '?'; other bytes, UTF-8 here, stay.
TEST(PathsShown, ControlBytesAsQuestionMarks)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "Windows file names cannot hold control bytes";
    }
    ScratchDir dir;
    const std::string in = "in\x1b[31m\a\x7f\xe9\x9f\xb3.wav";
    const std::string inShown = "in?[31m??\xe9\x9f\xb3.wav";
    const std::string out = "out\t\x01.wav";
    const std::string outShown = "out??.wav";
    fileWrite(dir.file(in), pcmWav(1, 8000, 8, TEN));

    const RunResult converted = runSonvex({in, out}, dir.path);
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.out, sjis("\nファイル名[") + inShown + sjis("]\n" + REPORT8 + timeLine("0.001") + "\n[") +
                                 inShown + sjis("] を [") + outShown + sjis("] へ変換しました.\n"));

    const RunResult missingInput = runSonvex({"no\x1b]0;x\a.wav", out}, dir.path);
    EXPECT_EQ(missingInput.status, FAILED);
    EXPECT_EQ(missingInput.err, console(" no?]0;x?.wavをオープンできません.\n"));

    const RunResult badOutput = runSonvex({in, "no\x1b[2J/out.wav"}, dir.path);
    EXPECT_EQ(badOutput.status, FAILED);
    EXPECT_EQ(badOutput.err, console(fmtLength(16) + dataLength(10) + "no?[2J/out.wav をオープンできません.\n"));
}

}  // namespace
