#include "sql/eval.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace jet::sql {

namespace {

[[noreturn]] void mismatch() {
    throw Error("Data type mismatch in criteria expression", ErrorKind::Conversion);
}

// A numeric view of a value: exact integers where possible, else long double.
struct Number {
    bool exact = false;     // integer (Yes/No, Byte..Long) held in i
    bool currency = false;  // Currency held in i (1/10000 units)
    std::int64_t i = 0;
    long double d = 0;
};

std::optional<Number> asNumber(const Value& v) {
    Number n;
    if (auto b = std::get_if<bool>(&v.v)) {
        n.exact = true;
        n.i = *b ? -1 : 0;  // Access's True is -1
        n.d = static_cast<long double>(n.i);
    } else if (auto i = std::get_if<std::int64_t>(&v.v)) {
        n.exact = true;
        n.i = *i;
        n.d = static_cast<long double>(*i);
    } else if (auto d = std::get_if<double>(&v.v)) {
        n.d = *d;
    } else if (auto c = std::get_if<Currency>(&v.v)) {
        n.currency = true;
        n.i = c->scaled;
        n.d = static_cast<long double>(c->scaled) / 10000.0L;
    } else if (auto t = std::get_if<DateTime>(&v.v)) {
        n.d = t->days;
    } else if (auto dec = std::get_if<Decimal>(&v.v)) {
        n.d = std::strtold(dec->text.c_str(), nullptr);
    } else {
        return std::nullopt;
    }
    return n;
}

template <class T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The text a LIKE operand stands for: text as is, numbers as their digits.
std::optional<std::u16string> likeText(const Value& v) {
    if (v.isNull()) return std::nullopt;
    if (auto s = std::get_if<std::u16string>(&v.v)) return *s;
    return valueAsText(v);
}

// foldChar through a per-thread table: LIKE folds every character of every
// candidate row, and the collation's lookup is far slower than an index.
constexpr std::uint64_t kUnset = ~std::uint64_t{0};

std::uint64_t* foldTable(SortOrder order) {
    thread_local std::vector<std::uint64_t> tables[2];
    auto& table = tables[order == SortOrder::General97 ? 1 : 0];
    if (table.empty()) table.assign(0x10000, kUnset);
    return table.data();
}

std::uint64_t fold(std::uint64_t* table, char16_t c, SortOrder order) {
    std::uint64_t& f = table[c];
    if (f == kUnset) f = foldChar(c, order);
    return f;
}

std::uint64_t fold(char16_t c, SortOrder order) { return fold(foldTable(order), c, order); }

}  // namespace

std::u16string valueAsText(const Value& v) {
    std::string s;
    char buf[64];
    if (auto i = std::get_if<std::int64_t>(&v.v)) {
        s = std::to_string(*i);
    } else if (auto d = std::get_if<double>(&v.v)) {
        auto [p, ec] = std::to_chars(buf, buf + sizeof buf, *d);
        s.assign(buf, p);
    } else if (auto c = std::get_if<Currency>(&v.v)) {
        auto [p, ec] =
            std::to_chars(buf, buf + sizeof buf, static_cast<double>(c->scaled) / 10000.0);
        s.assign(buf, p);
    } else if (auto dec = std::get_if<Decimal>(&v.v)) {
        s = dec->text;
    } else if (auto t = std::get_if<std::u16string>(&v.v)) {
        return *t;
    } else {
        mismatch();
    }
    return std::u16string(s.begin(), s.end());
}

std::optional<int> compareValues(const Value& a, const Value& b, SortOrder order) {
    if (a.isNull() || b.isNull()) return std::nullopt;
    const auto* ta = std::get_if<std::u16string>(&a.v);
    const auto* tb = std::get_if<std::u16string>(&b.v);
    if (ta && tb) {
        const int c = compareText(*ta, *tb, order);
        return (c > 0) - (c < 0);
    }
    if (ta || tb) mismatch();
    const auto* ba = std::get_if<Bytes>(&a.v);
    const auto* bb = std::get_if<Bytes>(&b.v);
    if (ba && bb) return threeWay(*ba, *bb);
    if (ba || bb) mismatch();
    auto na = asNumber(a), nb = asNumber(b);
    if (!na || !nb) mismatch();
    if (na->exact && nb->exact) return threeWay(na->i, nb->i);
    if (na->currency && nb->currency) return threeWay(na->i, nb->i);
    return threeWay(na->d, nb->d);
}

// ---- LIKE ----

LikePattern::LikePattern(std::u16string_view pattern, SortOrder order) : order_(order) {
    std::u16string run;
    auto endRun = [&] {
        if (!run.empty()) runs_.push_back(std::move(run));
        run.clear();
    };
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c == u'%') {
            endRun();
            if (elements_.empty() || elements_.back().kind != Kind::Any)
                elements_.push_back(Element{Kind::Any, false, 0, {}});
        } else if (c == u'_') {
            endRun();
            elements_.push_back(Element{Kind::One, false, 0, {}});
        } else if (c == u'[') {
            const std::size_t close = pattern.find(u']', i + 1);
            if (close == std::u16string_view::npos)
                throw Error("Invalid pattern string: '[' without ']'", ErrorKind::Syntax);
            Element e{Kind::Set, false, 0, {}};
            std::size_t j = i + 1;
            if (j < close && pattern[j] == u'!') {
                e.negated = true;
                ++j;
            }
            if (j == close) throw Error("Invalid pattern string: empty [ ]", ErrorKind::Syntax);
            for (; j < close; ++j) {
                const std::uint64_t lo = fold(pattern[j], order);
                if (j + 2 < close && pattern[j + 1] == u'-') {
                    const std::uint64_t hi = fold(pattern[j + 2], order);
                    e.ranges.emplace_back(std::min(lo, hi), std::max(lo, hi));
                    j += 2;
                } else {
                    e.ranges.emplace_back(lo, lo);
                }
            }
            // A one-character list without negation ([%], [_]) is a literal.
            if (!e.negated && close == i + 2) {
                run += pattern[i + 1];
                elements_.push_back(Element{Kind::Literal, false, e.ranges[0].first, {}});
            } else {
                endRun();
                elements_.push_back(std::move(e));
            }
            i = close;
        } else {
            run += c;
            elements_.push_back(Element{Kind::Literal, false, fold(c, order), {}});
        }
    }
    endRun();
}

bool LikePattern::elementMatches(const Element& e, std::uint64_t folded, char16_t) const {
    switch (e.kind) {
        case Kind::Literal:
            return e.fold == folded;
        case Kind::One:
            return true;
        case Kind::Set: {
            bool in = false;
            for (const auto& [lo, hi] : e.ranges)
                if (folded >= lo && folded <= hi) {
                    in = true;
                    break;
                }
            return in != e.negated;
        }
        case Kind::Any:
            break;
    }
    return false;
}

bool LikePattern::matches(std::u16string_view text) const {
    // Fold the text once; the matcher may revisit characters after a '%'.
    thread_local std::vector<std::uint64_t> folded;
    folded.resize(text.size());
    std::uint64_t* table = foldTable(order_);
    for (std::size_t k = 0; k < text.size(); ++k) folded[k] = fold(table, text[k], order_);

    // Classic wildcard matching with one backtrack point: every element
    // but '%' consumes exactly one character, so resuming after the latest
    // '%' is enough.
    const std::size_t n = text.size(), m = elements_.size();
    std::size_t p = 0, t = 0, starP = m + 1, starT = 0;
    while (t < n) {
        if (p < m && elements_[p].kind == Kind::Any) {
            starP = ++p;
            starT = t;
        } else if (p < m && elementMatches(elements_[p], folded[t], text[t])) {
            ++p;
            ++t;
        } else if (starP <= m) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < m && elements_[p].kind == Kind::Any) ++p;
    return p == m;
}

// ---- binding and evaluation ----

void bindColumns(Expr& e, const std::function<int(const ColumnRef&)>& resolve) {
    if (e.kind == ExprKind::Column) e.slot = resolve(e.ref);
    if (e.left) bindColumns(*e.left, resolve);
    if (e.right) bindColumns(*e.right, resolve);
}

void checkParamCount(int expected, const std::vector<Value>& params) {
    if (static_cast<std::size_t>(expected) != params.size())
        throw Error("The statement has " + std::to_string(expected) + " parameter(s) but " +
                        std::to_string(params.size()) + " value(s) were given",
                    ErrorKind::InvalidArgument);
}

void prepare(Expr& e, const std::vector<Value>& params, SortOrder order) {
    if (e.kind == ExprKind::Parameter &&
        (e.paramIndex < 0 || static_cast<std::size_t>(e.paramIndex) >= params.size()))
        throw Error("No value given for parameter " + std::to_string(e.paramIndex + 1),
                    ErrorKind::InvalidArgument);
    if (e.left) prepare(*e.left, params, order);
    if (e.right) prepare(*e.right, params, order);
    if (e.kind == ExprKind::Like &&
        (e.right->kind == ExprKind::Literal || e.right->kind == ExprKind::Parameter)) {
        const Value& pv =
            e.right->kind == ExprKind::Literal ? e.right->value : params[e.right->paramIndex];
        if (auto text = likeText(pv)) e.like = std::make_shared<LikePattern>(*text, order);
    }
}

Value evalValue(const Expr& e, const EvalContext& ctx) {
    switch (e.kind) {
        case ExprKind::Literal:
            return e.value;
        case ExprKind::Parameter:
            if (!ctx.params || static_cast<std::size_t>(e.paramIndex) >= ctx.params->size())
                throw Error("No value given for parameter " + std::to_string(e.paramIndex + 1),
                            ErrorKind::InvalidArgument);
            return (*ctx.params)[e.paramIndex];
        case ExprKind::Column:
            if (!ctx.row || e.slot < 0 || static_cast<std::size_t>(e.slot) >= ctx.row->size())
                throw Error("Column '" + e.ref.column + "' is not bound",
                            ErrorKind::InvalidArgument);
            return (*ctx.row)[e.slot];
        default: {
            const Truth t = evalTruth(e, ctx);
            if (t == Truth::Unknown) return Value();
            return Value(t == Truth::True);
        }
    }
}

namespace {

// An operand without copying it when it already lives in the row, the
// parameters or the tree (LIKE on every row must not copy every text).
const Value& operand(const Expr& e, const EvalContext& ctx, Value& scratch) {
    switch (e.kind) {
        case ExprKind::Literal:
            return e.value;
        case ExprKind::Column:
            if (ctx.row && e.slot >= 0 && static_cast<std::size_t>(e.slot) < ctx.row->size())
                return (*ctx.row)[e.slot];
            break;
        case ExprKind::Parameter:
            if (ctx.params && static_cast<std::size_t>(e.paramIndex) < ctx.params->size())
                return (*ctx.params)[e.paramIndex];
            break;
        default:
            break;
    }
    scratch = evalValue(e, ctx);
    return scratch;
}

}  // namespace

Truth evalTruth(const Expr& e, const EvalContext& ctx) {
    switch (e.kind) {
        case ExprKind::And: {
            const Truth l = evalTruth(*e.left, ctx);
            if (l == Truth::False) return Truth::False;
            const Truth r = evalTruth(*e.right, ctx);
            if (r == Truth::False) return Truth::False;
            return l == Truth::True && r == Truth::True ? Truth::True : Truth::Unknown;
        }
        case ExprKind::Or: {
            const Truth l = evalTruth(*e.left, ctx);
            if (l == Truth::True) return Truth::True;
            const Truth r = evalTruth(*e.right, ctx);
            if (r == Truth::True) return Truth::True;
            return l == Truth::False && r == Truth::False ? Truth::False : Truth::Unknown;
        }
        case ExprKind::Not: {
            const Truth t = evalTruth(*e.left, ctx);
            if (t == Truth::Unknown) return t;
            return t == Truth::True ? Truth::False : Truth::True;
        }
        case ExprKind::Compare: {
            Value ls, rs;
            const auto c =
                compareValues(operand(*e.left, ctx, ls), operand(*e.right, ctx, rs), ctx.order);
            if (!c) return Truth::Unknown;
            bool r = false;
            switch (e.op) {
                case CompareOp::Eq:
                    r = *c == 0;
                    break;
                case CompareOp::Ne:
                    r = *c != 0;
                    break;
                case CompareOp::Lt:
                    r = *c < 0;
                    break;
                case CompareOp::Gt:
                    r = *c > 0;
                    break;
                case CompareOp::Le:
                    r = *c <= 0;
                    break;
                case CompareOp::Ge:
                    r = *c >= 0;
                    break;
            }
            return r ? Truth::True : Truth::False;
        }
        case ExprKind::Like: {
            Value scratch;
            const Value& left = operand(*e.left, ctx, scratch);
            if (left.isNull()) return Truth::Unknown;
            if (std::holds_alternative<Bytes>(left.v)) mismatch();
            bool r;
            const auto* text = std::get_if<std::u16string>(&left.v);
            const std::u16string converted = text ? std::u16string() : valueAsText(left);
            const std::u16string_view subject = text ? std::u16string_view(*text) : converted;
            if (e.like) {
                r = e.like->matches(subject);
            } else {
                auto pattern = likeText(evalValue(*e.right, ctx));
                if (!pattern) return Truth::Unknown;
                r = LikePattern(*pattern, ctx.order).matches(subject);
            }
            return r != e.negated ? Truth::True : Truth::False;
        }
        case ExprKind::IsNull: {
            Value scratch;
            return operand(*e.left, ctx, scratch).isNull() != e.negated ? Truth::True
                                                                        : Truth::False;
        }
        default: {
            // A bare value as a condition: Yes/No or a number (non-zero is true).
            const Value v = evalValue(e, ctx);
            if (v.isNull()) return Truth::Unknown;
            if (std::holds_alternative<std::u16string>(v.v) || std::holds_alternative<Bytes>(v.v))
                mismatch();
            const auto n = asNumber(v);
            const bool nonZero = n->exact || n->currency ? n->i != 0 : n->d != 0;
            return nonZero ? Truth::True : Truth::False;
        }
    }
}

}  // namespace jet::sql
