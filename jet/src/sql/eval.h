// Evaluation of the dialect's expressions over one row.
//
// Binding replaces each column reference with a slot (an index into the
// row vector the evaluator is given). Evaluation follows Jet's three-valued
// logic: a comparison or LIKE with a NULL operand is Unknown, NOT Unknown is
// Unknown, and WHERE keeps a row only when its condition is True. Text
// compares by the database's sort order (case-insensitive, accent-sensitive).
//
// Everything here is a pure function of its arguments, except the compiled
// LIKE patterns cached inside Like nodes by prepare(); a bound statement
// therefore belongs to one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index/collation.h"
#include "sql/ast.h"

namespace jet::sql {

enum class Truth { False, True, Unknown };

// A LIKE pattern in ANSI-92 form: % any run, _ one character, [abc] [a-z]
// [!abc] character lists ([%] and [_] are literal). Characters compare by
// foldChar (case-insensitive, accent-sensitive).
class LikePattern {
  public:
    LikePattern(std::u16string_view pattern, SortOrder order);
    bool matches(std::u16string_view text) const;

    // The literal runs of the pattern (between wildcards) in order, for
    // callers that can rule rows out cheaply before matching.
    const std::vector<std::u16string>& literalRuns() const { return runs_; }

  private:
    enum class Kind : std::uint8_t { Literal, One, Any, Set };
    struct Element {
        Kind kind;
        bool negated = false;
        std::uint64_t fold = 0;                                       // Literal
        std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // Set, inclusive, folded
    };
    bool elementMatches(const Element& e, std::uint64_t folded, char16_t raw) const;

    SortOrder order_;
    std::vector<Element> elements_;
    std::vector<std::u16string> runs_;
};

// Orders two non-null values as Jet does: numbers (Yes/No as -1/0, dates as
// their day count, currency exactly) numerically, text by the sort order,
// binary bytewise. nullopt when either value is NULL. A text compared with a
// number is a jet::Error of kind Conversion ("Data type mismatch").
std::optional<int> compareValues(const Value& a, const Value& b, SortOrder order);

// Resolves every Column node of e through `resolve`, which returns the slot
// or throws (unknown column).
void bindColumns(Expr& e, const std::function<int(const ColumnRef&)>& resolve);

// Checks parameters and compiles LIKE patterns that do not depend on the
// row (literal or parameter), so that per-row evaluation does no parsing.
void prepare(Expr& e, const std::vector<Value>& params, SortOrder order);

struct EvalContext {
    const std::vector<Value>* row = nullptr;
    const std::vector<Value>* params = nullptr;
    SortOrder order = SortOrder::General4;
};

// The value of an operand (literal, parameter, column). Logical nodes used
// as values give a Yes/No (or NULL when Unknown).
Value evalValue(const Expr& e, const EvalContext& ctx);
Truth evalTruth(const Expr& e, const EvalContext& ctx);

// Number of parameters a statement uses must match what the caller bound.
void checkParamCount(int expected, const std::vector<Value>& params);

// Text of a number or date for LIKE on a non-text column.
std::u16string valueAsText(const Value& v);

}  // namespace jet::sql
