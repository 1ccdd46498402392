// The embedded route: the jet engine reads and writes the file in-process.
// Used where no Microsoft Access ODBC driver is installed.
#include "db/db.h"

#if DB_HAVE_EMBEDDED
#include <QDate>

#include "jet/jet.h"

namespace db {

namespace {

ColumnType columnTypeOf(const jet::ResultColumn& c) {
    switch (c.type) {
        case jet::ColumnType::Boolean:
            return ColumnType::Boolean;
        case jet::ColumnType::Byte:
            return ColumnType::Byte;
        case jet::ColumnType::Integer:
            return ColumnType::Int16;
        case jet::ColumnType::Long:
            return c.autoNumber ? ColumnType::AutoNumber : ColumnType::Int32;
        case jet::ColumnType::Currency:
            return ColumnType::Currency;
        case jet::ColumnType::Single:
            return ColumnType::Single;
        case jet::ColumnType::Double:
            return ColumnType::Double;
        // The engine reports what the ODBC driver calls a timestamp: the
        // connection's map rule turns it into a plain date-time.
        case jet::ColumnType::DateTime:
            return ColumnType::Stamp;
        case jet::ColumnType::Binary:
            return ColumnType::Binary;
        case jet::ColumnType::Text:
            return ColumnType::Text;
        case jet::ColumnType::Ole:
            return ColumnType::LongBinary;
        case jet::ColumnType::Memo:
            return ColumnType::Memo;
        case jet::ColumnType::Guid:
            return ColumnType::Guid;
        case jet::ColumnType::Numeric:
            return ColumnType::Decimal;
    }
    return ColumnType::Unknown;
}

// Engine failures become the layer's own, with the same kind and text, the
// engine's error kept as the inner one. Where the user needs the tool's own
// words, those replace the engine's (the error report shows the innermost
// message, so no inner error is kept).
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const jet::Error& e) {
        if (e.kind() == ErrorKind::OpenElsewhere)
            throw Error(openElsewhereMessage(e.names()).toStdString(), e.kind(), e.names());
        throw Error(e.message(), e.kind(), e);
    }
}

QString toQString(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size()));
}

QVariant toVariant(const jet::Value& value) {
    struct Visitor {
        QVariant operator()(std::monostate) const { return {}; }
        QVariant operator()(bool b) const { return b; }
        QVariant operator()(std::int64_t n) const { return qlonglong(n); }
        QVariant operator()(double d) const { return d; }
        QVariant operator()(const jet::Currency& c) const { return double(c.scaled) / 10000.0; }
        QVariant operator()(const jet::DateTime& d) const { return fromOleDays(d.days); }
        QVariant operator()(const std::u16string& s) const { return toQString(s); }
        QVariant operator()(const jet::Bytes& b) const {
            return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        }
        QVariant operator()(const jet::Decimal& d) const { return QString::fromStdString(d.text); }
    };
    return std::visit(Visitor{}, value.v);
}

jet::Value toJet(const QVariant& v) {
    if (!v.isValid()) return {};
    switch (v.metaType().id()) {
        case QMetaType::Bool:
            return v.toBool();
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::LongLong:
            return std::int64_t(v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return v.toDouble();
        case QMetaType::QDateTime:
            return jet::DateTime{toOleDays(v.toDateTime())};
        case QMetaType::QDate:
            return jet::DateTime{toOleDays(QDateTime(v.toDate(), QTime(0, 0), Qt::UTC))};
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            return jet::Bytes(b.begin(), b.end());
        }
        default: {
            const QString s = v.toString();
            return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
        }
    }
}

std::vector<jet::Value> toJet(const QVariantList& params) {
    std::vector<jet::Value> out;
    out.reserve(size_t(params.size()));
    for (const QVariant& p : params) out.push_back(toJet(p));
    return out;
}

class EmbeddedCursor : public Cursor {
  public:
    explicit EmbeddedCursor(std::unique_ptr<jet::Cursor> cursor) : cursor_(std::move(cursor)) {
        for (const jet::ResultColumn& c : cursor_->columns()) {
            ColumnInfo info;
            info.name = QString::fromStdString(c.name);
            info.type = columnTypeOf(c);
            info.size = info.type == ColumnType::Text ? c.size : 0;
            columns_.append(info);
        }
    }
    const QList<ColumnInfo>& columns() const override { return columns_; }
    bool next() override {
        if (!guarded([&] { return cursor_->next(); })) return false;
        row_.clear();
        for (const jet::Value& v : cursor_->row()) row_.append(toVariant(v));
        return true;
    }
    const QVariantList& row() const override { return row_; }

  private:
    std::unique_ptr<jet::Cursor> cursor_;
    QList<ColumnInfo> columns_;
    QVariantList row_;
};

class EmbeddedRoute : public Route {
  public:
    QString kind() const override { return QStringLiteral("embedded"); }
    void open(const QString& file) override {
        database_ = guarded(
            [&] { return jet::Database::open(file.toStdString(), jet::OpenMode::ReadWrite); });
    }
    void close() noexcept override { database_.reset(); }
    std::unique_ptr<Cursor> query(const QString& sql, const QVariantList& params) override {
        return guarded([&] {
            return std::make_unique<EmbeddedCursor>(db().query(sql.toStdString(), toJet(params)));
        });
    }
    qint64 execute(const QString& sql, const QVariantList& params) override {
        return guarded([&] { return qint64(db().execute(sql.toStdString(), toJet(params))); });
    }

  private:
    jet::Database& db() {
        if (!database_) throw Error(QStringLiteral("Not connected"), ErrorKind::InvalidArgument);
        return *database_;
    }
    std::unique_ptr<jet::Database> database_;
};

}  // namespace

std::unique_ptr<Route> makeEmbeddedRoute() { return std::make_unique<EmbeddedRoute>(); }

}  // namespace db

#else

namespace db {

// The engine's statement layer is not part of this build yet.
std::unique_ptr<Route> makeEmbeddedRoute() {
    throw Error(QStringLiteral("No Microsoft Access ODBC driver is installed and the embedded "
                               "engine is not part of this build"),
                ErrorKind::NotSupported);
}

}  // namespace db

#endif
