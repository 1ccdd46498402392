// The application shell without the window: title, error report, message
// box, placement arithmetic, and errors escaping event handlers.
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "application.h"

using precios::Error;
using precios::ErrorKind;

namespace {

const QString kTitle = QStringLiteral("app_shell_test");

// Answers the boxes instead of a person and remembers what they showed.
class RecordingPrompter : public precios::Prompter {
  public:
    struct Shown {
        bool isError;
        QString title;
        QString text;
    };
    QList<Shown> shown;

    void message(QWidget*, const QString& title, const QString& text) override {
        shown.append({false, title, text});
    }
    void errorReport(QWidget*, const QString& title, const QString& text) override {
        shown.append({true, title, text});
    }
};

// A widget whose key handler fails in the way the test asks for.
class FailingWidget : public QWidget {
  public:
    std::function<void()> onKey;
    int keys = 0;

  protected:
    void keyPressEvent(QKeyEvent*) override {
        ++keys;
        if (onKey) onKey();
    }
};

}  // namespace

class AppShellTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        prompter_.shown.clear();
        precios::setPrompter(&prompter_);
    }
    void cleanup() { precios::setPrompter(nullptr); }

    void titleFromProgramPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("upper-case exe") << "PRECIOS.EXE"
                                        << "Precios";
        QTest::newRow("two full stops") << "A.B.EXE"
                                        << "A";
        QTest::newRow("windows folders") << "C:\\Archivos de programa\\Tienda.v2\\PRECIOS.EXE"
                                         << "Precios";
        QTest::newRow("unix folders") << "/usr/local/bin/precios"
                                      << "precios";
        QTest::newRow("first letter keeps its case") << "/opt/x.y/pRECIOS.exe"
                                                     << "precios";
        QTest::newRow("mixed case rest") << "MiTienda.exe"
                                         << "Mitienda";
        QTest::newRow("name starting with a dot") << "/tmp/.hidden"
                                                  << "";
    }
    void titleFromProgramPath() {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(precios::titleFromProgramPath(path), title);
    }

    // This program's file is app_shell_test: the first letter keeps its case.
    void applicationTitleComesFromThisProgram() { QCOMPARE(precios::applicationTitle(), kTitle); }

    void errorReportText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full stop") << "No se puede abrir."
                                   << "No se puede abrir.";
        QTest::newRow("closing parenthesis") << "Fallo (3)"
                                             << "Fallo (3)";
        QTest::newRow("exclamation") << "Atencion!"
                                     << "Atencion!";
        QTest::newRow("letter") << "Field 'X' not found"
                                << "Field 'X' not found.";
        QTest::newRow("colon") << "Error al conectar:"
                               << "Error al conectar:.";
        QTest::newRow("question") << "Seguro?"
                                  << "Seguro?.";
        QTest::newRow("digit") << "Codigo 7"
                               << "Codigo 7.";
        QTest::newRow("comma") << "uno,"
                               << "uno,";
        QTest::newRow("blank") << "espacio "
                               << "espacio ";
        QTest::newRow("quotation mark") << "Could not find file 'x.mdb'"
                                        << "Could not find file 'x.mdb'";
        QTest::newRow("non-ascii letter") << "Descripción"
                                          << "Descripción.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorReportText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(precios::errorReportText(Error(message.toStdString())), shown);
    }

    void errorReportUsesInnermostMessage() {
        const Error innermost("disco lleno", ErrorKind::Io);
        const Error middle("no se pudo escribir", ErrorKind::Io, innermost);
        const Error outer("ARTICULOS: fallo", ErrorKind::Generic, middle);
        QCOMPARE(precios::errorReportText(outer), QStringLiteral("disco lleno."));

        // An empty innermost text leaves the error's own message.
        const Error silentCause("", ErrorKind::Io);
        const Error wrapper("Error de lectura", ErrorKind::Io, silentCause);
        QCOMPARE(precios::errorReportText(wrapper), QStringLiteral("Error de lectura."));
    }

    void centredTopLeft_data() {
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("one screen")
            << QRect(0, 0, 1920, 1080) << QSize(1015, 600) << QPoint(960 - 507, 540 - 300);
        QTest::newRow("odd sizes round each half down")
            << QRect(0, 0, 1025, 769) << QSize(1001, 601) << QPoint(512 - 500, 384 - 300);
        QTest::newRow("two monitors side by side")
            << QRect(0, 0, 3840, 1080) << QSize(1015, 600) << QPoint(1413, 240);
        QTest::newRow("desktop left of the origin")
            << QRect(-1280, 0, 3200, 1024) << QSize(1015, 600) << QPoint(-1280 + 1600 - 507, 212);
        QTest::newRow("larger than the desktop is clamped")
            << QRect(0, 0, 800, 600) << QSize(1015, 640) << QPoint(0, 0);
        QTest::newRow("clamped to a negative edge")
            << QRect(-100, -50, 640, 480) << QSize(1000, 600) << QPoint(-100, -50);
    }
    void centredTopLeft() {
        QFETCH(QRect, desktop);
        QFETCH(QSize, outer);
        QFETCH(QPoint, topLeft);
        QCOMPARE(precios::centredTopLeft(desktop, outer), topLeft);
    }

    // An error escaping an event handler is reported with the title, and the
    // loop goes on with the next event.
    void escapingErrorIsReportedAndLoopGoesOn() {
        FailingWidget widget;
        widget.onKey = [] { throw Error("No se puede abrir el archivo", ErrorKind::Io); };
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QTest::keyClick(&widget, Qt::Key_A);
        QCOMPARE(prompter_.shown.size(), 1);
        QVERIFY(prompter_.shown[0].isError);
        QCOMPARE(prompter_.shown[0].title, kTitle);
        QCOMPARE(prompter_.shown[0].text, QStringLiteral("No se puede abrir el archivo."));

        widget.onKey = nullptr;
        QTest::keyClick(&widget, Qt::Key_B);
        QCOMPARE(widget.keys, 2);
        QCOMPARE(prompter_.shown.size(), 1);
    }

    void escapingChainShowsInnermost() {
        FailingWidget widget;
        widget.onKey = [] {
            throw Error("qarticulos: error", ErrorKind::Generic,
                        Error("Could not find file x.mdb", ErrorKind::NotFound));
        };
        QTest::keyClick(&widget, Qt::Key_A);
        QCOMPARE(prompter_.shown.size(), 1);
        QCOMPARE(prompter_.shown[0].text, QStringLiteral("Could not find file x.mdb."));
    }

    void silentAbortShowsNothing() {
        FailingWidget widget;
        widget.onKey = [] { throw precios::Abort(); };
        QTest::keyClick(&widget, Qt::Key_A);
        QTest::keyClick(&widget, Qt::Key_B);
        QCOMPARE(widget.keys, 2);
        QVERIFY(prompter_.shown.isEmpty());

        precios::reportError(Error("anything", ErrorKind::Abort));
        QVERIFY(prompter_.shown.isEmpty());
    }

    void foreignExceptionGetsGenericReport() {
        FailingWidget widget;
        widget.onKey = [] { throw std::runtime_error("vector::at"); };
        QTest::keyClick(&widget, Qt::Key_A);
        QCOMPARE(prompter_.shown.size(), 1);
        QVERIFY(prompter_.shown[0].isError);
        QVERIFY(prompter_.shown[0].text.contains(QStringLiteral("vector::at")));
        QVERIFY(prompter_.shown[0].text.endsWith(u'.'));
    }

    // Handlers behind a button's clicked signal report through runHandler,
    // before the error could reach Qt's frames.
    void errorFromClickHandlerIsReported() {
        QPushButton button(QStringLiteral("Cambiar Estado"));
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&clicks] {
            precios::runHandler([&clicks] {
                if (++clicks == 1) throw Error("Table 'Cabecera Tickets de Venta' not found");
                if (clicks == 2) throw precios::Abort();
            });
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(prompter_.shown.size(), 1);
        QCOMPARE(prompter_.shown[0].text,
                 QStringLiteral("Table 'Cabecera Tickets de Venta' not found."));
        QVERIFY(!button.isDown());
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 3);
        QCOMPARE(prompter_.shown.size(), 1);
    }

    void showMessageUsesTheTitle() {
        precios::showMessage(QStringLiteral("Proceso completado. Tickets modificados: 3"));
        QCOMPARE(prompter_.shown.size(), 1);
        QVERIFY(!prompter_.shown[0].isError);
        QCOMPARE(prompter_.shown[0].title, kTitle);
        QCOMPARE(prompter_.shown[0].text,
                 QStringLiteral("Proceso completado. Tickets modificados: 3"));
    }

    // The real message box: no icon, one "OK" button, wraps at half the
    // screen, closed by Enter and by Esc.
    void realMessageBoxClosesWithEnterAndEsc_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void realMessageBoxClosesWithEnterAndEsc() {
        QFETCH(int, key);
        precios::setPrompter(nullptr);
        const QString longText = QString(QStringLiteral("palabra ")).repeated(200);
        bool inspected = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QCOMPARE(box->windowTitle(), kTitle);
            const QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 1);
            QCOMPARE(buttons[0]->text(), QStringLiteral("OK"));
            const QList<QLabel*> labels = box->findChildren<QLabel*>();
            QCOMPARE(labels.size(), 1);  // the text only: no icon
            QVERIFY(labels[0]->wordWrap());
            const int halfScreen = box->screen()->geometry().width() / 2;
            QCOMPARE(labels[0]->width(), halfScreen);
            QVERIFY(labels[0]->height() > labels[0]->fontMetrics().height() * 2);
            inspected = true;
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                            Qt::Key(key));
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        watchdog.start(10000);
        precios::showMessage(longText);
        QVERIFY(watchdog.isActive());  // closed by the key, not by the watchdog
        QVERIFY(inspected);
    }

    // The real error report: the error icon, the title, the reported text,
    // one "OK" button that Enter and Esc both close.
    void realErrorReport() {
        precios::setPrompter(nullptr);
        bool inspected = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->windowTitle(), kTitle);
            QCOMPARE(box->text(), QStringLiteral("Field 'Trazabilidad' not found."));
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons()[0]->text(), QStringLiteral("OK"));
            inspected = true;
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        watchdog.start(10000);
        precios::reportError(Error("ARTICULOS: open failed", ErrorKind::NotFound,
                                   Error("Field 'Trazabilidad' not found", ErrorKind::NotFound)));
        QVERIFY(watchdog.isActive());
        QVERIFY(inspected);
    }

    // What Qt's own file dialog remembers goes to a folder of this run, not
    // to the user's settings: the next run's dialog starts afresh.
    void fileDialogRemembersNothingInTheUsersSettings() {
        const QString home = QDir::homePath();
        {
            QFileDialog dialog;
            dialog.setDirectory(QDir::tempPath());
            QTimer::singleShot(0, &dialog, &QDialog::reject);
            dialog.exec();
        }
        const QString where =
            QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
        QVERIFY2(!where.startsWith(home + "/"), qPrintable(where));
    }

  private:
    RecordingPrompter prompter_;
};

int main(int argc, char** argv) {
    precios::Application app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    AppShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "app_shell_test.moc"
