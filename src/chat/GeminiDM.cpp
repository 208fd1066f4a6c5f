#include "chat/GeminiDM.h"

#include "service/AttachmentEncoding.h"
#include "text/Blank.h"

#include <cmath>

namespace {

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
}

void TGeminiDM::MarkRequestFailed(qsizetype AIndex, const QString& AReason) {
    if (AIndex < 0 || AIndex >= FChatHistory.size() || FChatHistory[AIndex].Role != u"user")
        return;
    FChatHistory[AIndex].Failure = AReason.isEmpty() ? QStringLiteral("Ошибка") : AReason;
}

void TGeminiDM::ClearHistory() {
    FChatHistory.clear();
    FKeptTopMembers.clear();
    FLabel = {};
}

bool TGeminiDM::DeleteFileFromHistory(int AMessageIndex, const QString& AFileName) {
    if (AMessageIndex < 0 || AMessageIndex >= FChatHistory.size())
        return false;

    const TContentParts& oldParts = FChatHistory[AMessageIndex].Parts;
    TContentParts kept;
    kept.reserve(oldParts.size());
    for (const TContentPart& part : oldParts) {
        if (part.PartType != TPartType::ptInlineData || part.FileName != AFileName)
            kept.append(part);
    }
    if (kept.size() == oldParts.size())
        return false;

    if (hasContent(kept))
        FChatHistory[AMessageIndex].Parts = kept;
    else
        FChatHistory.removeAt(AMessageIndex);
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

Expected<void> TGeminiDM::SaveHistoryToFile(const QString& AFileName, ChatFileTime ATime) const {
    return WriteChatFile(AFileName, {FChatHistory, FKeptTopMembers, FLabel}, ATime);
}

ChatFileLoad TGeminiDM::LoadHistoryFromFile(const QString& AFileName) {
    ChatFileContent content;
    const ChatFileLoad load = ReadChatFile(AFileName, content);
    if (load.Outcome == ChatLoadOutcome::loMissing || load.Outcome == ChatLoadOutcome::loNotAFile)
        return load;
    ClearHistory();
    FChatHistory = std::move(content.History);
    FKeptTopMembers = std::move(content.Kept);
    FLabel = std::move(content.Label);
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
