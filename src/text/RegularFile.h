#pragma once

#include "text/Expected.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>

class QFile;

// Every file of the data folder is read through here. Whoever can write to the folder can
// leave a link to a device or a pipe, or a file of gigabytes, where a chat or a list is
// expected: only a regular file is opened (a link is followed to one), a pipe never holds
// the opening up, and a file above the reader's limit is refused before a byte is read.

// The settings, the window's memory and the key, model and counter lists are lines a person
// could type; a file far larger than that is not one of them.
inline constexpr qint64 kMaxSmallFileSize = 1024 * 1024;

enum class FileRefusal : std::uint8_t { Missing, NotAFile, TooLarge, Unreadable };

// Why a file was not read: the cause, and the reason for the user in Russian ("файл не
// найден", "это не файл", "файл больше 1 МБ" or the system's text).
struct FileReadFailure {
    FileRefusal Cause = FileRefusal::Unreadable;
    QString Reason;
};

// Opens file, which names the file already, for reading in mode when it is a regular
// file of at most maxSize bytes.
Expected<void, FileReadFailure> OpenRegularFile(QFile& file, qint64 maxSize,
                                                QIODevice::OpenMode mode = QIODevice::ReadOnly);

// The whole file under the same rules; a file that grows past maxSize while it is read
// is refused too.
Expected<QByteArray, FileReadFailure> ReadRegularFile(const QString& path, qint64 maxSize);
