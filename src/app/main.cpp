// Start-up: the main window first, then the model-service module, then the event loop.
#include "Dialogs.h"
#include "GeminiDM.h"
#include "MainWindow.h"
#include "WebEngineSandbox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QUrl>

#include <cstdio>
#include <optional>

namespace {

// The one option: the model service's address. Read before the window system is
// touched, so --help works without a display. Nothing when the program must stop.
std::optional<QString> readBaseUrl(int argc, char** argv, int& exitCode) {
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Tovik-L: a desktop chat client for Google's Gemini API."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption baseUrl(
        QStringLiteral("base-url"),
        QStringLiteral("Address of the model service (default: the public Gemini API), "
                       "for a compatible gateway or a local service."),
        QStringLiteral("URL"));
    options.addOptions({help, baseUrl});

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!options.parse(arguments)) {
        std::fprintf(stderr, "tovik-l: %s\n", qPrintable(options.errorText()));
        exitCode = 2;
        return std::nullopt;
    }
    if (options.isSet(help)) {
        // Without an application object Qt cannot name the executable itself.
        QString text = options.helpText();
        text.replace(QLatin1StringView("<executable_name>"), QLatin1StringView("tovik-l"));
        std::printf("%s", qPrintable(text));
        exitCode = 0;
        return std::nullopt;
    }
    const QString value = options.value(baseUrl);
    const QUrl url(value, QUrl::StrictMode);
    if (options.isSet(baseUrl) && (!url.isValid() || url.host().isEmpty() ||
                                   (url.scheme() != QLatin1StringView("http") &&
                                    url.scheme() != QLatin1StringView("https")))) {
        std::fprintf(stderr, "tovik-l: --base-url needs an http:// or https:// address\n");
        exitCode = 2;
        return std::nullopt;
    }
    return value;
}

} // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::optional<QString> baseUrl = readBaseUrl(argc, argv, exitCode);
    if (!baseUrl)
        return exitCode;

    TurnOffWebEngineSandboxForRoot();
    // The embedded web view shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovik-L"));

    TQtDialogs dialogs;
    TForm1 form(AppFolders::fromApplication(), dialogs);
    dialogs.setParent(&form);
    TGeminiDM geminiDM;
    if (!baseUrl->isEmpty())
        geminiDM.SetBaseUrl(*baseUrl);

    form.show();
    return app.exec();
}
