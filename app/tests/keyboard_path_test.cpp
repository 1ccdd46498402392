// The window worked from the keyboard on a store database built for the
// test: from typing a search to applying new prices with Enter alone, read
// back from the stored file; Enter on the two action buttons, Tab inside a
// filled grid, and the mouse clicks in the simulation boxes.
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "price_ops.h"
#include "store_content.h"
#include "store_window_fixture.h"

using namespace testing_support;

namespace {

QString cellText(const jet::Value& value) {
    struct Visitor {
        QString operator()(std::monostate) const { return QStringLiteral("NULL"); }
        QString operator()(bool b) const { return QString::number(int(b)); }
        QString operator()(std::int64_t i) const { return QString::number(i); }
        QString operator()(double d) const { return QString::number(d, 'g', 17); }
        QString operator()(const jet::Currency& c) const { return QString::number(c.scaled); }
        QString operator()(const jet::DateTime& t) const {
            return QString::number(t.days, 'g', 17);
        }
        QString operator()(const std::u16string& s) const { return QString::fromStdU16String(s); }
        QString operator()(const jet::Bytes& b) const {
            return QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())).toHex());
        }
        QString operator()(const jet::Decimal& d) const { return QString::fromStdString(d.text); }
    };
    return std::visit(Visitor{}, value.v);
}

// Every row of every table, keyed by the table's primary key, as a fresh
// engine reads the file.
struct Table {
    std::vector<std::string> columns;
    std::map<QString, std::vector<jet::Value>> rows;
};
using Snapshot = std::map<std::string, Table>;

Snapshot snapshot(const QString& path) {
    auto database = jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly);
    Snapshot tables;
    for (const std::string& name : database->tableNames()) {
        const jet::TableInfo info = database->table(name);
        Table& table = tables[name];
        for (const jet::Column& column : info.columns) table.columns.push_back(column.name);
        std::vector<std::size_t> key;
        for (const jet::Index& index : info.indexes) {
            if (!index.primaryKey) continue;
            for (const std::string& column : index.columns) {
                for (std::size_t i = 0; i < table.columns.size(); ++i) {
                    if (table.columns[i] == column) key.push_back(i);
                }
            }
        }
        auto cursor = database->query("select * from [" + name + "]");
        while (cursor->next()) {
            const std::vector<jet::Value>& row = cursor->row();
            QStringList keyText;
            for (std::size_t i : key) keyText.append(cellText(row[i]));
            if (key.empty()) keyText.append(QString::number(table.rows.size()));
            table.rows[keyText.join(u'|')] = row;
        }
    }
    return tables;
}

// (table, row key, column) of every cell that differs between the two.
using Change = std::tuple<std::string, QString, std::string>;

std::set<Change> changes(const Snapshot& before, const Snapshot& after) {
    std::set<Change> found;
    for (const auto& [name, table] : before) {
        const auto other = after.find(name);
        if (other == after.end() || other->second.columns != table.columns) {
            found.insert({name, QStringLiteral("(table)"), {}});
            continue;
        }
        for (const auto& [key, row] : table.rows) {
            const auto now = other->second.rows.find(key);
            if (now == other->second.rows.end()) {
                found.insert({name, key, "(removed)"});
                continue;
            }
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (!(row[i] == now->second[i])) found.insert({name, key, table.columns[i]});
            }
        }
        for (const auto& [key, row] : other->second.rows) {
            if (!table.rows.contains(key)) found.insert({name, key, "(added)"});
        }
    }
    return found;
}

// The changes as readable lines, so a failed comparison shows them.
QStringList describe(const std::set<Change>& found) {
    QStringList lines;
    for (const auto& [table, key, column] : found) {
        lines.append(QString::fromStdString(table) + u'/' + key + u'/' +
                     QString::fromStdString(column));
    }
    return lines;
}

const jet::Value& cellOf(const Snapshot& tables, const std::string& table, const QString& key,
                         const std::string& column) {
    const Table& t = tables.at(table);
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (t.columns[i] == column) return t.rows.at(key)[i];
    }
    qFatal("no column %s", column.c_str());
}

double number(const QLineEdit* box) { return pricing::ParseNumber(box->text().toStdString(), ","); }

double oleDays(const QDate& date) { return double(QDate(1899, 12, 30).daysTo(date)); }

}  // namespace

class KeyboardPathTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        QVERIFY(dir_.isValid());
        store_ = dir_.filePath(QStringLiteral("store.mdb"));
        jet::store::writeStore(store_.toStdString(), jet::store::demoOptions());
        precios::setPrompter(&prompter_);
    }

    // Every test starts on a fresh copy, with the focus in the search box.
    void init() {
        path_ = dir_.filePath(QString::fromLatin1(QTest::currentTestFunction()) + ".mdb");
        QFile::remove(path_);
        QVERIFY(QFile::copy(store_, path_));
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QVERIFY(openInWindow(*form_, path_));
        QTRY_COMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        prompter_.clear();
    }
    void cleanup() { form_.reset(); }

    // The road of one typical use, keys only: a search, Enter to the grid,
    // arrows to an item, Enter to the discount, Enter through the simulation
    // boxes with a few figures typed on the way, Enter on "Aplicar Cambios".
    // The file then differs from the original in that item's three prices
    // and nowhere else.
    void wholePathStoresTheItemsNewPrices() {
        const Snapshot before = snapshot(path_);
        db::Dataset& list = form_->model.qarticulos;

        QTest::keyClicks(form_->ebuscar, QStringLiteral("cem"));
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("CEM"));
        list.fetchAll();
        const int descColumn = list.field(QStringLiteral("descripcion")).index();
        const int refColumn = list.field(QStringLiteral("referencia")).index();
        QVERIFY(list.recordCount() > 3);
        QVERIFY(list.recordCount() < int(before.at("Articulos").rows.size()));
        for (int row = 0; row < list.recordCount(); ++row) {
            QVERIFY(list.rowValue(row, descColumn).toString().toUpper().contains("CEM"));
        }

        QTest::keyClick(form_->ebuscar, Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("CEM"));
        QCOMPARE(list.currentRow(), 0);

        // An item past the first with a purchase price, so that its margin
        // is defined; reached by going one row too far and back.
        int target = -1;
        for (int row = 1; row < list.recordCount() - 1 && target < 0; ++row) {
            const QString ref = list.rowValue(row, refColumn).toString();
            if (purchaseOf(before, ref) > 0) target = row;
        }
        QVERIFY(target > 0);
        for (int i = 0; i <= target; ++i) QTest::keyClick(form_->DBGrid1, Qt::Key_Down);
        QCOMPARE(list.currentRow(), target + 1);
        QTest::keyClick(form_->DBGrid1, Qt::Key_Up);
        QCOMPARE(list.currentRow(), target);
        const QString ref = list.rowValue(target, refColumn).toString();
        QCOMPARE(form_->model.ARTICULOS.field(QStringLiteral("Referencia")).asString(), ref);
        const double oldPurchase = purchaseOf(before, ref);
        QCOMPARE(box("spcbase")->text(),
                 QString::fromStdString(pricing::FormatFixed7(oldPurchase, ",")));
        const double factor = pricing::VatFactor(rateOfItem());

        QTest::keyClick(form_->DBGrid1, Qt::Key_Return);
        expectEntered("Edit1");
        QTest::keyClicks(box("Edit1"), QStringLiteral("10"));
        enter("spcbasesd");
        QTest::keyClicks(box("spcbasesd"), QStringLiteral("20.5"));  // the point becomes a comma
        QCOMPARE(box("spcbasesd")->text(), QStringLiteral("20,5"));

        // Each leave recalculates the boxes that follow from the one left.
        const double purchase = pricing::DiscountedPrice(20.5, 10);
        enter("spcbase");
        near(number(box("spcbase")), purchase);
        const double margin = number(box("sbeneficio"));
        enter("spciva");
        near(number(box("spciva")), purchase * factor);
        near(number(box("spvp1base")), pricing::SaleBaseFromMargin(purchase, margin));
        enter("spvp1base");
        near(number(box("spcbase")), purchase);
        QTest::keyClicks(box("spvp1base"), QStringLiteral("30"));
        enter("spvp1iva");
        near(number(box("spvp1iva")), 30 * factor);
        near(number(box("sbnneto")), pricing::NetProfit(30, purchase));
        enter("sbeneficio");
        QCOMPARE(box("spvp1base")->text(), QStringLiteral("30,0000000"));  // rewritten from VAT
        near(number(box("sbeneficio")), pricing::MarginPercent(30 * factor, purchase * factor));
        QTest::keyClicks(box("sbeneficio"), QStringLiteral("40"));
        enter("sbnneto");
        near(number(box("spvp1base")), pricing::SaleBaseFromMargin(purchase, 40));
        QTest::keyClicks(box("sbnneto"), QStringLiteral("8"));
        QSignalSpy applied(form_->Button1, &QPushButton::clicked);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("Button1"));
        const double pvp1 = pricing::SaleBaseFromNetProfit(purchase, 8);
        near(number(box("spvp1base")), pvp1);
        near(number(box("sbeneficio")), pricing::MarginPercent(pvp1 * factor, purchase * factor));
        QCOMPARE(applied.count(), 0);

        const double shownPvp1 = number(box("spvp1base"));
        const double shownPurchase = number(box("spcbase"));
        QTest::keyClick(form_->Button1, Qt::Key_Return);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        QCOMPARE(form_->ebuscar->selectedText(), QStringLiteral("CEM"));
        QCOMPARE(box("Edit1")->text(), QStringLiteral("0"));
        QCOMPARE(box("spcbasesd")->text(), QString());
        QVERIFY2(prompter_.messages.isEmpty() && prompter_.reports.isEmpty(),
                 qPrintable((prompter_.messages + prompter_.reports).join('\n')));
        QVERIFY(list.isActive());
        QCOMPARE(list.currentRow(), 0);
        form_.reset();

        const Snapshot after = snapshot(path_);
        const std::set<Change> expected = {{"Articulos", ref, "PVP 1"},
                                           {"Articulos", ref, "PVP 2"},
                                           {"Articulos", ref, "Precio Compra Proveedor 1"}};
        QCOMPARE(describe(changes(before, after)), describe(expected));
        const auto stored = [&](const char* column) {
            return asDouble(cellOf(after, "Articulos", ref, column));
        };
        QCOMPARE(stored("PVP 1"), shownPvp1);
        QCOMPARE(stored("Precio Compra Proveedor 1"), shownPurchase);
        QCOMPARE(stored("PVP 2"), pricing::SecondRetailPrice(shownPvp1, 28));
        near(stored("PVP 1"), pvp1);
        near(stored("Precio Compra Proveedor 1"), purchase);
    }

    // Enter presses "Cambiar Estado" and the focus stays on it, so the next
    // Enter runs the change again, now in the default mode: the boxes were
    // cleared by the first run.
    void enterOnButton3RunsItAgainAndAgain() {
        const Snapshot before = snapshot(path_);
        const QDate from(2024, 3, 4), to(2024, 3, 9);
        form_->dfecha->setDate(from);
        form_->hfecha->setDate(to);
        form_->cfacturar->setChecked(true);
        goToEdit1();
        form_->Button3->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), QStringLiteral("Button3"));

        QTest::keyClick(form_->Button3, Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("Button3"));
        QVERIFY(!form_->cfacturar->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("Button3"));
        QVERIFY(prompter_.reports.isEmpty());
        form_.reset();

        // Every ticket of the week is invoiced; in the default mode the
        // second run reaches none of them again.
        const std::string tickets = jet::store::kTickets;
        std::set<Change> expected;
        int inRange = 0;
        for (const auto& [key, row] : before.at(tickets).rows) {
            const auto* fecha =
                std::get_if<jet::DateTime>(&cellOf(before, tickets, key, "Fecha").v);
            QVERIFY(fecha != nullptr);
            if (fecha->days < oleDays(from) || fecha->days > oleDays(to)) continue;
            ++inRange;
            if (cellOf(before, tickets, key, "Documento") != jet::Value(std::u16string()))
                expected.insert({tickets, key, "Documento"});
            if (cellOf(before, tickets, key, "Forma de Pago") != jet::Value(u"Facturado"))
                expected.insert({tickets, key, "Forma de Pago"});
        }
        QVERIFY(inRange > 10);
        QVERIFY(!expected.empty());
        const Snapshot after = snapshot(path_);
        QCOMPARE(describe(changes(before, after)), describe(expected));
        for (const auto& [key, row] : after.at(tickets).rows) {
            const auto* fecha = std::get_if<jet::DateTime>(&cellOf(after, tickets, key, "Fecha").v);
            if (fecha->days < oleDays(from) || fecha->days > oleDays(to)) continue;
            QCOMPARE(asText(cellOf(after, tickets, key, "Forma de Pago")),
                     QStringLiteral("Facturado"));
        }
        QCOMPARE(
            prompter_.messages,
            (QStringList{QStringLiteral("Proceso completado. Tickets modificados: %1").arg(inRange),
                         QStringLiteral("Proceso completado. Tickets modificados: 0")}));
    }

    // In a filled grid Tab and Shift+Tab walk the cells and never leave it;
    // Enter does, to the discount box.
    void tabStaysInAFilledGrid() {
        QTest::keyClick(form_->ebuscar, Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        const QModelIndex start = form_->DBGrid1->currentIndex();
        QTest::keyClick(form_->DBGrid1, Qt::Key_Tab);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        QVERIFY(form_->DBGrid1->currentIndex() != start);
        QTest::keyClick(form_->DBGrid1, Qt::Key_Backtab);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        QCOMPARE(form_->DBGrid1->currentIndex(), start);
        QTest::keyClick(form_->DBGrid1, Qt::Key_Backtab);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        QTest::keyClick(form_->DBGrid1, Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("Edit1"));
    }

    // Entering a plain box by code selects its text, as Enter and Tab do;
    // entering it by a press leaves the caret at the click.
    void enteringABoxByCodeSelectsItsText() {
        goToEdit1();
        form_->spvp1iva->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), QStringLiteral("spvp1iva"));
        QVERIFY(!box("spvp1iva")->text().isEmpty());
        QCOMPARE(box("spvp1iva")->selectedText(), box("spvp1iva")->text());
        QTest::mouseClick(box("Edit2"), Qt::LeftButton, {}, QPoint(4, 10));
        QCOMPARE(focusedName(*form_), QStringLiteral("Edit2"));
        QVERIFY(!box("Edit2")->hasSelectedText());
    }

    // A point becomes a comma in a bound box whose field is floating-point
    // (the window keeps both such boxes read-only; enabled here to reach the
    // rule), never in a text field, and not while the box has no field.
    void pointInBoundBoxes() {
        db::Dataset& record = form_->model.ARTICULOS;
        form_->DBEdit2->setEnabled(true);
        goToEdit1();
        const std::tuple<QLineEdit*, const char*, const char*> cases[] = {
            {form_->DBEdit2, "1.5", "1,5"}, {form_->DBEdit5, "A.B", "A.B"}};
        for (const auto& [edit, typed, shown] : cases) {
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
            QTest::keyClicks(edit, QString::fromLatin1(typed));
            QCOMPARE(edit->text(), QString::fromLatin1(shown));
            QCOMPARE(record.state(), db::DatasetState::Edit);
            record.cancel();
        }
        record.close();
        form_->DBEdit2->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBEdit2"));
        QChar typed(u'.');
        form_->FormKeyPress(typed);
        QCOMPARE(typed, QChar(u'.'));
    }

    // With its list open a lookup combo takes Enter as the choice of the
    // highlighted row and keeps the focus; with the list closed Enter moves on.
    void enterInALookupCombo() {
        db::Dataset& record = form_->model.ARTICULOS;
        db::DbLookupCombo* combo = form_->DBLookupComboBox1;
        goToEdit1();
        combo->setFocus(Qt::OtherFocusReason);
        const QVariant before = record.field(QStringLiteral("Tipo Impuesto")).value();
        QVERIFY(combo->count() > 1);
        const bool down = combo->currentIndex() + 1 < combo->count();
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QTest::keyClick(combo->view(), down ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QTRY_VERIFY(!combo->view()->isVisible());
        QCOMPARE(focusedName(*form_), QStringLiteral("DBLookupComboBox1"));
        QCOMPARE(record.state(), db::DatasetState::Edit);
        QVERIFY(record.field(QStringLiteral("Tipo Impuesto")).value() != before);
        QTest::keyClick(combo, Qt::Key_Return);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBLookupComboBox2"));
        record.cancel();
    }

    // From the search box or the grid a press wins over the leave rules: the
    // pressed control takes the focus and acts, so one click presses a button.
    void aPressWinsOverTheLeaveRules() {
        QSignalSpy clicked(form_->Button3, &QPushButton::clicked);
        QTest::mouseClick(form_->Button3, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(focusedName(*form_), QStringLiteral("Button3"));
        QCOMPARE(prompter_.messages.size(), 1);

        form_->ebuscar->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        QTest::mouseClick(box("sbeneficio"), Qt::LeftButton, {}, QPoint(6, 10));
        QCOMPARE(focusedName(*form_), QStringLiteral("sbeneficio"));
        QVERIFY(!box("sbeneficio")->hasSelectedText());

        form_->DBGrid1->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), QStringLiteral("DBGrid1"));
        QTest::mouseClick(form_->Cfacturados, Qt::LeftButton);
        QCOMPARE(focusedName(*form_), QStringLiteral("Cfacturados"));
        QVERIFY(form_->Cfacturados->isChecked());
    }

    void clicksInTheSimulationBoxes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("selects");
        QTest::newRow("spcbase") << "spcbase" << true;
        QTest::newRow("spcbasesd") << "spcbasesd" << true;
        QTest::newRow("spciva") << "spciva" << true;
        QTest::newRow("spvp1base") << "spvp1base" << false;
        QTest::newRow("spvp1iva") << "spvp1iva" << false;
        QTest::newRow("sbeneficio") << "sbeneficio" << false;
        QTest::newRow("sbnneto") << "sbnneto" << false;
    }
    void clicksInTheSimulationBoxes() {
        QFETCH(QString, name);
        QFETCH(bool, selects);
        QLineEdit* edit = box(name);
        edit->setText(QStringLiteral("123,45"));
        edit->repaint();  // the box places its text when it paints
        goToEdit1();
        const QPoint at(edit->width() - 24, edit->height() / 2);
        QTest::mouseClick(edit, Qt::LeftButton, {}, at);
        QCOMPARE(focusedName(*form_), name);
        if (selects) {
            QCOMPARE(edit->selectedText(), edit->text());
        } else {
            QVERIFY(!edit->hasSelectedText());
            QCOMPARE(edit->cursorPosition(), edit->cursorPositionAt(at));
        }

        // A drag that selects part of the text: the select-all boxes take it
        // all on the release, the others keep the part.
        goToEdit1();
        const QPoint from(edit->width() - 8, edit->height() / 2);
        QTest::mousePress(edit, Qt::LeftButton, {}, from);
        QTest::mouseMove(edit, at);
        QVERIFY(edit->hasSelectedText());
        QVERIFY(edit->selectedText() != edit->text());
        const QString part = edit->selectedText();
        QTest::mouseRelease(edit, Qt::LeftButton, {}, at);
        QCOMPARE(focusedName(*form_), name);
        QCOMPARE(edit->selectedText(), selects ? edit->text() : part);
    }

    // When the recalculation of the box left fails, its recovery wins over
    // the press; the focus-on-click box then asks for the focus itself, a
    // move by code out of the search box, which the leave rule takes to the
    // grid. A select-all box only selects, staying out of the focus moves.
    void aFailedRecalculationWinsOverTheClick_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("landsOn");
        QTest::newRow("focus-on-click") << "sbnneto"
                                        << "DBGrid1";
        QTest::newRow("select-on-click") << "spciva"
                                         << "ebuscar";
    }
    void aFailedRecalculationWinsOverTheClick() {
        QFETCH(QString, name);
        QFETCH(QString, landsOn);
        box("spciva")->setText(QStringLiteral("0"));  // no margin against nothing
        goToEdit1();
        form_->spvp1base->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(box("spvp1base"), QStringLiteral("10"));
        QTest::mouseClick(box(name), Qt::LeftButton, {}, QPoint(8, 10));
        QCOMPARE(focusedName(*form_), landsOn);
        QCOMPARE(box("spvp1iva")->text(), QString::fromStdString(pricing::FormatFixed7(
                                              10 * pricing::VatFactor(rateOfItem()), ",")));
        QVERIFY(prompter_.reports.isEmpty());
    }

  private:
    QLineEdit* box(const QString& name) const {
        auto* found = form_->findChild<QLineEdit*>(name);
        if (found == nullptr) qFatal("no box %s", qPrintable(name));
        return found;
    }

    static double purchaseOf(const Snapshot& tables, const QString& ref) {
        return asDouble(cellOf(tables, "Articulos", ref, "Precio Compra Proveedor 1"));
    }

    double rateOfItem() const {
        const QVariant code = form_->model.ARTICULOS.field(QStringLiteral("Tipo Impuesto")).value();
        if (!code.isValid()) return 0;
        const auto rows = readBack(path_, "select IVA from [Tipos de Impuestos] where Codigo = ?",
                                   {jet::Value(std::int64_t(code.toLongLong()))});
        return rows.empty() ? 0 : asDouble(rows[0][0]);
    }

    // Enter in the focused box; the focus lands on `next` with its text selected.
    void enter(const char* next) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        expectEntered(next);
    }
    void expectEntered(const char* name) {
        QCOMPARE(focusedName(*form_), QString::fromLatin1(name));
        QCOMPARE(box(QString::fromLatin1(name))->selectedText(), box(name)->text());
    }

    static void near(double actual, double expected) {
        if (std::abs(actual - expected) > 1e-6) {
            QFAIL(qPrintable(
                QStringLiteral("%1 is not %2").arg(actual, 0, 'g', 17).arg(expected, 0, 'g', 17)));
        }
    }

    // The discount box, reached by the rules (search box, grid, discount).
    void goToEdit1() { QVERIFY(focusEdit1(*form_)); }

    QTemporaryDir dir_;
    QString store_;
    QString path_;
    QuietPrompter prompter_;
    std::unique_ptr<TForm1> form_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    KeyboardPathTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "keyboard_path_test.moc"
