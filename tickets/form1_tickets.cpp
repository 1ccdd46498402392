// TForm1 handler of the ticket status change.
#include <QApplication>
#include <QDate>

#include "application.h"
#include "tform1.h"
#include "ticket_statement.h"

namespace {

tickets::Date pickedDate(const QDate& date) { return {date.year(), date.month(), date.day()}; }

// The busy cursor while the statement runs; put back however the run ends.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

// Marks the tickets of the date range in one UPDATE. Nothing is caught: an
// error leaves both check boxes as they were and shows no completion message.
void TForm1::Button3Click() {
    const tickets::Date from = pickedDate(dfecha->date());
    const tickets::Date to = pickedDate(hfecha->date());
    const tickets::StatementMode mode =
        tickets::chooseMode(cfacturar->isChecked(), Cfacturados->isChecked());

    db::Dataset& query = model.qcambiartickets;
    query.sql().clear();
    for (const std::string& line : tickets::statementLines(mode, from, to)) {
        query.sql().append(QString::fromStdString(line));
    }
    {
        BusyCursor busy;
        query.execSQL();
    }
    cfacturar->setChecked(false);
    Cfacturados->setChecked(false);
    precios::showMessage(QString::fromStdString(tickets::CompletionMessage(query.rowsAffected())));
}
