// Start-up: the main window first, then the model-service module, then the event loop.
#include "Dialogs.h"
#include "GeminiDM.h"
#include "MainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The embedded web view shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovik-L"));

    TQtDialogs dialogs;
    TForm1 form(AppFolders::fromApplication(), dialogs);
    dialogs.setParent(&form);
    TGeminiDM geminiDM;

    form.show();
    return app.exec();
}
