#pragma once

#include "ConversationModel.h"

#include <QObject>

// The model-service module: owns the current conversation for the whole run and
// offers the operations on it. Created once at start-up, right after the main window,
// and reached through the global `GeminiDM`.
class TGeminiDM : public QObject {
    Q_OBJECT

public:
    explicit TGeminiDM(QObject* parent = nullptr);
    ~TGeminiDM() override;

    TChatHistory& ChatHistory() { return FChatHistory; }
    const TChatHistory& ChatHistory() const { return FChatHistory; }
    void SetChatHistory(const TChatHistory& history) { FChatHistory = history; }

    void ClearHistory();
    bool DeleteFileFromHistory(int AMessageIndex, const QString& AFileName);

    // Token estimates: half a token per UTF-16 code unit of text, 258 per inline part,
    // rounded up once on the sum.
    static int CountTokens(const TContentParts& AParts);
    static int CountTokensForHistory(const TChatHistory& AHistory);
    // A copy of the history without its oldest items until the estimate fits;
    // the newest item always stays.
    static TChatHistory TrimHistoryToTokenLimit(const TChatHistory& AHistory, int AMaxTokens);

    // Chat files (ChatFile.cpp). Saving replaces the file atomically: when it fails the old
    // file stays whole, the conversation is unchanged and the system's message goes to
    // AErrorText.
    bool SaveHistoryToFile(const QString& AFileName, QString* AErrorText = nullptr) const;
    // True only when the whole file was read into the conversation. A missing file leaves
    // the conversation as it was; a file that breaks part-way keeps the items before the
    // fault. A caller must not write such a chat back over its file.
    bool LoadHistoryFromFile(const QString& AFileName);

    // Attached files (AttachmentEncoding.cpp). The MIME type by extension, empty for a type
    // the service is not sent.
    static QString GetMimeTypeFromFileExt(const QString& AFileName);
    // The file's content as one line of Base64, text types re-encoded to UTF-8; empty for a
    // missing or empty file, and for one that cannot be read, whose system message then goes
    // to AErrorText.
    static QByteArray FileToBase64(const QString& AFileName, QString* AErrorText = nullptr);

private:
    // A text file decoded by its byte-order mark, which stays in the text, or without one as
    // UTF-8 when valid, otherwise Windows-1251.
    static QString ReadTextFile(const QString& AFileName, QString* AErrorText);

    TChatHistory FChatHistory;
};

// The single instance, set while one exists.
extern TGeminiDM* GeminiDM;
