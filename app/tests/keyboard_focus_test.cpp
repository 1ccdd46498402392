// The keyboard path through the window: Tab and Enter along the ring, the
// leave rules of the search box and the grid, the point typed as a comma, the
// click rules of the simulation boxes. The same on a store database, with
// the presses that win over the leave rules: keyboard_path_test.
#include <QApplication>
#include <QClipboard>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "application.h"
#include "quiet_prompter.h"
#include "tform1.h"

namespace {

// The named control that holds the focus (the focus may sit in an inner
// part of a compound control such as a date picker).
QString focused(const TForm1& form) {
    QWidget* control = form.controlOf(QApplication::focusWidget());
    return control != nullptr ? control->objectName() : QString();
}

}  // namespace

class KeyboardFocusTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        form_ = std::make_unique<TForm1>();
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTRY_COMPARE(focused(*form_), QStringLiteral("ebuscar"));
    }
    void cleanup() { form_.reset(); }

    // Tab walks the ring forward from the discount box and wraps to the grid,
    // where it stays; Shift+Tab walks it back to the search box.
    void tabWalksTheRing() {
        fillSimulation();
        goToEdit1();
        QStringList forward;
        for (int i = 0; i < 11; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward.append(focused(*form_));
        }
        QCOMPARE(forward,
                 (QStringList{"spcbasesd", "spcbase", "spciva", "spvp1base", "spvp1iva",
                              "sbeneficio", "sbnneto", "Button1", "Edit2", "DBGrid1", "DBGrid1"}));

        goToEdit1();
        QStringList backward;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            backward.append(focused(*form_));
        }
        QCOMPARE(backward, (QStringList{"DBLookupComboBox2", "DBLookupComboBox1", "cfacturar",
                                        "Cfacturados", "hfecha", "dfecha", "Button3", "ebuscar"}));

        // The record's boxes sit between the button bar and the search box.
        goToEdit1();
        form_->DBEdit7->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(*form_), QStringLiteral("DBEdit5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(*form_), QStringLiteral("Button2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(*form_), QStringLiteral("ebuscar"));
    }

    // Every step out of the search box lands on the grid, every step out of
    // the grid on the discount box, with its text selected.
    void leaveRules_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Tab") << int(Qt::Key_Tab);
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void leaveRules() {
        QFETCH(int, key);
        QTest::keyClick(form_->ebuscar, Qt::Key(key));
        QCOMPARE(focused(*form_), QStringLiteral("DBGrid1"));
        if (key == Qt::Key_Return) {
            QTest::keyClick(form_->DBGrid1, Qt::Key_Return);
            QCOMPARE(focused(*form_), QStringLiteral("Edit1"));
            QCOMPARE(form_->Edit1->selectedText(), QStringLiteral("0"));
        }
        // Code moves obey the rules too.
        goToEdit1();
        form_->ebuscar->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focused(*form_), QStringLiteral("ebuscar"));
        form_->Button3->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focused(*form_), QStringLiteral("DBGrid1"));
        form_->Button3->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focused(*form_), QStringLiteral("Edit1"));
    }

    // The keyboard path: search box, grid, the simulation boxes, the button.
    void enterWalksThePath() {
        fillSimulation();
        QTest::keyClicks(form_->ebuscar, QStringLiteral("cem"));
        QTest::keyClick(form_->ebuscar, Qt::Key_Return);
        QCOMPARE(form_->ebuscar->text(), QStringLiteral("CEM"));  // nothing typed by Enter
        QCOMPARE(focused(*form_), QStringLiteral("DBGrid1"));
        QTest::keyClick(form_->DBGrid1, Qt::Key_Return);
        QStringList path{focused(*form_)};
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            path.append(focused(*form_));
        }
        QCOMPARE(path, (QStringList{"Edit1", "spcbasesd", "spcbase", "spciva", "spvp1base",
                                    "spvp1iva", "sbeneficio", "sbnneto", "Button1"}));

        // Enter in the last control of the ring wraps to the grid.
        form_->Edit2->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(form_->Edit2, Qt::Key_Return);
        QCOMPARE(focused(*form_), QStringLiteral("DBGrid1"));
        QCOMPARE(form_->Edit2->text(), QStringLiteral("28"));
    }

    void enterPressesAButtonAndKeepsTheFocus() {
        goToEdit1();
        form_->Button3->setFocus(Qt::OtherFocusReason);
        QSignalSpy clicked(form_->Button3, &QPushButton::clicked);
        QTest::keyClick(form_->Button3, Qt::Key_Return);
        QTest::keyClick(form_->Button3, Qt::Key_Enter);
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(focused(*form_), QStringLiteral("Button3"));
    }

    void pointBecomesCommaInNumericBoxes_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("shown");
        QTest::newRow("spcbase") << "spcbase"
                                 << "1,5";
        QTest::newRow("spcbasesd") << "spcbasesd"
                                   << "1,5";
        QTest::newRow("spvp1iva") << "spvp1iva"
                                  << "1,5";
        QTest::newRow("sbnneto") << "sbnneto"
                                 << "1,5";
        QTest::newRow("Edit1") << "Edit1"
                               << "1.5";
        QTest::newRow("Edit2") << "Edit2"
                               << "1.5";
        QTest::newRow("ebuscar") << "ebuscar"
                                 << "1.5";
        // DBEdit5 takes typing only while an item is shown (browse_record_test).
    }
    void pointBecomesCommaInNumericBoxes() {
        QFETCH(QString, box);
        QFETCH(QString, shown);
        auto* edit = form_->findChild<QLineEdit*>(box);
        goToEdit1();
        edit->setFocus(Qt::OtherFocusReason);
        QCOMPARE(focused(*form_), box);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1.5"));
        QCOMPARE(edit->text(), shown);
        QTest::keyClicks(edit, QStringLiteral(","));
        QCOMPARE(edit->text(), shown + u',');
    }

    void pastedPointsStay() {
        goToEdit1();
        form_->spcbase->setFocus(Qt::OtherFocusReason);
        form_->spcbase->clear();
        QApplication::clipboard()->setText(QStringLiteral("2.75"));
        form_->spcbase->paste();
        QCOMPARE(form_->spcbase->text(), QStringLiteral("2.75"));
    }

    void clickRules() {
        goToEdit1();
        form_->spcbase->setText(QStringLiteral("10,0000000"));
        QTest::mouseClick(form_->spcbase, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(focused(*form_), QStringLiteral("spcbase"));
        QCOMPARE(form_->spcbase->selectedText(), QStringLiteral("10,0000000"));

        // A second click inside the selection still ends with all selected.
        QTest::mouseClick(form_->spcbase, Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(form_->spcbase->selectedText(), QStringLiteral("10,0000000"));

        form_->sbeneficio->setText(QStringLiteral("25,0000"));
        QTest::mouseClick(form_->sbeneficio, Qt::LeftButton, {}, QPoint(5, 10));
        QCOMPARE(focused(*form_), QStringLiteral("sbeneficio"));
        QVERIFY(!form_->sbeneficio->hasSelectedText());  // caret where clicked
    }

    // Switching to another window is no leave; coming back restores the focus.
    void anotherWindowIsNoLeave() {
        QWidget other;
        other.setFocusPolicy(Qt::StrongFocus);
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTRY_COMPARE(focused(*form_), QStringLiteral("ebuscar"));
    }

  private:
    // Leaving a simulation box recalculates from its text; an empty box would
    // end the walk in the search box. Figures good for any rate will do.
    void fillSimulation() {
        for (QLineEdit* box : {form_->spcbase, form_->spciva, form_->spvp1base, form_->spvp1iva,
                               form_->sbeneficio, form_->sbnneto}) {
            box->setText(QStringLiteral("1"));
        }
    }

    // The discount box, reached by the rules (search box, grid, discount).
    void goToEdit1() {
        for (int i = 0; i < 3 && focused(*form_) != QStringLiteral("Edit1"); ++i) {
            form_->Edit1->setFocus(Qt::OtherFocusReason);
        }
        QCOMPARE(focused(*form_), QStringLiteral("Edit1"));
    }

    std::unique_ptr<TForm1> form_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    // With no store open every change of the search text reports that the list
    // cannot be read: the boxes are answered at once.
    testing_support::QuietPrompter prompter;
    precios::setPrompter(&prompter);
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    KeyboardFocusTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "keyboard_focus_test.moc"
