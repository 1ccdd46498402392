// Parser of the engine's SQL dialect: SELECT and UPDATE.
//
//   select  := SELECT ( '*' | column {',' column} ) FROM table [WHERE expr]
//              [ORDER BY column [ASC|DESC] {',' column [ASC|DESC]}]
//   update  := UPDATE table SET column '=' expr {',' column '=' expr} [WHERE expr]
//   expr    := and {OR and};  and := not {AND not};  not := NOT not | predicate
//   predicate := operand [cmp operand | [NOT] LIKE operand | IS [NOT] NULL]
//   operand := literal | '?' | column | '(' expr ')'
//
// Anything else is a jet::Error of kind Syntax naming the position.
// Pure functions; no state is kept between calls.
#pragma once

#include <string_view>

#include "sql/ast.h"

namespace jet::sql {

Statement parse(std::string_view sql);

// #m/d/yyyy [h:mm[:ss] [AM|PM]]# or #yyyy-mm-dd [time]#, as days since
// 1899-12-30 (Access's date encoding). `pos` is for the error message.
DateTime parseDateLiteral(std::string_view text, std::size_t pos);

}  // namespace jet::sql
