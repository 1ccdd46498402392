// One whole working session in the real window, as a person would do it, for
// memory checkers (fuzz/run_valgrind.sh runs it under valgrind memcheck):
// the window opens the demo store through its own selection sequence (the
// file dialog answered by the prompter), a search is typed key by key, the
// grid is walked with the arrow keys, an edit of the item record is dropped
// with "Cancelar" and another saved with "Guardar", a refused number is
// reported, new prices are simulated and stored with "Aplicar Cambios", a
// date range of tickets is marked with "Cambiar Estado", the file is opened
// again with "Seleccionar Base de Datos", and the window is closed, which
// ends the event loop as it ends the program.
//
// The file is then read back through a fresh engine instance; any step that
// did not happen makes the program fail (exit code 1, the reasons on
// stderr). It is no ctest test: under valgrind it takes far longer than the
// window tests may.
//
//   window_session [folder]   (default: a temporary folder, removed after)
#include <QDate>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "application.h"
#include "jet/jet.h"
#include "price_ops.h"
#include "quiet_prompter.h"
#include "store_content.h"
#include "tform1.h"

namespace {

// The search typed into ebuscar; the demo store has a handful of items
// whose description holds it, the test item among them.
const QString kSearch = QStringLiteral("ARTICULO");
const QString kItem = QStringLiteral("PRUEBA1");
const QString kShortDescription = QStringLiteral("SESION");
const QString kDescriptionTail = QStringLiteral(" REVISADO");
const QString kNewPurchasePrice = QStringLiteral("20");
const QDate kFrom(2024, 3, 5);
const QDate kTo(2024, 4, 12);

// A step that did not do what it should ends the session.
void expect(bool ok, const QString& what) {
    if (!ok) throw precios::Error(what.toStdString());
}

QString text(const jet::Value& value) {
    if (const auto* s = std::get_if<std::u16string>(&value.v)) return QString::fromStdU16String(*s);
    return {};
}

std::optional<QString> optionalText(const jet::Value& value) {
    if (value.isNull()) return std::nullopt;
    return text(value);
}

double number(const jet::Value& value) {
    if (const auto* d = std::get_if<double>(&value.v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&value.v)) return double(*i);
    return std::nan("");
}

// The rows of `sql`, read by an engine instance of its own.
std::vector<std::vector<jet::Value>> readBack(const QString& path, const std::string& sql) {
    auto database = jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly);
    auto cursor = database->query(sql, {});
    std::vector<std::vector<jet::Value>> rows;
    while (cursor->next()) rows.push_back(cursor->row());
    return rows;
}

struct Item {
    QString description;
    QString shortDescription;
    double pvp1 = 0;
    double pvp2 = 0;
    double purchase = 0;
};

Item readItem(const QString& path) {
    const auto rows = readBack(path,
                               "select Descripcion, [Descripcion Corta], [PVP 1], [PVP 2], "
                               "[Precio Compra Proveedor 1] from Articulos where Referencia = '" +
                                   kItem.toStdString() + "'");
    expect(rows.size() == 1, QStringLiteral("%1 is not in the store once").arg(kItem));
    return {text(rows[0][0]), text(rows[0][1]), number(rows[0][2]), number(rows[0][3]),
            number(rows[0][4])};
}

// Each ticket's status columns and date, by series and number.
struct Ticket {
    double fecha = 0;  // days since 1899-12-30
    std::optional<QString> documento;
    std::optional<QString> formaDePago;
};
using Tickets = std::map<std::pair<QString, std::int64_t>, Ticket>;

Tickets readTickets(const QString& path) {
    Tickets tickets;
    for (const auto& row : readBack(path,
                                    "select Serie, Numero, Fecha, Documento, [Forma de Pago] "
                                    "from [Cabecera Tickets de Venta]")) {
        Ticket t;
        if (const auto* date = std::get_if<jet::DateTime>(&row[2].v)) t.fecha = date->days;
        t.documento = optionalText(row[3]);
        t.formaDePago = optionalText(row[4]);
        tickets[{text(row[0]), std::get<std::int64_t>(row[1].v)}] = t;
    }
    return tickets;
}

double oleDays(const QDate& date) { return double(QDate(1899, 12, 30).daysTo(date)); }

// The statement compares with the dates at midnight, as Access does.
bool inRange(const Ticket& ticket) {
    return ticket.fecha >= oleDays(kFrom) && ticket.fecha <= oleDays(kTo);
}

// References of the items whose description holds kSearch, in any case.
QStringList referencesMatching(const QString& path) {
    QStringList refs;
    for (const auto& row : readBack(path, "select Referencia, Descripcion from Articulos")) {
        if (text(row[1]).contains(kSearch, Qt::CaseInsensitive)) refs.append(text(row[0]));
    }
    refs.sort();
    return refs;
}

double parseShown(const QString& shown) {
    bool ok = false;
    const double value = QLocale().toDouble(shown, &ok);
    expect(ok, QStringLiteral("'%1' is not a number in the window's locale").arg(shown));
    return value;
}

class Session {
  public:
    Session(TForm1& form, testing_support::QuietPrompter& prompter)
        : form_(form), prompter_(prompter) {}

    void run() {
        opened();
        search();
        walkTheGrid();
        cancelAnEdit();
        editTheRecord();
        refusedNumber();
        applyPrices();
        changeTicketStatus();
        expect(prompter_.reports.isEmpty(),
               QStringLiteral("errors reported: ") + prompter_.reports.join(QStringLiteral("; ")));
        reopen();
    }

    QStringList listed;        // the references the search listed
    double shownPvp1 = 0;      // spvp1base after the simulation
    double surcharge = 0;      // Edit2 when "Aplicar Cambios" was pressed
    int ticketsReported = -1;  // the count in the completion message
    QString route;             // the kind of route the window chose

  private:
    void opened() {
        expect(QTest::qWaitForWindowActive(&form_),
               QStringLiteral("the window never became active"));
        expect(prompter_.filesChosen == 1, QStringLiteral("the file dialog was not asked once"));
        expect(form_.model.qarticulos.isActive() && form_.model.ARTICULOS.isActive() &&
                   form_.model.qimpuestos.isActive() && form_.model.qproveedores.isActive(),
               QStringLiteral("the selection sequence did not open the datasets"));
        expect(focused() == form_.ebuscar, QStringLiteral("the focus is not in the search box"));
        route = form_.model.conexion.currentRoute()->kind();
    }

    // The search typed key by key (every key re-reads the list), then a
    // tail that matches nothing, taken back with Backspace.
    void search() {
        typeSearch(kSearch);
        QTest::keyClicks(form_.ebuscar, QStringLiteral(" ZZ"));
        expect(form_.model.qarticulos.recordCount() == 0 && form_.DBEdit4->text().isEmpty(),
               QStringLiteral("a search that matches nothing still shows an item"));
        for (int i = 0; i < 3; ++i) QTest::keyClick(form_.ebuscar, Qt::Key_Backspace);
        expect(form_.ebuscar->text() == kSearch, QStringLiteral("the search box did not take it"));
        db::Dataset& list = form_.model.qarticulos;
        listed.clear();
        list.fetchAll();
        const int column = list.field(QStringLiteral("referencia")).index();
        for (int row = 0; row < list.recordCount(); ++row)
            listed.append(list.rowValue(row, column).toString());
        expect(listed.size() >= 3, QStringLiteral("the search listed %1 items").arg(listed.size()));
        expect(listed.contains(kItem), QStringLiteral("the search did not list ") + kItem);
    }

    // Down to the last listed item and back up to the test item, one key at
    // a time; the record follows the grid at every step.
    void walkTheGrid() {
        form_.DBGrid1->setFocus(Qt::TabFocusReason);
        db::Dataset& list = form_.model.qarticulos;
        for (int row = 1; row < listed.size(); ++row) {
            QTest::keyClick(form_.DBGrid1, Qt::Key_Down);
            expectRecordAt(row);
        }
        const int target = int(listed.indexOf(kItem));
        while (list.currentRow() > target) {
            QTest::keyClick(form_.DBGrid1, Qt::Key_Up);
            expectRecordAt(list.currentRow());
        }
        expectRecordAt(target);
    }

    void expectRecordAt(int row) {
        const int current = form_.model.qarticulos.currentRow();
        expect(current == row,
               QStringLiteral("the grid is on row %1, not %2").arg(current).arg(row));
        expect(form_.DBEdit4->text() == listed[row],
               QStringLiteral("the record shows %1 on row %2").arg(form_.DBEdit4->text()).arg(row));
    }

    // Typing starts an edit; "Cancelar" drops it and the box shows the
    // stored text again.
    void cancelAnEdit() {
        const QString stored = form_.DBEdit5->text();
        form_.DBEdit5->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(form_.DBEdit5, Qt::Key_End);
        QTest::keyClicks(form_.DBEdit5, QStringLiteral("XYZ"));
        expect(form_.BTCancelar->isEnabled(), QStringLiteral("typing did not start an edit"));
        QTest::mouseClick(form_.BTCancelar, Qt::LeftButton);
        expect(form_.model.ARTICULOS.state() == db::DatasetState::Browse &&
                   form_.DBEdit5->text() == stored,
               QStringLiteral("\"Cancelar\" did not drop the edit"));
    }

    // Typing in two boxes starts the edit; "Guardar" writes it.
    void editTheRecord() {
        form_.DBEdit5->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(form_.DBEdit5, Qt::Key_End);
        QTest::keyClicks(form_.DBEdit5, kDescriptionTail);
        form_.DBEdit7->setFocus(Qt::MouseFocusReason);
        form_.DBEdit7->selectAll();
        QTest::keyClicks(form_.DBEdit7, kShortDescription);
        expect(form_.BTGuardar->isEnabled(), QStringLiteral("typing did not start an edit"));
        QTest::mouseClick(form_.BTGuardar, Qt::LeftButton);
        expect(form_.model.ARTICULOS.state() == db::DatasetState::Browse,
               QStringLiteral("\"Guardar\" left the record editing"));
        expect(!form_.BTGuardar->isEnabled(), QStringLiteral("\"Guardar\" is still enabled"));
    }

    // A discount typed with a point (Edit1 has no comma rule) is refused
    // when the list price box is left: the error report, nothing else.
    void refusedNumber() {
        goToEdit1();
        form_.Edit1->selectAll();
        QTest::keyClicks(form_.Edit1, QStringLiteral("2.5"));
        QTest::keyClick(form_.Edit1, Qt::Key_Tab);
        expect(focused() == form_.spcbasesd,
               QStringLiteral("Tab from Edit1 did not reach spcbasesd"));
        const QString purchase = form_.spcbase->text();
        QTest::keyClicks(form_.spcbasesd, QStringLiteral("100"));
        QTest::keyClick(form_.spcbasesd, Qt::Key_Tab);
        expect(prompter_.reports.size() == 1 &&
                   prompter_.reports.first().startsWith(QStringLiteral("'2.5' is not a valid")),
               QStringLiteral("the refused discount was not reported"));
        expect(form_.spcbase->text() == purchase,
               QStringLiteral("a refused discount changed spcbase"));
        prompter_.reports.clear();
        form_.Edit1->setText(QStringLiteral("0"));
        form_.spcbasesd->clear();
    }

    // A new purchase price typed into the simulation, leaving the box with
    // Tab (the sale price follows at the item's margin), then the press.
    void applyPrices() {
        goToEdit1();
        form_.spcbase->setFocus(Qt::OtherFocusReason);
        form_.spcbase->selectAll();
        QTest::keyClicks(form_.spcbase, kNewPurchasePrice);
        const QString before = form_.spvp1base->text();
        QTest::keyClick(form_.spcbase, Qt::Key_Tab);
        expect(form_.spvp1base->text() != before,
               QStringLiteral("leaving spcbase did not recalculate spvp1base"));
        shownPvp1 = parseShown(form_.spvp1base->text());
        surcharge = parseShown(form_.Edit2->text());
        goToEdit1();
        QTest::mouseClick(form_.Button1, Qt::LeftButton);
        expect(form_.model.ARTICULOS.state() == db::DatasetState::Browse,
               QStringLiteral("\"Aplicar Cambios\" left the record editing"));
        expect(form_.Edit1->text() == QStringLiteral("0") && form_.spcbasesd->text().isEmpty(),
               QStringLiteral("\"Aplicar Cambios\" did not reset the discount boxes"));
        expect(focused() == form_.ebuscar,
               QStringLiteral("\"Aplicar Cambios\" did not return to the search box"));
    }

    // "Seleccionar Base de Datos" on the same file: the connection is made
    // anew and the window reads what the session stored.
    void reopen() {
        goToEdit1();
        QTest::mouseClick(form_.Button2, Qt::LeftButton);
        expect(prompter_.filesChosen == 2, QStringLiteral("the file dialog was not asked again"));
        expect(form_.model.qarticulos.isActive() && form_.model.ARTICULOS.isActive(),
               QStringLiteral("reopening did not open the datasets"));
        form_.ebuscar->clear();
        typeSearch(kSearch);
        db::Dataset& list = form_.model.qarticulos;
        list.fetchAll();
        const int column = list.field(QStringLiteral("referencia")).index();
        for (int row = 0; row < list.recordCount(); ++row) {
            if (list.rowValue(row, column).toString() == kItem) list.moveTo(row);
        }
        expect(form_.DBEdit4->text() == kItem && form_.DBEdit7->text() == kShortDescription,
               QStringLiteral("after reopening the record shows %1 '%2'")
                   .arg(form_.DBEdit4->text(), form_.DBEdit7->text()));
        expect(prompter_.reports.isEmpty(),
               QStringLiteral("errors reported: ") + prompter_.reports.join(QStringLiteral("; ")));
    }

    void typeSearch(const QString& search) {
        form_.ebuscar->setFocus(Qt::OtherFocusReason);
        for (const QChar c : search) QTest::keyClick(form_.ebuscar, char(c.unicode()));
    }

    // The discount box, reached through the leave rules of the search box
    // and the grid.
    void goToEdit1() {
        for (int i = 0; i < 3 && focused() != form_.Edit1; ++i)
            form_.Edit1->setFocus(Qt::OtherFocusReason);
        expect(focused() == form_.Edit1, QStringLiteral("the focus does not reach Edit1"));
    }

    void changeTicketStatus() {
        form_.dfecha->setDate(kFrom);
        form_.hfecha->setDate(kTo);
        // Leaving the search box moves the focus on and swallows the click,
        // so the click comes from Edit1, which has no leave rule.
        goToEdit1();
        // On the box itself: the control is wider than its caption.
        QTest::mouseClick(form_.cfacturar, Qt::LeftButton, {},
                          QPoint(6, form_.cfacturar->height() / 2));
        expect(form_.cfacturar->isChecked(), QStringLiteral("cfacturar did not check"));
        prompter_.messages.clear();
        QTest::mouseClick(form_.Button3, Qt::LeftButton);
        expect(
            prompter_.messages.size() == 1,
            QStringLiteral("\"Cambiar Estado\" showed %1 messages").arg(prompter_.messages.size()));
        const QString prefix = QStringLiteral("Proceso completado. Tickets modificados: ");
        const QString& shown = prompter_.messages.first();
        expect(shown.startsWith(prefix), QStringLiteral("unexpected message: ") + shown);
        bool ok = false;
        ticketsReported = shown.mid(prefix.size()).toInt(&ok);
        expect(ok, QStringLiteral("no count in: ") + shown);
        expect(!form_.cfacturar->isChecked(), QStringLiteral("cfacturar is still checked"));
    }

    QWidget* focused() const { return form_.controlOf(QApplication::focusWidget()); }

    TForm1& form_;
    testing_support::QuietPrompter& prompter_;
};

// What the file must hold after the session, against what it held before.
void checkStored(const QString& path, const Item& before, const Tickets& ticketsBefore,
                 const Session& session) {
    const Item after = readItem(path);
    expect(after.description == before.description + kDescriptionTail,
           QStringLiteral("stored description: ") + after.description);
    expect(after.shortDescription == kShortDescription,
           QStringLiteral("stored short description: ") + after.shortDescription);
    expect(after.purchase == kNewPurchasePrice.toDouble(),
           QStringLiteral("stored purchase price: %1").arg(after.purchase));
    expect(std::fabs(after.pvp1 - session.shownPvp1) < 1e-7,
           QStringLiteral("stored PVP 1 %1, shown %2").arg(after.pvp1).arg(session.shownPvp1));
    // The simulation keeps the item's margin.
    const double oldMargin = before.pvp1 / before.purchase;
    expect(std::fabs(after.pvp1 / after.purchase - oldMargin) < 1e-6,
           QStringLiteral("the margin changed: %1 -> %2")
               .arg(oldMargin)
               .arg(after.pvp1 / after.purchase));
    expect(after.pvp2 == pricing::SecondRetailPrice(after.pvp1, session.surcharge),
           QStringLiteral("stored PVP 2: %1").arg(after.pvp2));

    const Tickets ticketsAfter = readTickets(path);
    expect(ticketsAfter.size() == ticketsBefore.size(), QStringLiteral("tickets were lost"));
    int reached = 0;
    for (const auto& [key, old] : ticketsBefore) {
        const auto found = ticketsAfter.find(key);
        expect(found != ticketsAfter.end(), QStringLiteral("a ticket is missing"));
        const Ticket& now = found->second;
        const QString name = key.first + QString::number(key.second);
        if (inRange(old)) {
            ++reached;
            expect(now.formaDePago == QStringLiteral("Facturado") && now.documento == QString(),
                   QStringLiteral("ticket %1 in the range was not marked").arg(name));
        } else {
            expect(now.formaDePago == old.formaDePago && now.documento == old.documento,
                   QStringLiteral("ticket %1 outside the range changed").arg(name));
        }
    }
    expect(reached > 0, QStringLiteral("no ticket in the date range"));
    expect(session.ticketsReported == reached,
           QStringLiteral("%1 tickets reported, %2 in the range")
               .arg(session.ticketsReported)
               .arg(reached));
}

}  // namespace

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    // Price texts are typed and read with a decimal comma, as in the store.
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));

    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString path = folder + QStringLiteral("/tienda.mdb");
    try {
        jet::store::writeStore(path.toStdString(), jet::store::demoOptions());
        const Item itemBefore = readItem(path);
        const Tickets ticketsBefore = readTickets(path);
        const QStringList matching = referencesMatching(path);

        testing_support::QuietPrompter prompter(path);
        precios::setPrompter(&prompter);
        std::optional<Session> session;
        QString failure;
        {
            // The window chooses its route itself, as the program does (the
            // embedded engine unless an Access ODBC driver is installed).
            TForm1 form;
            session.emplace(form, prompter);
            // The session runs inside the event loop, as the user's input
            // would; closing the window ends the loop.
            QTimer::singleShot(0, &form, [&] {
                try {
                    session->run();
                } catch (const std::exception& error) {
                    failure = QString::fromUtf8(error.what());
                }
                form.close();
            });
            form.show();  // FormShow: the selection sequence
            const int code = app.exec();
            expect(code == 0, QStringLiteral("the event loop ended with %1").arg(code));
        }
        precios::setPrompter(nullptr);
        expect(failure.isEmpty(), failure);
        QStringList listed = session->listed;
        listed.sort();
        expect(listed == matching, QStringLiteral("the search listed %1, the file holds %2")
                                       .arg(listed.join(u','), matching.join(u',')));
        checkStored(path, itemBefore, ticketsBefore, *session);
        std::printf(
            "window session (%s route): %d items listed, %d tickets marked, prices and record "
            "stored\n",
            qPrintable(session->route), int(listed.size()), session->ticketsReported);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "window session FAILED: %s\n", error.what());
        return 1;
    }
}
