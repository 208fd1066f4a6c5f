#include "GeminiDM.h"

#include "Clock.h"
#include "GeminiRequestThread.h"
#include "GenerationHandlers.h"

namespace {

using namespace Qt::StringLiterals;

// How much history a text request carries; older messages stay in the chat but are not sent.
constexpr int kHistoryTokenBudget = 80000;

const QString kImagePromptSuffix = u" (запрос на генерацию изображения)"_s;

// The outcome's text, for callers that take only that.
OutcomeCallback textOnly(TStringCallback callback) {
    return [callback = std::move(callback)](const RequestOutcome& outcome) {
        if (callback)
            callback(outcome.Text);
    };
}

} // namespace

TChatHistory TGeminiDM::RecordUserMessage(const TContentParts& AParts) {
    FChatHistory.append(THistoryItem{u"user"_s, AParts, {}, Clock::now()});
    return TrimHistoryToTokenLimit(FChatHistory, kHistoryTokenBudget);
}

void TGeminiDM::GenerateContent(const QString& AApiKey, const QString& AModelName,
                                const TContentParts& AParts, bool AUseGoogleSearch,
                                TStringCallback ACallback) {
    GenerateContent(AApiKey, AModelName, AParts, AUseGoogleSearch, textOnly(std::move(ACallback)));
}

void TGeminiDM::GenerateContent(const QString& AApiKey, const QString& AModelName,
                                const TContentParts& AParts, bool AUseGoogleSearch,
                                OutcomeCallback ACallback) {
    OutcomeCallback handler = ContentCompletionHandler(*this, std::move(ACallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, RecordUserMessage(AParts),
                                 AUseGoogleSearch, std::move(handler));
}

void TGeminiDM::GenerateContentStream(const QString& AApiKey, const QString& AModelName,
                                      const TContentParts& AParts, bool AUseGoogleSearch,
                                      TStreamCallback AStreamCallback) {
    StreamDeliveryCallback handler = StreamHandler(*this, std::move(AStreamCallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, RecordUserMessage(AParts),
                                 AUseGoogleSearch, std::move(handler));
}

void TGeminiDM::GenerateImage(const QString& AApiKey, const QString& AModelName,
                              const QString& APrompt, TStringCallback ACallback) {
    GenerateImage(AApiKey, AModelName, APrompt, textOnly(std::move(ACallback)));
}

void TGeminiDM::GenerateImage(const QString& AApiKey, const QString& AModelName,
                              const QString& APrompt, OutcomeCallback ACallback) {
    FChatHistory.append(
        THistoryItem{u"user"_s, {MakeTextPart(APrompt + kImagePromptSuffix)}, {}, Clock::now()});
    // No model message for a picture: it goes to the caller only.
    TGeminiRequestThread::CreateForImage(Endpoint(), AApiKey, AModelName, APrompt,
                                         std::move(ACallback));
}
