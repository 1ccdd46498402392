// "Cambiar Estado" in the real window on copies of a generated store: the
// three modes over known date ranges, the count shown against the rows read
// back through the engine, and the failures that leave the boxes alone.
#include <QCursor>
#include <QDate>
#include <QLocale>
#include <QTest>
#include <map>
#include <memory>

#include "store_window_fixture.h"

using namespace testing_support;

namespace {

// One ticket's status columns, keyed by series and number.
struct Ticket {
    double fecha = 0;  // days since 1899-12-30
    std::optional<QString> documento;
    std::optional<QString> formaDePago;
    friend bool operator==(const Ticket&, const Ticket&) = default;
};
using Tickets = std::map<std::pair<QString, std::int64_t>, Ticket>;

std::optional<QString> optionalText(const jet::Value& value) {
    if (value.isNull()) return std::nullopt;
    return asText(value);
}

Tickets readTickets(const QString& path) {
    Tickets tickets;
    const auto rows = readBack(path,
                               "select Serie, Numero, Fecha, Documento, [Forma de Pago] "
                               "from [Cabecera Tickets de Venta]");
    for (const auto& row : rows) {
        Ticket t;
        if (const auto* date = std::get_if<jet::DateTime>(&row[2].v)) t.fecha = date->days;
        t.documento = optionalText(row[3]);
        t.formaDePago = optionalText(row[4]);
        tickets[{asText(row[0]), std::get<std::int64_t>(row[1].v)}] = t;
    }
    return tickets;
}

double oleDays(const QDate& date) { return double(QDate(1899, 12, 30).daysTo(date)); }

}  // namespace

class TicketsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        useCommaLocale();
        QVERIFY(dir_.isValid());
        precios::setPrompter(&prompter_);
    }
    void cleanup() {
        form_.reset();
        if (!readOnly_.isEmpty()) undoReadOnly(readOnly_);
        readOnly_.clear();
    }

    void modes_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<bool>("cfacturar");
        QTest::addColumn<bool>("cfacturados");
        QTest::addColumn<int>("expected");  // counted in the generated store
        const QDate march5(2024, 3, 5), april12(2024, 4, 12), june14(2024, 6, 14);
        const auto spring = ticketRange(march5, april12);
        const auto oneDay = ticketRange(june14, june14);
        QVERIFY(spring.notInvoiced > 0 && oneDay.notInvoiced > 0);
        QVERIFY(spring.inRange > spring.notInvoiced && oneDay.inRange > oneDay.notInvoiced);
        const int all = int(spring.inRange), notInvoiced = int(spring.notInvoiced);
        QTest::newRow("A invoiced") << march5 << april12 << true << false << all;
        QTest::newRow("A wins over B") << march5 << april12 << true << true << all;
        QTest::newRow("B all pending") << march5 << april12 << false << true << all;
        QTest::newRow("C not invoiced") << march5 << april12 << false << false << notInvoiced;
        QTest::newRow("A one day") << june14 << june14 << true << false << int(oneDay.inRange);
        QTest::newRow("C one day") << june14 << june14 << false << false << int(oneDay.notInvoiced);
        QTest::newRow("Desde after Hasta") << april12 << march5 << true << false << 0;
    }
    void modes() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(bool, cfacturar);
        QFETCH(bool, cfacturados);
        QFETCH(int, expected);
        const QString path = openCopy(QStringLiteral("modes.mdb"));
        const Tickets before = readTickets(path);
        form_->dfecha->setDate(from);
        form_->hfecha->setDate(to);
        form_->cfacturar->setChecked(cfacturar);
        form_->Cfacturados->setChecked(cfacturados);
        pressButton3();

        QVERIFY2(prompter_.reports.isEmpty(), qPrintable(prompter_.reports.join('\n')));
        QCOMPARE(prompter_.messages,
                 QStringList{
                     QStringLiteral("Proceso completado. Tickets modificados: %1").arg(expected)});
        QVERIFY(!form_->cfacturar->isChecked());
        QVERIFY(!form_->Cfacturados->isChecked());
        QCOMPARE(form_->dfecha->date(), from);
        QCOMPARE(form_->hfecha->date(), to);
        form_.reset();

        // Which rows the chosen statement should reach, and what they hold now.
        const Tickets after = readTickets(path);
        QCOMPARE(after.size(), before.size());
        const QString target =
            cfacturar ? QStringLiteral("Facturado") : QStringLiteral("Pendiente");
        int reached = 0;
        int needChange = 0;  // reached rows not already holding the new values
        int changed = 0;
        for (const auto& [key, old] : before) {
            const Ticket& now = after.at(key);
            const bool inRange = old.fecha >= oleDays(from) && old.fecha <= oleDays(to);
            const bool matches =
                inRange && (cfacturar || cfacturados ||
                            (old.formaDePago && *old.formaDePago != QStringLiteral("Facturado")));
            if (!(now == old)) ++changed;
            if (matches) {
                ++reached;
                if (old.formaDePago != target || old.documento != QString()) ++needChange;
                QCOMPARE(now.formaDePago, std::optional<QString>(target));
                QCOMPARE(now.documento, std::optional<QString>(QString()));
            } else {
                QVERIFY2(now == old, qPrintable(key.first + QString::number(key.second)));
            }
        }
        // The count shown is the database's: every row the statement reached,
        // also those that already held the new values.
        QCOMPARE(reached, expected);
        QCOMPARE(changed, needChange);
    }

    // An error ends the handler: no completion message, the boxes as they were.
    void errorsLeaveTheBoxes_data() {
        QTest::addColumn<QString>("fixture");
        QTest::newRow("no database chosen") << QString();
        QTest::newRow("read-only copy") << "store.mdb";
        QTest::newRow("no ticket table") << "store-no-tickets.mdb";
    }
    void errorsLeaveTheBoxes() {
        QFETCH(QString, fixture);
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QString path;
        if (!fixture.isEmpty()) {
            path = copyFixture(dir_, fixture, QStringLiteral("failing.mdb"));
            QVERIFY(openInWindow(*form_, path));
        }
        if (QTest::currentDataTag() == QStringLiteral("read-only copy")) {
            form_->model.conexion.close();
            readOnly_ = path;
            if (!makeReadOnly(path)) QSKIP("this file system cannot make the copy unwritable");
            form_->model.conexion.connect();
        }
        prompter_.clear();
        form_->cfacturar->setChecked(true);
        form_->Cfacturados->setChecked(true);
        pressButton3();
        QCOMPARE(prompter_.reports.size(), 1);
        QVERIFY(!prompter_.reports[0].isEmpty());
        QVERIFY(prompter_.messages.isEmpty());
        QVERIFY(form_->cfacturar->isChecked());
        QVERIFY(form_->Cfacturados->isChecked());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // The statement goes into qcambiartickets line by line, and runs under
    // the busy cursor, which is gone afterwards.
    void statementRunsUnderTheBusyCursor() {
        const QString path = copyFixture(dir_, QStringLiteral("store.mdb"), "busy.mdb");
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QStringList seen;
        form_->model.conexion.setRouteFactory([&seen] {
            return std::make_unique<ObservedRoute>([&seen](const QString& sql) {
                const QCursor* cursor = QApplication::overrideCursor();
                seen.append(cursor != nullptr && cursor->shape() == Qt::WaitCursor ? "busy" : "");
                seen.append(sql);
            });
        });
        form_->model.conexion.setParams({"DriverID=MSAcc", "Database=" + path});
        form_->dfecha->setDate(QDate(2024, 3, 5));
        form_->hfecha->setDate(QDate(2024, 4, 12));
        prompter_.clear();
        pressButton3();
        const QStringList lines{
            "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
            "[Cabecera Tickets de Venta].[Forma de Pago] = 'Pendiente'",
            " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#3/5/2024#)",
            " AND (([Cabecera Tickets de Venta].Fecha)<=#4/12/2024#)",
            " AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))"};
        QCOMPARE(form_->model.qcambiartickets.sql(), lines);
        QCOMPARE(seen, (QStringList{"busy", lines.join("\r\n")}));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(prompter_.messages, QStringList{completedNotInvoicedInSpring()});
    }

    // A file that could not be opened at the selection is reached when it
    // has become readable; the lists stay closed until the next selection.
    void fileReadableLater() {
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        const QString path = dir_.filePath(QStringLiteral("later.mdb"));
        QFile::remove(path);
        QVERIFY(!openInWindow(*form_, path));
        QCOMPARE(copyFixture(dir_, QStringLiteral("store.mdb"), QStringLiteral("later.mdb")), path);
        prompter_.clear();
        form_->dfecha->setDate(QDate(2024, 3, 5));
        form_->hfecha->setDate(QDate(2024, 4, 12));
        pressButton3();
        QVERIFY2(prompter_.reports.isEmpty(), qPrintable(prompter_.reports.join('\n')));
        QCOMPARE(prompter_.messages, QStringList{completedNotInvoicedInSpring()});
        QVERIFY(!form_->model.qarticulos.isActive());
        QVERIFY(!form_->model.ARTICULOS.isActive());
    }

  private:
    // What the generated store holds for the dates from..to (both inclusive
    // days; the statements take `to` at midnight).
    static jet::testing::TicketRange ticketRange(const QDate& from, const QDate& to) {
        return jet::testing::ticketRange(storePath(QStringLiteral("store.mdb")).toStdString(),
                                         oleDays(from), oleDays(to));
    }

    // The completion message of mode C from 2024-03-05 to 2024-04-12.
    static QString completedNotInvoicedInSpring() {
        return QStringLiteral("Proceso completado. Tickets modificados: %1")
            .arg(ticketRange(QDate(2024, 3, 5), QDate(2024, 4, 12)).notInvoiced);
    }

    // A press from the discount box, as after working on an item's prices.
    void pressButton3() {
        QVERIFY(focusEdit1(*form_));
        QTest::mouseClick(form_->Button3, Qt::LeftButton);
    }

    QString openCopy(const QString& name) {
        const QString path = copyFixture(dir_, QStringLiteral("store.mdb"), name);
        form_ = std::make_unique<TForm1>();
        form_->show();
        if (!QTest::qWaitForWindowActive(form_.get())) return {};
        if (!openInWindow(*form_, path)) return {};
        prompter_.clear();
        return path;
    }

    QTemporaryDir dir_;
    QuietPrompter prompter_;
    std::unique_ptr<TForm1> form_;
    QString readOnly_;  // made unwritable by the running test
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    TicketsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tickets_window_test.moc"
