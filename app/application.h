// The application object, its title, the message box and the error report.
//
// Application is the one QApplication of the process. Its notify() is the
// outermost frame around every event handler: an error that a handler lets
// escape is caught there and shown in the error report (the silent Abort kind
// shows nothing), and the event loop goes on. Nothing is rolled back. The
// window's handlers are in addition wrapped by runHandler() where Qt calls
// them, which reports the same way one frame earlier.
//
// The message box and the error report go through a Prompter, so tests can
// answer them without a person; by default they are real modal boxes. The
// title, the report text and the window placement are pure functions, tested
// on their own.
//
// GUI thread only.
#pragma once

#include <QApplication>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <exception>
#include <memory>
#include <optional>

#include "precios/error.h"

class QWidget;

namespace precios {

// The title of every message box: the program file's name without its folder,
// cut at its first full stop, every character after the first in lower case.
QString titleFromProgramPath(const QString& path);

// The title of the running program (from its own file name).
QString applicationTitle();

// The text the error report shows: the innermost message of the error's
// chain (the error's own when that is empty), with a full stop appended when
// the last character comes after "." in code order.
QString errorReportText(const Error& error);

// Where a window of outer size `outer` goes when centred on `desktop`:
// integer halves, never above or left of the desktop's edge.
QPoint centredTopLeft(const QRect& desktop, const QSize& outer);

// Shows the two kinds of modal box. Replaced in tests.
class Prompter {
  public:
    virtual ~Prompter() = default;
    // The message box: title, text, no icon, one "OK" button.
    virtual void message(QWidget* parent, const QString& title, const QString& text) = 0;
    // The error report: title, text, the error icon, one "OK" button.
    virtual void errorReport(QWidget* parent, const QString& title, const QString& text) = 0;
    // The open-file dialog of the database selection: the chosen path, or
    // nothing when the user cancels. A prompter that does not answer it
    // cancels, so tests never meet a real dialog by accident.
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& lastPath) {
        Q_UNUSED(parent);
        Q_UNUSED(lastPath);
        return std::nullopt;
    }
};

// Installs prompter (not owned) and returns the previous one; nullptr puts
// the on-screen boxes back.
Prompter* setPrompter(Prompter* prompter);

// The message box used by the handlers: modal, captioned with the
// application title; returns when the user closes it.
void showMessage(const QString& text);

// The open-file dialog `abrircarpeta`: one filter entry "mdb" for *.mdb, one
// file that need not exist, no read-only box, resizable; it opens on
// lastPath. Returns the chosen full path, or nothing when cancelled.
std::optional<QString> chooseDatabaseFile(const QString& lastPath);

// The uncaught-error report; shows nothing for ErrorKind::Abort.
void reportError(const Error& error);

// The report for an exception that is not a precios::Error (a fault of the
// program itself); what is null when nothing is known about it.
void reportForeignError(const char* what);

// Runs a handler and reports an error escaping from it exactly as notify()
// would. Handlers called from inside Qt's own code (signals, the show event)
// go through here, so that no error unwinds through Qt's frames, which are
// built without exception support and would skip their clean-up.
template <class Handler>
void runHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const Error& error) {
        reportError(error);
    } catch (const std::exception& error) {
        reportForeignError(error.what());
    } catch (...) {
        reportForeignError(nullptr);
    }
}

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    // Where Qt keeps what its own dialogs would remember between runs (the
    // file dialog's last folder and history): a folder of this run, removed
    // at exit, since the tool keeps no settings.
    std::unique_ptr<QTemporaryDir> qtSettings_;
};

// Makes the window font available where the system lacks it (on Linux the
// Tahoma of the fonts-wine package lives outside the font path).
void loadWindowFonts();

}  // namespace precios
