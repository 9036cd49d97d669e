// Base64 encoding of 50 MB through a buffered stream over a memory stream,
// the way an attachment is encoded for sending.
#include "Nms_stream.h"
#include "Nmuue.h"

#include <benchmark/benchmark.h>

namespace {

void BM_Base64Encode50MB(benchmark::State& state)
{
    const size_t size = 50u * 1000u * 1000u;
    std::string data(size, '\0');
    uint32_t x = 12345;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    TMemoryStream in(std::move(data));
    TMemoryStream out;
    TNMUUProcessor coder;
    coder.Method = uuMime;
    coder.InputStream = &in;
    for (auto _ : state) {
        out.Clear();
        TS_BufferStream buffered(&out);
        coder.OutputStream = &buffered;
        coder.Encode();
        benchmark::DoNotOptimize(out.Data().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
    state.counters["output_bytes"] = static_cast<double>(out.GetSize());
}
BENCHMARK(BM_Base64Encode50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
