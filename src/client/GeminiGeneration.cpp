#include "GeminiDM.h"

#include "Clock.h"
#include "GeminiRequestThread.h"
#include "GenerationHandlers.h"

#include <QPointer>

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

std::shared_ptr<LiveAnswer> TGeminiDM::StreamAnswer(const QString& AApiKey,
                                                    const QString& AModelName,
                                                    const TContentParts& AParts,
                                                    bool AUseGoogleSearch,
                                                    LiveAnswerEvents AEvents) {
    auto answer = std::make_shared<LiveAnswer>(*this, std::move(AEvents));
    TGeminiRequestThread::Create(
        Endpoint(), AApiKey, AModelName, RecordUserMessage(AParts), AUseGoogleSearch,
        [answer](const StreamDelivery& delivery) { answer->Deliver(delivery); }, answer->Cancel());
    return answer;
}

void TGeminiDM::GenerateImage(const QString& AApiKey, const QString& AModelName,
                              const QString& APrompt, TStringCallback ACallback,
                              CancelFlag ACancel) {
    GenerateImage(AApiKey, AModelName, APrompt, textOnly(std::move(ACallback)), std::move(ACancel));
}

void TGeminiDM::GenerateImage(const QString& AApiKey, const QString& AModelName,
                              const QString& APrompt, OutcomeCallback ACallback,
                              CancelFlag ACancel) {
    FChatHistory.append(
        THistoryItem{u"user"_s, {MakeTextPart(APrompt + kImagePromptSuffix)}, {}, Clock::now()});
    const qsizetype requestIndex = FChatHistory.size() - 1;
    // No model message for a picture: it is kept with the request, where a text model is
    // never sent it, and goes to the caller.
    TGeminiRequestThread::CreateForImage(
        Endpoint(), AApiKey, AModelName, APrompt,
        [dataModule = QPointer<TGeminiDM>(this), requestIndex, cancel = ACancel,
         callback = std::move(ACallback)](const RequestOutcome& outcome) {
            if (cancel->load())
                return;
            if (dataModule && !outcome.IsFailure)
                dataModule->KeepGeneratedImage(requestIndex, outcome.Text);
            if (callback)
                callback(outcome);
        },
        ACancel);
}

void TGeminiDM::KeepGeneratedImage(qsizetype ARequestIndex, const QString& AAnswer) {
    const std::optional<TContentPart> image = ImageFromDescription(AAnswer);
    if (image && ARequestIndex < FChatHistory.size() && FChatHistory[ARequestIndex].Role == u"user")
        FChatHistory[ARequestIndex].Images.append(*image);
}
