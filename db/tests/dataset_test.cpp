// Datasets over the in-memory route: the field check, master and detail,
// the pending edit, notifications and lazy fetching.
#include <gtest/gtest.h>

#include <QLocale>

#include "db/db.h"
#include "fake_route.h"

using db::ColumnInfo;
using db::ColumnType;
using db::DatasetState;
using db::FieldType;
using dbtest::FakeState;

namespace {

class DatasetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        auto& t = state->table("Articulos");
        t.columns = {{"Referencia", ColumnType::Text, 25},    {"Descripcion", ColumnType::Text, 60},
                     {"Tipo Impuesto", ColumnType::Int32, 0}, {"PVP 1", ColumnType::Double, 0},
                     {"Stock", ColumnType::Single, 0},        {"Fecha Alta", ColumnType::Stamp, 0},
                     {"Extra", ColumnType::Text, 10}};
        const QDateTime d(QDate(2020, 5, 1), QTime(0, 0), Qt::UTC);
        t.rows = {{"B1", "BETA", 1, 2.5, 3.0, d, "x"},
                  {"A1", "ALFA", 2, QVariant(), 1.0, d, "y"},
                  {"C1", "GAMMA", 1, 10.0, 2.0, QVariant(), "z"},
                  {"D1", QVariant(), 1, 1.0, 2.0, d, "w"}};
        conexion.setRouteFactory(dbtest::fakeFactory(state));
        conexion.setParams({"DriverID=MSAcc", "Database=/tmp/x.mdb"});

        qarticulos.setSql(
            {"select referencia,descripcion,[Tipo Impuesto] from articulos order by descripcion"});
        qarticulos.addField("referencia", FieldType::Text, 25);
        qarticulos.addField("descripcion", FieldType::Text, 60);
        qarticulos.addField("Tipo Impuesto", FieldType::Int32);

        ARTICULOS.setTable("Articulos", "Referencia");
        ARTICULOS.setMaster(&dsqarticulos, "referencia", "Referencia");
        ARTICULOS.addField("Referencia", FieldType::Text, 25);
        ARTICULOS.addField("Descripcion", FieldType::Text, 60);
        ARTICULOS.addField("Tipo Impuesto", FieldType::Int32);
        ARTICULOS.addField("PVP 1", FieldType::Double)->setDisplayFormat("#0.0000000");
        ARTICULOS.addField("Stock", FieldType::Double);
        ARTICULOS.addField("Fecha Alta", FieldType::DateTime);
    }
    void openBoth() {
        qarticulos.open();
        ARTICULOS.open();
    }
    QString updates() const { return state->log.filter("UPDATE").join("\n"); }

    std::shared_ptr<FakeState> state = std::make_shared<FakeState>();
    db::Connection conexion;
    db::Dataset qarticulos{"qarticulos", &conexion};
    db::Dataset ARTICULOS{"ARTICULOS", &conexion};
    db::DataSource dsqarticulos{"dsqarticulos", &qarticulos};
    db::DataSource DSARTICULOS{"DSARTICULOS", &ARTICULOS};
};

TEST_F(DatasetTest, FieldCheckFailuresNameTheDatasetAndKeepItClosed) {
    ARTICULOS.addField("Trazabilidad", FieldType::Boolean);
    qarticulos.open();
    try {
        ARTICULOS.open();
        FAIL() << "opened without Trazabilidad";
    } catch (const db::Error& e) {
        EXPECT_EQ(std::string(e.what()), "ARTICULOS: Field 'Trazabilidad' not found");
    }
    EXPECT_FALSE(ARTICULOS.isActive());
    EXPECT_TRUE(qarticulos.isActive());
    EXPECT_TRUE(conexion.connected());

    db::Dataset q("qtipos", &conexion);
    q.setSql({"select * from Articulos"});
    q.addField("Referencia", FieldType::Text, 25);
    q.addField("Descripcion", FieldType::Int32);
    try {
        q.open();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "qtipos: Type mismatch for field 'Descripcion', expecting: Long Integer actual: Text");
    }
    EXPECT_FALSE(q.isActive());
}

TEST_F(DatasetTest, MapRulesAndTextLengths) {
    // Single and stamp columns match double and date-time fields; names
    // match ignoring case; extra columns get no field.
    auto& t = state->table("Articulos");
    t.columns[1].size = 40;
    openBoth();
    EXPECT_EQ(ARTICULOS.field("Descripcion").size(), 40);
    EXPECT_EQ(ARTICULOS.findField("Extra"), nullptr);
    EXPECT_EQ(ARTICULOS.field("stock").value().metaType().id(), QMetaType::Double);
    EXPECT_EQ(ARTICULOS.field("Fecha Alta").asDateTime().date(), QDate(2020, 5, 1));
    conexion.close();
    t.columns[1].size = 100;
    openBoth();
    EXPECT_EQ(ARTICULOS.field("Descripcion").size(), 60);

    // Without the map rule a Single would be its own kind.
    EXPECT_EQ(db::Connection::mapType(ColumnType::Single), ColumnType::Double);
    EXPECT_EQ(db::Connection::mapType(ColumnType::Stamp), ColumnType::DateTime);
    EXPECT_EQ(db::Connection::mapType(ColumnType::Currency), ColumnType::Currency);
}

TEST_F(DatasetTest, DetailFollowsTheMasterWithAParameterisedRead) {
    openBoth();
    // Ordered by descripcion: ALFA, BETA, GAMMA, then the NULL description first.
    ASSERT_EQ(qarticulos.currentRow(), 0);
    EXPECT_EQ(qarticulos.field("referencia").asString(), "D1");
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "D1");
    EXPECT_EQ(state->log.last(),
              "SELECT * FROM [Articulos] WHERE [Referencia] = ? ORDER BY [Referencia]");
    EXPECT_EQ(state->paramLog.last(), QVariantList{"D1"});
    qarticulos.next();
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "A1");
    EXPECT_TRUE(ARTICULOS.field("PVP 1").isNull());
    EXPECT_EQ(ARTICULOS.field("PVP 1").displayText(), "");
    qarticulos.moveTo(2);
    EXPECT_EQ(ARTICULOS.field("PVP 1").displayText(), "2,5000000");
    qarticulos.last();
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "C1");
    EXPECT_TRUE(qarticulos.eof());

    // A master row whose item is gone leaves the record empty.
    state->table("Articulos").rows.removeAt(1);  // A1
    qarticulos.first();
    qarticulos.next();
    EXPECT_TRUE(ARTICULOS.isEmpty());
    EXPECT_EQ(ARTICULOS.currentRow(), -1);
    EXPECT_TRUE(ARTICULOS.field("Referencia").isNull());

    // A closed master releases the detail, which keeps its row.
    qarticulos.moveTo(3);
    qarticulos.close();
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "C1");
}

TEST_F(DatasetTest, PendingEditIsWrittenWhenTheMasterMoves) {
    openBoth();
    qarticulos.moveTo(1);  // A1
    ASSERT_TRUE(DSARTICULOS.edit());
    ARTICULOS.field("Descripcion").setValue("ALFA NUEVA");
    ARTICULOS.field("PVP 1").setValue(1.25);
    EXPECT_EQ(ARTICULOS.field("Descripcion").asString(), "ALFA NUEVA");
    qarticulos.next();
    EXPECT_EQ(updates(),
              "UPDATE [Articulos] SET [Descripcion] = ?, [PVP 1] = ? WHERE [Referencia] = ?");
    EXPECT_EQ(state->paramLog[state->log.indexOf(updates())],
              (QVariantList{"ALFA NUEVA", 1.25, "A1"}));
    EXPECT_EQ(ARTICULOS.state(), DatasetState::Browse);
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "B1");
    // The list shows its old reading until it is read again.
    EXPECT_EQ(qarticulos.rowValue(1, 1).toString(), "ALFA");
}

TEST_F(DatasetTest, AssigningTheSameValueStillWritesAndNoAssignmentWritesNothing) {
    openBoth();
    ARTICULOS.edit();
    qarticulos.next();
    EXPECT_TRUE(updates().isEmpty());
    EXPECT_EQ(ARTICULOS.state(), DatasetState::Browse);

    ARTICULOS.edit();
    ARTICULOS.field("Tipo Impuesto").setValue(ARTICULOS.field("Tipo Impuesto").value());
    EXPECT_TRUE(ARTICULOS.modified());
    qarticulos.close();  // closing the list settles the record first
    EXPECT_EQ(updates(), "UPDATE [Articulos] SET [Tipo Impuesto] = ? WHERE [Referencia] = ?");
}

TEST_F(DatasetTest, AFailedWriteKeepsTheEditAndTheMasterRow) {
    openBoth();
    ARTICULOS.edit();
    ARTICULOS.field("Descripcion").setValue("X");
    for (int changed : {0, 2}) {
        state->forcedRowsChanged = changed;
        EXPECT_THROW(qarticulos.next(), db::Error) << changed;
        EXPECT_EQ(qarticulos.currentRow(), 0);
        EXPECT_EQ(ARTICULOS.state(), DatasetState::Edit);
        EXPECT_EQ(ARTICULOS.field("Descripcion").asString(), "X");
    }
    state->forcedRowsChanged = 0;
    EXPECT_THROW(qarticulos.close(), db::Error);
    EXPECT_TRUE(qarticulos.isActive());
    // Settled for real now: written, then the list moves.
    qarticulos.next();
    EXPECT_EQ(state->table("Articulos").rows[3][1].toString(), "X");
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "A1");
}

TEST_F(DatasetTest, AnEditMadeWhileTheListWasClosedIsSettledBeforeItReopens) {
    openBoth();
    qarticulos.next();  // A1
    qarticulos.close();
    ARTICULOS.edit();
    ARTICULOS.field("Descripcion").setValue("SUELTA");
    state->forcedRowsChanged = 0;
    EXPECT_THROW(qarticulos.open(), db::Error);
    EXPECT_FALSE(qarticulos.isActive());
    EXPECT_EQ(ARTICULOS.state(), DatasetState::Edit);
    qarticulos.open();
    EXPECT_EQ(state->paramLog[state->log.lastIndexOf(updates().section('\n', -1))],
              (QVariantList{"SUELTA", "A1"}));
    EXPECT_EQ(ARTICULOS.state(), DatasetState::Browse);
    EXPECT_EQ(ARTICULOS.field("Referencia").asString(), "D1");
}

TEST_F(DatasetTest, PostWritesTheRowTheRecordWasReadFrom) {
    openBoth();
    ARTICULOS.edit();
    ARTICULOS.field("Referencia").setValue("NEW");
    ARTICULOS.post();
    EXPECT_EQ(state->paramLog.last(), (QVariantList{"NEW", "D1"}));
    EXPECT_THROW(ARTICULOS.field("PVP 1").setValue(3.0), db::Error);  // browsing
    EXPECT_THROW(qarticulos.post(), db::Error);
    qarticulos.edit();
    qarticulos.field("descripcion").setValue("Q");
    EXPECT_THROW(qarticulos.post(), db::Error);  // a query result is read-only
    qarticulos.cancel();
    EXPECT_THROW(ARTICULOS.field("Tipo Impuesto").setValue("abc"), db::Error);
}

TEST_F(DatasetTest, NotificationsComeInOrder) {
    QStringList events;
    QObject::connect(&DSARTICULOS, &db::DataSource::controlsUpdate, [&](db::Field* f) {
        events << (f ? "controls:" + f->name() : QString("controls"));
    });
    QObject::connect(&DSARTICULOS, &db::DataSource::stateChanged,
                     [&] { events << "state:" + QString::number(int(ARTICULOS.state())); });
    QObject::connect(&DSARTICULOS, &db::DataSource::dataChanged,
                     [&](db::Field* f) { events << (f ? "data:" + f->name() : QString("data")); });
    QObject::connect(&DSARTICULOS, &db::DataSource::updateData, [&] { events << "update"; });
    openBoth();
    EXPECT_EQ(events, (QStringList{"controls", "state:1", "data"}));
    events.clear();
    qarticulos.next();
    EXPECT_EQ(events, (QStringList{"controls", "data"}));
    events.clear();
    DSARTICULOS.edit();
    ARTICULOS.field("Tipo Impuesto").setValue(2);
    ARTICULOS.post();
    EXPECT_EQ(events, (QStringList{"controls", "state:2", "data", "controls:Tipo Impuesto",
                                   "data:Tipo Impuesto", "update", "controls", "state:1", "data"}));
    events.clear();
    DSARTICULOS.edit();
    ARTICULOS.cancel();
    ARTICULOS.close();
    EXPECT_EQ(events, (QStringList{"controls", "state:2", "data", "controls", "state:1", "data",
                                   "controls", "state:0"}));
    events.clear();
    DSARTICULOS.setAutoEdit(false);
    EXPECT_FALSE(DSARTICULOS.edit());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(DatasetTest, ConnectionClosesLastOpenedFirstAndConnectsOnDemand) {
    EXPECT_FALSE(conexion.connected());
    openBoth();
    EXPECT_EQ(state->opens, 1);
    EXPECT_EQ(state->opened.last(), "/tmp/x.mdb");
    // The list reopened after the record: closing it first writes the edit.
    qarticulos.close();
    qarticulos.open();
    ARTICULOS.edit();
    ARTICULOS.field("Descripcion").setValue("KEPT");
    conexion.clearParams();
    EXPECT_FALSE(conexion.connected());
    EXPECT_FALSE(qarticulos.isActive());
    EXPECT_FALSE(ARTICULOS.isActive());
    EXPECT_EQ(updates().count("UPDATE"), 1);
    EXPECT_TRUE(conexion.params().isEmpty());

    // With the record opened last, it closes first and its edit is dropped.
    conexion.setParams({"DriverID=MSAcc", "Database=/tmp/y.mdb"});
    openBoth();
    EXPECT_EQ(state->opened.last(), "/tmp/y.mdb");
    ARTICULOS.edit();
    ARTICULOS.field("Descripcion").setValue("DROPPED");
    conexion.close();
    EXPECT_EQ(updates().count("UPDATE"), 1);

    openBoth();
    qarticulos.close();
    qarticulos.open();
    ARTICULOS.edit();
    ARTICULOS.field("Descripcion").setValue("DROPPED");
    conexion.closeDiscardingEdits();
    EXPECT_EQ(updates().count("UPDATE"), 1);
    EXPECT_EQ(state->closes, 3);

    conexion.clearParams();
    EXPECT_THROW(qarticulos.open(), db::Error);
    state->failOpen = "cannot open";
    conexion.setParams({"Database=/tmp/z.mdb"});
    try {
        qarticulos.open();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_STREQ(e.what(), "cannot open");
    }
    EXPECT_FALSE(conexion.connected());
}

TEST_F(DatasetTest, RowsAreFetchedOnDemand) {
    auto& t = state->table("Articulos");
    for (int i = 0; i < 500; ++i)
        t.rows.append({QString("R%1").arg(i, 3, 10, QChar('0')),
                       QString("Z%1").arg(i, 3, 10, QChar('0')), 1, 1.0, 1.0, QVariant(), ""});
    int before = -1, after = -1;
    QObject::connect(&qarticulos, &db::Dataset::rowsFetched, [&](int b, int a) {
        before = b;
        after = a;
    });
    qarticulos.open();
    EXPECT_EQ(qarticulos.recordCount(), 1);
    EXPECT_TRUE(qarticulos.canFetchMore());
    EXPECT_EQ(qarticulos.fetchMore(50), 50);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 51);
    qarticulos.moveTo(200);
    EXPECT_EQ(qarticulos.recordCount(), 201);
    EXPECT_EQ(qarticulos.field("descripcion").asString(), "Z196");
    qarticulos.moveTo(10000);
    EXPECT_EQ(qarticulos.recordCount(), 504);
    EXPECT_EQ(qarticulos.currentRow(), 503);
    EXPECT_TRUE(qarticulos.eof());
    EXPECT_FALSE(qarticulos.canFetchMore());
}

TEST(DatasetPlain, ExecSqlAndFieldsMadeFromColumns) {
    auto state = std::make_shared<FakeState>();
    auto& t = state->table("T");
    t.columns = {{"K", ColumnType::Int32, 0}, {"V", ColumnType::Text, 5}};
    t.rows = {{1, "a"}, {2, "b"}};
    db::Connection c;
    c.setRouteFactory(dbtest::fakeFactory(state));
    c.setParams({"DriverID=MSAcc", "Database=f.mdb"});
    db::Dataset q("q", &c);
    q.setSql({"UPDATE [T] SET [V] = ?", " WHERE [K] = ?"});
    EXPECT_EQ(q.statementText(), "UPDATE [T] SET [V] = ?\r\n WHERE [K] = ?");
    q.setSql({"select * from T order by K"});
    q.open();
    ASSERT_EQ(q.fields().size(), 2u);
    EXPECT_EQ(q.fields()[1]->size(), 5);
    EXPECT_EQ(q.fields()[0]->type(), FieldType::Int32);
    EXPECT_EQ(q.field("v").asString(), "a");
    q.close();
    q.setSql({});
    EXPECT_THROW(q.open(), db::Error);
}

}  // namespace

namespace {

// Regression: a detail whose master's data source went first (reverse
// declaration order) must not reach for it.
TEST(DatasetPlain, DetailOutlivesTheMasterSource) {
    auto state = std::make_shared<FakeState>();
    auto& t = state->table("T");
    t.columns = {{"K", ColumnType::Int32, 0}};
    t.rows = {{1}, {2}};
    db::Connection c;
    c.setRouteFactory(dbtest::fakeFactory(state));
    c.setParams({"Database=f.mdb"});
    db::Dataset master("master", &c);
    master.setSql({"select * from T"});
    db::Dataset detail("detail", &c);
    detail.setTable("T", "K");
    auto* source = new db::DataSource("source", &master);
    detail.setMaster(source, "K", "K");
    delete source;
    master.open();
    detail.open();  // no longer a detail: the whole table
    detail.fetchAll();
    EXPECT_EQ(detail.recordCount(), 2);
    master.next();
    EXPECT_EQ(detail.currentRow(), 0);
}

}  // namespace
