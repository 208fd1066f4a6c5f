#pragma once

#include <QByteArray>
#include <QString>

// The MIME type the service is told for a file, by its extension (AttachmentTypes.h);
// empty for a type that is not sent.
QString MimeTypeOfFile(const QString& fileName);

// The file's content as one line of Base64, text types re-encoded to UTF-8; empty for a
// missing or empty file, and for one that cannot be read.
QByteArray FileContentAsBase64(const QString& fileName);

// A text file decoded by its byte-order mark, which stays in the text, or without one as
// UTF-8 when valid, otherwise Windows-1251.
QString ReadTextFile(const QString& fileName);
