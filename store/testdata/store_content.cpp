// Content of the generated store: word lists, special rows and the rules
// that turn a seed into items, suppliers and tickets.
#include "store_content.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <unordered_set>

#include "format/storage.h"

namespace jet::store {
namespace {

using T = ColumnType;

// ---- deterministic randomness ------------------------------------------------

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Inclusive range.
    int between(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }
    double unit() { return double(next() >> 11) / double(1ull << 53); }
    bool chance(double p) { return unit() < p; }
    template <class C>
    const auto& pick(const C& c) {
        return c[std::size_t(next() % std::size(c))];
    }
    template <class V>
    void shuffle(V& v) {
        for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[std::size_t(next() % i)]);
    }

  private:
    std::uint64_t state_;
};

// ---- values -------------------------------------------------------------

Value text(const std::string& utf8) { return Value(utf8ToUtf16(utf8)); }
Value integer(std::int64_t v) { return Value(v); }
Value real(double v) { return Value(v); }

double round(double v, int digits) {
    double f = std::pow(10.0, digits);
    return std::round(v * f) / f;
}

// OLE date of a civil date and time.
double oleDate(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = long(era) * 146097 + doe - 719468;  // since 1970-01-01
    return double(days + 25569) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}
Value date(double days) { return Value(DateTime{days}); }

// ---- columns ------------------------------------------------------------

struct BaseColumn {
    const char* name;
    ColumnType type;
    int length;
};

const BaseColumn kItemColumns[] = {
    {"Referencia", T::Text, 25},
    {"Descripcion", T::Text, 60},
    {"Familia", T::Long, 0},
    {"Tipo Impuesto", T::Long, 0},
    {"Proveedor 1", T::Long, 0},
    {"Proveedor 2", T::Long, 0},
    {"Proveedor 3", T::Long, 0},
    {"Descripcion Corta", T::Text, 25},
    {"No Actualizar Stock", T::Boolean, 0},
    {"Ubicacion", T::Text, 40},
    {"Stock", T::Double, 0},
    {"Stock Minimo", T::Double, 0},
    {"Stock Inicial", T::Double, 0},
    {"Stock Maximo", T::Double, 0},
    {"Stock Optimo", T::Double, 0},
    {"Minimo Vender", T::Double, 0},
    {"Minimo Comprar", T::Double, 0},
    {"Referencia Proveedor", T::Text, 25},
    {"No Avisar Stock", T::Boolean, 0},
    {"PVP 1", T::Double, 0},
    {"PVP 2", T::Double, 0},
    {"PVP 3", T::Double, 0},
    {"PVP 4", T::Double, 0},
    {"PVP 5", T::Double, 0},
    {"PVP 6", T::Double, 0},
    {"PVP 7", T::Double, 0},
    {"PVP 8", T::Double, 0},
    {"PVP 9", T::Double, 0},
    {"Observaciones", T::Memo, 0},
    {"Archivo Imagen", T::Text, 100},
    {"Oferta", T::Long, 0},
    {"Medida", T::Double, 0},
    {"Unidad Medida", T::Text, 15},
    {"Peso", T::Double, 0},
    {"Tabla Descuento", T::Long, 0},
    {"Fecha Alta", T::DateTime, 0},
    {"Fecha Caducidad", T::DateTime, 0},
    {"Dias Garantia", T::Long, 0},
    {"Unidades Bulto", T::Long, 0},
    {"Precio Medio Compra", T::Double, 0},
    {"Ultimo Precio Compra", T::Double, 0},
    {"Beneficio PVP 1", T::Double, 0},
    {"Beneficio PVP 2", T::Double, 0},
    {"Beneficio PVP 3", T::Double, 0},
    {"Beneficio PVP 4", T::Double, 0},
    {"Beneficio PVP 5", T::Double, 0},
    {"Beneficio PVP 6", T::Double, 0},
    {"Beneficio PVP 7", T::Double, 0},
    {"Beneficio PVP 8", T::Double, 0},
    {"Beneficio PVP 9", T::Double, 0},
    {"Compuesto", T::Boolean, 0},
    {"Preguntar Precio", T::Boolean, 0},
    {"Modificar Descripcion", T::Boolean, 0},
    {"Articulo Bascula", T::Boolean, 0},
    {"Web", T::Text, 50},
    {"Minimo Vender TPV", T::Double, 0},
    {"Descripcion Centrada", T::Boolean, 0},
    {"Subrayado", T::Boolean, 0},
    {"Cursiva", T::Boolean, 0},
    {"Negrita", T::Boolean, 0},
    {"Tamaño", T::Integer, 0},
    {"Fuente", T::Text, 30},
    {"Color Texto", T::Long, 0},
    {"Color Fondo", T::Long, 0},
    {"Referencia Proveedor 2", T::Text, 25},
    {"Referencia Proveedor 3", T::Text, 25},
    {"Precio Compra Proveedor 1", T::Double, 0},
    {"Precio Compra Proveedor 2", T::Double, 0},
    {"Precio Compra Proveedor 3", T::Double, 0},
    {"CompraRE", T::Boolean, 0},
    {"Cliente", T::Text, 50},
    {"PrecioTalla", T::Boolean, 0},
    {"ImprimirFicha", T::Boolean, 0},
    {"Margen Venta", T::Double, 0},
    {"Tipo Margen Venta", T::Text, 1},
    {"Orden", T::Long, 0},
    {"Trazabilidad", T::Boolean, 0},
};

const BaseColumn kTaxColumns[] = {
    {"Codigo", T::Long, 0},    {"Nombre", T::Text, 40},       {"IVA", T::Double, 0},
    {"Recargo", T::Double, 0}, {"Observaciones", T::Memo, 0},
};

const BaseColumn kSupplierColumns[] = {
    {"Codigo", T::Long, 0},
    {"Razon Social", T::Text, 40},
    {"Tipo Proveedor", T::Text, 40},
    {"Titular", T::Text, 40},
    {"Domicilio", T::Text, 40},
    {"Codigo Postal", T::Long, 0},
    {"Poblacion", T::Text, 40},
    {"Provincia", T::Text, 25},
    {"Pais", T::Text, 25},
    {"Telefono 1", T::Text, 17},
    {"Telefono 2", T::Text, 17},
    {"Fax", T::Text, 17},
    {"E-Mail", T::Text, 50},
    {"NIF", T::Text, 15},
    {"Web", T::Text, 50},
    {"Codigo Cliente", T::Text, 12},
    {"Persona Contacto", T::Text, 40},
    {"Telefono Contacto", T::Text, 17},
    {"Archivo Imagen", T::Text, 100},
    {"Observaciones", T::Memo, 0},
    {"Tabla Descuento", T::Long, 0},
    {"Descuento PP", T::Double, 0},
    {"Impuestos", T::Text, 1},
    {"Forma de Pago", T::Long, 0},
    {"Dia Pago 1", T::Integer, 0},
    {"Dia Pago 2", T::Integer, 0},
    {"Banco", T::Text, 40},
    {"Domicilio Banco", T::Text, 40},
    {"Codigo Postal Banco", T::Long, 0},
    {"Poblacion Banco", T::Text, 40},
    {"Provincia Banco", T::Text, 25},
    {"Pais Banco", T::Text, 25},
    {"Entidad", T::Text, 4},
    {"Sucursal", T::Text, 4},
    {"DC", T::Text, 2},
    {"Cuenta", T::Text, 10},
    {"Portes", T::Text, 1},
    {"Domicilio Envio", T::Text, 40},
    {"Codigo Postal Envio", T::Long, 0},
    {"Poblacion Envio", T::Text, 40},
    {"Provincia Envio", T::Text, 25},
    {"Pais Envio", T::Text, 25},
    {"Antiguedad", T::DateTime, 0},
    {"Riesgo", T::Double, 0},
    {"Aviso", T::Text, 40},
    {"Campo Libre 1", T::Text, 50},
    {"Campo Libre 2", T::Text, 50},
    {"Campo Libre 3", T::Text, 50},
    {"IBAN", T::Text, 4},
    {"Margen Venta", T::Double, 0},
};

const BaseColumn kTicketColumns[] = {
    {"Serie", T::Text, 5},          {"Numero", T::Long, 0},  {"Fecha", T::DateTime, 0},
    {"Cliente", T::Long, 0},        {"Total", T::Double, 0}, {"Documento", T::Text, 20},
    {"Forma de Pago", T::Text, 40},
};

// One table as the options shape it: its design, and for each of its columns
// the position in the base column list (-1 for the extra text column, -2
// for the extra number column).
struct Shaped {
    TableDesign design;
    std::vector<int> source;
};

template <std::size_t N>
Shaped shape(const char* table, const BaseColumn (&base)[N],
             const std::vector<IndexDesign>& indexes, const StoreOptions& o) {
    Shaped s;
    s.design.name = table;
    for (std::size_t i = 0; i < N; ++i) {
        std::string qualified = std::string(table) + "." + base[i].name;
        if (std::find(o.missingColumns.begin(), o.missingColumns.end(), qualified) !=
            o.missingColumns.end())
            continue;
        ColumnDesign c{base[i].name, base[i].type, base[i].length, -1, true};
        if (std::string(table) == kItems) {
            std::string name = base[i].name;
            if (o.singleColumns && (name == "Stock" || name == "PVP 3")) c.type = T::Single;
            if (name == "Descripcion") c.length = o.descriptionLength;
            if (o.currencyPrices &&
                (name == "PVP 1" || name == "PVP 2" || name == "Precio Compra Proveedor 1"))
                c.type = T::Currency;
            if (o.typeMismatch && name == "Familia") {
                c.type = T::Text;
                c.length = 10;
            }
        }
        s.design.columns.push_back(c);
        s.source.push_back(int(i));
    }
    if (o.extraColumns) {
        s.design.columns.insert(s.design.columns.begin() + 2,
                                ColumnDesign{"Campo Extra Texto", T::Text, 30, -1, true});
        s.source.insert(s.source.begin() + 2, -1);
        s.design.columns.push_back(ColumnDesign{"Campo Extra Numero", T::Long, 0, -1, true});
        s.source.push_back(-2);
    }
    for (const IndexDesign& ix : indexes) {
        bool present =
            std::all_of(ix.columns.begin(), ix.columns.end(), [&](const std::string& col) {
                return std::any_of(s.design.columns.begin(), s.design.columns.end(),
                                   [&](const ColumnDesign& c) { return c.name == col; });
            });
        if (present) s.design.indexes.push_back(ix);
    }
    return s;
}

IndexDesign pk(std::vector<std::string> cols) {
    return IndexDesign{"PrimaryKey", std::move(cols), {}, IndexKind::PrimaryKey, -1};
}
IndexDesign plain(const std::string& col) {
    return IndexDesign{col, {col}, {}, IndexKind::Plain, -1};
}

std::vector<Shaped> shapedTables(const StoreOptions& o) {
    std::vector<Shaped> out;
    IndexDesign description = plain("Descripcion");
    if (o.descriptionIgnoresNulls) description.flags = 0x80 | kIndexIgnoreNulls;
    out.push_back(shape(kItems, kItemColumns,
                        {pk({"Referencia"}), description, plain("Familia"), plain("Proveedor 1"),
                         plain("Tipo Impuesto")},
                        o));
    out.push_back(shape(kTaxTypes, kTaxColumns, {pk({"Codigo"})}, o));
    out.push_back(shape(kSuppliers, kSupplierColumns, {pk({"Codigo"}), plain("Razon Social")}, o));
    if (!o.noTickets)
        out.push_back(shape(kTickets, kTicketColumns,
                            {pk({"Serie", "Numero"}), plain("Fecha"), plain("Forma de Pago")}, o));
    return out;
}

// Inserts base rows into a shaped table, adapting values to the shape:
// numbers into text columns become their digits, text is cut to the column.
class TableWriter {
  public:
    TableWriter(DatabaseBuilder& b, const Shaped& s)
        : builder_(b), shaped_(s), handle_(b.addTable(s.design)) {}
    void insert(const std::vector<Value>& base) {
        ++count_;
        std::vector<Value> row;
        row.reserve(shaped_.source.size());
        for (std::size_t i = 0; i < shaped_.source.size(); ++i) {
            int from = shaped_.source[i];
            const ColumnDesign& c = shaped_.design.columns[i];
            if (from == -1) {
                row.push_back(text("EXTRA " + std::to_string(count_)));
                continue;
            }
            if (from == -2) {
                row.push_back(integer(7 * count_));
                continue;
            }
            Value v = base[std::size_t(from)];
            if (c.type == T::Currency) {
                // Rounded half to even at the fourth decimal, as Access stores a double.
                if (auto d = std::get_if<double>(&v.v))
                    v = Value(Currency{static_cast<std::int64_t>(std::nearbyint(*d * 10000.0))});
            }
            if (c.type == T::Text) {
                if (auto n = std::get_if<std::int64_t>(&v.v)) v = text(std::to_string(*n));
                if (auto s = std::get_if<std::u16string>(&v.v);
                    s && s->size() > std::size_t(c.length))
                    v = Value(s->substr(0, std::size_t(c.length)));
            }
            row.push_back(std::move(v));
        }
        builder_.insert(handle_, row);
    }

  private:
    DatabaseBuilder& builder_;
    const Shaped& shaped_;
    int handle_;
    std::int64_t count_ = 0;
};

// ---- tax types -------------------------------------------------------------

void writeTaxTypes(TableWriter& w) {
    w.insert({integer(1), text("General"), real(21), real(5.2), text("Tipo general de IVA.")});
    w.insert({integer(2), text("Reducido"), real(10), real(1.4), Value()});
    w.insert({integer(3), text("Superreducido"), real(4), real(0.5), Value()});
    w.insert({integer(4), text("Exento"), real(0), real(0), text("Operaciones exentas de IVA.")});
    w.insert({integer(5), text("Sin tipo"), Value(), Value(), Value()});
}

// ---- suppliers -------------------------------------------------------------

const char* const kSurnames[] = {"García", "Martínez",  "López",   "Sánchez", "Pérez",
                                 "Gómez",  "Fernández", "Núñez",   "Muñoz",   "Peña",
                                 "Ibáñez", "Castaño",   "Ordóñez", "Ruiz",    "Jiménez",
                                 "Morán",  "Belmonte",  "Soler",   "Vidal",   "Ferrer"};
const char* const kTrades[] = {"Almacenes",  "Suministros",  "Distribuciones", "Cerámicas",
                               "Maderas",    "Ferretería",   "Pinturas",       "Áridos",
                               "Fontanería", "Electricidad", "Aislamientos",   "Hierros"};
const char* const kTowns[] = {"Valencia", "Castellón", "Alicante", "Sagunto", "Vila-real", "Onda",
                              "Burriana", "Gandía",    "Xàtiva",   "Alzira",  "Requena",   "Elche"};
const char* const kProvinces[] = {"Valencia", "Castellón", "Alicante"};
const char* const kFirstNames[] = {"José",    "María",  "Antonio", "Carmen", "Vicente", "Pilar",
                                   "Joaquín", "Amparo", "Ramón",   "Begoña", "Íñigo",   "Lucía"};

std::string supplierName(Rng& rng, int pattern) {
    std::string s1 = rng.pick(kSurnames);
    std::string s2 = rng.pick(kSurnames);
    std::string trade = rng.pick(kTrades);
    switch (pattern % 4) {
        case 0:
            return trade + " " + s1 + " S.L.";
        case 1:
            return "Hermanos " + s1 + " S.A.";
        case 2:
            return s1 + " e Hijos S.L.";
        default:
            return trade + " " + s1 + " y " + s2;
    }
}

std::string repeatTo(const std::string& piece, std::size_t chars) {
    std::u16string p = utf8ToUtf16(piece), out;
    while (out.size() < chars) out += p;
    out.resize(chars);
    return utf16ToUtf8(out);
}

void writeSuppliers(TableWriter& w, Rng& rng) {
    std::vector<std::string> names(41);
    std::set<std::string> used;
    names[4] = "Cerámicas Vall d'Uixó S.A.";
    names[39] = "ILUMINACION TECNICA EÑE S.L.";
    names[40] = "ferretería el cruce";
    for (int code = 1; code <= 38; ++code) {
        if (code == 4) continue;
        std::string n;
        do n = supplierName(rng, code);
        while (used.count(n) || utf8ToUtf16(n).size() > 40);
        used.insert(n);
        names[std::size_t(code)] = n;
    }
    std::vector<int> order;
    for (int code = 1; code <= 40; ++code) order.push_back(code);
    rng.shuffle(order);
    for (int code : order) {
        std::vector<Value> r(std::size(kSupplierColumns));
        const std::string town = rng.pick(kTowns);
        char buf[64];
        r[0] = integer(code);
        r[1] = text(names[std::size_t(code)]);
        r[2] = text(rng.chance(0.5) ? "FABRICANTE" : "DISTRIBUIDOR");
        r[3] = text(std::string(rng.pick(kFirstNames)) + " " + rng.pick(kSurnames));
        std::snprintf(buf, sizeof buf, "C/ %s, %d", rng.pick(kSurnames), rng.between(1, 120));
        r[4] = text(buf);
        r[5] = integer(rng.between(3000, 46999));
        r[6] = text(town);
        r[7] = text(rng.pick(kProvinces));
        r[8] = text("ESPAÑA");
        std::snprintf(buf, sizeof buf, "96%d %02d %02d %02d", rng.between(0, 9), rng.between(0, 99),
                      rng.between(0, 99), rng.between(0, 99));
        r[9] = text(buf);
        if (rng.chance(0.3)) r[10] = text(buf);
        if (rng.chance(0.5)) r[11] = text(buf);
        std::snprintf(buf, sizeof buf, "pedidos%02d@proveedor.example", code);
        r[12] = text(buf);
        std::snprintf(buf, sizeof buf, "B%08d", rng.between(10000000, 99999999));
        r[13] = text(buf);
        if (rng.chance(0.4)) {
            std::snprintf(buf, sizeof buf, "http://proveedor%02d.example", code);
            r[14] = text(buf);
        }
        std::snprintf(buf, sizeof buf, "CL-%04d", rng.between(1, 9999));
        r[15] = text(buf);
        r[16] = text(std::string(rng.pick(kFirstNames)) + " " + rng.pick(kSurnames));
        r[17] = r[9];
        if (code == 4)
            r[19] = text(repeatTo(
                "Pedido mínimo de 300 € en azulejo; portes pagados a partir de dos palés. ", 359));
        r[20] = integer(rng.between(0, 3));
        r[21] = real(rng.between(0, 4) * 0.5);
        r[22] = text(rng.chance(0.8) ? "N" : "R");
        r[23] = integer(rng.between(1, 6));
        r[24] = integer(rng.between(1, 28));
        r[25] = integer(rng.chance(0.5) ? 0 : rng.between(1, 28));
        r[26] = text(rng.chance(0.5) ? "Caixa Popular" : "Banco de Levante");
        std::snprintf(buf, sizeof buf, "Avda. del Puerto, %d", rng.between(1, 300));
        r[27] = text(buf);
        r[28] = integer(rng.between(46001, 46025));
        r[29] = text("Valencia");
        r[30] = text("Valencia");
        r[31] = text("ESPAÑA");
        std::snprintf(buf, sizeof buf, "%04d", rng.between(1, 9999));
        r[32] = text(buf);
        std::snprintf(buf, sizeof buf, "%04d", rng.between(1, 9999));
        r[33] = text(buf);
        std::snprintf(buf, sizeof buf, "%02d", rng.between(0, 99));
        r[34] = text(buf);
        std::snprintf(buf, sizeof buf, "%010d", rng.between(0, 999999999));
        r[35] = text(buf);
        r[36] = text(rng.chance(0.5) ? "D" : "P");
        r[42] = date(oleDate(rng.between(1995, 2023), rng.between(1, 12), rng.between(1, 28)));
        r[43] = real(rng.between(0, 30) * 500.0);
        if (rng.chance(0.1)) r[44] = text("Revisar condiciones de pago");
        std::snprintf(buf, sizeof buf, "ES%02d", rng.between(0, 99));
        r[48] = text(buf);
        r[49] = real(rng.between(20, 60));
        w.insert(r);
    }
}

// ---- items ---------------------------------------------------------------

struct Family {
    std::vector<const char*> bases;
    std::vector<const char*> variants;
    double minPrice, maxPrice;
    const char* unit;
};

const Family kFamilies[12] = {
    {{"CEMENTO GRIS", "CEMENTO BLANCO", "MORTERO", "CEMENTO COLA", "YESO NEGRO", "ESCAYOLA",
      "CAL HIDRAULICA"},
     {"SACO 25KG", "SACO 35KG", "SACO 20KG", "SACO 5KG", "GRANEL", "RAPIDO 25KG", "FLEXIBLE 25KG"},
     2,
     15,
     "UD"},
    {{"ARENA", "GRAVA", "GRAVILLA", "ZAHORRA", "ARENA LAVADA", "ARIDO DECORATIVO"},
     {"SACO 25KG", "BIG BAG 1T", "0-4MM", "4-12MM", "12-20MM", "FINA"},
     1,
     60,
     "UD"},
    {{"LADRILLO HUECO", "LADRILLO MACIZO", "BLOQUE HORMIGON", "RASILLA", "BOVEDILLA",
      "TERMOARCILLA"},
     {"7CM", "9CM", "11CM", "24X11,5X7", "40X20X20", "PALET"},
     0.2,
     3,
     "UD"},
    {{"AZULEJO", "BALDOSA GRES", "PLAQUETA", "PORCELANICO", "RODAPIE", "MOSAICO"},
     {"BLANCO 20X20", "GRIS 33X33", "BEIGE 45X45", "NEGRO 60X60", "IMITACION MADERA", "RUSTICO"},
     6,
     40,
     "M2"},
    {{"TUBO PVC", "TUBO COBRE", "CODO PVC", "MANGUITO", "TE LATON", "LLAVE PASO", "CAÑERÍA COBRE",
      "SIFON"},
     {"32MM", "40MM", "110MM", "15MM", "1/2", "3/4", "90º", "EVACUACION"},
     0.8,
     25,
     "UD"},
    {{"CABLE", "INTERRUPTOR", "ENCHUFE", "CAJA EMPALME", "TUBO CORRUGADO", "REGLETA",
      "BOMBILLA LED"},
     {"1,5MM", "2,5MM", "BLANCO", "ESTANCO", "20MM", "100M", "E27 10W"},
     0.5,
     45,
     "UD"},
    {{"TORNILLO", "TUERCA", "ARANDELA", "TACO NYLON", "CLAVO", "TIRAFONDO", "BROCA"},
     {"M8X40", "M6X30", "DIN 933", "INOX", "ZINCADO", "6MM", "CAJA 100"},
     0.05,
     12,
     "UD"},
    {{"MARTILLO", "PALETA", "LLANA", "NIVEL", "ESPATULA", "CINCEL", "PALA", "CARRETILLA"},
     {"BOLA 300G", "ACERO", "INOX 80MM", "ALUMINIO 60CM", "MANGO FIBRA", "REFORZADA", "OBRA 90L"},
     3,
     90,
     "UD"},
    {{"PINTURA PLASTICA", "ESMALTE", "IMPRIMACION", "BARNIZ", "RODILLO", "BROCHA", "MASILLA"},
     {"BLANCO 15L", "BLANCO 4L", "ROJO 750ML", "INCOLORO", "22CM", "50MM", "TUBO"},
     2,
     70,
     "UD"},
    {{"TABLERO OSB", "TABLERO DM", "TABLERO AGLOMERADO", "LISTON PINO", "TABLERO MELAMINA BLANCO",
      "TABLERO CONTRACHAPADO"},
     {"10MM 244X122", "16MM 250X183", "19MM 244X122", "22MM 250X183", "2X3 240CM", "3X4 240CM"},
     4,
     75,
     "UD"},
    {{"PLACA YESO LAMINADO", "LANA ROCA", "POLIESTIRENO EXTRUIDO", "LAMINA ASFALTICA",
      "PANEL SANDWICH"},
     {"13MM", "40MM", "50MM", "ROLLO 10M", "HIDROFUGA"},
     3,
     50,
     "M2"},
    {{"ÁNGULO ACERO", "MALLA ELECTROSOLDADA", "VARILLA CORRUGADA", "ALAMBRE RECOCIDO",
      "PERFIL OMEGA"},
     {"40X40", "15X15 D5", "8MM 6M", "ROLLO 5KG", "GALVANIZADO"},
     1,
     35,
     "UD"},
};

const char* const kFinishes[] = {"GRIS",   "BLANCO",      "NEGRO",       "ROJO",
                                 "VERDE",  "GALVANIZADO", "PROFESIONAL", "ECONOMICO",
                                 "PACK 2", "PACK 5",      "OFERTA"};
const char* const kBrands[] = {"OBRAMAX", "FERROPLUS", "TECNIVEL",
                               "CERAMAR", "HIDROTEC",  "PINTALUX"};

// How a special row departs from a normal one.
enum class Special {
    None,
    Prueba,
    TaxNull,
    Tax99,
    Tax5,
    Tax2,
    Tax3,
    Tax4,
    Purchase0,
    PurchaseNull,
    PvpNull,
    Pvp0,
    SupplierNull,
    Supplier0,
    Supplier999,
    DescriptionNull,
    Memo320,
    Memo1000,
    Memo1500,
    Memo5000,
    Memo400Euro,
    Memo30,
    MemoEmpty,
};

struct SpecialItem {
    const char* reference;
    const char* description;  // nullptr: NULL
    Special kind;
};

const SpecialItem kSpecialItems[] = {
    {"PRUEBA1", "ARTICULO DE PRUEBA IVA 21", Special::Prueba},
    {"E00001", "BROCHA D'ARCO 50MM", Special::None},
    {"E00002", "PINCEL D'ARCO FINO", Special::None},
    {"E00003", "MORTERO 10% CAL", Special::None},
    {"E00004", "A_B CONECTOR", Special::None},
    {"E00005", "AXB CONECTOR", Special::None},
    {"E00006", "Cemento cola flexible", Special::None},
    {"E00007", "tornillo rosca chapa 4,2x13", Special::None},
    {"E00008", "Arena Fina Saco 25kg", Special::None},
    {"E00009", "CAÑERÍA COBRE 15MM", Special::None},
    {"E00010", "ÁNGULO ACERO 40X40", Special::None},
    {"E00011", "ESCUADRA ÁNGULO REFORZADA 100MM", Special::None},
    {"E00012", "PEGAMENTO CERÁMICO GRIS 25KG", Special::None},
    {"E00013", "CODO LATÓN 90º 1/2", Special::None},
    {"E00014", "CARRETILLA OBRA 90L – OFERTA 45€", Special::None},
    {"E00015", "CUÑA NIVELADORA PLÁSTICO", Special::None},
    {"E00016", "cuña niveladora plástico mini", Special::None},
    {"L00001", "TUBO MULTICAPA PEX-AL-PEX 16X2 ROLLO 100M CON AISLAMIENTO AZ", Special::None},
    {"L00002", "PLACA YESO LAMINADO HIDROFUGA 13MM 260X120 BORDE AFINADO VER", Special::None},
    {"L00003", "MALLA FIBRA VIDRIO ANTIALCALINA 160G ROLLO 50M PARA MORTEROS", Special::None},
    {"N00001", nullptr, Special::DescriptionNull},
    {"N00002", nullptr, Special::DescriptionNull},
    {"T00001", "SACO ESCOMBRO RAFIA 90X60", Special::TaxNull},
    {"T00002", "LONA PROTECCION OBRA 4X5M", Special::TaxNull},
    {"T00003", "CUERDA POLIPROPILENO 8MM 100M", Special::TaxNull},
    {"T00098", "CUBETA PINTOR 25CM", Special::Tax99},
    {"T00099", "ESPATULA INOX 80MM", Special::Tax99},
    {"T00005", "BOLSA TORNILLERIA SURTIDA", Special::Tax5},
    {"T00006", "VALE REGALO TIENDA 50", Special::Tax5},
    {"T00007", "PORTES REPARTO ZONA CENTRO", Special::Tax5},
    {"T00020", "ADOQUIN HORMIGON GRIS 20X10X6", Special::Tax2},
    {"T00030", "PAN DE MOLDE OBRADOR", Special::Tax3},
    {"T00040", "CURSO MANIPULADOR CARRETILLA", Special::Tax4},
    {"P00001", "MUESTRA GRATUITA SELLADOR", Special::Purchase0},
    {"P00002", "EXPOSITOR AZULEJOS CARTON", Special::Purchase0},
    {"P00003", "REGALO LLAVERO METRO", Special::PurchaseNull},
    {"P00004", "FUNDA PROTECTORA HERRAMIENTA", Special::PurchaseNull},
    {"P00005", "ARTICULO SIN PRECIO VENTA A", Special::PvpNull},
    {"P00006", "ARTICULO SIN PRECIO VENTA B", Special::PvpNull},
    {"P00007", "GRAPA ESCALERA 10MM", Special::Pvp0},
    {"V00001", "CAJA EMBALAJE CARTON GRANDE", Special::SupplierNull},
    {"V00002", "CAJA EMBALAJE CARTON PEQUEÑA", Special::SupplierNull},
    {"V00003", "CINTA AMERICANA GRIS 50M", Special::SupplierNull},
    {"V00000", "RECORTE TABLERO A MEDIDA", Special::Supplier0},
    {"V00999", "PIEDRA ORNAMENTAL JARDIN", Special::Supplier999},
    {"D00001", "SACO ESCOMBRO RAFIA 90X60", Special::None},
    {"D00002", "SACO ESCOMBRO RAFIA 90X60", Special::None},
    {"M00001", "CEMENTO GRIS SACO PAPEL 25KG NOTA", Special::Memo320},
    {"M00002", "YESO NEGRO SACO 17KG NOTA", Special::Memo1000},
    {"M00003", "AZULEJO BLANCO 20X20 NOTA", Special::Memo1500},
    {"M00004", "ARENA LAVADA SACO NOTA", Special::Memo5000},
    {"M00005", "TORNILLO DIN 933 M8X40 NOTA", Special::Memo400Euro},
    {"M00006", "ANGULO ACERO NOTA CORTA", Special::Memo30},
    {"M00007", "CEMENTO BLANCO NOTA VACIA", Special::MemoEmpty},
    {"CEM 25", "CEMENTO GRIS 25KG", Special::None},
    {"TOR-M8X40", "TORNILLO DIN 933 M8X40", Special::None},
    {"AZ 20X20 B", "AZULEJO BLANCO 20X20", Special::None},
    {"ARENA-L", "ARENA LAVADA SACO", Special::None},
    {"mb-01", "MARTILLO BOLA 300G MANGO FIBRA", Special::None},
    {"REF-LARGA-0123456789ABCDE", "REFERENCIA DE 25 CARACTERES", Special::None},
    {"Ñ-001", "TEJA ÁRABE ENVEJECIDA", Special::None},
    {"Z99999", "ZOCALO ALUMINIO ANODIZADO 10CM", Special::None},
    {"B00001", "Cemento cola flexible", Special::None},
};

std::string normalDescription(Rng& rng, int family, bool big) {
    const Family& f = kFamilies[family - 1];
    std::string d = std::string(rng.pick(f.bases)) + " " + rng.pick(f.variants);
    if (rng.chance(0.35)) d += " " + std::string(rng.pick(kFinishes));
    if (big) {
        if (rng.chance(0.4)) d += " " + std::string(rng.pick(kBrands));
        if (rng.chance(0.2)) d += " REF " + std::to_string(rng.between(100, 999));
    }
    return d;
}

// A normal item row in base-column order; specials adjust it afterwards.
std::vector<Value> itemRow(Rng& rng, const std::string& reference, const std::string& description,
                           int family, bool memo) {
    std::vector<Value> r(std::size(kItemColumns));
    const Family& f = kFamilies[family - 1];
    r[0] = text(reference);
    r[1] = text(description);
    r[2] = integer(family);
    int tax = rng.chance(0.9) ? 1 : rng.between(2, 4);
    r[3] = integer(tax);
    r[4] = integer(rng.between(1, 40));
    r[5] = integer(rng.chance(0.7) ? 0 : rng.between(1, 40));
    if (rng.chance(0.6)) r[6] = integer(0);
    std::u16string desc16 = utf8ToUtf16(description);
    r[7] = Value(desc16.substr(0, 25));
    r[8] = rng.chance(0.1);
    if (rng.chance(0.6))
        r[9] = text("PASILLO " + std::to_string(rng.between(1, 8)) + " ESTANTE " +
                    std::string(1, char('A' + rng.between(0, 5))));
    r[10] = real(rng.chance(0.9) ? rng.between(-5, 400) : round(rng.unit() * 100, 3));
    r[11] = real(rng.between(0, 4) * 5.0);
    r[12] = real(rng.between(0, 100));
    r[13] = real(rng.between(2, 11) * 50.0);
    r[14] = real(rng.between(5, 14) * 10.0);
    r[15] = real(rng.chance(0.8) ? 1.0 : 0.5);
    r[16] = real(rng.chance(0.5) ? 1.0 : rng.between(2, 12));
    if (rng.chance(0.8)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "PRV-%02d-%05d", rng.between(1, 40), rng.between(0, 99999));
        r[17] = text(buf);
    }
    r[18] = rng.chance(0.05);
    // Prices: the purchase price, a margin, and the retail price without VAT
    // written the three ways the store's staff end up writing it.
    double purchase = round(f.minPrice + rng.unit() * (f.maxPrice - f.minPrice), 2);
    double margin = rng.between(25, 60);
    double pvp1;
    switch (rng.between(0, 2)) {
        case 0:
            pvp1 = round(purchase * (1 + margin / 100), 2);
            break;
        case 1:
            pvp1 = round(purchase * (1 + margin / 100), 7);
            break;
        default:
            pvp1 = round(purchase * (1 + margin / 100) * 1.21, 2) / 1.21;
            break;
    }
    r[19] = real(pvp1);
    r[20] = real(round(pvp1 * 0.95, 4));
    r[21] = real(rng.chance(0.3) ? round(pvp1 * 0.9, 4) : 0.0);
    for (int k = 22; k <= 27; ++k) r[std::size_t(k)] = real(0);
    if (memo)
        r[28] = text(rng.chance(0.5) ? "Producto de temporada"
                                     : "Consultar disponibilidad con el proveedor");
    if (rng.chance(0.15)) r[29] = text("C:\\TPV\\IMAGENES\\" + reference + ".JPG");
    r[30] = integer(rng.chance(0.05) ? 1 : 0);
    r[31] = real(0);
    r[32] = text(f.unit);
    r[33] = real(round(rng.unit() * 30, 3));
    r[34] = integer(rng.between(0, 3));
    bool timed = rng.chance(0.05);
    r[35] = date(oleDate(rng.between(2012, 2023), rng.between(1, 12), rng.between(2, 28),
                         timed ? rng.between(8, 19) : 0, timed ? rng.between(0, 59) : 0,
                         timed ? rng.between(0, 59) : 0));
    if (rng.chance(0.05))
        r[36] = date(oleDate(rng.between(2025, 2027), rng.between(1, 12), rng.between(1, 28)));
    r[37] = integer(rng.chance(0.2) ? 730 : 0);
    r[38] = integer(rng.chance(0.8) ? 1 : rng.between(2, 50));
    r[39] = real(round(purchase * (0.95 + rng.unit() * 0.1), 4));
    r[40] = real(purchase);
    r[41] = real(margin);
    r[42] = real(round(margin * 0.85, 4));
    for (int k = 43; k <= 49; ++k) r[std::size_t(k)] = real(0);
    r[50] = rng.chance(0.02);
    r[51] = rng.chance(0.02);
    r[52] = rng.chance(0.05);
    r[53] = rng.chance(0.02);
    if (rng.chance(0.2)) r[54] = text("http://materiales.example/" + reference);
    r[55] = real(rng.chance(0.8) ? 1.0 : 0.5);
    r[56] = rng.chance(0.05);
    r[57] = rng.chance(0.02);
    r[58] = rng.chance(0.02);
    r[59] = rng.chance(0.05);
    r[60] = integer(rng.chance(0.5) ? 8 : 10);
    r[61] = text(rng.chance(0.7) ? "MS Sans Serif" : "Tahoma");
    r[62] = integer(rng.chance(0.95) ? 0 : -16777208);
    r[63] = integer(rng.chance(0.9) ? 16777215 : -16777211);
    r[66] = real(purchase);
    r[67] = real(rng.chance(0.3) ? round(purchase * 1.04, 4) : 0.0);
    r[68] = real(0);
    r[69] = rng.chance(0.05);
    r[71] = rng.chance(0.02);
    r[72] = rng.chance(0.02);
    r[73] = real(std::round(margin));
    r[74] = text(rng.chance(0.5) ? "C" : "V");
    r[75] = integer(0);
    r[76] = rng.chance(0.025);
    return r;
}

void applySpecial(std::vector<Value>& r, Special kind) {
    auto prices = [&](int tax, double purchase, double pvp) {
        r[3] = integer(tax);
        r[66] = real(purchase);
        r[19] = real(pvp);
        r[20] = real(round(pvp * 0.95, 4));
    };
    switch (kind) {
        case Special::None:
            break;
        case Special::Prueba:
            prices(1, 10, 12.5);
            r[4] = integer(1);
            break;
        case Special::TaxNull:
            r[3] = Value();
            break;
        case Special::Tax99:
            r[3] = integer(99);
            break;
        case Special::Tax5:
            r[3] = integer(5);
            break;
        case Special::Tax2:
            prices(2, 0.5, 0.8);
            break;
        case Special::Tax3:
            prices(3, 1, 1.5);
            break;
        case Special::Tax4:
            prices(4, 100, 150);
            break;
        case Special::Purchase0:
            r[66] = real(0);
            break;
        case Special::PurchaseNull:
            r[66] = Value();
            break;
        case Special::PvpNull:
            r[19] = Value();
            r[20] = Value();
            break;
        case Special::Pvp0:
            r[19] = real(0);
            break;
        case Special::SupplierNull:
            r[4] = Value();
            break;
        case Special::Supplier0:
            r[4] = integer(0);
            break;
        case Special::Supplier999:
            r[4] = integer(999);
            break;
        case Special::DescriptionNull:
            r[1] = Value();
            r[7] = Value();
            break;
        case Special::Memo320:
            r[28] = text(repeatTo("Saco de papel de 25 kg. Almacenar en lugar seco. ", 320));
            break;
        case Special::Memo1000:
            r[28] = text(repeatTo("Fraguado rápido.\r\nNo mezclar con cemento.\r\n", 1000));
            break;
        case Special::Memo1500:
            r[28] = text(repeatTo("Azulejo cerámico esmaltado, acabado brillante. ", 1500));
            break;
        case Special::Memo5000:
            r[28] = text(repeatTo("Arena lavada de río, granulometría 0-4 mm. ", 5000));
            break;
        case Special::Memo400Euro:
            r[28] = text(repeatTo("Caja de 100 unidades a 12,50 € la caja. ", 400));
            break;
        case Special::Memo30:
            r[28] = text(repeatTo("Nota breve sobre el ángulo. ", 30));
            break;
        case Special::MemoEmpty:
            r[28] = text("");
            break;
    }
}

void writeItems(TableWriter& w, Rng& rng, int total, bool big) {
    struct Planned {
        std::string reference;
        std::string description;
        int family;
        Special kind;
    };
    std::vector<Planned> plan;
    int specials = std::min<int>(total, int(std::size(kSpecialItems)));
    for (int i = 0; i < specials; ++i)
        plan.push_back({kSpecialItems[i].reference,
                        kSpecialItems[i].description ? kSpecialItems[i].description : "",
                        1 + i % 12, kSpecialItems[i].kind});
    std::unordered_set<std::string> used;
    for (int n = 1; int(plan.size()) < total; ++n) {
        char ref[16];
        std::snprintf(ref, sizeof ref, big ? "A%06d" : "A%05d", n);
        int family = rng.between(1, 12);
        std::string d = normalDescription(rng, family, big);
        // The demo's normal descriptions are unique, as a store's catalogue is.
        for (int attempt = 0; !big && used.count(d) && attempt < 50; ++attempt)
            d = normalDescription(rng, family, big);
        if (!big && used.count(d)) d += " " + std::to_string(n);
        used.insert(d);
        plan.push_back({ref, d, family, Special::None});
    }
    rng.shuffle(plan);
    const int memos = std::max(1, total * 63 / 600);  // about one item in nine carries a note
    int withMemo = 0;
    for (const Planned& p : plan) {
        bool memo = p.kind == Special::None && withMemo < memos && rng.chance(0.12);
        withMemo += memo;
        std::vector<Value> r = itemRow(rng, p.reference, p.description, p.family, memo);
        applySpecial(r, p.kind);
        w.insert(r);
    }
}

// ---- tickets --------------------------------------------------------------

void writeTickets(TableWriter& w, Rng& rng, int count) {
    struct Ticket {
        double fecha;
        const char* forma;  // nullptr: NULL
    };
    std::vector<Ticket> fixed = {
        {oleDate(2024, 1, 1), "Contado"},
        {oleDate(2024, 6, 14), "Facturado"},
        {oleDate(2024, 6, 14), "Facturado"},
        {oleDate(2024, 6, 14), "Pendiente"},
        {oleDate(2024, 6, 14), "Pendiente"},
        {oleDate(2024, 6, 14), "Contado"},
        {oleDate(2024, 6, 14), "Tarjeta"},
        {oleDate(2024, 6, 14), nullptr},
        {oleDate(2024, 6, 14, 10, 15, 0), "Contado"},
        {oleDate(2024, 6, 14, 17, 40, 30), "Facturado"},
        {oleDate(2024, 12, 31, 23, 59, 59), "Pendiente"},
    };
    if (count < int(fixed.size())) fixed.resize(std::size_t(count));
    std::vector<double> days;  // working days of 2024 besides the fixed ones
    const double jun14 = oleDate(2024, 6, 14);
    for (double d = oleDate(2024, 1, 2); d <= oleDate(2024, 12, 30); d += 1) {
        long serial = long(d);
        bool sunday = (serial + 6) % 7 == 0;  // serial 1 (1899-12-31) was a Sunday
        if (!sunday && d != jun14) days.push_back(d);
    }
    std::vector<Ticket> all;
    const int ordinary = count - int(fixed.size());
    for (int k = 0; k < ordinary; ++k) {
        double day = days[std::size_t(std::int64_t(k) * std::int64_t(days.size()) / ordinary)];
        double t = rng.chance(0.15) ? (rng.between(9 * 3600, 20 * 3600)) / 86400.0 : 0.0;
        double p = rng.unit();
        const char* forma = p < 0.35   ? "Contado"
                            : p < 0.65 ? "Facturado"
                            : p < 0.84 ? "Pendiente"
                            : p < 0.95 ? "Tarjeta"
                                       : nullptr;
        all.push_back({day + t, forma});
    }
    all.insert(all.end(), fixed.begin(), fixed.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const Ticket& a, const Ticket& b) { return a.fecha < b.fecha; });

    std::vector<std::vector<Value>> rows;
    int numberT = 0, numberTB = 0, invoice = 0, pending = 0;
    for (const Ticket& t : all) {
        bool tb = rng.chance(0.1);
        std::vector<Value> r(7);
        r[0] = text(tb ? "TB" : "T");
        r[1] = integer(tb ? ++numberTB : ++numberT);
        r[2] = date(t.fecha);
        double c = rng.unit();
        if (c < 0.6)
            r[3] = integer(0);
        else if (c > 0.02 + 0.6)
            r[3] = integer(rng.between(1, 500));
        r[4] = real(rng.between(200, 80047) / 100.0);
        std::string forma = t.forma ? t.forma : "";
        char doc[32];
        if (forma == "Facturado" && rng.chance(0.8)) {
            std::snprintf(doc, sizeof doc, "F2024-%04d", ++invoice);
            r[5] = text(doc);
        } else if (forma == "Pendiente" && rng.chance(0.22)) {
            std::snprintf(doc, sizeof doc, "A2024-%04d", ++pending);
            r[5] = text(doc);
        } else if (rng.chance(0.03)) {
            r[5] = text("");
        }
        if (t.forma) r[6] = text(t.forma);
        rows.push_back(std::move(r));
    }
    // Tickets arrive in date order, save for the odd one entered late.
    for (std::size_t k = 0; k < rows.size() / 40; ++k) {
        std::size_t i = std::size_t(rng.next() % rows.size());
        std::size_t j = std::min(rows.size() - 1, i + 1 + std::size_t(rng.next() % 10));
        std::swap(rows[i], rows[j]);
    }
    for (const auto& r : rows) w.insert(r);
}

}  // namespace

StoreOptions demoOptions() { return StoreOptions{}; }

StoreOptions bigOptions(int items, int tickets) {
    StoreOptions o;
    o.items = items;
    o.tickets = tickets;
    return o;
}

StoreOptions fixtureVariant(const std::string& fileName) {
    StoreOptions o;
    if (fileName == "store.mdb" || fileName == "store-v2003.mdb") return o;
    if (fileName == "store-extra-columns.mdb")
        o.extraColumns = true;
    else if (fileName == "store-no-trazabilidad.mdb")
        o.missingColumns = {"Articulos.Trazabilidad"};
    else if (fileName == "store-no-iban.mdb")
        o.missingColumns = {"proveedores.IBAN"};
    else if (fileName == "store-single.mdb")
        o.singleColumns = true;
    else if (fileName == "store-desc40.mdb")
        o.descriptionLength = 40;
    else if (fileName == "store-desc100.mdb")
        o.descriptionLength = 100;
    else if (fileName == "store-type-mismatch.mdb")
        o.typeMismatch = true;
    else if (fileName == "store-no-tickets.mdb")
        o.noTickets = true;
    else if (fileName == "store-empty.mdb")
        o.empty = true;
    else if (fileName == "store-currency.mdb")
        o.currencyPrices = true;
    else if (fileName == "store-ignore-nulls.mdb")
        o.descriptionIgnoresNulls = true;
    else if (fileName == "store-big.mdb")
        o = bigOptions(100000, 200000);
    else
        throw Error("no store variant is called " + fileName, ErrorKind::NotFound);
    return o;
}

std::vector<TableDesign> storeTables(const StoreOptions& options) {
    std::vector<TableDesign> out;
    for (const Shaped& s : shapedTables(options)) out.push_back(s.design);
    return out;
}

std::vector<std::string> specialItemReferences() {
    std::vector<std::string> out;
    for (const SpecialItem& s : kSpecialItems) out.push_back(s.reference);
    return out;
}

std::vector<std::uint8_t> buildStore(const StoreOptions& o) {
    if (o.items < 0 || o.tickets < 0) throw Error("negative row count", ErrorKind::InvalidArgument);
    if (o.descriptionLength < 1 || o.descriptionLength > 255)
        throw Error("description length must be 1..255", ErrorKind::InvalidArgument);
    for (const std::string& m : o.missingColumns) {
        bool known = false;
        auto check = [&](const char* table, const BaseColumn* cols, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i)
                if (m == std::string(table) + "." + cols[i].name) known = true;
        };
        check(kItems, kItemColumns, std::size(kItemColumns));
        check(kTaxTypes, kTaxColumns, std::size(kTaxColumns));
        check(kSuppliers, kSupplierColumns, std::size(kSupplierColumns));
        check(kTickets, kTicketColumns, std::size(kTicketColumns));
        if (!known) throw Error("no such store column: " + m, ErrorKind::InvalidArgument);
    }
    std::vector<Shaped> shaped = shapedTables(o);
    CreateOptions created;
    created.jetVersion = o.jetVersion;
    DatabaseBuilder builder(created);
    Rng rng(o.seed);
    TableWriter items(builder, shaped[0]);
    TableWriter taxes(builder, shaped[1]);
    TableWriter suppliers(builder, shaped[2]);
    writeTaxTypes(taxes);
    writeSuppliers(suppliers, rng);
    if (!o.empty) writeItems(items, rng, o.items, o.items > 9999);
    if (!o.noTickets) {
        TableWriter tickets(builder, shaped[3]);
        if (!o.empty) writeTickets(tickets, rng, o.tickets);
    }
    return builder.finish();
}

void writeStore(const std::string& path, const StoreOptions& options) {
    std::vector<std::uint8_t> bytes = buildStore(options);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw Error("cannot create " + path, ErrorKind::Io);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw Error("cannot write " + path, ErrorKind::Io);
}

}  // namespace jet::store
