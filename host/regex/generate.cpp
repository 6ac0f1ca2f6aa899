// Code generator: a syntax tree as instructions for the breadth-first matcher.
#include "host/regex/compile_steps.h"

namespace host::regex {
namespace {

class Generator {
 public:
  explicit Generator(Program& p) : p_(p) {}

  void emit(const Node& n) {
    switch (n.kind) {
      case Node::kEmpty:
        break;
      case Node::kByte:
        add(Op::kByte, n.value);
        break;
      case Node::kSet:
        add(Op::kSet, n.value);
        break;
      case Node::kAny:
        add(Op::kAny);
        break;
      case Node::kAssert:
        add(Op::kAssert, n.value);
        break;
      case Node::kGroup:
        if (n.value >= 0) add(Op::kSave, 2 * n.value);
        emit(*n.kids[0]);
        if (n.value >= 0) add(Op::kSave, 2 * n.value + 1);
        break;
      case Node::kConcat:
        for (const auto& k : n.kids) emit(*k);
        break;
      case Node::kAlt: {
        std::vector<int> exits;
        for (std::size_t k = 0; k < n.kids.size(); ++k) {
          int split = -1;
          if (k + 1 < n.kids.size()) split = add(Op::kSplit);
          if (split >= 0) at(split).x = here();
          emit(*n.kids[k]);
          if (k + 1 < n.kids.size()) {
            exits.push_back(add(Op::kJump));
            at(split).y = here();
          }
        }
        for (int j : exits) at(j).x = here();
        break;
      }
      case Node::kRepeat:
        emit_repeat(n);
        break;
    }
  }

  int add(Op op, int x = 0, int y = 0) {
    if (p_.code.size() >= kMaxInstructions) throw SyntaxError{"pattern too large"};
    p_.code.push_back(Inst{op, x, y});
    return static_cast<int>(p_.code.size() - 1);
  }

 private:
  Inst& at(int pc) { return p_.code[static_cast<std::size_t>(pc)]; }
  int here() const { return static_cast<int>(p_.code.size()); }

  // A split whose preferred branch is `first_choice` (greedy: enter the body).
  void set_split(int split, int body, int skip, bool greedy) {
    at(split).x = greedy ? body : skip;
    at(split).y = greedy ? skip : body;
  }

  void emit_repeat(const Node& n) {
    const Node& body = *n.kids[0];
    if (n.max == -1) {
      if (n.min > 0) {
        // min-1 plain copies, then one copy that loops back on itself.
        for (int k = 0; k < n.min - 1; ++k) emit(body);
        int start = here();
        emit(body);
        int split = add(Op::kSplit);
        set_split(split, start, here(), n.greedy);
      } else {
        int split = add(Op::kSplit);
        emit(body);
        add(Op::kJump, split);
        set_split(split, split + 1, here(), n.greedy);
      }
      return;
    }
    for (int k = 0; k < n.min; ++k) emit(body);
    std::vector<int> splits;
    for (int k = n.min; k < n.max; ++k) {
      splits.push_back(add(Op::kSplit));
      emit(body);
    }
    for (int s : splits) set_split(s, s + 1, here(), n.greedy);
  }

  Program& p_;
};

}  // namespace

void generate_program(const Node& tree, Program& program) {
  Generator gen(program);
  gen.add(Op::kSave, 0);
  gen.emit(tree);
  gen.add(Op::kSave, 1);
  gen.add(Op::kMatch);
}

}  // namespace host::regex
