// Macros of both families (MASM's NAME MACRO ... ENDM, NASM's %macro ...
// %endmacro), the repetitions (REPT, IRP, IRPC, %rep) and NASM's one-line
// %defines. Definitions are collected as their lines are read; an expansion
// hands its lines to the statement loop one at a time, as a file would.
// Every pass starts with none, so that each pass defines and expands alike.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "driver/driver.h"

namespace vexa {

struct Statement;
struct Pass;

// Where a line stands: its file (0 the main source) and its number there.
struct LinePlace {
    uint16_t file = 0;
    int32_t line = 0;
};

// The words of MASM's macro family, in the opcode of their mnemonic rows.
enum MacroWord : uint8_t { MW_MACRO, MW_ENDM, MW_REPT, MW_IRP, MW_IRPC, MW_LOCAL, MW_EXITM, MW_PURGE };

// Calls nested at most, and lines expanded in one pass at most.
constexpr int MAX_EXPANSION_DEPTH = 256;
constexpr uint32_t MAX_EXPANDED_LINES = 1000000;

// A line read in the middle of an expansion that went past a limit; a line
// of a definition being collected; no line read yet.
constexpr int READ_EXPANSION_LIMIT = -4;
constexpr int READ_COLLECTED = -5;
constexpr int READ_NOT_YET = -6;

// The two families' spellings of a block.
enum class Spelling : uint8_t { MASM, NASM };

struct BodyLine {
    std::string text;
    LinePlace place;
};

// A macro, or the body of a repetition (no name).
struct MacroDefinition {
    std::string name;  // upper case
    Spelling spelling = Spelling::MASM;
    // MASM: each parameter's name (upper case), default, and whether a call
    // must give it (:REQ) or it takes the rest of the arguments (:VARARG).
    struct Parameter {
        std::string name;
        std::string fallback;
        bool required = false;
        bool rest = false;
    };
    std::vector<Parameter> parameters;
    // NASM: the counts of arguments a call may give, the last taking the
    // rest of the line (greedy), and the defaults of those after the least.
    int least = 0;
    int most = 0;
    bool greedy = false;
    std::vector<std::string> defaults;
    std::vector<BodyLine> body;
    LinePlace place;  // its MACRO or %macro line
};

// A one-line %define: its parameters (upper case) and its text.
struct TextDefine {
    std::vector<std::string> parameters;
    bool takes_arguments = false;  // NAME(...) even with none
    std::string text;
};

// One block being expanded: a macro's call or a repetition.
struct Expansion {
    enum Kind : uint8_t { MACRO, REPT, IRP, IRPC, NASM_REP };
    Kind kind = MACRO;
    Spelling spelling = Spelling::MASM;
    int definition = 0;  // in MacroEngine::definitions
    size_t next = 0;     // its next body line
    // The values of its parameters: MASM's by parameter, NASM's %1, %2...
    std::vector<std::string> arguments;
    // MASM: LOCAL names and the names they stand for in this expansion.
    std::vector<std::pair<std::string, std::string>> locals;
    // IRP's and IRPC's parameter, its items and the one now.
    std::string parameter;
    std::vector<std::string> items;
    size_t item = 0;
    int64_t rounds_left = 0;  // REPT and %rep
    uint32_t unique = 0;      // NASM's %%name
    int rotation = 0;         // NASM's %rotate
    LinePlace call;           // the line that began it
    int reader_depth = 0;     // files included when it began
    int condition_depth = 0;  // IF blocks open when it began
};

// The expansions of a pass, the definitions they read, and the one being
// collected.
class MacroEngine {
public:
    MacroEngine();
    ~MacroEngine();
    MacroEngine(const MacroEngine&) = delete;
    MacroEngine& operator=(const MacroEngine&) = delete;

    // Forgets every definition: a pass defines them again as it reads them.
    void begin_pass();

    // Some macro, repetition or %define has been met in this pass: lines
    // may come from expansions, be collected, or hold a %define's name.
    bool active() const { return active_; }
    bool collecting() const { return collection_.open; }
    bool has_defines() const { return !defines_.empty(); }
    // The next line comes from an expansion, not from a file.
    bool expanding(int reader_depth) const { return !frames_.empty() && frames_.back().reader_depth >= reader_depth; }
    // Copies the next line of the expansions into `buffer` (as
    // LineReader::read does): its length plus one, READ_TOO_LONG,
    // READ_EXPANSION_LIMIT, or READ_END when they have ended.
    int read(Pass& pass, char* buffer, int capacity, LineMarks& marks);
    // The line read last, as expanded, for the listing; its length.
    const char* line_text() const { return text_; }
    int line_length() const { return text_length_; }
    // Expansions open now (the listing's nesting depth).
    int depth() const { return int(frames_.size()); }
    // More lines were expanded in this pass than it allows.
    bool line_limit_passed() const { return expanded_lines_ > MAX_EXPANDED_LINES; }
    // Where the line read last stands: in a definition, or in a file.
    LinePlace line_place() const { return line_place_; }
    // The line of the outermost call, as written without its comment.
    const std::string& call_text() const { return call_text_; }
    const std::vector<Expansion>& frames() const { return frames_; }
    const MacroDefinition& definition(int index) const { return definitions_[size_t(index)]; }

    // Collecting: the line in `s` joins the body, or closes it.
    void collect(Statement& s);
    // The block being collected was opened in a file now left, or the
    // source ended: it is dropped; answers whether there was one.
    bool drop_collection_below(int reader_depth);

    // Handles a line of the macro family (MACRO, ENDM, REPT, %macro,
    // %define...) or a macro's call: answers false for any other line.
    // `fields` is split_line's answer, updated when the line is split
    // again (%include is INCLUDE). A call's label, if any, is left to the caller.
    enum class Taken { NOT_MINE, DONE, CALLED };
    Taken take_line(Statement& s, int& fields);
    // Puts the %defines' texts in place of their names in the line in
    // `s.line_buffer`; answers the line's new marks.
    LineMarks substitute_defines(Statement& s, const LineMarks& marks);
    // A name defined by %define or as a macro (IFDEF).
    bool defines_name(const char* name, size_t length) const;

private:
    struct Collection {
        bool open = false;
        Spelling spelling = Spelling::MASM;
        bool macro = false;  // else a repetition, expanded when closed
        int nesting = 0;
        int conditions = 0;  // IF blocks the body opens and leaves open
        int definition = 0;
        int reader_depth = 0;
        Expansion pending;      // the repetition to expand
        std::string call_text;  // its opening line
    };

    void start_collection(Statement& s, Spelling spelling, bool macro, MacroDefinition&& definition,
                          Expansion&& repetition = Expansion{});
    int push(Statement& s, Expansion&& expansion, const std::string& call_text);
    void pop(Pass& pass);
    void abandon(Pass& pass);
    bool next_body_line(Expansion& frame, const BodyLine*& line);
    void expand_masm(const Expansion& frame, const std::string& in);
    void expand_nasm(const Expansion& frame, const std::string& in);
    const std::string* masm_value(const Expansion& frame, const std::string& word) const;
    const Expansion* nasm_macro_frame() const;
    int take_masm_word(Statement& s, MacroWord word, int fields);
    int take_nasm_word(Statement& s, uint8_t kind, const char* rest);
    int call_macro(Statement& s, const std::vector<int>& definitions, const char* arguments);
    int define_masm_macro(Statement& s);
    int define_nasm_macro(Statement& s, const char* rest);
    int define_text(const char* rest, bool expand_now);
    int assign_text(Statement& s, const char* rest);
    int masm_repetition(Statement& s, MacroWord word, const char* rest);
    int masm_value_argument(Statement& s, const char* begin, const char* end, std::string& text);
    void expand_defines(const std::string& in, std::string& out, int depth);
    int evaluate(Statement& s, const std::string& text, int32_t& value);

    std::vector<MacroDefinition> definitions_;
    // The macros by name: a MASM macro defined again replaces the one before;
    // NASM's of one name are told apart by the count of their arguments.
    std::unordered_map<std::string, std::vector<int>> macros_;
    std::unordered_map<std::string, TextDefine> defines_;
    std::vector<Expansion> frames_;
    Collection collection_;
    uint32_t expanded_lines_ = 0;
    uint32_t uniques_ = 0;
    std::string call_text_;
    LinePlace line_place_;
    bool active_ = false;
    bool abandon_pending_ = false;  // a limit was passed: the expansions end after this line
    std::vector<const std::string*> defines_open_;  // the %defines being expanded, innermost last
    static constexpr int DEFINE_BUDGET = 10000;      // %defines expanded in one line at most
    int define_budget_ = DEFINE_BUDGET;
    std::unique_ptr<Statement> scratch_;     // where directives' expressions are read
    // The line read last as its definition holds it, and whether a NASM
    // macro's arguments were put in it (a NASM definition keeps it as held).
    const std::string* raw_ = nullptr;
    bool raw_deferred_ = false;
    std::string out_;  // a line being expanded
    char text_[LINE_CAPACITY + 64];
    int text_length_ = 0;
};

}  // namespace vexa
