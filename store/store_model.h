// The store database model: the connection `conexion`, the five datasets of
// the store tables with their declared fields, the four data sources, and
// the selection sequence that chooses the file and opens the data.
//
// Ownership: a StoreModel owns every component; the window owns the model.
// Members are declared so that data sources go first and the connection last
// when it is destroyed, dropping (never writing) any pending edit.
// Threads: the user-interface thread only.
// Errors: the selection sequence traps precios::Error and shows it behind
// the caller's prefix; everything else propagates.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "db/db.h"

namespace store {

inline const QString kImpuestosStatement =
    QStringLiteral("select * from [Tipos de Impuestos] order by [Codigo]");
inline const QString kProveedoresStatement =
    QStringLiteral("select * from proveedores order by [Razon Social]");
// The display format of the three price fields.
inline const QString kPriceFormat = QStringLiteral("#0.0000000");

// Error prefixes of the two callers of the selection sequence.
inline const QString kFormShowPrefix = QStringLiteral("Error al conectar: ");
inline const QString kButton2Prefix = QStringLiteral("Error al abrir la base de datos: ");

class StoreModel {
  public:
    // `factory` replaces the connection's route choice (tests); empty keeps
    // the default (ODBC with an Access driver, else the embedded engine).
    explicit StoreModel(db::Connection::RouteFactory factory = {});
    StoreModel(const StoreModel&) = delete;
    StoreModel& operator=(const StoreModel&) = delete;

    db::Connection conexion{QStringLiteral("conexion")};
    db::Dataset qarticulos{QStringLiteral("qarticulos"), &conexion};
    db::Dataset ARTICULOS{QStringLiteral("ARTICULOS"), &conexion};
    db::Dataset qimpuestos{QStringLiteral("qimpuestos"), &conexion};
    db::Dataset qproveedores{QStringLiteral("qproveedores"), &conexion};
    db::Dataset qcambiartickets{QStringLiteral("qcambiartickets"), &conexion};
    db::DataSource DSARTICULOS{QStringLiteral("DSARTICULOS"), &ARTICULOS};
    db::DataSource dsqarticulos{QStringLiteral("dsqarticulos"), &qarticulos};
    db::DataSource dsimpuestos{QStringLiteral("dsimpuestos"), &qimpuestos};
    db::DataSource dsqproveedores{QStringLiteral("dsqproveedores"), &qproveedores};

    // The file name of the open-file dialog `abrircarpeta`: the path chosen
    // last in this run, offered again the next time the dialog opens.
    QString abrircarpetaFileName;
};

// The declared fields of each dataset, in declaration order (they replace
// any fields the dataset has).
void declareArticulosListFields(db::Dataset& qarticulos);
void declareArticulosFields(db::Dataset& ARTICULOS);
void declareImpuestosFields(db::Dataset& qimpuestos);
void declareProveedoresFields(db::Dataset& qproveedores);

// What the selection sequence needs from the window. The dialog is modal
// with one filter entry "mdb" for *.mdb, the read-only box hidden, one file
// that need not exist; it receives the last chosen path and returns the new
// one, or nothing when the user cancels.
struct SelectionSeams {
    std::function<std::optional<QString>(const QString& lastPath)> chooseFile;
    std::function<void(const QString& text)> showMessage;  // the message box
    std::function<void()> focusSearch;                     // focus to ebuscar
};

enum class SelectionResult {
    Cancelled,  // nothing changed
    Opened,     // connected, the four datasets open
    Failed,     // a message was shown; see the datasets for how far it got
};

// The selection sequence run by FormShow (kFormShowPrefix) and Button2Click
// (kButton2Prefix): choose the file, write a pending item edit to the old
// database (if that fails the switch does not happen), set the two
// parameters, connect, open qarticulos, qimpuestos, qproveedores and
// ARTICULOS in that order, focus the search box. An error of the error base
// type ends it with prefix + message; datasets opened before stay open.
SelectionResult runSelection(StoreModel& model, const QString& prefix, const SelectionSeams& seams);

}  // namespace store
