#pragma once

#include "conversation/ConversationModel.h"
#include "text/Expected.h"

#include <QString>
#include <QStringList>

// The largest file the service takes inline: 20 MiB.
constexpr qint64 kMaxAttachmentBytes = 20971520;

// Only regular files are attached: reading a FIFO, a device or a socket can wait or go on
// for ever. Judged from the file's metadata, without opening it; a missing file is not
// special (the send reports it as unreadable).
bool IsSpecialFile(const QString& path);

// The message that refuses a file by its name, without folder.
QString UnsupportedFileMessage(const QString& fileName);
// The message that refuses a file larger than the service takes inline.
QString OversizeFileMessage(const QString& fileName);

// The attached files as request parts, one inline-data part per file in order, or the
// text of the answer block that stops the send instead. Measures every file first, so an
// oversized one is refused before any encoding work, then encodes them in order. Touches
// nothing but the files: safe on a worker thread.
Expected<TContentParts> PrepareAttachments(const QStringList& paths);
