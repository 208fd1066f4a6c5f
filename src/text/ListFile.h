#pragma once

#include "text/Expected.h"
#include "text/TextDecoding.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The list-file format: one entry per line, every line ending in CR LF when written;
// CR LF, a lone CR or a lone LF when read. Used for the key and model lists and the
// counter files.

// A line break at the very end adds no entry; empty lines inside are entries.
QStringList SplitListLines(QStringView text);
QString JoinListLines(const QStringList& lines);

struct ListFile {
    QStringList lines;
    TextFormat format;
};

enum class FileAccess { Default, OwnerOnly };

// Reads a whole list file, or says to the user why it cannot be read: a file above
// kMaxSmallFileSize, or no regular file, is not read.
Expected<ListFile> ReadListFile(const QString& path);

// How many of the added lines, from the first, can follow lines in a file of format before
// it grows past kMaxSmallFileSize, beyond which it would not be read back.
qsizetype ListLinesThatFit(const QStringList& lines, const QStringList& added, TextFormat format);

// Replaces the file whole and atomically in `format`, the one the file was read in, and
// gives the format written: UTF-8 with a mark when the lines do not fit the old encoding.
// A file that would be larger than kMaxSmallFileSize is not written.
Expected<TextFormat> WriteListFile(const QString& path, const QStringList& lines, TextFormat format,
                                   FileAccess access);
