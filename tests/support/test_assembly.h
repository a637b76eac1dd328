// An assembly for unit tests: its statement, pass and symbols, with text
// placed where the splitter leaves it (the readers read beyond a text's end,
// into the room its buffer keeps).
#pragma once

#include <memory>
#include <string>

#include "driver/assembly.h"

namespace vexa_test {

class TestAssembly {
public:
    TestAssembly();
    vexa::Assembly& assembly() { return *assembly_; }
    vexa::Statement& statement() { return assembly_->statement; }
    vexa::Pass& pass() { return assembly_->pass; }
    vexa::SymbolTable& symbols() { return assembly_->symbols; }

    // Puts `text` into the statement's operand text and answers it there.
    char* operands(const std::string& text);
    void define(const std::string& name, int32_t value);

private:
    vexa::AssemblyOptions options_;
    vexa::MemoryFiles files_;
    vexa::MemorySink object_;
    vexa::AssemblyResult result_;
    std::unique_ptr<vexa::Assembly> assembly_;
};

}  // namespace vexa_test
