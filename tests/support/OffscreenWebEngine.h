#pragma once

#include <QCoreApplication>
#include <QtGlobal>

#include <unistd.h>

// Window and web-view code runs without a display in tests and benchmarks. As root,
// Chromium refuses its sandbox, and there is no GPU on the test machines. Call before
// the application object exists.
inline void PrepareOffscreenWebEngine() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
