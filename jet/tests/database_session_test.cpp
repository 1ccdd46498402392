// One working session of the tool at the engine level, in the order the
// window drives it: open, search as the user types, read the chosen item,
// post an edit, apply prices, change ticket statuses, close. Small enough
// to run under valgrind (fuzz/run_valgrind.sh), which must find no leak
// and no invalid access.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/storage.h"
#include "reliability_support.h"

namespace jet {
namespace {

using namespace jet::testing;

std::string search(const std::string& text) {
    std::string q;
    for (char c : text) {
        q += c;
        if (c == '\'') q += '\'';
    }
    return "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
           "like('%" +
           q + "%') \r\n order by descripcion";
}

TEST(SessionScenario, OpenSearchEditApplyClose) {
    const fs::path store = storeFile("store.mdb");
    TempDir dir;
    const std::string path = copyFixture(dir, store, "shop.mdb").string();
    auto db = Database::open(path);
    ASSERT_EQ(db->tableNames().size(), 4u);

    std::int64_t found = 0;
    for (const char* typed : {"C", "CE", "CEM", "CEME", "CEMENTO", "D'ARCO"}) {
        auto cursor = db->query(search(typed));
        found = 0;
        while (cursor->next()) ++found;
    }
    EXPECT_EQ(found, 2);

    auto item = db->query("select * from Articulos where Referencia = ?",
                          {Value(std::u16string(u"CEM 25"))});
    ASSERT_TRUE(item->next());
    EXPECT_EQ(db->execute("UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ? WHERE "
                          "[Referencia] = ?",
                          {Value(std::u16string(u"CEMENTO GRIS 25KG SACO PAPEL")),
                           Value(std::u16string(u"CEM25")), Value(std::u16string(u"CEM 25"))}),
              1);
    EXPECT_EQ(db->execute(
                  "UPDATE Articulos SET [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? "
                  "WHERE [Referencia] = ?",
                  {Value(7.2), Value(7.9), Value(4.1), Value(std::u16string(u"CEM 25"))}),
              1);
    EXPECT_EQ(
        db->execute(
            "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
            "[Cabecera Tickets de Venta].[Forma de Pago] = 'Pendiente'\r\n"
            " WHERE ((([Cabecera Tickets de Venta].Fecha)>=#6/14/2024#)\r\n"
            " AND (([Cabecera Tickets de Venta].Fecha)<=#6/14/2024#)\r\n"
            " AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))"),
        4);
    auto again = db->query(search("SACO PAPEL"));
    ASSERT_TRUE(again->next());
    EXPECT_EQ(again->row()[0], Value(std::u16string(u"CEM 25")));
    again.reset();
    item.reset();
    db.reset();
}

}  // namespace
}  // namespace jet
