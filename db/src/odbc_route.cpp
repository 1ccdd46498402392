// The ODBC route over the driver manager (unixODBC on Linux, odbc32 on
// Windows). Wide-character calls throughout, so paths and texts keep every
// character whatever the code page.
#include "odbc_route.h"

#ifdef _WIN32
#include <windows.h>  // MinGW's ODBC headers need its types first
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QDate>
#include <QTime>
#include <vector>

namespace db {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16 SQLWCHAR");

std::vector<SQLWCHAR> wide(const QString& s) {
    std::vector<SQLWCHAR> out(size_t(s.size()) + 1, 0);
    for (qsizetype i = 0; i < s.size(); ++i) out[size_t(i)] = SQLWCHAR(s[i].unicode());
    return out;
}

QString fromWide(const SQLWCHAR* s, qsizetype chars) {
    return QString(reinterpret_cast<const QChar*>(s), chars);
}

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The driver's own diagnostics, one line per record.
QString diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    QStringList lines;
    for (SQLSMALLINT i = 1; i <= 20; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, i, state, &native, message, 1024, &length);
        if (!ok(rc)) break;
        const QString text = fromWide(message, qMin<qsizetype>(length, 1023)).trimmed();
        if (!text.isEmpty()) lines.append(text);
    }
    return lines.isEmpty() ? QStringLiteral("ODBC call failed") : lines.join(QLatin1Char('\n'));
}

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, ErrorKind kind = ErrorKind::Generic) {
    throw Error(diagnostics(type, handle), kind);
}

ColumnType columnTypeOf(SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return ColumnType::Text;
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return ColumnType::Memo;
        case SQL_BIT:
            return ColumnType::Boolean;
        case SQL_TINYINT:
            return ColumnType::Byte;
        case SQL_SMALLINT:
            return ColumnType::Int16;
        case SQL_INTEGER:
            return ColumnType::Int32;
        case SQL_REAL:
            return ColumnType::Single;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return ColumnType::Double;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            // The Access driver reports Currency as NUMERIC(19,4).
            return size == 19 && scale == 4 ? ColumnType::Currency : ColumnType::Decimal;
        case SQL_TYPE_DATE:
        case SQL_DATE:
            return ColumnType::Date;
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return ColumnType::Time;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
            return ColumnType::Stamp;
        case SQL_BINARY:
        case SQL_VARBINARY:
            return ColumnType::Binary;
        case SQL_LONGVARBINARY:
            return ColumnType::LongBinary;
        case SQL_GUID:
            return ColumnType::Guid;
        default:
            return ColumnType::Unknown;
    }
}

// Parameter values, kept alive until the statement has run.
struct ParamBuffers {
    std::vector<std::vector<SQLWCHAR>> texts;
    std::vector<SQLLEN> indicators;
    std::vector<SQLINTEGER> ints;
    std::vector<double> doubles;
    std::vector<unsigned char> bits;
    std::vector<SQL_TIMESTAMP_STRUCT> stamps;
};

void bindParams(SQLHSTMT stmt, const QVariantList& params, ParamBuffers& b) {
    const size_t n = size_t(params.size());
    b.texts.resize(n);
    b.indicators.assign(n, 0);
    b.ints.assign(n, 0);
    b.doubles.assign(n, 0);
    b.bits.assign(n, 0);
    b.stamps.assign(n, SQL_TIMESTAMP_STRUCT{});
    for (size_t i = 0; i < n; ++i) {
        const QVariant& v = params[qsizetype(i)];
        const SQLUSMALLINT number = SQLUSMALLINT(i + 1);
        SQLRETURN rc;
        const int typeId = v.metaType().id();
        if (!v.isValid()) {
            b.indicators[i] = SQL_NULL_DATA;
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0,
                                  nullptr, 0, &b.indicators[i]);
        } else if (typeId == QMetaType::Bool) {
            b.bits[i] = v.toBool() ? 1 : 0;
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0,
                                  &b.bits[i], 0, &b.indicators[i]);
        } else if (typeId == QMetaType::Int || typeId == QMetaType::LongLong ||
                   typeId == QMetaType::Short || typeId == QMetaType::UInt) {
            b.ints[i] = SQLINTEGER(v.toLongLong());
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0,
                                  &b.ints[i], 0, &b.indicators[i]);
        } else if (typeId == QMetaType::Double || typeId == QMetaType::Float) {
            b.doubles[i] = v.toDouble();
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                                  &b.doubles[i], 0, &b.indicators[i]);
        } else if (typeId == QMetaType::QDateTime || typeId == QMetaType::QDate) {
            const QDateTime dt = v.toDateTime();
            SQL_TIMESTAMP_STRUCT& ts = b.stamps[i];
            ts.year = SQLSMALLINT(dt.date().year());
            ts.month = SQLUSMALLINT(dt.date().month());
            ts.day = SQLUSMALLINT(dt.date().day());
            ts.hour = SQLUSMALLINT(dt.time().hour());
            ts.minute = SQLUSMALLINT(dt.time().minute());
            ts.second = SQLUSMALLINT(dt.time().second());
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                  SQL_TYPE_TIMESTAMP, 19, 0, &ts, 0, &b.indicators[i]);
        } else {
            b.texts[i] = wide(v.toString());
            const SQLULEN chars = SQLULEN(b.texts[i].size() - 1);
            b.indicators[i] = SQLLEN(chars * sizeof(SQLWCHAR));
            rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR,
                                  chars > 255 ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                                  qMax<SQLULEN>(chars, 1), 0, b.texts[i].data(),
                                  SQLLEN(b.texts[i].size() * sizeof(SQLWCHAR)), &b.indicators[i]);
        }
        if (!ok(rc)) fail(SQL_HANDLE_STMT, stmt);
    }
}

// Runs `sql` on a new statement handle; the caller owns the handle.
SQLHSTMT run(SQLHDBC dbc, const QString& sql, const QVariantList& params) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) fail(SQL_HANDLE_DBC, dbc);
    try {
        std::vector<SQLWCHAR> text = wide(sql);
        if (params.isEmpty()) {
            const SQLRETURN rc = SQLExecDirectW(stmt, text.data(), SQL_NTS);
            if (!ok(rc) && rc != SQL_NO_DATA) fail(SQL_HANDLE_STMT, stmt);
        } else {
            if (!ok(SQLPrepareW(stmt, text.data(), SQL_NTS))) fail(SQL_HANDLE_STMT, stmt);
            ParamBuffers buffers;
            bindParams(stmt, params, buffers);
            const SQLRETURN rc = SQLExecute(stmt);
            if (!ok(rc) && rc != SQL_NO_DATA) fail(SQL_HANDLE_STMT, stmt);
        }
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw;
    }
    return stmt;
}

class OdbcCursor : public Cursor {
  public:
    explicit OdbcCursor(SQLHSTMT stmt) : stmt_(stmt) {
        SQLSMALLINT count = 0;
        if (!ok(SQLNumResultCols(stmt_, &count))) fail(SQL_HANDLE_STMT, stmt_);
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT nameLength = 0, sqlType = 0, scale = 0, nullable = 0;
            SQLULEN size = 0;
            if (!ok(SQLDescribeColW(stmt_, SQLUSMALLINT(i), name, 256, &nameLength, &sqlType, &size,
                                    &scale, &nullable)))
                fail(SQL_HANDLE_STMT, stmt_);
            ColumnInfo c;
            c.name = fromWide(name, qMin<qsizetype>(nameLength, 255));
            c.type = columnTypeOf(sqlType, size, scale);
            c.size = c.type == ColumnType::Text ? int(qMin<SQLULEN>(size, 65535)) : 0;
            columns_.append(c);
        }
    }
    ~OdbcCursor() override { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

    const QList<ColumnInfo>& columns() const override { return columns_; }
    const QVariantList& row() const override { return row_; }

    bool next() override {
        if (done_) return false;
        const SQLRETURN rc = SQLFetch(stmt_);
        if (rc == SQL_NO_DATA) {
            done_ = true;
            return false;
        }
        if (!ok(rc)) fail(SQL_HANDLE_STMT, stmt_);
        row_.clear();
        for (int i = 0; i < columns_.size(); ++i)
            row_.append(read(SQLUSMALLINT(i + 1), columns_[i]));
        return true;
    }

  private:
    QVariant read(SQLUSMALLINT column, const ColumnInfo& info) {
        SQLLEN indicator = 0;
        switch (info.type) {
            case ColumnType::Boolean: {
                unsigned char bit = 0;
                get(column, SQL_C_BIT, &bit, sizeof bit, &indicator);
                if (indicator == SQL_NULL_DATA) return {};
                return bool(bit);
            }
            case ColumnType::Byte:
            case ColumnType::Int16:
            case ColumnType::Int32:
            case ColumnType::AutoNumber: {
                SQLINTEGER n = 0;
                get(column, SQL_C_SLONG, &n, sizeof n, &indicator);
                if (indicator == SQL_NULL_DATA) return {};
                return qlonglong(n);
            }
            case ColumnType::Single:
            case ColumnType::Double:
            case ColumnType::Currency: {
                double d = 0;
                get(column, SQL_C_DOUBLE, &d, sizeof d, &indicator);
                if (indicator == SQL_NULL_DATA) return {};
                return d;
            }
            case ColumnType::Date:
            case ColumnType::Time:
            case ColumnType::DateTime:
            case ColumnType::Stamp: {
                SQL_TIMESTAMP_STRUCT ts{};
                get(column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
                if (indicator == SQL_NULL_DATA) return {};
                QDate date(ts.year, ts.month, ts.day);
                if (!date.isValid()) date = QDate(1899, 12, 30);  // a time without a date
                return QDateTime(date,
                                 QTime(ts.hour, ts.minute, ts.second, int(ts.fraction / 1000000)),
                                 Qt::UTC);
            }
            case ColumnType::Binary:
            case ColumnType::LongBinary:
                return readLong(column, SQL_C_BINARY);
            default:
                return readLong(column, SQL_C_WCHAR);
        }
    }

    void get(SQLUSMALLINT column, SQLSMALLINT cType, void* buffer, SQLLEN size, SQLLEN* indicator) {
        if (!ok(SQLGetData(stmt_, column, cType, buffer, size, indicator)))
            fail(SQL_HANDLE_STMT, stmt_);
    }

    // Text and binary values arrive in pieces of any length.
    QVariant readLong(SQLUSMALLINT column, SQLSMALLINT cType) {
        const bool text = cType == SQL_C_WCHAR;
        QByteArray bytes;
        char buffer[8192];
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                SQLGetData(stmt_, column, cType, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (!ok(rc)) fail(SQL_HANDLE_STMT, stmt_);
            if (indicator == SQL_NULL_DATA) return {};
            const SQLLEN room =
                text ? SQLLEN(sizeof buffer - sizeof(SQLWCHAR)) : SQLLEN(sizeof buffer);
            const bool more = indicator == SQL_NO_TOTAL || indicator > room;
            bytes.append(buffer, more ? room : indicator);
            if (!more) break;
        }
        if (!text) return bytes;
        return QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
    }

    SQLHSTMT stmt_;
    QList<ColumnInfo> columns_;
    QVariantList row_;
    bool done_ = false;
};

}  // namespace

QStringList installedOdbcDrivers() {
    SQLHENV env = SQL_NULL_HENV;
    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return {};
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    QStringList names;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (int guard = 0; guard < 1000; ++guard) {
        SQLWCHAR name[512] = {};
        SQLWCHAR attributes[2048] = {};
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(env, direction, name, 512, &nameLength, attributes, 2048,
                                         &attributesLength);
        if (!ok(rc)) break;
        names.append(fromWide(name, qMin<qsizetype>(nameLength, 511)));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return names;
}

OdbcRoute::OdbcRoute(QString driver) : driver_(std::move(driver)) {}

OdbcRoute::~OdbcRoute() { close(); }

void OdbcRoute::open(const QString& file) {
    close();
    SQLHENV env = SQL_NULL_HENV;
    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw Error(QStringLiteral("The ODBC driver manager could not be started"), ErrorKind::Io);
    env_ = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        const QString message = diagnostics(SQL_HANDLE_ENV, env);
        close();
        throw Error(message, ErrorKind::Io);
    }
    dbc_ = dbc;
    // Every write commits by itself.
    SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                       0);
    connectString_ = odbcConnectString(driver_, file);
    std::vector<SQLWCHAR> in = wide(connectString_);
    SQLWCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    // Never a dialog of the driver's own: no login prompt, no file chooser.
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, out, 1024, &outLength,
                                           SQL_DRIVER_NOPROMPT);
    if (!ok(rc)) {
        const QString message = diagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        dbc_ = nullptr;
        close();
        throw Error(message, ErrorKind::Io);
    }
}

void OdbcRoute::close() noexcept {
    if (dbc_) {
        SQLDisconnect(static_cast<SQLHDBC>(dbc_));
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
        dbc_ = nullptr;
    }
    if (env_) {
        SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
        env_ = nullptr;
    }
}

std::unique_ptr<Cursor> OdbcRoute::query(const QString& sql, const QVariantList& params) {
    if (!dbc_) throw Error(QStringLiteral("Not connected"), ErrorKind::InvalidArgument);
    SQLHSTMT stmt = run(static_cast<SQLHDBC>(dbc_), sql, params);
    try {
        return std::make_unique<OdbcCursor>(stmt);
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw;
    }
}

qint64 OdbcRoute::execute(const QString& sql, const QVariantList& params) {
    if (!dbc_) throw Error(QStringLiteral("Not connected"), ErrorKind::InvalidArgument);
    SQLHSTMT stmt = run(static_cast<SQLHDBC>(dbc_), sql, params);
    SQLLEN count = 0;
    const SQLRETURN rc = SQLRowCount(stmt, &count);
    if (!ok(rc)) {
        const QString message = diagnostics(SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw Error(message);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return qint64(count);
}

std::unique_ptr<Route> makeOdbcRoute(const QString& driver) {
    return std::make_unique<OdbcRoute>(driver);
}

}  // namespace db
