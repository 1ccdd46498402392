// The program: no arguments; exit code 0 when the window is closed.
#include <QIcon>

#include "application.h"
#include "tform1.h"

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // Like its manifest, the process declares no DPI awareness: Windows
    // scales the 96-dpi layout as a whole on larger settings.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "windows:dpiawareness=0");
    }
#endif
    precios::Application app(argc, argv);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/precios.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
    TForm1 form;
    form.show();
    return app.exec();
}
