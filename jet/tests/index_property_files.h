// A database of every index property, column property and key type, in
// Jet 3 or Jet 4 format, written by the engine's database builder: the one
// definition that the builder's tests and the write tests share.
//
//   indexPropertyTables(v)  the tables (design and rows, insertion order)
//   writeIndexPropertyFile  builds the file at a path
//   indexPropertyFile(v)    the file, written once per process (read only:
//                           copy it before writing, e.g. TempCopy)
//
// Tables (Jet 3 files lack every Decimal column, index and value):
//   IgnoreNulls      indexes that ignore nulls, single and multi-column
//                    (some rows null in every key column, some in part)
//   RequiredKeys     required indexes, single and multi-column
//   UniqueKeys       unique indexes, single and multi-column, with rows
//                    whose key columns are all null (several) or partly null
//   PrimaryKeyMulti  a three-column primary key, its last column descending
//   KeyTypes         an ascending and a descending index on each key type
//                    (Text, Byte, Integer, Long, Currency, Single, Double,
//                    Date/Time, Yes/No, GUID, Binary, Decimal) and a
//                    ten-column index mixing them
//   Limits           Currency and Decimal values at their limits, indexed
//   EmptyBinary      a zero-length Binary value among others, indexed plain,
//                    descending and unique
//   RequiredColumns  columns with the Required property; a long memo
//
// Standard library only apart from the engine. Thread-safe.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "database_builder.h"
#include "format/storage.h"
#include "jet/jet.h"

namespace jet::testing {

struct PropertyTable {
    TableDesign design;
    std::vector<std::vector<Value>> rows;  // in insertion order
};

namespace detail {

inline std::u16string u16(const std::string& utf8) { return utf8ToUtf16(utf8); }

inline ColumnDesign decimalColumn(const char* name, int precision, int scale) {
    ColumnDesign c{name, ColumnType::Numeric};
    c.precision = precision;
    c.scale = scale;
    return c;
}

inline ColumnDesign requiredColumn(const char* name, ColumnType type, int length = 0) {
    ColumnDesign c{name, type, length};
    c.required = true;
    return c;
}

inline IndexDesign index(const char* name, std::vector<std::string> columns,
                         std::vector<bool> descending = {}, IndexKind kind = IndexKind::Plain,
                         bool ignoreNulls = false, bool required = false) {
    IndexDesign ix{name, std::move(columns), std::move(descending), kind};
    ix.ignoreNulls = ignoreNulls;
    ix.required = required;
    return ix;
}

inline Bytes guid(int i) {
    Bytes g(16);
    for (int k = 0; k < 16; ++k)
        g[std::size_t(k)] = std::uint8_t(i * 37 + k * 11 + (k == 3 ? i : 0));
    return g;
}

inline PropertyTable ignoreNulls() {
    using T = ColumnType;
    PropertyTable t{
        {"IgnoreNulls",
         {{"Id", T::Long},
          {"Code", T::Text, 20},
          {"Amount", T::Long},
          {"Region", T::Text, 10},
          {"Stamp", T::DateTime}},
         {index("PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey),
          index("Code", {"Code"}, {}, IndexKind::Plain, true),
          index("AmountRegion", {"Amount", "Region"}, {false, true}, IndexKind::Plain, true),
          index("Stamp", {"Stamp"})}},
        {}};
    const char* regions[] = {"Norte", "Sur", "Éste", "Oeste"};
    for (int i = 0; i < 40; ++i) {
        std::vector<Value> r(5);
        r[0] = std::int64_t(i + 1);
        if (i % 4 != 0) r[1] = u16("Código " + std::to_string(i * 7 % 40));
        if (i % 3 != 0) r[2] = std::int64_t(i * 37 % 100 - 50);
        if (i % 5 != 0) r[3] = u16(regions[i % 4]);  // i % 15 == 0: both null
        if (i % 6 != 0) r[4] = DateTime{45000.0 + i * 0.25};
        t.rows.push_back(std::move(r));
    }
    return t;
}

inline PropertyTable requiredKeys() {
    using T = ColumnType;
    PropertyTable t{{"RequiredKeys",
                     {{"Id", T::Long}, {"Ref", T::Text, 12}, {"A", T::Long}, {"B", T::Integer}},
                     {index("Ref", {"Ref"}, {}, IndexKind::Plain, false, true),
                      index("AB", {"A", "B"}, {false, true}, IndexKind::Plain, false, true)}},
                    {}};
    for (int i = 0; i < 30; ++i)
        t.rows.push_back({Value(std::int64_t(i)), Value(u16("REF-" + std::to_string(i % 7))),
                          Value(std::int64_t(i % 4 - 2)), Value(std::int64_t(1000 - i * 71))});
    return t;
}

inline PropertyTable uniqueKeys() {
    using T = ColumnType;
    PropertyTable t{
        {"UniqueKeys",
         {{"Id", T::Long}, {"Email", T::Text, 40}, {"Serie", T::Text, 4}, {"Numero", T::Long}},
         {index("Email", {"Email"}, {}, IndexKind::Unique),
          index("SerieNumero", {"Serie", "Numero"}, {false, true}, IndexKind::Unique),
          index("EmailNoNulls", {"Email"}, {true}, IndexKind::Unique, true)}},
        {}};
    for (int i = 0; i < 24; ++i) {
        std::vector<Value> r(4);
        r[0] = std::int64_t(i);
        if (i % 5 != 2) r[1] = u16("usuario" + std::to_string(i) + "@tienda.es");
        if (i % 6 == 0) {
            // Serie and Numero both null: any number of such rows.
        } else if (i == 1) {
            r[2] = u16("A");  // partly null, once
        } else if (i == 3) {
            r[3] = std::int64_t(5);
        } else {
            r[2] = u16(i % 2 ? "A" : "B");
            r[3] = std::int64_t(i * 3);
        }
        t.rows.push_back(std::move(r));
    }
    return t;
}

inline PropertyTable primaryKeyMulti() {
    using T = ColumnType;
    PropertyTable t{{"PrimaryKeyMulti",
                     {{"Serie", T::Text, 4},
                      {"Numero", T::Long},
                      {"Linea", T::Integer},
                      {"Importe", T::Currency}},
                     {index("PrimaryKey", {"Serie", "Numero", "Linea"}, {false, false, true},
                            IndexKind::PrimaryKey)}},
                    {}};
    const char* series[] = {"B", "A", "Ñ"};
    for (int k = 0; k < 90; ++k) {
        int i = k * 37 % 90;  // not in key order
        t.rows.push_back({Value(u16(series[i / 30])), Value(std::int64_t(i / 3 % 10 * 10 - 40)),
                          Value(std::int64_t(i % 3 - 1)),
                          Value(Currency{std::int64_t(i) * 12345})});
    }
    return t;
}

inline PropertyTable keyTypes(int jetVersion) {
    using T = ColumnType;
    PropertyTable t{{"KeyTypes",
                     {{"Id", T::Long},
                      {"Txt", T::Text, 30},
                      {"Byt", T::Byte},
                      {"Int", T::Integer},
                      {"Lng", T::Long},
                      {"Cur", T::Currency},
                      {"Sng", T::Single},
                      {"Dbl", T::Double},
                      {"Dt", T::DateTime},
                      {"YN", T::Boolean},
                      {"Gid", T::Guid},
                      {"Bin", T::Binary, 20}},
                     {index("PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey)}},
                    {}};
    if (jetVersion >= 4) t.design.columns.push_back(decimalColumn("Dec", 18, 4));
    for (std::size_t c = 1; c < t.design.columns.size(); ++c) {
        const std::string& name = t.design.columns[c].name;
        t.design.indexes.push_back(index((name + "_asc").c_str(), {name}));
        t.design.indexes.push_back(index((name + "_desc").c_str(), {name}, {true}));
    }
    t.design.indexes.push_back(
        index("Ten", {"Txt", "Byt", "Int", "Lng", "Cur", "Sng", "Dbl", "Dt", "YN", "Gid"},
              {false, true, false, true, false, true, false, true, false, true}));
    const char* texts[] = {"cemento", "CEMENTO", "Cemento gris", "árbol", "arbol", "zócalo",
                           "ñandú",   "co-op",   "coop",         "AA  ",  "",      "Precio 45€"};
    const double singles[] = {0.0, -1.25, 3.75, 1e6, -0.5, 65504.0, 0.125};
    const double doubles[] = {0.0, -1.5, 0.001, 1234567.890625, -98765.4321, 0.1, 42.0};
    for (int i = 0; i < 60; ++i) {
        std::vector<Value> r(t.design.columns.size());
        r[0] = std::int64_t(i);
        if (i % 13 != 4) r[1] = u16(texts[i % 12]);
        if (i % 11 != 3) r[2] = std::int64_t(i * 53 % 256);
        if (i % 10 != 7)
            r[3] = std::int64_t(i == 0 ? -32768 : i == 1 ? 32767 : i * 997 % 2000 - 1000);
        if (i % 9 != 2)
            r[4] = std::int64_t(i == 0   ? INT32_MIN
                                : i == 1 ? INT32_MAX
                                         : i * 7919 % 100000 - 50000);
        if (i % 8 != 5) r[5] = Currency{std::int64_t(i * 104729 % 2000000) - 1000000};
        if (i % 7 != 6) r[6] = singles[i % 7];
        if (i % 12 != 9) r[7] = doubles[i % 7] * (i % 2 ? -1 : 1);
        // Dates before 1899-12-30 (negative) are left out: mdbtools cannot show them.
        if (i % 14 != 1) r[8] = DateTime{i % 5 == 0 ? i * 0.125 : 45000.0 + i * 1.5};
        r[9] = i % 3 == 0;
        if (i % 6 != 4) r[10] = guid(i % 25);
        if (i % 5 != 1) r[11] = Bytes(std::size_t(i % 20), std::uint8_t(i * 29));
        if (jetVersion >= 4 && i % 4 != 3) {
            const char* decimals[] = {"0.0000", "-1.5000", "12345678901234.5678",
                                      "0.0001", "-0.0001", "-99999999999999.9999",
                                      "3.1416", "100.0000"};
            r[12] = Decimal{decimals[i % 8]};
        }
        t.rows.push_back(std::move(r));
    }
    return t;
}

inline PropertyTable limits(int jetVersion) {
    using T = ColumnType;
    PropertyTable t{{"Limits",
                     {{"Id", T::Long}, {"Cur", T::Currency}},
                     {index("Cur", {"Cur"}), index("CurDesc", {"Cur"}, {true})}},
                    {}};
    const std::int64_t currencies[] = {INT64_MAX,     INT64_MIN,    0, -1, 1,
                                       INT64_MAX - 1, INT64_MIN + 1};
    const char* d28[] = {
        "9999999999999999999999999999", "-9999999999999999999999999999", "0", "1", "-1",
        "5000000000000000000000000000", "-1234567890123456789012345678"};
    const char* d28s10[] = {"999999999999999999.9999999999",
                            "-999999999999999999.9999999999",
                            "0.0000000000",
                            "0.0000000001",
                            "-0.0000000001",
                            "1.0000000000",
                            "-123456789012345678.1234567890"};
    const char* d5s2[] = {"999.99", "-999.99", "0.00", "0.01", "-0.01", "123.45", "-0.50"};
    if (jetVersion >= 4) {
        t.design.columns.push_back(decimalColumn("D28", 28, 0));
        t.design.columns.push_back(decimalColumn("D28s10", 28, 10));
        t.design.columns.push_back(decimalColumn("D5s2", 5, 2));
        t.design.indexes.push_back(index("D28", {"D28"}));
        t.design.indexes.push_back(index("D28s10Desc", {"D28s10"}, {true}));
        t.design.indexes.push_back(index("D5s2", {"D5s2"}, {}, IndexKind::Unique));
    }
    for (int i = 0; i < 8; ++i) {
        std::vector<Value> r(t.design.columns.size());
        r[0] = std::int64_t(i);
        if (i < 7) {  // the last row: nulls
            r[1] = Currency{currencies[i]};
            if (jetVersion >= 4) {
                r[2] = Decimal{d28[i]};
                r[3] = Decimal{d28s10[i]};
                r[4] = Decimal{d5s2[i]};
            }
        }
        t.rows.push_back(std::move(r));
    }
    return t;
}

inline PropertyTable emptyBinary() {
    using T = ColumnType;
    PropertyTable t{{"EmptyBinary",
                     {{"Id", T::Long}, {"Bin", T::Binary, 16}, {"Tag", T::Text, 10}},
                     {index("Bin", {"Bin"}), index("BinDesc", {"Bin"}, {true}),
                      index("BinUnique", {"Bin"}, {}, IndexKind::Unique)}},
                    {}};
    const std::vector<Bytes> values = {Bytes{},
                                       Bytes{0x00},
                                       Bytes{0x00, 0x00},
                                       Bytes{0xFF},
                                       Bytes{1, 2, 3, 4, 5, 6, 7, 8},
                                       Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9},
                                       Bytes(16, 0xAB)};
    int id = 0;
    for (const Bytes& b : values)
        t.rows.push_back(
            {Value(std::int64_t(id++)), Value(b), Value(u16("len " + std::to_string(b.size())))});
    t.rows.push_back({Value(std::int64_t(id++)), Value(), Value(u16("null"))});
    t.rows.push_back({Value(std::int64_t(id++)), Value(), Value(u16("null"))});
    return t;
}

inline PropertyTable requiredColumns() {
    using T = ColumnType;
    PropertyTable t{{"RequiredColumns",
                     {requiredColumn("Id", T::Long),
                      requiredColumn("Nombre", T::Text, 40),
                      requiredColumn("Precio", T::Currency),
                      {"Nota", T::Text, 60},
                      requiredColumn("Activo", T::Boolean),
                      {"Memo", T::Memo}},
                     {index("PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey)}},
                    {}};
    for (int i = 0; i < 10; ++i) {
        std::vector<Value> r(6);
        r[0] = std::int64_t(i + 1);
        r[1] = u16("Artículo " + std::to_string(i));
        r[2] = Currency{std::int64_t(i) * 15000};
        if (i % 2) r[3] = u16("nota " + std::to_string(i));
        r[4] = i % 3 == 0;
        if (i == 4) {
            std::u16string memo;
            while (memo.size() < 5000) memo += u"Saco de cemento gris, 25 kg; ";
            r[5] = memo;
        } else if (i % 3 == 1) {
            r[5] = u16("memo corto " + std::to_string(i));
        }
        t.rows.push_back(std::move(r));
    }
    return t;
}

}  // namespace detail

inline std::vector<PropertyTable> indexPropertyTables(int jetVersion) {
    return {detail::ignoreNulls(),     detail::requiredKeys(),       detail::uniqueKeys(),
            detail::primaryKeyMulti(), detail::keyTypes(jetVersion), detail::limits(jetVersion),
            detail::emptyBinary(),     detail::requiredColumns()};
}

inline void writeIndexPropertyFile(const std::string& path, int jetVersion) {
    CreateOptions options;
    options.jetVersion = jetVersion;
    DatabaseBuilder builder(options);
    for (const PropertyTable& t : indexPropertyTables(jetVersion)) {
        const int handle = builder.addTable(t.design);
        for (const std::vector<Value>& row : t.rows) builder.insert(handle, row);
    }
    builder.writeFile(path);
}

namespace detail {

class PropertyFileCache {
  public:
    static PropertyFileCache& instance() {
        static PropertyFileCache cache;
        return cache;
    }

    std::string file(int jetVersion) {
        std::lock_guard lock(mutex_);
        auto found = files_.find(jetVersion);
        if (found != files_.end()) return found->second;
        if (dir_.empty()) {
            dir_ = std::filesystem::temp_directory_path() /
                   ("precios-index-properties-" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir_);
            owner_ = ::getpid();
        }
        const std::string path =
            (dir_ / ("index-properties-jet" + std::to_string(jetVersion) + ".mdb")).string();
        writeIndexPropertyFile(path, jetVersion);
        files_.emplace(jetVersion, path);
        return path;
    }

    ~PropertyFileCache() {
        // A forked child inherits the cache object but not the folder.
        if (dir_.empty() || owner_ != ::getpid()) return;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::mutex mutex_;
    std::filesystem::path dir_;
    pid_t owner_ = 0;
    std::map<int, std::string> files_;
};

}  // namespace detail

inline std::string indexPropertyFile(int jetVersion) {
    return detail::PropertyFileCache::instance().file(jetVersion);
}

}  // namespace jet::testing
