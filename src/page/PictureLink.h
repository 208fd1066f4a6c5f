#pragma once

#include "conversation/ConversationModel.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// A drawn picture on the chat page. Up to the limit it is shown inline; above it, decoding it
// would cost the page hundreds of megabytes, so the page shows a link that names its type and
// size and lets the user save it to a file. The link goes to the fragment
// "picture-<token>-<key>": the page's token keeps an answer from writing a link of its own
// that passes for one, and the key (a hash of the picture's Base64 text) finds the picture in
// the conversation, whichever message it is in.

// Decoded bytes; a picture of more is not shown inline.
inline constexpr qint64 kInlinePictureLimitBytes = 16 * 1024 * 1024;

// How many bytes Base64 text decodes to, without decoding it.
qint64 DecodedBase64Size(QByteArrayView base64);

// The picture as the page shows it: an image, or (too large) the save link, or without a
// token, where nothing can be saved from (an export), the same words without a link.
QString PictureHtml(const QString& mimeType, const QString& base64, QStringView token);

// "Изображение PNG, 23,4 МБ".
QString PictureTitle(const QString& mimeType, qint64 bytes);

// The key a fragment names for this token; nothing for any other fragment or token.
std::optional<QString> ParsePictureFragment(QStringView fragment, QStringView token);

// The picture of the conversation with this key: a request's drawn pictures or an answer's
// inline parts.
std::optional<TContentPart> FindPicture(const TChatHistory& history, QStringView key);

// A file name to offer when saving it: "picture.png" and so on by its type.
QString PictureFileName(const QString& mimeType);
