// db: the data-access layer between the store database and the window.
//
// A Connection (the window's `conexion`) holds an ordered parameter list and
// reaches the .mdb file through a Route: the ODBC driver manager with a
// Microsoft Access driver where one is installed, else the embedded jet
// engine. Datasets run statements on it (query kind) or read one table as the
// detail of a master dataset (table kind); they check their declared Fields
// against the result's columns when they open, keep a current row, fetch rows
// on demand and hold one pending edit in memory until it is posted or
// cancelled. DataSources relay a dataset's notifications to bound controls
// and handlers, always in the same order: controlsUpdate, stateChanged,
// dataChanged.
//
// Ownership: Datasets and DataSources are QObjects usually owned by the
// window; a Dataset and a DataSource must not outlive their Connection.
// Fields belong to their Dataset. Cursors belong to the Route that made them
// and must be destroyed before it is closed (Connection::close sees to it).
// Threads: everything belongs to the one thread that created the Connection;
// every statement and notification is synchronous.
// Errors: every failure is a db::Error (an engine error keeps its message and
// kind and is kept as the inner error); nothing is reported in-band.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "precios/error.h"

namespace db {

using precios::ErrorKind;

class Error : public precios::Error {
  public:
    using precios::Error::Error;
    Error(const QString& message, ErrorKind kind = ErrorKind::Generic)
        : precios::Error(message.toStdString(), kind) {}
    Error(const char* message, ErrorKind kind = ErrorKind::Generic)
        : precios::Error(std::string(message), kind) {}
};

// What the user reads when Access has the database open on other computers
// (an engine error of kind OpenElsewhere, its names() the computers):
// "La base de datos está abierta en otro equipo (CAJA1). Ciérrela allí o use
// el controlador ODBC de Microsoft Access para modificarla ahora." Each name
// is listed once, joined with ", "; an unknown one reads "desconocido".
QString openElsewhereMessage(const std::vector<std::string>& computers);

// ---------------------------------------------------------------------------
// Routes: how statements reach the file.

// Column types as a route reports them, before the connection's map rules.
enum class ColumnType {
    Text,  // Unicode text with a maximum length
    Memo,  // long text
    Byte,
    Int16,
    Int32,
    AutoNumber,  // a 32-bit counter
    Currency,
    Single,  // single-precision: mapped to Double by the connection
    Double,
    Decimal,
    Boolean,
    Date,
    Time,
    DateTime,
    Stamp,  // date-time stamp: mapped to DateTime by the connection
    Binary,
    LongBinary,  // OLE object and other long values
    Guid,
    Unknown,
};

// The Access name of a column type ("Long Integer", "Text", ...).
QString columnTypeName(ColumnType type);

struct ColumnInfo {
    QString name;
    ColumnType type = ColumnType::Unknown;
    int size = 0;  // characters for Text, else 0
};

// The rows of one SELECT, fetched on demand. Values are QVariant: invalid for
// NULL, else QString, qlonglong, double, bool, QDateTime (Qt::UTC, naive wall
// clock) or QByteArray.
class Cursor {
  public:
    virtual ~Cursor() = default;
    virtual const QList<ColumnInfo>& columns() const = 0;
    virtual bool next() = 0;
    virtual const QVariantList& row() const = 0;
};

class Route {
  public:
    virtual ~Route() = default;
    // "ODBC" or "embedded"; for messages and tests.
    virtual QString kind() const = 0;
    virtual void open(const QString& file) = 0;
    virtual void close() noexcept = 0;
    // '?' marks a parameter, bound in order from params.
    virtual std::unique_ptr<Cursor> query(const QString& sql, const QVariantList& params) = 0;
    // Runs a changing statement, committed at once; returns the rows changed.
    virtual qint64 execute(const QString& sql, const QVariantList& params) = 0;
};

// The Microsoft Access ODBC driver names we accept, in order of preference.
const QStringList& accessDriverNames();
// The first preferred name present in `installed` (compared ignoring case),
// spelled as in `installed`; empty when there is none (the embedded route).
QString chooseAccessDriver(const QStringList& installed);
// "DRIVER={name};DBQ=<file>;ExtendedAnsiSQL=1".
QString odbcConnectString(const QString& driver, const QString& file);
// Names of the drivers the ODBC driver manager knows; empty if it has none.
QStringList installedOdbcDrivers();
std::unique_ptr<Route> makeOdbcRoute(const QString& driver);
std::unique_ptr<Route> makeEmbeddedRoute();
// The ODBC route when an Access driver is installed, else the embedded one.
std::unique_ptr<Route> makeDefaultRoute();

// OLE automation dates (days since 1899-12-30, as Access stores them).
QDateTime fromOleDays(double days);
double toOleDays(const QDateTime& value);

// ---------------------------------------------------------------------------

class Connection;
class Dataset;
class DataSource;

enum class FieldType { Text, Int32, Int16, Double, Boolean, DateTime, Memo };

// The name of a declared type in the type-mismatch message.
QString fieldTypeName(FieldType type);

// One column of a dataset's current row, declared before opening or made
// from the result's columns when the dataset declares none.
class Field {
  public:
    const QString& name() const { return name_; }
    FieldType type() const { return type_; }
    // Text: the effective maximum length (never more than the column's).
    int size() const { return size_; }
    const QString& displayFormat() const { return displayFormat_; }
    void setDisplayFormat(const QString& format) { displayFormat_ = format; }
    int index() const { return index_; }
    Dataset* dataset() const { return dataset_; }

    // The value in the current row (or the pending edit); invalid when NULL
    // or when there is no current row.
    QVariant value() const;
    bool isNull() const { return !value().isValid(); }
    QString asString() const;
    double asDouble() const;  // NULL reads as 0
    int asInt() const;
    bool asBool() const;
    QDateTime asDateTime() const;
    // The text a bound control shows: the display format applied with the
    // locale's decimal separator; empty for NULL.
    QString displayText() const;

    // Assigns a value to the pending edit (the dataset must be editing).
    // Assigning even the value the field already has counts as a change.
    void setValue(const QVariant& value);
    void clear() { setValue(QVariant()); }
    // Whether a value was assigned since the edit began.
    bool assigned() const;

  private:
    friend class Dataset;
    Field(Dataset* dataset, QString name, FieldType type, int size, int index)
        : dataset_(dataset),
          name_(std::move(name)),
          type_(type),
          size_(size),
          declaredSize_(size),
          index_(index) {}

    Dataset* dataset_;
    QString name_;
    FieldType type_;
    int size_;
    int declaredSize_;
    int index_;
    QString displayFormat_;
    int column_ = -1;  // in the open result
};

enum class DatasetState { Inactive, Browse, Edit, Insert };

class Dataset : public QObject {
    Q_OBJECT
  public:
    Dataset(const QString& name, Connection* connection, QObject* parent = nullptr);
    ~Dataset() override;

    const QString& name() const { return name_; }
    Connection* connection() const { return connection_; }

    // Query kind: the statement as an ordered list of lines, joined with
    // CR LF when it runs. Changing it closes nothing: callers close first.
    QStringList& sql() { return sql_; }
    const QStringList& sql() const { return sql_; }
    void setSql(const QStringList& lines) { sql_ = lines; }
    QString statementText() const { return sql_.join(QStringLiteral("\r\n")); }

    // Table kind: the rows of `table`, ordered by `indexField`, which is also
    // the key a posted edit is written by.
    void setTable(const QString& table, const QString& indexField);
    bool isTable() const { return !table_.isEmpty(); }
    const QString& tableName() const { return table_; }
    // Makes this dataset the detail of `master`: it holds the rows whose
    // `detailField` equals the master's current `masterField`.
    void setMaster(DataSource* master, const QString& masterField, const QString& detailField);

    // Declared fields, in declaration order.
    Field* addField(const QString& name, FieldType type, int size = 0);
    const std::vector<std::unique_ptr<Field>>& fields() const { return fields_; }
    Field* findField(const QString& name) const;  // ignoring case; nullptr if none
    Field& field(const QString& name) const;      // throws when there is none

    // Opening settles the details' pending edits, connects the connection on
    // demand, runs the statement and checks the declared fields; the first
    // row becomes current and the details follow it. Opening an open dataset
    // does nothing. On failure the dataset stays closed.
    void open();
    // Settles the pending edits of its details first (see settle()), then
    // drops its own pending edit and closes.
    void close();
    bool isActive() const { return state_ != DatasetState::Inactive; }
    DatasetState state() const { return state_; }
    // Runs the statement as a changing statement; connects on demand.
    void execSQL();
    qint64 rowsAffected() const { return rowsAffected_; }

    // Rows: fetched as they are needed.
    int recordCount() const { return static_cast<int>(rows_.size()); }  // fetched so far
    bool canFetchMore() const { return cursor_ != nullptr; }
    int fetchMore(int count);  // returns how many came
    void fetchAll();
    bool isEmpty() const;
    int currentRow() const { return current_; }  // -1 when there is none
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    // The value of field `fieldIndex` in fetched row `row` (not the pending edit).
    QVariant rowValue(int row, int fieldIndex) const;

    // Navigation. A move first settles the details' pending edits; if that
    // fails the move does not happen. Then the details follow.
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);

    // Editing the current row.
    void edit();            // Browse -> Edit; needs a current row
    void post();            // writes the assigned fields; a failure keeps the edit
    void cancel();          // drops the pending edit
    bool modified() const;  // a field was assigned since the edit began
    // Ends a pending edit: hands over unsent typing (DataSource::updateData),
    // then posts if a field was assigned, else cancels.
    void settle();

    const QList<DataSource*>& dataSources() const { return dataSources_; }

  signals:
    // Lazily fetched rows arrived: recordCount() went from `before` to `after`.
    void rowsFetched(int before, int after);

  private:
    friend class Field;
    friend class DataSource;
    friend class Connection;

    enum class Moment { Opened, Scrolled, EditBegan, FieldChanged, EditEnded, Closed };
    void notify(Moment moment, Field* field = nullptr);
    void bindFields(const QList<ColumnInfo>& columns);
    QVariant convertIn(const Field& field, const QVariant& raw) const;
    bool fetchOne();
    void setCurrent(int row);
    void settleDetails();
    void refreshFromMaster();
    void masterClosed();
    QVariant masterValue() const;
    void closeInternal(bool notify);
    void releaseCursor();
    const QVariantList* currentValues() const;

    QString name_;
    Connection* connection_;
    QStringList sql_;
    QString table_;
    QString indexField_;
    DataSource* master_ = nullptr;
    QString masterField_;
    QString detailField_;
    QList<Dataset*> details_;

    std::vector<std::unique_ptr<Field>> fields_;
    bool declared_ = false;  // false: fields come from the result
    std::unique_ptr<Cursor> cursor_;
    std::vector<QVariantList> rows_;  // per field, in field order
    int current_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    DatasetState state_ = DatasetState::Inactive;
    QVariantList editRow_;
    std::vector<bool> assigned_;
    qint64 rowsAffected_ = 0;
    QList<DataSource*> dataSources_;
};

// Connects a dataset to controls and handlers. Every moment that changes
// what the dataset shows emits, in this order: controlsUpdate (bound
// controls refresh themselves), stateChanged if the state changed, then
// dataChanged (nullptr for the whole record, or the field assigned). Closing
// emits controlsUpdate and stateChanged only. All signals are emitted
// synchronously; connect with direct connections.
class DataSource : public QObject {
    Q_OBJECT
  public:
    explicit DataSource(const QString& name, Dataset* dataset, QObject* parent = nullptr);
    ~DataSource() override;
    const QString& name() const { return name_; }
    Dataset* dataset() const { return dataset_; }
    DatasetState state() const;
    bool autoEdit() const { return autoEdit_; }
    void setAutoEdit(bool on) { autoEdit_ = on; }
    // What a bound control calls before changing its field: starts an edit
    // when automatic edit is on and the dataset is browsing a row. Returns
    // whether the dataset is now editing or inserting.
    bool edit();

  signals:
    void controlsUpdate(db::Field* field);
    void stateChanged();
    void dataChanged(db::Field* field);
    // Asked before a pending edit is written or settled: bound controls hand
    // over text typed but not yet assigned to their field.
    void updateData();

  private:
    friend class Dataset;
    QString name_;
    Dataset* dataset_;
    bool autoEdit_ = true;
};

// The connection `conexion`: an ordered parameter list ("DriverID=MSAcc",
// "Database=<path>"), connected on demand. Changing the parameters of a
// connected connection closes it first; closing closes every dataset on it,
// the one opened last first. No login prompt; every write commits by itself.
class Connection : public QObject {
    Q_OBJECT
  public:
    using RouteFactory = std::function<std::unique_ptr<Route>()>;

    explicit Connection(const QString& name = QStringLiteral("conexion"),
                        QObject* parent = nullptr);
    ~Connection() override;

    const QString& name() const { return name_; }
    const QStringList& params() const { return params_; }
    void clearParams();
    void addParam(const QString& line);
    void setParams(const QStringList& lines);
    // The value of the "Database=" line; empty when there is none.
    QString database() const;

    // The route made at each connect; makeDefaultRoute() unless replaced.
    void setRouteFactory(RouteFactory factory) { factory_ = std::move(factory); }

    bool connected() const { return route_ != nullptr; }
    void connect();
    void close();
    // Closes for good: pending edits are dropped, never written.
    void closeDiscardingEdits();
    // The route, connecting first when needed.
    Route& route();
    Route* currentRoute() const { return route_.get(); }

    // The connection's column type map rules: Single -> Double, date-time
    // stamp -> DateTime.
    static ColumnType mapType(ColumnType type);

    // Open datasets, in the order they were opened.
    const QList<Dataset*>& openDatasets() const { return open_; }

  private:
    friend class Dataset;
    void datasetOpened(Dataset* ds);
    void datasetClosed(Dataset* ds);
    void closeBeforeChange();

    QString name_;
    QStringList params_;
    RouteFactory factory_;
    std::unique_ptr<Route> route_;
    QList<Dataset*> open_;
};

}  // namespace db
