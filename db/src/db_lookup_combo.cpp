// DbLookupCombo: the bound lookup combo box.
#include "db/db_lookup_combo.h"

#include "db/widget_errors.h"

namespace db {

DbLookupCombo::DbLookupCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, &DbLookupCombo::onActivated);
}

void DbLookupCombo::setDataSource(DataSource* source) {
    for (const auto& c : sourceConnections_) disconnect(c);
    sourceConnections_.clear();
    source_ = source;
    if (source_) {
        sourceConnections_ << connect(
            source_, &DataSource::controlsUpdate, this, [this](Field* changed) {
                if (changed == nullptr ||
                    changed->name().compare(fieldName_, Qt::CaseInsensitive) == 0)
                    refresh();
            });
    }
    refresh();
}

void DbLookupCombo::setDataField(const QString& name) {
    fieldName_ = name;
    refresh();
}

void DbLookupCombo::setListSource(DataSource* list) {
    for (const auto& c : listConnections_) disconnect(c);
    listConnections_.clear();
    list_ = list;
    if (list_) {
        // The lookup lists are read once per opening; only opening and
        // closing change what they offer.
        listConnections_ << connect(list_, &DataSource::stateChanged, this,
                                    &DbLookupCombo::reloadList);
    }
    reloadList();
}

void DbLookupCombo::setKeyField(const QString& name) {
    keyField_ = name;
    reloadList();
}

void DbLookupCombo::setListField(const QString& name) {
    listField_ = name;
    reloadList();
}

Field* DbLookupCombo::field() const {
    if (!source_ || !source_->dataset() || fieldName_.isEmpty()) return nullptr;
    Dataset* ds = source_->dataset();
    return ds->isActive() ? ds->findField(fieldName_) : nullptr;
}

void DbLookupCombo::reloadList() {
    updating_ = true;
    clear();
    Dataset* ds = list_ ? list_->dataset() : nullptr;
    if (ds != nullptr && ds->isActive() && !keyField_.isEmpty() && !listField_.isEmpty()) {
        const Field* key = ds->findField(keyField_);
        const Field* shown = ds->findField(listField_);
        if (key != nullptr && shown != nullptr) {
            guardWidgetAction([ds] { ds->fetchAll(); });
            for (int row = 0; row < ds->recordCount(); ++row) {
                const QVariant code = ds->rowValue(row, key->index());
                addItem(ds->rowValue(row, shown->index()).toString(), code);
            }
        }
    }
    updating_ = false;
    refresh();
}

void DbLookupCombo::refresh() {
    const Field* f = field();
    int index = -1;
    if (f != nullptr && f->dataset()->currentRow() >= 0) {
        const QVariant value = f->value();
        if (value.isValid()) {
            // Codes are integers whatever type the route delivered them in.
            bool ok = false;
            const qlonglong code = value.toLongLong(&ok);
            for (int i = 0; i < count() && index < 0; ++i) {
                const QVariant key = itemData(i);
                if (!key.isValid()) continue;
                if (ok ? key.toLongLong() == code : key == value) index = i;
            }
        }
    }
    updating_ = true;
    if (currentIndex() != index) setCurrentIndex(index);
    updating_ = false;
}

void DbLookupCombo::onActivated(int index) {
    if (updating_) return;
    const QVariant key = itemData(index);
    Field* f = field();
    bool done = false;
    if (f != nullptr && f->dataset()->currentRow() >= 0 && key.isValid()) {
        done = guardWidgetAction([&] {
            if (source_->edit()) {
                f->setValue(key);
            }
        });
        done = done && (f->dataset()->state() == DatasetState::Edit ||
                        f->dataset()->state() == DatasetState::Insert);
    }
    // No record to change, or the change failed: show the field again.
    if (!done) refresh();
}

}  // namespace db
