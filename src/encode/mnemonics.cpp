// Every accepted mnemonic, the three-level letter trie that selects one, and
// the table of reserved words.
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "encode/encode.h"

namespace vexa {

namespace {

// The accepted mnemonics, grouped by trie slot: the two or three letters the
// trie selects, the ending its handler accepts, the handler, the opcode and
// the ModRM /digit (or the second byte of a fixed encoding). Rows of one slot
// stand together. Handlers of instructions with several forms (MOV, JMP...)
// keep their opcodes in their family's file and take 0 here.
constexpr Mnemonic mnemonic_table[] = {
    // slot  rest   handler              opcode extension
    {"AAA", "", fixed_encoding, 0x37, 0},
    {"AAD", "", fixed_encoding, 0xD5, 0x0A},
    {"AAM", "", fixed_encoding, 0xD4, 0x0A},
    {"AAS", "", fixed_encoding, 0x3F, 0},
    {"ABS", "OLUTE", directive_absolute, 0, 0},
    {"ADC", "", alu_group, 0x10, 2},
    {"ADD", "", alu_group, 0x00, 0},
    {"ALI", "GN", directive_align, 0, 0},
    {"AND", "", alu_group, 0x20, 4},
    {"ASS", "UME", directive_masm_structure, MASM_ASSUME, 0},
    {"AT", "", directive_times, INSTANCE_FIELD, 0},
    {"BIT", "S", directive_bits, BITS_WIDTH, 0},
    {"CAL", "L", call_instruction, 0, 0},
    {"CBW", "", fixed_encoding, 0x98, 0},
    {"CLC", "", fixed_encoding, 0xF8, 0},
    {"CLD", "", fixed_encoding, 0xFC, 0},
    {"CLI", "", fixed_encoding, 0xFA, 0},
    {"CMC", "", fixed_encoding, 0xF5, 0},
    {"CMP", "", alu_group, 0x38, 7},
    {"CMP", "S", string_operands, 0xA6, 0},
    {"CMP", "SB", string_suffixed, 0xA6, 0},
    {"CMP", "SW", string_suffixed, 0xA7, 0},
    {"CPU", "", directive_cpu, 0, 0},
    {"CWD", "", fixed_encoding, 0x99, 0},
    {"DAA", "", fixed_encoding, 0x27, 0},
    {"DAS", "", fixed_encoding, 0x2F, 0},
    {"DB", "", directive_db, 0, 0},
    {"DD", "", directive_dd, 0, 0},
    {"DEC", "", inc_dec, 0xFE, 1},
    {"DIV", "", unary_group, 0xF6, 6},
    {"DOS", "SEG", directive_masm_structure, MASM_DOSSEG, 0},
    {"DQ", "", directive_dq, 0, 0},
    {"DS", "", directive_ds, 0, 0},
    {"DW", "", directive_dw, 0, 0},
    {"END", "P", directive_endp, 0, 0},
    {"END", "", directive_end, 0, 0},
    {"END", "IF", directive_condition, COND_ENDIF, 0},
    {"END", "M", directive_macro, MW_ENDM, 0},
    {"END", "S", directive_masm_structure, MASM_ENDS, 0},
    {"END", "STRUC", directive_struc, STRUCTURE_END, 0},
    {"ELS", "E", directive_condition, COND_ELSE, 0},
    {"ELS", "EIF", directive_condition, COND_ELSEIF, 0},
    {"ELI", "F", directive_condition, COND_ELSEIF, 0},
    {"ELI", "FDEF", directive_condition, COND_ELSEIFDEF, 0},
    {"ELI", "FNDEF", directive_condition, COND_ELSEIFNDEF, 0},
    {"EQU", nullptr, directive_equ, 0, 0},
    {"ESC", "", esc_instruction, 0, 0},
    {"EVE", "N", directive_even, 0, 0},
    {"EXI", "TM", directive_macro, MW_EXITM, 0},
    {"EXT", "ERN", directive_linker, 0, 0},
    {"FOR", "", directive_macro, MW_IRP, 0},
    {"FOR", "C", directive_macro, MW_IRPC, 0},
    {"GLO", "BAL", directive_linker, 0, 0},
    {"GRO", "UP", directive_masm_structure, MASM_GROUP, 0},
    {"HLT", "", fixed_encoding, 0xF4, 0},
    {"IDI", "V", unary_group, 0xF6, 7},
    {"IEN", "D", directive_istruc, INSTANCE_END, 0},
    {"IF", "", directive_condition, COND_IF, 0},
    {"IFE", "", directive_condition, COND_IFE, 0},
    {"IFD", "EF", directive_condition, COND_IFDEF, 0},
    {"IFD", "IF", directive_condition, COND_IFDIF, 0},
    {"IFN", "DEF", directive_condition, COND_IFNDEF, 0},
    {"IFN", "B", directive_condition, COND_IFNB, 0},
    {"IFB", "", directive_condition, COND_IFB, 0},
    {"IFI", "DN", directive_condition, COND_IFIDN, 0},
    {"IFI", "DNI", directive_condition, COND_IFIDNI, 0},
    {"IMU", "L", unary_group, 0xF6, 5},
    {"IN", "", in_instruction, 0xE4, 0},
    {"INC", "", inc_dec, 0xFE, 0},
    {"INC", "LUDE", directive_include, 0, 0},
    {"INC", "BIN", directive_incbin, 0, 0},
    {"INT", "", int_instruction, 0, 0},
    {"INT", "O", fixed_encoding_unless_operands, 0xCE, 0},
    {"INT", "3", nasm_fixed_encoding, 0xCC, 0},
    {"IRE", "T", fixed_encoding_unless_operands, 0xCF, 0},
    {"IRP", "", directive_macro, MW_IRP, 0},
    {"IRP", "C", directive_macro, MW_IRPC, 0},
    {"IST", "RUC", directive_istruc, INSTANCE_BEGIN, 0},
    {"JA", "", short_jump, 0x77, 0},
    {"JAE", "", short_jump, 0x73, 0},
    {"JB", "", short_jump, 0x72, 0},
    {"JBE", "", short_jump, 0x76, 0},
    {"JC", "", short_jump, 0x72, 0},
    {"JCX", "Z", short_jump, 0xE3, 0},
    {"JE", "", short_jump, 0x74, 0},
    {"JG", "", short_jump, 0x7F, 0},
    {"JGE", "", short_jump, 0x7D, 0},
    {"JL", "", short_jump, 0x7C, 0},
    {"JLE", "", short_jump, 0x7E, 0},
    {"JMP", "", jmp_instruction, 0, 0},
    {"JUM", "PS", directive_masm_structure, MASM_JUMPS, 0},
    {"JNA", "", short_jump, 0x76, 0},
    {"JNA", "E", short_jump, 0x72, 0},
    {"JNB", "", short_jump, 0x73, 0},
    {"JNB", "E", short_jump, 0x77, 0},
    {"JNC", "", short_jump, 0x73, 0},
    {"JNE", "", short_jump, 0x75, 0},
    {"JNG", "", short_jump, 0x7E, 0},
    {"JNG", "E", short_jump, 0x7C, 0},
    {"JNL", "", short_jump, 0x7D, 0},
    {"JNL", "E", short_jump, 0x7F, 0},
    {"JNO", "", short_jump, 0x71, 0},
    {"JNP", "", short_jump, 0x7B, 0},
    {"JNS", "", short_jump, 0x79, 0},
    {"JNZ", "", short_jump, 0x75, 0},
    {"JO", "", short_jump, 0x70, 0},
    {"JP", "", short_jump, 0x7A, 0},
    {"JPE", "", short_jump, 0x7A, 0},
    {"JPO", "", short_jump, 0x7B, 0},
    {"JS", "", short_jump, 0x78, 0},
    {"JZ", "", short_jump, 0x74, 0},
    {"LAB", "EL", directive_label, 0, 0},
    {"LAH", "F", fixed_encoding, 0x9F, 0},
    {"LDS", "", load_address, 0xC5, 0},
    {"LEA", "", load_address, 0x8D, 0},
    {"LES", "", load_address, 0xC4, 0},
    {"LOC", "K", prefix_statement, 0xF0, 0},
    {"LOC", "ALS", directive_locals, 0, 0},
    {"LOC", "AL", directive_macro, MW_LOCAL, 0},
    {"LOD", "S", string_operands, 0xAC, 0},
    {"LOD", "SB", string_suffixed, 0xAC, 0},
    {"LOD", "SW", string_suffixed, 0xAD, 0},
    {"LOO", "P", short_jump, 0xE2, 0},
    {"LOO", "PE", short_jump, 0xE1, 0},
    {"LOO", "PZ", short_jump, 0xE1, 0},
    {"LOO", "PNE", short_jump, 0xE0, 0},
    {"LOO", "PNZ", short_jump, 0xE0, 0},
    {"MAC", "RO", directive_macro, MW_MACRO, 0},
    {"MOV", "", mov_instruction, 0, 0},
    {"MOV", "S", string_operands, 0xA4, 0},
    {"MOV", "SB", string_suffixed, 0xA4, 0},
    {"MOV", "SW", string_suffixed, 0xA5, 0},
    {"MUL", "", unary_group, 0xF6, 4},
    {"NAM", "E", directive_masm_structure, MASM_LISTING, 0},
    {"NEG", "", unary_group, 0xF6, 3},
    {"NOP", "", fixed_encoding, 0x90, 0},
    {"NOT", "", unary_group, 0xF6, 2},
    {"OR", "", alu_group, 0x08, 1},
    {"ORG", nullptr, directive_org, 0, 0},
    {"OUT", "", out_instruction, 0xE6, 0},
    {"PAG", "E", directive_masm_structure, MASM_LISTING, 0},
    {"POP", "", pop_instruction, 0, 0},
    {"POP", "F", fixed_encoding_unless_operands, 0x9D, 0},
    {"PRO", "C", directive_proc, 0, 0},
    {"PUR", "GE", directive_macro, MW_PURGE, 0},
    {"PUS", "H", push_instruction, 0, 0},
    {"PUS", "HF", fixed_encoding_unless_operands, 0x9C, 0},
    {"RCL", "", encode_shift, 0xD0, 2},
    {"RCR", "", encode_shift, 0xD0, 3},
    {"REP", "T", directive_macro, MW_REPT, 0},
    {"REP", "", prefix_statement, 0xF3, 0},
    {"REP", "E", prefix_statement, 0xF3, 0},
    {"REP", "Z", prefix_statement, 0xF3, 0},
    {"REP", "NE", prefix_statement, 0xF2, 0},
    {"REP", "NZ", prefix_statement, 0xF2, 0},
    {"RES", "B", directive_reserve, 0, 1},
    {"RES", "W", directive_reserve, 0, 2},
    {"RES", "D", directive_reserve, 0, 4},
    {"RES", "Q", directive_reserve, 0, 8},
    {"RET", "", ret_instruction, 0xC3, 0},
    {"RET", "N", ret_instruction, 0xC3, 0},
    {"RET", "F", ret_instruction, 0xCB, 0},
    {"ROL", "", encode_shift, 0xD0, 0},
    {"ROR", "", encode_shift, 0xD0, 1},
    {"SAH", "F", fixed_encoding, 0x9E, 0},
    {"SAL", "", encode_shift, 0xD0, 4},
    {"SAR", "", encode_shift, 0xD0, 7},
    {"SBB", "", alu_group, 0x18, 3},
    {"SCA", "S", string_operands, 0xAE, 0},
    {"SCA", "SB", string_suffixed, 0xAE, 0},
    {"SCA", "SW", string_suffixed, 0xAF, 0},
    {"SEC", "TION", directive_section, 0, 0},
    {"SEG", "", seg_prefix, 0x26, 0},
    {"SEG", "MENT", directive_section, SEGMENT_WORD, 0},
    {"SHL", "", encode_shift, 0xD0, 4},
    {"SHR", "", encode_shift, 0xD0, 5},
    {"STC", "", fixed_encoding, 0xF9, 0},
    {"STD", "", fixed_encoding, 0xFD, 0},
    {"STI", "", fixed_encoding, 0xFB, 0},
    {"STO", "S", string_operands, 0xAA, 0},
    {"STO", "SB", string_suffixed, 0xAA, 0},
    {"STO", "SW", string_suffixed, 0xAB, 0},
    {"STR", "UC", directive_struc, STRUCTURE_BEGIN, 0},
    {"SUB", "", alu_group, 0x28, 5},
    {"SUB", "TTL", directive_masm_structure, MASM_LISTING, 0},
    {"TES", "T", test_instruction, 0, 0},
    {"TIT", "LE", directive_masm_structure, MASM_LISTING, 0},
    {"TIM", "ES", directive_times, 0, 0},
    {"USE", "16", directive_bits, USE16, 0},
    {"WAI", "T", fixed_encoding, 0x9B, 0},
    {"XCH", "G", xchg_instruction, 0, 0},
    {"XLA", "T", fixed_encoding, 0xD7, 0},
    {"XLA", "TB", nasm_fixed_encoding, 0xD7, 0},
    {"XOR", "", alu_group, 0x30, 6},
    // Found by the reserved words or the line splitter, not by the trie:
    // MASM's program structure, the errors a source asks for, and NAME =
    // value (last).
    {".MODEL", "", directive_masm_structure, MASM_MODEL, 0},
    {".CODE", "", directive_masm_structure, MASM_CODE, 0},
    {".DATA", "", directive_masm_structure, MASM_DATA, 0},
    {".DATA?", "", directive_masm_structure, MASM_DATA_UNINIT, 0},
    {".CONST", "", directive_masm_structure, MASM_CONST, 0},
    {".STACK", "", directive_masm_structure, MASM_STACK, 0},
    {".STARTUP", "", directive_masm_structure, MASM_STARTUP, 0},
    {".EXIT", "", directive_masm_structure, MASM_EXIT, 0},
    {".8086", "", directive_masm_structure, MASM_CPU_8086, 0},
    {".186", "", directive_masm_structure, MASM_CPU_LATER, 0},
    {".286", "", directive_masm_structure, MASM_CPU_LATER, 0},
    {"%OUT", "", directive_masm_structure, MASM_LISTING, 0},
    {".ERR", "", directive_forced_error, FORCED_ALWAYS, 0},
    {".ERRE", "", directive_forced_error, FORCED_IF_ZERO, 0},
    {".ERRNZ", "", directive_forced_error, FORCED_IF_NOT_ZERO, 0},
    {"%ERROR", "", directive_forced_error, FORCED_ALWAYS, 0},
    {"=", "", directive_assign, 0, 0},
};
constexpr int MNEMONIC_COUNT = int(sizeof mnemonic_table / sizeof mnemonic_table[0]);
// The rows the trie holds: all but the last seventeen, whose words do not
// begin with a letter. The reserved words hold all but `=`.
constexpr int LETTER_ROWS = MNEMONIC_COUNT - 17;
constexpr int RESERVED_ROWS = MNEMONIC_COUNT - 1;

// Handlers that answer ERR_MISSING_OPERAND, and touch nothing else, until
// the operands are read: the driver may read the operands before calling them.
constexpr MnemonicHandler operands_first_handlers[] = {
    alu_group, test_instruction,
    mov_instruction, xchg_instruction, load_address, push_instruction, pop_instruction, in_instruction, out_instruction,
    short_jump, jmp_instruction, call_instruction, int_instruction,
    inc_dec, unary_group, encode_shift,
    seg_prefix, esc_instruction,
    directive_ds, directive_equ, directive_org, directive_assign,
};

// The directives act on the assembly itself, not only on the image.
constexpr MnemonicHandler directive_handlers[] = {
    directive_db, directive_dw, directive_dd, directive_dq, directive_ds, directive_equ, directive_org,
    directive_end, directive_proc, directive_endp, directive_include, directive_times, directive_align,
    directive_even, directive_label, directive_assign, directive_locals, directive_condition,
    directive_forced_error, directive_macro, directive_bits, directive_cpu, directive_section,
    directive_absolute, directive_reserve, directive_incbin, directive_struc, directive_istruc,
    directive_linker, directive_masm_structure,
};

// The directives that define the name written before them.
constexpr MnemonicHandler naming_handlers[] = {
    directive_db, directive_dw, directive_dd, directive_dq, directive_ds, directive_equ, directive_proc,
    directive_endp, directive_times, directive_label, directive_assign,
    directive_macro, directive_reserve, directive_incbin, directive_section, directive_masm_structure,
};

struct RowFlags {
    bool of[MNEMONIC_COUNT];
};
template <size_t N>
RowFlags build_row_flags(const MnemonicHandler (&handlers)[N]) {
    RowFlags flags{};
    for (int i = 0; i < MNEMONIC_COUNT; ++i) {
        for (MnemonicHandler handler : handlers) flags.of[i] |= mnemonic_table[i].handler == handler;
    }
    return flags;
}
// Built when the program starts: not every build may compare function
// addresses at compile time.
const RowFlags operands_first = build_row_flags(operands_first_handlers);
const RowFlags directives = build_row_flags(directive_handlers);
const RowFlags naming = build_row_flags(naming_handlers);

constexpr bool same_text(const char* a, const char* b) {
    for (; *a || *b; ++a, ++b) {
        if (*a != *b) return false;
    }
    return true;
}

// Slot numbers of a trie level: 0 for the end of the text, 1 to 26 for A to Z.
constexpr int END_OF_TEXT = 0;
constexpr int letter_slot(char c) { return c - 'A' + 1; }
constexpr int LETTERS = 26;

// Three levels indexed by the first, second and third letter (or the end of
// the text after two). The first two levels lead to a node for each pair of
// letters that begins a mnemonic (node 0 stands for all the other pairs);
// the node's cell for the third letter holds the position of the slot's
// first row in mnemonic_table plus one (0 for no slot) and the slot's number
// of rows. Small enough to stay in the processor's nearest cache.
struct TrieNode {
    uint8_t first_row[LETTERS + 1];
    uint8_t rows[LETTERS + 1];
};
constexpr int MAX_NODES = 128;
struct MnemonicTrie {
    uint8_t node[LETTERS][LETTERS];
    TrieNode nodes[MAX_NODES];
};

constexpr MnemonicTrie build_trie() {
    MnemonicTrie trie{};
    int node_count = 1;
    for (int i = 0; i < LETTER_ROWS; ++i) {
        const char* slot = mnemonic_table[i].slot;
        uint8_t& node = trie.node[letter_slot(slot[0]) - 1][letter_slot(slot[1]) - 1];
        if (node == 0) node = uint8_t(node_count++);
        int third = slot[2] ? letter_slot(slot[2]) : END_OF_TEXT;
        TrieNode& cells = trie.nodes[node];
        if (cells.rows[third]++ == 0) cells.first_row[third] = uint8_t(i + 1);
    }
    return trie;
}
constexpr MnemonicTrie mnemonic_trie = build_trie();

constexpr int count_slots() {
    int slots = 0;
    for (int i = 0; i < LETTER_ROWS; ++i) {
        if (i == 0 || !same_text(mnemonic_table[i].slot, mnemonic_table[i - 1].slot)) ++slots;
    }
    return slots;
}
static_assert(MNEMONIC_COUNT == 211, "211 accepted mnemonics and directives");
static_assert(count_slots() == 140, "in 140 trie slots, each slot's rows together");

// The reserved words (see reserved_word_table): the mnemonics are the
// rows' full spellings (a row that accepts any ending, EQU or ORG, gives its
// three letters).

// Adds a word once: DS is a directive and a register.
constexpr void add_reserved(ReservedWords& table, uint64_t word, const Mnemonic* mnemonic) {
    uint32_t slot = reserved_slot(word);
    while (table.slots[slot].word != 0 && table.slots[slot].word != word) slot = (slot + 1) % RESERVED_SLOTS;
    if (table.slots[slot].word == 0) table.slots[slot] = ReservedWord{word, mnemonic};
}

constexpr ReservedWords build_reserved_words() {
    ReservedWords table{};
    for (int i = 0; i < RESERVED_ROWS; ++i) {
        const Mnemonic& row = mnemonic_table[i];
        char word[LONGEST_RESERVED_WORD + 1] = {};
        int length = int(std::char_traits<char>::length(row.slot));
        for (int i = 0; i < length; ++i) word[i] = row.slot[i];
        for (const char* rest = row.rest ? row.rest : ""; *rest; ++rest) word[length++] = *rest;
        add_reserved(table, packed(word), &row);
    }
    for (const RegisterName& name : register_names) add_reserved(table, packed(name.text), nullptr);
    for (const char* keyword : size_keywords) add_reserved(table, packed(keyword), nullptr);
    return table;
}
}  // namespace

constinit const ReservedWords reserved_word_table = build_reserved_words();

bool takes_short_target(const Mnemonic& mnemonic) {
    return mnemonic.handler == jmp_instruction || mnemonic.handler == short_jump;
}

bool takes_far_target(const Mnemonic& mnemonic) {
    return mnemonic.handler == jmp_instruction || mnemonic.handler == call_instruction;
}

const Mnemonic* find_mnemonic(const char* text) {
    if (!is_upper(text[0]) || !is_upper(text[1])) return nullptr;
    int third = END_OF_TEXT;
    const char* rest = text + 2;
    if (*rest) {
        if (!is_upper(*rest)) return nullptr;
        third = letter_slot(*rest++);
    }
    const TrieNode& node = mnemonic_trie.nodes[mnemonic_trie.node[letter_slot(text[0]) - 1][letter_slot(text[1]) - 1]];
    const Mnemonic* row = mnemonic_table + node.first_row[third] - 1;
    for (int count = node.rows[third]; count > 0; --count, ++row) {
        if (!row->rest || same_text(row->rest, rest)) return row;
    }
    return nullptr;
}

const Mnemonic* mnemonic_rows(int* count) {
    *count = LETTER_ROWS;
    return mnemonic_table;
}

const Mnemonic* assignment_mnemonic() { return &mnemonic_table[RESERVED_ROWS]; }

bool may_be_label(const ReservedWord& word) {
    if (!word.mnemonic) return false;
    for (MnemonicHandler handler : {directive_dd, directive_dq, directive_times, directive_align, directive_even,
                                    directive_label, directive_locals, directive_bits, directive_cpu,
                                    directive_struc, directive_istruc, directive_linker, directive_masm_structure}) {
        if (word.mnemonic->handler == handler) return true;
    }
    return false;
}

bool reads_operands_first(const Mnemonic& mnemonic) { return operands_first.of[&mnemonic - mnemonic_table]; }

bool is_directive(const Mnemonic& mnemonic) { return directives.of[&mnemonic - mnemonic_table]; }

bool names_its_label(const Mnemonic& mnemonic) { return naming.of[&mnemonic - mnemonic_table]; }

int dispatch_mnemonic(Statement& s, const char* mnemonic) {
    const Mnemonic* found = find_mnemonic(mnemonic);
    return found ? found->handler(*found, s) : ERR_INVALID_OPCODE;
}

int require_two_operands(const Statement& s) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    return s.operand_count == 1 ? ERR_SYNTAX : 0;
}

int require_one_operand(const Statement& s) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    return s.operand_count == 2 ? ERR_EXTRA_OPERAND : 0;
}

}  // namespace vexa
