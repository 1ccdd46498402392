// What the window tests on a store database share: a prompter that records
// the boxes instead of showing them, writable fixture copies in a temporary
// folder, opening a copy in the window through the selection sequence, and
// reading rows back through the engine, independently of the window.
#pragma once

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "application.h"
#include "jet/jet.h"
#include "tform1.h"

namespace testing_support {

inline const QString kFixtures = QStringLiteral(PRECIOS_FIXTURES_DIR);

// Message boxes and error reports, in the order they came.
class RecordingPrompter : public precios::Prompter {
  public:
    void message(QWidget*, const QString&, const QString& text) override { messages.append(text); }
    void errorReport(QWidget*, const QString&, const QString& text) override {
        reports.append(text);
    }
    void clear() {
        messages.clear();
        reports.clear();
    }
    QStringList messages;
    QStringList reports;
};

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

// A writable copy of fixture `name` in dir, named `as`.
inline QString copyFixture(const QTemporaryDir& dir, const QString& name, const QString& as) {
    const QString target = dir.filePath(as);
    QFile::remove(target);
    if (!QFile::copy(kFixtures + u'/' + name, target)) return {};
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

// Opens `path` in the window as the selection sequence does, on the embedded
// engine whatever drivers are installed; returns whether it opened.
inline bool openInWindow(TForm1& form, const QString& path) {
    form.model.conexion.setRouteFactory([] { return db::makeEmbeddedRoute(); });
    store::SelectionSeams seams;
    seams.chooseFile = [path](const QString&) { return std::optional<QString>(path); };
    seams.showMessage = [](const QString& text) { precios::showMessage(text); };
    seams.focusSearch = [&form] { form.ebuscar->setFocus(Qt::OtherFocusReason); };
    return store::runSelection(form.model, store::kFormShowPrefix, seams) ==
           store::SelectionResult::Opened;
}

// The control holding the focus, by name.
inline QString focusedName(const TForm1& form) {
    QWidget* control = form.controlOf(QApplication::focusWidget());
    return control != nullptr ? control->objectName() : QString();
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

}  // namespace testing_support
