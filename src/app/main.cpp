// Start-up: the data folder, then the main window, the model-service module and the
// event loop.
#include "app/CloseOnSignal.h"
#include "app/ColorScheme.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/QtTranslations.h"
#include "app/StartOptions.h"
#include "app/WebEngineSandbox.h"
#include "chat/GeminiDM.h"
#include "store/DataLocation.h"
#include "store/TypesetFolders.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <optional>

namespace {

DataLocation chooseDataLocation(const StartOptions& options) {
    return ChooseDataLocation({options.dataDir, QCoreApplication::applicationDirPath(),
                               QDir::currentPath(),
                               QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)});
}

} // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::optional<StartOptions> options = ReadStartOptions(argc, argv, exitCode);
    if (!options)
        return exitCode;

    TurnOffWebEngineSandboxForRoot();
    // The embedded web view shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovik-L"));
    QApplication::setApplicationVersion(QStringLiteral(TOVIK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.tovik.TovikL"));
    const QtTranslations translations;
    FollowDesktopColorScheme();

    const DataLocation location = chooseDataLocation(*options);
    if (const Expected<void> prepared = PrepareDataLocation(location); !prepared) {
        std::fprintf(stderr, "tovik-l: %s\n", qPrintable(prepared.error()));
        QMessageBox::critical(nullptr, QStringLiteral("Tovik-L"), prepared.error());
        return 1;
    }

    // What a killed export left in the temporary folder holds a chat's text.
    RemoveStaleTypesetFolders(QDir::tempPath());

    QtDialogs dialogs;
    TGeminiDM geminiDM;
    TForm1 form(location.folders, dialogs, geminiDM);
    dialogs.setParent(&form);
    form.ShowDataFolder(DataFolderForDisplay(location, QDir::homePath()));
    form.SetBaseUrlOverride(options->baseUrl);

    CloseOnTerminationSignals(form);
    form.show();
    return app.exec();
}
