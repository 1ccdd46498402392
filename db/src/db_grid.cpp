// The data grid: model and view.
#include "db/db_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include "db/widget_errors.h"

namespace db {

// ---------------------------------------------------------------------------
// DbGridModel

DbGridModel::DbGridModel(QObject* parent) : QAbstractTableModel(parent) {}

Dataset* DbGridModel::dataset() const { return source_ ? source_->dataset() : nullptr; }

void DbGridModel::setDataSource(DataSource* source) {
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    source_ = source;
    if (source_) {
        // Opening and closing change the whole list; a move only the current row.
        connections_ << connect(source_, &DataSource::stateChanged, this, &DbGridModel::reset);
        connections_ << connect(source_, &DataSource::dataChanged, this,
                                &DbGridModel::onDataChanged);
        connections_ << connect(source_, &QObject::destroyed, this, &DbGridModel::reset);
        if (Dataset* ds = source_->dataset())
            connections_ << connect(ds, &Dataset::rowsFetched, this, &DbGridModel::onRowsFetched);
    }
    reset();
}

void DbGridModel::setColumns(const QList<GridColumn>& columns) {
    beginResetModel();
    columns_ = columns;
    resolveColumns();
    endResetModel();
}

void DbGridModel::resolveColumns() {
    fieldIndexes_.clear();
    const Dataset* ds = dataset();
    for (const GridColumn& c : columns_) {
        const Field* f = ds != nullptr ? ds->findField(c.field) : nullptr;
        fieldIndexes_.append(f != nullptr ? f->index() : -1);
    }
}

void DbGridModel::reset() {
    resetting_ = true;
    beginResetModel();
    const Dataset* ds = dataset();
    const bool active = ds != nullptr && ds->isActive();
    rows_ = active ? ds->recordCount() : 0;
    current_ = active ? ds->currentRow() : -1;
    resolveColumns();
    endResetModel();
    resetting_ = false;
    emit currentRowChanged(current_);
}

void DbGridModel::onRowsFetched(int before, int after) {
    Q_UNUSED(before);
    const Dataset* ds = dataset();
    if (ds == nullptr || !ds->isActive() || after <= rows_) return;
    resetting_ = true;
    beginInsertRows({}, rows_, after - 1);
    rows_ = after;
    endInsertRows();
    resetting_ = false;
}

void DbGridModel::onDataChanged(Field* field) {
    if (field != nullptr) return;
    const Dataset* ds = dataset();
    const int now = ds != nullptr && ds->isActive() ? ds->currentRow() : -1;
    if (now == current_) return;
    const int old = current_;
    current_ = now;
    if (old >= 0 && old < rows_) emit headerDataChanged(Qt::Vertical, old, old);
    if (now >= 0 && now < rows_) emit headerDataChanged(Qt::Vertical, now, now);
    emit currentRowChanged(now);
}

int DbGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DbGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant DbGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columns_.size()) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const Dataset* ds = dataset();
    const int fieldIndex = fieldIndexes_.value(index.column(), -1);
    if (ds == nullptr || fieldIndex < 0) return {};
    const QVariant value = ds->rowValue(index.row(), fieldIndex);
    return value.isValid() ? value.toString() : QString();
}

QVariant DbGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columns_.size()) return {};
        return columns_[section].title;
    }
    if (section < 0 || section >= rows_) return {};
    // The indicator column: a triangle on the current row.
    return section == current_ ? QStringLiteral("\u25B6") : QString();
}

Qt::ItemFlags DbGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool DbGridModel::canFetchMore(const QModelIndex& parent) const {
    const Dataset* ds = dataset();
    return !parent.isValid() && ds != nullptr && ds->isActive() && ds->canFetchMore();
}

void DbGridModel::fetchMore(const QModelIndex& parent) {
    Dataset* ds = dataset();
    // Listeners of modelReset or rowsInserted may ask for rows before the
    // change has reached every one of them; the view fills its screen after.
    if (parent.isValid() || ds == nullptr || !ds->isActive() || resetting_) return;
    // Rows arrive through rowsFetched; a read error goes to the sink, as
    // this is called from inside the view.
    guardWidgetAction([&] { ds->fetchMore(chunk_); });
}

// ---------------------------------------------------------------------------
// DbGrid

DbGrid::DbGrid(QWidget* parent) : QTableView(parent), model_(new DbGridModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setTabKeyNavigation(true);
    setWordWrap(false);
    horizontalHeader()->setVisible(true);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->setVisible(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
    verticalHeader()->setFixedWidth(12);
    verticalHeader()->setSectionsClickable(false);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &DbGrid::onViewCurrentChanged);
    connect(model_, &DbGridModel::currentRowChanged, this, &DbGrid::followDataset);
}

void DbGrid::setDataSource(DataSource* source) { model_->setDataSource(source); }

void DbGrid::setColumns(const QList<GridColumn>& columns) {
    model_->setColumns(columns);
    for (int i = 0; i < columns.size(); ++i) setColumnWidth(i, columns[i].width);
}

int DbGrid::visibleRowCount() const {
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    return viewport()->height() / rowHeight + 1;
}

void DbGrid::fillViewport() {
    // The first screen is fetched at once, not on later event-loop turns, so
    // that a re-read list is complete when the keystroke that caused it is.
    const int wanted = visibleRowCount();
    int guard = 0;
    while (model_->rowCount() < wanted && model_->canFetchMore({}) && guard++ < 1000) {
        const int before = model_->rowCount();
        model_->fetchMore({});
        if (model_->rowCount() == before) break;
    }
}

void DbGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fillViewport();
}

void DbGrid::followDataset(int row) {
    // The dataset moved, opened or closed: fill the screen (after the reset
    // has reached every listener), then select its row without moving it again.
    fillViewport();
    syncing_ = true;
    if (row < 0 || row >= model_->rowCount()) {
        selectionModel()->clearCurrentIndex();
        selectionModel()->clearSelection();
    } else {
        const int column = qMax(0, currentIndex().column());
        const QModelIndex target = model_->index(row, column);
        selectionModel()->setCurrentIndex(
            target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(target);
    }
    syncing_ = false;
}

void DbGrid::onViewCurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
    Q_UNUSED(previous);
    if (syncing_ || !current.isValid()) return;
    Dataset* ds = model_->dataset();
    if (ds == nullptr || !ds->isActive() || current.row() == ds->currentRow()) return;
    const bool moved = guardWidgetAction([&] { ds->moveTo(current.row()); });
    if (!moved || ds->currentRow() != current.row()) followDataset(ds->currentRow());
}

QModelIndex DbGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // The last row is the list's last, not the last fetched so far.
    if (action == MoveEnd && (modifiers & Qt::ControlModifier)) {
        while (model_->canFetchMore({})) {
            const int before = model_->rowCount();
            model_->fetchMore({});
            if (model_->rowCount() == before) break;
        }
    }
    return QTableView::moveCursor(action, modifiers);
}

void DbGrid::keepOnDatasetRow() {
    // A refused move has already put the view back on the dataset's row;
    // Qt's own handling of the press or key may have selected the other one
    // after that.
    const Dataset* ds = model_->dataset();
    if (ds == nullptr || !ds->isActive() || ds->currentRow() < 0) return;
    const int row = ds->currentRow();
    if (currentIndex().row() != row || selectionModel()->selectedRows().size() != 1 ||
        !selectionModel()->isRowSelected(row, {}))
        followDataset(row);
}

void DbGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    keepOnDatasetRow();
}

void DbGrid::keyPressEvent(QKeyEvent* event) {
    QTableView::keyPressEvent(event);
    keepOnDatasetRow();
}

void DbGrid::keyboardSearch(const QString& search) {
    // Typing changes nothing in this grid.
    Q_UNUSED(search);
}

bool DbGrid::focusNextPrevChild(bool next) {
    // Tab and Shift+Tab walk the cells and never leave the grid.
    if (tabKeyNavigation()) {
        QKeyEvent key(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab, Qt::NoModifier);
        keyPressEvent(&key);
    }
    return true;
}

}  // namespace db
