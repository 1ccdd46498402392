// The store model's shape and the selection sequence over the in-memory
// route: cancelling, prefixes, the pending edit on switching.
#include "store_model.h"

#include <gtest/gtest.h>

#include "fake_route.h"
#include "search_statement.h"

using db::ColumnType;
using db::FieldType;
using store::SelectionResult;
using store::StoreModel;

namespace {

ColumnType columnTypeFor(FieldType t) {
    switch (t) {
        case FieldType::Text:
            return ColumnType::Text;
        case FieldType::Int32:
            return ColumnType::Int32;
        case FieldType::Int16:
            return ColumnType::Int16;
        case FieldType::Double:
            return ColumnType::Double;
        case FieldType::Boolean:
            return ColumnType::Boolean;
        case FieldType::DateTime:
            return ColumnType::Stamp;
        case FieldType::Memo:
            return ColumnType::Memo;
    }
    return ColumnType::Unknown;
}

// A table with exactly the declared columns of `ds`, rows filled by `row`.
dbtest::FakeTable tableFor(const db::Dataset& ds, int rows,
                           const std::function<QVariant(int, const db::Field&)>& value) {
    dbtest::FakeTable t;
    for (const auto& f : ds.fields())
        t.columns.append({f->name(), columnTypeFor(f->type()), f->size()});
    for (int r = 0; r < rows; ++r) {
        QVariantList row;
        for (const auto& f : ds.fields()) row.append(value(r, *f));
        t.rows.append(row);
    }
    return t;
}

class SelectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto filler = [](int r, const db::Field& f) -> QVariant {
            if (f.name() == "Referencia") return QString("R%1").arg(r);
            if (f.name() == "Descripcion") return QString("D%1").arg(9 - r);
            if (f.name() == "Codigo") return r + 1;
            if (f.name() == "Razon Social") return QString("S%1").arg(r);
            return QVariant();
        };
        state->table("Articulos") = tableFor(m.ARTICULOS, 10, filler);
        state->table("Tipos de Impuestos") = tableFor(m.qimpuestos, 5, filler);
        state->table("proveedores") = tableFor(m.qproveedores, 4, filler);
        seams.chooseFile = [this](const QString& last) {
            offered.append(last);
            return answers.isEmpty() ? std::optional<QString>()
                                     : std::optional<QString>(answers.takeFirst());
        };
        seams.showMessage = [this](const QString& text) { messages.append(text); };
        seams.focusSearch = [this] { ++focus; };
    }
    SelectionResult select(const QString& prefix = store::kButton2Prefix) {
        return store::runSelection(m, prefix, seams);
    }

    std::shared_ptr<dbtest::FakeState> state = std::make_shared<dbtest::FakeState>();
    StoreModel m{dbtest::fakeFactory(state)};
    store::SelectionSeams seams;
    QStringList answers, offered, messages;
    int focus = 0;
};

TEST(StoreModelShape, DeclaredFieldsStatementsAndLinks) {
    StoreModel m;
    EXPECT_EQ(m.qarticulos.fields().size(), 3u);
    EXPECT_EQ(m.ARTICULOS.fields().size(), 77u);
    EXPECT_EQ(m.qimpuestos.fields().size(), 5u);
    EXPECT_EQ(m.qproveedores.fields().size(), 50u);
    EXPECT_TRUE(m.qcambiartickets.fields().empty());
    EXPECT_TRUE(m.qcambiartickets.sql().isEmpty());
    EXPECT_EQ(m.ARTICULOS.fields()[60]->name(), QString::fromUtf8("Tama\xc3\xb1o"));
    EXPECT_EQ(m.ARTICULOS.fields()[60]->type(), FieldType::Int16);
    EXPECT_EQ(m.ARTICULOS.fields()[66]->name(), "Precio Compra Proveedor 1");
    EXPECT_EQ(m.ARTICULOS.fields()[76]->name(), "Trazabilidad");
    EXPECT_EQ(m.qproveedores.fields()[48]->name(), "IBAN");
    EXPECT_EQ(m.qproveedores.fields()[48]->size(), 4);
    for (const auto& f : m.ARTICULOS.fields()) {
        const bool price = f->name() == "PVP 1" || f->name() == "PVP 2" ||
                           f->name() == "Precio Compra Proveedor 1";
        EXPECT_EQ(f->displayFormat(), price ? "#0.0000000" : "") << f->name().toStdString();
    }
    EXPECT_EQ(m.qarticulos.sql(), browse::listStatement());
    EXPECT_EQ(m.qimpuestos.statementText(), "select * from [Tipos de Impuestos] order by [Codigo]");
    EXPECT_EQ(m.qproveedores.statementText(), "select * from proveedores order by [Razon Social]");
    EXPECT_EQ(m.ARTICULOS.tableName(), "Articulos");
    EXPECT_EQ(m.conexion.params(), QStringList{"DriverID=MSAcc"});
    EXPECT_EQ(m.DSARTICULOS.dataset(), &m.ARTICULOS);
    EXPECT_TRUE(m.DSARTICULOS.autoEdit());
    EXPECT_EQ(store::kFormShowPrefix.size(), 19);
    EXPECT_EQ(store::kButton2Prefix.size(), 33);
}

TEST_F(SelectionTest, CancelAtStartThenChooseAFile) {
    EXPECT_EQ(select(store::kFormShowPrefix), SelectionResult::Cancelled);
    EXPECT_FALSE(m.conexion.connected());
    EXPECT_EQ(focus, 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(m.conexion.params(), QStringList{"DriverID=MSAcc"});

    answers << "/data/tienda.mdb";
    EXPECT_EQ(select(), SelectionResult::Opened);
    EXPECT_EQ(m.conexion.params(), (QStringList{"DriverID=MSAcc", "Database=/data/tienda.mdb"}));
    EXPECT_EQ(m.conexion.openDatasets(),
              (QList<db::Dataset*>{&m.qarticulos, &m.qimpuestos, &m.qproveedores, &m.ARTICULOS}));
    EXPECT_EQ(m.qarticulos.field("referencia").asString(), "R9");  // D0 sorts first
    EXPECT_EQ(m.ARTICULOS.field("Referencia").asString(), "R9");
    EXPECT_EQ(focus, 1);
    EXPECT_TRUE(messages.isEmpty());

    // Cancelling while connected changes nothing; the dialog is offered the last path.
    m.qarticulos.next();
    m.ARTICULOS.edit();
    m.ARTICULOS.field("Descripcion").setValue("PENDIENTE");
    EXPECT_EQ(select(), SelectionResult::Cancelled);
    EXPECT_EQ(offered.last(), "/data/tienda.mdb");
    EXPECT_EQ(m.ARTICULOS.state(), db::DatasetState::Edit);
    EXPECT_EQ(m.qarticulos.currentRow(), 1);
    EXPECT_EQ(state->opens, 1);
    EXPECT_EQ(focus, 1);
}

TEST_F(SelectionTest, PendingEditIsWrittenToTheOldDatabaseBeforeTheSwitch) {
    answers << "/data/a.mdb";
    select();
    m.ARTICULOS.edit();
    m.ARTICULOS.field("Descripcion").setValue("CAMBIADA");

    // The write fails: no switch, the edit stays pending on the old file.
    state->forcedRowsChanged = 0;
    answers << "/data/b.mdb";
    EXPECT_EQ(select(), SelectionResult::Failed);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Error al abrir la base de datos: ARTICULOS: "))
        << messages[0].toStdString();
    EXPECT_EQ(m.conexion.database(), "/data/a.mdb");
    EXPECT_TRUE(m.ARTICULOS.isActive());
    EXPECT_EQ(m.ARTICULOS.state(), db::DatasetState::Edit);
    EXPECT_EQ(state->opens, 1);

    answers << "/data/b.mdb";
    EXPECT_EQ(select(), SelectionResult::Opened);
    EXPECT_EQ(state->opened, (QStringList{"/data/a.mdb", "/data/b.mdb"}));
    // The first UPDATE was the failed attempt; the second one wrote.
    const int write = state->log.lastIndexOf(QRegularExpression("^UPDATE.*"));
    ASSERT_GE(write, 0);
    EXPECT_EQ(state->paramLog[write], (QVariantList{"CAMBIADA", "R9"}));
    // Written before the switch: the next statement is the new file's list.
    EXPECT_EQ(state->log[write + 1], browse::listStatement().join("\r\n"));
    EXPECT_EQ(state->log.filter("UPDATE").size(), 2);
}

TEST_F(SelectionTest, FailuresShowThePrefixAndLeaveEarlierDatasetsOpen) {
    answers << "/data/a.mdb";
    select();
    // A failed connect closes the old database.
    state->failOpen = "Could not find file '/data/x.mdb'.";
    answers << "/data/x.mdb";
    EXPECT_EQ(select(), SelectionResult::Failed);
    EXPECT_EQ(messages.last(),
              "Error al abrir la base de datos: Could not find file '/data/x.mdb'.");
    EXPECT_FALSE(m.conexion.connected());
    EXPECT_TRUE(m.conexion.openDatasets().isEmpty());
    EXPECT_EQ(m.abrircarpetaFileName, "/data/x.mdb");

    // The tax-type table is missing: the list stays open, the others closed.
    state->failOpen.clear();
    state->tables.remove("tipos de impuestos");
    answers << "/data/a.mdb";
    EXPECT_EQ(select(store::kFormShowPrefix), SelectionResult::Failed);
    EXPECT_EQ(messages.last(), "Error al conectar: Table 'Tipos de Impuestos' not found");
    EXPECT_TRUE(m.conexion.connected());
    EXPECT_EQ(m.conexion.openDatasets(), QList<db::Dataset*>{&m.qarticulos});
    EXPECT_EQ(focus, 1);
}

TEST_F(SelectionTest, ChoosingTheSameFileAgainRereadsWithTheCurrentStatement) {
    answers << "/data/a.mdb";
    select();
    m.qarticulos.close();
    m.qarticulos.setSql(
        {"select referencia,descripcion,[Tipo Impuesto] from articulos order by referencia"});
    m.qarticulos.open();
    m.qarticulos.moveTo(3);
    answers << "/data/a.mdb";
    EXPECT_EQ(select(), SelectionResult::Opened);
    EXPECT_EQ(state->opens, 2);
    EXPECT_EQ(state->closes, 1);
    EXPECT_EQ(m.qarticulos.currentRow(), 0);
    EXPECT_EQ(m.qarticulos.field("referencia").asString(), "R0");
    EXPECT_EQ(m.ARTICULOS.field("Referencia").asString(), "R0");
}

TEST_F(SelectionTest, DestroyingTheModelDropsAPendingEdit) {
    {
        StoreModel doomed{dbtest::fakeFactory(state)};
        seams.chooseFile = [](const QString&) { return std::optional<QString>("/data/a.mdb"); };
        ASSERT_EQ(store::runSelection(doomed, store::kFormShowPrefix, seams),
                  SelectionResult::Opened);
        // The list reopened after the record, as a search does: a plain
        // close of the connection would now write the edit.
        doomed.qarticulos.close();
        doomed.qarticulos.open();
        doomed.ARTICULOS.edit();
        doomed.ARTICULOS.field("Descripcion").setValue("NUNCA");
    }
    EXPECT_TRUE(state->log.filter("UPDATE").isEmpty());
    EXPECT_EQ(state->closes, 1);
}

}  // namespace
