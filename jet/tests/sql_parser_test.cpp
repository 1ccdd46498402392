#include <gtest/gtest.h>

#include "sql/lexer.h"
#include "sql/parser.h"

namespace jet::sql {
namespace {

const char* kSearch =
    "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
    "like('%D''ARCO%') \r\n order by descripcion";

TEST(SqlLexer, TokensPositionsAndEscapes) {
    auto t = tokenize("a\r\n[b c].'it''s' <> <= >= 12.5 #3/5/2024# ? -1;");
    ASSERT_EQ(t.size(), 13u);  // the trailing semicolon adds none
    EXPECT_EQ(t[0].kind, TokenKind::Word);
    EXPECT_EQ(t[1].kind, TokenKind::Bracketed);
    EXPECT_EQ(t[1].text, "b c");
    EXPECT_EQ(t[1].pos, 3u);  // after CR LF
    EXPECT_EQ(t[2].kind, TokenKind::Dot);
    EXPECT_EQ(t[3].kind, TokenKind::String);
    EXPECT_EQ(t[3].text, "it's");
    EXPECT_EQ(t[4].kind, TokenKind::Ne);
    EXPECT_EQ(t[5].kind, TokenKind::Le);
    EXPECT_EQ(t[6].kind, TokenKind::Ge);
    EXPECT_EQ(t[7].text, "12.5");
    EXPECT_EQ(t[8].kind, TokenKind::Date);
    EXPECT_EQ(t[8].text, "3/5/2024");
    EXPECT_EQ(t[9].kind, TokenKind::Param);
    EXPECT_EQ(t[10].kind, TokenKind::Minus);
    EXPECT_EQ(t.back().kind, TokenKind::End);
}

TEST(SqlParser, SearchStatementOfTheTool) {
    auto st = parse(kSearch);
    auto& s = std::get<SelectStmt>(st);
    ASSERT_EQ(s.columns.size(), 3u);
    EXPECT_EQ(s.columns[2].column, "Tipo Impuesto");
    EXPECT_EQ(s.table, "articulos");
    ASSERT_TRUE(s.where);
    EXPECT_EQ(s.where->kind, ExprKind::Like);
    EXPECT_EQ(std::get<std::u16string>(s.where->right->value.v), u"%D'ARCO%");
    ASSERT_EQ(s.orderBy.size(), 1u);
    EXPECT_FALSE(s.orderBy[0].descending);
}

TEST(SqlParser, StarBracketedTableOrderAscDesc) {
    auto s = std::get<SelectStmt>(
        parse("SELECT * FROM [Tipos de Impuestos] ORDER BY [Codigo] DESC, Nombre ASC, x"));
    EXPECT_TRUE(s.star);
    EXPECT_EQ(s.table, "Tipos de Impuestos");
    ASSERT_EQ(s.orderBy.size(), 3u);
    EXPECT_TRUE(s.orderBy[0].descending);
    EXPECT_FALSE(s.orderBy[1].descending);
    EXPECT_FALSE(s.orderBy[2].descending);
}

TEST(SqlParser, TicketUpdateStatementC) {
    const std::string sql =
        "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
        "[Cabecera Tickets de Venta].[Forma de Pago] = 'Pendiente'\r\n"
        " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#3/5/2024#)\r\n"
        " AND (([Cabecera Tickets de Venta].Fecha)<=#4/12/2024#)\r\n"
        " AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))";
    auto u = std::get<UpdateStmt>(parse(sql));
    EXPECT_EQ(u.table, "Cabecera Tickets de Venta");
    ASSERT_EQ(u.assignments.size(), 2u);
    EXPECT_EQ(u.assignments[0].target.table, "Cabecera Tickets de Venta");
    EXPECT_EQ(u.assignments[0].target.column, "Documento");
    EXPECT_EQ(std::get<std::u16string>(u.assignments[0].value->value.v), u"");
    EXPECT_EQ(u.assignments[1].target.column, "Forma de Pago");
    // ((a >= d1) AND (b <= d2)) AND (c <> 'Facturado'): left-associative AND.
    ASSERT_EQ(u.where->kind, ExprKind::And);
    EXPECT_EQ(u.where->right->op, CompareOp::Ne);
    const Expr& ge = *u.where->left->left;
    EXPECT_EQ(ge.op, CompareOp::Ge);
    EXPECT_EQ(ge.left->ref.column, "Fecha");
    EXPECT_DOUBLE_EQ(std::get<DateTime>(ge.right->value.v).days, 45356.0);  // 2024-03-05
}

TEST(SqlParser, PrecedenceNotAndOrIsNullParams) {
    auto s = std::get<SelectStmt>(
        parse("select a from t where not a = ? or b is not null and c not like ? or d is null"));
    EXPECT_EQ(s.paramCount, 2);
    // OR( OR(NOT(a=?), AND(b IS NOT NULL, c NOT LIKE ?)), d IS NULL )
    const Expr& w = *s.where;
    ASSERT_EQ(w.kind, ExprKind::Or);
    EXPECT_EQ(w.right->kind, ExprKind::IsNull);
    EXPECT_FALSE(w.right->negated);
    ASSERT_EQ(w.left->kind, ExprKind::Or);
    EXPECT_EQ(w.left->left->kind, ExprKind::Not);
    ASSERT_EQ(w.left->right->kind, ExprKind::And);
    EXPECT_TRUE(w.left->right->left->negated);
    EXPECT_EQ(w.left->right->right->kind, ExprKind::Like);
    EXPECT_TRUE(w.left->right->right->negated);
    EXPECT_EQ(w.left->right->right->right->paramIndex, 1);
}

TEST(SqlParser, LiteralsOfEveryKind) {
    auto s = std::get<SelectStmt>(
        parse("select a from t where a = -5 or a = 2.5 or a = True or a = false or a = 'x' or a = "
              "9999999999999 or a = #2024-06-14 17:40:30#"));
    std::vector<Value> values;
    const Expr* e = s.where.get();
    while (e->kind == ExprKind::Or) {
        values.insert(values.begin(), e->right->right->value);
        e = e->left.get();
    }
    values.insert(values.begin(), e->right->value);
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values[0], Value(std::int64_t{-5}));
    EXPECT_EQ(values[1], Value(2.5));
    EXPECT_EQ(values[2], Value(true));
    EXPECT_EQ(values[3], Value(false));
    EXPECT_EQ(values[4], Value(std::u16string(u"x")));
    EXPECT_EQ(values[5], Value(std::int64_t{9999999999999}));
    EXPECT_NEAR(std::get<DateTime>(values[6].v).days, 45457 + (17 * 3600 + 40 * 60 + 30) / 86400.0,
                1e-9);
}

TEST(SqlParser, DateLiterals) {
    EXPECT_DOUBLE_EQ(parseDateLiteral("12/30/1899", 0).days, 0);
    EXPECT_DOUBLE_EQ(parseDateLiteral("1/1/1900", 0).days, 2);
    EXPECT_DOUBLE_EQ(parseDateLiteral("4/12/2024", 0).days, 45394);
    EXPECT_DOUBLE_EQ(parseDateLiteral("2/29/2024 6:00 PM", 0).days, 45351.75);
    EXPECT_DOUBLE_EQ(parseDateLiteral("12/29/1899 06:00:00", 0).days, -1.25);
    EXPECT_THROW(parseDateLiteral("2/30/2024", 0), Error);
    EXPECT_THROW(parseDateLiteral("13/1/2024", 0), Error);
    EXPECT_THROW(parseDateLiteral("1/1/2024 25:00", 0), Error);
    EXPECT_THROW(parseDateLiteral("yesterday", 0), Error);
}

// Each malformed statement fails with a Syntax error naming the given position.
TEST(SqlParser, RefusesMalformedStatementsWithPosition) {
    struct Case {
        const char* sql;
        int position;  // 1-based, as in the message
    };
    const Case cases[] = {
        {"delete from t", 1},
        {"select from t", 8},
        {"select a t", 10},
        {"select a from", 14},
        {"select a from t where", 22},
        {"select a from t where a = ", 27},
        {"select a from t where (a = 1", 29},
        {"select a from t where a = 'x", 27},
        {"select a from t where a = #1/2/2024", 27},
        {"select a from t where a = #31/1/2024#", 27},
        {"select [a from t", 8},
        {"select a from t order a", 23},
        {"select a from t where a is b", 28},
        {"select a from t extra", 17},
        {"update t set a 1", 16},
        {"update t set a = 1 where", 25},
        {"select a, from t", 11},
        {"select a from t where a == 1", 26},
        {"select a from t where a = 1 $", 29},
        {"select a.b.c from t", 11},
        {"select select from t", 8},
    };
    for (const auto& c : cases) {
        try {
            parse(c.sql);
            ADD_FAILURE() << "accepted: " << c.sql;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Syntax) << c.sql;
            const std::string expected = "at position " + std::to_string(c.position) + ":";
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos)
                << c.sql << " -> " << e.what();
        }
    }
}

// Trees are walked recursively: huge or deeply nested statements are refused
// before they can exhaust the stack, ordinary ones pass.
TEST(SqlParser, BoundsSizeAndNesting) {
    std::string nested =
        "select a from t where " + std::string(5000, '(') + "a = 1" + std::string(5000, ')');
    EXPECT_THROW(parse(nested), Error);
    std::string nots = "select a from t where ";
    for (int i = 0; i < 5000; ++i) nots += "not ";
    EXPECT_THROW(parse(nots + "a = 1"), Error);
    std::string chain = "select a from t where a = 1";
    for (int i = 0; i < 100000; ++i) chain += " and a = 1";
    EXPECT_THROW(parse(chain), Error);
    std::string fine =
        "select a from t where " + std::string(50, '(') + "a = 1" + std::string(50, ')');
    for (int i = 0; i < 200; ++i) fine += " or a = 1";
    EXPECT_NO_THROW(parse(fine));
}

}  // namespace
}  // namespace jet::sql
