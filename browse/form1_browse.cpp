// TForm1 handlers of item browsing: the search box, the item record's state
// and the "Guardar" / "Cancelar" buttons, and the binding of the grid, the
// record's edit boxes and the lookup combos to their data sources.
#include "application.h"
#include "db/widget_errors.h"
#include "search_statement.h"
#include "tform1.h"

void TForm1::bindBrowse() {
    // Errors raised inside the bound controls (a move of the grid whose
    // pending edit cannot be written, a refused value) reach the report.
    db::setWidgetErrorSink([](const precios::Error& error) { precios::reportError(error); });

    DBGrid1->setDataSource(&model.dsqarticulos);
    DBGrid1->setColumns({{QStringLiteral("referencia"), QStringLiteral("Ref."), 50},
                         {QStringLiteral("descripcion"), QStringLiteral("Descripción"), 272}});

    const std::pair<db::DbEdit*, const char*> boxes[] = {
        {DBEdit4, "Referencia"},
        {DBEdit5, "Descripcion"},
        {DBEdit7, "Descripcion Corta"},
        {DBEdit8, "Precio Compra Proveedor 1"},
        {DBEdit2, "PVP 1"},
    };
    for (const auto& [box, field] : boxes) {
        box->setDataSource(&model.DSARTICULOS);
        box->setDataField(QString::fromLatin1(field));
    }
    // Until the record opens the fields' lengths are unknown: the declared ones.
    DBEdit5->setMaxLength(60);
    DBEdit7->setMaxLength(25);

    DBLookupComboBox1->setKeyField(QStringLiteral("Codigo"));
    DBLookupComboBox1->setListField(QStringLiteral("Nombre"));
    DBLookupComboBox1->setListSource(&model.dsimpuestos);
    DBLookupComboBox1->setDataField(QStringLiteral("Tipo Impuesto"));
    DBLookupComboBox1->setDataSource(&model.DSARTICULOS);
    DBLookupComboBox1->setDropDownRows(7);

    DBLookupComboBox2->setKeyField(QStringLiteral("Codigo"));
    DBLookupComboBox2->setListField(QStringLiteral("Razon Social"));
    DBLookupComboBox2->setListSource(&model.dsqproveedores);
    DBLookupComboBox2->setDataField(QStringLiteral("Proveedor 1"));
    DBLookupComboBox2->setDataSource(&model.DSARTICULOS);
    DBLookupComboBox2->setDropDownRows(15);

    // Connected after the bound controls, so they are up to date first.
    connect(&model.DSARTICULOS, &db::DataSource::stateChanged, this,
            [this] { precios::runHandler([this] { DSARTICULOSStateChange(); }); });
    connect(BTGuardar, &QPushButton::clicked, this,
            [this] { precios::runHandler([this] { BTGuardarClick(); }); });
    connect(BTCancelar, &QPushButton::clicked, this,
            [this] { precios::runHandler([this] { BTCancelarClick(); }); });
}

// Every change of the search text re-reads the item list with a LIKE on the
// description (browse::searchStatement). Closing the list first settles a
// pending edit of the record; when that write fails the error leaves here and
// the list is not re-read.
void TForm1::ebuscarChange() {
    db::Dataset& list = model.qarticulos;
    list.close();
    list.setSql({browse::searchStatement(ebuscar->text())});
    list.open();
}

// "Guardar" and "Cancelar" are usable exactly while an edit is pending.
void TForm1::DSARTICULOSStateChange() {
    const db::DatasetState state = model.DSARTICULOS.state();
    const bool pending = state == db::DatasetState::Edit || state == db::DatasetState::Insert;
    BTGuardar->setEnabled(pending);
    BTCancelar->setEnabled(pending);
}

// Writes the pending edit now, as moving to another item would.
void TForm1::BTGuardarClick() { model.ARTICULOS.settle(); }

// Drops the pending edit, typing not yet handed over included; the controls
// show the stored values again.
void TForm1::BTCancelarClick() { model.ARTICULOS.cancel(); }
