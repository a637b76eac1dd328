// The floor of any assembler: read the whole file into memory and count its
// lines. Nothing can assemble a source faster than it can be read.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* file = std::fopen(argv[1], "rb");
    if (!file) return 1;
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    char* text = static_cast<char*>(std::malloc(size_t(size) + 1));
    if (!text || std::fread(text, 1, size_t(size), file) != size_t(size)) return 1;
    std::fclose(file);
    long lines = 0;
    for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(text + size - p)))); ++p) ++lines;
    std::printf("%ld\n", lines);
    std::free(text);
    return 0;
}
