// The search box's statements, as the engine and the ODBC driver receive them.
#include "search_statement.h"

#include <gtest/gtest.h>

namespace {

const QString kHead = QStringLiteral(
    "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion like('%");

// The first line of the search statement for typed, and checks the second.
QString searchLine(const QString& typed) {
    const QStringList lines = browse::searchStatement(typed);
    EXPECT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.value(1), QStringLiteral(" order by descripcion"));
    return lines.value(0);
}

}  // namespace

TEST(SearchStatement, BaseAndSearchFormsShareColumnsAndOrder) {
    EXPECT_EQ(browse::listStatement(),
              QStringList{QStringLiteral("select referencia,descripcion,[Tipo Impuesto] from "
                                         "articulos order by descripcion")});
    EXPECT_EQ(searchLine(QStringLiteral("CEMENTO")), kHead + QStringLiteral("CEMENTO%') "));
    // An empty search lists every item with a description, through '%%'.
    EXPECT_EQ(searchLine(QString()), kHead + QStringLiteral("%') "));
}

TEST(SearchStatement, QuotesCannotEndThePatternWhilePatternCharactersStay) {
    EXPECT_EQ(searchLine(QStringLiteral("O'DONNELL")), kHead + QStringLiteral("O''DONNELL%') "));
    // A text made to close the pattern and append a condition stays inside it.
    EXPECT_EQ(searchLine(QStringLiteral("x') or 1=1 --")),
              kHead + QStringLiteral("x'') or 1=1 --%') "));
    EXPECT_EQ(searchLine(QStringLiteral("''")), kHead + QStringLiteral("''''%') "));
    EXPECT_EQ(searchLine(QStringLiteral("50%_")), kHead + QStringLiteral("50%_%') "));
    EXPECT_EQ(searchLine(QStringLiteral("CAÑERÍA Ü")), kHead + QStringLiteral("CAÑERÍA Ü%') "));
}
