#include "support/test_assembly.h"

#include <cstring>
#include <stdexcept>

namespace vexa_test {

TestAssembly::TestAssembly()
    : assembly_(std::make_unique<vexa::Assembly>(options_, files_, object_, nullptr, result_, nullptr)) {
    if (assembly_->symbols.init() != 0) throw std::runtime_error("no symbol table");
    assembly_->statement.begin(0);
}

char* TestAssembly::operands(const std::string& text) {
    vexa::Statement& s = statement();
    if (text.size() >= vexa::OPERAND_CAPACITY) throw std::runtime_error("operand text too long");
    std::memset(s.operand_text, 0, sizeof s.operand_text);
    std::memcpy(s.operand_text, text.data(), text.size());
    s.operand_length = int(text.size());
    return s.operand_text;
}

void TestAssembly::define(const std::string& name, int32_t value) {
    assembly_->symbols.add(name.data(), int(name.size()), value);
}

}  // namespace vexa_test
