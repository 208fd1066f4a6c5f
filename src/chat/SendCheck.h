#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The longest prompt the service is sent, in UTF-16 code units.
inline constexpr int MaxPromptLength = 30020;

// Models whose name holds "image", in any letter case, are asked for a picture.
bool IsImageModel(const QString& modelName);

// Why a send does not start: the message for the user, and whether it is the missing key,
// after which the window points the user to where a key comes from.
struct SendRefusal {
    QString Message;
    bool KeyMissing = false;
};

// The checks before a send, in order: the key, the prompt (or a file in its place), files
// with an image model, the prompt's length. Nothing when the send may go.
std::optional<SendRefusal> CheckSend(const QString& apiKey, const QString& modelName,
                                     const QString& prompt, const QStringList& attachments);
