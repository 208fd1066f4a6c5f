#include "service/GeminiRequestThread.h"

#include "service/AnswerReading.h"
#include "text/ControlCharacters.h"
#include "service/EventStream.h"
#include "service/HttpPost.h"
#include "service/RequestBody.h"
#include "service/ResponseFailure.h"
#include "service/RetryPolicy.h"

#include <QCoreApplication>

#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

using namespace Qt::StringLiterals;

// The key goes into a header line and the model name into the address, verbatim, so one
// holding a control character would be sent cut or broken: such a request is not sent.
Expected<void, RequestFailure> checkBeforeSending(const QString& apiKey, const QString& modelName) {
    if (HasControlCharacter(apiKey))
        return Failure(RequestFailure{
            u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s});
    if (HasControlCharacter(modelName))
        return Failure(RequestFailure{
            u"Ошибка: имя модели содержит управляющие символы, запрос не отправлен."_s});
    return {};
}

Failure<RequestFailure> stopped() {
    return Failure(RequestFailure{u"Остановлено"_s});
}

} // namespace

TGeminiRequestThread::TGeminiRequestThread(const ServiceEndpoint& AEndpoint,
                                           TRequestType ARequestType, const QString& AApiKey,
                                           const QString& AModelName, CancelFlag ACancel)
    : FEndpoint(AEndpoint), FApiKey(AApiKey), FModelName(AModelName), FRequestType(ARequestType),
      FCancel(std::move(ACancel)) {
    // The object owns itself: it goes once the thread body has returned.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TGeminiRequestThread::Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                  const QString& AModelName, const TChatHistory& AHistory,
                                  bool AUseGoogleSearch, ResultCallback ACallback,
                                  CancelFlag ACancel) {
    auto* thread = new TGeminiRequestThread(AEndpoint, TRequestType::rtGenerateContent, AApiKey,
                                            AModelName, std::move(ACancel));
    thread->FHistory = AHistory;
    thread->FUseGoogleSearch = AUseGoogleSearch;
    thread->FCallback = std::move(ACallback);
    thread->start();
}

void TGeminiRequestThread::Create(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                  const QString& AModelName, const TChatHistory& AHistory,
                                  bool AUseGoogleSearch, StreamDeliveryCallback AStreamCallback,
                                  CancelFlag ACancel) {
    auto* thread = new TGeminiRequestThread(AEndpoint, TRequestType::rtStreamContent, AApiKey,
                                            AModelName, std::move(ACancel));
    thread->FHistory = AHistory;
    thread->FUseGoogleSearch = AUseGoogleSearch;
    thread->FStreamCallback =
        std::make_shared<const StreamDeliveryCallback>(std::move(AStreamCallback));
    thread->FChunks = std::make_shared<ChunkMailbox>();
    thread->start();
}

void TGeminiRequestThread::CreateForImage(const ServiceEndpoint& AEndpoint, const QString& AApiKey,
                                          const QString& AModelName, const QString& APrompt,
                                          ResultCallback ACallback, CancelFlag ACancel) {
    auto* thread = new TGeminiRequestThread(AEndpoint, TRequestType::rtGenerateImage, AApiKey,
                                            AModelName, std::move(ACancel));
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

Expected<void, RequestFailure> TGeminiRequestThread::Post(const QByteArray& ABody,
                                                          const HttpBodySink& ASink,
                                                          HttpResponse& AResponse) const {
    const QByteArray url = RequestUrl(FEndpoint.BaseUrl, FRequestType, FModelName);
    HttpOptions options = HttpOptionsOf(FEndpoint);
    options.Headers.append(ApiKeyHeader(FApiKey));
    options.Cancel = FCancel.get();
    for (int retries = 0;; ++retries) {
        // The first piece of an answer shows the request reached the service; a request
        // that got no answer at all is known only once the transfer has ended.
        bool reported = false;
        HttpBodySink sink;
        if (ASink)
            sink = [&](QByteArrayView piece) {
                if (!std::exchange(reported, true))
                    ReportSent();
                ASink(piece);
            };
        AResponse = PostJson(url, ABody, options, sink);
        if (AResponse.ServerAnswered && !reported)
            ReportSent();
        if (AResponse.Cancelled)
            return stopped();
        if (AResponse.Failure || AResponse.Refusal != HttpRefusal::None || AResponse.IsSuccess()) {
            if (IsUsable(AResponse))
                return {};
            return Failure(FailureOf(AResponse));
        }
        const RetryAdvice advice = AdviseRetry(AResponse.StatusCode, AResponse.Body, retries);
        // A wait too long to sit through is the user's to make: the failure names it.
        if (advice.What != RetryAdvice::Kind::RetryAfter)
            return Failure(FailureOf(AResponse));
        if (FStreamCallback)
            QueueStreamDelivery({.What = StreamDelivery::Kind::Retrying,
                                 .RetryInSeconds = DelaySeconds(advice.DelayMs)});
        if (!PauseUnlessCancelled(advice.DelayMs))
            return stopped();
    }
}

bool TGeminiRequestThread::PauseUnlessCancelled(int AMilliseconds) const {
    using namespace std::chrono;
    constexpr milliseconds kStep(20);
    const steady_clock::time_point end = steady_clock::now() + milliseconds(AMilliseconds);
    while (!FCancel->load()) {
        const steady_clock::time_point now = steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(kStep, end - now));
    }
    return false;
}

RequestResult TGeminiRequestThread::ExecuteOneShot() const {
    if (Expected<void, RequestFailure> check = checkBeforeSending(FApiKey, FModelName); !check)
        return Failure(std::move(check).error());
    const QByteArray body = FRequestType == TRequestType::rtGenerateImage
                                ? BuildImageRequestBody(FPrompt, FEndpoint.Parameters)
                                : BuildContentRequestBody(FHistory, FUseGoogleSearch,
                                                          FEndpoint.IncludeThoughts,
                                                          FEndpoint.Parameters);
    HttpResponse response;
    if (Expected<void, RequestFailure> sent = Post(body, {}, response); !sent)
        return Failure(std::move(sent).error());
    return ReadAnswer(response.Body);
}

void TGeminiRequestThread::ExecuteStream() const {
    using enum StreamDelivery::Kind;
    if (Expected<void, RequestFailure> check = checkBeforeSending(FApiKey, FModelName); !check) {
        QueueStreamDelivery({.What = Final, .Result = Failure(std::move(check).error())});
        return;
    }
    // Each event goes out as soon as its blank line is in, while the answer is still coming;
    // the whole answer goes with the end.
    ModelAnswer arrived;
    bool anyContent = false;
    EventStreamReader events([this, &arrived, &anyContent](const QByteArray& event) {
        TContentParts parts = ReadEvent(event, arrived.Facts);
        if (parts.isEmpty())
            return;
        anyContent = anyContent || HasAnswerContent(parts);
        AppendAnswerParts(arrived.Parts, parts);
        QueueChunk(AnswerText(parts), parts);
    });
    HttpResponse response;
    Expected<void, RequestFailure> sent = Post(
        BuildContentRequestBody(FHistory, FUseGoogleSearch, FEndpoint.IncludeThoughts,
                                FEndpoint.Parameters),
        [&events](QByteArrayView piece) { events.feed(piece); }, response);
    // An error the service sent as an event ends the answer as a failure, after what came.
    if (sent && !arrived.Facts.ServiceError.isEmpty())
        sent = Failure(RequestFailure{ServiceErrorText(arrived.Facts.ServiceError)});
    else if (sent && !anyContent) // nothing to keep: say why
        sent = Failure(RequestFailure{EmptyAnswerText(arrived.Facts)});
    if (sent) {
        QueueStreamDelivery({.What = Final, .Result = std::move(arrived)});
        return;
    }
    RequestFailure failure = std::move(sent).error();
    failure.Arrived = std::move(arrived);
    QueueStreamDelivery({.What = Final, .Result = Failure(std::move(failure))});
}

void TGeminiRequestThread::SyncResult() {
    if (FCallback)
        FCallback(FResult);
}

void TGeminiRequestThread::ReportSent() const {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !FEndpoint.RequestSent)
        return;
    QMetaObject::invokeMethod(
        app,
        [sent = FEndpoint.RequestSent, key = FApiKey, model = FModelName] { sent(key, model); },
        Qt::QueuedConnection);
}

// The chunks read but not yet taken by the user-interface thread. However fast the service
// writes, one delivery at a time waits in that thread's queue and takes every chunk read
// until it runs: the window handles the answer in a few large pieces, never in millions
// of small ones ahead of the user's input.
struct TGeminiRequestThread::ChunkMailbox {
    std::mutex Lock;
    StreamDelivery Waiting;
    bool Posted = false;
};

void TGeminiRequestThread::QueueChunk(QString AText, const TContentParts& AParts) const {
    {
        const std::lock_guard lock(FChunks->Lock);
        AppendAnswerParts(FChunks->Waiting.Parts, AParts);
        FChunks->Waiting.Text += AText;
        if (std::exchange(FChunks->Posted, true))
            return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [callback = FStreamCallback, chunks = FChunks] {
            StreamDelivery delivery;
            {
                const std::lock_guard lock(chunks->Lock);
                delivery = std::exchange(chunks->Waiting, StreamDelivery{});
                chunks->Posted = false;
            }
            if (*callback)
                (*callback)(delivery);
        },
        Qt::QueuedConnection);
}

void TGeminiRequestThread::QueueStreamDelivery(const StreamDelivery& ADelivery) const {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Each delivery carries its own content; deliveries posted to one receiver run in the
    // order they were posted, even after this thread object is gone.
    QMetaObject::invokeMethod(
        app,
        [callback = FStreamCallback, ADelivery] {
            if (*callback)
                (*callback)(ADelivery);
        },
        Qt::QueuedConnection);
}
