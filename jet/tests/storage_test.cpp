// Storage layer over the fixtures: which files open and why the others are
// refused, the catalog and table definitions, and row values whose exact
// content the fixtures document.
#include "format/storage.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstring>
#include <filesystem>

#include "fixtures.h"
#include "io/memory_env.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::fixture;
using testing::storeFile;
using testing::storeOptions;

ErrorKind openError(const std::string& path, std::string* message = nullptr) {
    try {
        Storage::open(path, false);
    } catch (const Error& e) {
        if (message) *message = e.message();
        return e.kind();
    }
    return ErrorKind::Generic;  // opened: not an error kind any refusal uses
}

std::vector<int> allColumns(const TableDef& def) {
    std::vector<int> all(def.columns.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    return all;
}

// Rows of a table keyed by the text of one column.
std::map<std::u16string, std::vector<Value>> rowsBy(Storage& s, const std::string& table,
                                                    const std::string& key) {
    const TableDef& def = s.tableDef(table);
    const int k = def.columnIndex(key);
    std::map<std::u16string, std::vector<Value>> out;
    s.scan(def, allColumns(def), [&](RowId, std::vector<Value>& row) {
        out[std::get<std::u16string>(row[k].v)] = row;
        return true;
    });
    return out;
}

const std::u16string& text(const Value& v) { return std::get<std::u16string>(v.v); }

TEST(Rc4, MatchesTheHeaderKeyStream) {
    std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
    std::uint8_t data[10] = {};
    rc4(key, 4, data, sizeof data);
    const std::uint8_t expected[] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55, 0xEB, 0xA9};
    EXPECT_TRUE(std::equal(data, data + 10, expected));
}

TEST(Text, DecodesCompressedRunsAndCodePage) {
    // "ab", switch to UCS-2 for U+20AC, switch back for "c".
    const std::uint8_t compressed[] = {0xFF, 0xFE, 'a', 'b', 0x00, 0xAC, 0x20, 0x00, 'c'};
    EXPECT_EQ(decodeJet4Text(ByteView(compressed, sizeof compressed)), u"ab\u20ACc");
    // Pairs whose high byte is zero, a separator at the very end, a dangling
    // half character: nothing is read past the field.
    const std::uint8_t pairs[] = {0xFF, 0xFE, 0x00, 'x', 0x00, 0x41, 0x04, 0x00};
    EXPECT_EQ(decodeJet4Text(ByteView(pairs, sizeof pairs)), u"x\u0441");
    const std::uint8_t dangling[] = {0xFF, 0xFE, 'a', 0x00, 0x41, 0x04, 0x42};
    EXPECT_EQ(decodeJet4Text(ByteView(dangling, sizeof dangling)), u"a\u0441");
    const std::uint8_t empty[] = {0xFF, 0xFE};
    EXPECT_EQ(decodeJet4Text(ByteView(empty, sizeof empty)), u"");
    const std::uint8_t plain[] = {'h', 0, 0x13, 0x20};
    EXPECT_EQ(decodeJet4Text(ByteView(plain, sizeof plain)), u"h\u2013");
    const std::uint8_t cp[] = {0x80, 0xF1, 0x81};
    EXPECT_EQ(decodeCodePageText(ByteView(cp, sizeof cp), 1252), u"\u20AC\u00F1\u0081");
    EXPECT_EQ(utf16ToUtf8(u"Tama\u00F1o \u20AC"), "Tamaño €");
    EXPECT_EQ(utf8ToUtf16("Tamaño €"), u"Tama\u00F1o \u20AC");
    EXPECT_EQ(foldName(u"ART\u00CDCULOS \u00D1"), foldName(u"art\u00EDculos \u00F1"));
}

// Every fixture either opens and reads completely, or is refused for its
// documented reason.
TEST(Open, EveryFixtureOpensOrIsRefusedForItsReason) {
    JET_REQUIRE_FIXTURES();
    int opened = 0;
    for (const auto& path : testing::allDatabaseFixtures()) {
        SCOPED_TRACE(path);
        std::string message;
        if (path.find("with-password") != std::string::npos) {
            EXPECT_EQ(openError(path, &message), ErrorKind::NotSupported);
            EXPECT_NE(message.find("password-protected"), std::string::npos) << message;
        } else if (path.ends_with(".accdb")) {
            EXPECT_EQ(openError(path, &message), ErrorKind::NotSupported);
            EXPECT_NE(message.find("(.accdb) files are not supported"), std::string::npos);
        } else {
            auto s = Storage::open(path, false);
            EXPECT_EQ(s->header().codePage, 1252);
            EXPECT_EQ(s->header().sortOrder, 1033);
            EXPECT_EQ(s->format().version, path.find("1997") != std::string::npos ? 3 : 4);
            for (const auto& name : s->tableNames()) {
                const TableDef& def = s->tableDef(name);
                std::int64_t rows = 0;
                s->scan(def, allColumns(def), [&](RowId, std::vector<Value>&) { return ++rows; });
                EXPECT_EQ(rows, s->countRows(def));
            }
            ++opened;
        }
    }
    EXPECT_GE(opened, 25);
}

TEST(Open, RefusesWhatIsNotADatabase) {
    JET_REQUIRE_FIXTURES();
    std::string message;
    EXPECT_EQ(openError(fixture("README.md"), &message), ErrorKind::NotSupported);
    EXPECT_NE(message.find("is not an Access database"), std::string::npos);
    EXPECT_NE(message.find("README.md"), std::string::npos);
    EXPECT_EQ(openError(fixture("collation/index_codes_genleg.txt")), ErrorKind::NotSupported);
    EXPECT_EQ(openError(fixture("access"), &message), ErrorKind::Io);
    EXPECT_NE(message.find("folder"), std::string::npos);
    EXPECT_EQ(openError(fixture("no-such-file.mdb")), ErrorKind::NotFound);
    EXPECT_EQ(openError(""), ErrorKind::NotFound);
}

TEST(Open, RefusesAnUnreadableFile) {
#ifdef _WIN32
    GTEST_SKIP() << "no permission bit makes a file unreadable on Windows";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop reading";
    auto dir = std::filesystem::temp_directory_path() / ("jet-perm-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto copy = dir / "store.mdb";
    std::filesystem::copy_file(storeFile("store.mdb"), copy);
    ::chmod(copy.c_str(), 0);
    std::string message;
    EXPECT_EQ(openError(copy.string(), &message), ErrorKind::Io);
    EXPECT_NE(message.find("Permission denied"), std::string::npos);
    std::filesystem::remove_all(dir);
#endif
}

TEST(Open, FallsBackToReadOnlyAndRefusesWrites) {
    auto dir =
        std::filesystem::temp_directory_path() / ("jet-ro-" + std::to_string(testing::processId()));
    std::filesystem::create_directories(dir);
    auto copy = dir / "store.mdb";
    std::filesystem::copy_file(storeFile("store.mdb"), copy);
    testing::makeReadOnly(copy);
    if (!testing::readOnlyStopsWrites(copy)) {
        std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "running as root: a read-only file can still be written";
    }
    auto s = Storage::open(copy.string(), true);
    EXPECT_FALSE(s->pager().file().writable());
    std::uint8_t byte = 0;
    try {
        s->pager().file().write(0, &byte, 1);
        ADD_FAILURE() << "write to a read-only file succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
    }
    s.reset();  // Windows removes no folder while a file in it is open
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(dir);
}

TEST(Catalog, ListsUserTablesAndFindsThemCaseInsensitively) {
    auto s = Storage::open(storeFile("store.mdb"), false);
    EXPECT_EQ(s->tableNames(),
              (std::vector<std::string>{"Articulos", "Tipos de Impuestos", "proveedores",
                                        "Cabecera Tickets de Venta"}));
    EXPECT_EQ(&s->tableDef("ARTICULOS"), &s->tableDef("articulos"));
    EXPECT_EQ(s->tableDef("cabecera tickets de venta").name, "Cabecera Tickets de Venta");
    EXPECT_EQ(s->tableDef("MSysObjects").tdefPage, 2u);  // system tables resolve, unlisted
    try {
        s->tableDef("Clientes");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
    }
    auto none = Storage::open(storeFile("store-no-tickets.mdb"), false);
    EXPECT_EQ(none->tableNames().size(), 3u);
    EXPECT_THROW(none->tableDef("Cabecera Tickets de Venta"), Error);
}

TEST(Catalog, DescribesColumnsAndIndexes) {
    auto s = Storage::open(storeFile("store.mdb"), false);
    TableInfo art = s->tableInfo("Articulos");
    EXPECT_EQ(art.rowCount, storeOptions().items);
    EXPECT_EQ(art.columns.size(), 77u);
    auto column = [&](const std::string& name) {
        for (const auto& c : art.columns)
            if (c.name == name) return c;
        ADD_FAILURE() << "no column " << name;
        return Column{};
    };
    EXPECT_EQ(column("Referencia").type, ColumnType::Text);
    EXPECT_EQ(column("Referencia").size, 25);
    EXPECT_EQ(column("Descripcion").size, 60);
    EXPECT_EQ(column("Observaciones").type, ColumnType::Memo);
    EXPECT_EQ(column("Tamaño").type, ColumnType::Integer);
    EXPECT_EQ(column("Trazabilidad").type, ColumnType::Boolean);
    EXPECT_EQ(column("Fecha Alta").type, ColumnType::DateTime);
    ASSERT_EQ(art.indexes.size(), 5u);
    EXPECT_EQ(art.indexes[0].name, "PrimaryKey");
    EXPECT_TRUE(art.indexes[0].primaryKey && art.indexes[0].unique);
    EXPECT_EQ(art.indexes[0].columns, std::vector<std::string>{"Referencia"});
    EXPECT_FALSE(art.indexes[3].unique);
    EXPECT_EQ(art.indexes[3].columns, std::vector<std::string>{"Proveedor 1"});

    TableInfo tickets = s->tableInfo("Cabecera Tickets de Venta");
    EXPECT_EQ(tickets.rowCount, storeOptions().tickets);
    EXPECT_EQ(tickets.indexes[0].columns, (std::vector<std::string>{"Serie", "Numero"}));
    EXPECT_EQ(s->tableInfo("Tipos de Impuestos").rowCount, 5);
    EXPECT_EQ(s->tableInfo("proveedores").rowCount, 40);

    EXPECT_EQ(Storage::open(storeFile("store-no-trazabilidad.mdb"), false)
                  ->tableInfo("Articulos")
                  .columns.size(),
              76u);
    auto single = Storage::open(storeFile("store-single.mdb"), false);
    const TableDef& sd = single->tableDef("Articulos");
    EXPECT_EQ(sd.columns[sd.columnIndex("Stock")].column.type, ColumnType::Single);
}

TEST(Catalog, AccessFilesWithDeletedColumnsAndRelationships) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(fixture("access/indexTestV2000.mdb"), false);
    const TableDef& t1 = s->tableDef("Table1");
    EXPECT_EQ(t1.maxColumns, 6);
    EXPECT_EQ(t1.columns.size(), 5u);
    int foreign = 0;
    for (const auto& x : t1.indexes) {
        foreign += x.index.foreignKey;
        for (std::size_t k = 0; k < x.columnPositions.size(); ++k) {
            ASSERT_GE(x.columnPositions[k], 0) << x.index.name;
            EXPECT_EQ(t1.columns[x.columnPositions[k]].number, x.columnNumbers[k]);
        }
    }
    EXPECT_EQ(foreign, 2);
    auto big = Storage::open(fixture("access/bigIndexTestV2000.mdb"), false);
    const TableDef& b = big->tableDef("Table1");
    ASSERT_EQ(b.indexes.size(), 1u);
    EXPECT_EQ(b.indexes[0].index.columns, std::vector<std::string>{"col1"});
    EXPECT_EQ(b.columns[0].number, 4);  // two deleted columns before it

    auto v97 = Storage::open(fixture("access/testV1997.mdb"), false);
    TableInfo t3 = v97->tableInfo("Table3");
    EXPECT_TRUE(t3.columns[0].autoNumber);
    TableInfo t4 = Storage::open(fixture("access/testV2000.mdb"), false)->tableInfo("Table4");
    EXPECT_EQ(t4.columns[1].type, ColumnType::Guid);
    EXPECT_TRUE(t4.columns[1].autoNumber);
}

// The documented special rows of a store; returns how many items are traced.
int expectDocumentedValues(const std::string& file) {
    SCOPED_TRACE(file);
    auto s = Storage::open(file, false);
    auto taxes = rowsBy(*s, "Tipos de Impuestos", "Nombre");
    if (taxes.size() != 5u) {
        ADD_FAILURE() << taxes.size() << " tax types";
        return -1;
    }
    EXPECT_EQ(taxes[u"General"][0], Value(std::int64_t{1}));
    EXPECT_EQ(taxes[u"General"][2], Value(21.0));
    EXPECT_EQ(taxes[u"General"][3], Value(5.2));
    EXPECT_EQ(text(taxes[u"General"][4]), u"Tipo general de IVA.");
    EXPECT_TRUE(taxes[u"Sin tipo"][2].isNull());

    auto items = rowsBy(*s, "Articulos", "Referencia");
    const TableDef& art = s->tableDef("Articulos");
    const int obs = art.columnIndex("Observaciones");
    const int desc = art.columnIndex("Descripcion");
    EXPECT_EQ(text(items[u"M00004"][obs]).size(), 5000u);       // chain of LVAL rows
    EXPECT_EQ(text(items[u"M00003"][obs]).size(), 1500u);       // one uncompressed LVAL row
    EXPECT_EQ(text(items[u"M00001"][obs]).size(), 320u);        // compressed LVAL row
    EXPECT_EQ(text(items[u"M00006"][obs]).size(), 30u);         // inline
    EXPECT_EQ(items[u"M00007"][obs], Value(std::u16string()));  // empty, not NULL
    EXPECT_NE(text(items[u"M00005"][obs]).find(u'\u20AC'), std::u16string::npos);
    EXPECT_NE(text(items[u"M00002"][obs]).find(u"\r\n"), std::u16string::npos);
    EXPECT_EQ(text(items[u"E00014"][desc]), u"CARRETILLA OBRA 90L \u2013 OFERTA 45\u20AC");
    EXPECT_EQ(text(items[u"E00009"][desc]), u"CA\u00D1ER\u00CDA COBRE 15MM");
    EXPECT_TRUE(items[u"N00001"][desc].isNull());
    EXPECT_EQ(text(items[u"L00001"][desc]).size(), 60u);
    EXPECT_EQ(items[u"PRUEBA1"][art.columnIndex("PVP 1")], Value(12.5));
    EXPECT_TRUE(items[u"V00001"][art.columnIndex("Proveedor 1")].isNull());
    int traced = 0;
    for (auto& [ref, row] : items) traced += std::get<bool>(row[art.columnIndex("Trazabilidad")].v);

    auto suppliers = rowsBy(*s, "proveedores", "Razon Social");
    const TableDef& prov = s->tableDef("proveedores");
    EXPECT_EQ(
        text(suppliers[u"Cer\u00E1micas Vall d'Uix\u00F3 S.A."][prov.columnIndex("Observaciones")])
            .size(),
        359u);
    return traced;
}

TEST(Rows, StoreValuesAsDocumented) {
    const int traced = expectDocumentedValues(storeFile("store.mdb"));
    EXPECT_GT(traced, 0);
    EXPECT_LT(traced, storeOptions().items);
}

// The independent writer's files: the same rows, and its documented count.
TEST(Rows, SharedStoreFilesValuesAsDocumented) {
    JET_REQUIRE_FIXTURES();
    for (const char* file : {"store.mdb", "store-v2003.mdb"})
        EXPECT_EQ(expectDocumentedValues(fixture(file)), 14);
}

TEST(Rows, TicketDatesAndLazyColumns) {
    auto s = Storage::open(storeFile("store.mdb"), false);
    const TableDef& t = s->tableDef("Cabecera Tickets de Venta");
    const int fecha = t.columnIndex("Fecha");
    // 2024-06-14 is day 45457 after 1899-12-30; it holds exactly 9 tickets.
    int onDay = 0, visited = 0;
    s->scan(t, {fecha}, [&](RowId, std::vector<Value>& row) {
        EXPECT_EQ(row.size(), 1u);
        double d = std::get<DateTime>(row[0].v).days;
        onDay += d >= 45457 && d < 45458;
        ++visited;
        return true;
    });
    EXPECT_EQ(onDay, 9);
    EXPECT_EQ(visited, storeOptions().tickets);
    int seen = 0;
    s->scan(t, {}, [&](RowId, std::vector<Value>&) { return ++seen < 10; });
    EXPECT_EQ(seen, 10);
    EXPECT_THROW(s->scan(t, {999}, [](RowId, std::vector<Value>&) { return true; }), Error);
}

TEST(Rows, MovedRowsAreFollowedAndKeepTheirId) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(fixture("access/overflowTestV2000.mdb"), false);
    const TableDef& t = s->tableDef("Table1");
    std::vector<RowId> ids;
    std::vector<std::vector<Value>> rows;
    s->scan(t, allColumns(t), [&](RowId id, std::vector<Value>& row) {
        ids.push_back(id);
        rows.push_back(row);
        return true;
    });
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(ids[2], (RowId{27, 2}));
    EXPECT_EQ(ids[4], (RowId{27, 4}));
    EXPECT_TRUE(rows[2][0].isNull());
    EXPECT_EQ(text(rows[2][1]), u"row3col3");
    EXPECT_EQ(text(rows[2][7]), u"row3col9");
    EXPECT_EQ(text(rows[4][1]), u"row5col2");
    RowId final;
    s->rowBytes(RowId{27, 2}, &final);
    EXPECT_TRUE(final.page == 28 || final.page == 31);
    EXPECT_EQ(s->readRow(t, RowId{27, 4}, {1}),
              std::vector<Value>{Value(std::u16string(u"row5col2"))});
}

TEST(Rows, DeletedRowsAreSkippedAndNotFound) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(fixture("access/delTestV2000.mdb"), false);
    const TableDef& t = s->tableDef("Table");
    std::vector<std::u16string> seen;
    s->scan(t, {0, 1}, [&](RowId, std::vector<Value>& row) {
        seen.push_back(text(row[0]) + text(row[1]));
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"zy", u"vu"}));
    try {
        s->readRow(t, RowId{31, 1}, {0});
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
    }
}

TEST(Rows, RowCountIsCountedNotTrusted) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(fixture("access/testIndexCodesV2000.mdb"), false);
    const TableDef& t = s->tableDef("Table1");
    EXPECT_EQ(t.rowCountHint, 274u);
    EXPECT_EQ(s->countRows(t), 275);
    EXPECT_EQ(s->tableInfo("table1").rowCount, 275);
}

TEST(Rows, DecimalKeepsItsExactText) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(fixture("access-mdbreader/V2000-numeric.mdb"), false);
    const TableDef& t = s->tableDef("test");
    auto row = s->readRow(t,
                          [&] {
                              RowId first;
                              s->scan(t, {}, [&](RowId id, std::vector<Value>&) {
                                  first = id;
                                  return false;
                              });
                              return first;
                          }(),
                          {1, 5});
    EXPECT_EQ(row[0], Value(Decimal{"1"}));
    EXPECT_EQ(row[1], Value(Decimal{"-1"}));
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

ErrorKind openImage(std::vector<std::uint8_t> image, std::string* message) {
    try {
        Storage::open(std::make_unique<MemoryFile>(std::move(image), "copy.mdb"));
    } catch (const Error& e) {
        *message = e.message();
        return e.kind();
    }
    return ErrorKind::Generic;
}

TEST(Open, RefusesEncodedAndForeignVariants) {
    std::string message;
    for (const char* file : {"store.mdb", "access/testV1997.mdb"}) {
        SCOPED_TRACE(file);
        if (!testing::haveFile(file)) continue;
        const auto image = testing::readAll(testing::databaseFile(file));
        auto encoded = image;
        encoded[0x3E] ^= 0x01;  // masked, but XOR keeps a non-zero key non-zero
        EXPECT_EQ(openImage(encoded, &message), ErrorKind::NotSupported);
        EXPECT_NE(message.find("encoded"), std::string::npos) << message;
        EXPECT_NE(message.find("copy.mdb"), std::string::npos) << message;

        auto msisam = image;
        std::memcpy(msisam.data() + 4, "MSISAM Database", 16);
        EXPECT_EQ(openImage(msisam, &message), ErrorKind::NotSupported);
        EXPECT_NE(message.find("MSISAM"), std::string::npos) << message;

        auto future = image;
        future[0x14] = 0x09;
        EXPECT_EQ(openImage(future, &message), ErrorKind::NotSupported);

        auto noCatalog = image;
        noCatalog[2 * (image[0x14] ? 4096 : 2048)] = 0x01;
        EXPECT_EQ(openImage(noCatalog, &message), ErrorKind::Corrupt);
        EXPECT_NE(message.find("catalog"), std::string::npos) << message;
    }
}

TEST(Rows, LongValueChainLoopIsCorruption) {
    auto image = testing::readAll(testing::storeFile("store.mdb"));
    auto s = Storage::open(std::make_unique<MemoryFile>(image));
    const TableDef& art = s->tableDef("Articulos");
    const int ref = art.columnIndex("Referencia");
    RowId id;
    s->scan(art, {ref}, [&](RowId r, std::vector<Value>& row) {
        if (std::get<std::u16string>(row[0].v) != u"M00004") return true;
        id = r;
        return false;
    });
    // The memo field header of M00004: 10000 bytes in a chain (no flag bits).
    ByteView row = s->rowBytes(id);
    std::size_t at = 0;
    while (at + 12 <= row.size() && row.u32(at) != 10000) ++at;
    ASSERT_LT(at + 12, row.size());
    const std::uint32_t first = row.u32(at + 4);
    ByteView lvalPage = s->pager().page(first >> 8);
    const std::size_t start = lvalPage.u16(0x0E + 2 * (first & 0xFF)) & 0x1FFF;
    ByteSpan(image.data() + std::size_t{first >> 8} * 4096 + start, 4).u32(0, first);

    auto damaged = Storage::open(std::make_unique<MemoryFile>(image));
    try {
        damaged->readRow(damaged->tableDef("Articulos"), id, {art.columnIndex("Observaciones")});
        FAIL() << "a looping chain was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
        EXPECT_NE(e.message().find("loop"), std::string::npos) << e.message();
    }
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// The large file: reference usage maps of thousands of pages, and facts
// the fixture generator counted from the rows it wrote.
TEST(Rows, BigStoreCountsAsGenerated) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(testing::fixture("store-big.mdb"), false);
    EXPECT_EQ(s->countRows(s->tableDef("Articulos")), 100000);
    const TableDef& t = s->tableDef("Cabecera Tickets de Venta");
    std::map<std::u16string, int> payment;
    int midnight = 0, documentNull = 0, documentEmpty = 0, rows = 0;
    s->scan(t, {t.columnIndex("Fecha"), t.columnIndex("Forma de Pago"), t.columnIndex("Documento")},
            [&](RowId, std::vector<Value>& row) {
                double d = std::get<DateTime>(row[0].v).days;
                midnight += d == std::floor(d);
                payment[row[1].isNull() ? u"NULL" : text(row[1])]++;
                documentNull += row[2].isNull();
                documentEmpty += !row[2].isNull() && text(row[2]).empty();
                ++rows;
                return true;
            });
    EXPECT_EQ(rows, 200000);
    EXPECT_EQ(midnight, 170108);
    EXPECT_EQ(payment, (std::map<std::u16string, int>{{u"Contado", 70175},
                                                      {u"Facturado", 59540},
                                                      {u"Pendiente", 39935},
                                                      {u"Tarjeta", 20239},
                                                      {u"NULL", 10111}}));
    EXPECT_EQ(documentNull, 138481);
    EXPECT_EQ(documentEmpty, 6020);
}

}  // namespace
}  // namespace jet
