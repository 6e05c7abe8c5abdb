// The block time reversal on buffers built in memory, against the rule it
// implements: inside every block but the one holding the last frame, frame i
// takes the place of frame BLOCK_FRAMES-1-i; with three or more channels only
// channel 0 moves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support.h"
#include "wav_write.h"

namespace {

struct ReverseCase {
    const char* name;
    uint16_t bits;
    uint16_t channels;
    size_t frames;
    size_t strayBytes;  // bytes after the last whole frame
};

void PrintTo(const ReverseCase& c, std::ostream* os) { *os << c.name; }

WavInfo descriptorWith(const ReverseCase& c, const std::string& bytes)
{
    WavInfo info{};
    info.bitsPerSample = c.bits;
    info.channels = c.channels;
    info.sampleRate = 8000;
    info.byteRate = 8000;
    info.dataSize = static_cast<uint32_t>(bytes.size());
    info.data = wavBufferAlloc(bytes.size());
    std::memcpy(info.data.get(), bytes.data(), bytes.size());
    return info;
}

// What the data must look like after one reversal.
std::string expectedAfterReversal(const ReverseCase& c, const std::string& in)
{
    const size_t sample = c.bits / 8u;
    const size_t frame = sample * c.channels;
    const size_t blocks = c.frames == 0 ? 0 : (c.frames - 1) / BLOCK_FRAMES;
    const size_t movedBytes = c.channels <= 2 ? frame : sample;
    std::string out = in;
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < BLOCK_FRAMES; ++i) {
            const size_t to = (b * BLOCK_FRAMES + i) * frame;
            const size_t from = (b * BLOCK_FRAMES + BLOCK_FRAMES - 1 - i) * frame;
            out.replace(to, movedBytes, in, from, movedBytes);
        }
    }
    return out;
}

std::string bytesOf(const WavInfo& info)
{
    return std::string(reinterpret_cast<const char*>(info.data.get()), info.dataSize);
}

int reverse(WavInfo& info)
{
    return info.bitsPerSample == 8 ? wavReverse8(info) : wavReverse16(info);
}

class ReverseLayout : public ::testing::TestWithParam<ReverseCase> {};

TEST_P(ReverseLayout, MovesTheFramesOfEveryBlockButTheLastAndUndoesItself)
{
    const ReverseCase& c = GetParam();
    const std::string in =
        testsupport::patternBytes(c.frames * (c.bits / 8u) * c.channels + c.strayBytes, static_cast<uint32_t>(c.frames));
    WavInfo info = descriptorWith(c, in);
    ASSERT_EQ(reverse(info), 0);
    const std::string once = bytesOf(info);
    EXPECT_TRUE(once == expectedAfterReversal(c, in)) << "first reversal differs from the rule";
    ASSERT_EQ(reverse(info), 0);
    EXPECT_TRUE(bytesOf(info) == in) << "a second reversal does not restore the data";
}

constexpr size_t B = BLOCK_FRAMES;

INSTANTIATE_TEST_SUITE_P(
    Layouts, ReverseLayout,
    ::testing::Values(ReverseCase{"one_block_stays", 8, 1, B, 0},
                      ReverseCase{"less_than_one_frame_stays", 16, 2, 0, 3},
                      ReverseCase{"one_frame_past_a_block_8_mono", 8, 1, B + 1, 0},
                      ReverseCase{"two_blocks_reverse_only_the_first", 8, 1, 2 * B, 0},
                      ReverseCase{"two_blocks_and_one_reverse_both", 8, 1, 2 * B + 1, 0},
                      ReverseCase{"16_bit_mono", 16, 1, B + 1, 1},
                      ReverseCase{"8_bit_stereo", 8, 2, 2 * B + 1, 1},
                      ReverseCase{"16_bit_stereo_with_stray_bytes", 16, 2, B + 5, 3},
                      ReverseCase{"8_bit_three_channels_moves_channel_0_only", 8, 3, B + 1, 2},
                      ReverseCase{"16_bit_five_channels_moves_channel_0_only", 16, 5, 2 * B + 2, 1}),
    [](const auto& test) { return std::string(test.param.name); });

// The plainest statement of the rule, written out for 8-bit mono.
TEST(ReverseExamples, EightBitMonoOneFramePastABlock)
{
    const ReverseCase c{"", 8, 1, B + 1, 0};
    const std::string in = testsupport::patternBytes(B + 1, 7);
    WavInfo info = descriptorWith(c, in);
    ASSERT_EQ(wavReverse8(info), 0);
    for (size_t k = 0; k < B; ++k) {
        ASSERT_EQ(info.data[k], static_cast<uint8_t>(in[B - 1 - k])) << "byte " << k;
    }
    EXPECT_EQ(info.data[B], static_cast<uint8_t>(in[B]));
}

// Sixteen-bit stereo frames keep their left and right samples, each as a
// unit with its two bytes in order.
TEST(ReverseExamples, StereoFramesStayTogether)
{
    const ReverseCase c{"", 16, 2, B + 1, 0};
    std::string in;
    for (uint32_t frame = 0; frame < B + 1; ++frame) {
        in += testsupport::le16(frame & 0xFFFF) + testsupport::le16(0x8000u | (frame >> 16));
    }
    WavInfo info = descriptorWith(c, in);
    ASSERT_EQ(wavReverse16(info), 0);
    const std::string out = bytesOf(info);
    EXPECT_EQ(out.substr(0, 4), in.substr((B - 1) * 4, 4));
    EXPECT_EQ(out.substr(4 * 1000, 4), in.substr((B - 1 - 1000) * 4, 4));
    EXPECT_EQ(out.substr(B * 4), in.substr(B * 4));
}

}  // namespace
