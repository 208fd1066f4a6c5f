#include "chat/GeminiDM.h"

#include "text/Clock.h"
#include "service/AnswerReading.h"
#include "service/GeminiRequestThread.h"
#include "chat/GenerationHandlers.h"

#include <QPointer>

namespace {

using namespace Qt::StringLiterals;

// How much history a text request carries; older messages stay in the chat but are not sent.
constexpr int kHistoryTokenBudget = 80000;

const QString kImagePromptSuffix = u" (запрос на генерацию изображения)"_s;

// The answer as one string, or the failure's text, for callers that take only that.
ResultCallback textOnly(TStringCallback callback) {
    return [callback = std::move(callback)](const RequestResult& result) {
        if (callback)
            callback(result ? AnswerAsOneString(result->Parts) : result.error().Text);
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
                                ResultCallback ACallback) {
    const TChatHistory sent = RecordUserMessage(AParts);
    ResultCallback handler =
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
                              const QString& APrompt, ResultCallback ACallback,
                              CancelFlag ACancel) {
    FChatHistory.append(
        THistoryItem{u"user"_s, {MakeTextPart(APrompt + kImagePromptSuffix)}, {}, Clock::now()});
    const qsizetype requestIndex = FChatHistory.size() - 1;
    // No model message for a picture: it is kept with the request, where a text model is
    // never sent it, and goes to the caller.
    TGeminiRequestThread::CreateForImage(
        Endpoint(), AApiKey, AModelName, APrompt,
        [dataModule = QPointer<TGeminiDM>(this), requestIndex, cancel = ACancel,
         callback = std::move(ACallback)](const RequestResult& result) {
            if (cancel->load())
                return;
            const RequestResult kept =
                dataModule ? dataModule->KeepImageAnswer(requestIndex, result) : result;
            if (callback)
                callback(kept);
        },
        ACancel);
}

RequestResult TGeminiDM::KeepImageAnswer(qsizetype ARequestIndex, RequestResult AResult) {
    const PicturesAndWords answer = SplitImageAnswer(WhatArrived(AResult).Parts);
    if (AResult && answer.Pictures.isEmpty() && !HasAnswerContent(answer.Words))
        AResult = Failure(RequestFailure{u"Ошибка: получен некорректный JSON от модели."_s});
    const bool requestHere =
        ARequestIndex < FChatHistory.size() && FChatHistory[ARequestIndex].Role == u"user";
    if (!requestHere)
        return AResult;
    FChatHistory[ARequestIndex].Images.append(answer.Pictures);
    if (HasAnswerContent(answer.Words))
        FChatHistory.append(ModelMessageFromParts(answer.Words, WhatArrived(AResult).Facts));
    else if (!AResult && answer.Pictures.isEmpty())
        MarkRequestFailed(ARequestIndex, AResult.error().Text);
    return AResult;
}
