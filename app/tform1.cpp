#include "tform1.h"

#include <QDate>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "application.h"

using precios::Align;

namespace {

// Names the control, gives it its design geometry and, for windowed
// controls, its index in the parent's tab order.
template <class W>
W* make(QWidget* parent, const char* name, int left, int top, int width, int height,
        int tabOrder = -1) {
    auto* control = new W(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    if (tabOrder >= 0) precios::setTabOrderIndex(control, tabOrder);
    return control;
}

// Labels size themselves to their caption: with the Windows Tahoma that is
// the size given in the layout; a wider substitute font must not cut the text.
void fitLabel(QLabel* label) {
    const int textWidth = label->fontMetrics().horizontalAdvance(label->text());
    label->resize(std::max(label->width(), textWidth), label->height());
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = make<QLabel>(parent, name, left, top, width, height);
    label->setText(caption);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    fitLabel(label);
    return label;
}

precios::UpperCaseEdit* makeBox(QWidget* parent, const char* name, int left, int top, int width,
                                int tabOrder, Qt::Alignment alignment, bool enabled = true) {
    auto* box = make<precios::UpperCaseEdit>(parent, name, left, top, width, 21, tabOrder);
    box->setAlignment(alignment | Qt::AlignVCenter);
    box->setEnabled(enabled);
    return box;
}

precios::DbEdit* makeBoundBox(QWidget* parent, const char* name, int left, int top, int width,
                              int tabOrder, bool enabled) {
    auto* box = make<precios::DbEdit>(parent, name, left, top, width, 21, tabOrder);
    box->setEnabled(enabled);
    return box;
}

precios::DatePicker* makeDatePicker(QWidget* parent, const char* name, int left, int top,
                                    int tabOrder) {
    auto* picker = make<precios::DatePicker>(parent, name, left, top, 89, 21, tabOrder);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    return picker;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Materiales de Construccion Valtorna"));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    QFont windowFont(QStringLiteral("Tahoma"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    resize(kClientWidth, kClientHeight);

    buildPanels();
    buildSearchStrip();
    buildItemRecord();
    buildPriceBoxes();
    buildButtonBar();
    precios::applyTabOrder(this);
    connectHandlers();
    bindBrowse();
    qApp->installEventFilter(this);
}

TForm1::~TForm1() {
    // The controls are destroyed after this body; their last focus events
    // must not reach handlers of a window that is going away.
    qApp->removeEventFilter(this);
}

void TForm1::buildPanels() {
    Panel1 = make<precios::Panel>(this, "Panel1", 0, 0, 360, 561, 0);
    precios::setAlign(Panel1, Align::Left);

    Panel2 = make<precios::Panel>(Panel1, "Panel2", 1, 1, 358, 20, 0);
    precios::setAlign(Panel2, Align::Top);
    Panel2->setCaption(QStringLiteral("Articulos"));
    QFont titleFont(QStringLiteral("Tahoma"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    Panel2->setFont(titleFont);

    DBGrid1 = make<precios::DbGrid>(Panel1, "DBGrid1", 1, 21, 358, 539, 1);
    precios::setAlign(DBGrid1, Align::Client);

    Panel3 = make<precios::Panel>(this, "Panel3", 360, 0, 639, 561, 1);
    precios::setAlign(Panel3, Align::Client);

    Panel5 = make<precios::Panel>(Panel3, "Panel5", 1, 1, 637, 72, 6);
    precios::setAlign(Panel5, Align::Top);

    Panel4 = make<precios::Panel>(Panel3, "Panel4", 1, 496, 637, 64, 0);
    precios::setAlign(Panel4, Align::Bottom);
}

void TForm1::buildSearchStrip() {
    Label1 = makeLabel(Panel5, "Label1", QStringLiteral("Busqueda"), 5, 6, 47, 13);
    ebuscar = makeBox(Panel5, "ebuscar", 5, 25, 267, 0, Qt::AlignLeft);

    Label23 =
        makeLabel(Panel5, "Label23", QStringLiteral("Cambiar estado de Tickets"), 309, 1, 126, 13);
    Label25 = makeLabel(Panel5, "Label25", QStringLiteral("Desde:"), 294, 22, 34, 13);
    Label24 = makeLabel(Panel5, "Label24", QStringLiteral("Hasta:"), 294, 45, 32, 13);
    dfecha = makeDatePicker(Panel5, "dfecha", 336, 20, 2);
    hfecha = makeDatePicker(Panel5, "hfecha", 336, 41, 3);

    Cfacturados = make<QCheckBox>(Panel5, "Cfacturados", 431, 21, 105, 17, 4);
    Cfacturados->setText(QStringLiteral("Incluir Facturados"));
    cfacturar = make<QCheckBox>(Panel5, "cfacturar", 431, 44, 133, 17, 5);
    cfacturar->setText(QStringLiteral("Marcar como Facturado"));

    Button3 = make<precios::WrapButton>(Panel5, "Button3", 564, 1, 72, 70, 1);
    Button3->setText(QStringLiteral("Cambiar Estado"));
    precios::setAlign(Button3, Align::Right);
}

void TForm1::buildItemRecord() {
    Label5 = makeLabel(Panel3, "Label5", QStringLiteral("Referencia:"), 18, 122, 56, 13);
    DBEdit4 = makeBoundBox(Panel3, "DBEdit4", 18, 141, 89, 2, false);
    Label5->setBuddy(DBEdit4);
    Label6 = makeLabel(Panel3, "Label6", QStringLiteral("Descripcion:"), 113, 122, 58, 13);
    DBEdit5 = makeBoundBox(Panel3, "DBEdit5", 113, 141, 352, 3, true);
    Label6->setBuddy(DBEdit5);
    Label8 = makeLabel(Panel3, "Label8", QStringLiteral("Des. Corta: (25 caracteres)"), 113, 168,
                       133, 13);
    DBEdit7 = makeBoundBox(Panel3, "DBEdit7", 113, 187, 160, 4, true);
    Label8->setBuddy(DBEdit7);

    Label10 = makeLabel(Panel3, "Label10", QStringLiteral("IVA:"), 18, 218, 21, 13);
    DBLookupComboBox1 =
        make<precios::DbLookupCombo>(Panel3, "DBLookupComboBox1", 83, 214, 102, 21, 7);
    DBLookupComboBox1->setMaxVisibleItems(7);
    Label4 = makeLabel(Panel3, "Label4", QStringLiteral("Proveedor:"), 18, 247, 54, 13);
    DBLookupComboBox2 =
        make<precios::DbLookupCombo>(Panel3, "DBLookupComboBox2", 83, 240, 382, 21, 8);
    DBLookupComboBox2->setMaxVisibleItems(15);
}

void TForm1::buildPriceBoxes() {
    const Qt::Alignment right = Qt::AlignRight;
    const Qt::Alignment left = Qt::AlignLeft;

    // Current prices: read-only figures of the item shown.
    Label7 = makeLabel(Panel3, "Label7", QStringLiteral("sin IVA"), 122, 266, 33, 13);
    Label13 = makeLabel(Panel3, "Label13", QStringLiteral("con IVA"), 196, 266, 37, 13);
    Label14 = makeLabel(Panel3, "Label14", QStringLiteral("% Beneficio"), 276, 267, 57, 13);
    Label15 = makeLabel(Panel3, "Label15", QStringLiteral("€ Ben. Neto"), 354, 267, 57, 13);
    Label9 = makeLabel(Panel3, "Label9", QStringLiteral("Precio compra "), 18, 288, 70, 13);
    DBEdit8 = makeBoundBox(Panel3, "DBEdit8", 99, 285, 76, 5, false);
    DBEdit8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label9->setBuddy(DBEdit8);
    pciva = makeBox(Panel3, "pciva", 177, 285, 74, 10, right, false);
    Label2 = makeLabel(Panel3, "Label2", QStringLiteral("PVP 1"), 18, 315, 27, 13);
    DBEdit2 = makeBoundBox(Panel3, "DBEdit2", 99, 312, 76, 1, false);
    DBEdit2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pvp1iva = makeBox(Panel3, "pvp1iva", 177, 312, 74, 9, right, false);
    bnpvp1 = makeBox(Panel3, "bnpvp1", 265, 312, 74, 11, right, false);
    bnneto = makeBox(Panel3, "bnneto", 345, 312, 74, 12, right, false);

    // Simulation.
    Label21 = makeLabel(Panel3, "Label21", QStringLiteral("SIMULACION"), 200, 352, 71, 13);
    QFont headingFont = Label21->font();
    headingFont.setBold(true);
    headingFont.setUnderline(true);
    Label21->setFont(headingFont);
    fitLabel(Label21);
    Label11 = makeLabel(Panel3, "Label11", QStringLiteral("Descuento"), 99, 379, 51, 13);
    Label18 = makeLabel(Panel3, "Label18", QStringLiteral("sin IVA"), 247, 379, 33, 13);
    Label3 = makeLabel(Panel3, "Label3", QStringLiteral("con IVA"), 323, 379, 37, 13);
    Label16 = makeLabel(Panel3, "Label16", QStringLiteral("% Beneficio"), 403, 380, 57, 13);
    Label17 = makeLabel(Panel3, "Label17", QStringLiteral("€ Ben. Neto"), 481, 380, 57, 13);

    Label20 = makeLabel(Panel3, "Label20", QStringLiteral("Precio compra "), 18, 400, 70, 13);
    Edit1 = makeBox(Panel3, "Edit1", 109, 397, 26, 13, left);
    Edit1->setText(QStringLiteral("0"));
    Label22 = makeLabel(Panel3, "Label22", QStringLiteral("%"), 141, 401, 11, 13);
    spcbasesd = makeBox(Panel3, "spcbasesd", 155, 398, 70, 14, right);
    spcbase = makeBox(Panel3, "spcbase", 228, 398, 74, 15, right);
    spciva = makeBox(Panel3, "spciva", 304, 398, 74, 16, right);

    Label19 = makeLabel(Panel3, "Label19", QStringLiteral("PVP 1"), 18, 427, 27, 13);
    Edit2 = makeBox(Panel3, "Edit2", 109, 424, 26, 22, left);
    Edit2->setText(QStringLiteral("28"));
    Label12 = makeLabel(Panel3, "Label12", QStringLiteral("%"), 141, 428, 11, 13);
    spvp1base = makeBox(Panel3, "spvp1base", 228, 425, 74, 17, right);
    spvp1iva = makeBox(Panel3, "spvp1iva", 304, 425, 74, 18, right);
    sbeneficio = makeBox(Panel3, "sbeneficio", 392, 425, 74, 19, right);
    sbnneto = makeBox(Panel3, "sbnneto", 472, 425, 74, 20, right);

    Button1 = make<QPushButton>(Panel3, "Button1", 181, 451, 145, 39, 21);
    Button1->setText(QStringLiteral("Aplicar Cambios"));
}

void TForm1::buildButtonBar() {
    BTGuardar = make<QPushButton>(Panel4, "BTGuardar", 1, 1, 72, 62, 0);
    BTGuardar->setText(QStringLiteral("Guardar"));
    BTGuardar->setEnabled(false);
    precios::setAlign(BTGuardar, Align::Left);
    BTCancelar = make<QPushButton>(Panel4, "BTCancelar", 73, 1, 72, 62, 1);
    BTCancelar->setText(QStringLiteral("Cancelar"));
    BTCancelar->setEnabled(false);
    precios::setAlign(BTCancelar, Align::Left);
    Button2 = make<precios::WrapButton>(Panel4, "Button2", 543, 1, 93, 62, 2);
    Button2->setText(QStringLiteral("Seleccionar Base de Datos"));
    precios::setAlign(Button2, Align::Right);
}

void TForm1::connectHandlers() {
    using precios::runHandler;
    connect(Button1, &QPushButton::clicked, this,
            [this] { runHandler([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { runHandler([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { runHandler([this] { Button3Click(); }); });
    connect(ebuscar, &QLineEdit::textChanged, this,
            [this] { runHandler([this] { ebuscarChange(); }); });
    connect(&model.DSARTICULOS, &db::DataSource::dataChanged, this,
            [this] { runHandler([this] { DSARTICULOSDataChange(); }); });

    exitHandlers_ = {
        {ebuscar, [this] { ebuscarExit(); }},     {DBGrid1, [this] { DBGrid1Exit(); }},
        {spcbasesd, [this] { spcbasesdExit(); }}, {spcbase, [this] { spcbaseExit(); }},
        {spciva, [this] { spcivaExit(); }},       {spvp1base, [this] { spvp1baseExit(); }},
        {spvp1iva, [this] { spvp1ivaExit(); }},   {sbeneficio, [this] { sbeneficioExit(); }},
        {sbnneto, [this] { sbnnetoExit(); }},
    };
    clickHandlers_ = {
        {spcbase, [this] { spcbaseClick(spcbase); }},
        {spcbasesd, [this] { spcbaseClick(spcbasesd); }},
        {spciva, [this] { spcivaClick(); }},
        {spvp1base, [this] { spvp1baseClick(); }},
        {spvp1iva, [this] { spvp1ivaClick(); }},
        {sbeneficio, [this] { sbeneficioClick(); }},
        {sbnneto, [this] { sbnnetoClick(); }},
    };
}

QWidget* TForm1::controlOf(QObject* object) const {
    for (auto* w = qobject_cast<QWidget*>(object); w != nullptr && w != this;
         w = w->parentWidget()) {
        if (w->isWindow()) return nullptr;  // a popup or dialog of its own
        if (precios::tabOrderIndex(w) >= 0) return w;
    }
    return nullptr;
}

void TForm1::selectNextControl() {
    const QList<QWidget*> list = precios::tabOrderList(this);
    if (list.isEmpty()) return;
    QWidget* start = controlOf(QApplication::focusWidget());
    const qsizetype from = start != nullptr ? list.indexOf(start) : list.size() - 1;
    for (qsizetype step = 1; step <= list.size(); ++step) {
        QWidget* candidate = list[(from + step) % list.size()];
        if (candidate == start) return;
        if (precios::takesFocus(candidate)) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusIn:
            if (QWidget* control = controlOf(watched)) holder_ = control;
            break;
        case QEvent::FocusOut: {
            // Switching to another window, or opening a popup, is no leave.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
            QWidget* control = controlOf(watched);
            // A control that was about to get the focus when a leave handler
            // moved it elsewhere never held it: it gets no leave either.
            if (control == nullptr || control != holder_) break;
            holder_ = nullptr;
            // A press on another control wins over the redirections of the
            // search box and the grid: the pressed control takes the focus and
            // acts, so one click presses a button. Keyboard and code moves
            // still follow them.
            if (reason == Qt::MouseFocusReason && (control == ebuscar || control == DBGrid1)) {
                break;
            }
            auto handler = exitHandlers_.value(control);
            if (!handler) break;
            // The control takes its own leave first (a line edit drops its
            // selection and caret then), so a leave handler that puts the
            // focus back in it finds it clean and its selection stays.
            QCoreApplication::sendEvent(watched, event);
            precios::runHandler(handler);
            return true;
        }
        case QEvent::KeyPress:
            if (!redelivering_ && watched == QApplication::focusWidget() && controlOf(watched)) {
                return previewKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
            }
            break;
        case QEvent::MouseButtonPress:
            // Qt has already moved the focus for this press; when a leave
            // handler sent it elsewhere (a recalculation's recovery), the
            // press is dropped so the control that was clicked neither takes
            // the focus nor acts.
            if (event->spontaneous() && pressSuperseded(qobject_cast<QWidget*>(watched))) {
                return true;
            }
            break;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            auto* widget = qobject_cast<QWidget*>(watched);
            if (redelivering_ || widget == nullptr || mouse->button() != Qt::LeftButton) break;
            auto handler = clickHandlers_.value(widget);
            if (!handler || !widget->rect().contains(mouse->position().toPoint())) break;
            // The click rule runs after the box has handled the release.
            redelivering_ = true;
            QCoreApplication::sendEvent(widget, event);
            redelivering_ = false;
            precios::runHandler(handler);
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::pressSuperseded(QWidget* pressed) const {
    if (pressed == nullptr || controlOf(pressed) == nullptr) return false;
    // The widget Qt gives the focus to on a press: the first one up the
    // parent chain that takes the focus by clicking.
    QWidget* target = pressed;
    while (target != nullptr && !target->isWindow() &&
           (target->focusPolicy() & Qt::ClickFocus) == 0) {
        target = target->parentWidget();
    }
    if (target == nullptr || target->isWindow() || !target->isEnabled()) return false;
    return controlOf(QApplication::focusWidget()) != controlOf(target);
}

bool TForm1::previewKey(QWidget* receiver, QKeyEvent* key) {
    QWidget* control = controlOf(receiver);
    // A push button takes Enter as its own key: it is pressed, the focus stays.
    if (auto* button = qobject_cast<QPushButton*>(control);
        button != nullptr && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        button->click();
        return true;
    }
    const QString text = key->text();
    if (text.size() != 1) return false;
    QChar typed = text.front();
    precios::runHandler([this, &typed] { FormKeyPress(typed); });
    if (typed.isNull()) return true;  // discarded: the control never sees it
    if (typed == text.front()) return false;
    QKeyEvent replaced(key->type(), key->key(), key->modifiers(), QString(typed),
                       key->isAutoRepeat(), key->count());
    redelivering_ = true;
    QCoreApplication::sendEvent(receiver, &replaced);
    redelivering_ = false;
    return true;
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    precios::alignChildren(this, rect());
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    // The window is placed once FormShow is over, also when an error escapes
    // from it: the report then comes first, the window after.
    precios::runHandler([this] { FormShow(); });
    placeOnDesktop();
}

void TForm1::placeOnDesktop() {
    QScreen* desktop = screen();
    if (desktop == nullptr) return;
    // Before the window is mapped its frame is not known yet; the client
    // size is the best figure then.
    const QSize outer = frameGeometry().size();
    move(precios::centredTopLeft(desktop->virtualGeometry(), outer));
}

void TForm1::FormShow() {
    runSelectionSequence(QStringLiteral("Error al conectar: "));
    const QDate today = QDate::currentDate();
    dfecha->setDate(today);
    hfecha->setDate(today);
    ebuscar->setFocus(Qt::OtherFocusReason);
}
