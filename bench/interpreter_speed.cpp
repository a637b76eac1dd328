// The interpreter's speed: runs a .COM program for a fixed number of 8086
// instructions and reports instructions per second (the best of several runs).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "run/run.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: interpreter_speed PROGRAM.COM [INSTRUCTIONS [RUNS]]\n");
        return 1;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> image(vexa::MAX_COM_IMAGE + 1);
    size_t length = std::fread(image.data(), 1, image.size(), file);
    std::fclose(file);
    uint64_t instructions = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200'000'000;
    int runs = argc > 3 ? std::atoi(argv[3]) : 5;

    auto machine = std::make_unique<vexa::Machine>();
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        if (!vexa::load_com_program(*machine, image.data(), length, "")) {
            std::fprintf(stderr, "%s: the image does not fit its segment\n", argv[1]);
            return 1;
        }
        machine->limit = instructions;
        auto start = std::chrono::steady_clock::now();
        vexa::run_machine(*machine, instructions);
        std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        if (machine->executed != instructions) {
            std::fprintf(stderr, "the program stopped after %llu instructions: %s\n",
                         static_cast<unsigned long long>(machine->executed), vexa::describe_ending(*machine));
            return 1;
        }
        double rate = double(instructions) / seconds.count();
        std::printf("run %d: %.1f million instructions per second\n", run + 1, rate / 1e6);
        if (rate > best) best = rate;
    }
    std::printf("best: %.1f million instructions per second\n", best / 1e6);
    return 0;
}
