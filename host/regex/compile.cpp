// Compiles a pattern: parse, generate, check the size, analyse.
#include <new>

#include "host/regex/compile_steps.h"

namespace host::regex {

std::unique_ptr<Program> compile_program(const char* pattern, std::string* error) {
  try {
    auto program = std::make_unique<Program>();
    const NodePtr tree = parse_pattern(pattern, program->sets, &program->groups);
    generate_program(*tree, *program);
    // The analysis adds no instructions, so the size is known here.
    if (program->code.size() * static_cast<std::size_t>(program->slots()) > kMaxThreadState)
      throw SyntaxError{"pattern too large"};
    analyse_program(*program);
    return program;
  } catch (const SyntaxError& e) {
    if (error != nullptr) *error = e.message;
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = "out of memory";
  }
  return nullptr;
}

}  // namespace host::regex
