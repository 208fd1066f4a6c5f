#pragma once

#include "TextDecoding.h"

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

// Reads a whole list file; false with a message for the user when it cannot be read.
bool ReadListFile(const QString& path, ListFile& file, QString& error);

// Replaces the file whole and atomically. `format` comes in as the one the file was
// read in and goes out as the one written: UTF-8 with a mark when the lines do not fit
// the old encoding. False with a message for the user when the file cannot be written.
bool WriteListFile(const QString& path, const QStringList& lines, TextFormat& format,
                   FileAccess access, QString& error);
