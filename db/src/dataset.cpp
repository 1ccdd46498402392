// Datasets, fields and data sources.
#include <QLocale>
#include <QPointer>
#include <limits>

#include "db/db.h"

namespace db {

namespace {

// Column kinds for the field check: types of one kind are interchangeable.
enum class Kind { Text, Integer, Float, Boolean, DateTime, Long, Single, Stamp, Other };

Kind kindOf(ColumnType t) {
    switch (t) {
        case ColumnType::Text:
            return Kind::Text;
        case ColumnType::Byte:
        case ColumnType::Int16:
        case ColumnType::Int32:
        case ColumnType::AutoNumber:
            return Kind::Integer;
        case ColumnType::Double:
        case ColumnType::Currency:
            return Kind::Float;
        case ColumnType::Boolean:
            return Kind::Boolean;
        case ColumnType::Date:
        case ColumnType::Time:
        case ColumnType::DateTime:
            return Kind::DateTime;
        case ColumnType::Memo:
        case ColumnType::LongBinary:
            return Kind::Long;
        case ColumnType::Single:
            return Kind::Single;
        case ColumnType::Stamp:
            return Kind::Stamp;
        default:
            return Kind::Other;
    }
}

Kind kindOf(FieldType t) {
    switch (t) {
        case FieldType::Text:
            return Kind::Text;
        case FieldType::Int32:
        case FieldType::Int16:
            return Kind::Integer;
        case FieldType::Double:
            return Kind::Float;
        case FieldType::Boolean:
            return Kind::Boolean;
        case FieldType::DateTime:
            return Kind::DateTime;
        case FieldType::Memo:
            return Kind::Long;
    }
    return Kind::Other;
}

// The field a dataset without declared fields makes for a column.
FieldType fieldTypeFor(ColumnType t) {
    switch (kindOf(t)) {
        case Kind::Text:
            return FieldType::Text;
        case Kind::Integer:
            return t == ColumnType::Int32 || t == ColumnType::AutoNumber ? FieldType::Int32
                                                                         : FieldType::Int16;
        case Kind::Float:
        case Kind::Single:
            return FieldType::Double;
        case Kind::Boolean:
            return FieldType::Boolean;
        case Kind::DateTime:
        case Kind::Stamp:
            return FieldType::DateTime;
        default:
            return t == ColumnType::Decimal ? FieldType::Double : FieldType::Memo;
    }
}

QString bracket(const QString& name) { return QLatin1Char('[') + name + QLatin1Char(']'); }

// The statement a table dataset reads: the whole table, or with a key field
// only the rows whose key equals the one parameter; in index order when the
// dataset has one.
QString tableStatement(const QString& table, const QString& keyField, const QString& indexField) {
    QString sql = QStringLiteral("SELECT * FROM ") + bracket(table);
    if (!keyField.isEmpty())
        sql += QStringLiteral(" WHERE ") + bracket(keyField) + QStringLiteral(" = ?");
    if (!indexField.isEmpty()) sql += QStringLiteral(" ORDER BY ") + bracket(indexField);
    return sql;
}

bool editing(DatasetState s) { return s == DatasetState::Edit || s == DatasetState::Insert; }

}  // namespace

// ---------------------------------------------------------------------------
// Field

QVariant Field::value() const {
    const QVariantList* values = dataset_->currentValues();
    return values ? values->at(index_) : QVariant();
}

QString Field::asString() const {
    const QVariant v = value();
    if (!v.isValid()) return {};
    if (type_ == FieldType::Double) {
        return QLocale().toString(v.toDouble(), 'g', 15);
    }
    return v.toString();
}

double Field::asDouble() const { return value().toDouble(); }
int Field::asInt() const { return value().toInt(); }
bool Field::asBool() const { return value().toBool(); }
QDateTime Field::asDateTime() const { return value().toDateTime(); }

QString Field::displayText() const {
    const QVariant v = value();
    if (!v.isValid()) return {};
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    if (type_ == FieldType::Double) {
        const qsizetype point = displayFormat_.indexOf(QLatin1Char('.'));
        if (!displayFormat_.isEmpty()) {
            const int decimals = point < 0 ? 0 : int(displayFormat_.size() - point - 1);
            return locale.toString(v.toDouble(), 'f', decimals);
        }
        return locale.toString(v.toDouble(), 'g', 15);
    }
    if (type_ == FieldType::Int32 || type_ == FieldType::Int16) return locale.toString(v.toInt());
    if (type_ == FieldType::DateTime) {
        const QDateTime dt = v.toDateTime();
        if (dt.time().msecsSinceStartOfDay() == 0)
            return locale.toString(dt.date(), QLocale::ShortFormat);
        return locale.toString(dt, QLocale::ShortFormat);
    }
    if (type_ == FieldType::Boolean)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

void Field::setValue(const QVariant& value) {
    if (!editing(dataset_->state_))
        throw Error(dataset_->name_ + QStringLiteral(": Dataset not in edit or insert mode"),
                    ErrorKind::InvalidArgument);
    QVariant converted;
    if (value.isValid()) {
        bool ok = true;
        switch (type_) {
            case FieldType::Text:
                converted = value.toString().left(size_ > 0 ? size_ : -1);
                break;
            case FieldType::Memo:
                converted = value.toString();
                break;
            case FieldType::Int32:
            case FieldType::Int16: {
                const qlonglong n = value.toLongLong(&ok);
                const qlonglong lo =
                    type_ == FieldType::Int16 ? -32768 : std::numeric_limits<int>::min();
                const qlonglong hi =
                    type_ == FieldType::Int16 ? 32767 : std::numeric_limits<int>::max();
                if (ok && (n < lo || n > hi)) ok = false;
                converted = int(n);
                break;
            }
            case FieldType::Double:
                converted = value.toDouble(&ok);
                break;
            case FieldType::Boolean:
                converted = value.toBool();
                break;
            case FieldType::DateTime:
                converted = value.toDateTime();
                ok = converted.toDateTime().isValid();
                break;
        }
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid value for field '%2'")
                            .arg(value.toString(), name_),
                        ErrorKind::Conversion);
    }
    dataset_->editRow_[index_] = converted;
    dataset_->assigned_[size_t(index_)] = true;
    dataset_->notify(Dataset::Moment::FieldChanged, this);
}

bool Field::assigned() const {
    return editing(dataset_->state_) && dataset_->assigned_[size_t(index_)];
}

// ---------------------------------------------------------------------------
// DataSource

DataSource::DataSource(const QString& name, Dataset* dataset, QObject* parent)
    : QObject(parent), name_(name), dataset_(dataset) {
    setObjectName(name);
    if (dataset_) dataset_->dataSources_.append(this);
}

DataSource::~DataSource() {
    if (!dataset_) return;
    dataset_->dataSources_.removeAll(this);
    // Details linked through this source lose their master with it.
    for (Dataset* d : QList<Dataset*>(dataset_->details_)) {
        if (d->master_ != this) continue;
        d->master_ = nullptr;
        dataset_->details_.removeAll(d);
    }
}

DatasetState DataSource::state() const {
    return dataset_ ? dataset_->state() : DatasetState::Inactive;
}

bool DataSource::edit() {
    if (!dataset_) return false;
    if (autoEdit_ && dataset_->state() == DatasetState::Browse && dataset_->currentRow() >= 0)
        dataset_->edit();
    return editing(dataset_->state());
}

// ---------------------------------------------------------------------------
// Dataset

Dataset::Dataset(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), name_(name), connection_(connection) {
    setObjectName(name);
}

Dataset::~Dataset() {
    if (isActive()) closeInternal(false);
    for (DataSource* ds : dataSources_) ds->dataset_ = nullptr;
    if (master_ && master_->dataset()) master_->dataset()->details_.removeAll(this);
    for (Dataset* d : details_) d->master_ = nullptr;
}

void Dataset::setTable(const QString& table, const QString& indexField) {
    table_ = table;
    indexField_ = indexField;
}

void Dataset::setMaster(DataSource* master, const QString& masterField,
                        const QString& detailField) {
    if (master_ && master_->dataset()) master_->dataset()->details_.removeAll(this);
    master_ = master;
    masterField_ = masterField;
    detailField_ = detailField;
    if (master_ && master_->dataset()) master_->dataset()->details_.append(this);
}

Field* Dataset::addField(const QString& name, FieldType type, int size) {
    if (isActive())
        throw Error(name_ + QStringLiteral(": cannot add a field to an open dataset"),
                    ErrorKind::InvalidArgument);
    if (!declared_) fields_.clear();
    declared_ = true;
    fields_.push_back(
        std::unique_ptr<Field>(new Field(this, name, type, size, int(fields_.size()))));
    return fields_.back().get();
}

Field* Dataset::findField(const QString& name) const {
    for (const auto& f : fields_)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

Field& Dataset::field(const QString& name) const {
    Field* f = findField(name);
    if (!f)
        throw Error(name_ + QStringLiteral(": Field '%1' not found").arg(name),
                    ErrorKind::NotFound);
    return *f;
}

const QVariantList* Dataset::currentValues() const {
    if (editing(state_)) return &editRow_;
    if (state_ != DatasetState::Inactive && current_ >= 0) return &rows_[size_t(current_)];
    return nullptr;
}

QVariant Dataset::rowValue(int row, int fieldIndex) const {
    if (row < 0 || row >= recordCount() || fieldIndex < 0 || fieldIndex >= int(fields_.size()))
        return {};
    return rows_[size_t(row)].at(fieldIndex);
}

bool Dataset::isEmpty() const { return rows_.empty(); }

QVariant Dataset::masterValue() const {
    if (!master_ || !master_->dataset()) return {};
    const Dataset* m = master_->dataset();
    if (!m->isActive() || m->current_ < 0) return {};
    const Field* f = m->findField(masterField_);
    if (!f)
        throw Error(m->name_ + QStringLiteral(": Field '%1' not found").arg(masterField_),
                    ErrorKind::NotFound);
    return m->rows_[size_t(m->current_)].at(f->index());
}

void Dataset::bindFields(const QList<ColumnInfo>& rawColumns) {
    QList<ColumnInfo> columns = rawColumns;
    for (ColumnInfo& c : columns) c.type = Connection::mapType(c.type);

    if (!declared_) {
        fields_.clear();
        for (int i = 0; i < columns.size(); ++i) {
            const ColumnInfo& c = columns[i];
            auto f = std::unique_ptr<Field>(new Field(this, c.name, fieldTypeFor(c.type),
                                                      c.type == ColumnType::Text ? c.size : 0, i));
            f->column_ = i;
            fields_.push_back(std::move(f));
        }
        return;
    }
    for (const auto& f : fields_) {
        int found = -1;
        for (int i = 0; i < columns.size() && found < 0; ++i)
            if (columns[i].name.compare(f->name(), Qt::CaseInsensitive) == 0) found = i;
        if (found < 0)
            throw Error(name_ + QStringLiteral(": Field '%1' not found").arg(f->name()),
                        ErrorKind::NotFound);
        const ColumnInfo& c = columns[found];
        if (kindOf(c.type) != kindOf(f->type()))
            throw Error(
                name_ + QStringLiteral(": Type mismatch for field '%1', expecting: %2 actual: %3")
                            .arg(f->name(), fieldTypeName(f->type()), columnTypeName(c.type)),
                ErrorKind::InvalidArgument);
        f->column_ = found;
        // A shorter column narrows the field; a longer one leaves the declared length.
        f->size_ = f->declaredSize_;
        if (f->type() == FieldType::Text && c.size > 0 && c.size < f->declaredSize_)
            f->size_ = c.size;
    }
}

QVariant Dataset::convertIn(const Field& field, const QVariant& raw) const {
    if (!raw.isValid()) return {};
    switch (field.type()) {
        case FieldType::Text:
        case FieldType::Memo:
            return raw.toString();
        case FieldType::Int32:
        case FieldType::Int16:
            return raw.toInt();
        case FieldType::Double:
            return raw.toDouble();
        case FieldType::Boolean:
            return raw.toBool();
        case FieldType::DateTime:
            return raw.toDateTime();
    }
    return raw;
}

bool Dataset::fetchOne() {
    if (!cursor_) return false;
    if (!cursor_->next()) {
        releaseCursor();
        return false;
    }
    const QVariantList& raw = cursor_->row();
    QVariantList values;
    values.reserve(qsizetype(fields_.size()));
    for (const auto& f : fields_)
        values.append(f->column_ >= 0 && f->column_ < raw.size() ? convertIn(*f, raw[f->column_])
                                                                 : QVariant());
    rows_.push_back(std::move(values));
    return true;
}

int Dataset::fetchMore(int count) {
    const int before = recordCount();
    for (int i = 0; i < count && fetchOne(); ++i) {
    }
    const int after = recordCount();
    if (after != before) emit rowsFetched(before, after);
    return after - before;
}

void Dataset::fetchAll() {
    while (canFetchMore()) fetchMore(1024);
}

void Dataset::releaseCursor() { cursor_.reset(); }

void Dataset::open() {
    if (isActive()) return;
    // A detail can have been edited while this list was closed: that edit
    // belongs to the item it shows, so it is settled before the list reads.
    settleDetails();
    QString sql;
    QVariantList params;
    if (isTable()) {
        sql = tableStatement(table_, master_ ? detailField_ : QString(), indexField_);
        if (master_) params.append(masterValue());
    } else {
        sql = statementText();
        if (sql.trimmed().isEmpty())
            throw Error(name_ + QStringLiteral(": the statement is empty"),
                        ErrorKind::InvalidArgument);
    }
    Route& route = connection_->route();
    std::unique_ptr<Cursor> cursor = route.query(sql, params);
    bindFields(cursor->columns());
    cursor_ = std::move(cursor);
    rows_.clear();
    try {
        // A detail holds at most a few rows: read them now so no cursor stays open.
        if (master_) {
            while (fetchOne()) {
            }
        } else {
            fetchOne();
        }
    } catch (...) {
        releaseCursor();
        rows_.clear();
        throw;
    }
    current_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    state_ = DatasetState::Browse;
    connection_->datasetOpened(this);
    for (Dataset* d : QList<Dataset*>(details_)) d->refreshFromMaster();
    notify(Moment::Opened);
}

void Dataset::close() {
    if (!isActive()) return;
    settleDetails();
    closeInternal(true);
}

void Dataset::closeInternal(bool notifyClose) {
    // A pending edit of a closing dataset is dropped, never written.
    editRow_.clear();
    assigned_.clear();
    releaseCursor();
    rows_.clear();
    current_ = -1;
    bof_ = eof_ = true;
    state_ = DatasetState::Inactive;
    connection_->datasetClosed(this);
    if (notifyClose) notify(Moment::Closed);
}

void Dataset::execSQL() {
    Route& route = connection_->route();
    rowsAffected_ = 0;
    rowsAffected_ = route.execute(statementText(), {});
}

void Dataset::settleDetails() {
    for (Dataset* d : QList<Dataset*>(details_))
        if (d->isActive()) d->settle();
}

void Dataset::refreshFromMaster() {
    if (!isActive() || !master_ || !master_->dataset() || !master_->dataset()->isActive()) return;
    settle();  // never carry an edit over to another row
    const QVariant key = masterValue();
    std::vector<QVariantList> rows;
    if (key.isValid()) {
        // Read before replacing, so a failed read leaves the record as it was.
        std::unique_ptr<Cursor> cursor =
            connection_->route().query(tableStatement(table_, detailField_, indexField_), {key});
        bindFields(cursor->columns());
        std::swap(cursor_, cursor);
        std::swap(rows_, rows);
        rows_.clear();
        while (fetchOne()) {
        }
    } else {
        rows_.clear();
        releaseCursor();
    }
    current_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    notify(Moment::Scrolled);
}

void Dataset::moveTo(int row) {
    if (!isActive())
        throw Error(name_ + QStringLiteral(": Cannot perform this operation on a closed dataset"),
                    ErrorKind::InvalidArgument);
    while (row >= recordCount() && canFetchMore()) fetchMore(row + 1 - recordCount());
    bof_ = eof_ = false;
    if (row >= recordCount()) {
        row = recordCount() - 1;
        eof_ = true;
    }
    if (row < 0) {
        row = rows_.empty() ? -1 : 0;
        bof_ = true;
        if (rows_.empty()) eof_ = true;
    }
    if (row == current_) return;
    if (editing(state_)) settle();
    settleDetails();
    current_ = row;
    for (Dataset* d : QList<Dataset*>(details_)) d->refreshFromMaster();
    notify(Moment::Scrolled);
}

void Dataset::first() {
    moveTo(0);
    bof_ = true;
}

void Dataset::next() {
    if (current_ + 1 >= recordCount() && !fetchMore(1)) {
        eof_ = true;
        return;
    }
    moveTo(current_ + 1);
}

void Dataset::prior() {
    if (current_ <= 0) {
        bof_ = true;
        return;
    }
    moveTo(current_ - 1);
}

void Dataset::last() {
    fetchAll();
    moveTo(recordCount() - 1);
    eof_ = true;
}

void Dataset::edit() {
    if (editing(state_)) return;
    if (!isActive())
        throw Error(name_ + QStringLiteral(": Cannot perform this operation on a closed dataset"),
                    ErrorKind::InvalidArgument);
    if (current_ < 0)
        throw Error(name_ + QStringLiteral(": there is no record to edit"), ErrorKind::NotFound);
    editRow_ = rows_[size_t(current_)];
    assigned_.assign(fields_.size(), false);
    state_ = DatasetState::Edit;
    notify(Moment::EditBegan);
}

bool Dataset::modified() const {
    if (!editing(state_)) return false;
    for (bool a : assigned_)
        if (a) return true;
    return false;
}

void Dataset::cancel() {
    if (!editing(state_)) return;
    editRow_.clear();
    assigned_.clear();
    state_ = DatasetState::Browse;
    notify(Moment::EditEnded);
}

void Dataset::post() {
    if (!editing(state_))
        throw Error(name_ + QStringLiteral(": Dataset not in edit or insert mode"),
                    ErrorKind::InvalidArgument);
    for (DataSource* ds : QList<DataSource*>(dataSources_)) emit ds->updateData();
    if (state_ == DatasetState::Insert)
        throw Error(name_ + QStringLiteral(": adding rows is not supported"),
                    ErrorKind::NotSupported);
    if (!modified()) {
        cancel();
        return;
    }
    if (!isTable())
        throw Error(name_ + QStringLiteral(": a query result cannot be written"),
                    ErrorKind::NotSupported);
    const Field& key = field(indexField_);
    QStringList sets;
    QVariantList params;
    for (const auto& f : fields_) {
        if (!assigned_[size_t(f->index())]) continue;
        sets.append(bracket(f->name()) + QStringLiteral(" = ?"));
        params.append(editRow_[f->index()]);
    }
    // The row the record was read from, whatever the edit did to its key.
    const QVariant keyValue = rows_[size_t(current_)].at(key.index());
    if (!keyValue.isValid())
        throw Error(name_ + QStringLiteral(": the record has no key to write it by"),
                    ErrorKind::NotFound);
    params.append(keyValue);
    const QString sql = QStringLiteral("UPDATE ") + bracket(table_) + QStringLiteral(" SET ") +
                        sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE ") +
                        bracket(key.name()) + QStringLiteral(" = ?");
    const qint64 changed = connection_->route().execute(sql, params);
    if (changed == 0)
        throw Error(
            name_ + QStringLiteral(": the record was not written: its row no longer exists"),
            ErrorKind::NotFound);
    if (changed != 1)
        throw Error(
            name_ + QStringLiteral(": the record was not written: %1 rows matched instead of one")
                        .arg(changed),
            ErrorKind::Generic);
    rows_[size_t(current_)] = editRow_;
    editRow_.clear();
    assigned_.clear();
    state_ = DatasetState::Browse;
    notify(Moment::EditEnded);
}

void Dataset::settle() {
    if (!editing(state_)) return;
    for (DataSource* ds : QList<DataSource*>(dataSources_)) emit ds->updateData();
    if (modified())
        post();
    else
        cancel();
}

void Dataset::notify(Moment moment, Field* field) {
    QList<QPointer<DataSource>> sources;
    for (DataSource* ds : dataSources_) sources.append(ds);
    const bool stateChange = moment == Moment::Opened || moment == Moment::EditBegan ||
                             moment == Moment::EditEnded || moment == Moment::Closed;
    const bool dataChange = moment != Moment::Closed;
    Field* carried = moment == Moment::FieldChanged ? field : nullptr;
    for (const auto& ds : sources)
        if (ds) emit ds->controlsUpdate(carried);
    if (stateChange)
        for (const auto& ds : sources)
            if (ds) emit ds->stateChanged();
    if (dataChange)
        for (const auto& ds : sources)
            if (ds) emit ds->dataChanged(carried);
}

}  // namespace db
