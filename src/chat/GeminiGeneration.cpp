#include "chat/GeminiDM.h"

#include "text/Clock.h"
#include "service/GeminiRequestThread.h"
#include "chat/GenerationHandlers.h"

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
    // Messages whose request failed are not sent, so they take none of the budget.
    TChatHistory sent;
    sent.reserve(FChatHistory.size());
    for (const THistoryItem& item : FChatHistory) {
        if (item.Failure.isEmpty())
            sent.append(item);
    }
    return TrimHistoryToTokenLimit(sent, kHistoryTokenBudget);
}

void TGeminiDM::GenerateContent(const QString& AApiKey, const QString& AModelName,
                                const TContentParts& AParts, bool AUseGoogleSearch,
                                TStringCallback ACallback) {
    GenerateContent(AApiKey, AModelName, AParts, AUseGoogleSearch, textOnly(std::move(ACallback)));
}

void TGeminiDM::GenerateContent(const QString& AApiKey, const QString& AModelName,
                                const TContentParts& AParts, bool AUseGoogleSearch,
                                OutcomeCallback ACallback) {
    const TChatHistory sent = RecordUserMessage(AParts);
    OutcomeCallback handler =
        ContentCompletionHandler(*this, FChatHistory.size() - 1, std::move(ACallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, sent, AUseGoogleSearch,
                                 std::move(handler));
}

void TGeminiDM::GenerateContentStream(const QString& AApiKey, const QString& AModelName,
                                      const TContentParts& AParts, bool AUseGoogleSearch,
                                      TStreamCallback AStreamCallback) {
    const TChatHistory sent = RecordUserMessage(AParts);
    StreamDeliveryCallback handler =
        StreamHandler(*this, FChatHistory.size() - 1, std::move(AStreamCallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, sent, AUseGoogleSearch,
                                 std::move(handler));
}

std::shared_ptr<LiveAnswer> TGeminiDM::StreamAnswer(const QString& AApiKey,
                                                    const QString& AModelName,
                                                    const TContentParts& AParts,
                                                    bool AUseGoogleSearch,
                                                    LiveAnswerEvents AEvents) {
    const TChatHistory sent = RecordUserMessage(AParts);
    auto answer = std::make_shared<LiveAnswer>(*this, FChatHistory.size() - 1, std::move(AEvents));
    TGeminiRequestThread::Create(
        Endpoint(), AApiKey, AModelName, sent, AUseGoogleSearch,
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
            const RequestOutcome kept =
                dataModule ? dataModule->KeepImageAnswer(requestIndex, outcome) : outcome;
            if (callback)
                callback(kept);
        },
        ACancel);
}

RequestOutcome TGeminiDM::KeepImageAnswer(qsizetype ARequestIndex, RequestOutcome AOutcome) {
    TContentParts pictures;
    TContentParts words;
    for (const TContentPart& part : AOutcome.Parts) {
        if (part.PartType != TPartType::ptInlineData)
            words.append(part);
        else if (IsCompletePicture(part))
            pictures.append(part);
    }
    if (!AOutcome.IsFailure && pictures.isEmpty() && !HasAnswerContent(words)) {
        AOutcome = {u"Ошибка: получен некорректный JSON от модели."_s, true};
        AOutcome.Facts = {};
    }
    const bool requestHere =
        ARequestIndex < FChatHistory.size() && FChatHistory[ARequestIndex].Role == u"user";
    if (!requestHere)
        return AOutcome;
    FChatHistory[ARequestIndex].Images.append(pictures);
    if (HasAnswerContent(words))
        FChatHistory.append(ModelMessageFromParts(words, AOutcome.Facts));
    else if (AOutcome.IsFailure && pictures.isEmpty())
        MarkRequestFailed(ARequestIndex, AOutcome.Text);
    return AOutcome;
}
