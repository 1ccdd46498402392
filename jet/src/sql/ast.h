// The parsed form of the engine's SQL dialect.
//
// The parser (parser.h) builds these trees; the binder and evaluator
// (eval.h) resolve column names to row slots and compute values. Nodes
// own their children through unique_ptr; a statement is a move-only value.
// Every node keeps the byte position where it starts so that later errors
// (unknown column, type mismatch) can point into the statement text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "jet/jet.h"

namespace jet::sql {

// A column name as written: `col`, `[col]`, `t.col`, `[t].[col]`.
struct ColumnRef {
    std::string table;  // empty when unqualified
    std::string column;
    std::size_t pos = 0;
};

enum class ExprKind {
    Literal,    // value
    Parameter,  // '?', paramIndex counts from 0 in order of appearance
    Column,     // ref, bound to slot
    Not,        // NOT left
    And,        // left AND right
    Or,         // left OR right
    Compare,    // left op right
    Like,       // left [NOT] LIKE right
    IsNull,     // left IS [NOT] NULL
};

enum class CompareOp { Eq, Ne, Lt, Gt, Le, Ge };

class LikePattern;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    ExprKind kind = ExprKind::Literal;
    std::size_t pos = 0;
    Value value;         // Literal
    std::string number;  // Literal number: as written, sign included (exact for Decimal columns)
    int paramIndex = 0;  // Parameter
    ColumnRef ref;       // Column
    int slot = -1;       // Column: index into the row the evaluator sees, set by binding
    CompareOp op = CompareOp::Eq;
    bool negated = false;  // NOT LIKE, IS NOT NULL
    ExprPtr left, right;
    std::shared_ptr<const LikePattern> like;  // Like: compiled when the pattern is constant
};

struct OrderItem {
    ColumnRef ref;
    bool descending = false;
};

struct SelectStmt {
    bool star = false;
    std::vector<ColumnRef> columns;  // empty when star
    std::string table;
    std::size_t tablePos = 0;
    ExprPtr where;  // null when absent
    std::vector<OrderItem> orderBy;
    int paramCount = 0;
};

struct Assignment {
    ColumnRef target;
    ExprPtr value;
};

struct UpdateStmt {
    std::string table;
    std::size_t tablePos = 0;
    std::vector<Assignment> assignments;
    ExprPtr where;  // null when absent
    int paramCount = 0;
};

using Statement = std::variant<SelectStmt, UpdateStmt>;

}  // namespace jet::sql
