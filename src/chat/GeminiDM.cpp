#include "chat/GeminiDM.h"

#include "service/AttachmentEncoding.h"
#include "text/Blank.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

const QString kParametersMember = QStringLiteral("chat_settings");

// The chat's parameters as a member of the file's top object, after everything else.
KeptMember parametersMember(const ChatParameters& parameters) {
    QJsonObject member;
    member.insert(kParametersMember, ChatParametersToJson(parameters));
    QByteArray text = QJsonDocument(member).toJson(QJsonDocument::Compact);
    // The member alone, without the braces of the object made to write it.
    return {std::numeric_limits<int>::max(), text.sliced(1, text.size() - 2)};
}

// The parameters a file keeps, taken out of its kept members; the built-in defaults when
// it keeps none, as it was written before chats had parameters.
ChatParameters takeParameters(KeptMembers& kept) {
    ChatParameters parameters;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const QJsonObject member =
            QJsonDocument::fromJson('{' + kept[i].Text + '}').object();
        if (!member.contains(kParametersMember))
            continue;
        parameters = ChatParametersFromJson(member.value(kParametersMember).toObject());
        kept.removeAt(i);
        break;
    }
    return parameters;
}

constexpr double kTokensPerInlinePart = 258;

double tokenSum(const TContentParts& parts) {
    double total = 0;
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptInlineData)
            total += kTokensPerInlinePart;
        else
            total += part.Text.size() / 2.0;
    }
    return total;
}

int roundUp(double total) {
    return int(std::ceil(total));
}

bool hasContent(const TContentParts& parts) {
    for (const TContentPart& part : parts) {
        if (part.PartType == TPartType::ptInlineData || !IsBlank(part.Text))
            return true;
    }
    return false;
}

} // namespace

TGeminiDM::TGeminiDM(QObject* parent) : QObject(parent) {}

TGeminiDM::~TGeminiDM() = default;

void TGeminiDM::SetServiceSettings(const ServiceSettings& ASettings) {
    FBaseUrl = ASettings.BaseUrl;
    FReadTimeoutMs = ASettings.TimeoutSeconds * 1000;
    FProxy = ASettings.Proxy;
    FIncludeThoughts = ASettings.ShowThoughts;
    FDefaultParameters = ASettings.ChatDefaults;
}

void ChatState::MarkRequestFailed(qsizetype index, const QString& reason) {
    if (index < 0 || index >= History.size() || History[index].Role != u"user")
        return;
    History[index].Failure = reason.isEmpty() ? QStringLiteral("Ошибка") : reason;
}

void TGeminiDM::ClearHistory() {
    // A fresh object: a request still answering into the old chat keeps it.
    FChat = std::make_shared<ChatState>();
    FChat->Parameters = FDefaultParameters;
}

bool TGeminiDM::DeleteFileFromHistory(int AMessageIndex, const QString& AFileName) {
    TChatHistory& history = FChat->History;
    if (AMessageIndex < 0 || AMessageIndex >= history.size())
        return false;

    const TContentParts& oldParts = history[AMessageIndex].Parts;
    TContentParts kept;
    kept.reserve(oldParts.size());
    for (const TContentPart& part : oldParts) {
        if (part.PartType != TPartType::ptInlineData || part.FileName != AFileName)
            kept.append(part);
    }
    if (kept.size() == oldParts.size())
        return false;

    if (hasContent(kept))
        history[AMessageIndex].Parts = kept;
    else
        history.removeAt(AMessageIndex);
    return true;
}

int TGeminiDM::CountTokens(const TContentParts& AParts) {
    return roundUp(tokenSum(AParts));
}

int TGeminiDM::CountTokensForHistory(const TChatHistory& AHistory) {
    // The ceiling is taken once over all parts, exactly as if they were one list.
    double total = 0;
    for (const THistoryItem& item : AHistory)
        total += tokenSum(item.Parts);
    return roundUp(total);
}

Expected<void> TGeminiDM::SaveChatToFile(const ChatState& AChat, const QString& AFileName,
                                         ChatFileTime ATime) {
    KeptMembers top = AChat.KeptTopMembers;
    if (!AChat.Parameters.IsDefault())
        top.append(parametersMember(AChat.Parameters));
    return WriteChatFile(AFileName, {AChat.History, top, AChat.Label}, ATime);
}

ChatFileLoad TGeminiDM::LoadHistoryFromFile(const QString& AFileName) {
    ChatFileContent content;
    const ChatFileLoad load = ReadChatFile(AFileName, content);
    if (load.Outcome == ChatLoadOutcome::loMissing || load.Outcome == ChatLoadOutcome::loNotAFile)
        return load;
    auto chat = std::make_shared<ChatState>();
    chat->History = std::move(content.History);
    chat->Parameters = takeParameters(content.Kept);
    chat->KeptTopMembers = std::move(content.Kept);
    chat->Label = std::move(content.Label);
    FChat = std::move(chat);
    return load;
}

QString TGeminiDM::GetMimeTypeFromFileExt(const QString& AFileName) {
    return MimeTypeOfFile(AFileName);
}

QByteArray TGeminiDM::FileToBase64(const QString& AFileName) {
    return FileContentAsBase64(AFileName);
}

TChatHistory TGeminiDM::TrimHistoryToTokenLimit(const TChatHistory& AHistory, int AMaxTokens) {
    // Sums of halves are exact in a double, so subtracting a dropped item gives the
    // same estimate as counting the rest again.
    double total = 0;
    for (const THistoryItem& item : AHistory)
        total += tokenSum(item.Parts);
    qsizetype first = 0;
    while (AHistory.size() - first > 1 && roundUp(total) > AMaxTokens)
        total -= tokenSum(AHistory[first++].Parts);
    return AHistory.sliced(first);
}
