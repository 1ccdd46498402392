#include "search_statement.h"

namespace browse {

namespace {
const QString kColumns =
    QStringLiteral("select referencia,descripcion,[Tipo Impuesto] from articulos");
const QString kOrder = QStringLiteral(" order by descripcion");
}  // namespace

QStringList listStatement() { return {kColumns + kOrder}; }

QStringList searchStatement(const QString& text) {
    QString pattern = text;
    pattern.replace(QLatin1Char('\''), QStringLiteral("''"));
    return {
        kColumns + QStringLiteral(" where descripcion like('%") + pattern + QStringLiteral("%') "),
        kOrder};
}

}  // namespace browse
