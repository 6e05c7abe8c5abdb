// End-to-end tests: run the built program and compare standard output,
// standard error, exit status and the output file byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "support.h"

using namespace testsupport;

namespace {

const std::string FMT8 = pcmFmtChunk(1, 8000, 8);
const std::string REPORT8 = fmtReport(1, 1, 8000, 8000, 1, 8);

struct RefusedCase {
    const char* name;
    std::string input;
    std::string out;  // readable Japanese
    std::string err;
};

std::vector<RefusedCase> refusedCases()
{
    const std::string fl = fileLine("in.wav");
    return {
        {"empty_file", "", fl, " 0 で読み込み失敗.\n"},
        {"five_bytes", "RIFF\x01", fl, " 5 で読み込み失敗.\n"},
        {"eleven_bytes", "RIFF" + le32(4) + "WAV", fl, " 11 で読み込み失敗.\n"},
        {"no_wave", "RIFF" + le32(4) + "AVI ", fl, "'WAVE' が無い.\n"},
        {"neither_riff_nor_wave", "RIFX" + le32(4) + "WAVX", fl, "'WAVE' が無い.\n"},
        {"no_riff", "RIFX" + le32(4) + "WAVE", fl, "'RIFF' フォーマットでない.\n"},
        {"no_chunks", riff(""), fl, "'fmt ' チャンクが無い.\n"},
        {"data_without_fmt", riff(chunk("data", "ab")), fl, dataLength(2) + "'fmt ' チャンクが無い.\n"},
        {"neither_chunk", riff(chunk("LIST", "abcd")), fl + chunkLine("LIST", 4), "'fmt ' チャンクが無い.\n"},
        {"fmt_without_data", riff(FMT8), fl + REPORT8, fmtLength(16) + "'data' チャンクが無い.\n"},
        {"fmt_cut_short", riff(chunkDeclared("fmt ", 16, std::string(10, '\1'))), fl, fmtLength(16)},
        {"fmt_declared_16_file_ends", riff(chunkDeclared("fmt ", 16, "")), fl, fmtLength(16)},
        {"float_format",
         riff(chunk("fmt ", fmtPayload(3, 1, 8000, 32000, 4, 32)) + chunk("data", "abcd")),
         fl + fmtReport(3, 1, 8000, 32000, 4, 32),
         fmtLength(16) + "\nこのプログラムは無圧縮PCMのみを対象とします.\n" + "このwavファイルの形式は 0003 です．\n"},
        {"extensible_format",
         riff(chunk("fmt ", fmtPayload(0xFFFE, 3, 48000, 288000, 6, 16) + std::string(24, '\0')) +
              chunk("data", "abcdef")),
         fl + fmtReport(65534, 3, 48000, 288000, 6, 16),
         fmtLength(40) + "\nこのプログラムは無圧縮PCMのみを対象とします.\n" + "このwavファイルの形式は FFFE です．\n"},
        {"wrong_format_and_width_gets_format_texts_only",
         riff(chunk("fmt ", fmtPayload(2, 0, 8000, 4000, 0, 4)) + chunk("data", "ab")),
         fl + fmtReport(2, 0, 8000, 4000, 0, 4),
         fmtLength(16) + "\nこのプログラムは無圧縮PCMのみを対象とします.\n" + "このwavファイルの形式は 0002 です．\n"},
        {"24_bit",
         riff(chunk("fmt ", fmtPayload(1, 2, 44100, 264600, 6, 24)) + chunk("data", "abcdef")),
         fl + fmtReport(1, 2, 44100, 264600, 6, 24),
         fmtLength(16) + "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n" +
             "このwavファイルの bits/secは 24 です．\n"},
        {"wrong_width_and_no_channels_gets_width_texts_only",
         riff(chunk("fmt ", fmtPayload(1, 0, 8000, 0, 0, 0)) + chunk("data", "ab")),
         fl + fmtReport(1, 0, 8000, 0, 0, 0),
         fmtLength(16) + "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n" +
             "このwavファイルの bits/secは 0 です．\n"},
        {"zero_channels",
         riff(chunk("fmt ", fmtPayload(1, 0, 8000, 8000, 1, 8)) + chunk("data", "ab")),
         fl + fmtReport(1, 0, 8000, 8000, 1, 8),
         fmtLength(16) + "\nこのプログラムは1チャンネル以上のものを対象とします\n" +
             "このwavファイルの チャンネル数は 0 です．\n"},
        {"empty_data", riff(FMT8 + chunk("data", "")), fl + REPORT8,
         fmtLength(16) + dataLength(0) + "メモリが確保できません.\n"},
        {"data_longer_than_file", riff(FMT8 + chunkDeclared("data", 100, "0123456789")), fl + REPORT8,
         fmtLength(16) + dataLength(100) + "読み込みに失敗しました.\n"},
        {"data_declares_4_gib", riff(FMT8 + chunkDeclared("data", 0xFFFFFFFFu, "0123456789")), fl + REPORT8,
         fmtLength(16) + dataLength(-1) + "読み込みに失敗しました.\n"},
        {"data_declares_2_gib", riff(FMT8 + chunkDeclared("data", 0x80000000u, "0123")), fl + REPORT8,
         fmtLength(16) + dataLength(-2147483648L) + "読み込みに失敗しました.\n"},
        {"second_data_cut_short", riff(FMT8 + chunk("data", "abcd") + chunkDeclared("data", 9, "xy")),
         fl + REPORT8, fmtLength(16) + dataLength(4) + dataLength(9) + "読み込みに失敗しました.\n"},
        {"second_fmt_refused",
         riff(FMT8 + chunk("data", "abcd") + chunk("fmt ", fmtPayload(1, 1, 8000, 8000, 1, 12))),
         fl + REPORT8 + fmtReport(1, 1, 8000, 8000, 1, 12),
         fmtLength(16) + dataLength(4) + fmtLength(16) +
             "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n" +
             "このwavファイルの bits/secは 12 です．\n"},
    };
}

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

// A valid file cut short inside each field of its headers, and what each
// cut must give.
std::vector<RefusedCase> truncatedCases()
{
    const std::string whole = riff(FMT8 + chunk("data", "0123456789"));
    const std::string fl = fileLine("in.wav");
    const std::string noFmt = "'fmt ' チャンクが無い.\n";
    const std::string fmtOnly = fmtLength(16);
    const std::string noData = fmtLength(16) + "'data' チャンクが無い.\n";
    const std::string shortData = fmtLength(16) + dataLength(10) + "読み込みに失敗しました.\n";
    struct Cut {
        const char* name;
        size_t length;
        std::string out;
        std::string err;
    };
    const Cut cuts[] = {
        {"cut_in_riff_id", 2, fl, " 2 で読み込み失敗.\n"},
        {"cut_in_riff_size", 6, fl, " 6 で読み込み失敗.\n"},
        {"cut_in_wave_id", 9, fl, " 9 で読み込み失敗.\n"},
        {"cut_in_fmt_id", 14, fl, noFmt},
        {"cut_in_fmt_size", 18, fl, noFmt},
        {"cut_after_fmt_header", 20, fl, fmtOnly},
        {"cut_in_format_tag", 21, fl, fmtOnly},
        {"cut_in_sample_rate", 26, fl, fmtOnly},
        {"cut_in_bits_per_sample", 35, fl, fmtOnly},
        {"cut_after_fmt_payload", 36, fl + REPORT8, noData},
        {"cut_in_data_id", 38, fl + REPORT8, noData},
        {"cut_in_data_size", 42, fl + REPORT8, noData},
        {"cut_after_data_header", 44, fl + REPORT8, shortData},
        {"cut_in_data_payload", 49, fl + REPORT8, shortData},
    };
    std::vector<RefusedCase> cases;
    for (const auto& cut : cuts) {
        cases.push_back({cut.name, whole.substr(0, cut.length), cut.out, cut.err});
    }
    return cases;
}

// Chunk sizes forged to 0, 2^31 or 2^32-1 in the format chunk.
std::vector<RefusedCase> forgedFmtSizeCases()
{
    const std::string fl = fileLine("in.wav");
    const std::string payload = fmtPayload(1, 1, 8000, 8000, 1, 8);
    const std::string data = chunk("data", "0123456789");
    return {
        // 16 bytes are read, but the next header is read at the payload
        // start: the format bytes themselves, declaring 8000 bytes.
        {"fmt_declared_0", riff(chunkDeclared("fmt ", 0, payload) + data), fl + REPORT8 + chunkLine("????", 8000),
         fmtLength(0) + "'data' チャンクが無い.\n"},
        {"fmt_declared_2_gib", riff(chunkDeclared("fmt ", 0x80000000u, payload) + data), fl + REPORT8,
         fmtLength(-2147483648L) + "'data' チャンクが無い.\n"},
        {"fmt_declared_ffffffff", riff(chunkDeclared("fmt ", 0xFFFFFFFFu, payload) + data), fl + REPORT8,
         fmtLength(-1) + "'data' チャンクが無い.\n"},
    };
}

std::vector<RefusedCase> allRefusedCases()
{
    std::vector<RefusedCase> cases = refusedCases();
    for (auto more : {truncatedCases(), forgedFmtSizeCases()}) {
        cases.insert(cases.end(), more.begin(), more.end());
    }
    return cases;
}

class RefusedFile : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFile, PrintsItsTextsAndCreatesNoOutput)
{
    const RefusedCase& c = GetParam();
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), c.input);
    const RunResult run = runSonvex({"in.wav", "out.wav"}, dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.out, console(c.out));
    EXPECT_EQ(run.err, console(c.err));
    EXPECT_FALSE(fileExists(dir.file("out.wav")));
    EXPECT_EQ(fileRead(dir.file("in.wav")), c.input);
}

INSTANTIATE_TEST_SUITE_P(Inputs, RefusedFile, ::testing::ValuesIn(allRefusedCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(RefusedPath, MissingInputFile)
{
    ScratchDir dir;
    const RunResult run = runSonvex({"none.wav", "out.wav"}, dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, console(" none.wavをオープンできません.\n"));
    EXPECT_FALSE(fileExists(dir.file("out.wav")));
}

TEST(RefusedPath, InputIsAFolder)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    const RunResult run = runSonvex({"sub", "out.wav"}, dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, console(" subをオープンできません.\n"));
}

TEST(Usage, WrongArgumentCountPrintsUsageOnly)
{
    const std::string usage =
        "WAV ファイルを暗号化します.\n\n引数に <入力ファイル名> <出力ファイル名>を指定してください.\n\n"
        "例 : sonvex  foo.wav  out.wav\n";
    const std::vector<std::vector<std::string>> argumentLists = {
        {}, {"in.wav"}, {"in.wav", "out.wav", "extra"}, {"a", "b", "c", "d"}};
    for (const auto& args : argumentLists) {
        ScratchDir dir;
        fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, "abcd"));
        const RunResult run = runSonvex(args, dir.path);
        EXPECT_EQ(run.status, FAILED) << args.size() << " arguments";
        EXPECT_EQ(run.out, "") << args.size() << " arguments";
        EXPECT_EQ(run.err, console(usage)) << args.size() << " arguments";
        EXPECT_FALSE(fileExists(dir.file("out.wav")));
    }
}

struct ConvertedCase {
    const char* name;
    std::string input;
    std::string out;  // the report before the completion line
    std::string err;
    std::string output;  // the whole expected output file
};

std::vector<ConvertedCase> convertedCases()
{
    const std::string fl = fileLine("in.wav");
    const std::string ten = "0123456789";
    const std::string header8 = canonicalHeader(1, 8000, 8, 10);
    const std::string plainErr = fmtLength(16) + dataLength(10);
    const std::string plainOut = fl + REPORT8;
    // A format chunk declared 14 bytes long: its 16 bytes run 2 bytes into the
    // next chunk header, which starts 14 bytes after the payload start.
    const std::string shortFmt = chunkDeclared("fmt ", 14, fmtPayload(1, 1, 8000, 8000, 1, 16).substr(0, 14)) +
                                 chunk(std::string("\x10\0xy", 4), "ab");
    return {
        {"plain_8_bit_mono", riff(FMT8 + chunk("data", ten)), plainOut + timeLine("0.001"), plainErr,
         header8 + ten},
        {"odd_list_chunk_before_data_is_padded",
         riff(FMT8 + chunk("LIST", "INFOx") + chunk("data", ten)),
         plainOut + chunkLine("LIST", 5) + timeLine("0.001"), plainErr, header8 + ten},
        {"odd_data_chunk_then_another_chunk",
         riff(FMT8 + chunk("data", "abc") + chunk("junk", "zz")),
         plainOut + chunkLine("junk", 2) + timeLine("0.000"), fmtLength(16) + dataLength(3),
         canonicalHeader(1, 8000, 8, 3) + "abc"},
        {"odd_data_chunk_at_end_without_pad", riff(FMT8 + chunkDeclared("data", 3, "abc")),
         plainOut + timeLine("0.000"), fmtLength(16) + dataLength(3), canonicalHeader(1, 8000, 8, 3) + "abc"},
        {"odd_fmt_chunk_is_padded",
         riff(chunk("fmt ", fmtPayload(1, 1, 8000, 8000, 1, 8) + "x") + chunk("data", ten)),
         plainOut + timeLine("0.001"), fmtLength(17) + dataLength(10), header8 + ten},
        {"fmt_of_18_bytes", riff(chunk("fmt ", fmtPayload(1, 1, 8000, 8000, 1, 8) + le16(0)) + chunk("data", ten)),
         plainOut + timeLine("0.001"), fmtLength(18) + dataLength(10), header8 + ten},
        {"fmt_of_40_bytes_with_pcm_code",
         riff(chunk("fmt ", fmtPayload(1, 1, 8000, 8000, 1, 8) + std::string(24, '\7')) + chunk("data", ten)),
         plainOut + timeLine("0.001"), fmtLength(40) + dataLength(10), header8 + ten},
        {"fmt_declared_shorter_than_16", riff(shortFmt + chunk("data", ten)),
         fl + fmtReport(1, 1, 8000, 8000, 1, 16) + chunkLine("??xy", 2) + timeLine("0.001"),
         fmtLength(14) + dataLength(10), canonicalHeader(1, 8000, 16, 10) + ten},
        {"identifiers_differing_in_case_are_other_chunks",
         riff(chunk("FMT ", "abcd") + FMT8 + chunk("Data", "xy") + chunk("data", ten)),
         fl + chunkLine("FMT ", 4) + REPORT8 + chunkLine("Data", 2) + timeLine("0.001"), plainErr, header8 + ten},
        {"control_and_high_bytes_in_identifier_shown_as_question_marks",
         riff(FMT8 + chunk("\x1b[2J", "ab") + chunk(std::string("\x80\x7f\0a", 4), "cd") + chunk("data", ten)),
         plainOut + chunkLine("?[2J", 2) + chunkLine("???a", 2) + timeLine("0.001"), plainErr, header8 + ten},
        {"huge_chunk_after_data_prints_negative_and_ends_walk",
         riff(FMT8 + chunk("data", ten) + chunkDeclared("junk", 0x80000000u, "abc")),
         plainOut + chunkLine("junk", -2147483648L) + timeLine("0.001"), plainErr, header8 + ten},
        {"chunk_of_ffffffff_bytes_prints_minus_one",
         riff(FMT8 + chunk("data", ten) + chunkDeclared("junk", 0xFFFFFFFFu, "")),
         plainOut + chunkLine("junk", -1) + timeLine("0.001"), plainErr, header8 + ten},
        {"trailing_fragment_of_seven_bytes", riff(FMT8 + chunk("data", ten)) + "abcdefg",
         plainOut + timeLine("0.001"), plainErr, header8 + ten},
        {"trailing_fragment_of_one_byte", riff(FMT8 + chunk("data", ten)) + "a", plainOut + timeLine("0.001"),
         plainErr, header8 + ten},
        {"chunk_reaching_past_end_of_file", riff(FMT8 + chunk("data", ten) + chunkDeclared("LIST", 1000, "abcd")),
         plainOut + chunkLine("LIST", 1000) + timeLine("0.001"), plainErr, header8 + ten},
        {"zero_byte_rate_leaves_out_playing_time",
         riff(chunk("fmt ", fmtPayload(1, 1, 8000, 0, 1, 8)) + chunk("data", ten)),
         fl + fmtReport(1, 1, 8000, 0, 1, 8), plainErr, header8 + ten},
        {"playing_time_three_decimals_and_computed_header_rates",
         riff(chunk("fmt ", fmtPayload(1, 2, 100, 200, 7, 8)) + chunk("data", std::string(300, 'a'))),
         fl + fmtReport(1, 2, 100, 200, 7, 8) + timeLine("1.500"), fmtLength(16) + dataLength(300),
         canonicalHeader(2, 100, 8, 300) + std::string(300, 'a')},
        {"playing_time_rounds_to_three_decimals",
         riff(chunk("fmt ", fmtPayload(1, 1, 3, 3, 1, 8)) + chunk("data", "z")),
         fl + fmtReport(1, 1, 3, 3, 1, 8) + timeLine("0.333"), fmtLength(16) + dataLength(1),
         canonicalHeader(1, 3, 8, 1) + "z"},
        {"last_data_chunk_is_converted",
         riff(FMT8 + chunk("data", "first") + chunk("data", ten)),
         plainOut + timeLine("0.001"), fmtLength(16) + dataLength(5) + dataLength(10), header8 + ten},
        {"last_fmt_chunk_sets_the_header",
         riff(FMT8 + chunk("data", ten) + pcmFmtChunk(2, 44100, 16)),
         plainOut + fmtReport(1, 2, 44100, 176400, 4, 16) + timeLine("0.000"),
         plainErr + fmtLength(16), canonicalHeader(2, 44100, 16, 10) + ten},
        {"three_channels_16_bit", pcmWav(3, 48000, 16, ten + "ab"),
         fl + fmtReport(1, 3, 48000, 288000, 6, 16) + timeLine("0.000"), fmtLength(16) + dataLength(12),
         canonicalHeader(3, 48000, 16, 12) + ten + "ab"},
        {"riff_size_is_not_examined", "RIFF" + le32(3) + "WAVE" + FMT8 + chunk("data", ten),
         plainOut + timeLine("0.001"), plainErr, header8 + ten},
    };
}

void PrintTo(const ConvertedCase& c, std::ostream* os) { *os << c.name; }

class ConvertedFile : public ::testing::TestWithParam<ConvertedCase> {};

TEST_P(ConvertedFile, ReportsAndWritesTheCanonicalFile)
{
    const ConvertedCase& c = GetParam();
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), c.input);
    const RunResult run = runSonvex({"in.wav", "out.wav"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, console(c.out + doneLine("in.wav", "out.wav")));
    EXPECT_EQ(run.err, console(c.err));
    EXPECT_EQ(fileRead(dir.file("out.wav")), c.output);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConvertedFile, ::testing::ValuesIn(convertedCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Conversion, BothStreamsInOneFileKeepProgramOrder)
{
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), riff(FMT8 + chunk("LIST", "abcd") + chunk("data", "0123456789")));
    RunSetup merged;
    merged.merged = true;
    const RunResult run = runSonvex({"in.wav", "out.wav"}, dir.path, merged);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.both, console(fileLine("in.wav") + fmtLength(16) + REPORT8 + chunkLine("LIST", 4) +
                                dataLength(10) + timeLine("0.001") + doneLine("in.wav", "out.wav")));
}

// Frames beyond one block, so that the first block is reversed and the rest stays.
TEST(Conversion, ScramblesBlocksAndASecondRunRestoresTheSamples)
{
    const size_t frames = 409600 + 1000;
    const std::string data = patternBytes(frames * 4 + 3);  // 16-bit stereo, 3 stray bytes
    ScratchDir dir;
    const std::string input = riff(pcmFmtChunk(2, 44100, 16) + chunk("LIST", "INFOabc") + chunk("data", data));
    fileWrite(dir.file("in.wav"), input);
    ASSERT_EQ(runSonvex({"in.wav", "once.wav"}, dir.path).status, 0);
    const std::string once = fileRead(dir.file("once.wav"));
    ASSERT_EQ(once.size(), 44 + data.size());
    EXPECT_EQ(once.substr(0, 44), canonicalHeader(2, 44100, 16, static_cast<uint32_t>(data.size())));
    for (size_t k : {size_t{0}, size_t{1}, size_t{204800}, size_t{409599}}) {
        EXPECT_EQ(once.substr(44 + k * 4, 4), data.substr((409599 - k) * 4, 4)) << "frame " << k;
    }
    EXPECT_EQ(once.substr(44 + 409600 * 4), data.substr(409600 * 4));

    ASSERT_EQ(runSonvex({"once.wav", "twice.wav"}, dir.path).status, 0);
    EXPECT_EQ(fileRead(dir.file("twice.wav")).substr(44), data);
}

TEST(Conversion, OutputIsAFifo)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "FIFOs are a POSIX matter";
    }
    ScratchDir dir;
    const std::string data = patternBytes(5000);
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, data));
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = fileRead(dir.file("pipe")); });
    const RunResult run = runSonvex({"in.wav", "pipe"}, dir.path);
    reader.join();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(5000)));
    EXPECT_EQ(received, canonicalHeader(1, 8000, 8, 5000) + data);
}

TEST(WriteFailure, OutputCannotBeOpened)
{
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, "0123456789"));
    std::filesystem::create_directory(dir.file("sub"));
    const std::vector<std::string> outputs = {"sub", "missing/out.wav"};
    for (const auto& output : outputs) {
        const RunResult run = runSonvex({"in.wav", output}, dir.path);
        EXPECT_EQ(run.status, FAILED) << output;
        EXPECT_EQ(run.out, console(fileLine("in.wav") + REPORT8 + timeLine("0.001"))) << output;
        EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(10) + output + " をオープンできません.\n"))
            << output;
    }
}

TEST(WriteFailure, FullDeviceIsReportedOnce)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "/dev/full is a Linux device";
    }
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, "0123456789"));
    const RunResult run = runSonvex({"in.wav", "/dev/full"}, dir.path);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.out, console(fileLine("in.wav") + REPORT8 + timeLine("0.001")));
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(10) + WRITE_FAILED_TEXTS));
}

TEST(WriteFailure, FileSizeLimitFailsTheDataWrite)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "resource limits are set through POSIX";
    }
    ScratchDir dir;
    const std::string data = patternBytes(20000);
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, data));
    RunSetup limited;
    limited.limits.fileSizeBytes = 10000;
    const RunResult run = runSonvex({"in.wav", "out.wav"}, dir.path, limited);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(20000) + WRITE_FAILED_TEXTS));
}

TEST(SameFile, InputIsReplacedByTheConvertedFile)
{
    ScratchDir dir;
    const std::string data = patternBytes(409600 + 7);
    fileWrite(dir.file("in.wav"), riff(FMT8 + chunk("LIST", "abcd") + chunk("data", data)));
    const RunResult run = runSonvex({"in.wav", "in.wav"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, console(fileLine("in.wav") + REPORT8 + chunkLine("LIST", 4) + timeLine("51.201") +
                               doneLine("in.wav", "in.wav")));
    std::string expected = data;
    std::reverse(expected.begin(), expected.begin() + 409600);
    EXPECT_EQ(fileRead(dir.file("in.wav")), canonicalHeader(1, 8000, 8, static_cast<uint32_t>(data.size())) + expected);
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"in.wav"});
}

TEST(SameFile, ThroughASymbolicLinkKeepsTheLinkAndPermissions)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "symbolic links need a POSIX file system";
    }
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), pcmWav(1, 8000, 8, "0123456789"));
    chmod(dir.file("in.wav").c_str(), 0640);
    std::filesystem::create_symlink("in.wav", dir.file("link.wav"));
    const RunResult run = runSonvex({"in.wav", "link.wav"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.wav")));
    EXPECT_EQ(fileRead(dir.file("in.wav")), canonicalHeader(1, 8000, 8, 10) + "0123456789");
    struct stat info {};
    ASSERT_EQ(stat(dir.file("in.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folderEntries(dir.path), (std::vector<std::string>{"in.wav", "link.wav"}));
}

TEST(SameFile, FailedWriteLeavesInputByteIdenticalAndNoTemporaryFile)
{
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "resource limits are set through POSIX";
    }
    ScratchDir dir;
    const std::string input = riff(FMT8 + chunk("LIST", "abcd") + chunk("data", patternBytes(30000)));
    fileWrite(dir.file("in.wav"), input);
    RunSetup limited;
    limited.limits.fileSizeBytes = 20000;
    const RunResult run = runSonvex({"in.wav", "in.wav"}, dir.path, limited);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(30000) + WRITE_FAILED_TEXTS));
    EXPECT_EQ(fileRead(dir.file("in.wav")), input);
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"in.wav"});
}

TEST(SameFile, FolderWithoutWritePermissionLeavesInputAsItWas)
{
    if (!testingPosixProgram() || geteuid() == 0) {
        GTEST_SKIP() << "needs POSIX permissions that apply (not root)";
    }
    ScratchDir dir;
    const std::string input = pcmWav(1, 8000, 8, "0123456789");
    fileWrite(dir.file("in.wav"), input);
    chmod(dir.path.c_str(), 0500);
    const RunResult run = runSonvex({"in.wav", "in.wav"}, dir.path);
    chmod(dir.path.c_str(), 0700);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(10) + "in.wav をオープンできません.\n"));
    EXPECT_EQ(fileRead(dir.file("in.wav")), input);
}

TEST(ResourceBounds, FourGibDeclarationFailsUnderOneGibAddressSpace)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#else
    if (!testingPosixProgram()) {
        GTEST_SKIP() << "resource limits are set through POSIX";
    }
    if (testingUnderEmulation()) {
        GTEST_SKIP() << "the emulator reserves more address space than the limit";
    }
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), riff(FMT8 + chunkDeclared("data", 0xFFFFFFF0u, patternBytes(4096))));
    RunSetup limited;
    limited.limits.addressSpaceBytes = uint64_t{1} << 30;
    const RunResult run = runSonvex({"in.wav", "out.wav"}, dir.path, limited);
    EXPECT_EQ(run.status, FAILED);
    EXPECT_EQ(run.err, console(fmtLength(16) + dataLength(-16) + "読み込みに失敗しました.\n"));
    EXPECT_FALSE(fileExists(dir.file("out.wav")));
#endif
}

}  // namespace
