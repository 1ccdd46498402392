// The price panels and "Aplicar Cambios" in the real window, on copies of a
// generated store: the fill from the item record, the recalculations as the
// user types and leaves the boxes, the silent recovery and the click it
// cancels, and the stored values read back through the engine.
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

#include "price_ops.h"
#include "store_window_fixture.h"

using namespace testing_support;

namespace {

using Figures = QList<QPair<QString, QString>>;  // box name, text

const std::string kItemPrices =
    "select [PVP 1], [PVP 2], [Precio Compra Proveedor 1], Descripcion from Articulos "
    "where Referencia = ?";

QString fixed4(double value) { return QString::fromStdString(pricing::FormatFixed4(value, ",")); }

}  // namespace

class PricingWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        useCommaLocale();
        QVERIFY(dir_.isValid());
        precios::setPrompter(&prompter_);
    }

    // Every test starts on PRUEBA1 (rate 21, purchase 10, PVP 1 12.5) in a
    // fresh copy, with the focus in the search box.
    void init() {
        path_ = copyFixture(dir_, QStringLiteral("store.mdb"),
                            QString::fromLatin1(QTest::currentTestFunction()) + ".mdb");
        QVERIFY(!path_.isEmpty());
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QVERIFY(openInWindow(*form_, path_));
        prompter_.clear();
        // The search leads to the item whether or not typing re-reads the list.
        form_->ebuscar->setText(QStringLiteral("ARTICULO DE PRUEBA"));
        showItem(QStringLiteral("PRUEBA1"));
        QTRY_COMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        prompter_.clear();
    }
    void cleanup() { form_.reset(); }

    void fillShowsTheItemsFigures() {
        expectFigures({{"pciva", "12,1000"},
                       {"pvp1iva", "15,1250"},
                       {"bnpvp1", "25,0000"},
                       {"bnneto", "2,5000"},
                       {"spcbase", "10,0000000"},
                       {"spvp1base", "12,5000000"},
                       {"spciva", "12,1000"},
                       {"spvp1iva", "15,1250"},
                       {"sbeneficio", "25,0000"},
                       {"sbnneto", "2,5000"},
                       {"Edit1", "0"},
                       {"spcbasesd", ""},
                       {"Edit2", "28"}});
    }

    // The rate is that of the item's tax type when the fill starts: a tax
    // type chosen but not yet stored counts; a type that is NULL, names no
    // row or has no IVA prices at 0.
    void fillUsesTheRateOfTheTaxType() {
        db::Dataset& record = form_->model.ARTICULOS;
        record.edit();
        record.field(QStringLiteral("Tipo Impuesto")).setValue(2);  // IVA 10
        expectFigures({{"pciva", "11,0000"}, {"spvp1iva", "13,7500"}, {"sbeneficio", "25,0000"}});
        record.cancel();
        expectFigures({{"pciva", "12,1000"}});

        for (const char* ref : {"T00001", "T00098", "T00005"}) {
            showItem(QString::fromLatin1(ref));
            const double purchase =
                record.field(QStringLiteral("Precio Compra Proveedor 1")).asDouble();
            const double sale = record.field(QStringLiteral("PVP 1")).asDouble();
            QCOMPARE(box("pciva")->text(), fixed4(purchase));
            QCOMPARE(box("pvp1iva")->text(), fixed4(sale));
        }
        showItem(QStringLiteral("T00020"));  // IVA 10, purchase 0.5, PVP 1 0.8
        expectFigures({{"pciva", "0,5500"}, {"pvp1iva", "0,8800"}, {"bnpvp1", "60,0000"}});
    }

    // A zero purchase price leaves the margin undefined: its two boxes are
    // empty, every other box shows the item.
    void zeroPurchasePriceLeavesTheMarginEmpty() {
        showItem(QStringLiteral("P00001"));
        const double sale = form_->model.ARTICULOS.field(QStringLiteral("PVP 1")).asDouble();
        expectFigures({{"pciva", "0,0000"},
                       {"bnpvp1", ""},
                       {"sbeneficio", ""},
                       {"spcbase", "0,0000000"},
                       {"spvp1iva", fixed4(pricing::WithVat(sale, 21))}});
        QVERIFY(prompter_.reports.isEmpty());
    }

    void leavingABoxRecalculates_data() {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Figures>("expected");
        QTest::newRow("purchase") << "spcbase"
                                  << "20"
                                  << Figures{{"spvp1base", "25,0000000"},
                                             {"spciva", "24,2000000"},
                                             {"spvp1iva", "30,2500000"},
                                             {"sbnneto", "5,0000000"},
                                             {"sbeneficio", "25,0000"}};
        QTest::newRow("net profit") << "sbnneto"
                                    << "3"
                                    << Figures{{"spvp1base", "13,0000000"},
                                               {"spvp1iva", "15,7300000"},
                                               {"sbeneficio", "30,0000000"}};
        // Typed with a point: the keyboard rule makes it a comma.
        QTest::newRow("sale with VAT") << "spvp1iva"
                                       << "18.15"
                                       << Figures{{"spvp1iva", "18,15"},
                                                  {"spvp1base", "15,0000000"},
                                                  {"sbeneficio", "50,0000000"},
                                                  {"sbnneto", "5,0000000"}};
    }
    void leavingABoxRecalculates() {
        QFETCH(QString, boxName);
        QFETCH(QString, typed);
        QFETCH(Figures, expected);
        typeAndTab(box(boxName), typed);
        expectFigures(expected);
        QVERIFY(focusedName(*form_) != QStringLiteral("ebuscar"));
        QVERIFY(prompter_.reports.isEmpty());
    }

    // The list price and the discount give the purchase price and nothing
    // else; leaving the purchase price then completes the sale side.
    void discountThenPurchasePrice() {
        box("Edit1")->setText(QStringLiteral("15"));
        typeAndTab(box("spcbasesd"), QStringLiteral("100"));
        QCOMPARE(focusedName(*form_), QStringLiteral("spcbase"));
        expectFigures({{"spcbase", "85,0000000"},
                       {"spvp1base", "12,5000000"},
                       {"spciva", "12,1000"},
                       {"sbnneto", "2,5000"}});
        QTest::keyClick(box("spcbase"), Qt::Key_Tab);
        expectFigures({{"spvp1base", "106,2500000"},
                       {"spciva", "102,8500000"},
                       {"spvp1iva", "128,5625000"},
                       {"sbnneto", "21,2500000"}});
    }

    // An empty list price is no error; a text that is no number is reported
    // and the user is put back in the box, with spcbase untouched.
    void listPriceBox() {
        goToEdit1();
        box("spcbasesd")->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(box("spcbasesd"), Qt::Key_Tab);
        QCOMPARE(focusedName(*form_), QStringLiteral("spcbase"));
        QVERIFY(prompter_.reports.isEmpty());

        typeAndTab(box("Edit1"), QStringLiteral("2.5"));  // no comma rule in Edit1
        QCOMPARE(box("Edit1")->text(), QStringLiteral("2.5"));
        QTest::keyClicks(box("spcbasesd"), QStringLiteral("100"));
        QTest::keyClick(box("spcbasesd"), Qt::Key_Tab);
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY(prompter_.reports[0].startsWith("'2.5' is not a valid floating point value"));
        QCOMPARE(focusedName(*form_), QStringLiteral("spcbasesd"));
        QCOMPARE(box("spcbasesd")->selectedText(), QStringLiteral("100"));
        QCOMPARE(box("spcbase")->text(), QStringLiteral("10,0000000"));
    }

    // A failing step ends the recalculation silently: earlier writes stay,
    // later boxes keep their texts, the focus goes to the search box with
    // its text selected.
    void failedRecalculationRecovers_data() {
        QTest::addColumn<QString>("spciva");
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Figures>("expected");
        QTest::newRow("net profit, zero spciva") << "0"
                                                 << "sbnneto"
                                                 << "3"
                                                 << Figures{{"spvp1base", "13,0000000"},
                                                            {"spvp1iva", "15,7300000"},
                                                            {"sbeneficio", "25,0000"}};
        QTest::newRow("sale base, zero spciva")
            << "0"
            << "spvp1base"
            << "10"
            << Figures{
                   {"spvp1iva", "12,1000000"}, {"sbeneficio", "25,0000"}, {"sbnneto", "2,5000"}};
        QTest::newRow("sale with VAT, zero spciva")
            << "0"
            << "spvp1iva"
            << "18,15"
            << Figures{
                   {"spvp1base", "15,0000000"}, {"sbeneficio", "25,0000"}, {"sbnneto", "2,5000"}};
        QTest::newRow("purchase not a number")
            << "12,1000"
            << "spcbase"
            << "abc"
            << Figures{{"spcbase", "ABC"}, {"spvp1base", "12,5000000"}, {"spciva", "12,1000"}};
    }
    void failedRecalculationRecovers() {
        QFETCH(QString, spciva);
        QFETCH(QString, boxName);
        QFETCH(QString, typed);
        QFETCH(Figures, expected);
        form_->ebuscar->selectAll();
        form_->ebuscar->deselect();
        box("spciva")->setText(spciva);
        typeAndTab(box(boxName), typed);
        expectFigures(expected);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        QCOMPARE(form_->ebuscar->selectedText(), form_->ebuscar->text());
        QVERIFY(prompter_.reports.isEmpty());
    }

    // Zeros in spciva are no failure there; the margin fails afterwards.
    void zeroVatInclusivePurchasePrice() {
        typeAndTab(box("spciva"), QStringLiteral("0"));
        expectFigures({{"spcbase", "0,0000000"},
                       {"spvp1base", "0,0000000"},
                       {"spvp1iva", "0,0000000"},
                       {"sbnneto", "0,0000000"},
                       {"spciva", "0"}});
        QCOMPARE(focusedName(*form_), QStringLiteral("spvp1base"));
        QTest::keyClick(box("spvp1base"), Qt::Key_Tab);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
    }

    // The recovery wins over the click that moved the focus: Button1Click
    // does not run and nothing is stored.
    void clickLostWhenTheRecalculationRecovers() {
        box("spciva")->setText(QStringLiteral("0"));
        goToEdit1();
        box("spvp1base")->setFocus(Qt::OtherFocusReason);
        box("spvp1base")->selectAll();
        QTest::keyClicks(box("spvp1base"), QStringLiteral("10"));
        QSignalSpy clicked(form_->Button1, &QPushButton::clicked);
        QTest::mouseClick(form_->Button1, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(asDouble(rows[0][0]), 12.5);
        QCOMPARE(asDouble(rows[0][2]), 10.0);
        QVERIFY(prompter_.messages.isEmpty() && prompter_.reports.isEmpty());
    }

    void applyStoresTheSimulatedPrices_data() {
        QTest::addColumn<QString>("edit2");
        QTest::newRow("surcharge 28") << "28";
        QTest::newRow("surcharge 0") << "0";
    }
    void applyStoresTheSimulatedPrices() {
        QFETCH(QString, edit2);
        box("Edit1")->setText(QStringLiteral("15"));
        box("spcbasesd")->setText(QStringLiteral("100"));
        box("Edit2")->setText(edit2);
        clickApply();
        QCOMPARE(box("Edit1")->text(), QStringLiteral("0"));
        QCOMPARE(box("spcbasesd")->text(), QString());
        QCOMPARE(box("Edit2")->text(), edit2);
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        QCOMPARE(form_->ebuscar->selectedText(), form_->ebuscar->text());
        QVERIFY(prompter_.messages.isEmpty() && prompter_.reports.isEmpty());
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);

        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(asDouble(rows[0][0]), 12.5);
        const double pvp2 = asDouble(rows[0][1]);
        QCOMPARE(pvp2, pricing::SecondRetailPrice(12.5, edit2.toDouble()));
        QVERIFY(qFuzzyCompare(pvp2, edit2 == "0" ? 12.5 : 16.0));
        QCOMPARE(asDouble(rows[0][2]), 10.0);
    }

    // Edit2 has no comma rule: 28.5 is refused before anything is written.
    void pointInTheSurchargeIsRefused() {
        goToEdit1();
        box("Edit2")->setFocus(Qt::OtherFocusReason);
        box("Edit2")->selectAll();
        QTest::keyClicks(box("Edit2"), QStringLiteral("28.5"));
        QCOMPARE(box("Edit2")->text(), QStringLiteral("28.5"));
        box("spvp1base")->setText(QStringLiteral("20"));
        QTest::mouseClick(form_->Button1, Qt::LeftButton);
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY(prompter_.reports[0].startsWith("'28.5' is not a valid floating point value"));
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(asDouble(rows[0][0]), 12.5);
        QCOMPARE(asDouble(rows[0][1]), 11.875);
    }

    // A description edit pending in the record is stored by the same write.
    void pendingDescriptionGoesWithThePrices() {
        db::Dataset& record = form_->model.ARTICULOS;
        record.edit();
        record.field(QStringLiteral("Descripcion"))
            .setValue(QStringLiteral("ARTICULO DE PRUEBA IVA 21 NUEVO"));
        box("spvp1base")->setText(QStringLiteral("13,5"));
        clickApply();
        QVERIFY(prompter_.reports.isEmpty());
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(asDouble(rows[0][0]), 13.5);
        QCOMPARE(asText(rows[0][3]), QStringLiteral("ARTICULO DE PRUEBA IVA 21 NUEVO"));
    }

    // Typed straight before the press: the leave recalculation does not
    // rewrite spvp1base, so all its digits are stored.
    void pvp1StoredUnrounded() {
        goToEdit1();
        box("spvp1base")->setFocus(Qt::OtherFocusReason);
        box("spvp1base")->selectAll();
        QTest::keyClicks(box("spvp1base"), QStringLiteral("1,23456789"));
        QTest::mouseClick(form_->Button1, Qt::LeftButton);
        QVERIFY(prompter_.reports.isEmpty());
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(asDouble(rows[0][0]), 1.23456789);
        QCOMPARE(asDouble(rows[0][1]), pricing::SecondRetailPrice(1.23456789, 28));
    }

    // The list is read again under its own statement and stands on its
    // first row, which need not be the item just changed.
    void listReReadWithTheSearchInForce() {
        db::Dataset& list = form_->model.qarticulos;
        list.close();
        const QStringList search{
            QStringLiteral("select referencia,descripcion,[Tipo Impuesto] from articulos "
                           "where descripcion like('%ARTICULO%') "),
            QStringLiteral(" order by descripcion")};
        list.setSql(search);
        list.open();
        list.fetchAll();
        const int count = list.recordCount();
        QVERIFY(count > 1);
        list.moveTo(1);
        const QString changed = form_->model.ARTICULOS.field("Referencia").asString();
        box("spvp1base")->setText(QStringLiteral("7"));
        box("spcbase")->setText(QStringLiteral("5"));
        clickApply();
        QVERIFY(prompter_.reports.isEmpty());
        QCOMPARE(list.sql(), search);
        QVERIFY(list.isActive());
        QCOMPARE(list.currentRow(), 0);
        list.fetchAll();
        QCOMPARE(list.recordCount(), count);
        const QString first = list.rowValue(0, list.field("referencia").index()).toString();
        QCOMPARE(form_->model.ARTICULOS.field("Referencia").asString(), first);
        QVERIFY(first != changed);
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(changed.toStdU16String())});
        QCOMPARE(asDouble(rows[0][0]), 7.0);
        QCOMPARE(asDouble(rows[0][2]), 5.0);
    }

    // A failed write is reported; the record keeps editing with the new
    // values and the boxes are not reset.
    void postFailureKeepsTheEdit() {
        bool failWrites = false;
        form_->model.conexion.close();
        form_->model.conexion.setRouteFactory([&failWrites] {
            return std::make_unique<ObservedRoute>([&failWrites](const QString&) {
                if (failWrites) throw db::Error("Disk full", precios::ErrorKind::Io);
            });
        });
        form_->model.qarticulos.open();
        form_->model.qimpuestos.open();
        form_->model.ARTICULOS.open();
        showItem(QStringLiteral("PRUEBA1"));
        failWrites = true;
        box("Edit1")->setText(QStringLiteral("15"));
        box("spcbasesd")->setText(QStringLiteral("100"));
        box("spvp1base")->setText(QStringLiteral("20"));
        prompter_.clear();
        clickApply();
        QCOMPARE(prompter_.reports, QStringList{"Disk full."});
        db::Dataset& record = form_->model.ARTICULOS;
        QCOMPARE(record.state(), db::DatasetState::Edit);
        QCOMPARE(record.field(QStringLiteral("PVP 1")).asDouble(), 20.0);
        QCOMPARE(record.field(QStringLiteral("PVP 2")).asDouble(),
                 pricing::SecondRetailPrice(20, 28));
        QCOMPARE(box("Edit1")->text(), QStringLiteral("15"));
        QCOMPARE(box("spcbasesd")->text(), QStringLiteral("100"));
        QVERIFY(focusedName(*form_) != QStringLiteral("ebuscar"));
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(asDouble(rows[0][0]), 12.5);
    }

    // Prices kept as Currency: stored rounded half to even at the fourth
    // decimal, as Access stores a double there; only the item's three
    // prices change.
    void currencyPricesStoredToFourDecimals() {
        reopenOn(QStringLiteral("store-currency.mdb"));
        expectFigures({{"pciva", "12,1000"}, {"pvp1iva", "15,1250"}});
        const auto before = readBack(path_, "select * from Articulos where Referencia <> ?",
                                     {jet::Value(u"PRUEBA1")});
        goToEdit1();
        box("spvp1base")->setFocus(Qt::OtherFocusReason);
        box("spvp1base")->selectAll();
        QTest::keyClicks(box("spvp1base"), QStringLiteral("1,23456789"));
        QTest::mouseClick(form_->Button1, Qt::LeftButton);
        QVERIFY(prompter_.reports.isEmpty());
        QCOMPARE(focusedName(*form_), QStringLiteral("ebuscar"));
        form_.reset();
        const auto rows = readBack(path_, kItemPrices, {jet::Value(u"PRUEBA1")});
        QCOMPARE(rows[0][0], jet::Value(jet::Currency{12346}));
        const double pvp2 = pricing::SecondRetailPrice(1.23456789, 28);
        QCOMPARE(rows[0][1], jet::Value(jet::Currency{std::llrint(pvp2 * 10000)}));
        QCOMPARE(rows[0][2], jet::Value(jet::Currency{100000}));
        QVERIFY(readBack(path_, "select * from Articulos where Referencia <> ?",
                         {jet::Value(u"PRUEBA1")}) == before);
    }

    // A price beyond the Currency range is refused before anything is
    // written: the message is shown and the edit stays pending.
    void currencyOverflowKeepsTheEdit() {
        reopenOn(QStringLiteral("store-currency.mdb"));
        const QByteArray before = fileBytes(path_);
        box("spvp1base")->setText(QStringLiteral("1000000000000000"));
        clickApply();
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY2(prompter_.reports[0].contains("PVP 1"), qPrintable(prompter_.reports[0]));
        db::Dataset& record = form_->model.ARTICULOS;
        QCOMPARE(record.state(), db::DatasetState::Edit);
        QCOMPARE(record.field(QStringLiteral("PVP 1")).asDouble(), 1e15);
        form_.reset();
        QCOMPARE(fileBytes(path_), before);
    }

    // With no item shown nothing is written and the user is told.
    void noItemShown_data() {
        QTest::addColumn<QString>("fixture");
        QTest::newRow("no database") << QString();
        QTest::newRow("empty item list") << "store-empty.mdb";
    }
    void noItemShown() {
        QFETCH(QString, fixture);
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        if (!fixture.isEmpty()) {
            const QString path = copyFixture(dir_, fixture, QStringLiteral("empty.mdb"));
            QVERIFY(openInWindow(*form_, path));
            QCOMPARE(box("spcbase")->text(), QStringLiteral("0,0000000"));
        }
        prompter_.clear();
        box("spvp1base")->setText(QStringLiteral("1"));
        box("spcbase")->setText(QStringLiteral("1"));
        clickApply();
        QCOMPARE(prompter_.messages, QStringList{"No hay ningún artículo seleccionado."});
        QVERIFY(prompter_.reports.isEmpty());
    }

  private:
    // Starts again on PRUEBA1 in a copy of another store variant.
    void reopenOn(const QString& variant) {
        form_.reset();
        path_ =
            copyFixture(dir_, variant, QString::fromLatin1(QTest::currentTestFunction()) + ".mdb");
        QVERIFY(!path_.isEmpty());
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QVERIFY(openInWindow(*form_, path_));
        form_->ebuscar->setText(QStringLiteral("ARTICULO DE PRUEBA"));
        showItem(QStringLiteral("PRUEBA1"));
        prompter_.clear();
    }

    static QByteArray fileBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QLineEdit* box(const QString& name) const {
        auto* found = form_->findChild<QLineEdit*>(name);
        if (found == nullptr) qFatal("no box %s", qPrintable(name));
        return found;
    }

    // Moves the list to the item; when the search in force hides it, the
    // search is cleared first.
    void showItem(const QString& reference) {
        if (!moveListTo(reference)) {
            form_->ebuscar->clear();
            moveListTo(reference);
        }
        QCOMPARE(form_->model.ARTICULOS.field(QStringLiteral("Referencia")).asString(), reference);
    }

    bool moveListTo(const QString& reference) {
        db::Dataset& list = form_->model.qarticulos;
        list.fetchAll();
        const int column = list.field(QStringLiteral("referencia")).index();
        for (int row = 0; row < list.recordCount(); ++row) {
            if (list.rowValue(row, column).toString() == reference) {
                list.moveTo(row);
                return true;
            }
        }
        return false;
    }

    void expectFigures(const Figures& figures) {
        for (const auto& [name, text] : figures) {
            if (box(name)->text() != text) {
                QFAIL(qPrintable(QStringLiteral("%1 shows '%2', expected '%3'")
                                     .arg(name, box(name)->text(), text)));
            }
        }
    }

    // The discount box, reached by the leave rules (search box, grid, discount).
    void goToEdit1() { QVERIFY(focusEdit1(*form_)); }

    // Puts the focus in the box from Edit1 (no leave rule there), replaces its
    // text by typing, and leaves it with Tab.
    void typeAndTab(QLineEdit* edit, const QString& typed) {
        goToEdit1();
        edit->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focusedName(*form_), edit->objectName());
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Tab);
    }

    void clickApply() {
        goToEdit1();
        QTest::mouseClick(form_->Button1, Qt::LeftButton);
    }

    QTemporaryDir dir_;
    QString path_;
    QuietPrompter prompter_;
    std::unique_ptr<TForm1> form_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    PricingWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pricing_window_test.moc"
