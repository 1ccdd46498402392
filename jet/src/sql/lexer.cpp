#include "sql/lexer.h"

namespace jet::sql {

void syntaxError(const std::string& what, std::size_t pos) {
    throw Error(
        "Syntax error in SQL statement at position " + std::to_string(pos + 1) + ": " + what,
        ErrorKind::Syntax);
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes >= 0x80 belong to UTF-8 letters such as the n with tilde of Tamaño.
bool isWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isWordChar(char c) { return isWordStart(c) || isDigit(c); }

}  // namespace

std::vector<Token> tokenize(std::string_view sql) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    auto push = [&](TokenKind k, std::size_t pos, std::string text = {}) {
        out.push_back(Token{k, std::move(text), pos});
    };
    while (i < n) {
        const char c = sql[i];
        const std::size_t start = i;
        if (isSpace(c)) {
            ++i;
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(sql[i])) ++i;
            push(TokenKind::Word, start, std::string(sql.substr(start, i - start)));
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(sql[i + 1]))) {
            while (i < n && isDigit(sql[i])) ++i;
            if (i < n && sql[i] == '.') {
                ++i;
                while (i < n && isDigit(sql[i])) ++i;
            }
            if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
                if (j < n && isDigit(sql[j])) {
                    i = j;
                    while (i < n && isDigit(sql[i])) ++i;
                }
            }
            if (i < n && isWordStart(sql[i])) syntaxError("malformed number", start);
            push(TokenKind::Number, start, std::string(sql.substr(start, i - start)));
        } else if (c == '\'' || c == '"') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= n) syntaxError("unterminated string literal", start);
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        text += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql[i++];
            }
            push(TokenKind::String, start, std::move(text));
        } else if (c == '[') {
            const std::size_t close = sql.find(']', i + 1);
            if (close == std::string_view::npos) syntaxError("unterminated [name]", start);
            if (close == i + 1) syntaxError("empty [name]", start);
            push(TokenKind::Bracketed, start, std::string(sql.substr(i + 1, close - i - 1)));
            i = close + 1;
        } else if (c == '#') {
            const std::size_t close = sql.find('#', i + 1);
            if (close == std::string_view::npos) syntaxError("unterminated #date# literal", start);
            push(TokenKind::Date, start, std::string(sql.substr(i + 1, close - i - 1)));
            i = close + 1;
        } else {
            ++i;
            switch (c) {
                case '?':
                    push(TokenKind::Param, start);
                    break;
                case '(':
                    push(TokenKind::LParen, start);
                    break;
                case ')':
                    push(TokenKind::RParen, start);
                    break;
                case ',':
                    push(TokenKind::Comma, start);
                    break;
                case '.':
                    push(TokenKind::Dot, start);
                    break;
                case '*':
                    push(TokenKind::Star, start);
                    break;
                case '-':
                    push(TokenKind::Minus, start);
                    break;
                case '=':
                    push(TokenKind::Eq, start);
                    break;
                case ';':
                    // A trailing semicolon is accepted, nothing may follow it.
                    for (std::size_t j = i; j < n; ++j)
                        if (!isSpace(sql[j])) syntaxError("text after ';'", j);
                    i = n;
                    break;
                case '<':
                    if (i < n && sql[i] == '>') {
                        ++i;
                        push(TokenKind::Ne, start);
                    } else if (i < n && sql[i] == '=') {
                        ++i;
                        push(TokenKind::Le, start);
                    } else {
                        push(TokenKind::Lt, start);
                    }
                    break;
                case '>':
                    if (i < n && sql[i] == '=') {
                        ++i;
                        push(TokenKind::Ge, start);
                    } else {
                        push(TokenKind::Gt, start);
                    }
                    break;
                default:
                    syntaxError(std::string("unexpected character '") + c + "'", start);
            }
        }
    }
    push(TokenKind::End, n);
    return out;
}

}  // namespace jet::sql
