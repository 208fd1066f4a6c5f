#include "app/ColorScheme.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QPalette>
#include <QtGlobal>

bool PrefersDarkColors(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

void FollowDesktopColorScheme() {
    if (!PrefersDarkColors(QGuiApplication::palette()))
        return;
    // The web engine reads its switches when it starts, which is when the first page is
    // made; its dark mode is what the page's media query asks about.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--force-dark-mode"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.append(" --force-dark-mode").trimmed());
}
