// The interpreter's dispatch: for each processor and first byte (and reg
// field, where the forms of an opcode differ by it), the routine that
// executes it, chosen at compile time from the table of forms by each
// form's mnemonic and operands.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "isa/forms.h"
#include "run/run.h"

namespace vexa {

// The routines, one per kind of form. A routine may still read the
// encoding's regular bits: the width and direction bits, the reg field,
// the condition nibble, the segment in bits 3-4.
enum Family : uint8_t {
    EXEC_UNDEFINED,
    EXEC_BY_REG_FIELD,  // the forms differ by the ModRM reg field: see by_field
    EXEC_SERVICE_TRAP,  // the machine's trap byte: a service, or what the table makes of it
    // Prefixes.
    EXEC_SEGMENT, EXEC_LOCK, EXEC_REP, EXEC_REPNE,
    // Arithmetic and logic.
    EXEC_ALU_RM_REG, EXEC_ALU_ACC_IMM, EXEC_ALU_RM_IMM,
    EXEC_TEST_RM_REG, EXEC_TEST_ACC_IMM, EXEC_TEST_RM_IMM,
    EXEC_INC_REG, EXEC_DEC_REG, EXEC_INC_RM, EXEC_DEC_RM,
    EXEC_NOT, EXEC_NEG, EXEC_MUL, EXEC_IMUL, EXEC_DIV, EXEC_IDIV, EXEC_IMUL_IMM8, EXEC_IMUL_IMM16,
    EXEC_SHIFT_1, EXEC_SHIFT_CL, EXEC_SHIFT_IMM, EXEC_SETMO,
    EXEC_DAA, EXEC_DAS, EXEC_AAA, EXEC_AAS, EXEC_AAM, EXEC_AAD, EXEC_CBW, EXEC_CWD, EXEC_SALC,
    // Data transfer.
    EXEC_MOV_RM_REG, EXEC_MOV_RM_SREG, EXEC_MOV_SREG_RM, EXEC_MOV_ACC_MOFFS, EXEC_MOV_MOFFS_ACC,
    EXEC_MOV_REG8_IMM, EXEC_MOV_REG16_IMM, EXEC_MOV_RM_IMM,
    EXEC_NOP, EXEC_XCHG_AX, EXEC_XCHG_RM, EXEC_LEA, EXEC_LDS, EXEC_LES, EXEC_XLAT,
    EXEC_PUSH_REG, EXEC_PUSH_SEG, EXEC_PUSH_RM, EXEC_PUSH_IMM8, EXEC_PUSH_IMM16,
    EXEC_POP_REG, EXEC_POP_SEG, EXEC_POP_RM, EXEC_PUSHA, EXEC_POPA,
    EXEC_PUSHF, EXEC_POPF, EXEC_SAHF, EXEC_LAHF,
    EXEC_IN_IMM, EXEC_IN_DX, EXEC_OUT_IMM, EXEC_OUT_DX,
    // Control transfer.
    EXEC_JMP_SHORT, EXEC_JMP_NEAR, EXEC_JMP_FAR, EXEC_JMP_RM, EXEC_JMP_FAR_MEM,
    EXEC_CALL_NEAR, EXEC_CALL_FAR, EXEC_CALL_RM, EXEC_CALL_FAR_MEM,
    EXEC_RET, EXEC_RET_IMM, EXEC_RETF, EXEC_RETF_IMM, EXEC_JCC, EXEC_LOOPNE, EXEC_LOOPE, EXEC_LOOP, EXEC_JCXZ,
    EXEC_INT3, EXEC_INT, EXEC_INTO, EXEC_IRET, EXEC_ENTER, EXEC_LEAVE, EXEC_BOUND,
    // Strings.
    EXEC_MOVS, EXEC_CMPS, EXEC_STOS, EXEC_LODS, EXEC_SCAS, EXEC_INS, EXEC_OUTS,
    // Processor control.
    EXEC_CLC, EXEC_STC, EXEC_CMC, EXEC_CLD, EXEC_STD, EXEC_CLI, EXEC_STI, EXEC_HLT, EXEC_WAIT, EXEC_ESC,
};

// Not constexpr: a form no routine executes fails to compile.
inline Family no_routine_for(const char*) { return EXEC_UNDEFINED; }

constexpr bool is_imm(FormOperand operand) { return operand == FO_IMM8 || operand == FO_IMM16; }
constexpr bool is_accumulator(FormOperand operand) { return operand == FO_AL || operand == FO_AX; }
constexpr bool is_fixed_segment(FormOperand operand) {
    return operand == FO_ES || operand == FO_CS || operand == FO_SS || operand == FO_DS;
}

// The routine of one form, by its mnemonic and operands.
constexpr Family family_of(const Form& form) {
    const FormOperand first = form.operands[0], second = form.operands[1], third = form.operands[2];
    auto is = [&](const char* name) { return same_form_text(form.mnemonic, name); };
    auto is_any = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (is(name)) return true;
        }
        return false;
    };
    if (is_any({"ADD", "OR", "ADC", "SBB", "AND", "SUB", "XOR", "CMP"})) {
        if (!is_imm(second)) return EXEC_ALU_RM_REG;
        return is_accumulator(first) ? EXEC_ALU_ACC_IMM : EXEC_ALU_RM_IMM;
    }
    if (is("TEST")) {
        if (!is_imm(second)) return EXEC_TEST_RM_REG;
        return is_accumulator(first) ? EXEC_TEST_ACC_IMM : EXEC_TEST_RM_IMM;
    }
    if (is("INC")) return form.register_in_opcode ? EXEC_INC_REG : EXEC_INC_RM;
    if (is("DEC")) return form.register_in_opcode ? EXEC_DEC_REG : EXEC_DEC_RM;
    if (is("NOT")) return EXEC_NOT;
    if (is("NEG")) return EXEC_NEG;
    if (is("MUL")) return EXEC_MUL;
    if (is("IMUL")) {
        if (form.operand_count == 1) return EXEC_IMUL;
        FormOperand immediate = form.operand_count == 3 ? third : second;
        return immediate == FO_IMM8 ? EXEC_IMUL_IMM8 : EXEC_IMUL_IMM16;
    }
    if (is("DIV")) return EXEC_DIV;
    if (is("IDIV")) return EXEC_IDIV;
    if (is("SETMO")) return EXEC_SETMO;
    if (is_any({"ROL", "ROR", "RCL", "RCR", "SHL", "SAL", "SHR", "SAR"})) {
        return second == FO_ONE ? EXEC_SHIFT_1 : second == FO_CL ? EXEC_SHIFT_CL : EXEC_SHIFT_IMM;
    }
    if (is("DAA")) return EXEC_DAA;
    if (is("DAS")) return EXEC_DAS;
    if (is("AAA")) return EXEC_AAA;
    if (is("AAS")) return EXEC_AAS;
    if (is("AAM")) return EXEC_AAM;
    if (is("AAD")) return EXEC_AAD;
    if (is("CBW")) return EXEC_CBW;
    if (is("CWD")) return EXEC_CWD;
    if (is("SALC")) return EXEC_SALC;
    if (is("MOV")) {
        if (first == FO_SREG) return EXEC_MOV_SREG_RM;
        if (second == FO_SREG) return EXEC_MOV_RM_SREG;
        if (second == FO_MOFFS8 || second == FO_MOFFS16) return EXEC_MOV_ACC_MOFFS;
        if (first == FO_MOFFS8 || first == FO_MOFFS16) return EXEC_MOV_MOFFS_ACC;
        if (form.register_in_opcode) return first == FO_R8 ? EXEC_MOV_REG8_IMM : EXEC_MOV_REG16_IMM;
        return is_imm(second) ? EXEC_MOV_RM_IMM : EXEC_MOV_RM_REG;
    }
    if (is("NOP")) return EXEC_NOP;
    if (is("XCHG")) return form.register_in_opcode ? EXEC_XCHG_AX : EXEC_XCHG_RM;
    if (is("LEA")) return EXEC_LEA;
    if (is("LDS")) return EXEC_LDS;
    if (is("LES")) return EXEC_LES;
    if (is_any({"XLAT", "XLATB"})) return EXEC_XLAT;
    if (is("PUSH")) {
        if (form.register_in_opcode) return EXEC_PUSH_REG;
        if (is_fixed_segment(first)) return EXEC_PUSH_SEG;
        if (first == FO_IMM8) return EXEC_PUSH_IMM8;
        if (first == FO_IMM16) return EXEC_PUSH_IMM16;
        return EXEC_PUSH_RM;
    }
    if (is("POP")) {
        if (form.register_in_opcode) return EXEC_POP_REG;
        return is_fixed_segment(first) ? EXEC_POP_SEG : EXEC_POP_RM;
    }
    if (is("PUSHA")) return EXEC_PUSHA;
    if (is("POPA")) return EXEC_POPA;
    if (is("PUSHF")) return EXEC_PUSHF;
    if (is("POPF")) return EXEC_POPF;
    if (is("SAHF")) return EXEC_SAHF;
    if (is("LAHF")) return EXEC_LAHF;
    if (is("IN")) return second == FO_DX ? EXEC_IN_DX : EXEC_IN_IMM;
    if (is("OUT")) return first == FO_DX ? EXEC_OUT_DX : EXEC_OUT_IMM;
    if (is("JMP")) {
        switch (first) {
        case FO_REL8: return EXEC_JMP_SHORT;
        case FO_REL16: return EXEC_JMP_NEAR;
        case FO_PTR16_16: return EXEC_JMP_FAR;
        case FO_M16_16: return EXEC_JMP_FAR_MEM;
        default: return EXEC_JMP_RM;
        }
    }
    if (is("CALL")) {
        switch (first) {
        case FO_REL16: return EXEC_CALL_NEAR;
        case FO_PTR16_16: return EXEC_CALL_FAR;
        case FO_M16_16: return EXEC_CALL_FAR_MEM;
        default: return EXEC_CALL_RM;
        }
    }
    if (is_any({"RET", "RETN"})) return form.operand_count ? EXEC_RET_IMM : EXEC_RET;
    if (is("RETF")) return form.operand_count ? EXEC_RETF_IMM : EXEC_RETF;
    if (is("JCXZ")) return EXEC_JCXZ;
    if (form.mnemonic[0] == 'J' && first == FO_REL8) return EXEC_JCC;
    if (is_any({"LOOPNE", "LOOPNZ"})) return EXEC_LOOPNE;
    if (is_any({"LOOPE", "LOOPZ"})) return EXEC_LOOPE;
    if (is("LOOP")) return EXEC_LOOP;
    if (is("INT3") || (is("INT") && first == FO_THREE)) return EXEC_INT3;
    if (is("INT")) return EXEC_INT;
    if (is("INTO")) return EXEC_INTO;
    if (is("IRET")) return EXEC_IRET;
    if (is("ENTER")) return EXEC_ENTER;
    if (is("LEAVE")) return EXEC_LEAVE;
    if (is("BOUND")) return EXEC_BOUND;
    if (is_any({"MOVSB", "MOVSW", "MOVS"})) return EXEC_MOVS;
    if (is_any({"CMPSB", "CMPSW", "CMPS"})) return EXEC_CMPS;
    if (is_any({"STOSB", "STOSW", "STOS"})) return EXEC_STOS;
    if (is_any({"LODSB", "LODSW", "LODS"})) return EXEC_LODS;
    if (is_any({"SCASB", "SCASW", "SCAS"})) return EXEC_SCAS;
    if (is_any({"INSB", "INSW", "INS"})) return EXEC_INS;
    if (is_any({"OUTSB", "OUTSW", "OUTS"})) return EXEC_OUTS;
    if (is("SEG")) return EXEC_SEGMENT;
    if (is("LOCK")) return EXEC_LOCK;
    if (is_any({"REP", "REPE", "REPZ"})) return EXEC_REP;
    if (is_any({"REPNE", "REPNZ"})) return EXEC_REPNE;
    if (is("CLC")) return EXEC_CLC;
    if (is("STC")) return EXEC_STC;
    if (is("CMC")) return EXEC_CMC;
    if (is("CLD")) return EXEC_CLD;
    if (is("STD")) return EXEC_STD;
    if (is("CLI")) return EXEC_CLI;
    if (is("STI")) return EXEC_STI;
    if (is("HLT")) return EXEC_HLT;
    if (is("WAIT")) return EXEC_WAIT;
    if (is("ESC")) return EXEC_ESC;
    return no_routine_for(form.syntax);
}

// Each processor's first-byte table, and the reg-field table of the opcodes
// whose forms differ by the reg field.
struct DispatchTables {
    Family first[2][256];
    Family by_field[2][256][8];
    Family service_trap_fallback[2];  // what the trap byte is outside a service
};

// Each row's routine, worked out once.
struct FormFamilies {
    Family of[FORM_COUNT];
};

constexpr FormFamilies build_form_families() {
    FormFamilies families{};
    for (int i = 0; i < FORM_COUNT; ++i) families.of[i] = family_of(forms[i]);
    return families;
}

constexpr DispatchTables build_dispatch_tables(const FormFamilies& families) {
    DispatchTables tables{};
    for (int p = 0; p < 2; ++p) {
        for (int opcode = 0; opcode < 256; ++opcode) {
            bool same = true;
            for (int field = 0; field < 8; ++field) {
                int16_t row = decode_index.row[p][opcode][field];
                Family family = row < 0 ? EXEC_UNDEFINED : families.of[row];
                tables.by_field[p][opcode][field] = family;
                same = same && family == tables.by_field[p][opcode][0];
            }
            tables.first[p][opcode] = same ? tables.by_field[p][opcode][0] : EXEC_BY_REG_FIELD;
        }
        tables.service_trap_fallback[p] = tables.first[p][SERVICE_TRAP];
        tables.first[p][SERVICE_TRAP] = EXEC_SERVICE_TRAP;
    }
    return tables;
}

inline constexpr DispatchTables dispatch_tables = build_dispatch_tables(build_form_families());

static_assert(CPU_8086 == int(DECODE_8086) && CPU_186 == int(DECODE_186),
              "the machine's processors index the decoding tables");

}  // namespace vexa
