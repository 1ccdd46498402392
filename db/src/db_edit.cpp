// DbEdit: the bound edit box.
#include "db/db_edit.h"

#include "db/widget_errors.h"

namespace db {

namespace {
// QLineEdit's own ceiling, used when the field sets no length.
constexpr int kUnlimited = 32767;

bool isEditing(const Dataset* ds) {
    return ds != nullptr &&
           (ds->state() == DatasetState::Edit || ds->state() == DatasetState::Insert);
}
}  // namespace

DbEdit::DbEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, &DbEdit::onTextEdited);
}

void DbEdit::setDataSource(DataSource* source) {
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    source_ = source;
    if (source_) {
        connections_ << connect(source_, &DataSource::controlsUpdate, this,
                                &DbEdit::onControlsUpdate);
        // Thrown errors travel back to the write that asked for the text.
        connections_ << connect(source_, &DataSource::updateData, this, &DbEdit::updateRecord);
    }
    refresh();
}

void DbEdit::setDataField(const QString& name) {
    fieldName_ = name;
    refresh();
}

Field* DbEdit::field() const {
    if (!source_ || !source_->dataset() || fieldName_.isEmpty()) return nullptr;
    Dataset* ds = source_->dataset();
    if (!ds->isActive()) return nullptr;
    return ds->findField(fieldName_);
}

void DbEdit::refresh() {
    const Field* f = field();
    const bool hasRow = f != nullptr && f->dataset()->currentRow() >= 0;
    updating_ = true;
    // Without a field (dataset closed) the box keeps the limit it has.
    if (f != nullptr)
        setMaxLength(f->type() == FieldType::Text && f->size() > 0 ? f->size() : kUnlimited);
    const QString shown = hasRow ? f->displayText() : QString();
    if (text() != shown) setText(shown);
    updating_ = false;
    modified_ = false;
}

void DbEdit::onControlsUpdate(Field* changed) {
    if (changed == nullptr || changed->name().compare(fieldName_, Qt::CaseInsensitive) == 0)
        refresh();
}

void DbEdit::onTextEdited(const QString& typed) {
    if (updating_) return;
    const int cursor = cursorPosition();
    Field* f = field();
    bool editing = false;
    if (f != nullptr && f->dataset()->currentRow() >= 0) {
        // Starting the edit refreshes every bound box, this one included:
        // the typing is put back afterwards.
        guardWidgetAction([&] { editing = source_->edit(); });
    }
    if (!editing) {
        // No row to change (or the data source refused): the typing is undone.
        refresh();
        return;
    }
    updating_ = true;
    if (text() != typed) setText(typed);
    setCursorPosition(cursor);
    updating_ = false;
    modified_ = true;
}

void DbEdit::updateRecord() {
    if (!modified_) return;
    Field* f = field();
    if (f == nullptr || !isEditing(f->dataset())) {
        modified_ = false;
        return;
    }
    f->setValue(text());
    modified_ = false;
}

void DbEdit::focusOutEvent(QFocusEvent* event) {
    // Leaving the box only hands its text to the field; nothing is written.
    guardWidgetAction([this] { updateRecord(); });
    QLineEdit::focusOutEvent(event);
}

}  // namespace db
