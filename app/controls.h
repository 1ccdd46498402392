// The control kinds the main window is built from.
//
// The window places every control by hand, in pixels, relative to its parent,
// the way the store's staff know it. These classes add what plain Qt widgets
// lack for that: panels with a one-pixel raised bevel, a caption and aligned
// children (top, bottom, left, right, fill); edit boxes that force upper case
// on typed and pasted text; push buttons whose caption wraps; and the aliases
// under which the data-bound controls are declared, so the data layer can swap
// in its own classes in one place.
//
// Every object here is owned by its Qt parent and lives on the GUI thread.
#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QValidator>

#include "db/db_edit.h"
#include "db/db_grid.h"
#include "db/db_lookup_combo.h"

namespace precios {

// How a control follows its parent's client area when the parent is resized.
// None keeps the distance to the parent's top-left corner.
enum class Align { None, Top, Bottom, Left, Right, Client };

void setAlign(QWidget* control, Align align);
Align alignOf(const QWidget* control);

// Lays out the aligned children of parent inside client: top-aligned ones
// first, then bottom, left, right, and the fill child takes what is left.
// Children with Align::None are not touched.
void alignChildren(QWidget* parent, const QRect& client);

// A container with the classic one-pixel raised bevel; its children start one
// pixel inside. An optional caption is drawn centred.
class Panel : public QFrame {
    Q_OBJECT
  public:
    explicit Panel(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QString caption_;
};

// Turns every letter to upper case, whether typed, pasted or dropped.
class UpperCaseValidator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// A plain edit box with upper-case forcing (the window's TEdit boxes).
// Entered by the keyboard or by code it selects its whole text, so typing
// replaces the value; entered by a press it keeps the caret at the click.
class UpperCaseEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit UpperCaseEdit(QWidget* parent = nullptr);

  protected:
    void focusInEvent(QFocusEvent* event) override;
};

// A push button whose caption wraps at word boundaries when it does not fit.
class WrapButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Tab order. Every windowed control carries its index among its siblings;
// the tab-order list is built depth-first: the children of each container in
// ascending index, each container followed at once by its own children.
void setTabOrderIndex(QWidget* control, int index);
int tabOrderIndex(const QWidget* control);  // -1 for a control without one
QList<QWidget*> tabOrderList(QWidget* root);

// Whether Enter or Tab can put the focus on control: a tab stop that is
// enabled and shown, inside containers that are, within its window. Panels are
// never tab stops.
bool takesFocus(const QWidget* control);

// The tab-order list of root reduced to the controls that take the focus.
QList<QWidget*> focusRing(QWidget* root);

// Chains Qt's focus order along the tab-order list of root, so Tab and
// Shift+Tab walk the controls as listed (disabled ones are skipped by Qt).
void applyTabOrder(QWidget* root);

// A date picker whose Tab leaves the control instead of walking the day,
// month and year parts.
class DateBox : public QDateEdit {
    Q_OBJECT
  public:
    using QDateEdit::QDateEdit;

  protected:
    bool focusNextPrevChild(bool next) override;
};

// The item grid. For now a read-only table view; the data layer gives it its
// model.
class ItemGrid : public QTableView {
    Q_OBJECT
  public:
    explicit ItemGrid(QWidget* parent = nullptr);

  protected:
    // Tab and Shift+Tab move between cells and never leave the grid.
    bool focusNextPrevChild(bool next) override;
};

// The data-bound kinds: the data layer's data-aware subclasses of the same Qt
// classes.
using DbGrid = db::DbGrid;
using DbEdit = db::DbEdit;
using DbLookupCombo = db::DbLookupCombo;
using DatePicker = DateBox;

}  // namespace precios
