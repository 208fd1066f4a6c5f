#include "chat/GeminiDM.h"

#include "text/Clock.h"
#include "service/AnswerReading.h"
#include "service/GeminiRequestThread.h"
#include "chat/GenerationHandlers.h"


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

// Keeps the pictures of an image answer with the request that asked for it and any words
// that came with them as the model's message; an answer with neither is a failure.
RequestResult keepImageAnswer(ChatState& chat, qsizetype requestIndex, RequestResult result) {
    const PicturesAndWords answer = SplitImageAnswer(WhatArrived(result).Parts);
    if (result && answer.Pictures.isEmpty() && !HasAnswerContent(answer.Words))
        result = Failure(RequestFailure{u"Ошибка: получен некорректный JSON от модели."_s});
    TChatHistory& history = chat.History;
    const bool requestHere =
        requestIndex < history.size() && history[requestIndex].Role == u"user";
    if (!requestHere)
        return result;
    history[requestIndex].Images.append(answer.Pictures);
    if (HasAnswerContent(answer.Words))
        history.append(ModelMessageFromParts(answer.Words, WhatArrived(result).Facts));
    else if (!result && answer.Pictures.isEmpty())
        chat.MarkRequestFailed(requestIndex, result.error().Text);
    return result;
}

} // namespace

TChatHistory TGeminiDM::RecordUserMessage(const TContentParts& AParts) {
    FChat->History.append(THistoryItem{u"user"_s, AParts, {}, Clock::now()});
    // Messages whose request failed are not sent, so they take none of the budget.
    TChatHistory sent;
    sent.reserve(FChat->History.size());
    for (const THistoryItem& item : FChat->History) {
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
        ContentCompletionHandler(FChat, FChat->History.size() - 1, std::move(ACallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, sent, AUseGoogleSearch,
                                 std::move(handler));
}

void TGeminiDM::GenerateContentStream(const QString& AApiKey, const QString& AModelName,
                                      const TContentParts& AParts, bool AUseGoogleSearch,
                                      TStreamCallback AStreamCallback) {
    const TChatHistory sent = RecordUserMessage(AParts);
    StreamDeliveryCallback handler =
        StreamHandler(FChat, FChat->History.size() - 1, std::move(AStreamCallback));
    TGeminiRequestThread::Create(Endpoint(), AApiKey, AModelName, sent, AUseGoogleSearch,
                                 std::move(handler));
}

std::shared_ptr<LiveAnswer> TGeminiDM::StreamAnswer(const QString& AApiKey,
                                                    const QString& AModelName,
                                                    const TContentParts& AParts,
                                                    bool AUseGoogleSearch,
                                                    LiveAnswerEvents AEvents) {
    const TChatHistory sent = RecordUserMessage(AParts);
    auto answer = std::make_shared<LiveAnswer>(FChat, FChat->History.size() - 1, std::move(AEvents));
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
    FChat->History.append(
        THistoryItem{u"user"_s, {MakeTextPart(APrompt + kImagePromptSuffix)}, {}, Clock::now()});
    const qsizetype requestIndex = FChat->History.size() - 1;
    // No model message for a picture: it is kept with the request, where a text model is
    // never sent it, and goes to the caller.
    TGeminiRequestThread::CreateForImage(
        Endpoint(), AApiKey, AModelName, APrompt,
        [chat = FChat, requestIndex, cancel = ACancel,
         callback = std::move(ACallback)](const RequestResult& result) {
            if (cancel->load())
                return;
            const RequestResult kept = keepImageAnswer(*chat, requestIndex, result);
            if (callback)
                callback(kept);
        },
        ACancel);
}
