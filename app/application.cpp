#include "application.h"

#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <algorithm>

namespace precios {

QString titleFromProgramPath(const QString& path) {
    // Both separators count: the name may come from either kind of system.
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    QString name = path.mid(slash + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle() { return titleFromProgramPath(QCoreApplication::applicationFilePath()); }

QString errorReportText(const Error& error) {
    const Error* innermost = &error;
    while (innermost->inner() != nullptr) innermost = innermost->inner();
    const std::string& message =
        innermost->message().empty() ? error.message() : innermost->message();
    QString text = QString::fromStdString(message);
    if (!text.isEmpty() && text.back().unicode() > u'.') text += u'.';
    return text;
}

QPoint centredTopLeft(const QRect& desktop, const QSize& outer) {
    // Integer halves of each size, as the classic desktop-centre placement.
    const int left = desktop.left() + desktop.width() / 2 - outer.width() / 2;
    const int top = desktop.top() + desktop.height() / 2 - outer.height() / 2;
    return {std::max(left, desktop.left()), std::max(top, desktop.top())};
}

namespace {

// The message box: no icon, the text wrapped at half the screen width, one
// button; Enter presses it (default button) and Esc closes the dialog.
class MessageDialog : public QDialog {
  public:
    MessageDialog(QWidget* parent, const QString& title, const QString& text) : QDialog(parent) {
        setWindowTitle(title);
        setWindowModality(Qt::ApplicationModal);
        QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
        const int halfScreen = screen != nullptr ? screen->geometry().width() / 2 : 640;

        auto* label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("messageText"));
        label->setWordWrap(true);
        // As wide as the longest line, but never wider than half the screen:
        // longer lines wrap there.
        const int natural =
            label->fontMetrics()
                .boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), 0, text)
                .width() +
            1;
        label->setFixedWidth(std::min(natural, halfScreen));
        label->setTextInteractionFlags(Qt::NoTextInteraction);

        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);

        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(ok);
        buttons->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addLayout(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        ok->setFocus();
    }
};

class ScreenPrompter : public Prompter {
  public:
    void message(QWidget* parent, const QString& title, const QString& text) override {
        MessageDialog dialog(parent, title, text);
        dialog.adjustSize();
        if (QScreen* screen = dialog.screen()) {
            dialog.move(screen->geometry().center() - dialog.rect().center());
        }
        dialog.exec();
    }

    void errorReport(QWidget* parent, const QString& title, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::NoButton, parent);
        box.setWindowModality(Qt::ApplicationModal);
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
    }

    std::optional<QString> chooseFile(QWidget* parent, const QString& lastPath) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);  // the file need not exist
        dialog.setNameFilter(QStringLiteral("mdb (*.mdb)"));
        dialog.setOption(QFileDialog::HideNameFilterDetails);  // the entry reads "mdb"
        dialog.setSizeGripEnabled(true);
        if (!lastPath.isEmpty()) dialog.selectFile(lastPath);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty()) return std::nullopt;
        return files.first().left(259);
    }
};

ScreenPrompter screenPrompter;
Prompter* currentPrompter = &screenPrompter;

}  // namespace

Prompter* setPrompter(Prompter* prompter) {
    Prompter* previous = currentPrompter;
    currentPrompter = prompter != nullptr ? prompter : &screenPrompter;
    return previous == &screenPrompter ? nullptr : previous;
}

void showMessage(const QString& text) {
    currentPrompter->message(QApplication::activeWindow(), applicationTitle(), text);
}

std::optional<QString> chooseDatabaseFile(const QString& lastPath) {
    return currentPrompter->chooseFile(QApplication::activeWindow(), lastPath);
}

void reportError(const Error& error) {
    if (error.kind() == ErrorKind::Abort) return;
    currentPrompter->errorReport(QApplication::activeWindow(), applicationTitle(),
                                 errorReportText(error));
}

void reportForeignError(const char* what) {
    QString text = QStringLiteral("Error interno del programa");
    if (what != nullptr && *what != '\0') text += QStringLiteral(": ") + QString::fromUtf8(what);
    currentPrompter->errorReport(QApplication::activeWindow(), applicationTitle(),
                                 errorReportText(Error(text.toStdString())));
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), qtSettings_(std::make_unique<QTemporaryDir>()) {
    // The classic unthemed look the window was laid out for, on every system.
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) setStyle(classic);
    loadWindowFonts();
    // Qt's file dialog stores its last folder and history in the user's
    // "QtProject" settings and starts there next time. Those go to a folder
    // of this run instead, so every run starts afresh. (On Windows the
    // system's own dialog is used and the registry is not redirected.)
    if (qtSettings_->isValid()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtSettings_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, qtSettings_->path());
    }
}

Application::~Application() = default;

bool Application::notify(QObject* receiver, QEvent* event) {
    // The outermost frame of every handler: report and let the loop go on.
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error& error) {
        reportError(error);
    } catch (const std::exception& error) {
        reportForeignError(error.what());
    } catch (...) {
        reportForeignError(nullptr);
    }
    return false;
}

void loadWindowFonts() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return;
    static const char* const kCandidates[] = {
        "/usr/share/wine/fonts/tahoma.ttf",
        "/usr/share/wine/fonts/tahomabd.ttf",
        "/usr/share/fonts/truetype/wine/tahoma.ttf",
        "/usr/share/fonts/truetype/wine/tahomabd.ttf",
    };
    for (const char* path : kCandidates) {
        if (QFile::exists(QString::fromLatin1(path))) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        }
    }
}

}  // namespace precios
