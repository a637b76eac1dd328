// A program's structure as NASM writes it, and the conventions a source
// chooses: BITS, CPU, SECTION, ABSOLUTE, RESB and its kin, INCBIN, STRUC
// and ISTRUC, and the layout of a program's sections in the image.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "encode/encode.h"
#include "parse/parse.h"

namespace vexa {

const char* dialect_name(Dialect dialect) {
    switch (dialect) {
        case DIALECT_NASM: return "nasm";
        case DIALECT_MASM: return "masm";
        default: return "vexa";
    }
}

void set_dialect(Assembly& assembly, Dialect dialect) {
    assembly.dialect = dialect;
    bool nasm = dialect == DIALECT_NASM;
    bool masm = dialect == DIALECT_MASM;
    bool shortest = nasm || assembly.options.optimize;
    // MASM, too, extends a conditional jump out of reach.
    assembly.conventions = Conventions{shortest, shortest || masm, nasm, masm};
}

void note_structure(Statement& s, Dialect dialect) {
    Assembly& assembly = s.assembly;
    if (assembly.options.dialect != DIALECT_AUTO || assembly.dialect_choice.line != 0 || s.pass.pass_index != 0) {
        return;
    }
    set_dialect(assembly, dialect);
    assembly.dialect_choice = Assembly::DialectChoice{s.file, s.line_number, s.mnemonic_field};
}

void explain_conventions(const Assembly& assembly, AssemblyResult& result) {
    static constexpr const char* owners[] = {"Vexa's", "NASM's", "MASM's"};
    result.dialect = assembly.dialect;
    std::string apply = std::string(owners[assembly.dialect]) + " conventions apply";
    Diagnostic::Note& note = result.conventions;
    const Assembly::DialectChoice& choice = assembly.dialect_choice;
    if (choice.line > 0) {
        note = {assembly.path_of(choice.file), choice.line, 1,
                apply + ": this " + choice.word + " chose them (--dialect=vexa keeps Vexa's)"};
    } else if (assembly.options.dialect != DIALECT_AUTO) {
        note = {"", 0, 0, apply + ": --dialect=" + dialect_name(assembly.dialect) + " chose them"};
    } else {
        note = {"", 0, 0,
                apply + ": neither --dialect nor a line of NASM's or MASM's program structure (BITS, SECTION, "
                        ".MODEL...) chose others"};
    }
    if (assembly.options.optimize && assembly.dialect != DIALECT_NASM) note.message += ", with the shortest forms (--optimize)";
}

namespace {

constexpr uint32_t DEFAULT_SECTION_ALIGN = 4;
constexpr uint32_t LARGEST_SECTION_ALIGN = 0x1000;
constexpr int32_t LARGEST_RESERVE = 0x10000;

// The word at `p` (up to a blank or the end), and where the next begins.
std::string take_word(const char*& p) {
    const char* start = p;
    while (*p && *p != ' ') ++p;
    std::string word(start, size_t(p - start));
    if (*p == ' ') ++p;
    return word;
}

// One value, the whole operand text: 0, or why not.
int read_whole_value(Statement& s, const char* p, Expression& value) {
    if (!*p) return ERR_MISSING_OPERAND;
    if (int error = parse_expression(s, &p, value)) return error;
    if (*p == ',') return ERR_EXTRA_OPERAND;
    if (*p) return ERR_SYNTAX;
    if (value.unresolved && s.pass.pass_index > 0) return ERR_SYMBOL_NOT_DEFINED;
    return 0;
}

int32_t align_up(int32_t address, uint32_t align) {
    return int32_t((uint32_t(address) + align - 1) & ~(align - 1));
}

// The sections begin with .text, which holds what comes before the first
// SECTION: at the image's origin, as far as the pass has gone.
void begin_sections(Assembly& assembly) {
    if (!assembly.sections.empty()) return;
    assembly.sections.push_back(Assembly::Section{".TEXT", 1, false, assembly.pass.image_origin, 0});
}

// The pass's counters of the sections, made when it first leaves .text.
void ensure_counters(Assembly& assembly) {
    Pass& pass = assembly.pass;
    while (pass.section_counters.size() < assembly.sections.size()) {
        pass.section_counters.push_back(assembly.sections[pass.section_counters.size()].base);
    }
}

// Leaves the section or space being assembled, keeping its counter.
void leave_space(Assembly& assembly) {
    Pass& pass = assembly.pass;
    ensure_counters(assembly);
    if (pass.section != NO_SECTION) pass.section_counters[size_t(pass.section)] = pass.location_counter;
}

void enter_section(Assembly& assembly, int section) {
    Pass& pass = assembly.pass;
    leave_space(assembly);
    pass.section = section;
    pass.location_counter = pass.section_counters[size_t(section)];
    assembly.statement.statement_address = pass.location_counter;  // listed where the section goes on
    pass.section_start = section == 0 ? pass.image_origin : assembly.sections[size_t(section)].base;
    pass.writes_nothing = assembly.sections[size_t(section)].nobits;
}

void enter_absolute(Assembly& assembly, int32_t address) {
    Pass& pass = assembly.pass;
    leave_space(assembly);
    pass.section = NO_SECTION;
    pass.location_counter = address;
    assembly.statement.statement_address = address;
    pass.section_start = address;
    pass.writes_nothing = true;
}

// The section's attributes after its name: ALIGN=n, PROGBITS, NOBITS.
int read_section_attributes(const char* p, uint32_t& align, int& nobits) {
    while (*p) {
        std::string word = take_word(p);
        if (word == "PROGBITS" || word == "NOBITS") {
            nobits = word == "NOBITS";
        } else if (word.compare(0, 6, "ALIGN=") == 0) {
            char* end;
            unsigned long value = std::strtoul(word.c_str() + 6, &end, 0);
            if (*end || value == 0 || value > LARGEST_SECTION_ALIGN || (value & (value - 1))) return ERR_INVALID_OPERAND;
            align = uint32_t(value);
        } else {
            return ERR_INVALID_OPERAND;  // START=, VSTART=, FOLLOWS=...: no such layout here
        }
    }
    return 0;
}

// A name defined by a directive rather than by its line's label (STRUC's
// name, its _SIZE), as a label on the line would be.
bool define_name(Statement& s, const std::string& name, int32_t value, uint8_t kind) {
    if (name.size() > size_t(SYMBOL_NAME_LIMIT)) return true;
    std::memcpy(s.label_field, name.c_str(), name.size() + 1);
    s.label_length = int(name.size());
    bool defined = define_label(s, value, kind);
    s.label_field[0] = 0;
    s.label_length = 0;
    return defined;
}

}  // namespace

// BITS 16 and USE16: the 8086's only width.
int directive_bits(const Mnemonic& mnemonic, Statement& s) {
    note_structure(s, DIALECT_NASM);
    if (mnemonic.opcode == USE16) return s.operand_text[0] ? int(ERR_EXTRA_OPERAND) : int(STMT_NO_EFFECT);
    Expression width;
    if (int error = read_whole_value(s, s.operand_text, width)) return error;
    return width.value == 16 ? int(STMT_NO_EFFECT) : int(ERR_INVALID_OPERAND);
}

int select_processor(Statement& s, bool with_186) {
    s.pass.cpu_186 = with_186;
    s.assembly.result.cpu_186 = s.assembly.result.cpu_186 || with_186;
    return STMT_NO_EFFECT;
}

// CPU 8086, CPU 186: the instructions assembled from here on. The 80286's
// beyond the 80186's are protected mode's: CPU 286 is CPU 186.
int directive_cpu(const Mnemonic&, Statement& s) {
    note_structure(s, DIALECT_NASM);
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    std::string name = take_word(p);
    if (*p) return ERR_EXTRA_OPERAND;
    if (name == "8086" || name == "8088") return select_processor(s, false);
    if (name == "186" || name == "80186" || name == "286" || name == "80286") return select_processor(s, true);
    return ERR_INVALID_OPERAND;
}

// SECTION name [ALIGN=n] [PROGBITS|NOBITS], and SEGMENT as its synonym.
// NAME SEGMENT is MASM's segment.
int directive_section(const Mnemonic& mnemonic, Statement& s) {
    if (mnemonic.opcode == SEGMENT_WORD && s.label_length > 0 && !s.label_colon) return masm_segment(s);
    note_structure(s, DIALECT_NASM);
    Assembly& assembly = s.assembly;
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    std::string name = take_word(p);
    for (char c : name) {
        if (!is_name_char(c)) return ERR_SYNTAX;
    }
    bool attributes = *p != 0;
    bool text = name == ".TEXT";
    uint32_t align = text ? 1 : DEFAULT_SECTION_ALIGN;
    int nobits = name == ".BSS";
    if (int error = read_section_attributes(p, align, nobits)) return error;
    begin_sections(assembly);
    int found = 0;
    while (found < int(assembly.sections.size()) && assembly.sections[size_t(found)].name != name) ++found;
    if (found == int(assembly.sections.size())) {
        if (s.pass.pass_index > 0) return ERR_SYNTAX;  // not met in the first pass: cannot be
        assembly.sections.push_back(Assembly::Section{name, align, nobits != 0, 0, 0});
    } else if (!text) {
        // Attributes written again take effect from the first pass on.
        Assembly::Section& section = assembly.sections[size_t(found)];
        if (s.pass.pass_index == 0 && attributes) {
            section.align = align;
            section.nobits = nobits != 0;
        }
    }
    enter_section(assembly, found);
    return STMT_NO_EFFECT;
}

// ABSOLUTE address: labels name addresses there, RESB reserves; nothing
// is written until the next SECTION.
int directive_absolute(const Mnemonic&, Statement& s) {
    note_structure(s, DIALECT_NASM);
    Expression address;
    if (int error = read_whole_value(s, s.operand_text, address)) return error;
    begin_sections(s.assembly);
    enter_absolute(s.assembly, address.unresolved ? 0 : address.value);
    if (address.unresolved) s.first_pass_guess = true;
    return STMT_NO_EFFECT;
}


// RESB, RESW, RESD, RESQ count: count items of 1, 2, 4 or 8 bytes that
// read as zero, in the image or in a space that writes nothing.
int directive_reserve(const Mnemonic& mnemonic, Statement& s) {
    Expression count;
    if (int error = read_whole_value(s, s.operand_text, count)) return error;
    if (count.unresolved) {
        s.first_pass_guess = true;
        count.value = 0;
    }
    guess_negative_count(s, count.value);
    int64_t bytes = int64_t(count.value) * mnemonic.extension;
    if (count.value < 0 || bytes > LARGEST_RESERVE) return ERR_INVALID_NUMBER;
    s.dst.value = int32_t(bytes);
    return STMT_RESERVE;
}

// INCBIN "file"[,skip[,count]]: the file's bytes, found as INCLUDE finds a
// file, from `skip` on, `count` of them at most.
int directive_incbin(const Mnemonic&, Statement& s) {
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    if (!is_quote(*p) && *p != '`') return ERR_SYNTAX;
    const char* close = closing_quote(p, s.operand_text + s.operand_length);
    if (!close || close == p + 1) return ERR_INVALID_STRING;
    std::string name(p + 1, size_t(close - p - 1));
    p = close + 1;
    int32_t limits[2] = {0, -1};
    for (int32_t& limit : limits) {
        if (*p != ',') break;
        ++p;
        Expression value;
        if (int error = parse_expression(s, &p, value)) return error;
        if (value.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_NUMBER;
        if (value.value < 0) return ERR_INVALID_NUMBER;
        limit = value.value;
    }
    if (*p == ',') return ERR_EXTRA_OPERAND;
    if (*p) return ERR_SYNTAX;
    int text = find_binary_file(s, name);
    if (text < 0) return ERR_INCLUDE_NOT_FOUND;
    const SourceText& file = *s.assembly.texts[size_t(text)].text;
    int64_t skip = limits[0] < int64_t(file.size()) ? limits[0] : int64_t(file.size());
    int64_t count = int64_t(file.size()) - skip;
    if (limits[1] >= 0 && limits[1] < count) count = limits[1];
    if (count > LARGEST_RESERVE) return ERR_ADDRESS_OVERFLOW;
    s.included_file = uint16_t(text);
    s.src.value = int32_t(skip);
    s.dst.value = int32_t(count);
    // The listing shows the bytes, as far as a statement's data holds them.
    s.data_len = uint16_t(count < DATA_CAPACITY ? count : DATA_CAPACITY);
    std::memcpy(s.data_buf, file.begin() + skip, s.data_len);
    return STMT_INCBIN;
}

int emit_included_bytes(Assembly& assembly, const Statement& s) {
    const uint8_t* bytes = assembly.texts[s.included_file].text->begin() + s.src.value;
    // In blocks of a statement's data, through the path data takes.
    for (int32_t done = 0; done < s.dst.value; done += DATA_CAPACITY) {
        int32_t block = std::min<int32_t>(s.dst.value - done, DATA_CAPACITY);
        if (emit_repeated(assembly, bytes + done, uint32_t(block), 1) < 0) return -1;
    }
    return 0;
}

// STRUC name: the fields after it, up to ENDSTRUC, are offsets from 0
// (.FIELD is NAME.FIELD); ENDSTRUC defines NAME_SIZE and returns to the
// section STRUC interrupted.
int directive_struc(const Mnemonic& mnemonic, Statement& s) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    // NAME STRUC is MASM's.
    if (mnemonic.opcode == STRUCTURE_BEGIN && s.label_length > 0 && !s.label_colon) return masm_structure_begin(s);
    if (mnemonic.opcode == STRUCTURE_END) {
        if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
        if (pass.structure.empty()) return ERR_SYNTAX;
        std::string name = pass.structure;
        pass.structure.clear();
        if (!define_name(s, name + "_SIZE", pass.location_counter - pass.section_start, SYMBOL_EQU)) return STMT_NO_EFFECT;
        if (pass.structure_interrupted == NO_SECTION) {
            enter_absolute(assembly, pass.structure_resumes_at);
        } else {
            enter_section(assembly, pass.structure_interrupted);
        }
        return STMT_NO_EFFECT;
    }
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    std::string name = take_word(p);
    if (*p || !is_name_char(name[0]) || is_digit(name[0]) || name.size() > size_t(SYMBOL_NAME_LIMIT)) return ERR_SYNTAX;
    if (!pass.structure.empty()) return ERR_SYNTAX;  // one STRUC at a time, as NASM has it
    begin_sections(assembly);
    pass.structure_interrupted = pass.section;
    pass.structure_resumes_at = pass.location_counter;
    enter_absolute(assembly, 0);
    pass.structure = name;
    // The structure's name owns the local labels of its fields.
    if (!define_name(s, name, 0, SYMBOL_LABEL)) return STMT_NO_EFFECT;
    std::memcpy(pass.label_owner, name.c_str(), name.size() + 1);
    pass.owner_length = int(name.size());
    return STMT_NO_EFFECT;
}

// ISTRUC name ... IEND: an instance of a structure, its fields' data (AT
// lines) at their offsets, zeros between them and up to NAME_SIZE.
int directive_istruc(const Mnemonic& mnemonic, Statement& s) {
    Pass& pass = s.pass;
    const char* p = s.operand_text;
    if (mnemonic.opcode == INSTANCE_BEGIN) {
        if (!*p) return ERR_MISSING_OPERAND;
        std::string name = take_word(p);
        if (*p) return ERR_SYNTAX;
        if (!pass.instance.empty()) return ERR_SYNTAX;
        pass.instance = name;
        pass.instance_start = pass.location_counter;
        return STMT_NO_EFFECT;
    }
    if (*p) return ERR_EXTRA_OPERAND;
    if (pass.instance.empty()) return ERR_SYNTAX;
    std::string size_name = pass.instance + "_SIZE";
    pass.instance.clear();
    int32_t size = 0;
    if (s.assembly.symbols.find(size_name.c_str(), int(size_name.size()), &size) < 0) return ERR_SYMBOL_NOT_DEFINED;
    int32_t padding = size - (pass.location_counter - pass.instance_start);
    if (padding < 0) return ERR_ORG_ASCENDED;
    s.dst.value = padding;
    return STMT_RESERVE;
}

int32_t field_padding(const Statement& s, int32_t offset) {
    const Pass& pass = s.pass;
    return pass.instance.empty() ? -1 : offset - (pass.location_counter - pass.instance_start);
}

bool unbracket_directive(Statement& s) {
    static constexpr const char* bracketed[] = {"BITS", "USE16", "SECTION", "SEGMENT", "ORG", "CPU", "ABSOLUTE",
                                                "GLOBAL", "EXTERN"};
    char* line = s.line_buffer;
    char* end = line + s.statement_text_length;
    char* open = line;
    while (open < end && is_blank(*open)) ++open;
    if (open == end || *open != '[') return false;
    char* close = open + 1;
    while (close < end && *close != ']' && *close != ';' && !is_quote(*close)) ++close;
    if (close == end || *close != ']') return false;
    for (char* after = close + 1; after < end && *after != ';'; ++after) {
        if (!is_blank(*after)) return false;
    }
    char* word = open + 1;
    while (word < close && is_blank(*word)) ++word;
    char* word_end = word;
    while (word_end < close && is_name_char(*word_end)) ++word_end;
    std::string name(word, size_t(word_end - word));
    for (char& c : name) c = to_upper(c);
    for (const char* directive : bracketed) {
        if (name == directive) {
            *open = ' ';
            *close = ' ';
            return true;
        }
    }
    return false;
}

bool lay_out_sections(Assembly& assembly) {
    Pass& pass = assembly.pass;
    if (assembly.sections.empty()) return false;
    leave_space(assembly);
    std::vector<Assembly::Section>& sections = assembly.sections;
    sections[0].base = pass.image_origin;
    for (size_t i = 0; i < sections.size(); ++i) {
        sections[i].size = pass.section_counters[i] - (i == 0 ? pass.image_origin : sections[i].base);
    }
    // .text first, then the sections with bytes, then those without, each
    // at its alignment; an empty section takes no room.
    bool moved = false;
    int32_t at = sections[0].base + sections[0].size;
    for (int nobits = 0; nobits < 2; ++nobits) {
        for (size_t i = 1; i < sections.size(); ++i) {
            Assembly::Section& section = sections[i];
            if (section.nobits != (nobits != 0)) continue;
            int32_t base = section.size > 0 ? align_up(at, section.align) : at;
            moved |= base != section.base;
            section.base = base;
            at = base + section.size;
        }
    }
    return moved;
}

int64_t image_end(const Assembly& assembly) {
    const Pass& pass = assembly.pass;
    if (assembly.sections.empty()) return pass.location_counter;
    int64_t end = 0;
    for (size_t i = 0; i < assembly.sections.size(); ++i) {
        const Assembly::Section& section = assembly.sections[i];
        if (!section.nobits && section.size > 0) end = std::max<int64_t>(end, int64_t(section.base) + section.size);
    }
    return end;
}

}  // namespace vexa
