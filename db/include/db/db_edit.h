// DbEdit: an edit box bound to one field of a data source (the window's
// TDBEdit boxes).
//
// It shows the field's display text (display format, the locale's decimal
// separator, empty for NULL or when the dataset has no current row) and
// follows every controlsUpdate of its data source that concerns it. Typing,
// deleting, pasting or cutting first asks the data source for an edit
// (automatic edit); when there is no row to edit the change is undone and
// nothing else happens. The typed text stays in the box until it is handed to
// the field: when the box is left, or when the data source asks for it before
// a write (updateData). For a text field the box takes at most the field's
// length; while the dataset is closed it keeps the limit it was last given.
//
// The box does not own its data source; it forgets it when it is destroyed.
// GUI thread only. Errors go to the widget error sink (widget_errors.h).
#pragma once

#include <QLineEdit>
#include <QPointer>

#include "db/db.h"

namespace db {

class DbEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit DbEdit(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setDataField(const QString& name);
    const QString& dataField() const { return fieldName_; }
    // The bound field, or nullptr when the dataset is closed or has no such field.
    Field* field() const;
    // Whether the box holds typing not yet handed to its field.
    bool isModified() const { return modified_; }

    // Hands typed text to the field now (the dataset must be editing).
    void updateRecord();
    // Shows the field's value again, dropping unsent typing.
    void refresh();

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void onTextEdited(const QString& text);
    void onControlsUpdate(db::Field* field);

    QPointer<DataSource> source_;
    QString fieldName_;
    bool modified_ = false;
    bool updating_ = false;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace db
