// The ticket status change statement, built as text.
//
// "Cambiar Estado" rewrites the payment status of every sales ticket of a
// date range with one UPDATE on [Cabecera Tickets de Venta]. This module builds
// that statement's lines from the two dates and the two check boxes, and the
// completion message; running it is the window's business.
//
// Dates are written month/day/year between '#' signs, without leading zeros,
// in every locale: it is a date literal of the Access SQL dialect and must not
// follow the user's short date format.
//
// Pure functions, no state: safe from any thread. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tickets {

// A calendar date; the time of day plays no part.
struct Date {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
};

enum class StatementMode {
    MarkInvoiced,     // A: "Marcar como Facturado" (cfacturar) checked; it wins over the other box
    AllPending,       // B: "Incluir Facturados" (Cfacturados) checked
    NotInvoicedOnly,  // C: neither box: only tickets not yet invoiced become pending
};

StatementMode chooseMode(bool cfacturarChecked, bool cfacturadosChecked);

// "3/5/2024" for 5 March 2024. Raises precios::Error (InvalidArgument) on a
// date no picker can hold (no such day, year outside 1..9999).
std::string dateText(const Date& date);

// The statement's lines in order: the first without a leading blank, every
// later one starting with a blank.
std::vector<std::string> statementLines(StatementMode mode, const Date& from, const Date& to);

// The lines joined by CR LF into one statement.
std::string joinLines(const std::vector<std::string>& lines);

// "Proceso completado. Tickets modificados: N".
std::string CompletionMessage(std::int64_t rows);

}  // namespace tickets
