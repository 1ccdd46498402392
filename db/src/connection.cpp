// The connection: parameter list, connect on demand, closing in order.
#include "db/db.h"

namespace db {

Connection::Connection(const QString& name, QObject* parent)
    : QObject(parent), name_(name), factory_(&makeDefaultRoute) {
    setObjectName(name);
}

Connection::~Connection() {
    // Silently: the controls that listen may already be gone.
    while (!open_.isEmpty()) open_.last()->closeInternal(false);
    if (route_) route_->close();
}

void Connection::closeBeforeChange() {
    if (connected()) close();
}

void Connection::clearParams() {
    closeBeforeChange();
    params_.clear();
}

void Connection::addParam(const QString& line) {
    closeBeforeChange();
    params_.append(line);
}

void Connection::setParams(const QStringList& lines) {
    closeBeforeChange();
    params_ = lines;
}

QString Connection::database() const {
    static const QString key = QStringLiteral("Database=");
    for (const QString& line : params_)
        if (line.startsWith(key, Qt::CaseInsensitive)) return line.mid(key.size());
    return {};
}

void Connection::connect() {
    if (connected()) return;
    const QString file = database();
    if (file.isEmpty())
        throw Error(QStringLiteral("No database file has been chosen"), ErrorKind::NotFound);
    std::unique_ptr<Route> route = factory_();
    route->open(file);
    route_ = std::move(route);
}

void Connection::close() {
    // The one opened last closes first, so a list reopened after its detail
    // settles the detail's pending edit as it closes.
    while (!open_.isEmpty()) open_.last()->close();
    if (route_) {
        route_->close();
        route_.reset();
    }
}

void Connection::closeDiscardingEdits() {
    while (!open_.isEmpty()) open_.last()->closeInternal(true);
    if (route_) {
        route_->close();
        route_.reset();
    }
}

Route& Connection::route() {
    connect();
    return *route_;
}

ColumnType Connection::mapType(ColumnType type) {
    if (type == ColumnType::Single) return ColumnType::Double;
    if (type == ColumnType::Stamp) return ColumnType::DateTime;
    return type;
}

void Connection::datasetOpened(Dataset* ds) {
    open_.removeAll(ds);
    open_.append(ds);
}

void Connection::datasetClosed(Dataset* ds) { open_.removeAll(ds); }

}  // namespace db
