// What the window tests on a store database share: the comma locale, a
// prompter that records the boxes instead of showing them (quiet_prompter.h), writable copies of
// generated store databases in a temporary folder, opening a copy in the
// window through the selection sequence, routes that fail or look on
// purpose, and reading rows back independently of the window (the engine, or
// mdb-export).
//
// The stores are written by the engine's own store builder, so the tests
// need nothing from outside the repository; figures a test expects come
// from the same content (storeOptions, readBack) rather than being written
// down. The header is included by one test program at a time; it keeps no
// state besides the generated files of the process.
#pragma once

#ifndef _WIN32
#include <unistd.h>
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "application.h"
#include "jet/jet.h"
#include "quiet_prompter.h"
#include "shared_fixtures.h"
#include "store_files.h"
#include "tform1.h"

namespace testing_support {

// The shared fixtures folder (files made by Access and other writers); the
// store databases themselves are generated (see storePath).
inline const QString kFixtures = QString::fromUtf8(jet::testing::sharedFixturesDir());

// Number texts as the store's staff type them: the decimal comma.
inline void useCommaLocale() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

// The generated store variant `name` ("store.mdb", "store-desc40.mdb",
// "store-empty.mdb"...): read it or copy it, never write to it.
inline QString storePath(const QString& name) {
    return QString::fromStdString(jet::testing::storeFile(name.toStdString()));
}
inline QString fixture(const QString& name) { return storePath(name); }

// The options the variant `name` was built with: the row counts to expect.
inline jet::store::StoreOptions storeOptions(const QString& name = QStringLiteral("store.mdb")) {
    return jet::testing::storeOptions(name.toStdString());
}

// A writable copy of the generated store `name` in dir, named `as` (by
// default the variant's own name); empty when it cannot be written.
inline QString copyFixture(const QTemporaryDir& dir, const QString& name, const QString& as = {}) {
    const QString target = dir.filePath(as.isEmpty() ? name : as);
    QFile::remove(target);
    if (!QFile::copy(storePath(name), target)) return {};
    QFile::setPermissions(
        target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

// The embedded route with a look at every changing statement before it
// runs: the hook may record the moment or throw, as a full disk would.
class ObservedRoute : public db::Route {
  public:
    using Hook = std::function<void(const QString& sql)>;
    explicit ObservedRoute(Hook beforeExecute)
        : inner_(db::makeEmbeddedRoute()), beforeExecute_(std::move(beforeExecute)) {}
    QString kind() const override { return inner_->kind(); }
    void open(const QString& file) override { inner_->open(file); }
    void close() noexcept override { inner_->close(); }
    std::unique_ptr<db::Cursor> query(const QString& sql, const QVariantList& params) override {
        return inner_->query(sql, params);
    }
    qint64 execute(const QString& sql, const QVariantList& params) override {
        beforeExecute_(sql);
        return inner_->execute(sql, params);
    }

  private:
    std::unique_ptr<db::Route> inner_;
    Hook beforeExecute_;
};

// Runs the selection sequence on the window's model with `path` as the
// chosen file; returns whether all four datasets opened.
inline bool connectTo(TForm1& form, const QString& path) {
    store::SelectionSeams seams;
    seams.chooseFile = [path](const QString&) { return std::optional<QString>(path); };
    seams.showMessage = [](const QString& text) { precios::showMessage(text); };
    seams.focusSearch = [&form] { form.ebuscar->setFocus(Qt::OtherFocusReason); };
    return store::runSelection(form.model, store::kFormShowPrefix, seams) ==
           store::SelectionResult::Opened;
}

// The same on the embedded engine, whatever drivers are installed.
inline bool openInWindow(TForm1& form, const QString& path) {
    form.model.conexion.setRouteFactory([] { return db::makeEmbeddedRoute(); });
    return connectTo(form, path);
}

// The checks that read the file back with mdb-export skip where it is not
// installed (a Windows build's tests under wine).
#define PRECIOS_NEEDS_MDB_EXPORT()                                                    \
    do {                                                                              \
        if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())   \
            QSKIP("mdb-export (mdbtools), the independent reader, is not installed"); \
    } while (false)

// One column of one Articulos row as mdb-export (an independent reader)
// sees it in the file; "<missing>" when there is no such row.
inline QString storedValue(const QString& path, const QString& referencia, const QString& column) {
    QProcess export_;
    export_.start(QStringLiteral("mdb-export"), {QStringLiteral("-D"), QStringLiteral("%F %T"),
                                                 path, QStringLiteral("Articulos")});
    if (!export_.waitForFinished(60000)) return QStringLiteral("<mdb-export failed>");
    const QStringList lines = QString::fromUtf8(export_.readAllStandardOutput()).split('\n');
    if (lines.isEmpty()) return QStringLiteral("<mdb-export failed>");
    // A simple CSV reader: fields may be quoted, quotes doubled inside.
    auto split = [](const QString& line) {
        QStringList out;
        QString cur;
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted) {
                if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                    cur += u'"';
                    ++i;
                } else if (c == u'"') {
                    quoted = false;
                } else {
                    cur += c;
                }
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u',') {
                out << cur;
                cur.clear();
            } else {
                cur += c;
            }
        }
        out << cur;
        return out;
    };
    const QStringList header = split(lines.first());
    const qsizetype keyColumn = header.indexOf(QStringLiteral("Referencia"));
    const qsizetype wanted = header.indexOf(column);
    if (keyColumn < 0 || wanted < 0) return QStringLiteral("<no such column>");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        // Memo columns may hold line breaks; the rows we look at do not.
        const QStringList fields = split(lines[i]);
        if (fields.size() > qMax(keyColumn, wanted) && fields[keyColumn] == referencia)
            return fields[wanted];
    }
    return QStringLiteral("<missing>");
}

// Makes `path` unwritable for the engine. As a normal user the permission
// bits are enough; as root they are not, so the file is also made immutable
// (chattr +i), which binds root too. Returns false when neither works. On
// Windows the read-only attribute binds every user.
#ifdef _WIN32
inline bool isRoot() { return false; }
#else
inline bool isRoot() { return ::geteuid() == 0; }
#endif

inline bool makeReadOnly(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (isRoot() && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
        return false;
    // Only a copy that really refuses writing will do (under wine a Unix root
    // still writes a read-only file).
    QFile probe(path);
    if (probe.open(QIODevice::ReadWrite)) return false;
    return true;
}

inline void undoReadOnly(const QString& path) {
    if (isRoot()) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

// Switches that make the route fail on purpose, shared with the test.
struct RouteFaults {
    bool failQueries = false;
    bool failWrites = false;
    int writes = 0;  // changing statements that changed rows
};

// The window's usual route with faults that can be switched on.
class FaultyRoute : public db::Route {
  public:
    FaultyRoute(std::unique_ptr<db::Route> inner, std::shared_ptr<RouteFaults> faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}
    QString kind() const override { return inner_->kind(); }
    void open(const QString& file) override { inner_->open(file); }
    void close() noexcept override { inner_->close(); }
    std::unique_ptr<db::Cursor> query(const QString& sql, const QVariantList& params) override {
        if (faults_->failQueries)
            throw db::Error(QStringLiteral("The database cannot be read"), db::ErrorKind::Io);
        return inner_->query(sql, params);
    }
    qint64 execute(const QString& sql, const QVariantList& params) override {
        if (faults_->failWrites)
            throw db::Error(QStringLiteral("The database is read-only"), db::ErrorKind::ReadOnly);
        const qint64 changed = inner_->execute(sql, params);
        if (changed > 0) ++faults_->writes;
        return changed;
    }

  private:
    std::unique_ptr<db::Route> inner_;
    std::shared_ptr<RouteFaults> faults_;
};

inline std::shared_ptr<RouteFaults> installFaultyRoute(TForm1& form) {
    auto faults = std::make_shared<RouteFaults>();
    form.model.conexion.setRouteFactory(
        [faults] { return std::make_unique<FaultyRoute>(db::makeDefaultRoute(), faults); });
    return faults;
}

// The grid's text in row/column.
inline QString gridText(const TForm1& form, int row, int column) {
    const auto* model = form.DBGrid1->gridModel();
    return model->data(model->index(row, column)).toString();
}

// All rows of the list (fetching the rest), as referencias.
inline QStringList listReferences(TForm1& form) {
    db::Dataset& list = form.model.qarticulos;
    list.fetchAll();
    QStringList refs;
    const int column = list.field(QStringLiteral("referencia")).index();
    for (int row = 0; row < list.recordCount(); ++row)
        refs << list.rowValue(row, column).toString();
    return refs;
}

// Types text into the search box as keystrokes.
inline void typeSearch(TForm1& form, const QString& text) {
    form.ebuscar->setFocus(Qt::OtherFocusReason);
    for (const QChar c : text) {
        // QTest's keyClicks takes ASCII only; accented letters go as text.
        if (c.unicode() < 128)
            QTest::keyClick(form.ebuscar, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, form.ebuscar, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
    }
}

// Moves the list to the row holding `referencia` (fetching as needed) by a
// click in the grid; false when the list has no such row.
inline bool clickRowOf(TForm1& form, const QString& referencia) {
    db::Dataset& list = form.model.qarticulos;
    const int column = list.field(QStringLiteral("referencia")).index();
    for (int row = 0;; ++row) {
        if (row >= list.recordCount() && (!list.canFetchMore() || list.fetchMore(64) == 0))
            return false;
        if (list.rowValue(row, column).toString() != referencia) continue;
        auto* grid = form.DBGrid1;
        const QModelIndex index = grid->gridModel()->index(row, 1);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
        return true;
    }
}

// The control holding the focus, by name.
inline QString focusedName(const TForm1& form) {
    QWidget* control = form.controlOf(QApplication::focusWidget());
    return control != nullptr ? control->objectName() : QString();
}

// Puts the focus in the discount box by code, as the leave rules let it
// through: from the search box a move lands on the grid, from the grid on
// Edit1. Returns whether it got there.
inline bool focusEdit1(TForm1& form) {
    for (int i = 0; i < 3 && focusedName(form) != QStringLiteral("Edit1"); ++i) {
        form.Edit1->setFocus(Qt::OtherFocusReason);
    }
    return focusedName(form) == QStringLiteral("Edit1");
}

inline double asDouble(const jet::Value& value) {
    if (const auto* d = std::get_if<double>(&value.v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&value.v)) return double(*i);
    return std::nan("");
}

inline QString asText(const jet::Value& value) {
    if (const auto* s = std::get_if<std::u16string>(&value.v)) return QString::fromStdU16String(*s);
    return {};
}

// The rows of `sql` read from the file by a fresh engine instance.
inline std::vector<std::vector<jet::Value>> readBack(const QString& path, const std::string& sql,
                                                     const std::vector<jet::Value>& params = {}) {
    auto database = jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly);
    auto cursor = database->query(sql, params);
    std::vector<std::vector<jet::Value>> rows;
    while (cursor->next()) rows.push_back(cursor->row());
    return rows;
}

// How many items' descriptions contain `text`, letter case ignored, read
// from the file by a plain select: what a search for it must list.
inline int descriptionsContaining(const QString& path, const QString& text) {
    int n = 0;
    for (const auto& row : readBack(path, "select Descripcion from Articulos"))
        n += !row[0].isNull() && asText(row[0]).toUpper().contains(text.toUpper());
    return n;
}

}  // namespace testing_support

// The item-browsing tests' name for the same helpers.
namespace browse_test = testing_support;
