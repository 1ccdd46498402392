// Store databases for tests, benchmarks and the demo: the four tables of the
// store model (items, tax types, suppliers, sales tickets) filled with a
// small Spanish building-materials store, generated from fixed seeds.
//
// Every declared column is present in declaration order with the store
// model's names; the variants (a missing or mistyped column, extra columns,
// Single prices, other description lengths, no ticket table, empty tables)
// are the shapes of store database the tool must cope with. The same options
// always give the same bytes.
//
// Pure functions over the options; safe from any thread. Errors: a
// jet::Error(InvalidArgument) for options that name no table or column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database_builder.h"

namespace jet::store {

inline constexpr const char* kItems = "Articulos";
inline constexpr const char* kTaxTypes = "Tipos de Impuestos";
inline constexpr const char* kSuppliers = "proveedores";
inline constexpr const char* kTickets = "Cabecera Tickets de Venta";
inline constexpr const char* kTables[] = {kItems, kTaxTypes, kSuppliers, kTickets};

struct StoreOptions {
    int items = 600;     // total rows of Articulos, special rows included
    int tickets = 3000;  // rows of the ticket table
    std::uint64_t seed = 20240101;
    // Variants.
    std::vector<std::string> missingColumns;  // "Table.Column", e.g. "Articulos.Trazabilidad"
    bool extraColumns =
        false;  // "Campo Extra Texto" Text(30) as 3rd column, "Campo Extra Numero" Long last
    bool singleColumns = false;  // Articulos.Stock and [PVP 3] as Single
    int descriptionLength = 60;  // Articulos.Descripcion Text(N); longer descriptions are cut
    bool typeMismatch = false;   // Articulos.Familia as Text(10) holding the family number
    bool noTickets = false;      // no ticket table
    bool empty = false;          // no items and no tickets (tax types and suppliers kept)
    bool currencyPrices =
        false;  // Articulos.[PVP 1], [PVP 2], [Precio Compra Proveedor 1] as Currency
    bool descriptionIgnoresNulls = false;  // Articulos' Descripcion index leaves out NULLs
    int jetVersion = 4;                    // 3: an Access 97 file
};

// The demo store: a few hundred items and a year of tickets.
StoreOptions demoOptions();
// A large store for benchmarks: `items` items (the special rows included)
// and `tickets` tickets.
StoreOptions bigOptions(int items, int tickets);

// The table definitions the options give (columns and indexes).
std::vector<TableDesign> storeTables(const StoreOptions& options);

// The options that build the counterpart of a shared fixture file by its
// name ("store.mdb", "store-no-iban.mdb", "store-desc40.mdb", ...; see the
// fixtures' README), for tests that must run without the shared folder;
// also "store-currency.mdb" and "store-ignore-nulls.mdb", shapes Access
// allows that the shared folder has no file of.
// The content is this generator's, not the fixture's: the same tables,
// columns, indexes and special rows, but other ordinary rows and counts.
// NotFound for a name that is not a store variant.
StoreOptions fixtureVariant(const std::string& fileName);

// Builds the whole database.
std::vector<std::uint8_t> buildStore(const StoreOptions& options);
void writeStore(const std::string& path, const StoreOptions& options);

// References of the items with documented special properties (a quote, an
// accent, a null, a long memo...), in the order they are generated.
std::vector<std::string> specialItemReferences();

}  // namespace jet::store
