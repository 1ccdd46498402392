// The ODBC route against the real driver manager, with the mdbtools driver
// registered under one of the Access driver names in a private odbcinst.ini.
#include "odbc_route.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "db/db.h"
#include "jet/jet.h"
#include "odbc_registration.h"
#include "store_files.h"

namespace {

class OdbcRouteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(MDBTOOLS_ODBC_DRIVER))
            GTEST_SKIP() << "mdbtools ODBC driver not installed";
        ASSERT_TRUE(dir.isValid());
        dbtest::registerOdbcDriver("Microsoft Access Driver (*.mdb)");
        file = dir.filePath("store.mdb");
        ASSERT_TRUE(
            QFile::copy(QString::fromStdString(jet::testing::storeFile("store.mdb")), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    QTemporaryDir dir;
    QString file;
};

TEST_F(OdbcRouteTest, RegisteredAccessDriverIsChosenAndReads) {
    EXPECT_TRUE(db::installedOdbcDrivers().contains("Microsoft Access Driver (*.mdb)"));
    EXPECT_EQ(db::chooseAccessDriver(db::installedOdbcDrivers()),
              "Microsoft Access Driver (*.mdb)");

    db::Connection conexion;  // the default route choice
    conexion.setParams({"DriverID=MSAcc", "Database=" + file});
    db::Dataset q("qproveedores", &conexion);
    q.setSql({"select * from proveedores"});
    q.open();
    auto* route = dynamic_cast<db::OdbcRoute*>(conexion.currentRoute());
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->kind(), "ODBC");
    EXPECT_EQ(route->connectString(),
              "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + file + ";ExtendedAnsiSQL=1");
    q.fetchAll();
    std::size_t suppliers = 0;  // as the engine reads the file
    auto rows = jet::Database::open(file.toStdString(), jet::OpenMode::ReadOnly)
                    ->query("select Codigo from proveedores");
    while (rows->next()) ++suppliers;
    EXPECT_GT(suppliers, 4u);
    EXPECT_EQ(std::size_t(q.recordCount()), suppliers);
    const db::Field& codigo = q.field("Codigo");
    const db::Field& razon = q.field("Razon Social");
    EXPECT_EQ(codigo.type(), db::FieldType::Int32);
    EXPECT_EQ(q.field("Antiguedad").type(), db::FieldType::DateTime);  // stamp, mapped
    EXPECT_EQ(q.field("Descuento PP").type(), db::FieldType::Double);
    bool seen = false;
    for (int r = 0; r < q.recordCount(); ++r) {
        if (q.rowValue(r, codigo.index()).toInt() != 4) continue;
        seen = true;
        EXPECT_EQ(q.rowValue(r, razon.index()).toString(),
                  QString::fromUtf8("Cer\xc3\xa1micas Vall d'Uix\xc3\xb3 S.A."));
    }
    EXPECT_TRUE(seen);
    // Declared fields are checked against the driver's metadata.
    db::Dataset typed("qimpuestos", &conexion);
    typed.setSql({"select * from [Tipos de Impuestos]"});
    typed.addField("Codigo", db::FieldType::Int32);
    typed.addField("Nombre", db::FieldType::Text, 40);
    typed.addField("IVA", db::FieldType::Double);
    typed.addField("Nombre", db::FieldType::Boolean);
    try {
        typed.open();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_STREQ(
            e.what(),
            "qimpuestos: Type mismatch for field 'Nombre', expecting: Yes/No actual: Text");
    }
    EXPECT_EQ(conexion.openDatasets(), QList<db::Dataset*>{&q});
}

TEST_F(OdbcRouteTest, DriverErrorsCarryTheDriverText) {
    db::Connection conexion;
    conexion.setParams({"DriverID=MSAcc", "Database=" + file});
    db::Dataset q("q", &conexion);
    q.setSql({"select from where"});
    try {
        q.open();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
        EXPECT_EQ(std::string(e.what()).find("ODBC call failed"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(conexion.connected());
    EXPECT_FALSE(q.isActive());

    conexion.setParams({"DriverID=MSAcc", "Database=" + dir.filePath("missing.mdb")});
    EXPECT_FALSE(conexion.connected());
    EXPECT_THROW(conexion.connect(), db::Error);
    EXPECT_FALSE(conexion.connected());
}

TEST_F(OdbcRouteTest, WithoutAnAccessDriverTheEmbeddedRouteIsChosen) {
    dbtest::registerOdbcDriver("MDBTools");
    EXPECT_TRUE(db::installedOdbcDrivers().contains("MDBTools"));
    EXPECT_EQ(db::chooseAccessDriver(db::installedOdbcDrivers()), "");
    // Names are compared ignoring case.
    dbtest::registerOdbcDriver("microsoft access driver (*.MDB)");
    EXPECT_EQ(db::makeDefaultRoute()->kind(), "ODBC");
    dbtest::registerOdbcDriver("");
    EXPECT_TRUE(db::installedOdbcDrivers().isEmpty());
    std::unique_ptr<db::Route> route;
    try {
        route = db::makeDefaultRoute();
    } catch (const db::Error& e) {
        ASSERT_EQ(e.kind(), precios::ErrorKind::NotSupported) << e.what();
        GTEST_SKIP() << "embedded engine not in this build: " << e.what();
    }
    EXPECT_EQ(route->kind(), "embedded");
}

}  // namespace
