#include <gtest/gtest.h>

#include "sql/eval.h"
#include "sql/parser.h"

namespace jet::sql {
namespace {

constexpr SortOrder kOrder = SortOrder::General4;

bool like(std::u16string_view text, std::u16string_view pattern) {
    return LikePattern(pattern, kOrder).matches(text);
}

TEST(SqlLike, AnsiWildcardsAndCaseFolding) {
    EXPECT_TRUE(like(u"SACO CEMENTO GRIS", u"%CEMENTO%"));
    EXPECT_TRUE(like(u"Cemento cola flexible", u"%CEMENTO%"));
    EXPECT_TRUE(like(u"CEMENTO", u"CEMENTO"));
    EXPECT_FALSE(like(u"CEMENTOS", u"CEMENTO"));
    EXPECT_TRUE(like(u"", u"%%"));
    EXPECT_FALSE(like(u"", u"_"));
    EXPECT_TRUE(like(u"AXB CONECTOR", u"%A_B%"));
    EXPECT_TRUE(like(u"A_B CONECTOR", u"%A_B%"));
    EXPECT_FALSE(like(u"AB CONECTOR", u"%A_B%"));
    EXPECT_TRUE(like(u"MORTERO 10% CAL", u"%10%%"));
    EXPECT_TRUE(like(u"BROCHA D'ARCO 50MM", u"%D'ARCO%"));
    // '*' and '?' are ordinary characters in ANSI mode.
    EXPECT_FALSE(like(u"ABC", u"A*"));
    EXPECT_TRUE(like(u"A*", u"A*"));
    EXPECT_FALSE(like(u"AB", u"A?"));
    // Backtracking after '%': the first 'AB' is a false start.
    EXPECT_TRUE(like(u"ABABC", u"%ABC"));
    EXPECT_TRUE(like(u"XAYBZC", u"%A%B%C"));
    EXPECT_FALSE(like(u"XAYBZ", u"%A%B%C"));
    // Accent-sensitive, case-insensitive.
    EXPECT_TRUE(like(u"cuña niveladora plástico mini", u"%CUÑA%"));
    EXPECT_FALSE(like(u"CUNA", u"%CUÑA%"));
    EXPECT_FALSE(like(u"ANGULO", u"%ÁNGULO%"));
}

TEST(SqlLike, CharacterLists) {
    EXPECT_TRUE(like(u"10% CAL", u"%[%]%"));
    EXPECT_FALSE(like(u"10 CAL", u"%[%]%"));
    EXPECT_TRUE(like(u"A_B", u"A[_]B"));
    EXPECT_FALSE(like(u"AXB", u"A[_]B"));
    EXPECT_TRUE(like(u"B7", u"[ABC][0-9]"));
    EXPECT_TRUE(like(u"b7", u"[a-c]7"));
    EXPECT_FALSE(like(u"D7", u"[ABC]7"));
    EXPECT_TRUE(like(u"D7", u"[!ABC]7"));
    EXPECT_FALSE(like(u"A7", u"[!ABC]7"));
    EXPECT_THROW(LikePattern(u"[abc", kOrder), Error);
    const LikePattern p(u"%CEMENTO%GRIS_[x]%", kOrder);
    ASSERT_EQ(p.literalRuns().size(), 3u);
    EXPECT_EQ(p.literalRuns()[0], u"CEMENTO");
    EXPECT_EQ(p.literalRuns()[1], u"GRIS");
    EXPECT_EQ(p.literalRuns()[2], u"x");
}

TEST(SqlCompare, NumbersTextAndMismatch) {
    auto cmp = [](const Value& a, const Value& b) { return compareValues(a, b, kOrder); };
    EXPECT_EQ(cmp(std::int64_t{2}, 2.0), 0);
    EXPECT_EQ(cmp(std::int64_t{-1}, true), 0);  // True is -1
    EXPECT_EQ(cmp(false, std::int64_t{0}), 0);
    EXPECT_EQ(cmp(Currency{35000}, 3.5), 0);
    EXPECT_EQ(cmp(Currency{1}, Currency{2}), -1);
    EXPECT_EQ(cmp(DateTime{45394.5}, DateTime{45394.0}), 1);
    EXPECT_EQ(cmp(std::int64_t{9007199254740993}, std::int64_t{9007199254740992}), 1);
    EXPECT_EQ(cmp(Decimal{"-12.50"}, -12.5), 0);
    EXPECT_EQ(cmp(std::u16string(u"cemento"), std::u16string(u"CEMENTO")), 0);
    EXPECT_EQ(cmp(std::u16string(u"AA  "), std::u16string(u"aa")), 0);
    EXPECT_NE(cmp(std::u16string(u"e"), std::u16string(u"é")), 0);
    EXPECT_EQ(cmp(Bytes{1, 2}, Bytes{1, 3}), -1);
    EXPECT_FALSE(cmp(Value(), std::int64_t{1}).has_value());
    EXPECT_FALSE(cmp(std::u16string(u"x"), Value()).has_value());
    try {
        cmp(std::u16string(u"1"), std::int64_t{1});
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Conversion);
    }
    EXPECT_THROW(cmp(Bytes{1}, std::int64_t{1}), Error);
}

// Evaluates the WHERE of "select a, b from t where <cond>" over one row (a, b).
Truth where(const std::string& cond, std::vector<Value> row, std::vector<Value> params = {}) {
    auto s = std::get<SelectStmt>(parse("select a, b from t where " + cond));
    bindColumns(*s.where, [](const ColumnRef& r) {
        if (r.column == "a" || r.column == "A") return 0;
        if (r.column == "b") return 1;
        throw Error("no column " + r.column, ErrorKind::NotFound);
    });
    checkParamCount(s.paramCount, params);
    prepare(*s.where, params, kOrder);
    EvalContext ctx{&row, &params, kOrder};
    return evalTruth(*s.where, ctx);
}

TEST(SqlEval, ThreeValuedLogic) {
    const Value null;
    const Value one = std::int64_t{1};
    EXPECT_EQ(where("a = 1", {one, null}), Truth::True);
    EXPECT_EQ(where("b = 1", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("b <> 1", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("not b = 1", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("b = 1 and a = 2", {one, null}), Truth::False);
    EXPECT_EQ(where("b = 1 and a = 1", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("b = 1 or a = 1", {one, null}), Truth::True);
    EXPECT_EQ(where("b = 1 or a = 2", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("b is null", {one, null}), Truth::True);
    EXPECT_EQ(where("b is not null", {one, null}), Truth::False);
    EXPECT_EQ(where("a is not null and not (a = 2)", {one, null}), Truth::True);
    EXPECT_EQ(where("b like '%%'", {one, null}), Truth::Unknown);
    EXPECT_EQ(where("b like '%%'", {one, std::u16string()}), Truth::True);
    EXPECT_EQ(where("b not like 'x%'", {one, std::u16string(u"abc")}), Truth::True);
    EXPECT_EQ(where("a like '1%'", {std::int64_t{12}, null}), Truth::True);
    EXPECT_EQ(where("b", {one, true}), Truth::True);
    EXPECT_EQ(where("b = true", {one, false}), Truth::False);
}

TEST(SqlEval, ParametersAndLikeFromParameter) {
    const std::vector<Value> row = {std::u16string(u"PINCEL D'ARCO FINO"), std::int64_t{3}};
    EXPECT_EQ(where("a like ? and b = ?", row, {std::u16string(u"%d'arco%"), std::int64_t{3}}),
              Truth::True);
    EXPECT_EQ(where("a like ?", row, {Value()}), Truth::Unknown);
    EXPECT_EQ(where("a like (b)", {std::u16string(u"x"), std::u16string(u"X")}), Truth::True);
    EXPECT_THROW(where("a = ?", row, {}), Error);
    EXPECT_THROW(where("a = ?", row, {Value(), Value()}), Error);
    EXPECT_THROW(where("c = 1", row), Error);
    EXPECT_THROW(where("a = 1", row), Error);  // text against number
}

}  // namespace
}  // namespace jet::sql
