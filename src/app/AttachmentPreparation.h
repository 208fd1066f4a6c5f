#pragma once

#include "ConversationModel.h"

#include <QString>
#include <QStringList>

// The attached files as request parts, or the text of the answer block that stops the
// send instead.
struct TPreparedAttachments {
    TContentParts Parts; // one inline-data part per file, in order
    QString Failure;     // empty when every file can be sent
};

// The largest file the service takes inline: 20 MiB.
constexpr qint64 kMaxAttachmentBytes = 20971520;

// Measures every file first, so an oversized one is refused before any encoding work,
// then encodes them in order. Touches nothing but the files: safe on a worker thread.
TPreparedAttachments PrepareAttachments(const QStringList& paths);
