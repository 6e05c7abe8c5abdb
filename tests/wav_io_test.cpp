// The reader and the writer called directly, on small files built here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support.h"
#include "wav_read.h"
#include "wav_write.h"

using namespace testsupport;

namespace {

// Runs `call` with both console streams captured, so the report stays out
// of the test log; returns what went to standard error.
template <typename Call>
std::string quietly(Call call)
{
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    call();
    ::testing::internal::GetCapturedStdout();
    return ::testing::internal::GetCapturedStderr();
}

TEST(WavRead, FillsTheDescriptorFromTheLastChunks)
{
    ScratchDir dir;
    const std::string second = patternBytes(33);
    fileWrite(dir.file("in.wav"),
              riff(chunk("fmt ", fmtPayload(1, 2, 22050, 12345, 9, 16)) + chunk("data", patternBytes(8, 2)) +
                   chunk("LIST", "x") + chunk("data", second)));
    WavInfo info{};
    int result = -1;
    quietly([&] { result = wavRead(dir.file("in.wav").c_str(), info); });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 22050u);
    EXPECT_EQ(info.byteRate, 12345u);
    EXPECT_EQ(info.bitsPerSample, 16);
    ASSERT_EQ(info.dataSize, second.size());
    ASSERT_TRUE(info.data);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.data.get()), info.dataSize), second);
}

TEST(WavRead, FailedDataReadLeavesNoBuffer)
{
    ScratchDir dir;
    fileWrite(dir.file("good.wav"), pcmWav(1, 8000, 8, "abcd"));
    fileWrite(dir.file("short.wav"), riff(pcmFmtChunk(1, 8000, 8) + chunkDeclared("data", 50, "abc")));
    WavInfo info{};
    int first = -1;
    int second = 0;
    quietly([&] {
        first = wavRead(dir.file("good.wav").c_str(), info);
        second = wavRead(dir.file("short.wav").c_str(), info);
    });
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, -1);
    EXPECT_FALSE(info.data);
}

TEST(WavFmtRead, ShortReadFailsWithoutText)
{
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite("\1\0\1\0", 1, 4, file);
    std::rewind(file);
    WavFmt fmt{};
    int result = 0;
    const std::string err = quietly([&] { result = wavFmtRead(file, fmt); });
    std::fclose(file);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, "");
}

std::string headerOf(const WavInfo& info, long& written)
{
    FILE* file = std::tmpfile();
    written = wavHdrWrite(file, info);
    std::rewind(file);
    std::string bytes(64, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

TEST(WavHdrWrite, WritesTheCanonicalHeader)
{
    WavInfo info{};
    info.channels = 2;
    info.sampleRate = 44100;
    info.bitsPerSample = 16;
    info.dataSize = 1000;
    info.byteRate = 1;  // the input's byte rate never reaches the header
    long written = 0;
    EXPECT_EQ(headerOf(info, written), canonicalHeader(2, 44100, 16, 1000));
    EXPECT_EQ(written, 44);
}

TEST(WavHdrWrite, SizesAndRatesWrapAsUnsigned32Bit)
{
    WavInfo info{};
    info.channels = 65535;
    info.sampleRate = 4000000000u;
    info.bitsPerSample = 16;
    info.dataSize = 0xFFFFFFF0u;
    long written = 0;
    const std::string header = headerOf(info, written);
    EXPECT_EQ(header.substr(4, 4), le32(0x14));                                      // dataSize + 36
    EXPECT_EQ(header.substr(28, 4), le32(static_cast<uint32_t>(131070ull * 4000000000ull)));  // byte rate
    EXPECT_EQ(header.substr(32, 2), le16(131070 & 0xFFFF));                          // block alignment
}

}  // namespace
