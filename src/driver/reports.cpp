// Reports written from an assembly's result: diagnostics in the GNU format,
// the symbol map and the make rule.
#include <algorithm>
#include <cstdio>
#include <string>

#include "driver/assembler.h"

namespace vexa {

namespace {

constexpr int32_t TAB_STOP = 8;

const char* severity_word(Diagnostic::Severity severity) {
    switch (severity) {
        case Diagnostic::WARNING: return "warning";
        case Diagnostic::NOTE: return "note";
        default: return "error";
    }
}

// "FILE:LINE:COLUMN: " of a place on a line, "FILE: " of a whole file,
// "vexa: " of no file.
std::string place(const std::string& path, int32_t line, int32_t column) {
    if (path.empty()) return "vexa: ";
    if (line <= 0) return path + ": ";
    return path + ":" + std::to_string(line) + ":" + std::to_string(column > 0 ? column : 1) + ": ";
}

std::string expand_tabs(const std::string& line) {
    std::string shown;
    for (char c : line) {
        if (c == '\t') {
            shown.append(size_t(TAB_STOP - int32_t(shown.size()) % TAB_STOP), ' ');
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace

int32_t display_column(const std::string& line, int32_t column) {
    int32_t shown = 0;
    for (int32_t i = 0; i + 1 < column; ++i) {
        if (size_t(i) < line.size() && line[size_t(i)] == '\t') {
            shown += TAB_STOP - shown % TAB_STOP;
        } else {
            ++shown;
        }
    }
    return shown + 1;
}

std::string gnu_diagnostics(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& d : diagnostics) {
        // A line of an expansion is told where it stands in its definition.
        bool expanded = !d.expanded_line.empty();
        const std::string& line_text = expanded ? d.expanded_line : d.text;
        int32_t line = expanded ? d.definition_line : d.line;
        int32_t column = line > 0 ? display_column(line_text, d.column) : 0;
        std::string at = place(expanded ? d.definition_path : d.path, line, column);
        text += at + severity_word(d.severity) + ": " + d.message;
        if (d.warning) text += std::string(" [-w=") + warning_group_name(d.warning) + "]";
        text += '\n';
        if (line > 0) {
            text += expand_tabs(line_text) + '\n';
            text += std::string(size_t(column - 1), ' ') + "^\n";
        }
        for (const Diagnostic::Note& note : d.notes) {
            std::string note_at = note.path.empty() ? at : place(note.path, note.line, note.column);
            text += note_at + "note: " + note.message + '\n';
        }
    }
    return text;
}

namespace {

std::string hex_value(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

std::string where(const AssemblyResult::Use& use, const std::string& main_source) {
    std::string line = std::to_string(use.line);
    return use.path == main_source ? line : use.path + ":" + line;
}

void append_padded(std::string& text, const std::string& field, size_t width) {
    text += field;
    if (field.size() < width) text.append(width - field.size(), ' ');
}

// Spaces and other characters make gives a meaning to, escaped.
std::string make_word(const std::string& path) {
    std::string word;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') word += '\\';
        if (c == '$') word += '$';
        word += c;
    }
    return word;
}

}  // namespace

std::string symbol_map(const AssemblyResult& result, const std::string& main_source) {
    std::vector<const AssemblyResult::Symbol*> by_name;
    size_t name_width = 4;
    size_t defined_width = 10;
    for (const AssemblyResult::Symbol& symbol : result.symbols) {
        by_name.push_back(&symbol);
        name_width = std::max(name_width, symbol.name.size());
        defined_width = std::max(defined_width, where(symbol.defined, main_source).size());
    }
    std::sort(by_name.begin(), by_name.end(), [](auto* a, auto* b) { return a->name < b->name; });
    std::vector<const AssemblyResult::Symbol*> by_value = by_name;
    std::stable_sort(by_value.begin(), by_value.end(), [](auto* a, auto* b) { return a->value < b->value; });

    std::string text = "Symbol map of " + main_source + "\n\nBy name\n\n";
    append_padded(text, "Name", name_width + 2);
    append_padded(text, "Value", 10);
    append_padded(text, "Kind", 7);
    append_padded(text, "Defined", defined_width + 2);
    text += "Used\n";
    for (const AssemblyResult::Symbol* symbol : by_name) {
        append_padded(text, symbol->name, name_width + 2);
        append_padded(text, hex_value(symbol->value), 10);
        append_padded(text, symbol->kind, 7);
        append_padded(text, where(symbol->defined, main_source), defined_width + 2);
        for (const AssemblyResult::Use& use : symbol->uses) text += where(use, main_source) + " ";
        while (text.back() == ' ') text.pop_back();
        text += "\n";
    }
    text += "\nBy value\n\n";
    append_padded(text, "Value", 10);
    text += "Name\n";
    for (const AssemblyResult::Symbol* symbol : by_value) {
        append_padded(text, hex_value(symbol->value), 10);
        text += symbol->name + "\n";
    }
    return text;
}

std::string make_rule(const std::string& target, const std::vector<std::string>& files_read) {
    // make takes ./NAME and NAME for one file; the rule names it as a makefile would.
    bool here = target.compare(0, 2, "./") == 0 && target.size() > 2;
    std::string rule = make_word(here ? target.substr(2) : target) + ":";
    for (const std::string& file : files_read) rule += " " + make_word(file);
    rule += "\n";
    for (size_t i = 1; i < files_read.size(); ++i) rule += "\n" + make_word(files_read[i]) + ":\n";
    return rule;
}

void note_conventions(const AssemblyResult& result, std::vector<Diagnostic>& diagnostics) {
    if (diagnostics.empty() || result.conventions.message.empty()) return;
    diagnostics.front().notes.push_back(result.conventions);
}

}  // namespace vexa
