// Cost of adding and finding one symbol with 1,000 and 100,000 symbols in the
// table. The per-symbol times should stay close: lookups must not scan.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "symbols/symbols.h"

namespace {

// Distinct names of `length` characters (at least 8), in a scattered order:
// a common prefix, then eight characters that differ. Kept side by side in
// one block, as a source holds them.
struct Names {
    std::vector<char> text;
    int length;
    const char* operator[](int i) const { return text.data() + size_t(i) * length; }
};

Names make_names(int count, int length) {
    Names names{std::vector<char>(size_t(count) * length), length};
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    for (int i = 0; i < count; ++i) {
        uint32_t n = uint32_t(i) * 2654435761u;
        char* name = names.text.data() + size_t(i) * length;
        std::memset(name, 'P', size_t(length - 8));
        char* unique = name + length - 8;
        unique[0] = 'L';
        for (int k = 1; k < 7; ++k, n /= 37) unique[k] = alphabet[n % 37];
        unique[7] = alphabet[i % 37];
    }
    return names;
}

// Shows the time of one operation as "per_symbol" (seconds, SI-prefixed).
void report_per_symbol(benchmark::State& state, int count) {
    state.counters["per_symbol"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: the symbol count and the names' length.
void BM_SymtabAdd(benchmark::State& state) {
    const int count = int(state.range(0));
    const Names names = make_names(count, int(state.range(1)));
    vexa::SymbolTable table;
    for (auto _ : state) {
        table.init();
        for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(table.add(names[i], names.length, i));
    }
    report_per_symbol(state, count);
}

void BM_SymtabFind(benchmark::State& state) {
    const int count = int(state.range(0));
    const Names names = make_names(count, int(state.range(1)));
    vexa::SymbolTable table;
    table.init();
    for (int i = 0; i < count; ++i) table.add(names[i], names.length, i);
    int32_t value;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(table.find(names[i], names.length, &value));
    }
    report_per_symbol(state, count);
}

}  // namespace

BENCHMARK(BM_SymtabAdd)->Args({1000, 8})->Args({100000, 8})->Args({100000, 24});
BENCHMARK(BM_SymtabFind)->Args({1000, 8})->Args({100000, 8})->Args({100000, 24});

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
