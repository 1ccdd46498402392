// The pure parts: driver choice, connect string, dates and display texts.
#include <gtest/gtest.h>

#include "db/db.h"

TEST(Routes, ChoosesTheFirstPreferredAccessDriverIgnoringCase) {
    EXPECT_EQ(db::chooseAccessDriver({}), "");
    EXPECT_EQ(db::chooseAccessDriver({"SQL Server", "MDBTools"}), "");
    EXPECT_EQ(db::chooseAccessDriver({"microsoft access-treiber (*.mdb)", "SQL Server",
                                      "Driver do Microsoft Access (*.mdb)"}),
              "Driver do Microsoft Access (*.mdb)");
    EXPECT_EQ(db::chooseAccessDriver(
                  {"Microsoft Access Driver (*.mdb)", "MICROSOFT ACCESS DRIVER (*.MDB, *.ACCDB)"}),
              "MICROSOFT ACCESS DRIVER (*.MDB, *.ACCDB)");
    EXPECT_EQ(db::chooseAccessDriver({"Microsoft Access Driver (*.mdb) "}), "");
    EXPECT_EQ(db::accessDriverNames().size(), 4);
    EXPECT_EQ(
        db::odbcConnectString("Microsoft Access Driver (*.mdb)", "C:\\Tienda\\Base Datos.mdb"),
        "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=C:\\Tienda\\Base "
        "Datos.mdb;ExtendedAnsiSQL=1");
}

TEST(Routes, OleDatesRoundTrip) {
    const QDate epoch(1899, 12, 30);
    EXPECT_EQ(db::fromOleDays(0), QDateTime(epoch, QTime(0, 0), Qt::UTC));
    EXPECT_EQ(db::fromOleDays(45000.5), QDateTime(QDate(2023, 3, 15), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(db::fromOleDays(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC));
    EXPECT_EQ(db::fromOleDays(1.9999999999), QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
    for (double d : {0.0, 1.5, 45291.99998842592, -1.25, -700.75, 2958465.0}) {
        EXPECT_NEAR(db::toOleDays(db::fromOleDays(d)), d, 1e-8) << d;
    }
    EXPECT_THROW(db::fromOleDays(1e300), db::Error);
}

TEST(Routes, OpenElsewhereIsWordedByTheToolWithEachComputerOnce) {
    EXPECT_EQ(db::openElsewhereMessage({"CAJA1", "CAJA2", "CAJA1"}),
              "La base de datos está abierta en otro equipo (CAJA1, CAJA2). Ciérrela allí o use "
              "el controlador ODBC de Microsoft Access para modificarla ahora.");
    EXPECT_EQ(db::openElsewhereMessage({"", "OFICINA", ""}),
              "La base de datos está abierta en otro equipo (desconocido, OFICINA). Ciérrela "
              "allí o use el controlador ODBC de Microsoft Access para modificarla ahora.");
    // A wrapping error keeps the names of the error it wraps.
    const precios::Error engine("open elsewhere", db::ErrorKind::OpenElsewhere,
                                std::vector<std::string>{"CAJA1"});
    const db::Error wrapped("could not save", db::ErrorKind::OpenElsewhere, engine);
    EXPECT_EQ(wrapped.names(), std::vector<std::string>{"CAJA1"});
    EXPECT_EQ(wrapped.inner()->message(), "open elsewhere");
}
