// The item list and the search box: the statement each keystroke builds, what
// the list then holds, the grid over it (lazy rows, keys, columns), and the
// failures of an opening.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLocale>

#include "store_window_fixture.h"

using namespace browse_test;

class BrowseSearchTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        useCommaLocale();
        QVERIFY(dir_.isValid());
    }

    void init() {
        prompter_.clear();
        precios::setPrompter(&prompter_);
        path_ = copyFixture(dir_, QStringLiteral("store.mdb"));
        QVERIFY(!path_.isEmpty());
        form_ = std::make_unique<TForm1>();
        tester_ = std::make_unique<QAbstractItemModelTester>(
            form_->DBGrid1->gridModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    void cleanup() {
        tester_.reset();
        form_.reset();
        precios::setPrompter(nullptr);
    }

    // Before any search the list has the base statement and lists the items
    // without description too; typing and deleting leaves the search query
    // with an empty text, which never matches a NULL description.
    void emptySearchTextDiffersFromTheBaseStatement() {
        QVERIFY(connectTo(*form_, path_));
        const QStringList base = listReferences(*form_);
        QCOMPARE(base.size(), storeOptions().items);
        QVERIFY(base.contains(QStringLiteral("N00001")));
        QVERIFY(base.contains(QStringLiteral("N00002")));

        typeSearch(*form_, QStringLiteral("A"));
        QTest::keyClick(form_->ebuscar, Qt::Key_Backspace);
        QCOMPARE(form_->ebuscar->text(), QString());
        QCOMPARE(form_->model.qarticulos.sql(),
                 (QStringList{QStringLiteral("select referencia,descripcion,[Tipo Impuesto] from "
                                             "articulos where descripcion like('%%') "),
                              QStringLiteral(" order by descripcion")}));
        const QStringList searched = listReferences(*form_);
        QCOMPARE(searched.size(), descriptionsContaining(path_, QString()));
        QVERIFY(!searched.contains(QStringLiteral("N00001")));
        QVERIFY(prompter_.reports.isEmpty());
    }

    // Quotes are doubled, % and _ stay pattern characters, letters go out in
    // upper case however they were typed.
    void searchTextGoesIntoThePattern_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QStringList>("mustFind");
        QTest::addColumn<bool>("counted");  // a plain substring: the stored rows say how many
        const QString head = QStringLiteral(
            "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
            "like('%");
        QTest::newRow("quote doubled")
            << "D'ARCO" << head + "D''ARCO%') " << QStringList{"E00001", "E00002"} << true;
        QTest::newRow("underscore is any one character")
            << "A_B" << head + "A_B%') " << QStringList{"E00004", "E00005"} << false;
        QTest::newRow("percent is any run")
            << "10%" << head + "10%%') " << QStringList{"E00003"} << false;
        QTest::newRow("lower case typed, upper case sent")
            << "m8x40" << head + "M8X40%') " << QStringList{"TOR-M8X40"} << true;
        QTest::newRow("accents kept")
            << "cañería" << head + "CAÑERÍA%') " << QStringList{"E00009"} << true;
    }
    void searchTextGoesIntoThePattern() {
        QFETCH(QString, typed);
        QFETCH(QString, firstLine);
        QFETCH(QStringList, mustFind);
        QFETCH(bool, counted);
        QVERIFY(connectTo(*form_, path_));
        typeSearch(*form_, typed);
        QCOMPARE(form_->ebuscar->text(), typed.toUpper());
        QCOMPARE(form_->model.qarticulos.sql().value(0), firstLine);
        QCOMPARE(form_->model.qarticulos.sql().value(1), QStringLiteral(" order by descripcion"));
        const QStringList found = listReferences(*form_);
        for (const QString& ref : mustFind) QVERIFY2(found.contains(ref), qPrintable(ref));
        if (counted) QCOMPARE(found.size(), descriptionsContaining(path_, typed));
        QVERIFY(prompter_.reports.isEmpty());
    }

    // Every keystroke closes and reads the list again, first row current,
    // and the record follows it each time.
    void eachKeystrokeReadsTheListAgain() {
        QVERIFY(connectTo(*form_, path_));
        QSignalSpy listStates(&form_->model.dsqarticulos, &db::DataSource::stateChanged);
        QStringList firstRefs;
        for (const QString& key : {QStringLiteral("c"), QStringLiteral("e"), QStringLiteral("m")}) {
            // Leave the list on another row, so "first row current" means something.
            form_->model.qarticulos.moveTo(1);
            QTest::keyClicks(form_->ebuscar, key);
            QCOMPARE(form_->model.qarticulos.currentRow(), 0);
            QCOMPARE(form_->DBGrid1->currentIndex().row(), 0);
            firstRefs << form_->DBEdit4->text();
            QCOMPARE(firstRefs.last(), gridText(*form_, 0, 0));
        }
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("CEM"));
        // A close and an open per keystroke.
        QCOMPARE(listStates.count(), 6);
    }

    // No match: empty grid, empty record and combos, buttons off; the bound
    // boxes take no typing and a combo choice changes nothing.
    void noMatchLeavesAnEmptyRecord() {
        QVERIFY(connectTo(*form_, path_));
        typeSearch(*form_, QStringLiteral("XYZXYZ"));
        QCOMPARE(form_->DBGrid1->gridModel()->rowCount(), 0);
        QVERIFY(!form_->DBGrid1->currentIndex().isValid());
        for (auto* box :
             {form_->DBEdit4, form_->DBEdit5, form_->DBEdit7, form_->DBEdit8, form_->DBEdit2})
            QCOMPARE(box->text(), QString());
        QCOMPARE(form_->DBLookupComboBox1->currentText(), QString());
        QCOMPARE(form_->DBLookupComboBox2->currentText(), QString());
        QVERIFY(!form_->BTGuardar->isEnabled());
        QVERIFY(!form_->BTCancelar->isEnabled());

        QTest::keyClicks(form_->DBEdit5, QStringLiteral("NUEVO"));
        QCOMPARE(form_->DBEdit5->text(), QString());
        QVERIFY(form_->DBLookupComboBox1->count() > 0);
        emit form_->DBLookupComboBox1->activated(0);
        QCOMPARE(form_->DBLookupComboBox1->currentIndex(), -1);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
        QVERIFY(!form_->BTGuardar->isEnabled());
        QVERIFY(prompter_.reports.isEmpty());
    }

    // With nothing connected the bound boxes take no typing and raise nothing;
    // each change of the search text tries to open the list and reports the
    // failure, the next keystroke tries again.
    void nothingConnected() {
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("ABC"));
        QCOMPARE(form_->DBEdit5->text(), QString());
        emit form_->DBLookupComboBox2->activated(0);
        QVERIFY(prompter_.reports.isEmpty());

        typeSearch(*form_, QStringLiteral("CE"));
        QCOMPARE(prompter_.reports.size(), 2);
        QCOMPARE(form_->DBGrid1->gridModel()->rowCount(), 0);
        QVERIFY(!form_->model.qarticulos.isActive());
        QCOMPARE(form_->model.qarticulos.sql().value(0).contains(QStringLiteral("like('%CE%')")),
                 true);
    }

    // A failed opening leaves the grid empty and the record as it was; the
    // next keystroke opens the list again.
    void failedOpeningIsRetriedByTheNextKeystroke() {
        auto faults = installFaultyRoute(*form_);
        QVERIFY(connectTo(*form_, path_));
        typeSearch(*form_, QStringLiteral("CEMENTO GRIS"));
        const QString shown = form_->DBEdit4->text();
        QVERIFY(!shown.isEmpty());

        faults->failQueries = true;
        QTest::keyClicks(form_->ebuscar, QStringLiteral(" "));
        QCOMPARE(prompter_.reports, QStringList{QStringLiteral("The database cannot be read.")});
        QCOMPARE(form_->DBGrid1->gridModel()->rowCount(), 0);
        QVERIFY(!form_->model.qarticulos.isActive());
        QCOMPARE(form_->DBEdit4->text(), shown);
        QVERIFY(
            form_->model.qarticulos.sql().value(0).contains(QStringLiteral("'%CEMENTO GRIS %'")));

        faults->failQueries = false;
        QTest::keyClick(form_->ebuscar, Qt::Key_Backspace);
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY(form_->model.qarticulos.isActive());
        QVERIFY(form_->DBGrid1->gridModel()->rowCount() > 0);
        QCOMPARE(form_->DBEdit4->text(), gridText(*form_, 0, 0));
    }

    // The grid: titles and widths, lines, the indicator on the current row,
    // rows fetched only as shown, keys moving the list, typing doing nothing,
    // Tab staying inside, columns that move and resize.
    void gridShowsAndMovesTheList() {
        QVERIFY(connectTo(*form_, path_));
        auto* grid = form_->DBGrid1;
        auto* model = grid->gridModel();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Ref."));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Descripción"));
        QCOMPARE(grid->columnWidth(0), 50);
        QCOMPARE(grid->columnWidth(1), 272);
        QVERIFY(grid->showGrid());
        QVERIFY(grid->horizontalHeader()->isVisible());
        QVERIFY(grid->horizontalHeader()->sectionsMovable());
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

        // Only a screenful has been read, not every row.
        const int items = storeOptions().items;
        QVERIFY(model->rowCount() >= grid->visibleRowCount());
        QVERIFY(model->rowCount() < items);
        QVERIFY(form_->model.qarticulos.canFetchMore());
        QVERIFY(!model->headerData(0, Qt::Vertical).toString().isEmpty());
        QVERIFY(model->headerData(1, Qt::Vertical).toString().isEmpty());

        grid->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(form_->model.qarticulos.currentRow(), 1);
        QCOMPARE(form_->DBEdit4->text(), gridText(*form_, 1, 0));
        QVERIFY(!model->headerData(1, Qt::Vertical).toString().isEmpty());
        QVERIFY(model->headerData(0, Qt::Vertical).toString().isEmpty());

        QTest::keyClick(grid, Qt::Key_PageDown);
        const int paged = form_->model.qarticulos.currentRow();
        QVERIFY(paged > 1);
        QCOMPARE(form_->DBEdit4->text(), gridText(*form_, paged, 0));

        QTest::keyClicks(grid, QStringLiteral("ZZ"));
        QCOMPARE(form_->model.qarticulos.currentRow(), paged);
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), grid);

        // End goes to the last row, fetching the rest on the way.
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(model->rowCount(), items);
        QCOMPARE(form_->model.qarticulos.currentRow(), items - 1);
        QCOMPARE(form_->DBEdit4->text(), gridText(*form_, items - 1, 0));

        grid->horizontalHeader()->moveSection(0, 1);
        QCOMPARE(grid->horizontalHeader()->visualIndex(0), 1);
        grid->horizontalHeader()->resizeSection(1, 100);
        QCOMPARE(grid->columnWidth(1), 100);
    }

  private:
    QTemporaryDir dir_;
    QString path_;
    QuietPrompter prompter_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    useCommaLocale();
    BrowseSearchTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "browse_search_test.moc"
