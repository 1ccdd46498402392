// Tokens of the engine's SQL dialect.
//
// The lexer turns statement text (UTF-8; lines may be joined by CR LF) into
// a list of tokens, each with its byte position. Keywords are not told apart
// here: they arrive as Word tokens and the parser compares them
// case-insensitively, so that a bracketed [Order] stays a name.
// Malformed text (an unclosed quote, bracket or date) raises a Syntax error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet.h"

namespace jet::sql {

enum class TokenKind {
    Word,       // plain identifier or keyword
    Bracketed,  // [name]
    String,     // 'text' with '' unescaped (or "text")
    Number,     // 12, 12.5, .5, 1e3
    Date,       // #...# (text between the signs)
    Param,      // ?
    LParen,
    RParen,
    Comma,
    Dot,
    Star,
    Minus,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // Word/Bracketed/String/Number/Date payload
    std::size_t pos = 0;
};

std::vector<Token> tokenize(std::string_view sql);

// Raises the dialect's syntax error. Positions are 1-based in the message
// ("at position 17") because that is how a person counts characters.
[[noreturn]] void syntaxError(const std::string& what, std::size_t pos);

}  // namespace jet::sql
