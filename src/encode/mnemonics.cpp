// Every accepted mnemonic, the three-level letter trie that selects one, and
// the table of reserved words.
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

// The accepted mnemonics, grouped by trie slot: the two or three letters the
// trie selects, the ending its handler accepts, the handler, the opcode and
// the ModRM /digit (or the second byte of a fixed encoding), both read from
// the table of forms. Rows of one slot stand together. Handlers of
// instructions with several forms (MOV, JMP...) take their opcodes from the
// table in their family's file and take 0 here.
constexpr Mnemonic mnemonic_table[] = {
    // slot  rest   handler              opcode extension
    {"AAA", "", fixed_encoding, opcode_of("AAA"), 0},
    {"AAD", "", ascii_adjust, opcode_of("AAD"), form_of("AAD").second_byte},
    {"AAM", "", ascii_adjust, opcode_of("AAM"), form_of("AAM").second_byte},
    {"AAS", "", fixed_encoding, opcode_of("AAS"), 0},
    {"ABS", "OLUTE", directive_absolute, 0, 0},
    {"ADC", "", alu_group, opcode_of("ADC r/m8,r8"), digit_of("ADC r/m8,imm8")},
    {"ADD", "", alu_group, opcode_of("ADD r/m8,r8"), 0},
    {"ALI", "GN", directive_align, 0, 0},
    {"AND", "", alu_group, opcode_of("AND r/m8,r8"), digit_of("AND r/m8,imm8")},
    {"ASS", "UME", directive_masm_structure, MASM_ASSUME, 0},
    {"AT", "", directive_times, INSTANCE_FIELD, 0},
    {"BIT", "S", directive_bits, BITS_WIDTH, 0},
    {"BOU", "ND", bound_instruction, opcode_of("BOUND r16,m16&16"), 0},
    {"CAL", "L", call_instruction, 0, 0},
    {"CBW", "", fixed_encoding, opcode_of("CBW"), 0},
    {"CLC", "", fixed_encoding, opcode_of("CLC"), 0},
    {"CLD", "", fixed_encoding, opcode_of("CLD"), 0},
    {"CLI", "", fixed_encoding, opcode_of("CLI"), 0},
    {"CMC", "", fixed_encoding, opcode_of("CMC"), 0},
    {"CMP", "", alu_group, opcode_of("CMP r/m8,r8"), digit_of("CMP r/m8,imm8")},
    {"CMP", "S", string_operands, opcode_of("CMPS m8,m8"), 0},
    {"CMP", "SB", string_suffixed, opcode_of("CMPSB"), 0},
    {"CMP", "SW", string_suffixed, opcode_of("CMPSW"), 0},
    {"CPU", "", directive_cpu, 0, 0},
    {"CWD", "", fixed_encoding, opcode_of("CWD"), 0},
    {"DAA", "", fixed_encoding, opcode_of("DAA"), 0},
    {"DAS", "", fixed_encoding, opcode_of("DAS"), 0},
    {"DB", "", directive_db, 0, 0},
    {"DD", "", directive_dd, 0, 0},
    {"DEC", "", inc_dec, opcode_of("DEC r/m8"), digit_of("DEC r/m8")},
    {"DIV", "", unary_group, opcode_of("DIV r/m8"), digit_of("DIV r/m8")},
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
    {"ENT", "ER", enter_instruction, opcode_of("ENTER imm16,imm8"), 0},
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
    {"HLT", "", fixed_encoding, opcode_of("HLT"), 0},
    {"IDI", "V", unary_group, opcode_of("IDIV r/m8"), digit_of("IDIV r/m8")},
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
    {"IMU", "L", imul_instruction, opcode_of("IMUL r/m8"), digit_of("IMUL r/m8")},
    {"IN", "", in_instruction, opcode_of("IN AL,imm8"), 0},
    {"INC", "", inc_dec, opcode_of("INC r/m8"), 0},
    {"INC", "LUDE", directive_include, 0, 0},
    {"INC", "BIN", directive_incbin, 0, 0},
    {"INS", "", string_operands, opcode_of("INS m8,DX"), 0},
    {"INS", "B", string_suffixed, opcode_of("INSB"), 0},
    {"INS", "W", string_suffixed, opcode_of("INSW"), 0},
    {"INT", "", int_instruction, 0, 0},
    {"INT", "O", fixed_encoding_unless_operands, opcode_of("INTO"), 0},
    {"INT", "3", nasm_fixed_encoding, opcode_of("INT3"), 0},
    {"IRE", "T", fixed_encoding_unless_operands, opcode_of("IRET"), 0},
    {"IRP", "", directive_macro, MW_IRP, 0},
    {"IRP", "C", directive_macro, MW_IRPC, 0},
    {"IST", "RUC", directive_istruc, INSTANCE_BEGIN, 0},
    {"JA", "", short_jump, opcode_of("JA rel8"), 0},
    {"JAE", "", short_jump, opcode_of("JAE rel8"), 0},
    {"JB", "", short_jump, opcode_of("JB rel8"), 0},
    {"JBE", "", short_jump, opcode_of("JBE rel8"), 0},
    {"JC", "", short_jump, opcode_of("JC rel8"), 0},
    {"JCX", "Z", short_jump, opcode_of("JCXZ rel8"), 0},
    {"JE", "", short_jump, opcode_of("JE rel8"), 0},
    {"JG", "", short_jump, opcode_of("JG rel8"), 0},
    {"JGE", "", short_jump, opcode_of("JGE rel8"), 0},
    {"JL", "", short_jump, opcode_of("JL rel8"), 0},
    {"JLE", "", short_jump, opcode_of("JLE rel8"), 0},
    {"JMP", "", jmp_instruction, 0, 0},
    {"JUM", "PS", directive_masm_structure, MASM_JUMPS, 0},
    {"JNA", "", short_jump, opcode_of("JNA rel8"), 0},
    {"JNA", "E", short_jump, opcode_of("JNAE rel8"), 0},
    {"JNB", "", short_jump, opcode_of("JNB rel8"), 0},
    {"JNB", "E", short_jump, opcode_of("JNBE rel8"), 0},
    {"JNC", "", short_jump, opcode_of("JNC rel8"), 0},
    {"JNE", "", short_jump, opcode_of("JNE rel8"), 0},
    {"JNG", "", short_jump, opcode_of("JNG rel8"), 0},
    {"JNG", "E", short_jump, opcode_of("JNGE rel8"), 0},
    {"JNL", "", short_jump, opcode_of("JNL rel8"), 0},
    {"JNL", "E", short_jump, opcode_of("JNLE rel8"), 0},
    {"JNO", "", short_jump, opcode_of("JNO rel8"), 0},
    {"JNP", "", short_jump, opcode_of("JNP rel8"), 0},
    {"JNS", "", short_jump, opcode_of("JNS rel8"), 0},
    {"JNZ", "", short_jump, opcode_of("JNZ rel8"), 0},
    {"JO", "", short_jump, opcode_of("JO rel8"), 0},
    {"JP", "", short_jump, opcode_of("JP rel8"), 0},
    {"JPE", "", short_jump, opcode_of("JPE rel8"), 0},
    {"JPO", "", short_jump, opcode_of("JPO rel8"), 0},
    {"JS", "", short_jump, opcode_of("JS rel8"), 0},
    {"JZ", "", short_jump, opcode_of("JZ rel8"), 0},
    {"LAB", "EL", directive_label, 0, 0},
    {"LAH", "F", fixed_encoding, opcode_of("LAHF"), 0},
    {"LDS", "", load_address, opcode_of("LDS r16,m16:16"), 0},
    {"LEA", "", load_address, opcode_of("LEA r16,m"), 0},
    {"LEA", "VE", fixed_encoding_186, opcode_of("LEAVE"), 0},
    {"LES", "", load_address, opcode_of("LES r16,m16:16"), 0},
    {"LOC", "K", prefix_statement, opcode_of("LOCK"), 0},
    {"LOC", "ALS", directive_locals, 0, 0},
    {"LOC", "AL", directive_macro, MW_LOCAL, 0},
    {"LOD", "S", string_operands, opcode_of("LODS m8"), 0},
    {"LOD", "SB", string_suffixed, opcode_of("LODSB"), 0},
    {"LOD", "SW", string_suffixed, opcode_of("LODSW"), 0},
    {"LOO", "P", short_jump, opcode_of("LOOP rel8"), 0},
    {"LOO", "PE", short_jump, opcode_of("LOOPE rel8"), 0},
    {"LOO", "PZ", short_jump, opcode_of("LOOPZ rel8"), 0},
    {"LOO", "PNE", short_jump, opcode_of("LOOPNE rel8"), 0},
    {"LOO", "PNZ", short_jump, opcode_of("LOOPNZ rel8"), 0},
    {"MAC", "RO", directive_macro, MW_MACRO, 0},
    {"MOV", "", mov_instruction, 0, 0},
    {"MOV", "S", string_operands, opcode_of("MOVS m8,m8"), 0},
    {"MOV", "SB", string_suffixed, opcode_of("MOVSB"), 0},
    {"MOV", "SW", string_suffixed, opcode_of("MOVSW"), 0},
    {"MUL", "", unary_group, opcode_of("MUL r/m8"), digit_of("MUL r/m8")},
    {"NAM", "E", directive_masm_structure, MASM_LISTING, 0},
    {"NEG", "", unary_group, opcode_of("NEG r/m8"), digit_of("NEG r/m8")},
    {"NOP", "", fixed_encoding, opcode_of("NOP"), 0},
    {"NOT", "", unary_group, opcode_of("NOT r/m8"), digit_of("NOT r/m8")},
    {"OR", "", alu_group, opcode_of("OR r/m8,r8"), digit_of("OR r/m8,imm8")},
    {"ORG", nullptr, directive_org, 0, 0},
    {"OUT", "", out_instruction, opcode_of("OUT imm8,AL"), 0},
    {"OUT", "S", string_operands, opcode_of("OUTS DX,m8"), 0},
    {"OUT", "SB", string_suffixed, opcode_of("OUTSB"), 0},
    {"OUT", "SW", string_suffixed, opcode_of("OUTSW"), 0},
    {"PAG", "E", directive_masm_structure, MASM_LISTING, 0},
    {"POP", "", pop_instruction, 0, 0},
    {"POP", "F", fixed_encoding_unless_operands, opcode_of("POPF"), 0},
    {"POP", "A", fixed_encoding_186, opcode_of("POPA"), 0},
    {"PRO", "C", directive_proc, 0, 0},
    {"PUR", "GE", directive_macro, MW_PURGE, 0},
    {"PUS", "H", push_instruction, 0, 0},
    {"PUS", "HF", fixed_encoding_unless_operands, opcode_of("PUSHF"), 0},
    {"PUS", "HA", fixed_encoding_186, opcode_of("PUSHA"), 0},
    {"RCL", "", encode_shift, opcode_of("RCL r/m8,1"), digit_of("RCL r/m8,1")},
    {"RCR", "", encode_shift, opcode_of("RCR r/m8,1"), digit_of("RCR r/m8,1")},
    {"REP", "T", directive_macro, MW_REPT, 0},
    {"REP", "", prefix_statement, opcode_of("REP"), 0},
    {"REP", "E", prefix_statement, opcode_of("REPE"), 0},
    {"REP", "Z", prefix_statement, opcode_of("REPZ"), 0},
    {"REP", "NE", prefix_statement, opcode_of("REPNE"), 0},
    {"REP", "NZ", prefix_statement, opcode_of("REPNZ"), 0},
    {"RES", "B", directive_reserve, 0, 1},
    {"RES", "W", directive_reserve, 0, 2},
    {"RES", "D", directive_reserve, 0, 4},
    {"RES", "Q", directive_reserve, 0, 8},
    {"RET", "", ret_instruction, opcode_of("RET"), 0},
    {"RET", "N", ret_instruction, opcode_of("RETN"), 0},
    {"RET", "F", ret_instruction, opcode_of("RETF"), 0},
    {"ROL", "", encode_shift, opcode_of("ROL r/m8,1"), 0},
    {"ROR", "", encode_shift, opcode_of("ROR r/m8,1"), digit_of("ROR r/m8,1")},
    {"SAH", "F", fixed_encoding, opcode_of("SAHF"), 0},
    {"SAL", "", encode_shift, opcode_of("SAL r/m8,1"), digit_of("SAL r/m8,1")},
    {"SAR", "", encode_shift, opcode_of("SAR r/m8,1"), digit_of("SAR r/m8,1")},
    {"SBB", "", alu_group, opcode_of("SBB r/m8,r8"), digit_of("SBB r/m8,imm8")},
    {"SCA", "S", string_operands, opcode_of("SCAS m8"), 0},
    {"SCA", "SB", string_suffixed, opcode_of("SCASB"), 0},
    {"SCA", "SW", string_suffixed, opcode_of("SCASW"), 0},
    {"SEC", "TION", directive_section, 0, 0},
    {"SEG", "", seg_prefix, opcode_of("SEG ES"), 0},
    {"SEG", "MENT", directive_section, SEGMENT_WORD, 0},
    {"SHL", "", encode_shift, opcode_of("SHL r/m8,1"), digit_of("SHL r/m8,1")},
    {"SHR", "", encode_shift, opcode_of("SHR r/m8,1"), digit_of("SHR r/m8,1")},
    {"STC", "", fixed_encoding, opcode_of("STC"), 0},
    {"STD", "", fixed_encoding, opcode_of("STD"), 0},
    {"STI", "", fixed_encoding, opcode_of("STI"), 0},
    {"STO", "S", string_operands, opcode_of("STOS m8"), 0},
    {"STO", "SB", string_suffixed, opcode_of("STOSB"), 0},
    {"STO", "SW", string_suffixed, opcode_of("STOSW"), 0},
    {"STR", "UC", directive_struc, STRUCTURE_BEGIN, 0},
    {"SUB", "", alu_group, opcode_of("SUB r/m8,r8"), digit_of("SUB r/m8,imm8")},
    {"SUB", "TTL", directive_masm_structure, MASM_LISTING, 0},
    {"TES", "T", test_instruction, 0, 0},
    {"TIT", "LE", directive_masm_structure, MASM_LISTING, 0},
    {"TIM", "ES", directive_times, 0, 0},
    {"USE", "16", directive_bits, USE16, 0},
    {"WAI", "T", fixed_encoding, opcode_of("WAIT"), 0},
    {"XCH", "G", xchg_instruction, 0, 0},
    {"XLA", "T", fixed_encoding, opcode_of("XLAT"), 0},
    {"XLA", "TB", nasm_fixed_encoding, opcode_of("XLATB"), 0},
    {"XOR", "", alu_group, opcode_of("XOR r/m8,r8"), digit_of("XOR r/m8,imm8")},
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
    {".186", "", directive_masm_structure, MASM_CPU_186, 0},
    {".286", "", directive_masm_structure, MASM_CPU_186, 0},
    {".286C", "", directive_masm_structure, MASM_CPU_186, 0},
    {".286P", "", directive_masm_structure, MASM_CPU_PROTECTED, 0},
    {"%OUT", "", directive_masm_structure, MASM_LISTING, 0},
    {".ERR", "", directive_forced_error, FORCED_ALWAYS, 0},
    {".ERRE", "", directive_forced_error, FORCED_IF_ZERO, 0},
    {".ERRNZ", "", directive_forced_error, FORCED_IF_NOT_ZERO, 0},
    {"%ERROR", "", directive_forced_error, FORCED_ALWAYS, 0},
    {"=", "", directive_assign, 0, 0},
};
constexpr int MNEMONIC_COUNT = int(sizeof mnemonic_table / sizeof mnemonic_table[0]);
// The rows the trie holds: all but the last nineteen, whose words do not
// begin with a letter. The reserved words hold all but `=`.
constexpr int LETTER_ROWS = MNEMONIC_COUNT - 19;
constexpr int RESERVED_ROWS = MNEMONIC_COUNT - 1;

// Handlers that answer ERR_MISSING_OPERAND, and touch nothing else, until
// the operands are read: the driver may read the operands before calling them.
constexpr MnemonicHandler operands_first_handlers[] = {
    alu_group, test_instruction,
    mov_instruction, xchg_instruction, load_address, push_instruction, pop_instruction, in_instruction, out_instruction,
    short_jump, jmp_instruction, call_instruction, int_instruction,
    inc_dec, unary_group, imul_instruction, encode_shift, bound_instruction, enter_instruction,
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
static_assert(MNEMONIC_COUNT == 224, "224 accepted mnemonics and directives");
static_assert(count_slots() == 143, "in 143 trie slots, each slot's rows together");

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

int require_186(Statement& s, const char* lacking, int refusal) {
    if (s.pass.cpu_186) return 0;
    s.needs_186 = lacking;
    return refusal;
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
