// The list at scale: 1,000,000 addresses added one by one, then the
// duplicate pass; saving and loading a 1,000,000-entry list.
#include "CheckList.h"
#include "bench_common.h"
#include "ListFiles.h"

#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kEntries = 1000000;

// A million addresses in page order, about one in ten seen twice.
const std::vector<std::string>& addresses()
{
    static const std::vector<std::string> list = [] {
        std::mt19937 rng(9);
        std::vector<std::string> v;
        v.reserve(kEntries);
        while (v.size() < static_cast<size_t>(kEntries)) {
            if (!v.empty() && rng() % 10 == 0)
                v.push_back(v[rng() % v.size()]);
            else
                v.push_back(benchdata::address(rng));
        }
        return v;
    }();
    return list;
}

std::string benchFile() { return QDir::tempPath().toStdString() + "/corvina_bench_list.txt"; }

void BM_AddMillionThenDuplicatePass(benchmark::State& state)
{
    const auto& v = addresses();
    for (auto _ : state) {
        auto l = std::make_unique<TCheckListModel>();
        for (const auto& a : v)
            l->Add(a);
        benchmark::DoNotOptimize(l->RemoveAdjacentDuplicates());
        state.counters["kept"] = l->Count();
        state.PauseTiming(); // the list's destruction is not part of it
        l.reset();
        state.ResumeTiming();
    }
}

void BM_SaveMillion(benchmark::State& state)
{
    TCheckListModel l;
    l.Assign(addresses());
    for (auto _ : state)
        SaveListText(l, benchFile());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ListText(l).size()));
}

void BM_LoadMillion(benchmark::State& state)
{
    {
        TCheckListModel l;
        l.Assign(addresses());
        SaveListText(l, benchFile());
    }
    TCheckListModel l;
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadListText(l, benchFile()));
    std::remove(benchFile().c_str());
}

void BM_LoadMillionUnsorted(benchmark::State& state)
{
    // A file in page order, as another program might write it.
    {
        std::string text = ListText(addresses());
        FILE* f = std::fopen(benchFile().c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    TCheckListModel l;
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadListText(l, benchFile()));
    std::remove(benchFile().c_str());
}

BENCHMARK(BM_AddMillionThenDuplicatePass)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadMillionUnsorted)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
