// The operators of decision-tree cases and their comparison rules per element
// type.
#include <strings.h>

#include <cstring>
#include <string_view>

#include "platform/util/strings.h"
#include "repository/selection/decision_tree.h"

using wexajson::Value;
using wexajson::ValueIterator;

namespace {

enum class Operator {
  kNone,
  kEq,
  kNe,
  kGt,
  kGe,
  kLt,
  kLe,
  kStartsWith,
  kEndsWith,
  kContains,
  kInRange,
  kNotContains,
  kNotInRange,
  kInSet,
  kNotInSet,
};

struct NamedOperator {
  std::string_view name;
  Operator op;
};

// Matched exactly, case included.
constexpr NamedOperator kOperators[] = {
    {"eq", Operator::kEq},
    {"ne", Operator::kNe},
    {"gt", Operator::kGt},
    {"ge", Operator::kGe},
    {"lt", Operator::kLt},
    {"le", Operator::kLe},
    {"starts_with", Operator::kStartsWith},
    {"ends_with", Operator::kEndsWith},
    {"contains", Operator::kContains},
    {"in_range", Operator::kInRange},
    {"not_contains", Operator::kNotContains},
    {"not_in_range", Operator::kNotInRange},
    {"in_set", Operator::kInSet},
    {"not_in_set", Operator::kNotInSet},
};

Operator OperatorNamed(std::string_view name) {
  for (const NamedOperator& named : kOperators) {
    if (named.name == name) return named.op;
  }
  return Operator::kNone;
}

// Each element type brings the conversion of operands (with its default), an
// order and an equality. The operators are written once over them: ge is
// "not less", le "not greater", and a range holds e when e is neither below
// its lower nor above its upper bound, which for doubles also settles NaN.
struct TextRules {
  using Type = std::string;
  static Type Convert(const Value& v) { return v.AsString(std::string()); }
  static bool Less(const Type& a, const Type& b) { return AsciiStrICmp(a.c_str(), b.c_str()) < 0; }
  static bool Equal(const Type& a, const Type& b) {
    return AsciiStrICmp(a.c_str(), b.c_str()) == 0;
  }
};

struct IntRules {
  using Type = int64_t;
  static Type Convert(const Value& v) { return v.AsInt64(0); }
  static bool Less(Type a, Type b) { return a < b; }
  static bool Equal(Type a, Type b) { return a == b; }
};

struct DoubleRules {
  using Type = double;
  static Type Convert(const Value& v) { return v.AsDouble(0.0); }
  static bool Less(Type a, Type b) { return a < b; }
  static bool Equal(Type a, Type b) { return a == b; }
};

struct BoolRules {
  using Type = bool;
  static Type Convert(const Value& v) { return v.AsBool(false); }
  static bool Less(Type a, Type b) { return !a && b; }
  static bool Equal(Type a, Type b) { return a == b; }
};

// The operand must be an array of exactly two bounds, both inclusive; the
// upper one is converted only when the lower test passed.
template <typename Rules>
bool InRange(const typename Rules::Type& e, const Value& operand) {
  if (!operand.IsArray() || operand.Size() != 2) return false;
  return !Rules::Less(e, Rules::Convert(operand.At(0))) &&
         !Rules::Less(Rules::Convert(operand.At(1)), e);
}

template <typename Rules>
bool InSet(const typename Rules::Type& e, const Value& operand) {
  for (ValueIterator it(operand); it != ValueIterator(); ++it) {
    if (Rules::Equal(e, Rules::Convert(*it))) return true;
  }
  return false;
}

// The operators every type shares; the text tests (starts_with, ends_with,
// contains) hold for texts only, so here they are false and not_contains true.
template <typename Rules>
bool Ordered(const typename Rules::Type& e, Operator op, const Value& operand) {
  switch (op) {
    case Operator::kEq:
      return Rules::Equal(e, Rules::Convert(operand));
    case Operator::kNe:
      return !Rules::Equal(e, Rules::Convert(operand));
    case Operator::kGt:
      return Rules::Less(Rules::Convert(operand), e);
    case Operator::kGe:
      return !Rules::Less(e, Rules::Convert(operand));
    case Operator::kLt:
      return Rules::Less(e, Rules::Convert(operand));
    case Operator::kLe:
      return !Rules::Less(Rules::Convert(operand), e);
    case Operator::kInRange:
      return InRange<Rules>(e, operand);
    case Operator::kNotInRange:
      return !InRange<Rules>(e, operand);
    case Operator::kInSet:
      return InSet<Rules>(e, operand);
    case Operator::kNotInSet:
      return !InSet<Rules>(e, operand);
    case Operator::kNotContains:
      return true;
    case Operator::kStartsWith:
    case Operator::kEndsWith:
    case Operator::kContains:
    case Operator::kNone:
      return false;
  }
  return false;
}

bool EndsWith(const char* e, const char* o) {
  const size_t e_length = std::strlen(e);
  const size_t o_length = std::strlen(o);
  return e_length >= o_length && AsciiStrICmp(e + e_length - o_length, o) == 0;
}

}  // namespace

std::string DecisionTree::FindOperator(const Value& case_node) {
  if (!case_node.IsObject()) return std::string();
  for (ValueIterator it(case_node); it != ValueIterator(); ++it) {
    const std::string_view name = it.Key().View();
    if (OperatorNamed(name) != Operator::kNone) return std::string(name);
  }
  return std::string();
}

bool DecisionTree::EvaluateOperator(const Value& element, const Value& case_node,
                                    const std::string& op) {
  if (element.IsString())
    return EvaluateStringOperator(element.AsString(std::string()), op, case_node);
  if (element.IsInt()) return EvaluateIntOperator(element.AsInt64(0), op, case_node);
  if (element.IsDouble()) return EvaluateDoubleOperator(element.AsDouble(0.0), op, case_node);
  if (element.IsBool()) return EvaluateBoolOperator(element.AsBool(false), op, case_node);
  // A null element stands for "any value".
  return element.IsNull();
}

bool DecisionTree::EvaluateStringOperator(const std::string& element, const std::string& op,
                                          const Value& case_node) {
  const Value operand = case_node[op];
  const char* e = element.c_str();
  const Operator kind = OperatorNamed(op);
  switch (kind) {
    case Operator::kStartsWith: {
      const std::string o = TextRules::Convert(operand);
      return AsciiStrNICmp(e, o.c_str(), std::strlen(o.c_str())) == 0;
    }
    case Operator::kEndsWith:
      return EndsWith(e, TextRules::Convert(operand).c_str());
    case Operator::kContains:
      return strcasestr(e, TextRules::Convert(operand).c_str()) != nullptr;
    case Operator::kNotContains:
      return strcasestr(e, TextRules::Convert(operand).c_str()) == nullptr;
    default:
      return Ordered<TextRules>(element, kind, operand);
  }
}

bool DecisionTree::EvaluateIntOperator(int64_t element, const std::string& op,
                                       const Value& case_node) {
  return Ordered<IntRules>(element, OperatorNamed(op), case_node[op]);
}

bool DecisionTree::EvaluateDoubleOperator(double element, const std::string& op,
                                          const Value& case_node) {
  return Ordered<DoubleRules>(element, OperatorNamed(op), case_node[op]);
}

bool DecisionTree::EvaluateBoolOperator(bool element, const std::string& op,
                                        const Value& case_node) {
  return Ordered<BoolRules>(element, OperatorNamed(op), case_node[op]);
}
