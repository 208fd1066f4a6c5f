#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringConverter>

#include <optional>

class QIODevice;

// UTF-8 source text decoded for the converter; nothing when the bytes are not UTF-8 (as
// QStringDecoder judges them, a sequence cut off at the end included; a leading byte-order
// mark is dropped). With joinLines, CR LF and lone CR become LF and a text that does not end
// with LF gets one, as when a file is read line by line and the lines are joined with a line
// break after each.
std::optional<QString> decodeUtf8Source(QByteArrayView bytes, bool joinLines);

// decodeUtf8Source of the rest of device, read a piece at a time so that a large file is never
// held as bytes and as text at once; a device that cannot tell its size is read whole.
std::optional<QString> readUtf8Source(QIODevice& device, bool joinLines,
                                      qsizetype pieceSize = 1 << 20);

// The same for any encoding QStringDecoder knows, without the UTF-8 fast path.
std::optional<QString> decodeSource(QByteArrayView bytes, QStringConverter::Encoding encoding,
                                    bool joinLines);
