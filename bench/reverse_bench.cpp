// The block reversal against memcpy of the same bytes, per layout.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "wav_write.h"

namespace {

// About 64 MiB of whole blocks and one frame more, so that every block is
// reversed and the data is far larger than the caches, as in a real file.
WavInfo descriptor(uint16_t bits, uint16_t channels)
{
    WavInfo info{};
    info.bitsPerSample = bits;
    info.channels = channels;
    const size_t frameBytes = bits / 8u * channels;
    const size_t blocks = (size_t{64} << 20) / (frameBytes * BLOCK_FRAMES);
    info.dataSize = static_cast<uint32_t>((blocks * BLOCK_FRAMES + 1) * frameBytes);
    info.data = wavBufferAlloc(info.dataSize);
    for (size_t i = 0; i < info.dataSize; ++i) {
        info.data[i] = static_cast<uint8_t>(i * 131);
    }
    return info;
}

void reversal(benchmark::State& state, uint16_t bits, uint16_t channels)
{
    WavInfo info = descriptor(bits, channels);
    for (auto _ : state) {
        const int result = bits == 8 ? wavReverse8(info) : wavReverse16(info);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * info.dataSize);
}

void copy(benchmark::State& state, uint16_t bits, uint16_t channels)
{
    WavInfo info = descriptor(bits, channels);
    std::vector<uint8_t> to(info.dataSize);
    for (auto _ : state) {
        std::memcpy(to.data(), info.data.get(), info.dataSize);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * info.dataSize);
}

}  // namespace

BENCHMARK_CAPTURE(reversal, 8bit_mono, 8, 1);
BENCHMARK_CAPTURE(copy, 8bit_mono, 8, 1);
BENCHMARK_CAPTURE(reversal, 16bit_mono, 16, 1);
BENCHMARK_CAPTURE(copy, 16bit_mono, 16, 1);
BENCHMARK_CAPTURE(reversal, 16bit_stereo, 16, 2);
BENCHMARK_CAPTURE(copy, 16bit_stereo, 16, 2);
BENCHMARK_CAPTURE(reversal, 8bit_3ch, 8, 3);
BENCHMARK_CAPTURE(copy, 8bit_3ch, 8, 3);
BENCHMARK_CAPTURE(reversal, 16bit_3ch, 16, 3);
BENCHMARK_CAPTURE(copy, 16bit_3ch, 16, 3);

BENCHMARK_MAIN();
