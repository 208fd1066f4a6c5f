#include "GeminiRequestThread.h"

#include "AnswerReading.h"
#include "ControlCharacters.h"
#include "EventStream.h"
#include "HttpPost.h"
#include "RequestBody.h"
#include "ResponseFailure.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

namespace {

using namespace Qt::StringLiterals;

// The key and the model name go into the address verbatim, so one holding a control
// character would be sent cut or broken: such a request is not sent at all.
std::optional<RequestOutcome> refusalBeforeSending(const QString& apiKey,
                                                   const QString& modelName) {
    if (HasControlCharacter(apiKey))
        return RequestOutcome{
            u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s, true};
    if (HasControlCharacter(modelName))
        return RequestOutcome{
            u"Ошибка: имя модели содержит управляющие символы, запрос не отправлен."_s, true};
    return std::nullopt;
}

} // namespace

TGeminiRequestThread::TGeminiRequestThread(const ServiceEndpoint& AEndpoint,
                                           TRequestType ARequestType, const QString& AApiKey,
                                           const QString& AModelName)
    : FEndpoint(AEndpoint), FApiKey(AApiKey), FModelName(AModelName), FRequestType(ARequestType) {
    // The object owns itself: it goes once the thread body has returned.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TGeminiRequestThread::Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                  const QString& AModelName, const TChatHistory& AHistory,
                                  bool AUseGoogleSearch, OutcomeCallback ACallback) {
    auto* thread =
        new TGeminiRequestThread(AEndpoint, TRequestType::rtGenerateContent, AApiKey, AModelName);
    thread->FHistory = AHistory;
    thread->FUseGoogleSearch = AUseGoogleSearch;
    thread->FCallback = std::move(ACallback);
    thread->start();
}

void TGeminiRequestThread::Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                  const QString& AModelName, const TChatHistory& AHistory,
                                  bool AUseGoogleSearch, StreamDeliveryCallback AStreamCallback) {
    auto* thread =
        new TGeminiRequestThread(AEndpoint, TRequestType::rtStreamContent, AApiKey, AModelName);
    thread->FHistory = AHistory;
    thread->FUseGoogleSearch = AUseGoogleSearch;
    thread->FStreamCallback =
        std::make_shared<const StreamDeliveryCallback>(std::move(AStreamCallback));
    thread->start();
}

void TGeminiRequestThread::CreateForImage(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                          const QString& AModelName, const QString& APrompt,
                                          OutcomeCallback ACallback) {
    auto* thread =
        new TGeminiRequestThread(AEndpoint, TRequestType::rtGenerateImage, AApiKey, AModelName);
    thread->FPrompt = APrompt;
    thread->FCallback = std::move(ACallback);
    thread->start();
}

void TGeminiRequestThread::run() {
    if (FRequestType == TRequestType::rtStreamContent) {
        ExecuteStream();
        return;
    }
    FResult = ExecuteOneShot();
    // Waiting here means the callback has run, exactly once, before the thread ends.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [this] { SyncResult(); }, Qt::BlockingQueuedConnection);
}

RequestOutcome TGeminiRequestThread::ExecuteOneShot() const {
    if (std::optional<RequestOutcome> refusal = refusalBeforeSending(FApiKey, FModelName))
        return *refusal;
    const QByteArray body = FRequestType == TRequestType::rtGenerateImage
                                ? BuildImageRequestBody(FPrompt)
                                : BuildContentRequestBody(FHistory, FUseGoogleSearch);
    const HttpResponse response =
        PostJson(RequestUrl(FEndpoint.BaseUrl, FRequestType, FModelName, FApiKey), body,
                 HttpOptionsOf(FEndpoint));
    if (!IsUsable(response))
        return FailureOutcome(response);
    return ReadAnswer(response.Body);
}

void TGeminiRequestThread::ExecuteStream() const {
    if (std::optional<RequestOutcome> refusal = refusalBeforeSending(FApiKey, FModelName)) {
        QueueStreamChunk(refusal->Text, true, true);
        return;
    }
    // Each event goes out as soon as its blank line is in, while the answer is still coming.
    EventStreamReader events([this](const QByteArray& event) {
        const QString text = EventText(event);
        if (!text.isEmpty())
            QueueStreamChunk(text, false, false);
    });
    const HttpResponse response =
        PostJson(RequestUrl(FEndpoint.BaseUrl, FRequestType, FModelName, FApiKey),
                 BuildContentRequestBody(FHistory, FUseGoogleSearch), HttpOptionsOf(FEndpoint),
                 [&events](QByteArrayView piece) { events.feed(piece); });
    if (IsUsable(response))
        QueueStreamChunk(QString(), true, false);
    else
        QueueStreamChunk(FailureOutcome(response).Text, true, true);
}

void TGeminiRequestThread::SyncResult() {
    if (FCallback)
        FCallback(FResult);
}

void TGeminiRequestThread::QueueStreamChunk(const QString& AChunk, bool AIsFinal,
                                            bool AIsFailure) const {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Each delivery carries its own chunk and flags; deliveries posted to one receiver run
    // in the order they were posted, even after this thread object is gone.
    QMetaObject::invokeMethod(
        app,
        [callback = FStreamCallback, AChunk, AIsFinal, AIsFailure] {
            if (*callback)
                (*callback)(AChunk, AIsFinal, AIsFailure);
        },
        Qt::QueuedConnection);
}
