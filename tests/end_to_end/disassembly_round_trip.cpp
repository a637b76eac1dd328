// Every instruction row of the encoding tables under tests/cases, assembled,
// disassembled by the table of forms and assembled again from that text
// under the same options and at the same address: the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "driver/assembler.h"
#include "isa/disassemble.h"
#include "isa/forms.h"
#include "support/encoding_table.h"

namespace fs = std::filesystem;

namespace vexa_test {
namespace {

// Rows whose bytes the assembler's conventions give no writing of their own.
struct Excused {
    const char* table;
    const char* source;
    const char* why;
};
constexpr Excused EXCUSED[] = {
    // A near JMP to a target in short reach: a number there is short, and
    // JMP NEAR goes through memory under Vexa's conventions; only a name
    // further down gives the near form.
    {"control/forms.enc", "JMP AHEAD3", "near JMP to a target in short reach"},
    {"control/forms.enc", "JMP NEXT", "near JMP to a target in short reach"},
    {"conventions/vexa.enc", "JMP AHEAD", "near JMP to a target in short reach"},
    {"conventions/nasm.enc", "JMP NEAR AHEAD", "near JMP to a target in short reach"},
    {"expressions/forward.enc", "JMP LATER-LATER+102H", "near JMP to a target in short reach"},
    {"expressions/values.enc", "JMP X+2-2", "near JMP to a target in short reach"},
    {"names/long_names.enc", "JMP LOOP_COUNTER_1", "near JMP to a target in short reach"},
    // Under NASM's conventions TEST of two registers puts the first in the
    // r/m field, Vexa's puts it in the reg field: one text cannot say both.
    {"conventions/nasm.enc", "TEST AX,BX", "NASM's operand order of TEST"},
    {"conventions/nasm.enc", "TEST AL,BL", "NASM's operand order of TEST"},
    // NASM's INT 3 is CD 03, its INT3 the one byte, which Vexa writes INT 3.
    {"conventions/nasm.enc", "INT3", "NASM's INT3"},
    // NASM's word immediate and displacement for an address (a label, $):
    // the number alone takes the byte form.
    {"conventions/nasm.enc", "ADD SI,$-0FFH", "NASM's word immediate of an address"},
    {"conventions/nasm.enc", "MOV AX,[BX+$-0F0H]", "NASM's word displacement of an address"},
    {"cpu186/nasm.enc", "PUSH HERE", "NASM's word immediate of an address"},
    {"cpu186/nasm.enc", "PUSH HERE+2", "NASM's word immediate of an address"},
    {"cpu186/nasm.enc", "IMUL AX,BX,HERE", "NASM's word immediate of an address"},
    // STRICT WORD keeps the word form of a number that fits a byte: the
    // number alone takes the byte form.
    {"conventions/nasm.enc", "ADD SI,STRICT WORD 5", "NASM's STRICT WORD"},
    {"conventions/nasm.enc", "ADD AX,STRICT WORD 5", "NASM's STRICT WORD"},
    {"conventions/nasm.enc", "CMP WORD [BX],STRICT WORD -1", "NASM's STRICT WORD"},
    {"cpu186/nasm.enc", "PUSH STRICT WORD 5", "NASM's STRICT WORD"},
    {"cpu186/nasm.enc", "IMUL AX,BX,STRICT WORD 5", "NASM's STRICT WORD"},
    {"cpu186/nasm.enc", "IMUL AX,STRICT WORD -1", "NASM's STRICT WORD"},
};

const Excused* excused(const std::string& table, const std::string& source) {
    size_t begin = source.find_first_not_of(" \t");
    std::string statement = begin == std::string::npos ? "" : source.substr(begin);
    for (const Excused& row : EXCUSED) {
        if (table == row.table && statement == row.source) return &row;
    }
    return nullptr;
}

std::string upper(std::string word) {
    for (char& c : word) c = char(toupper(static_cast<unsigned char>(c)));
    return word;
}

// A mnemonic or prefix the assembler takes (the decode-only aliases aside).
bool is_instruction_word(std::string word) {
    if (!word.empty() && word.back() == ':') word.pop_back();
    word = upper(word);
    for (const vexa::Form& form : vexa::forms) {
        if (form.processor <= vexa::PROCESSOR_186 && word == form.mnemonic) return true;
    }
    return false;
}

bool is_segment_register(std::string word) {
    if (!word.empty() && word.back() == ':') word.pop_back();
    word = upper(word);
    return word == "ES" || word == "CS" || word == "SS" || word == "DS";
}

// An instruction's row: its first word is a mnemonic, or the word after a
// label or after a segment register written before the instruction.
bool is_instruction_row(const std::string& source) {
    std::istringstream words(source.substr(0, source.find(';')));
    std::string first, second;
    words >> first >> second;
    if (is_instruction_word(first)) return true;
    bool label = first.back() == ':' || (!source.empty() && !isspace(static_cast<unsigned char>(source[0])));
    return (label || is_segment_register(first)) && is_instruction_word(second);
}

// The table's command-line options as the library takes them; false for one it does not know.
bool read_options(const std::vector<std::string>& words, vexa::AssemblyOptions& options) {
    for (const std::string& word : words) {
        if (word == "--dialect=vexa") options.dialect = vexa::DIALECT_VEXA;
        else if (word == "--dialect=nasm") options.dialect = vexa::DIALECT_NASM;
        else if (word == "--dialect=masm") options.dialect = vexa::DIALECT_MASM;
        else if (word == "--optimize") options.optimize = true;
        else if (word == "--cpu=186" || word == "--cpu=286") options.cpu_186 = true;
        else if (word != "--cpu=8086") return false;
    }
    return true;
}

vexa::AssemblyResult assemble(const vexa::AssemblyOptions& asked, const std::string& source) {
    vexa::MemoryFiles files;
    files.files["row.asm"] = source;
    vexa::AssemblyOptions options = asked;
    options.source = "row.asm";
    return vexa::assemble_to_memory(options, files);
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X ", byte);
        text += cell;
    }
    return text;
}

// The image's instructions as lines of source, from `origin` on; empty
// with a failure when a byte is no instruction.
std::string disassembly(const std::string& image, int32_t origin, vexa::DecodeProcessor processor) {
    std::string lines;
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
    for (size_t at = 0; at < image.size();) {
        vexa::Disassembly d = vexa::disassemble(bytes + at, image.size() - at, uint16_t(origin + at), processor);
        if (d.length == 0 || !d.defined) {
            ADD_FAILURE() << "no instruction at " << at << ": " << d.text;
            return "";
        }
        lines += std::string("        ") + d.text + "\n";
        at += size_t(d.length);
    }
    return lines;
}

struct Counts {
    int checked = 0;
    int excused = 0;
    int exe = 0;  // rows of an .EXE: the image holds a header
};

void check_table(const std::string& name, Counts& counts) {
    std::string error;
    EncodingTable table = read_encoding_table((fs::path(VEXA_CASES_DIR) / name).string(), error);
    ASSERT_EQ(error, "");
    vexa::AssemblyOptions options;
    ASSERT_TRUE(read_options(table.options, options)) << name << ": an option the round trip does not know";

    for (const EncodingRow& row : table.rows) {
        if (!row.error.empty() || row.bytes.empty() || !is_instruction_row(row.source)) continue;
        SCOPED_TRACE(name + ":" + std::to_string(row.line_number) + ": " + row.source);
        vexa::AssemblyResult first = assemble(options, table.before + row.source + "\n" + table.after + "        END\n");
        if (first.failed()) continue;  // the encoding tables' own test tells
        if (first.exe) {
            ++counts.exe;
            continue;
        }
        vexa::DecodeProcessor processor = first.cpu_186 ? vexa::DECODE_186 : vexa::DECODE_8086;
        std::string lines = disassembly(first.image, first.origin, processor);
        if (lines.empty()) continue;
        vexa::AssemblyResult second = assemble(options, table.before + lines + table.after + "        END\n");
        bool same = !second.failed() && second.image == first.image;
        if (const Excused* reason = excused(name, row.source)) {
            ++counts.excused;
            EXPECT_FALSE(same) << "excused (" << reason->why << ") but round-trips: take it off the list";
            continue;
        }
        ++counts.checked;
        EXPECT_TRUE(same) << "bytes " << hex(first.image) << "\ndisassembled as\n"
                          << lines << "assembled again to " << hex(second.image)
                          << (second.failed() ? "with errors" : "");
    }
}

TEST(DisassemblyRoundTrip, EveryInstructionRowOfTheEncodingTables) {
    Counts counts;
    for (const std::string& name : find_encoding_tables(VEXA_CASES_DIR)) check_table(name, counts);
    std::printf("round trip: %d rows checked, %d excused, %d of an .EXE left out\n", counts.checked, counts.excused,
                counts.exe);
    EXPECT_GT(counts.checked, 500);
    EXPECT_EQ(counts.excused, int(std::size(EXCUSED)));
}

}  // namespace
}  // namespace vexa_test
