// The ODBC route against the real driver manager, with the mdbtools driver
// registered under one of the Access driver names in a private odbcinst.ini.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "db/db.h"
#include "odbc_route.h"

namespace {

const QString kFixtures = QStringLiteral(PRECIOS_FIXTURES_DIR);

class OdbcRouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(MDBTOOLS_ODBC_DRIVER)) GTEST_SKIP() << "mdbtools ODBC driver not installed";
        if (!QFile::exists(kFixtures + "/store.mdb")) GTEST_SKIP() << "fixtures absent: " << PRECIOS_FIXTURES_DIR;
        ASSERT_TRUE(dir.isValid());
        registerDriver("Microsoft Access Driver (*.mdb)");
        file = dir.filePath("store.mdb");
        ASSERT_TRUE(QFile::copy(kFixtures + "/store.mdb", file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    // Points the driver manager at a private odbcinst.ini naming `name`
    // (nothing when name is empty).
    void registerDriver(const QString& name) {
        QFile ini(dir.filePath("odbcinst.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!name.isEmpty())
            ini.write(QStringLiteral("[%1]\nDescription=mdbtools\nDriver=%2\n")
                          .arg(name, MDBTOOLS_ODBC_DRIVER)
                          .toUtf8());
        ini.close();
        QFile(dir.filePath("odbc.ini")).open(QIODevice::WriteOnly);
        qputenv("ODBCSYSINI", dir.path().toLocal8Bit());
        qputenv("ODBCINI", dir.filePath("odbc.ini").toLocal8Bit());
    }
    QTemporaryDir dir;
    QString file;
};

TEST_F(OdbcRouteTest, RegisteredAccessDriverIsChosenAndReads) {
    EXPECT_TRUE(db::installedOdbcDrivers().contains("Microsoft Access Driver (*.mdb)"));
    EXPECT_EQ(db::chooseAccessDriver(db::installedOdbcDrivers()), "Microsoft Access Driver (*.mdb)");

    db::Connection conexion;  // default route factory
    conexion.setParams({"DriverID=MSAcc", "Database=" + file});
    db::Dataset q("qimpuestos", &conexion);
    q.setSql({"select * from [Tipos de Impuestos]"});
    q.open();
    auto* route = dynamic_cast<db::OdbcRoute*>(conexion.currentRoute());
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->connectString(),
              "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + file + ";ExtendedAnsiSQL=1");
    for (const auto& f : q.fields())
        std::printf("%s type %d size %d\n", qPrintable(f->name()), int(f->type()), f->size());
    q.fetchAll();
    EXPECT_EQ(q.recordCount(), 5);
    EXPECT_EQ(q.field("Nombre").asString(), "General");

    db::Dataset a("ARTICULOS", &conexion);
    a.setSql({"select * from Articulos where Referencia = ?"});
    try {
        auto c = conexion.route().query("select * from Articulos where Referencia = 'M00003'", {});
        int n = 0;
        while (c->next()) { ++n; for (auto& v : c->row()) std::printf("[%s:%s] ", v.typeName(), qPrintable(v.toString().left(30))); }
        std::printf("param rows %d\n", n);
        for (auto& col : c->columns()) std::printf("%s %d %d\n", qPrintable(col.name), int(col.type), col.size);
    } catch (const std::exception& e) {
        std::printf("param error %s\n", e.what());
    }
}

}  // namespace
