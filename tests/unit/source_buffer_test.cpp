// Line ends, over-long lines and odd bytes as the line reader delivers them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "support/run_vexa.h"

namespace {

using namespace vexa;

// What read_line delivered: each line's text, or "<long:...>" for an over-long one.
std::vector<std::string> read_all(const std::string& bytes) {
    vexa_test::ScratchDir dir;
    dir.write("src.asm", bytes);
    EXPECT_EQ(load_source((dir.path() / "src.asm").c_str()), LOAD_OK);
    std::vector<std::string> lines;
    char buffer[LINE_CAPACITY];
    for (int result; (result = read_line(buffer, LINE_CAPACITY)) != READ_END;) {
        std::string text(buffer, result == READ_TOO_LONG ? std::strlen(buffer) : size_t(result - 1));
        lines.push_back(result == READ_TOO_LONG ? "<long:" + text + ">" : text);
    }
    release_source();
    return lines;
}

struct ReadCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(ReadLine, LineEnds) {
    const std::string a126(126, 'a'), b127(127, 'b'), c200(200, 'c');
    const ReadCase cases[] = {
        {"", {}},
        {"A\r\nB\r\n", {"A", "B"}},
        {"A\rB\r", {"A", "B"}},
        {"A\nB\n", {"A", "B"}},
        {"A\n\rB", {"A", "", "B"}},
        {"A\r\n\r\nB", {"A", "", "B"}},
        {"last", {"last"}},
        {"\n", {""}},
        {a126 + "\nx", {a126, "x"}},
        {a126, {a126}},
        {b127 + "\r\nx", {"<long:" + std::string(126, 'b') + ">", "x"}},
        {c200 + "\nx\n", {"<long:" + std::string(126, 'c') + ">", "x"}},
        {c200, {"<long:" + std::string(126, 'c') + ">"}},
        {std::string("a\0b\x1a\t\n", 6), {std::string("a\0b\x1a\t", 5)}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        EXPECT_EQ(read_all(c.bytes), c.lines);
    }
}

// A zero byte does not end a line: the marks cover it all, and note where
// the first zero stands (in the first or a later block of sixteen).
TEST(ReadLine, MarksPassZeroBytes) {
    struct MarksCase {
        std::string line;
        long zero, semicolon, quote, last_quote;  // positions, -1 for none
    };
    const MarksCase cases[] = {
        {std::string("A\0;'x'", 7), 1, 2, 3, 5},
        {std::string(20, 'b') + std::string("\0\0'", 3) + "; '", 20, 23, 22, 25},
        {"  NOP ; no zero", -1, 6, -1, -1},
    };
    for (const MarksCase& c : cases) {
        SCOPED_TRACE(c.line);
        vexa_test::ScratchDir dir;
        dir.write("src.asm", c.line + "\r\nnext\n");
        ASSERT_EQ(load_source((dir.path() / "src.asm").c_str()), LOAD_OK);
        char buffer[LINE_CAPACITY + 16];
        LineMarks marks;
        ASSERT_EQ(read_line(buffer, LINE_CAPACITY, &marks), int(c.line.size()) + 1);
        auto at = [&](const char* mark) { return mark ? long(mark - buffer) : -1L; };
        EXPECT_EQ(at(marks.end), long(c.line.size()));
        EXPECT_EQ(at(marks.zero), c.zero);
        EXPECT_EQ(at(marks.semicolon), c.semicolon);
        EXPECT_EQ(at(marks.single_quote), c.quote);
        EXPECT_EQ(at(marks.last_single_quote), c.last_quote);
        release_source();
    }
}

TEST(ReadLine, LastLineAtThePageEnd) {
    // A source whose last, unterminated line ends at or just before a page
    // boundary: the line reader's block reads run past the file's bytes.
    for (size_t size : {4096u, 4095u, 4081u, 8192u, 3u * 4096u - 7u}) {
        std::string bytes;
        while (bytes.size() + 41 < size) bytes += std::string(39, 'x') + "\r\n";
        std::string last(size - bytes.size(), 'z');
        SCOPED_TRACE(size);
        std::vector<std::string> lines = read_all(bytes + last);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), last.size() > 126 ? "<long:" + last.substr(0, 126) + ">" : last);
        EXPECT_EQ(lines.size(), (bytes.size() / 41) + 1);
    }
}

TEST(ReadLine, RewindStartsOver) {
    vexa_test::ScratchDir dir;
    dir.write("src.asm", "one\ntwo\n");
    ASSERT_EQ(load_source((dir.path() / "src.asm").c_str()), LOAD_OK);
    char buffer[LINE_CAPACITY];
    EXPECT_EQ(read_line(buffer, LINE_CAPACITY), 4);
    EXPECT_EQ(read_line(buffer, LINE_CAPACITY), 4);
    EXPECT_EQ(read_line(buffer, LINE_CAPACITY), READ_END);
    rewind_source();
    EXPECT_EQ(read_line(buffer, LINE_CAPACITY), 4);
    EXPECT_STREQ(buffer, "one");
    release_source();
}

TEST(LoadSource, OutputNamingTheSourceLeavesItsLinesReadable) {
    // An object or listing path that reaches the source under another name
    // (here a symbolic link) empties the file when opened; the lines already
    // loaded must survive that.
    for (bool through_listing : {false, true}) {
        vexa_test::ScratchDir dir;
        dir.write("src.asm", "one\ntwo\n");
        std::filesystem::create_symlink(dir.path() / "src.asm", dir.path() / "out.bin");
        const std::string output = (dir.path() / "out.bin").string();
        std::strcpy(through_listing ? list_path : object_path, output.c_str());
        listing_requested = through_listing;
        ASSERT_EQ(load_source((dir.path() / "src.asm").c_str()), LOAD_OK);
        std::fclose(std::fopen(output.c_str(), "wb"));
        char buffer[LINE_CAPACITY];
        EXPECT_EQ(read_line(buffer, LINE_CAPACITY), 4);
        EXPECT_STREQ(buffer, "one");
        EXPECT_EQ(read_line(buffer, LINE_CAPACITY), 4);
        EXPECT_STREQ(buffer, "two");
        release_source();
        object_path[0] = list_path[0] = 0;
        listing_requested = 0;
    }
}

TEST(LoadSource, MissingFileOrDirectoryIsNotFound) {
    vexa_test::ScratchDir dir;
    EXPECT_EQ(load_source((dir.path() / "missing.asm").c_str()), LOAD_NOT_FOUND);
    EXPECT_EQ(load_source(dir.path().c_str()), LOAD_NOT_FOUND);
    EXPECT_EQ(source.base, nullptr);
}

}  // namespace
