// Files written by sox and ffmpeg: the report, the refusals and the output,
// and, where sox is installed, that sox reads what this program writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support.h"

using namespace testsupport;

namespace {

std::string fixture(const std::string& name)
{
    return fileRead(std::string(SONVEX_FIXTURES) + "/" + name);
}

// Runs the program on a copy of the fixture, under the fixture's own name.
RunResult convertFixture(const ScratchDir& dir, const std::string& name)
{
    fileWrite(dir.file(name), fixture(name));
    return runSonvex({name, "out.wav"}, dir.path);
}

struct ConvertedFixture {
    const char* name;
    std::string report;  // the lines between the file name and the completion line
    long dataBytes;
    std::string header;  // the header the output must carry
    size_t dataOffset;   // where the data chunk payload starts in the fixture
};

// Both have less than a block of frames, so the samples come out as they
// went in, behind the canonical header; sox's pad byte after the odd data
// chunk is not carried over.
TEST(Interop, FfmpegAndSoxPcmFilesConvert)
{
    const ConvertedFixture cases[] = {
        {"ffmpeg-16bit-stereo-list-info.wav",
         fmtReport(1, 2, 8000, 32000, 4, 16) + chunkLine("LIST", 26) + timeLine("0.010"), 320,
         canonicalHeader(2, 8000, 16, 320), 78},
        {"sox-8bit-unsigned-mono-odd-count.wav", fmtReport(1, 1, 8000, 8000, 1, 8) + timeLine("0.013"), 101,
         canonicalHeader(1, 8000, 8, 101), 44},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        ScratchDir dir;
        const RunResult run = convertFixture(dir, name);
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, console(fileLine(name) + c.report + doneLine(name, "out.wav"))) << name;
        EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(c.dataBytes))) << name;
        EXPECT_EQ(fileRead(dir.file("out.wav")),
                  c.header + fixture(name).substr(c.dataOffset, static_cast<size_t>(c.dataBytes)))
            << name;
    }
}

struct RefusedFixture {
    const char* name;
    std::string report;  // the format lines
    long fmtBytes;
    std::string refusal;
};

TEST(Interop, SoxFormatsThatAreNotEightOrSixteenBitPcmAreRefused)
{
    const RefusedFixture cases[] = {
        {"sox-16bit-3ch-extensible.wav", fmtReport(65534, 3, 8000, 48000, 6, 16), 40,
         "\nこのプログラムは無圧縮PCMのみを対象とします.\nこのwavファイルの形式は FFFE です．\n"},
        {"sox-24bit-pcm.wav", fmtReport(1, 1, 8000, 24000, 3, 24), 16,
         "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\nこのwavファイルの bits/secは 24 です．\n"},
        {"sox-32bit-float.wav", fmtReport(3, 1, 8000, 32000, 4, 32), 18,
         "\nこのプログラムは無圧縮PCMのみを対象とします.\nこのwavファイルの形式は 0003 です．\n"},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        const RunResult run = convertFixture(dir, c.name);
        EXPECT_EQ(run.status, FAILED) << c.name;
        EXPECT_EQ(run.out, console(fileLine(c.name) + c.report)) << c.name;
        EXPECT_EQ(run.err, console(fmtLength(c.fmtBytes) + c.refusal)) << c.name;
        EXPECT_FALSE(fileExists(dir.file("out.wav"))) << c.name;
    }
}

bool soxAvailable()
{
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

int shell(const ScratchDir& dir, const std::string& command)
{
    return std::system(("cd '" + dir.path + "' && " + command).c_str());
}

// The first block of our output is sox's "reverse" of the first 409600
// frames, and sox decodes the whole output as the same number of samples.
TEST(Interop, FirstBlockEqualsSoxReverseAndSoxReadsTheOutput)
{
    if (!soxAvailable()) {
        GTEST_SKIP() << "sox is not installed";
    }
    ScratchDir dir;
    ASSERT_EQ(shell(dir, "sox -R -r 8000 -n -b 16 -c 2 long.wav synth 409700s sine 440 sine 660 2>/dev/null"), 0);
    ASSERT_EQ(runSonvex({"long.wav", "out.wav"}, dir.path).status, 0);
    ASSERT_EQ(shell(dir, "sox -R long.wav -t raw first-reversed.raw trim 0 409600s reverse"), 0);
    ASSERT_EQ(shell(dir, "sox -R out.wav -t raw out.raw"), 0);
    const std::string reversed = fileRead(dir.file("first-reversed.raw"));
    const std::string out = fileRead(dir.file("out.raw"));
    ASSERT_EQ(reversed.size(), 409600u * 4);
    ASSERT_EQ(out.size(), 409700u * 4);
    EXPECT_TRUE(out.compare(0, reversed.size(), reversed) == 0) << "first block differs from sox reverse";
    ASSERT_EQ(shell(dir, "sox -R long.wav -t raw long.raw"), 0);
    EXPECT_TRUE(out.compare(reversed.size(), std::string::npos, fileRead(dir.file("long.raw")), reversed.size(),
                            std::string::npos) == 0)
        << "the last block changed";
}

}  // namespace
