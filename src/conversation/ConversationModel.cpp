#include "conversation/ConversationModel.h"

#include "text/Blank.h"

#include <algorithm>

TContentPart MakeTextPart(const QString& text) {
    TContentPart part;
    part.PartType = TPartType::ptText;
    part.Text = text;
    return part;
}

TContentPart MakeInlinePart(const QString& mimeType, const QByteArray& base64Data,
                            const QString& fileName) {
    TContentPart part;
    part.PartType = TPartType::ptInlineData;
    part.MimeType = mimeType;
    part.Base64Data = base64Data;
    part.FileName = fileName;
    return part;
}

TContentPart MakeFileDataPart(const QString& mimeType, const QString& fileUri,
                              const QString& fileName, const QString& localPath,
                              const QDateTime& expirationTime) {
    TContentPart part;
    part.PartType = TPartType::ptFileData;
    part.MimeType = mimeType;
    part.FileUri = fileUri;
    part.FileName = fileName;
    part.LocalPath = localPath;
    part.ExpirationTime = expirationTime;
    return part;
}

bool IsAnswerContent(const TContentPart& part) {
    if (part.PartType != TPartType::ptText)
        return true;
    return !part.Thought && !IsBlank(part.Text);
}

bool HasAnswerContent(const TContentParts& parts) {
    return std::any_of(parts.cbegin(), parts.cend(), IsAnswerContent);
}

bool IsCompletePicture(const TContentPart& part) {
    return part.PartType == TPartType::ptInlineData && !part.MimeType.isEmpty() &&
           !part.Base64Data.isEmpty();
}

QString AnswerText(const TContentParts& parts) {
    QString text;
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptText && !part.Thought)
            text += part.Text;
    }
    return text;
}

QLatin1StringView ObjectPartName(TPartType type) {
    using namespace Qt::Literals::StringLiterals;
    switch (type) {
    case TPartType::ptExecutableCode:
        return "executableCode"_L1;
    case TPartType::ptCodeExecutionResult:
        return "codeExecutionResult"_L1;
    case TPartType::ptText:
    case TPartType::ptInlineData:
    case TPartType::ptFunctionCall:
    case TPartType::ptFileData:
        break;
    }
    return "functionCall"_L1;
}

bool CanContinue(const QString& finishReason) {
    return finishReason == u"MAX_TOKENS" || finishReason == kStreamEndedEarly ||
           finishReason == kConnectionLost || finishReason == kAnswerTimedOut;
}

QString ContinuePrompt() {
    return QStringLiteral("Продолжи ответ с того места, где он оборвался, без повторов.");
}

MessageRange DeletionRange(const TChatHistory& history, qsizetype index) {
    if (index < 0 || index >= history.size())
        return {};
    qsizetype end = index + 1;
    if (history[index].Role == u"user") {
        while (end < history.size() && history[end].Role != u"user")
            ++end;
    }
    return {index, end - index};
}

qsizetype LastAnswerIndex(const TChatHistory& history) {
    const qsizetype last = history.size() - 1;
    if (last < 1 || history[last].Role != u"model" || history[last - 1].Role != u"user")
        return -1;
    return last;
}
