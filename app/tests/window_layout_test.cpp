// The main window as built: every control where the store's staff expect it,
// the panels following a resize, the focus ring, the start steps.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDate>
#include <QFontInfo>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <memory>

#include "application.h"
#include "quiet_prompter.h"
#include "tform1.h"

namespace {

struct Placed {
    const char* name;
    const char* parent;
    QRect geometry;
};

// Design geometry at 96 dpi of every windowed control, relative to its parent.
const Placed kControls[] = {
    {"Panel1", "Form1", {0, 0, 360, 561}},
    {"Panel2", "Panel1", {1, 1, 358, 20}},
    {"DBGrid1", "Panel1", {1, 21, 358, 539}},
    {"Panel3", "Form1", {360, 0, 639, 561}},
    {"Panel5", "Panel3", {1, 1, 637, 72}},
    {"Panel4", "Panel3", {1, 496, 637, 64}},
    {"ebuscar", "Panel5", {5, 25, 267, 21}},
    {"dfecha", "Panel5", {336, 20, 89, 21}},
    {"hfecha", "Panel5", {336, 41, 89, 21}},
    {"Cfacturados", "Panel5", {431, 21, 105, 17}},
    {"cfacturar", "Panel5", {431, 44, 133, 17}},
    {"Button3", "Panel5", {564, 1, 72, 70}},
    {"DBEdit4", "Panel3", {18, 141, 89, 21}},
    {"DBEdit5", "Panel3", {113, 141, 352, 21}},
    {"DBEdit7", "Panel3", {113, 187, 160, 21}},
    {"DBLookupComboBox1", "Panel3", {83, 214, 102, 21}},
    {"DBLookupComboBox2", "Panel3", {83, 240, 382, 21}},
    {"DBEdit8", "Panel3", {99, 285, 76, 21}},
    {"pciva", "Panel3", {177, 285, 74, 21}},
    {"DBEdit2", "Panel3", {99, 312, 76, 21}},
    {"pvp1iva", "Panel3", {177, 312, 74, 21}},
    {"bnpvp1", "Panel3", {265, 312, 74, 21}},
    {"bnneto", "Panel3", {345, 312, 74, 21}},
    {"Edit1", "Panel3", {109, 397, 26, 21}},
    {"spcbasesd", "Panel3", {155, 398, 70, 21}},
    {"spcbase", "Panel3", {228, 398, 74, 21}},
    {"spciva", "Panel3", {304, 398, 74, 21}},
    {"Edit2", "Panel3", {109, 424, 26, 21}},
    {"spvp1base", "Panel3", {228, 425, 74, 21}},
    {"spvp1iva", "Panel3", {304, 425, 74, 21}},
    {"sbeneficio", "Panel3", {392, 425, 74, 21}},
    {"sbnneto", "Panel3", {472, 425, 74, 21}},
    {"Button1", "Panel3", {181, 451, 145, 39}},
    {"BTGuardar", "Panel4", {1, 1, 72, 62}},
    {"BTCancelar", "Panel4", {73, 1, 72, 62}},
    {"Button2", "Panel4", {543, 1, 93, 62}},
};

struct Captioned {
    const char* name;
    const char* parent;
    const char* caption;
    QRect geometry;
};

// Labels size to their caption; the width given is the one with the Windows
// Tahoma, a lower bound here.
const Captioned kLabels[] = {
    {"Label1", "Panel5", "Busqueda", {5, 6, 47, 13}},
    {"Label23", "Panel5", "Cambiar estado de Tickets", {309, 1, 126, 13}},
    {"Label25", "Panel5", "Desde:", {294, 22, 34, 13}},
    {"Label24", "Panel5", "Hasta:", {294, 45, 32, 13}},
    {"Label5", "Panel3", "Referencia:", {18, 122, 56, 13}},
    {"Label6", "Panel3", "Descripcion:", {113, 122, 58, 13}},
    {"Label8", "Panel3", "Des. Corta: (25 caracteres)", {113, 168, 133, 13}},
    {"Label10", "Panel3", "IVA:", {18, 218, 21, 13}},
    {"Label4", "Panel3", "Proveedor:", {18, 247, 54, 13}},
    {"Label7", "Panel3", "sin IVA", {122, 266, 33, 13}},
    {"Label13", "Panel3", "con IVA", {196, 266, 37, 13}},
    {"Label14", "Panel3", "% Beneficio", {276, 267, 57, 13}},
    {"Label15", "Panel3", "\u20ac Ben. Neto", {354, 267, 57, 13}},
    {"Label9", "Panel3", "Precio compra ", {18, 288, 70, 13}},
    {"Label2", "Panel3", "PVP 1", {18, 315, 27, 13}},
    {"Label21", "Panel3", "SIMULACION", {200, 352, 71, 13}},
    {"Label11", "Panel3", "Descuento", {99, 379, 51, 13}},
    {"Label18", "Panel3", "sin IVA", {247, 379, 33, 13}},
    {"Label3", "Panel3", "con IVA", {323, 379, 37, 13}},
    {"Label16", "Panel3", "% Beneficio", {403, 380, 57, 13}},
    {"Label17", "Panel3", "\u20ac Ben. Neto", {481, 380, 57, 13}},
    {"Label20", "Panel3", "Precio compra ", {18, 400, 70, 13}},
    {"Label22", "Panel3", "%", {141, 401, 11, 13}},
    {"Label19", "Panel3", "PVP 1", {18, 427, 27, 13}},
    {"Label12", "Panel3", "%", {141, 428, 11, 13}},
};

const QStringList kRing = {
    "DBGrid1",    "Button2",   "DBEdit5",     "DBEdit7",   "ebuscar",           "Button3",
    "dfecha",     "hfecha",    "Cfacturados", "cfacturar", "DBLookupComboBox1", "DBLookupComboBox2",
    "Edit1",      "spcbasesd", "spcbase",     "spciva",    "spvp1base",         "spvp1iva",
    "sbeneficio", "sbnneto",   "Button1",     "Edit2",
};

QStringList namesOf(const QList<QWidget*>& widgets) {
    QStringList names;
    for (QWidget* w : widgets) names.append(w->objectName());
    return names;
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { form_ = std::make_unique<TForm1>(); }
    void cleanup() { form_.reset(); }

    void frameAndFonts() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Materiales de Construccion Valtorna"));
        QCOMPARE(form_->size(), QSize(999, 561));
        QCOMPARE(form_->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(form_->font().pixelSize(), 11);
        if (QFontInfo(form_->font()).family() != QStringLiteral("Tahoma")) {
            QSKIP("Tahoma is not installed (Debian: fonts-wine)");
        }
        QCOMPARE(QFontInfo(form_->ebuscar->font()).family(), QStringLiteral("Tahoma"));

        const QFont title = form_->Panel2->font();
        QVERIFY(title.bold());
        QCOMPARE(title.pixelSize(), 13);
        QCOMPARE(form_->Panel2->caption(), QStringLiteral("Articulos"));
        QVERIFY(form_->Label21->font().bold());
        QVERIFY(form_->Label21->font().underline());
        QVERIFY(!form_->Label20->font().bold());
    }

    void everyControlWhereDesigned() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        for (const Placed& c : kControls) {
            auto* w = form_->findChild<QWidget*>(QString::fromLatin1(c.name));
            QVERIFY2(w != nullptr, c.name);
            QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
            QCOMPARE(w->geometry(), c.geometry);
        }
        for (const Captioned& c : kLabels) {
            auto* label = form_->findChild<QLabel*>(QString::fromLatin1(c.name));
            QVERIFY2(label != nullptr, c.name);
            QCOMPARE(label->parentWidget()->objectName(), QString::fromLatin1(c.parent));
            QCOMPARE(label->text(), QString::fromUtf8(c.caption));
            QCOMPARE(label->pos(), c.geometry.topLeft());
            QCOMPARE(label->height(), c.geometry.height());
            QVERIFY2(label->width() >= c.geometry.width(), c.name);
            // The whole caption is visible.
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                     c.name);
        }
        // Panels' children start one pixel inside the bevel.
        QCOMPARE(form_->Panel1->contentsRect(), QRect(1, 1, 358, 559));
    }

    void statesAndAlignment() {
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0"));
        QCOMPARE(form_->Edit2->text(), QStringLiteral("28"));
        const QList<QWidget*> disabled = {form_->DBEdit2, form_->DBEdit4,   form_->DBEdit8,
                                          form_->pciva,   form_->pvp1iva,   form_->bnpvp1,
                                          form_->bnneto,  form_->BTGuardar, form_->BTCancelar};
        for (QWidget* w : disabled) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(form_->Button2->isEnabled());
        QVERIFY(form_->DBEdit5->isEnabled());

        const QList<QLineEdit*> rightAligned = {
            form_->pciva,   form_->pvp1iva, form_->bnpvp1,    form_->bnneto,   form_->spcbasesd,
            form_->spcbase, form_->spciva,  form_->spvp1base, form_->spvp1iva, form_->sbeneficio,
            form_->sbnneto, form_->DBEdit8, form_->DBEdit2};
        for (QLineEdit* box : rightAligned) {
            QVERIFY2(box->alignment() & Qt::AlignRight, qPrintable(box->objectName()));
        }
        QVERIFY(form_->Edit1->alignment() & Qt::AlignLeft);
        QVERIFY(form_->Edit2->alignment() & Qt::AlignLeft);
        QVERIFY(form_->ebuscar->alignment() & Qt::AlignLeft);

        QVERIFY(form_->dfecha->calendarPopup());
        QCOMPARE(form_->dfecha->displayFormat(), QLocale().dateFormat(QLocale::ShortFormat));
        QCOMPARE(form_->hfecha->displayFormat(), QLocale().dateFormat(QLocale::ShortFormat));
        QCOMPARE(form_->DBLookupComboBox1->maxVisibleItems(), 7);
        QCOMPARE(form_->DBLookupComboBox2->maxVisibleItems(), 15);
    }

    void resizeMovesOnlyWhatIsAligned() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const QRect ebuscarBefore = form_->ebuscar->geometry();
        const QRect button1Before = form_->Button1->geometry();
        const QRect guardarBefore = form_->BTGuardar->geometry();

        form_->resize(1200, 700);
        QTRY_COMPARE(form_->size(), QSize(1200, 700));
        QCOMPARE(form_->Panel1->geometry(), QRect(0, 0, 360, 700));
        QCOMPARE(form_->Panel2->geometry(), QRect(1, 1, 358, 20));
        QCOMPARE(form_->DBGrid1->geometry(), QRect(1, 21, 358, 678));
        QCOMPARE(form_->Panel3->geometry(), QRect(360, 0, 840, 700));
        QCOMPARE(form_->Panel5->geometry(), QRect(1, 1, 838, 72));
        QCOMPARE(form_->Panel4->geometry(), QRect(1, 635, 838, 64));
        QCOMPARE(form_->Button3->geometry(), QRect(765, 1, 72, 70));
        QCOMPARE(form_->Button2->geometry(), QRect(744, 1, 93, 62));
        QCOMPARE(form_->ebuscar->geometry(), ebuscarBefore);
        QCOMPARE(form_->Button1->geometry(), button1Before);
        QCOMPARE(form_->BTGuardar->geometry(), guardarBefore);

        // Back to the design size: every control where it started.
        form_->resize(999, 561);
        QTRY_COMPARE(form_->size(), QSize(999, 561));
        for (const Placed& c : kControls) {
            QCOMPARE(form_->findChild<QWidget*>(QString::fromLatin1(c.name))->geometry(),
                     c.geometry);
        }
    }

    void focusRingFollowsTabOrder() {
        QCOMPARE(namesOf(precios::focusRing(form_.get())), kRing);
        // Panels are in the tab-order list but never in the ring.
        const QStringList all = namesOf(precios::tabOrderList(form_.get()));
        QCOMPARE(all.mid(0, 4), (QStringList{"Panel1", "Panel2", "DBGrid1", "Panel3"}));
        QCOMPARE(all.indexOf("Panel5") + 1, all.indexOf("ebuscar"));

        // An enabled button joins the ring at its place.
        form_->BTGuardar->setEnabled(true);
        QStringList withGuardar = kRing;
        withGuardar.insert(1, QStringLiteral("BTGuardar"));
        QCOMPARE(namesOf(precios::focusRing(form_.get())), withGuardar);
    }

    void upperCaseForcingOnTypingAndPasting() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::keyClicks(form_->ebuscar, QStringLiteral("cemento gris"));
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("CEMENTO GRIS"));

        QApplication::clipboard()->setText(QStringLiteral("d'arco ñu"));
        form_->ebuscar->clear();
        form_->ebuscar->paste();
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("D'ARCO ÑU"));

        form_->spcbase->clear();
        QTest::keyClicks(form_->spcbase, QStringLiteral("1e3"));
        QCOMPARE(form_->spcbase->text(), QStringLiteral("1E3"));
        // The record's text boxes keep the case typed; with no item shown
        // they take no typing at all (browse_record_test types into them).
        QTest::keyClicks(form_->DBEdit5, QStringLiteral("Arena"));
        QCOMPARE(form_->DBEdit5->text(), QString());
    }

    void formShowSetsDatesAndFocusOnce() {
        const QDate today = QDate::currentDate();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(form_->dfecha->date(), today);
        QCOMPARE(form_->hfecha->date(), today);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form_->ebuscar));

        // Shown again after hiding: the start steps do not run again.
        form_->dfecha->setDate(today.addDays(-30));
        form_->hide();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QCOMPARE(form_->dfecha->date(), today.addDays(-30));
    }

    void placedOnceCentredOnTheDesktop() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const QRect desktop = form_->screen()->virtualGeometry();
        const QRect outer = form_->frameGeometry();
        QCOMPARE(outer.topLeft(), precios::centredTopLeft(desktop, outer.size()));
        QVERIFY(desktop.contains(outer.topLeft()));

        // A later show does not move the window again.
        form_->move(desktop.topLeft() + QPoint(10, 20));
        form_->hide();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QCOMPARE(form_->frameGeometry().topLeft(), desktop.topLeft() + QPoint(10, 20));
    }

    // Last: the event loop ends with exit code 0 when the window closes.
    void closingTheWindowEndsWithZero() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QTimer::singleShot(0, form_.get(), [this] { form_->close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(10000);
        QCOMPARE(QApplication::exec(), 0);
    }

  private:
    std::unique_ptr<TForm1> form_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    // With no store open every change of the search text reports that the list
    // cannot be read: the boxes are answered at once.
    testing_support::QuietPrompter prompter;
    precios::setPrompter(&prompter);
    WindowLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_layout_test.moc"
