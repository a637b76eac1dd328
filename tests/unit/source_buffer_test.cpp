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

// A line buffer as the statement has it: whole blocks of sixteen.
struct LineBuffer {
    char bytes[LINE_CAPACITY + 16];
};

// What the line reader delivered: each line's text, or "<long:...>" for an over-long one.
std::vector<std::string> read_all(const std::string& bytes) {
    vexa_test::ScratchDir dir;
    dir.write("src.asm", bytes);
    FileSystemFiles files;
    SourceText text;
    EXPECT_EQ(files.load((dir.path() / "src.asm").string(), text), LOAD_OK);
    LineReader reader;
    reader.begin(text);
    std::vector<std::string> lines;
    LineBuffer buffer;
    LineMarks marks;
    for (int result; (result = reader.read(buffer.bytes, LINE_CAPACITY, marks)) != READ_END;) {
        std::string line(buffer.bytes, result == READ_TOO_LONG ? std::strlen(buffer.bytes) : size_t(result - 1));
        lines.push_back(result == READ_TOO_LONG ? "<long:" + line + ">" : line);
    }
    return lines;
}

struct ReadCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(ReadLine, LineEnds) {
    const size_t longest = LONGEST_LINE_CHARS;
    const std::string full(longest, 'a'), over(longest + 1, 'b'), far_over(longest + 74, 'c');
    const ReadCase cases[] = {
        {"", {}},
        {"A\r\nB\r\n", {"A", "B"}},
        {"A\rB\r", {"A", "B"}},
        {"A\nB\n", {"A", "B"}},
        {"A\n\rB", {"A", "", "B"}},
        {"A\r\n\r\nB", {"A", "", "B"}},
        {"last", {"last"}},
        {"\n", {""}},
        {full + "\nx", {full, "x"}},
        {full, {full}},
        {over + "\r\nx", {"<long:" + std::string(longest, 'b') + ">", "x"}},
        {far_over + "\nx\n", {"<long:" + std::string(longest, 'c') + ">", "x"}},
        {far_over, {"<long:" + std::string(longest, 'c') + ">"}},
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
        SourceText text;
        ASSERT_TRUE(text.assign((c.line + "\r\nnext\n").data(), c.line.size() + 7));
        LineReader reader;
        reader.begin(text);
        LineBuffer line;
        char* buffer = line.bytes;
        LineMarks marks;
        ASSERT_EQ(reader.read(buffer, LINE_CAPACITY, marks), int(c.line.size()) + 1);
        auto at = [&](const char* mark) { return mark ? long(mark - buffer) : -1L; };
        EXPECT_EQ(at(marks.end), long(c.line.size()));
        EXPECT_EQ(at(marks.zero), c.zero);
        EXPECT_EQ(at(marks.semicolon), c.semicolon);
        EXPECT_EQ(at(marks.single_quote), c.quote);
        EXPECT_EQ(at(marks.last_single_quote), c.last_quote);
    }
}

// A backquote is marked as a single quote: the first and last of either,
// in any of the line's blocks of sixteen and never past its end. The marks
// the reader finds as it copies are those of the line marked on its own.
TEST(ReadLine, MarksBackquotesAsSingleQuotes) {
    struct QuoteCase {
        std::string line;
        long first, last;  // positions, -1 for none
    };
    const std::string pad(14, 'p');
    const QuoteCase cases[] = {
        {"  DB `a;b` ; \"", 5, 9},
        {"  DB 'a`b' ; `", 5, 13},
        {pad + "\"`" + "`", 15, 16},
        {pad + "x;" + pad + "`\"", 30, 30},
        {std::string(40, 'q') + "`'" + pad + "`", 40, 56},
        {"DB \"x\" ; \"\"", -1, -1},
    };
    for (const QuoteCase& c : cases) {
        SCOPED_TRACE(c.line);
        SourceText text;
        std::string bytes = c.line + "\n`next'\n";
        ASSERT_TRUE(text.assign(bytes.data(), bytes.size()));
        LineReader reader;
        reader.begin(text);
        LineBuffer line;
        char* buffer = line.bytes;
        LineMarks marks;
        ASSERT_EQ(reader.read(buffer, LINE_CAPACITY, marks), int(c.line.size()) + 1);
        auto at = [&](const char* mark) { return mark ? long(mark - buffer) : -1L; };
        EXPECT_EQ(at(marks.single_quote), c.first);
        EXPECT_EQ(at(marks.last_single_quote), c.last);
        LineMarks alone = mark_line(buffer);
        EXPECT_EQ(at(marks.end), at(alone.end));
        EXPECT_EQ(at(marks.semicolon), at(alone.semicolon));
        for (auto mark : {&LineMarks::single_quote, &LineMarks::double_quote, &LineMarks::last_single_quote,
                          &LineMarks::last_double_quote, &LineMarks::zero}) {
            EXPECT_EQ(at(marks.*mark), at(alone.*mark));
        }
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
        EXPECT_EQ(lines.back(), last);
        EXPECT_EQ(lines.size(), (bytes.size() / 41) + 1);
    }
}

// A file included reads its lines next, with its own numbers; at its end the
// file that included it goes on. Skipped lines count as read.
TEST(ReadLine, IncludedFilesGoBeforeTheRestOfTheirIncluder) {
    SourceText main, first, second;
    ASSERT_TRUE(main.assign("m1\nm2\nm3\n", 9));
    ASSERT_TRUE(first.assign("a1\na2", 5));
    ASSERT_TRUE(second.assign("", 0));
    LineReader reader;
    reader.begin(main);
    LineBuffer buffer;
    LineMarks marks;
    std::vector<std::string> seen;
    int file_ends = 0;
    auto read = [&] {
        int result;
        while ((result = reader.read(buffer.bytes, LINE_CAPACITY, marks)) == READ_FILE_END) ++file_ends;
        if (result == READ_END) return false;
        seen.push_back(std::to_string(reader.file()) + ":" + std::to_string(reader.line_number()) + " " +
                       std::string(buffer.bytes, size_t(result - 1)));
        return true;
    };
    ASSERT_TRUE(read());
    ASSERT_TRUE(reader.include(first, 1));
    EXPECT_TRUE(reader.is_reading(first));
    ASSERT_TRUE(read());
    ASSERT_TRUE(reader.include(second, 2));  // empty: nothing to read
    reader.skip(3);
    seen.push_back(std::to_string(reader.file()) + ":" + std::to_string(reader.line_number()) + " skipped");
    while (read()) {
    }
    EXPECT_FALSE(reader.is_reading(first));
    const std::vector<std::string> expected = {"0:1 m1", "1:1 a1", "1:2 skipped", "0:2 m2", "0:3 m3"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(file_ends, 1);  // the first file's end is told; the empty one was stepped over
}

TEST(ReadLine, IncludedFilesNestSixteenDeep) {
    SourceText main, file;
    ASSERT_TRUE(main.assign("x\n", 2));
    ASSERT_TRUE(file.assign("y\n", 2));
    LineReader reader;
    reader.begin(main);
    for (int depth = 1; depth <= LineReader::MAX_DEPTH; ++depth) ASSERT_TRUE(reader.include(file, 1)) << depth;
    EXPECT_FALSE(reader.include(file, 1));
    EXPECT_EQ(reader.depth(), LineReader::MAX_DEPTH);
}

TEST(LoadSource, OutputNamingTheSourceLeavesItsLinesReadable) {
    // An object or listing path that reaches the source under another name
    // (here a symbolic link) empties the file when opened; the lines already
    // loaded must survive that.
    vexa_test::ScratchDir dir;
    dir.write("src.asm", "one\ntwo\n");
    std::filesystem::create_symlink(dir.path() / "src.asm", dir.path() / "out.bin");
    const std::string output = (dir.path() / "out.bin").string();
    FileSystemFiles files;
    files.written_paths.push_back(output);
    SourceText text;
    ASSERT_EQ(files.load((dir.path() / "src.asm").string(), text), LOAD_OK);
    std::fclose(std::fopen(output.c_str(), "wb"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.begin()), text.size()), "one\ntwo\n");
}

TEST(LoadSource, MissingFileOrDirectoryIsNotFound) {
    vexa_test::ScratchDir dir;
    FileSystemFiles files;
    SourceText text;
    EXPECT_EQ(files.load((dir.path() / "missing.asm").string(), text), LOAD_NOT_FOUND);
    EXPECT_EQ(files.load(dir.path().string(), text), LOAD_NOT_FOUND);
    EXPECT_FALSE(text.loaded());
}

}  // namespace
