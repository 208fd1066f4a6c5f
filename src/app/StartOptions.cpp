#include "app/StartOptions.h"

#include "service/ServiceSettings.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "tovik-l: %s\n", qPrintable(message));
    return 2;
}

} // namespace

std::optional<StartOptions> ReadStartOptions(int argc, char** argv, int& exitCode) {
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Tovik-L: a desktop chat client for Google's Gemini API."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version."));
    const QCommandLineOption baseUrl(
        QStringLiteral("base-url"),
        QStringLiteral("Address of the model service for this run, in place of the one in "
                       "the settings (default: the public Gemini API), for a compatible "
                       "gateway or a local service. It is not saved."),
        QStringLiteral("URL"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep chats, counters and the key and model lists in DIR "
                       "(default: the user's data folder, or beside the program in "
                       "portable mode)."),
        QStringLiteral("DIR"));
    options.addOptions({help, version, baseUrl, dataDir});

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!options.parse(arguments)) {
        exitCode = fail(options.errorText());
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
    if (options.isSet(version)) {
        std::printf("tovik-l %s\n", TOVIK_VERSION);
        exitCode = 0;
        return std::nullopt;
    }
    if (options.isSet(baseUrl) && !CheckServiceAddress(options.value(baseUrl))) {
        exitCode = fail(QStringLiteral("--base-url needs an http:// or https:// address"));
        return std::nullopt;
    }
    if (options.isSet(dataDir) && options.value(dataDir).isEmpty()) {
        exitCode = fail(QStringLiteral("--data-dir needs a folder"));
        return std::nullopt;
    }
    return StartOptions{options.value(baseUrl), options.value(dataDir)};
}
