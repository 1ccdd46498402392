#include "sql/parser.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "sql/lexer.h"

namespace jet::sql {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// Words that cannot stand as plain (unbracketed) names.
bool isReserved(std::string_view w) {
    static constexpr std::string_view kReserved[] = {
        "SELECT", "FROM", "WHERE",  "ORDER", "BY",  "AND",  "OR",   "NOT",   "LIKE",
        "IS",     "NULL", "UPDATE", "SET",   "ASC", "DESC", "TRUE", "FALSE",
    };
    for (auto k : kReserved)
        if (equalsNoCase(w, k)) return true;
    return false;
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool leapYear(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

class Parser {
  public:
    explicit Parser(std::string_view sql) : tokens_(tokenize(sql)) {}

    Statement statement() {
        Statement result;
        if (isWord("SELECT")) {
            result = select();
        } else if (isWord("UPDATE")) {
            result = update();
        } else {
            fail("expected SELECT or UPDATE");
        }
        if (peek().kind != TokenKind::End) fail("unexpected text after the end of the statement");
        return result;
    }

  private:
    const Token& peek(std::size_t ahead = 0) const {
        const std::size_t i = std::min(at_ + ahead, tokens_.size() - 1);
        return tokens_[i];
    }
    const Token& take() {
        const Token& t = tokens_[at_];
        if (at_ + 1 < tokens_.size()) ++at_;
        return t;
    }
    bool isWord(std::string_view kw, std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Word && equalsNoCase(t.text, kw);
    }
    bool acceptWord(std::string_view kw) {
        if (!isWord(kw)) return false;
        take();
        return true;
    }
    bool accept(TokenKind k) {
        if (peek().kind != k) return false;
        take();
        return true;
    }
    void expectWord(std::string_view kw) {
        if (!acceptWord(kw)) fail("expected " + std::string(kw));
    }
    void expect(TokenKind k, const char* what) {
        if (!accept(k)) fail(std::string("expected ") + what);
    }
    [[noreturn]] void fail(const std::string& what) const {
        const Token& t = peek();
        std::string found;
        switch (t.kind) {
            case TokenKind::End:
                found = "the end of the statement";
                break;
            case TokenKind::Word:
                found = "'" + t.text + "'";
                break;
            case TokenKind::Bracketed:
                found = "[" + t.text + "]";
                break;
            case TokenKind::String:
                found = "a string";
                break;
            case TokenKind::Number:
                found = t.text;
                break;
            case TokenKind::Date:
                found = "#" + t.text + "#";
                break;
            default:
                found = "a symbol";
                break;
        }
        syntaxError(what + ", found " + found, t.pos);
    }

    // A single name part: plain word (not reserved) or [bracketed].
    bool atName() const {
        const Token& t = peek();
        return t.kind == TokenKind::Bracketed || (t.kind == TokenKind::Word && !isReserved(t.text));
    }
    std::string name(const char* what) {
        if (!atName()) fail(std::string("expected ") + what);
        return take().text;
    }

    ColumnRef columnRef() {
        ColumnRef ref;
        ref.pos = peek().pos;
        std::string first = name("a column name");
        if (accept(TokenKind::Dot)) {
            ref.table = std::move(first);
            ref.column = name("a column name after '.'");
        } else {
            ref.column = std::move(first);
        }
        return ref;
    }

    std::string tableName(std::size_t& pos) {
        pos = peek().pos;
        return name("a table name");
    }

    SelectStmt select() {
        SelectStmt s;
        expectWord("SELECT");
        if (accept(TokenKind::Star)) {
            s.star = true;
        } else {
            do {
                s.columns.push_back(columnRef());
            } while (accept(TokenKind::Comma));
        }
        expectWord("FROM");
        s.table = tableName(s.tablePos);
        if (acceptWord("WHERE")) s.where = expr();
        if (acceptWord("ORDER")) {
            expectWord("BY");
            do {
                OrderItem item;
                item.ref = columnRef();
                if (acceptWord("DESC")) {
                    item.descending = true;
                } else {
                    acceptWord("ASC");
                }
                s.orderBy.push_back(std::move(item));
            } while (accept(TokenKind::Comma));
        }
        s.paramCount = params_;
        return s;
    }

    UpdateStmt update() {
        UpdateStmt u;
        expectWord("UPDATE");
        u.table = tableName(u.tablePos);
        expectWord("SET");
        do {
            Assignment a;
            a.target = columnRef();
            expect(TokenKind::Eq, "'='");
            a.value = expr();
            u.assignments.push_back(std::move(a));
        } while (accept(TokenKind::Comma));
        if (acceptWord("WHERE")) u.where = expr();
        u.paramCount = params_;
        return u;
    }

    // Evaluation, binding and destruction recurse over the tree: bound its
    // size and depth so that no statement can exhaust the stack.
    static constexpr int kMaxNodes = 2000;
    static constexpr int kMaxDepth = 100;

    ExprPtr node(ExprKind kind, std::size_t pos) {
        if (++nodes_ > kMaxNodes) syntaxError("the statement is too long", pos);
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->pos = pos;
        return e;
    }

    ExprPtr expr() {
        ExprPtr left = conjunction();
        while (isWord("OR")) {
            auto e = node(ExprKind::Or, take().pos);
            e->left = std::move(left);
            e->right = conjunction();
            left = std::move(e);
        }
        return left;
    }

    ExprPtr conjunction() {
        ExprPtr left = negation();
        while (isWord("AND")) {
            auto e = node(ExprKind::And, take().pos);
            e->left = std::move(left);
            e->right = negation();
            left = std::move(e);
        }
        return left;
    }

    ExprPtr negation() {
        if (isWord("NOT")) {
            auto e = node(ExprKind::Not, take().pos);
            Nesting nest(*this, e->pos);
            e->left = negation();
            return e;
        }
        return predicate();
    }

    ExprPtr predicate() {
        ExprPtr left = operand();
        const Token& t = peek();
        CompareOp op{};
        bool isCompare = true;
        switch (t.kind) {
            case TokenKind::Eq:
                op = CompareOp::Eq;
                break;
            case TokenKind::Ne:
                op = CompareOp::Ne;
                break;
            case TokenKind::Lt:
                op = CompareOp::Lt;
                break;
            case TokenKind::Gt:
                op = CompareOp::Gt;
                break;
            case TokenKind::Le:
                op = CompareOp::Le;
                break;
            case TokenKind::Ge:
                op = CompareOp::Ge;
                break;
            default:
                isCompare = false;
        }
        if (isCompare) {
            auto e = node(ExprKind::Compare, take().pos);
            e->op = op;
            e->left = std::move(left);
            e->right = operand();
            return e;
        }
        if (isWord("LIKE") || (isWord("NOT") && isWord("LIKE", 1))) {
            auto e = node(ExprKind::Like, peek().pos);
            if (acceptWord("NOT")) e->negated = true;
            take();  // LIKE
            e->left = std::move(left);
            e->right = operand();
            return e;
        }
        if (isWord("IS")) {
            auto e = node(ExprKind::IsNull, take().pos);
            if (acceptWord("NOT")) e->negated = true;
            expectWord("NULL");
            e->left = std::move(left);
            return e;
        }
        return left;
    }

    ExprPtr operand() {
        const Token& t = peek();
        switch (t.kind) {
            case TokenKind::LParen: {
                Nesting nest(*this, take().pos);
                ExprPtr inner = expr();
                expect(TokenKind::RParen, "')'");
                return inner;
            }
            case TokenKind::String: {
                auto e = node(ExprKind::Literal, t.pos);
                e->value = utf8ToUtf16(take().text, t.pos);
                return e;
            }
            case TokenKind::Number: {
                auto e = node(ExprKind::Literal, t.pos);
                e->number = take().text;
                e->value = number(e->number, t.pos, false);
                return e;
            }
            case TokenKind::Minus: {
                const std::size_t pos = take().pos;
                if (peek().kind != TokenKind::Number) fail("expected a number after '-'");
                auto e = node(ExprKind::Literal, pos);
                e->number = "-" + take().text;
                e->value = number(e->number.substr(1), pos, true);
                return e;
            }
            case TokenKind::Date: {
                auto e = node(ExprKind::Literal, t.pos);
                e->value = parseDateLiteral(take().text, t.pos);
                return e;
            }
            case TokenKind::Param: {
                auto e = node(ExprKind::Parameter, take().pos);
                e->paramIndex = params_++;
                return e;
            }
            case TokenKind::Word:
                if (isWord("TRUE") || isWord("FALSE")) {
                    auto e = node(ExprKind::Literal, t.pos);
                    e->value = isWord("TRUE");
                    take();
                    return e;
                }
                if (isWord("NULL")) {
                    auto e = node(ExprKind::Literal, take().pos);
                    return e;
                }
                break;
            default:
                break;
        }
        if (!atName()) fail("expected a value, a column name or '('");
        auto e = node(ExprKind::Column, t.pos);
        e->ref = columnRef();
        return e;
    }

    static Value number(const std::string& text, std::size_t pos, bool negative) {
        const bool integral = text.find_first_of(".eE") == std::string::npos;
        if (integral) {
            std::int64_t v = 0;
            auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            if (ec == std::errc() && p == text.data() + text.size()) return negative ? -v : v;
        }
        // from_chars, not strtod: the decimal point is '.' whatever the
        // process locale says.
        double d = 0;
        auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(d))
            syntaxError("malformed number", pos);
        return negative ? -d : d;
    }

    static std::u16string utf8ToUtf16(const std::string& s, std::size_t pos) {
        std::u16string out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size();) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            char32_t cp;
            std::size_t len;
            if (c < 0x80) {
                cp = c;
                len = 1;
            } else if ((c & 0xE0) == 0xC0) {
                cp = c & 0x1F;
                len = 2;
            } else if ((c & 0xF0) == 0xE0) {
                cp = c & 0x0F;
                len = 3;
            } else if ((c & 0xF8) == 0xF0) {
                cp = c & 0x07;
                len = 4;
            } else {
                syntaxError("invalid UTF-8 in string literal", pos);
            }
            if (i + len > s.size()) syntaxError("invalid UTF-8 in string literal", pos);
            for (std::size_t k = 1; k < len; ++k) {
                const unsigned char cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) syntaxError("invalid UTF-8 in string literal", pos);
                cp = (cp << 6) | (cc & 0x3F);
            }
            // Overlong forms and values past U+10FFFF have no UTF-16 form.
            static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < kLeast[len] || cp > 0x10FFFF)
                syntaxError("invalid UTF-8 in string literal", pos);
            i += len;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (cp >> 10));
                out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
        }
        return out;
    }

    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    int params_ = 0;
    int nodes_ = 0;
    int depth_ = 0;

    struct Nesting {
        Parser& p;
        Nesting(Parser& parser, std::size_t pos) : p(parser) {
            if (++p.depth_ > kMaxDepth) syntaxError("parentheses or NOT nested too deeply", pos);
        }
        ~Nesting() { --p.depth_; }
    };
};

// Reads an unsigned decimal field of the date literal.
bool readField(std::string_view s, std::size_t& i, int maxDigits, long long& out) {
    std::size_t start = i;
    out = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' &&
           i - start < static_cast<std::size_t>(maxDigits))
        out = out * 10 + (s[i++] - '0');
    return i > start;
}

}  // namespace

DateTime parseDateLiteral(std::string_view text, std::size_t pos) {
    auto bad = [&]() -> DateTime {
        syntaxError("malformed date literal #" + std::string(text) + "#", pos);
    };
    std::size_t i = 0;
    auto skipSpaces = [&] {
        while (i < text.size() && text[i] == ' ') ++i;
    };
    skipSpaces();
    long long a = 0, b = 0, c = 0;
    long long year = 0, month = 0, day = 0;
    if (!readField(text, i, 4, a) || i >= text.size()) return bad();
    const char sep = text[i];
    if (sep != '/' && sep != '-') return bad();
    ++i;
    if (!readField(text, i, 2, b) || i >= text.size() || text[i] != sep) return bad();
    ++i;
    if (!readField(text, i, 4, c)) return bad();
    if (sep == '-') {
        year = a, month = b, day = c;  // yyyy-mm-dd
    } else {
        month = a, day = b, year = c;  // m/d/yyyy, month first in every locale
    }
    if (year < 100 || month < 1 || month > 12 || day < 1) return bad();
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int monthDays = kDays[month - 1] + (month == 2 && leapYear(year) ? 1 : 0);
    if (day > monthDays) return bad();

    long long hour = 0, minute = 0, second = 0;
    skipSpaces();
    if (i < text.size()) {
        if (!readField(text, i, 2, hour) || i >= text.size() || text[i] != ':') return bad();
        ++i;
        if (!readField(text, i, 2, minute)) return bad();
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (!readField(text, i, 2, second)) return bad();
        }
        skipSpaces();
        if (i < text.size()) {
            std::string_view rest = text.substr(i);
            const bool pm = equalsNoCase(rest, "PM");
            if (!pm && !equalsNoCase(rest, "AM")) return bad();
            if (hour < 1 || hour > 12) return bad();
            hour = hour % 12 + (pm ? 12 : 0);
            i = text.size();
        }
        if (hour > 23 || minute > 59 || second > 59) return bad();
    }
    const long long days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        daysFromCivil(1899, 12, 30);
    const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
    // Before 1899-12-30 Access keeps the time as a positive fraction behind a
    // negative day count: -1.25 is 1899-12-29 06:00.
    const double value =
        days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return DateTime{value};
}

Statement parse(std::string_view sql) { return Parser(sql).statement(); }

}  // namespace jet::sql
