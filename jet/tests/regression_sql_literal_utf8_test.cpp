// Regression (found by fuzz_sql, search mode): a string literal holding a
// four-byte UTF-8 sequence above U+10FFFF was turned into stray surrogate
// code units instead of being refused, so the LIKE pattern held characters
// the text never had; overlong forms were decoded as other characters.
#include <gtest/gtest.h>

#include <string>

#include "sql/parser.h"

namespace jet::sql {
namespace {

std::u16string likePattern(const std::string& text) {
    Statement st =
        parse("select referencia from articulos where descripcion like('%" + text + "%')");
    const auto& select = std::get<SelectStmt>(st);
    return std::get<std::u16string>(select.where->right->value.v);
}

TEST(RegressionSqlLiteralUtf8, SequencesWithoutAUtf16FormAreSyntaxErrors) {
    // The fuzzer's input: 'd', F6 99 8E B2 (would be U+19A3B2), '`'.
    const std::string crasher = "d\xF6\x99\x8E\xB2`";
    for (const std::string& bad :
         {crasher, std::string("\xF4\x90\x80\x80"), std::string("\xC0\xA7"),
          std::string("\xE0\x80\xA7"), std::string("\xF0\x80\x80\xA7")}) {
        try {
            likePattern(bad);
            ADD_FAILURE() << "accepted invalid UTF-8";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Syntax);
            EXPECT_NE(std::string(e.what()).find("invalid UTF-8"), std::string::npos) << e.what();
        }
    }
}

TEST(RegressionSqlLiteralUtf8, ValidSequencesStillDecode) {
    EXPECT_EQ(likePattern("\xF0\x9F\x98\x80"), u"%\U0001F600%");
    EXPECT_EQ(likePattern("\xF4\x8F\xBF\xBF"), u"%\U0010FFFF%");
    EXPECT_EQ(likePattern("CA\xC3\x91"
                          "ER\xC3\x8D"
                          "A"),
              u"%CAÑERÍA%");
    EXPECT_EQ(likePattern("\xE2\x82\xAC"), u"%€%");
}

}  // namespace
}  // namespace jet::sql
