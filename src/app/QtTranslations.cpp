#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

QtTranslations::QtTranslations() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // The window is Russian whatever the desktop's language, so Qt's parts are too.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    for (const char* catalog : {"qtbase", "qtwebengine"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(russian, QLatin1StringView(catalog), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator.get()))
            m_installed.push_back(std::move(translator));
    }
}
