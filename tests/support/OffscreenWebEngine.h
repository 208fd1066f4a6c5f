#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>
#include <QtGlobal>

#include <unistd.h>

// Window and web-view code runs without a display in tests and benchmarks, on a screen of
// the size most desktops have (the offscreen platform's own is 800×600). As root, Chromium
// refuses its sandbox, and there is no GPU on the test machines. Call before the
// application object exists.
inline void PrepareOffscreenWebEngine() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // Read when the application object starts; kept until the program ends.
        static QTemporaryFile screens(QDir::tempPath() + QStringLiteral("/tovik-screen-XXXXXX.json"));
        QByteArray platform("offscreen");
        if (screens.open() &&
            screens.write(R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": 1920, )"
                          R"("height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") > 0 &&
            screens.flush())
            platform += ":configfile=" + QFile::encodeName(screens.fileName());
        qputenv("QT_QPA_PLATFORM", platform);
    }
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
