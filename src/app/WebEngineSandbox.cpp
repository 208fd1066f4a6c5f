#include "app/WebEngineSandbox.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

#include <unistd.h>

bool TurnOffWebEngineSandboxForRoot() {
    if (geteuid() != 0)
        return false;
    std::fputs("tovik-l: running as root, so the web view's sandbox is turned off; "
               "start the program as a normal user to keep it\n",
               stderr);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArrayLiteral("1"));
    return true;
}
