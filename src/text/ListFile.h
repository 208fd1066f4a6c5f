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

// Reads a whole list file, or says to the user why it cannot be read.
Expected<ListFile> ReadListFile(const QString& path);

// Replaces the file whole and atomically in `format`, the one the file was read in, and
// gives the format written: UTF-8 with a mark when the lines do not fit the old encoding.
Expected<TextFormat> WriteListFile(const QString& path, const QStringList& lines, TextFormat format,
                                   FileAccess access);
