#pragma once

#include "text/Expected.h"

#include <QByteArrayView>
#include <QString>

// Writes bytes to path whole or not at all, for files the user names (exports, saved
// pictures). The bytes go to an unnamed file in the same folder, which only gets its name
// once complete: a full disk, a crash or a kill while writing leaves whatever was at path
// untouched and no half file anywhere. Only a regular file (or a link, which is replaced) is
// written over: a pipe, a device or a folder at path is refused without being opened. A
// failure is the reason in Russian.
Expected<void> WriteWholeFile(const QString& path, QByteArrayView bytes);
