// A program's structure as MASM writes it: NAME SEGMENT ... NAME ENDS,
// ASSUME, GROUP, .MODEL and the simplified segments, .STARTUP and .EXIT;
// the layout of the segments in the image, and the MZ .EXE it makes.
#include <algorithm>
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "encode/encode.h"
#include "isa/forms.h"
#include "parse/parse.h"

namespace vexa {

namespace {

constexpr int32_t UNENTERED = INT32_MIN;
constexpr uint32_t PARAGRAPH = 16;
constexpr int32_t DEFAULT_STACK_BYTES = 1024;
constexpr int64_t PSP_BYTES = 0x100;
// The header counts its relocations in a word.
constexpr size_t MAX_RELOCATIONS = 0xFFFF;

// The word at `p` (up to a blank, a comma, a quote or the end), and where
// the next begins.
std::string take_word(const char*& p) {
    const char* start = p;
    while (*p && *p != ' ' && *p != ',' && !is_quote(*p)) ++p;
    std::string word(start, size_t(p - start));
    if (*p == ' ') ++p;
    return word;
}

int32_t align_up(int32_t address, uint32_t align) {
    return int32_t((uint32_t(address) + align - 1) & ~(align - 1));
}

bool is_group_frame(int16_t frame) { return frame >= GROUP_FRAME; }

// A frame the assembly has: a segment's or a group's.
bool is_frame(const Assembly& assembly, int16_t frame) {
    if (is_group_frame(frame)) return size_t(frame - GROUP_FRAME) < assembly.groups.size();
    return frame >= 0 && size_t(frame) < assembly.segments.size();
}

// The first byte of a frame in the image.
int32_t frame_base(const Assembly& assembly, int16_t frame) {
    if (!is_frame(assembly, frame)) return 0;
    if (is_group_frame(frame)) return assembly.groups[size_t(frame - GROUP_FRAME)].base;
    return assembly.segments[size_t(frame)].base & ~int32_t(PARAGRAPH - 1);
}

// The offset a segment's first byte has in its frame.
int32_t start_offset(const Assembly& assembly, int segment) {
    return assembly.segments[size_t(segment)].base - frame_base(assembly, frame_of_segment(assembly, segment));
}

int find_segment(const Assembly& assembly, const std::string& name) {
    for (size_t i = 0; i < assembly.segments.size(); ++i) {
        if (assembly.segments[i].name == name) return int(i);
    }
    return -1;
}

int find_group(const Assembly& assembly, const std::string& name) {
    for (size_t i = 0; i < assembly.groups.size(); ++i) {
        if (assembly.groups[i].name == name) return int(i);
    }
    return -1;
}

// A name for a segment or group, in the first pass: its value is its
// frame's paragraph, set by the layout. -1 when the name is taken.
int add_frame_name(Assembly& assembly, const std::string& name, uint8_t kind, int16_t frame) {
    SymbolTable& symbols = assembly.symbols;
    if (symbols.add(name.c_str(), int(name.size()), 0, false, kind) != SYMTAB_ADDED) return -1;
    int position = symbols.last_added();
    assembly.symbol_segments[position] = frame;
    assembly.masm_names = true;
    return position;
}

// The segment named `name`, made with `segment`'s attributes when the
// first pass meets it first (a GROUP or ASSUME may name it before its
// SEGMENT does); -1 when it cannot be.
int declare_segment(Assembly& assembly, const std::string& name, const Assembly::Segment& attributes) {
    int found = find_segment(assembly, name);
    if (found >= 0 || assembly.pass.pass_index > 0) return found;
    if (assembly.segments.size() >= size_t(GROUP_FRAME)) return -1;
    int16_t index = int16_t(assembly.segments.size());
    Assembly::Segment segment = attributes;
    segment.name = name;
    if (add_frame_name(assembly, name, SYMBOL_SEGMENT_NAME, index) < 0) return -1;
    assembly.segments.push_back(segment);
    return index;
}

int declare_group(Assembly& assembly, const std::string& name) {
    int found = find_group(assembly, name);
    if (found >= 0 || assembly.pass.pass_index > 0 || assembly.groups.size() >= size_t(GROUP_FRAME)) return found;
    int16_t frame = int16_t(GROUP_FRAME + assembly.groups.size());
    if (add_frame_name(assembly, name, SYMBOL_GROUP_NAME, frame) < 0) return -1;
    assembly.groups.push_back(Assembly::Group{name, 0});
    return int(assembly.groups.size() - 1);
}

void ensure_counters(Assembly& assembly) {
    Pass& pass = assembly.pass;
    pass.segment_counters.resize(assembly.segments.size(), UNENTERED);
    pass.segment_reached.resize(assembly.segments.size(), UNENTERED);
}

// Leaves the segment being assembled, keeping its counter.
void leave_segment(Assembly& assembly) {
    Pass& pass = assembly.pass;
    ensure_counters(assembly);
    if (pass.segment == NO_SECTION) return;
    size_t index = size_t(pass.segment);
    pass.segment_counters[index] = pass.location_counter;
    pass.segment_reached[index] = std::max(pass.segment_reached[index], pass.location_counter);
}

void enter_segment(Assembly& assembly, int segment) {
    Pass& pass = assembly.pass;
    leave_segment(assembly);
    int32_t& counter = pass.segment_counters[size_t(segment)];
    if (counter == UNENTERED) counter = start_offset(assembly, segment);
    pass.segment = segment;
    pass.location_counter = counter;
    pass.section_start = start_offset(assembly, segment);
    pass.writes_nothing = assembly.segments[size_t(segment)].at >= 0;
    assembly.statement.statement_address = counter;
    assembly.image.set_frame(frame_base(assembly, frame_of_segment(assembly, segment)));
    assembly.listing.name_segment(assembly.segments[size_t(segment)].name);
}

// Outside every segment nothing is written: the bytes of a program of
// segments stand in one.
void leave_all_segments(Assembly& assembly) {
    Pass& pass = assembly.pass;
    leave_segment(assembly);
    pass.segment = NO_SECTION;
    pass.writes_nothing = true;
    pass.open_segments.clear();
    assembly.listing.name_segment("");
}

// The attributes after SEGMENT: BYTE WORD DWORD PARA PAGE, PUBLIC PRIVATE
// COMMON MEMORY STACK, AT paragraph, USE16, 'class'.
int read_segment_attributes(Statement& s, const char* p, Assembly::Segment& segment) {
    // Each kind of attribute once: its alignment, its combination, its class.
    bool aligned = false, combined = false, classed = false;
    auto once = [](bool& seen) {
        bool first = !seen;
        seen = true;
        return first;
    };
    while (*p) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        if (is_quote(*p)) {
            const char* close = closing_quote(p, s.operand_text + s.operand_length);
            if (!close) return ERR_INVALID_STRING;
            if (!once(classed)) return ERR_INVALID_OPERAND;
            segment.class_name.assign(p + 1, size_t(close - p - 1));
            for (char& c : segment.class_name) c = to_upper(c);
            p = close + 1;
            continue;
        }
        if (*p == SIZE_MARK) {
            // BYTE, WORD and DWORD came as size marks.
            segment.align = p[1] == 'B' ? 1 : p[1] == 'W' ? 2 : p[1] == 'D' ? 4 : 0;
            if (segment.align == 0 || !once(aligned)) return ERR_INVALID_OPERAND;
            p += 2;
            continue;
        }
        std::string word = take_word(p);
        bool align = word == "PARA" || word == "PAGE";
        bool combine = word == "STACK" || word == "AT" || word == "PUBLIC" || word == "PRIVATE" || word == "COMMON" ||
                       word == "MEMORY";
        if ((align && !once(aligned)) || (combine && !once(combined))) return ERR_INVALID_OPERAND;
        if (word == "PARA") {
            segment.align = PARAGRAPH;
        } else if (word == "PAGE") {
            segment.align = 256;
        } else if (word == "STACK") {
            segment.stack = true;
        } else if (word == "AT") {
            Expression paragraph;
            if (int error = parse_expression(s, &p, paragraph)) return error;
            if (paragraph.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_OPERAND;
            if (paragraph.value < 0 || paragraph.value > 0xFFFF) return ERR_INVALID_NUMBER;
            segment.at = paragraph.value;
        } else if (word != "PUBLIC" && word != "PRIVATE" && word != "COMMON" && word != "MEMORY" && word != "USE16") {
            return ERR_INVALID_OPERAND;
        }
    }
    return 0;
}

// The segments of the simplified directives, and the group of .MODEL.
struct SimplifiedSegment {
    MasmWord word;
    const char* name;
    const char* class_name;
    uint32_t align;
    bool in_group;  // in DGROUP (in the tiny model every segment is)
};
constexpr SimplifiedSegment simplified_segments[] = {
    {MASM_CODE, "_TEXT", "CODE", 2, false},
    {MASM_DATA, "_DATA", "DATA", 2, true},
    {MASM_CONST, "CONST", "CONST", 2, true},
    {MASM_DATA_UNINIT, "_BSS", "BSS", 2, true},
    {MASM_STACK, "STACK", "STACK", PARAGRAPH, true},
};

int declare_simplified(Assembly& assembly, const SimplifiedSegment& simplified) {
    Assembly::Segment attributes;
    attributes.class_name = simplified.class_name;
    attributes.align = simplified.align;
    attributes.stack = simplified.word == MASM_STACK;
    int segment = declare_segment(assembly, simplified.name, attributes);
    if (segment < 0 || assembly.pass.pass_index > 0) return segment;
    if (simplified.in_group || assembly.model == MODEL_TINY) {
        assembly.segments[size_t(segment)].group = find_group(assembly, "DGROUP");
    }
    return segment;
}

// .MODEL TINY|SMALL|COMPACT|MEDIUM|LARGE|HUGE[,language]: DGROUP, @DATA, @CODE.
int model_directive(Statement& s) {
    Assembly& assembly = s.assembly;
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    std::string name = take_word(p);
    static constexpr const char* models[] = {"TINY", "SMALL", "COMPACT", "MEDIUM", "LARGE", "HUGE"};
    uint8_t model = MODEL_NONE;
    for (size_t i = 0; i < std::size(models); ++i) {
        if (name == models[i]) model = uint8_t(MODEL_TINY + i);
    }
    if (model == MODEL_NONE) return ERR_INVALID_OPERAND;
    // The language and the stack's distance change nothing here: ,C ,PASCAL, NEARSTACK.
    while (*p) {
        if (*p != ',') return ERR_EXTRA_OPERAND;
        ++p;
        if (*p == ' ') ++p;
        std::string word = take_word(p);
        if (word.empty() || is_digit(word[0])) return ERR_SYNTAX;
    }
    // One .MODEL a program, the statement the first pass met.
    if (s.pass.pass_index > 0) return s.index == assembly.model_statement ? int(STMT_NO_EFFECT) : int(ERR_MULTI_DEFINED);
    if (assembly.model != MODEL_NONE) return ERR_MULTI_DEFINED;
    int group = declare_group(assembly, "DGROUP");
    if (group < 0) return ERR_MULTI_DEFINED;  // DGROUP names something else
    assembly.model = model;
    assembly.model_statement = s.index;
    assembly.segment_order = true;
    add_frame_name(assembly, "@DATA", SYMBOL_GROUP_NAME, int16_t(GROUP_FRAME + group));
    int code = declare_simplified(assembly, simplified_segments[0]);
    if (code < 0) return ERR_MULTI_DEFINED;
    add_frame_name(assembly, "@CODE", model == MODEL_TINY ? SYMBOL_GROUP_NAME : SYMBOL_SEGMENT_NAME,
                   model == MODEL_TINY ? int16_t(GROUP_FRAME + group) : int16_t(code));
    return STMT_NO_EFFECT;
}

// What the simplified segments let the code assume: CS at the code, DS
// and SS at DGROUP.
void assume_model(Statement& s) {
    Assembly& assembly = s.assembly;
    int group = find_group(assembly, "DGROUP");
    int code = find_segment(assembly, "_TEXT");
    if (group < 0) return;
    int16_t data = int16_t(GROUP_FRAME + group);
    Pass& pass = s.pass;
    pass.assumed[1] = assembly.model == MODEL_TINY || code < 0 ? data : frame_of_segment(assembly, code);
    pass.assumed[2] = data;
    pass.assumed[3] = data;
}

// .CODE, .DATA, .DATA?, .CONST: that segment from here on.
int simplified_directive(Statement& s, MasmWord word) {
    Assembly& assembly = s.assembly;
    if (assembly.model == MODEL_NONE) return ERR_SYNTAX;  // .MODEL first
    const char* p = s.operand_text;
    // .CODE NAME: a code segment of that name (the larger models' modules).
    std::string name = word == MASM_CODE && *p ? take_word(p) : "";
    if (*p) return word == MASM_CODE && !name.empty() ? ERR_EXTRA_OPERAND : ERR_SYNTAX;
    for (char c : name) {
        if (!is_name_char(c)) return ERR_SYNTAX;
    }
    for (SimplifiedSegment simplified : simplified_segments) {
        if (simplified.word != word) continue;
        if (!name.empty()) simplified.name = name.c_str();
        int segment = declare_simplified(assembly, simplified);
        if (segment < 0) return ERR_MULTI_DEFINED;
        leave_all_segments(assembly);
        enter_segment(assembly, segment);
        assume_model(s);
        if (word == MASM_CODE && assembly.model != MODEL_TINY) s.pass.assumed[1] = frame_of_segment(assembly, segment);
        return STMT_NO_EFFECT;
    }
    return ERR_INVALID_OPCODE;
}

// .STACK [size]: that many bytes of stack, 1024 by default; the segment
// being assembled goes on after it.
int stack_directive(Statement& s) {
    Assembly& assembly = s.assembly;
    if (assembly.model == MODEL_NONE) return ERR_SYNTAX;
    int32_t bytes = DEFAULT_STACK_BYTES;
    if (s.operand_text[0]) {
        Expression size;
        const char* p = s.operand_text;
        if (int error = parse_expression(s, &p, size)) return error;
        if (*p) return ERR_SYNTAX;
        if (size.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_NUMBER;
        if (size.value <= 0 || size.value > 0xFFFF) return ERR_INVALID_NUMBER;
        bytes = size.value;
    }
    int segment = declare_simplified(assembly, simplified_segments[4]);
    if (segment < 0) return ERR_MULTI_DEFINED;
    Pass& pass = s.pass;
    int previous = pass.segment;
    std::vector<int> open = pass.open_segments;
    enter_segment(assembly, segment);
    advance_location(pass, bytes);
    leave_all_segments(assembly);
    pass.open_segments = open;
    if (previous != NO_SECTION) enter_segment(assembly, previous);
    return STMT_NO_EFFECT;
}

// The frame a name of a segment or a group stands for, from the text at
// `p`; NO_FRAME for NOTHING. `unresolved` when the first pass does not
// know it yet.
int read_frame_name(Statement& s, const char*& p, int16_t& frame, bool& unresolved) {
    unresolved = false;
    frame = NO_FRAME;
    if (std::strncmp(p, "NOTHING", 7) == 0 && !is_name_char(p[7])) {
        p += 7;
        return 0;
    }
    int position = -1;
    uint8_t kind = 0;
    int32_t value;
    if (!is_name_char(*p)) return ERR_SYNTAX;
    if (parse_symbol_ref(s, &p, &value, &kind, &position) == ERR_SYMBOL_NOT_DEFINED) {
        unresolved = true;
        return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : 0;
    }
    if (!is_frame_kind(kind)) return ERR_INVALID_OPERAND;
    frame = s.assembly.symbol_segments[position];
    return 0;
}

// ASSUME SEGREG:NAME,... and ASSUME NOTHING.
int assume_directive(Statement& s) {
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    Pass& pass = s.pass;
    if (std::strcmp(p, "NOTHING") == 0) {
        for (int16_t& assumed : pass.assumed) assumed = NO_FRAME;
        return STMT_NO_EFFECT;
    }
    while (*p) {
        uint8_t prefix = segment_override_at(p);
        if (!prefix) return ERR_INVALID_OPERAND;
        int reg = (prefix - opcode_of("SEG ES")) >> 3;  // 26H, 2EH, 36H, 3EH: ES, CS, SS, DS
        p += 3;
        if (*p == ' ') ++p;
        int16_t frame;
        bool unresolved;
        if (int error = read_frame_name(s, p, frame, unresolved)) return error;
        if (unresolved) s.first_pass_guess = true;
        pass.assumed[reg] = frame;
        if (*p == ' ') ++p;
        if (*p == ',') {
            ++p;
            if (*p == ' ') ++p;
            if (!*p) return ERR_SYNTAX;
        } else if (*p) {
            return ERR_SYNTAX;
        }
    }
    return STMT_NO_EFFECT;
}

// NAME GROUP SEGMENT,...: the segments' offsets count from the group's start.
int group_directive(Statement& s) {
    Assembly& assembly = s.assembly;
    if (!s.label_field[0] || s.label_colon) return ERR_SYNTAX;
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    int group = declare_group(assembly, std::string(s.label_field, size_t(s.label_length)));
    if (group < 0) return ERR_MULTI_DEFINED;
    while (*p) {
        std::string name = take_word(p);
        if (name.empty()) return ERR_SYNTAX;
        for (char c : name) {
            if (!is_name_char(c)) return ERR_SYNTAX;
        }
        int segment = declare_segment(assembly, name, Assembly::Segment{});
        if (segment < 0) return ERR_INVALID_OPERAND;
        Assembly::Segment& member = assembly.segments[size_t(segment)];
        if (member.group >= 0 && member.group != group) return ERR_INVALID_OPERAND;  // in two groups
        member.group = group;
        if (*p == ',') ++p;
        if (*p == ' ') ++p;
    }
    return STMT_NAMED;
}

// NAME ENDS: the segment opened last closes; the one opened before it
// goes on.
int ends_directive(Statement& s) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    if (!s.label_field[0]) return ERR_SYNTAX;
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    if (pass.masm_structure) return masm_structure_end(s);
    std::string name(s.label_field, size_t(s.label_length));
    if (pass.open_segments.empty() || assembly.segments[size_t(pass.open_segments.back())].name != name) {
        return ERR_SYNTAX;  // no such segment open
    }
    std::vector<int> open = pass.open_segments;
    open.pop_back();
    leave_all_segments(assembly);
    pass.open_segments = open;
    if (!open.empty()) enter_segment(assembly, open.back());
    return STMT_NAMED;
}

// The code .STARTUP makes outside the tiny model: DS and SS become DGROUP,
// SP keeps pointing at the same byte of the stack.
//     MOV DX,DGROUP / MOV DS,DX / MOV BX,SS / SUB BX,DX / SHL BX,1 (4 times)
//     CLI / MOV SS,DX / ADD SP,BX / STI
constexpr uint8_t startup_code[] = {0xBA, 0x00, 0x00, 0x8E, 0xDA, 0x8C, 0xD3, 0x2B, 0xDA, 0xD1, 0xE3, 0xD1,
                                    0xE3, 0xD1, 0xE3, 0xD1, 0xE3, 0xFA, 0x8E, 0xD2, 0x03, 0xE3, 0xFB};
constexpr int STARTUP_FIXUP = 1;

int startup_directive(Statement& s) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    if (assembly.model == MODEL_NONE || pass.segment == NO_SECTION) return ERR_SYNTAX;
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    int16_t here = int16_t(pass.segment);
    if (assembly.model == MODEL_TINY) {
        // A .COM program begins at 100H.
        if (pass.location_counter < COM_ORIGIN) {
            pass.location_counter = COM_ORIGIN;
            s.statement_address = COM_ORIGIN;
            if (pass.image_origin == 0) pass.image_origin = COM_ORIGIN;
        }
        assembly.startup = Assembly::EntryPoint{frame_of_segment(assembly, here), pass.location_counter, true};
        return STMT_NO_EFFECT;
    }
    assembly.startup = Assembly::EntryPoint{frame_of_segment(assembly, here), pass.location_counter, true};
    int group = find_group(assembly, "DGROUP");
    int16_t frame = int16_t(GROUP_FRAME + group);
    std::memcpy(s.data_buf, startup_code, sizeof startup_code);
    s.data_len = uint16_t(sizeof startup_code);
    uint16_t paragraph = frame_paragraph(assembly, frame);
    s.data_buf[STARTUP_FIXUP] = uint8_t(paragraph);
    s.data_buf[STARTUP_FIXUP + 1] = uint8_t(paragraph >> 8);
    s.data_fixups[0] = Statement::DataFixup{STARTUP_FIXUP, frame};
    s.data_fixup_count = 1;
    return STMT_DB;
}

// .EXIT [code]: MOV AH,4CH (or MOV AX,4C00H+code) and INT 21H.
int exit_directive(Statement& s) {
    if (s.operand_text[0]) {
        Expression code;
        const char* p = s.operand_text;
        if (int error = parse_expression(s, &p, code)) return error;
        if (*p) return ERR_SYNTAX;
        if (code.unresolved && s.pass.pass_index > 0) return ERR_SYMBOL_NOT_DEFINED;
        if (code.value < -128 || code.value > 255) return ERR_ILLEGAL_SIZE;
        put_byte(s, 0xB8);
        put_byte(s, code.unresolved ? 0 : code.value);
        put_byte(s, 0x4C);
    } else {
        put_byte(s, 0xB4);
        put_byte(s, 0x4C);
    }
    put_byte(s, 0xCD);
    put_byte(s, 0x21);
    return 0;
}

}  // namespace

int offset_in_frame(const Assembly& assembly, int segment, int16_t frame, int32_t& value) {
    int16_t group = frame_of_segment(assembly, segment);
    if (frame == group) return 0;
    if (frame != segment) return ERR_INVALID_OPERAND;
    value = int32_t(uint32_t(value) - uint32_t(frame_base(assembly, frame) - frame_base(assembly, group)));
    return 0;
}

int16_t relocated_frame(const Assembly& assembly, int16_t frame) {
    if (!is_frame(assembly, frame)) return NO_FRAME;
    return is_group_frame(frame) || assembly.segments[size_t(frame)].at < 0 ? frame : NO_FRAME;
}

int16_t frame_of_segment(const Assembly& assembly, int segment) {
    if (segment >= GROUP_FRAME) return int16_t(segment);  // a group's own frame
    if (!is_frame(assembly, int16_t(segment))) return NO_FRAME;
    int group = assembly.segments[size_t(segment)].group;
    return group >= 0 ? int16_t(GROUP_FRAME + group) : int16_t(segment);
}

uint16_t frame_paragraph(const Assembly& assembly, int16_t frame) {
    if (!is_frame(assembly, frame)) return 0;
    if (!is_group_frame(frame) && assembly.segments[size_t(frame)].at >= 0) {
        return uint16_t(assembly.segments[size_t(frame)].at);
    }
    return uint16_t(frame_base(assembly, frame) / int32_t(PARAGRAPH));
}

int masm_segment(Statement& s) {
    note_structure(s, DIALECT_MASM);
    Assembly& assembly = s.assembly;
    Assembly::Segment attributes;
    if (int error = read_segment_attributes(s, s.operand_text, attributes)) return error;
    std::string name(s.label_field, size_t(s.label_length));
    int segment = find_segment(assembly, name);
    if (segment < 0 && s.pass.pass_index > 0) return ERR_SYNTAX;
    if (segment < 0) {
        if (find_group(assembly, name) >= 0) return ERR_MULTI_DEFINED;
        segment = declare_segment(assembly, name, attributes);
        if (segment < 0) return ERR_MULTI_DEFINED;
    } else if (s.pass.pass_index == 0 && (s.operand_text[0] || assembly.pass.segment_counters.size() <= size_t(segment) ||
                                          assembly.pass.segment_counters[size_t(segment)] == UNENTERED)) {
        // Declared by a GROUP or opened before: attributes written now count.
        Assembly::Segment& known = assembly.segments[size_t(segment)];
        if (s.operand_text[0]) {
            known.align = attributes.align;
            known.stack = attributes.stack;
            known.at = attributes.at;
            known.class_name = attributes.class_name;
        }
    }
    if (s.pass.open_segments.size() >= 16) return ERR_NESTED_TOO_DEEP;
    enter_segment(assembly, segment);
    s.pass.open_segments.push_back(segment);
    return STMT_NAMED;
}

bool is_listing_word(const Mnemonic& mnemonic) {
    return mnemonic.handler == directive_masm_structure &&
           (mnemonic.opcode == MASM_LISTING || mnemonic.opcode == MASM_JUMPS);
}

int directive_masm_structure(const Mnemonic& mnemonic, Statement& s) {
    bool chooses = mnemonic.opcode != MASM_LISTING && mnemonic.opcode != MASM_CPU_8086 &&
                   mnemonic.opcode != MASM_CPU_186 && mnemonic.opcode != MASM_JUMPS;
    if (chooses) note_structure(s, DIALECT_MASM);
    switch (mnemonic.opcode) {
        case MASM_ENDS: return ends_directive(s);
        case MASM_ASSUME: return assume_directive(s);
        case MASM_GROUP: return group_directive(s);
        case MASM_MODEL: return model_directive(s);
        case MASM_DOSSEG:
            s.assembly.segment_order = true;
            return s.operand_text[0] ? int(ERR_EXTRA_OPERAND) : int(STMT_NO_EFFECT);
        case MASM_STACK: return stack_directive(s);
        case MASM_STARTUP: return startup_directive(s);
        case MASM_EXIT: return exit_directive(s);
        case MASM_CPU_8086:
        case MASM_CPU_186:
            if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
            return select_processor(s, mnemonic.opcode == MASM_CPU_186);
        case MASM_CPU_PROTECTED: return ERR_INVALID_OPCODE;
        case MASM_LISTING: return STMT_NO_EFFECT;  // TITLE, SUBTTL, PAGE, NAME, %OUT: the listing's words
        case MASM_JUMPS:
            // TASM's JUMPS: a conditional jump out of reach is rewritten.
            s.assembly.conventions.rewrite_far_conditional = true;
            return s.operand_text[0] ? int(ERR_EXTRA_OPERAND) : int(STMT_NO_EFFECT);
        default: return simplified_directive(s, MasmWord(mnemonic.opcode));
    }
}

void begin_segments(Assembly& assembly) {
    if (assembly.segments.empty()) return;
    Pass& pass = assembly.pass;
    pass.segment_counters.assign(assembly.segments.size(), UNENTERED);
    pass.segment_reached.assign(assembly.segments.size(), UNENTERED);
    // Bytes before the first segment stand in none.
    pass.writes_nothing = true;
    assembly.image.set_frame(0);
    assembly.listing.name_segment("");
}

namespace {

// DOS's order (DOSSEG, .MODEL): code, the other segments outside DGROUP,
// then DGROUP's (BSS and STACK last); otherwise the classes by their first
// appearance, each class's segments by theirs.
std::vector<int> segment_order(const Assembly& assembly) {
    const std::vector<Assembly::Segment>& segments = assembly.segments;
    std::vector<int> order;
    auto rank = [&](const Assembly::Segment& segment) {
        if (!assembly.segment_order) return 0;
        const std::string& name = segment.class_name;
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, "CODE") == 0) return 0;
        if (segment.group < 0 || assembly.groups[size_t(segment.group)].name != "DGROUP") return 1;
        if (segment.class_name == "BEGDATA") return 2;
        if (segment.class_name == "BSS") return 4;
        if (segment.class_name == "STACK" || segment.stack) return 5;
        return 3;
    };
    std::vector<std::string> classes;
    for (const Assembly::Segment& segment : segments) {
        if (std::find(classes.begin(), classes.end(), segment.class_name) == classes.end()) {
            classes.push_back(segment.class_name);
        }
    }
    for (int level = 0; level <= 5; ++level) {
        for (const std::string& name : classes) {
            for (size_t i = 0; i < segments.size(); ++i) {
                if (segments[i].at < 0 && rank(segments[i]) == level && segments[i].class_name == name) {
                    order.push_back(int(i));
                }
            }
        }
    }
    return order;
}

}  // namespace

namespace {

bool written_as_com(const Assembly& assembly) {
    if (assembly.model != MODEL_NONE || !assembly.entry.given || assembly.entry.offset != COM_ORIGIN) return false;
    int16_t frame = NO_FRAME;
    for (size_t i = 0; i < assembly.segments.size(); ++i) {
        if (assembly.segments[i].at >= 0) continue;
        int16_t own = frame_of_segment(assembly, int(i));
        if (frame != NO_FRAME && own != frame) return false;
        frame = own;
    }
    return frame == assembly.entry.frame;
}

}  // namespace

bool lay_out_segments(Assembly& assembly) {
    if (assembly.segments.empty()) return false;
    Pass& pass = assembly.pass;
    leave_segment(assembly);
    std::vector<Assembly::Segment>& segments = assembly.segments;
    bool moved = false;
    for (size_t i = 0; i < segments.size(); ++i) {
        int32_t reached = pass.segment_reached[i];
        int32_t size = reached == UNENTERED ? 0 : std::max(0, reached - start_offset(assembly, int(i)));
        moved = moved || size != segments[i].size;
        segments[i].size = size;
    }
    int32_t place = 0;
    for (int index : segment_order(assembly)) {
        Assembly::Segment& segment = segments[size_t(index)];
        int32_t base = align_up(place, segment.align);
        moved = moved || base != segment.base;
        segment.base = base;
        place = base + segment.size;
    }
    for (size_t g = 0; g < assembly.groups.size(); ++g) {
        int32_t base = -1;
        for (const Assembly::Segment& segment : segments) {
            if (segment.group == int(g) && segment.at < 0 && (base < 0 || segment.base < base)) base = segment.base;
        }
        base = base < 0 ? 0 : base & ~int32_t(PARAGRAPH - 1);
        moved = moved || base != assembly.groups[g].base;
        assembly.groups[g].base = base;
    }
    // The names of segments and groups take their frames' paragraphs.
    SymbolTable& symbols = assembly.symbols;
    for (const auto& [position, frame] : assembly.symbol_segments) {
        if (!is_frame_kind(symbols.kind_at(position))) continue;
        int32_t paragraph = frame_paragraph(assembly, frame);
        moved = moved || symbols.value_at(position) != paragraph;
        symbols.set_value(position, paragraph);
    }
    // The first pass decides the image's form: a program of segments is an
    // .EXE, unless its model is tiny, or it is written as a .COM is: one
    // frame, starting at 100H (what EXE2BIN made of it).
    if (pass.pass_index == 0) assembly.exe = assembly.model != MODEL_TINY && !written_as_com(assembly);
    return moved;
}

int reach_segment(Statement& s, Operand& operand) {
    const Assembly& assembly = s.assembly;
    int16_t segment = operand.frame;
    if (segment == NO_FRAME || operand.seg_override) return 0;
    int16_t frame = frame_of_segment(assembly, segment);
    int16_t own = int16_t(segment);
    const int16_t* assumed = s.pass.assumed;
    // The register the addressing takes by default: SS with BP, else DS.
    int fallback = addresses_stack(operand) ? 2 : 3;
    auto reaches = [&](int reg) { return assumed[reg] != NO_FRAME && (assumed[reg] == frame || assumed[reg] == own); };
    // A register assumed at the segment itself, not at its group: the
    // offset counts from the segment's own paragraph.
    auto take = [&](int reg) { return offset_in_frame(assembly, segment, assumed[reg], operand.value); };
    if (reaches(fallback)) return take(fallback);
    static constexpr uint8_t prefixes[4] = {opcode_of("SEG ES"), opcode_of("SEG CS"), opcode_of("SEG SS"),
                                            opcode_of("SEG DS")};
    for (int reg : {3, 2, 0, 1}) {
        if (!reaches(reg)) continue;
        operand.seg_override = prefixes[reg];
        return take(reg);
    }
    operand.value_marks |= VALUE_UNREACHED;
    return ERR_INVALID_OPERAND;
}

namespace {

// A relocation at `offset` of the segment being assembled, by the pass that writes.
void add_relocation(Statement& s, int32_t offset) {
    Assembly& assembly = s.assembly;
    int16_t frame = frame_of_segment(assembly, s.pass.segment);
    assembly.relocations.push_back(Assembly::Relocation{frame_paragraph(assembly, frame), uint16_t(offset)});
}

bool relocated(const Assembly& assembly, int16_t frame) {
    return relocated_frame(assembly, frame) != NO_FRAME;
}

}  // namespace

int note_relocations(Statement& s, int prefixes) {
    Assembly& assembly = s.assembly;
    bool code = s.code_fixup != NO_FRAME;
    bool any = code && relocated(assembly, s.code_fixup);
    for (int i = 0; i < s.data_fixup_count; ++i) any = any || relocated(assembly, s.data_fixups[i].frame);
    if (!any) return 0;
    // One relocation a word: not in bytes TIMES or DUP repeat.
    if (s.data_run_count > 0) return ERR_INVALID_OPERAND;
    // A .COM is loaded as it is: no segment's value can be in it.
    // The first pass does not know the image's form yet.
    if (s.pass.pass_index == 0) {
        s.first_pass_guess = true;
        return 0;
    }
    if (!assembly.exe || s.pass.segment == NO_SECTION) return ERR_INVALID_OPERAND;
    if (!s.pass.writes) return 0;
    int32_t at = s.pass.location_counter;
    if (code) add_relocation(s, at + prefixes + s.code_len - 2);
    for (int i = 0; i < s.data_fixup_count; ++i) {
        if (relocated(assembly, s.data_fixups[i].frame)) add_relocation(s, at + s.data_fixups[i].at);
    }
    return 0;
}

int note_entry_point(Statement& s) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    int open = pass.open_segments.empty() ? 0 : ERR_SEGMENT_OPEN;
    const char* p = s.operand_text;
    if (!*p) {
        assembly.entry = assembly.startup;
        if (open) return open;
        // An .EXE starts where END says, or at .STARTUP.
        return assembly.exe && !assembly.entry.given && pass.pass_index > 0 ? ERR_MISSING_OPERAND : 0;
    }
    Expression entry;
    if (int error = parse_expression(s, &p, entry)) return error;
    if (*p) return ERR_SYNTAX;
    if (entry.unresolved) return pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : 0;
    if (assembly.segments.empty()) return 0;  // a flat image starts at its first byte
    if (!entry.frame_mark || entry.segment_value) return ERR_INVALID_OPERAND;
    // A .COM starts at its first byte, 100H.
    if (assembly.model == MODEL_TINY && entry.value != COM_ORIGIN) return ERR_INVALID_OPERAND;
    assembly.entry = Assembly::EntryPoint{frame_of_segment(assembly, int16_t(entry.frame_mark - 1)), entry.value, true};
    return open;
}

namespace {

void put_word_at(std::string& bytes, size_t at, uint32_t value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

}  // namespace

bool write_exe_image(Assembly& assembly) {
    const std::vector<uint8_t>& image = assembly.image.layout();
    // The load module: up to the last byte written; what the segments hold
    // beyond it (DUP(?), .DATA?, the stack) is memory the loader gives.
    size_t load_bytes = assembly.image.kept_end();
    int64_t memory_end = 0;
    int stack = -1;
    for (size_t i = 0; i < assembly.segments.size(); ++i) {
        const Assembly::Segment& segment = assembly.segments[i];
        if (segment.at >= 0) continue;
        memory_end = std::max<int64_t>(memory_end, int64_t(segment.base) + segment.size);
        if (segment.stack && stack < 0) stack = int(i);
    }
    memory_end = std::max<int64_t>(memory_end, int64_t(load_bytes));
    uint32_t stack_segment, stack_pointer;
    if (stack >= 0) {
        const Assembly::Segment& segment = assembly.segments[size_t(stack)];
        stack_segment = uint32_t(segment.base) / PARAGRAPH;
        stack_pointer = uint32_t(segment.base % int32_t(PARAGRAPH) + segment.size);
    } else {
        // No stack segment: one of the default size after the program.
        memory_end = align_up(int32_t(memory_end), PARAGRAPH);
        stack_segment = uint32_t(memory_end) / PARAGRAPH;
        stack_pointer = DEFAULT_STACK_BYTES;
        memory_end += DEFAULT_STACK_BYTES;
    }
    if (memory_end + PSP_BYTES > LARGEST_PROGRAM || load_bytes > image.size()) return false;
    if (assembly.relocations.size() > MAX_RELOCATIONS) return false;
    size_t header_bytes = size_t(align_up(int32_t(0x1C + 4 * assembly.relocations.size()), PARAGRAPH));
    std::string header(header_bytes, '\0');
    size_t file_bytes = header_bytes + load_bytes;
    uint32_t extra = uint32_t((memory_end - int64_t(load_bytes) + PARAGRAPH - 1) / PARAGRAPH);
    header[0] = 'M';
    header[1] = 'Z';
    put_word_at(header, 2, uint32_t(file_bytes % 512));
    put_word_at(header, 4, uint32_t((file_bytes + 511) / 512));
    put_word_at(header, 6, uint32_t(assembly.relocations.size()));
    put_word_at(header, 8, uint32_t(header_bytes / PARAGRAPH));
    put_word_at(header, 10, extra);
    put_word_at(header, 12, 0xFFFF);
    put_word_at(header, 14, stack_segment);
    put_word_at(header, 16, stack_pointer);
    put_word_at(header, 18, 0);
    put_word_at(header, 20, uint32_t(assembly.entry.offset));
    put_word_at(header, 22, frame_paragraph(assembly, assembly.entry.frame));
    put_word_at(header, 24, 0x1C);
    put_word_at(header, 26, 0);
    size_t at = 0x1C;
    for (const Assembly::Relocation& relocation : assembly.relocations) {
        put_word_at(header, at, relocation.offset);
        put_word_at(header, at + 2, relocation.segment);
        at += 4;
    }
    Sink& sink = assembly.object_sink;
    return sink.put(reinterpret_cast<const uint8_t*>(header.data()), header.size()) &&
           (load_bytes == 0 || sink.put(image.data(), load_bytes));
}

int masm_structure_begin(Statement& s) {
    note_structure(s, DIALECT_MASM);
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    if (pass.masm_structure || !pass.structure.empty()) return ERR_SYNTAX;  // one at a time
    std::string name(s.label_field, size_t(s.label_length));
    size_t index = 0;
    while (index < assembly.structures.size() && assembly.structures[index].name != name) ++index;
    if (index == assembly.structures.size()) {
        if (pass.pass_index > 0) return ERR_SYNTAX;
        assembly.structures.push_back(Assembly::MasmStructure{name, {}, {}});
        assembly.masm_names = true;
    } else if (pass.pass_index == 0) {
        return ERR_MULTI_DEFINED;
    }
    pass.masm_structure = int(index) + 1;
    pass.structure_segment = pass.segment;
    pass.structure_counter = pass.location_counter;
    pass.structure_writes_nothing = pass.writes_nothing;
    if (pass.segment != NO_SECTION) leave_segment(assembly);
    pass.segment = NO_SECTION;
    pass.section = NO_SECTION;
    pass.location_counter = 0;
    pass.writes_nothing = true;
    s.statement_address = 0;
    return STMT_NAMED;
}

int masm_structure_end(Statement& s) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    const Assembly::MasmStructure& structure = assembly.structures[size_t(pass.masm_structure - 1)];
    if (structure.name != std::string(s.label_field, size_t(s.label_length))) return ERR_SYNTAX;
    int32_t size = pass.location_counter;
    pass.masm_structure = 0;
    pass.section = 0;
    pass.location_counter = pass.structure_counter;
    pass.writes_nothing = pass.structure_writes_nothing;
    if (pass.structure_segment != NO_SECTION) {
        pass.segment = pass.structure_segment;
        pass.location_counter = pass.segment_counters[size_t(pass.segment)];
    }
    s.statement_address = size;  // listed where the structure ends
    // The structure's name is its size.
    define_label(s, size, SYMBOL_EQU);
    return STMT_NAMED;
}

void keep_field(Statement& s, int result) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    bool data = result == STMT_DB || result == STMT_DW || result == STMT_DD || result == STMT_DQ;
    if (!data) {
        if (result == 0) s.assembly.diagnostics.report(s, ERR_OUTSIDE_IMAGE);  // no code in a structure
        return;
    }
    if (pass.pass_index > 0) return;
    Assembly::MasmStructure& structure = assembly.structures[size_t(pass.masm_structure - 1)];
    int32_t offset = pass.location_counter;
    int64_t length = data_image_length(s);
    if (offset < 0 || offset + length > 0xFFFF) return;
    uint8_t width = result == STMT_DB ? 1 : result == STMT_DW ? 2 : result == STMT_DD ? 4 : 8;
    structure.fields.push_back(Assembly::MasmStructure::Field{offset, int32_t(length), width});
    if (length == 0) return;
    structure.image.resize(size_t(offset + length), 0);
    uint8_t* at = structure.image.data() + offset;
    if (s.data_run_count == 0) {
        std::memcpy(at, s.data_buf, s.data_len);
        return;
    }
    for (int i = 0; i < s.data_run_count; ++i) {
        const DataRun& run = s.data_runs[i];
        for (int copy = 0; copy < run.repeat; ++copy, at += run.length) {
            if (!run.reserved) std::memcpy(at, s.data_buf + run.start, run.length);
        }
    }
}

namespace {

// The structure named by the statement's mnemonic, or by the first word of
// its operands after a name (   VAR POINT <>): its index, or -1.
int structure_named(const Assembly& assembly, const std::string& name) {
    for (size_t i = 0; i < assembly.structures.size(); ++i) {
        if (assembly.structures[i].name == name) return int(i);
    }
    return -1;
}

// One field's initializer: a value of its item's size, or a string for a
// field of bytes. Stored over the default.
int initialize_field(Statement& s, const Assembly::MasmStructure::Field& field, const char*& p, uint8_t* at) {
    if (*p == ',' || *p == '>') return 0;  // the default
    if (is_quote(*p) && field.width == 1) {
        const char* close = closing_quote(p, s.operand_text + s.operand_length);
        if (!close) return ERR_INVALID_STRING;
        int length = int(close - p - 1);
        if (length > field.length) return ERR_ILLEGAL_SIZE;
        std::memcpy(at, p + 1, size_t(length));
        p = close + 1;
        return 0;
    }
    // The value up to its comma or the closing `>`, read on its own (a `>` would continue it).
    const char* end = p;
    for (int depth = 0; *end && !(depth == 0 && (*end == ',' || *end == '>')); ++end) {
        if (*end == '(') ++depth;
        if (*end == ')') --depth;
    }
    char text[LINE_CAPACITY + SCAN_PADDING] = {};
    std::memcpy(text, p, size_t(end - p));
    const char* cursor = text;
    Expression value;
    if (int error = parse_expression(s, &cursor, value)) return error;
    if (*cursor) return ERR_SYNTAX;
    p = end;
    if (value.unresolved && s.pass.pass_index > 0) return ERR_SYMBOL_NOT_DEFINED;
    int width = field.width < 4 ? field.width : 4;
    int64_t low = width == 1 ? -128 : width == 2 ? -32768 : INT32_MIN;
    int64_t high = width == 1 ? 255 : width == 2 ? 65535 : INT32_MAX;
    if (!value.unresolved && (value.value < low || value.value > high)) return ERR_ILLEGAL_SIZE;
    for (int i = 0; i < field.width && i < field.length; ++i) at[i] = i < 4 ? uint8_t(value.value >> (8 * i)) : 0;
    return 0;
}

}  // namespace

int masm_structure_instance(Statement& s) {
    Assembly& assembly = s.assembly;
    if (s.zero_byte_in_statement) return 0;  // no statement: reported as such
    int index = structure_named(assembly, s.mnemonic_field);
    const char* p = s.operand_text;
    if (index < 0 && !s.label_field[0]) {
        // Indented: the name stands in the mnemonic's place, the structure's after it.
        const char* word = p;
        while (*p && *p != ' ' && *p != '<') ++p;
        index = structure_named(assembly, std::string(word, size_t(p - word)));
        if (index < 0) return 0;
        if (*p == ' ') ++p;
        const char* line = s.line_buffer;
        while (is_blank(*line)) ++line;
        int length = 0;
        while (is_name_char(line[length])) {
            s.label_field[length] = to_upper(line[length]);
            ++length;
        }
        s.label_field[length] = 0;
        s.label_length = length;
    }
    if (index < 0) return 0;
    const Assembly::MasmStructure& structure = assembly.structures[size_t(index)];
    if (structure.image.size() > size_t(DATA_CAPACITY)) return ERR_ILLEGAL_SIZE;
    if (!structure.image.empty()) std::memcpy(s.data_buf, structure.image.data(), structure.image.size());
    s.data_len = uint16_t(structure.image.size());
    s.data_run_count = 0;
    if (*p != '<') return *p ? ERR_SYNTAX : ERR_MISSING_OPERAND;
    ++p;
    for (size_t field = 0; *p != '>'; ++field) {
        if (field >= structure.fields.size()) return ERR_EXTRA_OPERAND;
        const Assembly::MasmStructure::Field& place = structure.fields[field];
        if (int error = initialize_field(s, place, p, s.data_buf + place.offset)) return error;
        if (*p == ',') {
            ++p;
        } else if (*p != '>') {
            return ERR_SYNTAX;
        }
    }
    if (p[1]) return ERR_EXTRA_OPERAND;
    assembly.instance_statement = s.index;
    assembly.instance_bytes = uint32_t(structure.image.size());
    return STMT_DB;
}

std::string segment_table(const Assembly& assembly) {
    std::string table = "Segments and groups:\n\n";
    char line[200];
    std::snprintf(line, sizeof line, "%-31s %-6s %-6s %-10s %s\n", "Name", "Size", "Align", "Class", "Group");
    table += line;
    for (const Assembly::Segment& segment : assembly.segments) {
        const char* align = segment.align == 1 ? "BYTE" : segment.align == 2 ? "WORD" : segment.align == 4 ? "DWORD"
                          : segment.align == 256 ? "PAGE" : "PARA";
        std::string group = segment.group >= 0 ? assembly.groups[size_t(segment.group)].name : "";
        std::string kind = segment.at >= 0 ? "AT" : align;
        std::string class_name = segment.class_name.empty() ? "" : "'" + segment.class_name + "'";
        std::snprintf(line, sizeof line, "%-31s %04X   %-6s %-10s %s", segment.name.c_str(), unsigned(segment.size),
                      kind.c_str(), class_name.c_str(), group.c_str());
        std::string row = line;
        row.erase(row.find_last_not_of(' ') + 1);
        table += row + "\n";
    }
    for (const Assembly::Group& group : assembly.groups) {
        std::snprintf(line, sizeof line, "%-31s GROUP\n", group.name.c_str());
        table += line;
    }
    return table;
}

}  // namespace vexa
