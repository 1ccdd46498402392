// An in-memory route for the layer's tests: a few tables and just enough SQL
// (SELECT cols FROM t [WHERE [c] = ?] [ORDER BY c], UPDATE t SET ... WHERE
// [c] = ?) to drive datasets, with a log of every statement and switches
// that make the next write change a chosen number of rows.
#pragma once

#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <memory>
#include <ostream>

#include "db/db.h"

// Readable test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QVariant& v, std::ostream* os) {
    *os << (v.isValid() ? v.toString().toStdString() + ":" + v.typeName() : std::string("NULL"));
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << "[" << l.join(" | ").toStdString() << "]";
}

namespace dbtest {

struct FakeTable {
    QList<db::ColumnInfo> columns;
    QList<QVariantList> rows;
    int column(const QString& name) const {
        for (int i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
        return -1;
    }
};

struct FakeState {
    QMap<QString, FakeTable> tables;  // by lower-case name
    QStringList log;                  // every statement, in order
    QList<QVariantList> paramLog;
    QStringList opened;  // files opened
    int opens = 0;
    int closes = 0;
    int forcedRowsChanged = -1;  // >= 0: the next execute reports this
    QString failOpen;            // non-empty: open() throws this

    FakeTable& table(const QString& name) { return tables[name.toLower()]; }
};

inline QString unbracket(QString s) {
    s = s.trimmed();
    if (s.startsWith('[') && s.endsWith(']')) s = s.mid(1, s.size() - 2);
    return s;
}

class FakeCursor : public db::Cursor {
  public:
    FakeCursor(QList<db::ColumnInfo> columns, QList<QVariantList> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    const QList<db::ColumnInfo>& columns() const override { return columns_; }
    bool next() override {
        if (at_ + 1 >= rows_.size()) return false;
        ++at_;
        ++fetched;
        return true;
    }
    const QVariantList& row() const override { return rows_[at_]; }
    int fetched = 0;

  private:
    QList<db::ColumnInfo> columns_;
    QList<QVariantList> rows_;
    int at_ = -1;
};

class FakeRoute : public db::Route {
  public:
    explicit FakeRoute(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
    QString kind() const override { return QStringLiteral("fake"); }
    void open(const QString& file) override {
        if (!state_->failOpen.isEmpty()) throw db::Error(state_->failOpen, precios::ErrorKind::Io);
        state_->opened.append(file);
        ++state_->opens;
    }
    void close() noexcept override { ++state_->closes; }

    std::unique_ptr<db::Cursor> query(const QString& sql, const QVariantList& params) override {
        state_->log.append(sql);
        state_->paramLog.append(params);
        static const QRegularExpression select(
            R"(^\s*select\s+(.+?)\s+from\s+(\[[^\]]+\]|\w+)(?:\s+where\s+(\[[^\]]+\]|\w+)\s*=\s*\?)?(?:\s+order\s+by\s+(\[[^\]]+\]|\w+))?\s*$)",
            QRegularExpression::CaseInsensitiveOption |
                QRegularExpression::DotMatchesEverythingOption);
        const auto m = select.match(sql);
        if (!m.hasMatch()) throw db::Error(QStringLiteral("Syntax error in: ") + sql);
        const QString name = unbracket(m.captured(2)).toLower();
        if (!state_->tables.contains(name))
            throw db::Error(QStringLiteral("Table '%1' not found").arg(unbracket(m.captured(2))),
                            precios::ErrorKind::NotFound);
        const FakeTable& t = state_->tables[name];
        QList<int> picks;
        if (m.captured(1).trimmed() == "*") {
            for (int i = 0; i < t.columns.size(); ++i) picks.append(i);
        } else {
            for (const QString& c : m.captured(1).split(',')) {
                const int i = t.column(unbracket(c));
                if (i < 0) throw db::Error(QStringLiteral("Unknown column ") + c);
                picks.append(i);
            }
        }
        QList<QVariantList> rows = t.rows;
        if (!m.captured(3).isEmpty()) {
            const int c = t.column(unbracket(m.captured(3)));
            QList<QVariantList> kept;
            for (const QVariantList& r : rows)
                if (params.value(0).isValid() && r[c] == params.value(0)) kept.append(r);
            rows = kept;
        }
        if (!m.captured(4).isEmpty()) {
            const int c = t.column(unbracket(m.captured(4)));
            std::stable_sort(rows.begin(), rows.end(),
                             [c](const QVariantList& a, const QVariantList& b) {
                                 // NULL sorts first, as in Access.
                                 if (!a[c].isValid() || !b[c].isValid())
                                     return !a[c].isValid() && b[c].isValid();
                                 return QVariant::compare(a[c], b[c]) == QPartialOrdering::Less;
                             });
        }
        QList<db::ColumnInfo> columns;
        for (int i : picks) columns.append(t.columns[i]);
        QList<QVariantList> out;
        for (const QVariantList& r : rows) {
            QVariantList o;
            for (int i : picks) o.append(r[i]);
            out.append(o);
        }
        return std::make_unique<FakeCursor>(columns, out);
    }

    qint64 execute(const QString& sql, const QVariantList& params) override {
        state_->log.append(sql);
        state_->paramLog.append(params);
        static const QRegularExpression update(
            R"(^UPDATE\s+(\[[^\]]+\])\s+SET\s+(.+)\s+WHERE\s+(\[[^\]]+\])\s*=\s*\?$)");
        const auto m = update.match(sql);
        if (!m.hasMatch()) throw db::Error(QStringLiteral("Syntax error in: ") + sql);
        FakeTable& t = state_->table(unbracket(m.captured(1)));
        const QStringList sets = m.captured(2).split(QStringLiteral(", "));
        const int key = t.column(unbracket(m.captured(3)));
        qint64 changed = 0;
        if (state_->forcedRowsChanged >= 0) {
            changed = state_->forcedRowsChanged;
            state_->forcedRowsChanged = -1;
            return changed;
        }
        for (QVariantList& r : t.rows) {
            if (r[key] != params.last()) continue;
            for (int i = 0; i < sets.size(); ++i) {
                const QString col = unbracket(sets[i].section('=', 0, 0));
                r[t.column(col)] = params[i];
            }
            ++changed;
        }
        return changed;
    }

  private:
    std::shared_ptr<FakeState> state_;
};

inline db::Connection::RouteFactory fakeFactory(std::shared_ptr<FakeState> state) {
    return [state] { return std::make_unique<FakeRoute>(state); };
}

}  // namespace dbtest
