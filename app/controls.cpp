#include "controls.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVariant>
#include <algorithm>

namespace precios {

namespace {
constexpr const char* kAlignProperty = "preciosAlign";
}

void setAlign(QWidget* control, Align align) {
    control->setProperty(kAlignProperty, static_cast<int>(align));
}

Align alignOf(const QWidget* control) {
    const QVariant value = control->property(kAlignProperty);
    return value.isValid() ? static_cast<Align>(value.toInt()) : Align::None;
}

void alignChildren(QWidget* parent, const QRect& client) {
    QRect rest = client;
    const QList<QWidget*> children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    // The order of the passes decides who gets the corners: top and bottom
    // strips span the full width, left and right ones what remains.
    for (Align pass : {Align::Top, Align::Bottom, Align::Left, Align::Right, Align::Client}) {
        for (QWidget* child : children) {
            if (alignOf(child) != pass || child->isWindow()) continue;
            const QSize size = child->size();
            switch (pass) {
                case Align::Top:
                    child->setGeometry(rest.left(), rest.top(), rest.width(), size.height());
                    rest.setTop(rest.top() + size.height());
                    break;
                case Align::Bottom:
                    child->setGeometry(rest.left(), rest.bottom() + 1 - size.height(), rest.width(),
                                       size.height());
                    rest.setBottom(rest.bottom() - size.height());
                    break;
                case Align::Left:
                    child->setGeometry(rest.left(), rest.top(), size.width(), rest.height());
                    rest.setLeft(rest.left() + size.width());
                    break;
                case Align::Right:
                    child->setGeometry(rest.right() + 1 - size.width(), rest.top(), size.width(),
                                       rest.height());
                    rest.setRight(rest.right() - size.width());
                    break;
                case Align::Client:
                    child->setGeometry(rest);
                    break;
                case Align::None:
                    break;
            }
        }
    }
}

Panel::Panel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

void Panel::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void Panel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

void Panel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    alignChildren(this, contentsRect());
}

QValidator::State UpperCaseValidator::validate(QString& input, int& pos) const {
    const QString upper = input.toUpper();
    if (upper != input) {
        // A letter may grow when upper-cased (ß gives SS): keep the caret at
        // the same distance from the end.
        pos = qBound(0, pos + int(upper.size() - input.size()), int(upper.size()));
        input = upper;
    }
    return Acceptable;
}

UpperCaseEdit::UpperCaseEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new UpperCaseValidator(this));
}

void UpperCaseEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // QLineEdit selects on Tab and Backtab only; a focus given by code (a
    // leave rule, the recovery, the selection sequence) counts as well.
    if (event->reason() == Qt::OtherFocusReason && !hasSelectedText()) selectAll();
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect textRect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown()) {
        textRect.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap, caption);
}

namespace {
constexpr const char* kTabOrderProperty = "preciosTabOrder";
}

void setTabOrderIndex(QWidget* control, int index) {
    control->setProperty(kTabOrderProperty, index);
}

int tabOrderIndex(const QWidget* control) {
    const QVariant value = control->property(kTabOrderProperty);
    return value.isValid() ? value.toInt() : -1;
}

QList<QWidget*> tabOrderList(QWidget* root) {
    QList<QWidget*> children;
    for (QWidget* child : root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (tabOrderIndex(child) >= 0) children.append(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](QWidget* a, QWidget* b) { return tabOrderIndex(a) < tabOrderIndex(b); });
    QList<QWidget*> list;
    for (QWidget* child : children) {
        list.append(child);
        list.append(tabOrderList(child));
    }
    return list;
}

bool takesFocus(const QWidget* control) {
    if ((control->focusPolicy() & Qt::TabFocus) == 0) return false;
    if (qobject_cast<const QFrame*>(control) != nullptr &&
        qobject_cast<const QAbstractScrollArea*>(control) == nullptr) {
        return false;  // a panel
    }
    return control->isEnabled() && control->isVisibleTo(control->window());
}

QList<QWidget*> focusRing(QWidget* root) {
    QList<QWidget*> ring;
    for (QWidget* control : tabOrderList(root)) {
        if (takesFocus(control)) ring.append(control);
    }
    return ring;
}

void applyTabOrder(QWidget* root) {
    QWidget* previous = nullptr;
    for (QWidget* control : tabOrderList(root)) {
        if ((control->focusPolicy() & Qt::TabFocus) == 0) continue;
        if (previous != nullptr) QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

bool DateBox::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }

ItemGrid::ItemGrid(QWidget* parent) : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
}

bool ItemGrid::focusNextPrevChild(bool next) {
    if (tabKeyNavigation()) {
        QKeyEvent key(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab, Qt::NoModifier);
        keyPressEvent(&key);
    }
    return true;
}

}  // namespace precios
