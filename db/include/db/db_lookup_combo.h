// DbLookupCombo: a combo box bound to a code field, choosing from a lookup
// list (the window's TDBLookupComboBox).
//
// The drop-down list offers the rows of the list source's dataset, in its
// order, showing the list field; the box shows the list row whose key field
// equals the bound field's value, and nothing when the value is NULL, names
// no row, or either dataset is closed. A choice by mouse or keyboard, even of
// the value already set, starts an edit of the record (automatic edit) and
// assigns the chosen key to the bound field; with no row to edit the choice
// is undone and nothing else happens. Closing the list without a choice
// changes nothing.
//
// The combo owns neither data source. GUI thread only. Errors go to the
// widget error sink (widget_errors.h).
#pragma once

#include <QComboBox>
#include <QPointer>

#include "db/db.h"

namespace db {

class DbLookupCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit DbLookupCombo(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setDataField(const QString& name);
    void setListSource(DataSource* list);
    DataSource* listSource() const { return list_; }
    void setKeyField(const QString& name);
    void setListField(const QString& name);
    // Rows shown at once in the drop-down list.
    void setDropDownRows(int rows) { setMaxVisibleItems(rows); }
    int dropDownRows() const { return maxVisibleItems(); }

    // The bound field, or nullptr when its dataset is closed.
    Field* field() const;
    // The key of the row shown; invalid when nothing is shown.
    QVariant keyValue() const { return currentData(); }

    // Reads the list rows again, then shows the field's value.
    void reloadList();
    // Shows the field's value.
    void refresh();

  private:
    void onActivated(int index);

    QPointer<DataSource> source_;
    QPointer<DataSource> list_;
    QString fieldName_;
    QString keyField_;
    QString listField_;
    bool updating_ = false;
    QList<QMetaObject::Connection> sourceConnections_;
    QList<QMetaObject::Connection> listConnections_;
};

}  // namespace db
