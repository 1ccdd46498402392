// The data grid: a read-only table over a dataset whose rows it fetches as it
// shows them (the window's TDBGrid).
//
// DbGridModel is a QAbstractTableModel over the dataset of a data source:
// one row per fetched row, one column per configured field. rowCount() is the
// number of rows fetched so far; canFetchMore()/fetchMore() ask the dataset
// for more, and rows fetched by the dataset itself (a move past the end)
// arrive as row insertions. An opening or closing of the dataset resets the
// model. The vertical header is the indicator column: it marks the dataset's
// current row.
//
// DbGrid is the view: title row, column and row lines, resizable and movable
// columns, one selected row that is the dataset's current row. A move of the
// view's current row (keys, mouse, scroll) moves the dataset first; when the
// dataset refuses (a pending edit could not be written) the error goes to the
// widget error sink and the view stays on the dataset's row. Typing changes
// nothing; Tab and Shift+Tab move between cells and never leave the grid.
//
// Neither owns the data source. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QTableView>

#include "db/db.h"

namespace db {

struct GridColumn {
    QString field;
    QString title;
    int width = 64;
};

class DbGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit DbGridModel(QObject* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setColumns(const QList<GridColumn>& columns);
    const QList<GridColumn>& columns() const { return columns_; }
    // Rows asked of the dataset at one fetchMore().
    void setFetchChunk(int rows) { chunk_ = rows > 0 ? rows : 1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    Dataset* dataset() const;
    // The dataset's current row as the model last saw it; -1 for none.
    int currentRow() const { return current_; }

  signals:
    // The dataset's current row changed (or the dataset opened or closed).
    void currentRowChanged(int row);

  private:
    void reset();
    void onRowsFetched(int before, int after);
    void onDataChanged(db::Field* field);
    void resolveColumns();

    QPointer<DataSource> source_;
    QList<GridColumn> columns_;
    QList<int> fieldIndexes_;  // per column, -1 when the field is missing
    int rows_ = 0;
    int current_ = -1;
    int chunk_ = 64;
    bool resetting_ = false;  // a reset or an insertion is being announced
    QList<QMetaObject::Connection> connections_;
};

class DbGrid : public QTableView {
    Q_OBJECT
  public:
    explicit DbGrid(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return model_->dataSource(); }
    void setColumns(const QList<GridColumn>& columns);
    DbGridModel* gridModel() const { return model_; }

    // Fetches rows until the visible area is filled (or the data ends).
    void fillViewport();
    // Rows that fit in the visible area.
    int visibleRowCount() const;

    void keyboardSearch(const QString& search) override;

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void keepOnDatasetRow();
    void onViewCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void followDataset(int row);

    DbGridModel* model_;
    bool syncing_ = false;
};

}  // namespace db
