#include "ticket_statement.h"

#include <chrono>

#include "precios/error.h"

namespace tickets {
namespace {

constexpr const char* kSetInvoiced =
    "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
    "[Cabecera Tickets de Venta].[Forma de Pago] = 'Facturado'";
constexpr const char* kSetPending =
    "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
    "[Cabecera Tickets de Venta].[Forma de Pago] = 'Pendiente'";

std::string fromLine(const Date& from) {
    return " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#" + dateText(from) + "#)";
}

std::string toLine(const Date& to, const char* closing) {
    return " AND (([Cabecera Tickets de Venta].Fecha)<=#" + dateText(to) + closing;
}

}  // namespace

StatementMode chooseMode(bool cfacturarChecked, bool cfacturadosChecked) {
    if (cfacturarChecked) return StatementMode::MarkInvoiced;
    if (cfacturadosChecked) return StatementMode::AllPending;
    return StatementMode::NotInvoicedOnly;
}

std::string dateText(const Date& date) {
    const std::chrono::year_month_day ymd{std::chrono::year{date.year},
                                          std::chrono::month{static_cast<unsigned>(date.month)},
                                          std::chrono::day{static_cast<unsigned>(date.day)}};
    if (!ymd.ok() || date.year < 1 || date.year > 9999 || date.month < 1 || date.day < 1)
        throw precios::Error("Fecha no válida", precios::ErrorKind::InvalidArgument);
    return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
           std::to_string(date.year);
}

std::vector<std::string> statementLines(StatementMode mode, const Date& from, const Date& to) {
    switch (mode) {
        case StatementMode::MarkInvoiced:
            return {kSetInvoiced, fromLine(from), toLine(to, "#))")};
        case StatementMode::AllPending:
            return {kSetPending, fromLine(from), toLine(to, "#))")};
        case StatementMode::NotInvoicedOnly:
            // The status test closes the parenthesis the date line leaves open.
            return {kSetPending, fromLine(from), toLine(to, "#)"),
                    " AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))"};
    }
    throw precios::Error("Modo de cambio desconocido", precios::ErrorKind::InvalidArgument);
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i];
    }
    return text;
}

std::string CompletionMessage(std::int64_t rows) {
    return "Proceso completado. Tickets modificados: " + std::to_string(rows);
}

}  // namespace tickets
