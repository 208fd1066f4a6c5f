#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>

// The in-memory form of one chat. Every record is a value: Qt's implicitly shared
// containers make copies cheap (a request thread takes a whole history) while later
// changes on either side stay apart.

enum class TPartType : std::uint8_t { ptText, ptInlineData };

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
    QString Text;
    QString MimeType;
    // Base64 text is pure ASCII and can reach hundreds of megabytes per chat,
    // so it is kept as bytes: half the size of a QString.
    QByteArray Base64Data;
    QString FileName;
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

    bool operator==(const THistoryItem&) const = default;
};

using TChatHistory = QList<THistoryItem>;

// Helpers for the two kinds of part.
TContentPart MakeTextPart(const QString& text);
TContentPart MakeInlinePart(const QString& mimeType, const QByteArray& base64Data,
                            const QString& fileName = {});
