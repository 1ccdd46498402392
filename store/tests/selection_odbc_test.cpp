// The selection sequence through the ODBC route, with the mdbtools driver
// registered under an Access driver name: the driver's errors reach the
// user behind the prefix.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "odbc_registration.h"
#include "odbc_route.h"
#include "store_files.h"
#include "store_model.h"

using store::SelectionResult;

namespace {

TEST(SelectionOdbc, DriverErrorsAreShownBehindThePrefix) {
    if (!QFile::exists(MDBTOOLS_ODBC_DRIVER)) GTEST_SKIP() << "mdbtools ODBC driver not installed";
    dbtest::registerOdbcDriver("Driver do Microsoft Access (*.mdb)");
    QTemporaryDir dir;
    const QString file = dir.filePath("store.mdb");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(jet::testing::storeFile("store.mdb")), file));

    store::StoreModel m;  // the default route choice
    QStringList answers{file, dir.filePath("missing.mdb")}, messages;
    store::SelectionSeams seams;
    seams.chooseFile = [&](const QString&) { return std::optional<QString>(answers.takeFirst()); };
    seams.showMessage = [&](const QString& text) { messages.append(text); };

    // mdbtools connects but cannot parse the list's ORDER BY: the driver's
    // own text follows the prefix, and the connection stays connected.
    EXPECT_EQ(store::runSelection(m, store::kFormShowPrefix, seams), SelectionResult::Failed);
    auto* route = dynamic_cast<db::OdbcRoute*>(m.conexion.currentRoute());
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->connectString(),
              "DRIVER={Driver do Microsoft Access (*.mdb)};DBQ=" + file + ";ExtendedAnsiSQL=1");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Error al conectar: Couldn't parse SQL");
    EXPECT_TRUE(m.conexion.openDatasets().isEmpty());

    EXPECT_EQ(store::runSelection(m, store::kButton2Prefix, seams), SelectionResult::Failed);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].startsWith(store::kButton2Prefix)) << messages[1].toStdString();
    EXPECT_GT(messages[1].size(), store::kButton2Prefix.size());
    EXPECT_FALSE(m.conexion.connected());
}

}  // namespace
