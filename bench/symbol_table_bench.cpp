// Cost of adding and finding one symbol with 1,000 and 100,000 symbols in the
// table. The per-symbol times should stay close: lookups must not scan.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <array>
#include <cstdint>
#include <vector>

#include "symbols/symbols.h"

namespace {

// Distinct names of up to 8 characters, in a scattered order.
std::vector<std::array<char, 8>> make_names(int count) {
    std::vector<std::array<char, 8>> names(count);
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    for (int i = 0; i < count; ++i) {
        uint32_t n = uint32_t(i) * 2654435761u;
        auto& name = names[i];
        name.fill(0);
        name[0] = 'L';
        for (int k = 1; k < 8 && n; ++k, n /= 37) name[k] = alphabet[n % 37];
        name[7] = alphabet[i % 37];
    }
    return names;
}

// Shows the time of one operation as "per_symbol" (seconds, SI-prefixed).
void report_per_symbol(benchmark::State& state, int count) {
    state.counters["per_symbol"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SymtabAdd(benchmark::State& state) {
    const int count = int(state.range(0));
    auto names = make_names(count);
    for (auto _ : state) {
        vexa::symtab_init();
        for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(vexa::symtab_add(names[i].data(), i));
    }
    vexa::symtab_free();
    report_per_symbol(state, count);
}

void BM_SymtabFind(benchmark::State& state) {
    const int count = int(state.range(0));
    auto names = make_names(count);
    vexa::symtab_init();
    for (int i = 0; i < count; ++i) vexa::symtab_add(names[i].data(), i);
    int32_t value;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(vexa::symtab_find(names[i].data(), &value));
    }
    vexa::symtab_free();
    report_per_symbol(state, count);
}

}  // namespace

BENCHMARK(BM_SymtabAdd)->Arg(1000)->Arg(100000);
BENCHMARK(BM_SymtabFind)->Arg(1000)->Arg(100000);

int main(int argc, char** argv) {
    // Every iteration builds a new table. Keep freed blocks in the process so
    // that the iterations measure the table, not the kernel handing out fresh
    // zeroed pages again and again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
