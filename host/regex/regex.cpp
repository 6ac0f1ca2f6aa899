// Pattern: compilation and the match record behind the accessors.
#include "host/regex/regex.h"

#include <new>

#include "host/regex/machine.h"
#include "host/regex/program.h"

namespace host::regex {

Pattern::Pattern(std::unique_ptr<Program> program)
    : program_(std::move(program)),
      machine_(std::make_unique<Machine>(*program_)),
      groups_(static_cast<std::size_t>(program_->groups + 1)) {}

Pattern::~Pattern() = default;

std::unique_ptr<Pattern> Pattern::compile(const char* pattern, std::string* error) {
  if (pattern == nullptr) {
    if (error != nullptr) *error = "no pattern";
    return nullptr;
  }
  std::unique_ptr<Program> program = compile_program(pattern, error);
  if (!program) return nullptr;
  try {
    return std::unique_ptr<Pattern>(new Pattern(std::move(program)));
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = "out of memory";
    return nullptr;
  }
}

bool Pattern::search(const char* text) {
  for (std::string& g : groups_) g.clear();
  pos_ = -1;
  len_ = 0;
  matched_ = false;
  if (text == nullptr) return false;
  try {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (!machine_->run(bytes)) return false;
    const std::vector<Offset>& caps = machine_->best();
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      Offset b = caps[2 * g];
      Offset e = caps[2 * g + 1];
      if (b >= 0 && e >= b) groups_[g].assign(text + b, text + e);
    }
    pos_ = static_cast<int>(caps[0]);
    len_ = static_cast<int>(caps[1] - caps[0]);
  } catch (const std::bad_alloc&) {
    // Out of memory counts as no match; nothing may escape to the service's caller.
    machine_->reset();
    for (std::string& g : groups_) std::string().swap(g);
    pos_ = -1;
    len_ = 0;
    return false;
  }
  matched_ = true;
  return true;
}

const char* Pattern::group(int n) const {
  if (!matched_ || n < 0 || n >= static_cast<int>(groups_.size())) return "";
  return groups_[static_cast<std::size_t>(n)].c_str();
}

int Pattern::group_count() const { return program_->groups; }

}  // namespace host::regex
