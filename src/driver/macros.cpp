// Macros and repetitions of both families, and NASM's one-line %defines.
#include "driver/macros.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "driver/assembly.h"
#include "encode/encode.h"
#include "parse/parse.h"
#include "parse/text_scan.h"

namespace vexa {

static_assert(SCAN_PADDING <= 64, "the expanded line's buffer keeps 64 bytes of padding");

namespace {

void report(Statement& s, int code) { s.assembly.diagnostics.report(s, code); }

const char* skip_blanks(const char* p) {
    while (is_blank(*p)) ++p;
    return p;
}

size_t name_length(const char* p) {
    size_t length = 0;
    while (is_name_char(p[length])) ++length;
    return length;
}

std::string upper(const char* p, size_t length) {
    std::string word(p, length);
    for (char& c : word) c = to_upper(c);
    return word;
}

std::string trimmed(const char* begin, const char* end) {
    while (begin < end && is_blank(*begin)) ++begin;
    while (end > begin && is_blank(end[-1])) --end;
    return std::string(begin, end);
}

// The first two words of a line as written (after a `label:`), upper case,
// a leading % kept: enough to see where a block opens and closes.
struct LineWords {
    std::string first;
    std::string second;
    size_t after_first;  // where the text after the first word begins
};

const char* take_word(const char* p, std::string& word) {
    p = skip_blanks(p);
    const char* start = p;
    if (*p == '%') ++p;
    p += name_length(p);
    word = upper(start, size_t(p - start));
    return p;
}

LineWords line_words(const char* text) {
    LineWords words;
    const char* p = take_word(text, words.first);
    if (*p == ':' && !words.first.empty()) p = take_word(p + 1, words.first);
    words.after_first = size_t(p - text);
    take_word(p, words.second);
    return words;
}

// Nothing but blanks and a comment from `p` to the line's end.
bool nothing_after(const char* p, const char* end) {
    while (p < end && is_blank(*p)) ++p;
    return p == end || *p == ';';
}

// The end of the quoted string that begins at `p`, its closing quote
// included, or `end` when it is not closed.
const char* string_end(const char* p, const char* end) {
    const char* closing = closing_quote(p, end);
    return closing ? closing + 1 : end;
}

// NASM's texts that no macro changes: a quoted string (' " `) is copied to
// `out` and `p` steps over it, or the comment, to the line's end. False for
// any other character.
bool copy_kept_text(const char*& p, const char* end, std::string& out) {
    const char* after = *p == ';' ? end : is_quote(*p) ? string_end(p, end) : p;
    out.append(p, size_t(after - p));
    bool kept = after != p;
    p = after;
    return kept;
}

bool one_of(const std::string& word, std::initializer_list<const char*> words) {
    for (const char* candidate : words) {
        if (word == candidate) return true;
    }
    return false;
}

// A word that opens or closes a conditional block, with or without NASM's %.
int condition_nesting(const std::string& word) {
    const char* w = word.c_str() + (word[0] == '%');
    if (std::strcmp(w, "ENDIF") == 0) return -1;
    if (w[0] != 'I' || w[1] != 'F') return 0;
    const Mnemonic* mnemonic = find_mnemonic(w);
    bool masm = mnemonic && mnemonic->handler == directive_condition && mnemonic->opcode <= COND_IFDIF;
    return masm || word[0] == '%' ? 1 : 0;  // NASM has more %if forms (%ifidn, %ifnum...)
}

// Where the operands of the split line begin as written, or "".
const char* raw_operands(const Statement& s) { return s.operands_at ? s.line_buffer + s.operands_at : ""; }

// Where the statement's line stands: in a file, or in a definition.
LinePlace place_of(const Statement& s, const MacroEngine& engine) {
    return s.expansion_depth ? engine.line_place() : LinePlace{s.file, s.line_number};
}

// MASM's arguments: separated by commas; <...> keeps commas and blanks (!
// takes the next character as it is), quotes keep theirs; %expr is the
// expression's value. Answers an error code.
struct RawArgument {
    const char* begin;
    const char* end;
};

std::vector<RawArgument> split_arguments(const char* p, Spelling spelling) {
    std::vector<RawArgument> arguments;
    p = skip_blanks(p);
    if (!*p) return arguments;
    const char open = spelling == Spelling::MASM ? '<' : '{';
    const char close = spelling == Spelling::MASM ? '>' : '}';
    const char* start = p;
    int nesting = 0;
    for (;; ++p) {
        char c = *p;
        if (c == 0 || (c == ',' && nesting == 0)) {
            arguments.push_back(RawArgument{start, p});
            if (c == 0) break;
            start = p + 1;
            continue;
        }
        if (c == '!' && spelling == Spelling::MASM && nesting > 0 && p[1]) {
            ++p;
        } else if (is_quote(c)) {
            const char* closing = closing_quote(p, p + std::strlen(p));
            if (closing) p = closing;
        } else if (c == open) {
            ++nesting;
        } else if (c == close && nesting > 0) {
            --nesting;
        }
    }
    return arguments;
}

// The text of one argument: blanks around it dropped, its outer brackets
// taken off, MASM's ! escapes undone.
std::string argument_text(RawArgument raw, Spelling spelling) {
    std::string text = trimmed(raw.begin, raw.end);
    const char open = spelling == Spelling::MASM ? '<' : '{';
    const char close = spelling == Spelling::MASM ? '>' : '}';
    if (text.size() < 2 || text.front() != open || text.back() != close) return text;
    text = text.substr(1, text.size() - 2);
    if (spelling == Spelling::MASM) {
        std::string plain;
        char quote = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (quote == '`' && text[i] == '\\' && i + 1 < text.size()) {
                plain += text[i++];  // `\`` does not close
            } else if (is_quote(text[i])) {
                quote = quote == text[i] ? 0 : quote ? quote : text[i];
            }
            if (!quote && text[i] == '!' && i + 1 < text.size()) ++i;
            plain += text[i];
        }
        return plain;
    }
    return text;
}

struct NasmWord {
    const char* word;  // after the %
    uint8_t kind;
};
enum NasmKind : uint8_t {
    N_MACRO, N_IMACRO, N_ENDMACRO, N_REP, N_ENDREP, N_EXITREP, N_EXITMACRO, N_DEFINE, N_XDEFINE, N_UNDEF,
    N_ASSIGN, N_ROTATE, N_INCLUDE, N_WARNING,
};
constexpr NasmWord nasm_words[] = {
    {"MACRO", N_MACRO},       {"IMACRO", N_IMACRO},   {"ENDMACRO", N_ENDMACRO}, {"ENDM", N_ENDMACRO},
    {"REP", N_REP},           {"ENDREP", N_ENDREP},   {"ENDR", N_ENDREP},       {"EXITREP", N_EXITREP},
    {"EXITMACRO", N_EXITMACRO}, {"DEFINE", N_DEFINE}, {"IDEFINE", N_DEFINE},    {"XDEFINE", N_XDEFINE},
    {"XIDEFINE", N_XDEFINE},  {"UNDEF", N_UNDEF},     {"ASSIGN", N_ASSIGN},     {"IASSIGN", N_ASSIGN},
    {"ROTATE", N_ROTATE},     {"INCLUDE", N_INCLUDE}, {"WARNING", N_WARNING},
};

const NasmWord* nasm_word(const std::string& word) {
    for (const NasmWord& entry : nasm_words) {
        if (word == entry.word) return &entry;
    }
    return nullptr;
}

// The lines whose words a %define must not replace: those that name one.
bool names_a_define(const std::string& word) {
    return one_of(word, {"%DEFINE", "%IDEFINE", "%XDEFINE", "%XIDEFINE", "%UNDEF", "%ASSIGN", "%IASSIGN", "%IFDEF",
                         "%IFNDEF", "%ELIFDEF", "%ELIFNDEF", "%MACRO", "%IMACRO"});
}

// A name's text in NASM's %%name, unique to one expansion.
std::string unique_name(uint32_t unique, const char* name, size_t length) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "??%u.", unsigned(unique));
    return prefix + upper(name, length);
}

}  // namespace

MacroEngine::MacroEngine() = default;
MacroEngine::~MacroEngine() = default;

void MacroEngine::begin_pass() {
    definitions_.clear();
    macros_.clear();
    defines_.clear();
    frames_.clear();
    collection_ = Collection{};
    expanded_lines_ = 0;
    uniques_ = 0;
    active_ = false;
    abandon_pending_ = false;
    call_text_.clear();
}

bool MacroEngine::defines_name(const char* name, size_t length) const {
    if (defines_.empty() && macros_.empty()) return false;
    std::string word = upper(name, length);
    return defines_.count(word) || macros_.count(word);
}

// ---- Collecting a definition ---------------------------------------------------

void MacroEngine::start_collection(Statement& s, Spelling spelling, bool macro, MacroDefinition&& definition,
                                   Expansion&& repetition) {
    definition.spelling = spelling;
    definition.place = place_of(s, *this);
    definitions_.push_back(std::move(definition));
    collection_.open = true;
    active_ = true;
    collection_.spelling = spelling;
    collection_.macro = macro;
    collection_.nesting = 0;
    collection_.conditions = 0;
    collection_.definition = int(definitions_.size() - 1);
    collection_.reader_depth = s.pass.reader.depth();
    collection_.call_text.assign(s.line_buffer, size_t(s.statement_text_length));
    collection_.pending = std::move(repetition);
    collection_.pending.call = place_of(s, *this);
    s.assembly.conditional = true;
}

void MacroEngine::collect(Statement& s) {
    // NASM reads a definition's lines as written: a %rep or %macro inside a
    // macro sees the arguments when its own lines are expanded.
    bool as_written = collection_.spelling == Spelling::NASM && s.expansion_depth && raw_deferred_;
    if (as_written) {
        // Listed as it is kept, from the padded buffer the listing reads.
        size_t length = raw_->size() < size_t(LINE_CAPACITY - 2) ? raw_->size() : size_t(LINE_CAPACITY - 2);
        std::memcpy(text_, raw_->data(), length);
        std::memset(text_ + length, 0, 64);
        text_length_ = int(length);
        s.listing_line = text_;
        s.listing_line_length = text_length_;
    }
    std::string text(s.listing_line, size_t(s.listing_line_length));
    LineWords words = line_words(text.c_str());
    bool opens;
    bool closes;
    if (collection_.spelling == Spelling::MASM) {
        opens = words.second == "MACRO" || one_of(words.first, {"REPT", "IRP", "IRPC", "FOR", "FORC", "WHILE"});
        closes = words.first == "ENDM";
    } else if (collection_.macro) {
        opens = one_of(words.first, {"%MACRO", "%IMACRO"});
        closes = one_of(words.first, {"%ENDMACRO", "%ENDM"});
    } else {
        opens = words.first == "%REP";
        closes = one_of(words.first, {"%ENDREP", "%ENDR"});
    }
    if (closes && collection_.nesting == 0) {
        collection_.open = false;
        split_line(s);  // its messages point into its own fields
        if (!nothing_after(text.data() + words.after_first, text.data() + text.size())) report(s, ERR_EXTRA_OPERAND);
        if (collection_.conditions != 0) report(s, ERR_UNTERMINATED);
        MacroDefinition& definition = definitions_[size_t(collection_.definition)];
        if (collection_.macro) {
            std::vector<int>& named = macros_[definition.name];
            // A NASM macro replaces only the one of its counts.
            auto same_counts = [&](int other) {
                const MacroDefinition& before = definitions_[size_t(other)];
                return definition.spelling == Spelling::MASM || before.spelling == Spelling::MASM ||
                       (before.least == definition.least && before.most == definition.most);
            };
            named.erase(std::remove_if(named.begin(), named.end(), same_counts), named.end());
            named.push_back(collection_.definition);
            return;
        }
        Expansion expansion = std::move(collection_.pending);
        expansion.definition = collection_.definition;
        bool rounds = expansion.kind == Expansion::IRP || expansion.kind == Expansion::IRPC
                          ? !expansion.items.empty() : expansion.rounds_left > 0;
        if (!rounds || definition.body.empty()) return;
        int error = push(s, std::move(expansion), collection_.call_text);
        if (error) report(s, error);
        return;
    }
    if (!words.first.empty()) collection_.conditions += condition_nesting(words.first);
    collection_.nesting += (opens ? 1 : 0) - (closes ? 1 : 0);
    definitions_[size_t(collection_.definition)].body.push_back(BodyLine{std::move(text), place_of(s, *this)});
}

bool MacroEngine::drop_collection_below(int reader_depth) {
    if (!collection_.open || collection_.reader_depth <= reader_depth) return false;
    collection_.open = false;
    return true;
}

// ---- Expanding -------------------------------------------------------------------

int MacroEngine::push(Statement& s, Expansion&& expansion, const std::string& call_text) {
    Pass& pass = s.pass;
    if (frames_.size() >= size_t(MAX_EXPANSION_DEPTH)) {
        abandon_pending_ = true;  // once the call is reported with its calls
        return ERR_NESTED_TOO_DEEP;
    }
    if (frames_.empty()) call_text_ = call_text;
    expansion.reader_depth = pass.reader.depth();
    expansion.condition_depth = pass.conditions.depth;
    expansion.next = 0;
    frames_.push_back(std::move(expansion));
    s.assembly.conditional = true;
    active_ = true;
    return 0;
}

void MacroEngine::pop(Pass& pass) {
    // EXITM inside an IF leaves the blocks the expansion opened.
    if (pass.conditions.depth > frames_.back().condition_depth) pass.conditions.depth = frames_.back().condition_depth;
    frames_.pop_back();
}

void MacroEngine::abandon(Pass& pass) {
    while (!frames_.empty()) pop(pass);
}

bool MacroEngine::next_body_line(Expansion& frame, const BodyLine*& line) {
    const std::vector<BodyLine>& body = definitions_[size_t(frame.definition)].body;
    for (;;) {
        if (frame.next < body.size()) {
            line = &body[frame.next++];
            return true;
        }
        frame.next = 0;
        frame.locals.clear();
        switch (frame.kind) {
            case Expansion::REPT:
            case Expansion::NASM_REP:
                if (--frame.rounds_left > 0 && !body.empty()) continue;
                return false;
            case Expansion::IRP:
            case Expansion::IRPC:
                if (++frame.item < frame.items.size() && !body.empty()) continue;
                return false;
            default: return false;
        }
    }
}

int MacroEngine::read(Pass& pass, char* buffer, int capacity, LineMarks& marks) {
    if (abandon_pending_) {
        abandon_pending_ = false;
        abandon(pass);
        return READ_END;
    }
    Expansion& frame = frames_.back();
    const BodyLine* line = nullptr;
    if (!next_body_line(frame, line)) {
        pop(pass);
        return READ_END;
    }
    line_place_ = line->place;
    raw_ = &line->text;
    raw_deferred_ = false;
    if (frame.spelling == Spelling::MASM) {
        expand_masm(frame, line->text);
    } else if (const Expansion* macro = nasm_macro_frame()) {
        expand_nasm(*macro, line->text);
        raw_deferred_ = true;
    } else {
        out_ = line->text;
    }
    int result;
    size_t longest = size_t(capacity - 2);
    size_t length = out_.size();
    if (length > longest) {
        length = longest;
        result = READ_TOO_LONG;
    } else {
        result = int(length) + 1;
    }
    std::memcpy(text_, out_.data(), length);
    std::memset(text_ + length, 0, 64);
    text_length_ = int(length);
    std::memcpy(buffer, out_.data(), length);
    std::memset(buffer + length, 0, SCAN_PADDING);
    marks = scan::mark_text(buffer, length);
    if (++expanded_lines_ > MAX_EXPANDED_LINES) {
        abandon_pending_ = true;  // after this line is reported
        return READ_EXPANSION_LIMIT;
    }
    return result;
}

// NASM: the innermost macro's expansion, whose arguments the lines of its
// repetitions read too; null when the innermost expansion is no NASM one.
const Expansion* MacroEngine::nasm_macro_frame() const {
    for (size_t i = frames_.size(); i-- > 0;) {
        if (frames_[i].spelling != Spelling::NASM) return nullptr;
        if (frames_[i].kind == Expansion::MACRO) return &frames_[i];
    }
    return nullptr;
}

// MASM: a parameter's or LOCAL name's value in this expansion, or null.
const std::string* MacroEngine::masm_value(const Expansion& frame, const std::string& word) const {
    for (const auto& [name, value] : frame.locals) {
        if (name == word) return &value;
    }
    if (frame.kind == Expansion::IRP || frame.kind == Expansion::IRPC) {
        return word == frame.parameter ? &frame.items[frame.item] : nullptr;
    }
    if (frame.kind != Expansion::MACRO) return nullptr;
    const auto& parameters = definitions_[size_t(frame.definition)].parameters;
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].name == word) return &frame.arguments[i];
    }
    return nullptr;
}

// MASM: each parameter's name in the line is its value; an & beside it
// joins it to the text around and goes. In a quoted string only a name
// beside an & is a parameter; a comment is kept as written.
void MacroEngine::expand_masm(const Expansion& frame, const std::string& in) {
    out_.clear();
    const char* p = in.c_str();
    const char* end = p + in.size();  // a zero byte is a character like any other
    char quote = 0;
    while (p < end) {
        char c = *p;
        if (!quote && c == ';') {
            out_.append(p, size_t(end - p));
            break;
        }
        if (quote == '`' && c == '\\' && p + 1 < end) {  // `\`` does not close
            out_.append(p, 2);
            p += 2;
            continue;
        }
        if (is_quote(c)) {
            if (!quote) {
                quote = c;
            } else if (quote == c) {
                quote = 0;
            }
            out_ += *p++;
            continue;
        }
        if (is_digit(c)) {
            size_t length = name_length(p);
            out_.append(p, length);
            p += length;
            continue;
        }
        if (!is_name_char(c)) {
            out_ += *p++;
            continue;
        }
        size_t length = name_length(p);
        const std::string* value = masm_value(frame, upper(p, length));
        bool joined_before = p > in.c_str() && p[-1] == '&';
        bool joined_after = p[length] == '&';
        if (value && (!quote || joined_before || joined_after)) {
            if (joined_before && !out_.empty() && out_.back() == '&') out_.pop_back();
            out_ += *value;
            p += length + (joined_after ? 1 : 0);
            continue;
        }
        out_.append(p, length);
        p += length;
    }
}

// NASM: %1... and %{1}... are the arguments (after %rotate), %0 their count,
// %%name a name of this expansion's own, %+ joins; strings and the comment
// are kept as written.
void MacroEngine::expand_nasm(const Expansion& frame, const std::string& in) {
    out_.clear();
    const char* p = in.c_str();
    const char* end = p + in.size();
    int count = int(frame.arguments.size());
    auto argument = [&](int number) {
        if (number == 0) {
            out_ += std::to_string(count);
        } else if (number <= count) {
            int rotated = (number - 1 + frame.rotation) % count;
            out_ += frame.arguments[size_t(rotated < 0 ? rotated + count : rotated)];
        }
    };
    while (p < end) {
        char c = *p;
        if (copy_kept_text(p, end, out_)) continue;
        if (c != '%') {
            out_ += *p++;
            continue;
        }
        if (is_digit(p[1])) {
            char* after;
            long number = std::strtol(p + 1, &after, 10);
            argument(int(number));
            p = after;
        } else if (p[1] == '{' && is_digit(p[2])) {
            char* after;
            long number = std::strtol(p + 2, &after, 10);
            if (*after != '}') {
                out_ += *p++;
                continue;
            }
            argument(int(number));
            p = after + 1;
        } else if (p[1] == '%' && is_name_char(p[2])) {
            size_t length = name_length(p + 2);
            out_ += unique_name(frame.unique, p + 2, length);
            p += 2 + length;
        } else if (p[1] == '+') {
            while (!out_.empty() && is_blank(out_.back())) out_.pop_back();
            p = skip_blanks(p + 2);
        } else {
            out_ += *p++;
        }
    }
}

// ---- The lines of the macro family -------------------------------------------------

MacroEngine::Taken MacroEngine::take_line(Statement& s, int& fields) {
    // A zero byte outside strings leaves the line to be reported as it is.
    if (s.zero_byte_in_statement) return Taken::NOT_MINE;
    const char* first = skip_blanks(s.line_buffer);
    int error = 0;
    if (*first == '%') {
        std::string word;
        const char* rest = take_word(first + 1, word);
        const NasmWord* entry = nasm_word(word);
        if (entry) {
            if (entry->kind == N_INCLUDE) {
                // %include is INCLUDE.
                char* percent = const_cast<char*>(first);
                *percent = ' ';
                fields = split_line(s);
                return Taken::NOT_MINE;
            }
            error = take_nasm_word(s, entry->kind, rest);
            if (error) report(s, error);
            return Taken::DONE;
        }
    }
    if (s.mnemonic && s.mnemonic->handler == directive_macro && !(fields & FIELD_LABEL_ERROR)) {
        error = take_masm_word(s, MacroWord(s.mnemonic->opcode), fields);
        if (error) report(s, error);
        return Taken::DONE;
    }
    if (macros_.empty()) return Taken::NOT_MINE;
    // A macro's name first on the line, or after a label and its colon.
    const char* p = first;
    size_t length = name_length(p);
    if (length && p[length] == ':') {
        p = skip_blanks(p + length + 1);
        length = name_length(p);
    }
    if (!length) return Taken::NOT_MINE;
    auto found = macros_.find(upper(p, length));
    if (found == macros_.end()) return Taken::NOT_MINE;
    error = call_macro(s, found->second, p + length);
    if (error) report(s, error);
    return Taken::CALLED;
}

int MacroEngine::take_masm_word(Statement& s, MacroWord word, int fields) {
    Pass& pass = s.pass;
    const char* rest = raw_operands(s);
    switch (word) {
        case MW_MACRO:
            if (!(fields & FIELD_LABEL) || s.label_colon) return ERR_SYNTAX;
            return define_masm_macro(s);
        case MW_ENDM:
            return ERR_SYNTAX;  // no block open
        case MW_REPT:
        case MW_IRP:
        case MW_IRPC:
            return masm_repetition(s, word, rest);
        case MW_LOCAL: {
            if (!s.expansion_depth || frames_.empty() || frames_.back().spelling != Spelling::MASM) return ERR_SYNTAX;
            for (RawArgument raw : split_arguments(rest, Spelling::MASM)) {
                std::string name = upper(raw.begin, size_t(raw.end - raw.begin));
                name = trimmed(name.data(), name.data() + name.size());
                if (name.empty() || name_length(name.c_str()) != name.size() || is_digit(name[0])) return ERR_SYNTAX;
                char unique[16];
                std::snprintf(unique, sizeof unique, "??%04X", unsigned(uniques_++ & 0xFFFF));
                frames_.back().locals.emplace_back(name, unique);
            }
            return 0;
        }
        case MW_EXITM:
            if (!s.expansion_depth || frames_.empty()) return ERR_SYNTAX;
            pop(pass);
            return *rest ? ERR_EXTRA_OPERAND : 0;
        case MW_PURGE:
            for (RawArgument raw : split_arguments(rest, Spelling::MASM)) {
                std::string name = trimmed(raw.begin, raw.end);
                if (!macros_.erase(upper(name.data(), name.size()))) return ERR_SYMBOL_NOT_DEFINED;
            }
            return *rest ? 0 : ERR_MISSING_OPERAND;
    }
    return ERR_SYNTAX;
}

int MacroEngine::take_nasm_word(Statement& s, uint8_t kind, const char* rest) {
    Pass& pass = s.pass;
    s.assembly.conditional = true;
    rest = skip_blanks(rest);
    switch (kind) {
        case N_MACRO:
        case N_IMACRO:
            return define_nasm_macro(s, rest);
        case N_ENDMACRO:
        case N_ENDREP:
            return ERR_SYNTAX;  // no block open
        case N_REP: {
            int32_t rounds = 0;
            if (int error = evaluate(s, trimmed(rest, rest + std::strlen(rest)), rounds)) return error;
            if (rounds < 0) return ERR_INVALID_NUMBER;
            Expansion expansion;
            expansion.kind = Expansion::NASM_REP;
            expansion.spelling = Spelling::NASM;
            expansion.rounds_left = rounds;
            start_collection(s, Spelling::NASM, false, MacroDefinition{}, std::move(expansion));
            return 0;
        }
        case N_EXITREP:
        case N_EXITMACRO: {
            auto wanted = kind == N_EXITREP ? Expansion::NASM_REP : Expansion::MACRO;
            size_t at = frames_.size();
            while (at > 0 && frames_[at - 1].kind != wanted) --at;
            if (!s.expansion_depth || at == 0) return ERR_SYNTAX;
            while (frames_.size() >= at) pop(pass);
            return 0;
        }
        case N_DEFINE:
        case N_XDEFINE:
            return define_text(rest, kind == N_XDEFINE);
        case N_UNDEF: {
            size_t length = name_length(rest);
            if (!length) return ERR_MISSING_OPERAND;
            defines_.erase(upper(rest, length));
            return *skip_blanks(rest + length) ? ERR_EXTRA_OPERAND : 0;
        }
        case N_ASSIGN:
            return assign_text(s, rest);
        case N_ROTATE: {
            size_t at = frames_.size();
            while (at > 0 && frames_[at - 1].kind != Expansion::MACRO) --at;
            if (!s.expansion_depth || at == 0) return ERR_SYNTAX;
            int32_t turn = 0;
            std::string text;
            expand_defines(trimmed(rest, rest + std::strlen(rest)), text, 0);
            if (int error = evaluate(s, text, turn)) return error;
            Expansion& frame = frames_[at - 1];
            int count = int(frame.arguments.size());
            if (count) frame.rotation = int((frame.rotation + int64_t(turn) % count + count) % count);
            return 0;
        }
        case N_WARNING: {
            std::string text = trimmed(rest, rest + std::strlen(rest));
            const char* close = text.size() >= 2 ? closing_quote(text.data(), text.data() + text.size()) : nullptr;
            if (text[0] == '`' && close == &text.back()) {
                std::string written;
                if (string_text(text.data(), close, written) == 0) text = written;  // escapes undone
            } else if (text.size() >= 2 && is_quote(text[0]) && text.back() == text[0]) {
                text = text.substr(1, text.size() - 2);
            }
            if (text.empty()) return ERR_MISSING_OPERAND;
            s.assembly.diagnostics.warn_written(s, text);
            return 0;
        }
    }
    return ERR_SYNTAX;
}

// NAME MACRO p1, p2:=default, p3:REQ, p4:VARARG
int MacroEngine::define_masm_macro(Statement& s) {
    MacroDefinition definition;
    definition.name.assign(s.label_field, size_t(s.label_length));
    for (RawArgument raw : split_arguments(raw_operands(s), Spelling::MASM)) {
        std::string text = trimmed(raw.begin, raw.end);
        size_t length = name_length(text.c_str());
        if (!length || is_digit(text[0])) return ERR_SYNTAX;
        MacroDefinition::Parameter parameter;
        parameter.name = upper(text.c_str(), length);
        const char* p = skip_blanks(text.c_str() + length);
        if (*p == ':') {
            p = skip_blanks(p + 1);
            if (*p == '=') {
                parameter.fallback = argument_text(RawArgument{p + 1, text.c_str() + text.size()}, Spelling::MASM);
            } else {
                std::string type = upper(p, name_length(p));
                p += type.size();
                if (type == "REQ") {
                    parameter.required = true;
                } else if (type == "VARARG") {
                    parameter.rest = true;
                } else {
                    return ERR_SYNTAX;
                }
                if (*skip_blanks(p)) return ERR_SYNTAX;
            }
        } else if (*p) {
            return ERR_SYNTAX;
        }
        definition.parameters.push_back(std::move(parameter));
    }
    start_collection(s, Spelling::MASM, true, std::move(definition));
    return 0;
}

// %macro name n, %macro name least-most, a + after the count for a greedy
// last parameter, `-*` for any count, then the defaults.
int MacroEngine::define_nasm_macro(Statement& s, const char* rest) {
    MacroDefinition definition;
    size_t length = name_length(rest);
    if (!length || is_digit(*rest)) return ERR_SYNTAX;
    definition.name = upper(rest, length);
    const char* p = skip_blanks(rest + length);
    if (!is_digit(*p)) return *p ? ERR_SYNTAX : ERR_MISSING_OPERAND;
    char* after;
    definition.least = int(std::strtol(p, &after, 10));
    definition.most = definition.least;
    p = after;
    if (*p == '-') {
        if (p[1] == '*') {
            definition.most = 1 << 16;
            p += 2;
        } else if (is_digit(p[1])) {
            definition.most = int(std::strtol(p + 1, &after, 10));
            p = after;
        } else {
            return ERR_SYNTAX;
        }
    }
    if (*p == '+') {
        definition.greedy = true;
        ++p;
    }
    if (definition.most < definition.least || definition.least > 255) return ERR_INVALID_NUMBER;
    p = skip_blanks(p);
    if (strncasecmp(p, ".nolist", 7) == 0) p = skip_blanks(p + 7);
    for (RawArgument raw : split_arguments(p, Spelling::NASM)) definition.defaults.push_back(argument_text(raw, Spelling::NASM));
    start_collection(s, Spelling::NASM, true, std::move(definition));
    return 0;
}

int MacroEngine::masm_repetition(Statement& s, MacroWord word, const char* rest) {
    Expansion expansion;
    expansion.spelling = Spelling::MASM;
    if (word == MW_REPT) {
        int32_t rounds = 0;
        if (int error = evaluate(s, trimmed(rest, rest + std::strlen(rest)), rounds)) return error;
        if (rounds < 0) return ERR_INVALID_NUMBER;
        expansion.kind = Expansion::REPT;
        expansion.rounds_left = rounds;
    } else {
        // IRP x,<a,b,c> and IRPC x,text: the parameter, a comma, the items.
        size_t length = name_length(skip_blanks(rest));
        const char* name = skip_blanks(rest);
        const char* p = skip_blanks(name + length);
        if (!length || is_digit(*name)) return *rest ? ERR_SYNTAX : ERR_MISSING_OPERAND;
        if (*p != ',') return ERR_MISSING_OPERAND;
        expansion.parameter = upper(name, length);
        std::string list = trimmed(p + 1, p + std::strlen(p));
        if (word == MW_IRP) {
            expansion.kind = Expansion::IRP;
            if (list.size() >= 2 && list.front() == '<' && list.back() == '>') list = list.substr(1, list.size() - 2);
            for (RawArgument raw : split_arguments(list.c_str(), Spelling::MASM)) {
                std::string item = argument_text(raw, Spelling::MASM);
                if (int error = masm_value_argument(s, raw.begin, raw.end, item)) return error;
                expansion.items.push_back(std::move(item));
            }
        } else {
            expansion.kind = Expansion::IRPC;
            std::string text = argument_text(RawArgument{list.data(), list.data() + list.size()}, Spelling::MASM);
            for (char c : text) expansion.items.emplace_back(1, c);
        }
    }
    start_collection(s, Spelling::MASM, false, MacroDefinition{}, std::move(expansion));
    return 0;
}

// A MASM argument written %expr is the expression's value, in decimal.
int MacroEngine::masm_value_argument(Statement& s, const char* begin, const char* end, std::string& text) {
    const char* p = skip_blanks(begin);
    if (p >= end || *p != '%') return 0;
    int32_t value = 0;
    if (int error = evaluate(s, trimmed(p + 1, end), value)) return error;
    text = std::to_string(value);
    return 0;
}

int MacroEngine::call_macro(Statement& s, const std::vector<int>& definitions, const char* text) {
    // Of NASM's macros of one name, the one whose counts take the arguments.
    int index = definitions.back();
    if (definitions.size() > 1) {
        int given = int(split_arguments(text, Spelling::NASM).size());
        for (int candidate : definitions) {
            const MacroDefinition& d = definitions_[size_t(candidate)];
            if (given >= d.least && (given <= d.most || d.greedy)) index = candidate;
        }
    }
    const MacroDefinition& definition = definitions_[size_t(index)];
    Expansion expansion;
    expansion.kind = Expansion::MACRO;
    expansion.spelling = definition.spelling;
    expansion.definition = index;
    expansion.call = place_of(s, *this);
    std::vector<RawArgument> raw = split_arguments(text, definition.spelling);
    if (definition.spelling == Spelling::MASM) {
        const auto& parameters = definition.parameters;
        bool rest = !parameters.empty() && parameters.back().rest;
        if (raw.size() > parameters.size() && !rest) {
            // A call with one empty argument to a macro without any is a call without.
            bool empty = raw.size() == 1 && trimmed(raw[0].begin, raw[0].end).empty();
            if (!empty) return ERR_EXTRA_OPERAND;
        }
        for (size_t i = 0; i < parameters.size(); ++i) {
            std::string value;
            if (parameters[i].rest && i < raw.size()) {
                value = trimmed(raw[i].begin, raw.back().end);
            } else if (i < raw.size()) {
                value = argument_text(raw[i], Spelling::MASM);
                if (int error = masm_value_argument(s, raw[i].begin, raw[i].end, value)) return error;
            }
            if (value.empty()) value = parameters[i].fallback;
            if (value.empty() && parameters[i].required) return ERR_MISSING_ARGUMENT;
            expansion.arguments.push_back(std::move(value));
        }
    } else {
        int given = int(raw.size());
        if (given > definition.most && definition.greedy && definition.most > 0) {
            raw[size_t(definition.most - 1)].end = raw.back().end;
            raw.resize(size_t(definition.most));
            given = definition.most;
        }
        if (given < definition.least) return ERR_MISSING_ARGUMENT;
        if (given > definition.most) return ERR_EXTRA_OPERAND;
        for (RawArgument argument : raw) expansion.arguments.push_back(argument_text(argument, Spelling::NASM));
        for (int i = given; i < definition.most && size_t(i - definition.least) < definition.defaults.size(); ++i) {
            expansion.arguments.push_back(definition.defaults[size_t(i - definition.least)]);
        }
        expansion.unique = uniques_++;
    }
    return push(s, std::move(expansion), std::string(s.line_buffer, size_t(s.statement_text_length)));
}

// ---- One-line macros ----------------------------------------------------------------

// %define NAME text, %define NAME(a,b) text; %xdefine expands the text now.
int MacroEngine::define_text(const char* rest, bool expand_now) {
    size_t length = name_length(rest);
    if (!length || is_digit(*rest)) return *rest ? ERR_SYNTAX : ERR_MISSING_OPERAND;
    TextDefine define;
    const char* p = rest + length;
    if (*p == '(') {
        define.takes_arguments = true;
        const char* close = std::strchr(p, ')');
        if (!close) return ERR_SYNTAX;
        std::string list(p + 1, close);
        for (RawArgument raw : split_arguments(list.c_str(), Spelling::NASM)) {
            std::string name = trimmed(raw.begin, raw.end);
            if (name.empty() || name_length(name.c_str()) != name.size()) return ERR_SYNTAX;
            define.parameters.push_back(upper(name.data(), name.size()));
        }
        p = close + 1;
    }
    std::string text = trimmed(p, p + std::strlen(p));
    if (expand_now) {
        expand_defines(text, define.text, 0);
    } else {
        define.text = std::move(text);
    }
    defines_[upper(rest, length)] = std::move(define);
    active_ = true;
    return 0;
}

// %assign NAME expr: NAME stands for the expression's value now.
int MacroEngine::assign_text(Statement& s, const char* rest) {
    size_t length = name_length(rest);
    if (!length || is_digit(*rest)) return *rest ? ERR_SYNTAX : ERR_MISSING_OPERAND;
    std::string expression;
    const char* p = rest + length;
    expand_defines(trimmed(p, p + std::strlen(p)), expression, 0);
    int32_t value = 0;
    if (int error = evaluate(s, expression, value)) return error;
    TextDefine define;
    define.text = std::to_string(value);
    defines_[upper(rest, length)] = std::move(define);
    active_ = true;
    return 0;
}

// Each name of a %define in `in` becomes its text, itself expanded (but
// never a define within its own text).
void MacroEngine::expand_defines(const std::string& in, std::string& out, int depth) {
    constexpr int DEEPEST = 32;
    if (depth == 0) define_budget_ = DEFINE_BUDGET;
    out.clear();
    const char* p = in.c_str();
    const char* end = p + in.size();
    while (p < end) {
        char c = *p;
        if (copy_kept_text(p, end, out)) continue;
        if (!is_name_char(c) || is_digit(c)) {
            size_t length = is_digit(c) ? name_length(p) : 1;
            out.append(p, length);
            p += length;
            continue;
        }
        size_t length = name_length(p);
        std::string word = upper(p, length);
        // A line's %defines are expanded so many times at most, so that
        // texts that double at each level cannot run away.
        bool room = depth < DEEPEST && define_budget_ > 0 && out.size() < size_t(LINE_CAPACITY);
        auto found = room ? defines_.find(word) : defines_.end();
        bool active = false;
        for (const std::string* name : defines_open_) active = active || *name == word;
        if (found == defines_.end() || active) {
            out.append(p, length);
            p += length;
            continue;
        }
        const TextDefine& define = found->second;
        const char* after = p + length;
        std::string text = define.text;
        if (define.takes_arguments) {
            const char* open = skip_blanks(after);
            if (*open != '(') {
                out.append(p, length);  // the name alone is no call
                p += length;
                continue;
            }
            // The arguments, up to the matching parenthesis.
            int nesting = 0;
            const char* close = open;
            for (; *close; ++close) {
                if (*close == '(') ++nesting;
                if (*close == ')' && --nesting == 0) break;
            }
            if (!*close) {
                out.append(p, length);
                p += length;
                continue;
            }
            std::string list(open + 1, close);
            std::vector<std::string> values;
            int level = 0;
            const char* start = list.c_str();
            for (const char* q = list.c_str();; ++q) {
                if (*q == '(') ++level;
                if (*q == ')') --level;
                if (*q == 0 || (*q == ',' && level == 0)) {
                    values.push_back(trimmed(start, q));
                    if (!*q) break;
                    start = q + 1;
                }
            }
            // The parameters' names in the text become the arguments.
            std::string replaced;
            for (const char* q = define.text.c_str(); *q;) {
                size_t n = is_name_char(*q) && !is_digit(*q) ? name_length(q) : 0;
                if (!n) {
                    replaced += *q++;
                    continue;
                }
                std::string name = upper(q, n);
                size_t i = 0;
                while (i < define.parameters.size() && define.parameters[i] != name) ++i;
                replaced += i < define.parameters.size() && i < values.size() ? values[i] : std::string(q, n);
                q += n;
            }
            text = std::move(replaced);
            after = close + 1;
        }
        --define_budget_;
        defines_open_.push_back(&found->first);
        std::string expanded;
        expand_defines(text, expanded, depth + 1);
        defines_open_.pop_back();
        out += expanded;
        p = after;
    }
}

LineMarks MacroEngine::substitute_defines(Statement& s, const LineMarks& marks) {
    size_t length = size_t(marks.end - s.line_buffer);
    std::string line(s.line_buffer, length);
    LineWords words = line_words(line.c_str());
    if (words.first[0] == '%' && names_a_define(words.first)) return marks;
    expand_defines(line, out_, 0);
    if (out_ == line) return marks;
    s.assembly.conditional = true;
    size_t longest = size_t(LINE_CAPACITY - 2);
    length = out_.size() < longest ? out_.size() : longest;
    std::memcpy(s.line_buffer, out_.data(), length);
    std::memset(s.line_buffer + length, 0, SCAN_PADDING);
    return scan::mark_text(s.line_buffer, length);
}

// ---- Values ------------------------------------------------------------------------

// The value of an expression written in a directive's text (REPT n,
// %assign, %rep, %expr): it must be known where it stands.
int MacroEngine::evaluate(Statement& s, const std::string& text, int32_t& value) {
    if (text.empty()) return ERR_MISSING_OPERAND;
    if (!scratch_) scratch_ = std::make_unique<Statement>(s.assembly, s.pass);
    Statement& t = *scratch_;
    t.begin(s.index);
    t.file = s.file;
    t.line_number = s.line_number;
    constexpr char lead[] = "  DW ";
    size_t room = size_t(LINE_CAPACITY - 2) - (sizeof lead - 1);
    size_t length = text.size() < room ? text.size() : room;
    std::memcpy(t.line_buffer, lead, sizeof lead - 1);
    std::memcpy(t.line_buffer + sizeof lead - 1, text.data(), length);
    std::memset(t.line_buffer + sizeof lead - 1 + length, 0, SCAN_PADDING);
    split_line(t);
    const char* p = t.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    Expression result{};
    if (int error = parse_expression(t, &p, result)) return error;
    if (*p) return ERR_SYNTAX;
    if (result.unresolved) return ERR_SYMBOL_NOT_DEFINED;
    value = result.value;
    return 0;
}

int directive_macro(const Mnemonic&, Statement&) { return ERR_SYNTAX; }

}  // namespace vexa
