#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <cstdint>

// The in-memory form of one chat. Every record is a value: Qt's implicitly shared
// containers make copies cheap (a request thread takes a whole history) while later
// changes on either side stay apart.

// Text and inline data are what people and models write; the other kinds are parts a model
// answers with when it asks for a function or runs code, kept as the service sent them.
enum class TPartType : std::uint8_t {
    ptText,
    ptInlineData,
    ptFunctionCall,
    ptExecutableCode,
    ptCodeExecutionResult,
    // A file the service's file store holds, named by its address.
    ptFileData,
};

// A member of a chat file this program does not read (written by a newer version, or by
// hand), kept as the file had it, "name":value, so that saving writes it back unchanged.
// After: how many of the members this program writes at that level, in their order, come
// before it.
struct KeptMember {
    int After = 0;
    QByteArray Text;

    bool operator==(const KeptMember&) const = default;
};

using KeptMembers = QList<KeptMember>;

struct TContentPart {
    TPartType PartType = TPartType::ptText;
    // The text of a text part; for a function call or code part, the JSON text of the
    // service's object ({"name":…,"args":…}, {"language":…,"code":…}, {"outcome":…,"output":…}).
    QString Text;
    QString MimeType;
    // Base64 text is pure ASCII and can reach hundreds of megabytes per chat,
    // so it is kept as bytes: half the size of a QString.
    QByteArray Base64Data;
    QString FileName;
    // A ptFileData part: the address the file store gave the file, where the file was on
    // this computer when it was sent, and when the store lets it go. The file is sent
    // again from LocalPath once it has expired.
    QString FileUri = {};
    QString LocalPath = {};
    QDateTime ExpirationTime = {};
    // A model's thought summary: shown apart from the answer and never sent back as text.
    bool Thought = false;
    // Opaque context of a thinking model, given back with its part exactly as it came.
    QString ThoughtSignature = {};
    // Members of the part object, and of its "inline_data" object, that were kept.
    KeptMembers Kept = {};
    KeptMembers KeptInlineData = {};

    bool operator==(const TContentPart&) const = default;
};

using TContentParts = QList<TContentPart>;

// A web page the service grounded an answer on.
struct WebSource {
    QString Title;
    QString Uri;

    bool operator==(const WebSource&) const = default;
};

// A passage of an answer the service attributes to a source (citationMetadata).
struct Citation {
    QString Uri;
    QString License;
    int StartIndex = 0;
    int EndIndex = 0;

    bool operator==(const Citation&) const = default;
};

// Why an answer ended early when the service named no reason: the stream closed without
// one, or the connection broke or went silent after some of the answer. Lower case, so
// they never read as one of the service's own reasons.
inline constexpr QStringView kStreamEndedEarly = u"stream-ended";
inline constexpr QStringView kConnectionLost = u"connection-lost";
inline constexpr QStringView kAnswerTimedOut = u"timed-out";

// Whether the model can be asked to go on from where an answer that ended for this reason
// stopped, and the follow-up that asks it.
bool CanContinue(const QString& finishReason);
QString ContinuePrompt();

struct THistoryItem {
    QString Role;
    TContentParts Parts;
    KeptMembers Kept = {};
    // When the message was written; invalid for messages of files that did not say.
    QDateTime Time = {};
    // Pictures an image model drew for this request. Shown with the item, kept in the chat
    // file under a member older readers skip, never sent to the service.
    TContentParts Images = {};
    // The pages a grounded answer names; kept and never sent like Images.
    QList<WebSource> Sources = {};
    // The passages the service attributes to sources; kept and never sent like Sources.
    QList<Citation> Citations = {};
    // Why the model stopped, when it was not the normal end ("STOP"): the service's
    // finishReason or one of the reasons above.
    QString FinishReason = {};
    // A user message whose request failed with nothing kept: why, as the failure said.
    // It stays in the chat to be shown and retried but is never sent with later requests.
    QString Failure = {};

    bool operator==(const THistoryItem&) const = default;
};

using TChatHistory = QList<THistoryItem>;

// Helpers for the two kinds of part.
TContentPart MakeTextPart(const QString& text);
TContentPart MakeInlinePart(const QString& mimeType, const QByteArray& base64Data,
                            const QString& fileName = {});

TContentPart MakeFileDataPart(const QString& mimeType, const QString& fileUri,
                              const QString& fileName, const QString& localPath,
                              const QDateTime& expirationTime);

// The member that holds a function call or code part, as the service names it
// ("functionCall", "executableCode", "codeExecutionResult").
QLatin1StringView ObjectPartName(TPartType type);

// Whether a part of a model's answer is something to keep as an answer: text that is not
// blank, a picture, a function call or code. Thoughts and empty text are not.
bool IsAnswerContent(const TContentPart& part);
bool HasAnswerContent(const TContentParts& parts);

// An inline part with both its type and its data: a picture that can be shown.
bool IsCompletePicture(const TContentPart& part);

// The answer's text parts joined, thoughts left out.
QString AnswerText(const TContentParts& parts);

// A run of messages: the ones a deletion takes away.
struct MessageRange {
    qsizetype First = 0;
    qsizetype Count = 0;

    bool operator==(const MessageRange&) const = default;
};

// What deleting the message at index takes: a question takes its answers with it (every
// message up to the next question), any other message goes alone. Empty for an index
// outside the conversation.
MessageRange DeletionRange(const TChatHistory& history, qsizetype index);

// The conversation's last message when it is an answer to a question before it (the one a
// new answer can replace); -1 otherwise.
qsizetype LastAnswerIndex(const TChatHistory& history);
