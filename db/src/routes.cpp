// Route choice, type names, date conversion and the wording of engine
// refusals: the pure parts of the layer.
#include <QDate>
#include <QTime>
#include <cmath>

#include "db/db.h"

namespace db {

QString openElsewhereMessage(const std::vector<std::string>& computers) {
    QStringList names;
    for (const std::string& computer : computers) {
        const QString name =
            computer.empty() ? QStringLiteral("desconocido") : QString::fromStdString(computer);
        if (!names.contains(name)) names.append(name);
    }
    return QStringLiteral(
               "La base de datos está abierta en otro equipo (%1). Ciérrela allí o use "
               "el controlador ODBC de Microsoft Access para modificarla ahora.")
        .arg(names.join(QStringLiteral(", ")));
}

QString columnTypeName(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return QStringLiteral("Text");
        case ColumnType::Memo:
            return QStringLiteral("Memo");
        case ColumnType::Byte:
            return QStringLiteral("Byte");
        case ColumnType::Int16:
            return QStringLiteral("Integer");
        case ColumnType::Int32:
            return QStringLiteral("Long Integer");
        case ColumnType::AutoNumber:
            return QStringLiteral("AutoNumber");
        case ColumnType::Currency:
            return QStringLiteral("Currency");
        case ColumnType::Single:
            return QStringLiteral("Single");
        case ColumnType::Double:
            return QStringLiteral("Double");
        case ColumnType::Decimal:
            return QStringLiteral("Decimal");
        case ColumnType::Boolean:
            return QStringLiteral("Yes/No");
        case ColumnType::Date:
            return QStringLiteral("Date");
        case ColumnType::Time:
            return QStringLiteral("Time");
        case ColumnType::DateTime:
            return QStringLiteral("Date/Time");
        case ColumnType::Stamp:
            return QStringLiteral("Timestamp");
        case ColumnType::Binary:
            return QStringLiteral("Binary");
        case ColumnType::LongBinary:
            return QStringLiteral("OLE Object");
        case ColumnType::Guid:
            return QStringLiteral("Replication ID");
        case ColumnType::Unknown:
            break;
    }
    return QStringLiteral("Unknown");
}

QString fieldTypeName(FieldType type) {
    switch (type) {
        case FieldType::Text:
            return QStringLiteral("Text");
        case FieldType::Int32:
            return QStringLiteral("Long Integer");
        case FieldType::Int16:
            return QStringLiteral("Integer");
        case FieldType::Double:
            return QStringLiteral("Double");
        case FieldType::Boolean:
            return QStringLiteral("Yes/No");
        case FieldType::DateTime:
            return QStringLiteral("Date/Time");
        case FieldType::Memo:
            return QStringLiteral("Memo");
    }
    return QStringLiteral("Unknown");
}

const QStringList& accessDriverNames() {
    static const QStringList names = {
        QStringLiteral("Microsoft Access Driver (*.mdb, *.accdb)"),
        QStringLiteral("Microsoft Access Driver (*.mdb)"),
        QStringLiteral("Driver do Microsoft Access (*.mdb)"),
        QStringLiteral("Microsoft Access-Treiber (*.mdb)"),
    };
    return names;
}

QString chooseAccessDriver(const QStringList& installed) {
    for (const QString& wanted : accessDriverNames()) {
        for (const QString& name : installed) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0) return name;
        }
    }
    return {};
}

QString odbcConnectString(const QString& driver, const QString& file) {
    return QStringLiteral("DRIVER={%1};DBQ=%2;ExtendedAnsiSQL=1").arg(driver, file);
}

std::unique_ptr<Route> makeDefaultRoute() {
    const QString driver = chooseAccessDriver(installedOdbcDrivers());
    if (driver.isEmpty()) return makeEmbeddedRoute();
    return makeOdbcRoute(driver);
}

namespace {
const QDate kOleEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;
}  // namespace

// Before the epoch the integer part counts days backwards while the fraction
// still runs forwards: -1.25 is 1899-12-29 06:00.
QDateTime fromOleDays(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        throw Error(QStringLiteral("Invalid date value %1").arg(days), ErrorKind::Conversion);
    const double whole = std::trunc(days);
    qint64 ms = std::llround(std::fabs(days - whole) * kMsPerDay);
    qint64 dayNumber = static_cast<qint64>(whole);
    if (ms >= kMsPerDay) {  // rounding reached the next midnight
        ms -= kMsPerDay;
        dayNumber += days < 0 ? -1 : 1;
    }
    return QDateTime(kOleEpoch.addDays(dayNumber), QTime::fromMSecsSinceStartOfDay(int(ms)),
                     Qt::UTC);
}

double toOleDays(const QDateTime& value) {
    const qint64 dayNumber = kOleEpoch.daysTo(value.date());
    const double frac = double(value.time().msecsSinceStartOfDay()) / kMsPerDay;
    return dayNumber < 0 ? double(dayNumber) - frac : double(dayNumber) + frac;
}

}  // namespace db
