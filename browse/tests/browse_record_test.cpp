// The item record beside the list: what the bound boxes and combos show, the
// order of the record's notifications, the pending edit and when it is
// written, "Guardar" and "Cancelar", and the failures of a write. Stored
// values are read back with mdb-export, a reader independent of ours.
#include <QFile>
#include <QLocale>
#include <memory>

#include "io/lock_probe.h"
#include "lock_holder.h"
#include "store_window_fixture.h"

using namespace browse_test;

namespace {

// One notification of DSARTICULOS, with what the description box showed then.
struct Seen {
    QString what;  // "controls", "state", "data", "data:<field>"
    QString shown;
};

}  // namespace

class BrowseRecordTest : public QObject {
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
        faults_ = installFaultyRoute(*form_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QVERIFY(connectTo(*form_, path_));
    }

    void cleanup() {
        form_.reset();
        undoReadOnly(path_);
        precios::setPrompter(nullptr);
    }

    // The record shows the list's item; prices in the display format with
    // the locale's comma, empty for NULL; combos show the names.
    void boundControlsShowTheItem_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("ref");
        QTest::addColumn<QString>("purchase");
        QTest::addColumn<QString>("pvp1");
        QTest::addColumn<QString>("taxType");
        QTest::addColumn<QString>("supplier");
        QTest::newRow("PRUEBA1") << "ARTICULO DE PRUEBA IVA"
                                 << "PRUEBA1"
                                 << "10,0000000"
                                 << "12,5000000"
                                 << "General"
                                 << "*";
        QTest::newRow("purchase NULL") << "REGALO LLAVERO"
                                       << "P00003"
                                       << ""
                                       << "*"
                                       << "*"
                                       << "*";
        QTest::newRow("PVP 1 NULL") << "SIN PRECIO VENTA A"
                                    << "P00005"
                                    << "*"
                                    << ""
                                    << "*"
                                    << "*";
        QTest::newRow("tax type NULL") << "SACO ESCOMBRO"
                                       << "T00001"
                                       << "*"
                                       << "*"
                                       << ""
                                       << "*";
        QTest::newRow("tax type unknown") << "CUBETA PINTOR"
                                          << "T00098"
                                          << "*"
                                          << "*"
                                          << ""
                                          << "*";
        QTest::newRow("tax type without rate") << "BOLSA TORNILLERIA"
                                               << "T00005"
                                               << "*"
                                               << "*"
                                               << "Sin tipo"
                                               << "*";
        QTest::newRow("supplier NULL") << "CINTA AMERICANA"
                                       << "V00003"
                                       << "*"
                                       << "*"
                                       << "*"
                                       << "";
        QTest::newRow("supplier unknown") << "PIEDRA ORNAMENTAL"
                                          << "V00999"
                                          << "*"
                                          << "*"
                                          << "*"
                                          << "";
    }
    void boundControlsShowTheItem() {
        QFETCH(QString, search);
        QFETCH(QString, ref);
        QFETCH(QString, purchase);
        QFETCH(QString, pvp1);
        QFETCH(QString, taxType);
        QFETCH(QString, supplier);
        typeSearch(*form_, search);
        QVERIFY(clickRowOf(*form_, ref));
        QCOMPARE(form_->DBEdit4->text(), ref);
        const int row = form_->model.qarticulos.currentRow();
        QCOMPARE(form_->DBEdit5->text(), gridText(*form_, row, 1));
        if (purchase != "*") QCOMPARE(form_->DBEdit8->text(), purchase);
        if (pvp1 != "*") QCOMPARE(form_->DBEdit2->text(), pvp1);
        if (taxType != "*") QCOMPARE(form_->DBLookupComboBox1->currentText(), taxType);
        if (supplier != "*") QCOMPARE(form_->DBLookupComboBox2->currentText(), supplier);
        QVERIFY(!form_->BTGuardar->isEnabled());
    }

    // Combos: the lists' rows in order, 7 and 15 rows at a time.
    void comboListsAndRows() {
        auto* taxes = form_->DBLookupComboBox1;
        QCOMPARE(taxes->count(), 5);
        QCOMPARE(taxes->itemText(0), QStringLiteral("General"));
        QCOMPARE(taxes->itemData(4).toInt(), 5);
        QCOMPARE(taxes->maxVisibleItems(), 7);
        QCOMPARE(std::size_t(form_->DBLookupComboBox2->count()),
                 readBack(path_, "select Codigo from proveedores").size());
        QCOMPARE(form_->DBLookupComboBox2->maxVisibleItems(), 15);
    }

    // Length limits: 60 and 25, or the column's shorter length.
    void lengthLimits() {
        QCOMPARE(form_->DBEdit5->maxLength(), 60);
        QCOMPARE(form_->DBEdit7->maxLength(), 25);
        QTest::keyClicks(form_->DBEdit5, QString(70, u'X'));
        QCOMPARE(form_->DBEdit5->text().size(), 60);
        form_->model.ARTICULOS.cancel();

        const QString narrow = copyFixture(dir_, QStringLiteral("store-desc40.mdb"));
        QVERIFY(connectTo(*form_, narrow));
        QCOMPARE(form_->DBEdit5->maxLength(), 40);
        QCOMPARE(form_->DBEdit7->maxLength(), 25);
        QCOMPARE(form_->DBEdit8->maxLength(), 32767);

        // Before any database is open the declared lengths hold.
        TForm1 fresh;
        QCOMPARE(fresh.DBEdit5->maxLength(), 60);
        QCOMPARE(fresh.DBEdit7->maxLength(), 25);
    }

    // Typing in the description starts the edit: controls first, then the
    // state (buttons on), then the record-changed notification; leaving the
    // box hands the text over with a notification that names the field.
    void typingStartsTheEditInOrder() {
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA IVA"));
        QList<Seen> seen;
        auto* ds = &form_->model.DSARTICULOS;
        connect(ds, &db::DataSource::controlsUpdate, this, [&] {
            seen.append({"controls", form_->DBEdit5->text()});
        });
        connect(ds, &db::DataSource::stateChanged, this, [&] {
            seen.append({"state", form_->DBEdit5->text()});
            // The handler ran before us (connected first) or runs now: the
            // buttons follow the state at this moment.
        });
        connect(ds, &db::DataSource::dataChanged, this, [&](db::Field* f) {
            seen.append({f ? "data:" + f->name() : QStringLiteral("data"), form_->DBEdit5->text()});
        });
        form_->DBEdit5->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(form_->DBEdit5, Qt::Key_End);
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("X"));
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].what, QStringLiteral("controls"));
        QCOMPARE(seen[1].what, QStringLiteral("state"));
        QCOMPARE(seen[2].what, QStringLiteral("data"));
        QVERIFY(form_->BTGuardar->isEnabled());
        QVERIFY(form_->BTCancelar->isEnabled());
        QCOMPARE(form_->DBEdit5->text(), QStringLiteral("ARTICULO DE PRUEBA IVA 21X"));

        seen.clear();
        form_->model.ARTICULOS.dataSources().first()->updateData();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].what, QStringLiteral("controls"));
        QCOMPARE(seen[1].what, QStringLiteral("data:Descripcion"));
        QCOMPARE(seen[1].shown, QStringLiteral("ARTICULO DE PRUEBA IVA 21X"));
        disconnect(ds, nullptr, this, nullptr);
    }

    // A choice of tax type, even of the one set, starts an edit and sends a
    // notification carrying the field; nothing is written until a move.
    void taxTypeChoiceStartsAnEdit() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA IVA"));
        auto* combo = form_->DBLookupComboBox1;
        QCOMPARE(combo->currentText(), QStringLiteral("General"));
        QSignalSpy data(&form_->model.DSARTICULOS, &db::DataSource::dataChanged);
        QSignalSpy states(&form_->model.DSARTICULOS, &db::DataSource::stateChanged);
        emit combo->activated(combo->currentIndex());
        QCOMPARE(states.count(), 1);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Edit);
        QVERIFY(form_->BTGuardar->isEnabled());
        QCOMPARE(data.count(), 2);
        QVERIFY(data[0][0].value<db::Field*>() == nullptr);
        QCOMPARE(data[1][0].value<db::Field*>()->name(), QStringLiteral("Tipo Impuesto"));
        QVERIFY(form_->model.ARTICULOS.modified());

        // A keyboard choice of another row stores its code.
        combo->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(combo->currentText(), QStringLiteral("Reducido"));
        QCOMPARE(form_->model.ARTICULOS.field("Tipo Impuesto").asInt(), 2);
        QCOMPARE(storedValue(path_, "PRUEBA1", "Tipo Impuesto"), QStringLiteral("1"));
        QCOMPARE(faults_->writes, 0);
    }

    // A description change is written when another row is clicked; the grid
    // keeps the old text until the list is read again, the record shows the
    // new one when it comes back.
    void descriptionWrittenByAMoveInTheGrid() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("CEMENTO"));
        const QString ref = form_->DBEdit4->text();
        const QString old = gridText(*form_, 0, 1);
        QTest::keyClicks(form_->DBEdit5, QStringLiteral(" NV"));
        QVERIFY(clickRowOf(*form_, gridText(*form_, 1, 0)));
        QCOMPARE(form_->model.qarticulos.currentRow(), 1);
        QCOMPARE(faults_->writes, 1);
        QCOMPARE(storedValue(path_, ref, "Descripcion"), old + " NV");
        QCOMPARE(gridText(*form_, 0, 1), old);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
        QVERIFY(!form_->BTGuardar->isEnabled());

        QVERIFY(clickRowOf(*form_, ref));
        QCOMPARE(form_->DBEdit5->text(), old + " NV");
    }

    // ... and when the search text changes, before the list is read again.
    void descriptionWrittenByTyping() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA"));
        QTest::keyClick(form_->DBEdit5, Qt::Key_End);
        QTest::keyClicks(form_->DBEdit5, QStringLiteral(" CAMBIADO"));
        QTest::keyClicks(form_->ebuscar, QStringLiteral(" IVA 21 CAMBIADO"));
        QCOMPARE(storedValue(path_, "PRUEBA1", "Descripcion"),
                 QStringLiteral("ARTICULO DE PRUEBA IVA 21 CAMBIADO"));
        QCOMPARE(listReferences(*form_), QStringList{QStringLiteral("PRUEBA1")});
        QCOMPARE(gridText(*form_, 0, 1), QStringLiteral("ARTICULO DE PRUEBA IVA 21 CAMBIADO"));
    }

    // An edit with no assignment is dropped at a move: nothing is written.
    void untouchedEditWritesNothing() {
        typeSearch(*form_, QStringLiteral("CEMENTO"));
        form_->model.ARTICULOS.edit();
        QVERIFY(form_->BTGuardar->isEnabled());
        QVERIFY(clickRowOf(*form_, gridText(*form_, 2, 0)));
        QCOMPARE(faults_->writes, 0);
        QVERIFY(!form_->BTGuardar->isEnabled());
    }

    // "Guardar" writes now and leaves the record browsing; typing still in
    // the box is handed over first.
    void guardarWritesNow() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA"));
        QTest::keyClick(form_->DBEdit7, Qt::Key_End);
        form_->DBEdit7->clear();
        QTest::keyClicks(form_->DBEdit7, QStringLiteral("Corta"));
        form_->BTGuardar->click();
        QCOMPARE(faults_->writes, 1);
        // The record's boxes keep the case typed.
        QCOMPARE(storedValue(path_, "PRUEBA1", "Descripcion Corta"), QStringLiteral("Corta"));
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
        QVERIFY(!form_->BTGuardar->isEnabled());
        QVERIFY(!form_->BTCancelar->isEnabled());
        QCOMPARE(form_->DBEdit7->text(), QStringLiteral("Corta"));
        QCOMPARE(form_->model.qarticulos.currentRow(), 0);
    }

    // "Cancelar" drops the edit; the boxes show the stored values again.
    void cancelarDropsTheEdit() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA"));
        const QString before = form_->DBEdit5->text();
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("ZZZ"));
        emit form_->DBLookupComboBox1->activated(2);
        QCOMPARE(form_->DBLookupComboBox1->currentText(), QStringLiteral("Superreducido"));
        form_->BTCancelar->click();
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
        QCOMPARE(form_->DBEdit5->text(), before);
        QCOMPARE(form_->DBLookupComboBox1->currentText(), QStringLiteral("General"));
        QVERIFY(!form_->BTGuardar->isEnabled());
        QTest::keyClicks(form_->ebuscar, QStringLiteral(" "));
        QCOMPARE(faults_->writes, 0);
        QCOMPARE(storedValue(path_, "PRUEBA1", "Descripcion"), before);
    }

    // Closing the window with a change pending writes nothing, asks nothing.
    void closingWithAnEditPending() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA"));
        const QString before = form_->DBEdit5->text();
        form_->DBEdit5->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("ZZZ"));
        form_->close();
        form_.reset();
        QCOMPARE(faults_->writes, 0);
        QVERIFY(prompter_.messages.isEmpty());
        QVERIFY(prompter_.reports.isEmpty());
        QCOMPARE(storedValue(path_, "PRUEBA1", "Descripcion"), before);
    }

    // On a file that cannot be written: a move in the grid reports the
    // failure, does not happen, and the edit stays with the user's text; a
    // change of the search text reports it and does not read the list; once
    // writes go through again the next keystroke writes, then reads.
    // "read-only file": chmod a-w on the copy, and chattr +i when running as
    // root (root ignores the permission bits), before connecting, so that the
    // engine opens it for reading only. "refused writes": the route fails
    // every changing statement, which also lets the test end with a success.
    // "open in Access": a lock file names CAJA1 and another process holds its
    // user slot, as a live Access user does; once it lets go, writes pass.
    void writeFailuresKeepTheEdit_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("reported");
        QTest::newRow("read-only file") << "read-only file"
                                        << "read-only";
        QTest::newRow("refused writes") << "refused writes"
                                        << "read-only";
        QTest::newRow("open in Access") << "open in Access"
                                        << "La base de datos está abierta en otro equipo (CAJA1).";
    }
    void writeFailuresKeepTheEdit() {
        PRECIOS_NEEDS_MDB_EXPORT();
        QFETCH(QString, cause);
        QFETCH(QString, reported);
        typeSearch(*form_, QStringLiteral("CEMENTO"));
        const QString ref = form_->DBEdit4->text();
        const QString old = form_->DBEdit5->text();
        std::unique_ptr<jet::testing::LockHolder> accessUser;
        const QString lockFile = path_.left(path_.size() - 4) + QStringLiteral(".ldb");
        QByteArray lockBytes;
        if (cause == QStringLiteral("read-only file")) {
            if (!makeReadOnly(path_)) QSKIP("this file system cannot make the copy unwritable");
            QVERIFY(connectTo(*form_, path_));
            typeSearch(*form_, QStringLiteral(" "));
            QTest::keyClick(form_->ebuscar, Qt::Key_Backspace);
        } else if (cause == QStringLiteral("refused writes")) {
            faults_->failWrites = true;
        } else {
            lockBytes = QByteArray("CAJA1").leftJustified(32, '\0') +
                        QByteArray("Admin").leftJustified(32, '\0');
            QFile ldb(lockFile);
            QVERIFY(ldb.open(QIODevice::WriteOnly) && ldb.write(lockBytes) == lockBytes.size());
            ldb.close();
            accessUser = std::make_unique<jet::testing::LockHolder>(
                lockFile.toStdString(), jet::kUserLockBase, jet::testing::LockKind::Shared);
            QVERIFY(accessUser->locked());
        }
        const int rows = form_->DBGrid1->gridModel()->rowCount();
        QCOMPARE(form_->DBEdit4->text(), ref);
        QTest::keyClicks(form_->DBEdit5, QStringLiteral(" ROTO"));

        form_->DBGrid1->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(form_->DBGrid1, Qt::Key_Down);
        QCOMPARE(prompter_.reports.size(), 1);
        QCOMPARE(form_->model.qarticulos.currentRow(), 0);
        QCOMPARE(form_->DBGrid1->currentIndex().row(), 0);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Edit);
        QCOMPARE(form_->DBEdit5->text(), old + " ROTO");
        QCOMPARE(form_->DBEdit4->text(), ref);
        QVERIFY(form_->BTGuardar->isEnabled());

        // A click on another row is refused the same way and leaves the row selected.
        QVERIFY(clickRowOf(*form_, gridText(*form_, 2, 0)));
        QCOMPARE(prompter_.reports.size(), 2);
        QCOMPARE(form_->model.qarticulos.currentRow(), 0);
        QVERIFY(form_->DBGrid1->selectionModel()->isRowSelected(0, {}));
        QVERIFY(!form_->DBGrid1->selectionModel()->isRowSelected(2, {}));

        QTest::keyClicks(form_->ebuscar, QStringLiteral(" "));
        QCOMPARE(prompter_.reports.size(), 3);
        QVERIFY(form_->model.qarticulos.isActive());
        QCOMPARE(form_->DBGrid1->gridModel()->rowCount(), rows);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Edit);
        QCOMPARE(form_->DBEdit5->text(), old + " ROTO");
        QCOMPARE(storedValue(path_, ref, "Descripcion"), old);

        // "Guardar" reports the same and keeps the edit.
        form_->BTGuardar->click();
        QCOMPARE(prompter_.reports.size(), 4);
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Edit);

        for (const QString& error : prompter_.reports)
            QVERIFY2(error.contains(reported), qPrintable(error));
        if (cause == QStringLiteral("read-only file")) return;  // the handle stays read-only
        if (accessUser) {
            accessUser->release();
            QFile ldb(lockFile);  // someone else's file: read, never changed
            QVERIFY(ldb.open(QIODevice::ReadOnly));
            QCOMPARE(ldb.readAll(), lockBytes);
        }
        faults_->failWrites = false;
        QTest::keyClick(form_->ebuscar, Qt::Key_Backspace);
        QCOMPARE(prompter_.reports.size(), 4);
        QCOMPARE(storedValue(path_, ref, "Descripcion"), old + " ROTO");
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Browse);
    }

    // The row written is the one read: when it has gone meanwhile (here its
    // key was changed behind the window's back), the user is told and
    // nothing else is written.
    void vanishedRowIsReported() {
        PRECIOS_NEEDS_MDB_EXPORT();
        typeSearch(*form_, QStringLiteral("ARTICULO DE PRUEBA"));
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("Z"));
        form_->model.conexion.route().execute(
            QStringLiteral("UPDATE [Articulos] SET [Referencia] = 'PRUEBA9' WHERE [Referencia] "
                           "= 'PRUEBA1'"),
            {});
        const int writes = faults_->writes;
        form_->BTGuardar->click();
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY(prompter_.reports.first().contains(QStringLiteral("no longer exists")));
        QCOMPARE(faults_->writes, writes);
        QCOMPARE(storedValue(path_, "PRUEBA9", "Descripcion"),
                 QStringLiteral("ARTICULO DE PRUEBA IVA 21"));
        QCOMPARE(form_->model.ARTICULOS.state(), db::DatasetState::Edit);
    }

  private:
    QTemporaryDir dir_;
    QString path_;
    QuietPrompter prompter_;
    std::shared_ptr<RouteFaults> faults_;
    std::unique_ptr<TForm1> form_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    useCommaLocale();
    BrowseRecordTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "browse_record_test.moc"
