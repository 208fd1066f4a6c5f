#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QIODevice;

// Reads the message text of a chat file for the search: the "text" member of every
// part of every message, each after one space, in file order; and the chat's title. It makes one pass over
// the bytes, validating the whole document exactly as the JSON parser of ParseJsonText
// would and decoding only the "text" values, so attachments of hundreds of megabytes
// cost little more than reading them. The outcome and the text are the same as
// parsing the document and walking the tree.
//
// One scanner can read many files in turn; it keeps its buffers between them.
class ChatTextScanner {
public:
    enum class Outcome {
        // text() holds the message text.
        Text,
        // Not valid JSON, or its top level is not an object: the search skips it.
        NotAnObject,
        // A "text" member that counts holds an object or an array, which has no
        // string form.
        TextNotString,
        // The file could not be opened or read, or is no regular file, or is larger than
        // a chat that can be opened; errorText() says why.
        ReadFailed,
    };

    // chunkSize: how many bytes are read from a device at a time.
    explicit ChatTextScanner(qsizetype chunkSize = 1024 * 1024);

    Outcome scanFile(const QString& path);
    Outcome scan(QIODevice& device);
    Outcome scan(QByteArrayView bytes);

    // The message text found by the last scan that gave Outcome::Text (not lower-cased).
    QStringView text() const { return QStringView(m_text.constData(), m_textSize); }
    // The chat's title found by the same scan: the top object's "title" when it is a
    // string, else empty.
    QStringView title() const { return QStringView(m_title.constData(), m_titleSize); }
    const QString& errorText() const { return m_errorText; }

private:
    qsizetype m_chunkSize;
    QByteArray m_buffer;
    QByteArray m_numberText;
    QString m_text;
    qsizetype m_textSize = 0;
    QString m_title;
    qsizetype m_titleSize = 0;
    QString m_errorText;
};
