// The store model: datasets, declared fields and the selection sequence.
#include "store_model.h"

#include <initializer_list>

#include "search_statement.h"

namespace store {

namespace {

using db::FieldType;

struct FieldDecl {
    const char16_t* name;
    FieldType type;
    int size;
};

constexpr FieldType T = FieldType::Text;
constexpr FieldType I32 = FieldType::Int32;
constexpr FieldType I16 = FieldType::Int16;
constexpr FieldType D = FieldType::Double;
constexpr FieldType B = FieldType::Boolean;
constexpr FieldType DT = FieldType::DateTime;
constexpr FieldType M = FieldType::Memo;

void declare(db::Dataset& ds, std::initializer_list<FieldDecl> fields) {
    for (const FieldDecl& f : fields) ds.addField(QString::fromUtf16(f.name), f.type, f.size);
}

}  // namespace

void declareArticulosListFields(db::Dataset& qarticulos) {
    declare(qarticulos,
            {{u"referencia", T, 25}, {u"descripcion", T, 60}, {u"Tipo Impuesto", I32, 0}});
}

// One field a line, as the tables are laid out.
// clang-format off
void declareArticulosFields(db::Dataset& ARTICULOS) {
    declare(ARTICULOS, {
        {u"Referencia", T, 25},
        {u"Descripcion", T, 60},
        {u"Familia", I32, 0},
        {u"Tipo Impuesto", I32, 0},
        {u"Proveedor 1", I32, 0},
        {u"Proveedor 2", I32, 0},
        {u"Proveedor 3", I32, 0},
        {u"Descripcion Corta", T, 25},
        {u"No Actualizar Stock", B, 0},
        {u"Ubicacion", T, 40},
        {u"Stock", D, 0},
        {u"Stock Minimo", D, 0},
        {u"Stock Inicial", D, 0},
        {u"Stock Maximo", D, 0},
        {u"Stock Optimo", D, 0},
        {u"Minimo Vender", D, 0},
        {u"Minimo Comprar", D, 0},
        {u"Referencia Proveedor", T, 25},
        {u"No Avisar Stock", B, 0},
        {u"PVP 1", D, 0},
        {u"PVP 2", D, 0},
        {u"PVP 3", D, 0},
        {u"PVP 4", D, 0},
        {u"PVP 5", D, 0},
        {u"PVP 6", D, 0},
        {u"PVP 7", D, 0},
        {u"PVP 8", D, 0},
        {u"PVP 9", D, 0},
        {u"Observaciones", M, 0},
        {u"Archivo Imagen", T, 100},
        {u"Oferta", I32, 0},
        {u"Medida", D, 0},
        {u"Unidad Medida", T, 15},
        {u"Peso", D, 0},
        {u"Tabla Descuento", I32, 0},
        {u"Fecha Alta", DT, 0},
        {u"Fecha Caducidad", DT, 0},
        {u"Dias Garantia", I32, 0},
        {u"Unidades Bulto", I32, 0},
        {u"Precio Medio Compra", D, 0},
        {u"Ultimo Precio Compra", D, 0},
        {u"Beneficio PVP 1", D, 0},
        {u"Beneficio PVP 2", D, 0},
        {u"Beneficio PVP 3", D, 0},
        {u"Beneficio PVP 4", D, 0},
        {u"Beneficio PVP 5", D, 0},
        {u"Beneficio PVP 6", D, 0},
        {u"Beneficio PVP 7", D, 0},
        {u"Beneficio PVP 8", D, 0},
        {u"Beneficio PVP 9", D, 0},
        {u"Compuesto", B, 0},
        {u"Preguntar Precio", B, 0},
        {u"Modificar Descripcion", B, 0},
        {u"Articulo Bascula", B, 0},
        {u"Web", T, 50},
        {u"Minimo Vender TPV", D, 0},
        {u"Descripcion Centrada", B, 0},
        {u"Subrayado", B, 0},
        {u"Cursiva", B, 0},
        {u"Negrita", B, 0},
        {u"Tama\u00f1o", I16, 0},
        {u"Fuente", T, 30},
        {u"Color Texto", I32, 0},
        {u"Color Fondo", I32, 0},
        {u"Referencia Proveedor 2", T, 25},
        {u"Referencia Proveedor 3", T, 25},
        {u"Precio Compra Proveedor 1", D, 0},
        {u"Precio Compra Proveedor 2", D, 0},
        {u"Precio Compra Proveedor 3", D, 0},
        {u"CompraRE", B, 0},
        {u"Cliente", T, 50},
        {u"PrecioTalla", B, 0},
        {u"ImprimirFicha", B, 0},
        {u"Margen Venta", D, 0},
        {u"Tipo Margen Venta", T, 1},
        {u"Orden", I32, 0},
        {u"Trazabilidad", B, 0},
    });
    for (const char* name : {"PVP 1", "PVP 2", "Precio Compra Proveedor 1"})
        ARTICULOS.field(QString::fromLatin1(name)).setDisplayFormat(kPriceFormat);
}

void declareImpuestosFields(db::Dataset& qimpuestos) {
    declare(qimpuestos, {{u"Codigo", I32, 0},
                         {u"Nombre", T, 40},
                         {u"IVA", D, 0},
                         {u"Recargo", D, 0},
                         {u"Observaciones", M, 0}});
}

void declareProveedoresFields(db::Dataset& qproveedores) {
    declare(qproveedores, {
        {u"Codigo", I32, 0},
        {u"Razon Social", T, 40},
        {u"Tipo Proveedor", T, 40},
        {u"Titular", T, 40},
        {u"Domicilio", T, 40},
        {u"Codigo Postal", I32, 0},
        {u"Poblacion", T, 40},
        {u"Provincia", T, 25},
        {u"Pais", T, 25},
        {u"Telefono 1", T, 17},
        {u"Telefono 2", T, 17},
        {u"Fax", T, 17},
        {u"E-Mail", T, 50},
        {u"NIF", T, 15},
        {u"Web", T, 50},
        {u"Codigo Cliente", T, 12},
        {u"Persona Contacto", T, 40},
        {u"Telefono Contacto", T, 17},
        {u"Archivo Imagen", T, 100},
        {u"Observaciones", M, 0},
        {u"Tabla Descuento", I32, 0},
        {u"Descuento PP", D, 0},
        {u"Impuestos", T, 1},
        {u"Forma de Pago", I32, 0},
        {u"Dia Pago 1", I16, 0},
        {u"Dia Pago 2", I16, 0},
        {u"Banco", T, 40},
        {u"Domicilio Banco", T, 40},
        {u"Codigo Postal Banco", I32, 0},
        {u"Poblacion Banco", T, 40},
        {u"Provincia Banco", T, 25},
        {u"Pais Banco", T, 25},
        {u"Entidad", T, 4},
        {u"Sucursal", T, 4},
        {u"DC", T, 2},
        {u"Cuenta", T, 10},
        {u"Portes", T, 1},
        {u"Domicilio Envio", T, 40},
        {u"Codigo Postal Envio", I32, 0},
        {u"Poblacion Envio", T, 40},
        {u"Provincia Envio", T, 25},
        {u"Pais Envio", T, 25},
        {u"Antiguedad", DT, 0},
        {u"Riesgo", D, 0},
        {u"Aviso", T, 40},
        {u"Campo Libre 1", T, 50},
        {u"Campo Libre 2", T, 50},
        {u"Campo Libre 3", T, 50},
        {u"IBAN", T, 4},
        {u"Margen Venta", D, 0},
    });
}

// clang-format on

StoreModel::StoreModel(db::Connection::RouteFactory factory) {
    if (factory) conexion.setRouteFactory(std::move(factory));
    // As laid out: the driver line only, no file yet.
    conexion.setParams({QStringLiteral("DriverID=MSAcc")});

    qarticulos.setSql(browse::listStatement());
    declareArticulosListFields(qarticulos);

    ARTICULOS.setTable(QStringLiteral("Articulos"), QStringLiteral("Referencia"));
    ARTICULOS.setMaster(&dsqarticulos, QStringLiteral("referencia"), QStringLiteral("Referencia"));
    declareArticulosFields(ARTICULOS);

    qimpuestos.setSql({kImpuestosStatement});
    declareImpuestosFields(qimpuestos);

    qproveedores.setSql({kProveedoresStatement});
    declareProveedoresFields(qproveedores);
    // qcambiartickets: no statement and no fields of its own; the ticket
    // handler fills and executes it.
}

SelectionResult runSelection(StoreModel& m, const QString& prefix, const SelectionSeams& seams) {
    try {
        const std::optional<QString> chosen = seams.chooseFile(m.abrircarpetaFileName);
        if (!chosen) return SelectionResult::Cancelled;
        m.abrircarpetaFileName = *chosen;

        // A pending item edit belongs to the database it was made on: write
        // it there first, as a move in the list would. If that fails, the
        // old database stays open with the edit still pending.
        m.ARTICULOS.settle();

        m.conexion.clearParams();  // closes the connection and every dataset
        m.conexion.addParam(QStringLiteral("DriverID=MSAcc"));
        m.conexion.addParam(QStringLiteral("Database=") + *chosen);
        m.conexion.connect();
        m.qarticulos.open();
        m.qimpuestos.open();
        m.qproveedores.open();
        m.ARTICULOS.open();
        if (seams.focusSearch) seams.focusSearch();
        return SelectionResult::Opened;
    } catch (const precios::Error& e) {
        seams.showMessage(prefix + QString::fromStdString(e.message()));
        return SelectionResult::Failed;
    }
}

}  // namespace store
