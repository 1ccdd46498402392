#include "ticket_statement.h"

#include <gtest/gtest.h>

#include "precios/error.h"

namespace tickets {
namespace {

const std::string kUpdateInvoiced =
    "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
    "[Cabecera Tickets de Venta].[Forma de Pago] = 'Facturado'";
const std::string kUpdatePending =
    "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
    "[Cabecera Tickets de Venta].[Forma de Pago] = 'Pendiente'";

TEST(TicketStatement, ModeFromTheCheckBoxes) {
    EXPECT_EQ(chooseMode(true, false), StatementMode::MarkInvoiced);
    EXPECT_EQ(chooseMode(true, true), StatementMode::MarkInvoiced);
    EXPECT_EQ(chooseMode(false, true), StatementMode::AllPending);
    EXPECT_EQ(chooseMode(false, false), StatementMode::NotInvoicedOnly);
}

TEST(TicketStatement, DateTextIsMonthFirstWithoutLeadingZeros) {
    EXPECT_EQ(dateText({2024, 3, 5}), "3/5/2024");
    EXPECT_EQ(dateText({2024, 4, 12}), "4/12/2024");
    EXPECT_EQ(dateText({2023, 12, 31}), "12/31/2023");
    EXPECT_EQ(dateText({2024, 11, 9}), "11/9/2024");
    EXPECT_EQ(dateText({2024, 2, 29}), "2/29/2024");
    for (Date bad : {Date{2023, 2, 29}, Date{2024, 13, 1}, Date{2024, 0, 1}, Date{2024, 4, 31},
                     Date{2024, 1, 0}, Date{0, 1, 1}, Date{10000, 1, 1}, Date{2024, -1, 5}}) {
        try {
            dateText(bad);
            ADD_FAILURE() << bad.year << "-" << bad.month << "-" << bad.day;
        } catch (const precios::Error& e) {
            EXPECT_EQ(e.kind(), precios::ErrorKind::InvalidArgument);
        }
    }
}

TEST(TicketStatement, MarkInvoiced) {
    EXPECT_EQ(statementLines(StatementMode::MarkInvoiced, {2024, 3, 5}, {2024, 4, 12}),
              (std::vector<std::string>{
                  kUpdateInvoiced,
                  " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#3/5/2024#)",
                  " AND (([Cabecera Tickets de Venta].Fecha)<=#4/12/2024#))",
              }));
}

TEST(TicketStatement, AllPendingAcrossYears) {
    EXPECT_EQ(statementLines(StatementMode::AllPending, {2023, 12, 28}, {2024, 1, 3}),
              (std::vector<std::string>{
                  kUpdatePending,
                  " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#12/28/2023#)",
                  " AND (([Cabecera Tickets de Venta].Fecha)<=#1/3/2024#))",
              }));
}

TEST(TicketStatement, NotInvoicedOnlyClosesOnTheStatusLine) {
    const auto lines = statementLines(StatementMode::NotInvoicedOnly, {2024, 3, 5}, {2024, 10, 21});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         kUpdatePending,
                         " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#3/5/2024#)",
                         " AND (([Cabecera Tickets de Venta].Fecha)<=#10/21/2024#)",
                         " AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))",
                     }));
}

TEST(TicketStatement, JoinedStatementsBalanceTheirParentheses) {
    for (StatementMode mode :
         {StatementMode::MarkInvoiced, StatementMode::AllPending, StatementMode::NotInvoicedOnly}) {
        const auto lines = statementLines(mode, {2024, 1, 1}, {2024, 12, 31});
        const std::string text = joinLines(lines);
        int depth = 0;
        for (char c : text) {
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            ASSERT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0);
        EXPECT_NE(lines.front().front(), ' ');
        std::size_t breaks = 0;
        for (std::size_t pos = text.find("\r\n"); pos != std::string::npos;
             pos = text.find("\r\n", pos + 2)) {
            ++breaks;
            EXPECT_EQ(text[pos + 2], ' ');
        }
        EXPECT_EQ(breaks, lines.size() - 1);
    }
    EXPECT_EQ(joinLines({"a", " b", " c"}), "a\r\n b\r\n c");
    EXPECT_EQ(joinLines({}), "");
}

TEST(TicketStatement, CompletionMessage) {
    EXPECT_EQ(CompletionMessage(0), "Proceso completado. Tickets modificados: 0");
    EXPECT_EQ(CompletionMessage(1234567), "Proceso completado. Tickets modificados: 1234567");
}

}  // namespace
}  // namespace tickets
