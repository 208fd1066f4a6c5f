#include "service/FileUpload.h"

#include "service/AnswerReading.h"
#include "service/HttpPost.h"
#include "service/RequestBody.h"
#include "service/ResponseFailure.h"
#include "service/RetryPolicy.h"
#include "service/ServiceJson.h"
#include "text/ControlCharacters.h"
#include "text/JsonText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

constexpr qsizetype kMaxDisplayNameLength = 512;

// What the file was when the upload began; any difference later means its bytes are no
// longer the ones being sent.
struct FileStamp {
    qint64 Size = -1;
    QDateTime Modified;

    static FileStamp of(const QString& path) {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        return {info.size(), info.lastModified()};
    }
    bool operator==(const FileStamp&) const = default;
};

QString displayNameOf(const UploadRequest& request) {
    QString name = request.DisplayName.isEmpty() ? QFileInfo(request.Path).fileName()
                                                 : request.DisplayName;
    if (name.size() > kMaxDisplayNameLength) {
        // A surrogate pair is kept whole or dropped whole.
        qsizetype length = kMaxDisplayNameLength;
        if (name.at(length - 1).isHighSurrogate())
            --length;
        name.truncate(length);
    }
    return name;
}

QByteArray startBody(const QString& displayName) {
    JsonWriter json;
    json.beginObject().key("file"_L1).beginObject();
    json.key("display_name"_L1).string(displayName);
    json.endObject().endObject();
    return json.take();
}

QString baseWithoutSlash(const QString& baseUrl) {
    QString base = baseUrl;
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

std::optional<UploadedFile> readFile(const QJsonObject& file) {
    UploadedFile result;
    result.Name = JsonValueAsString(file.value("name"_L1)).value_or(QString());
    result.Uri = JsonValueAsString(file.value("uri"_L1)).value_or(QString());
    result.MimeType = JsonValueAsString(ServiceMember(file, "mime_type"_L1)).value_or(QString());
    // int64 fields come as strings in the service's JSON.
    result.SizeBytes =
        JsonValueAsString(ServiceMember(file, "size_bytes"_L1)).value_or(u"0"_s).toLongLong();
    result.ExpirationTime = QDateTime::fromString(
        JsonValueAsString(ServiceMember(file, "expiration_time"_L1)).value_or(QString()),
        Qt::ISODateWithMs);
    if (result.Name.isEmpty() || result.Uri.isEmpty())
        return std::nullopt;
    return result;
}

// A file's name is used as a path below the base address: only "files/" and one segment
// of the characters the service uses in its ids.
bool isFileName(const QString& name) {
    if (!name.startsWith(u"files/"_s) || name.size() == 6 || name.size() > 256)
        return false;
    return std::all_of(name.cbegin() + 6, name.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' ||
               (c >= u'A' && c <= u'Z');
    });
}

QString quoted(const QString& path) {
    return u"«"_s + QFileInfo(path).fileName() + u"»"_s;
}

// One upload from start to the processed file, on the calling thread.
class Uploader {
public:
    Uploader(const ServiceEndpoint& endpoint, const QString& apiKey, const UploadRequest& request,
             const std::atomic<bool>* cancel, const UploadProgressCallback& progress,
             const UploadTuning& tuning)
        : m_endpoint(endpoint), m_request(request), m_cancel(cancel), m_progress(progress),
          m_tuning(tuning), m_keyHeader(ApiKeyHeader(apiKey)) {}

    UploadResult run();

private:
    using Step = Expected<void, UploadFailure>;

    Step openFile();
    Step start();
    // The file resource the service answers the last chunk with.
    Expected<QJsonObject, UploadFailure> sendChunks();
    Expected<UploadedFile, UploadFailure> waitUntilProcessed(QJsonObject resource);
    // Sends bytes [offset, offset + length) of the file.
    HttpResponse sendChunk(qint64 offset, qint64 length, bool last);
    // Where the service says the upload stands: the offset to go on from, or the file
    // when it was already finalised.
    struct Standing {
        qint64 Offset = 0;
        std::optional<QJsonObject> File;
    };
    Expected<Standing, UploadFailure> query();
    void sendCancel();

    HttpOptions options(int readTimeoutMs, const std::atomic<bool>* cancel) const;
    bool cancelled() const { return m_cancel && m_cancel->load(); }
    bool fileUnchanged() const { return FileStamp::of(m_request.Path) == m_stamp; }
    bool pauseUnlessCancelled(int milliseconds) const;
    // What a failed answer means for the next try: retried after its pause, or the failure.
    Step retryOrFail(const HttpResponse& response, int& retriesDone) const;

    UploadFailure failure(UploadFailureCause cause, const QString& text) const {
        return {cause, text};
    }
    UploadFailure stopped() const { return failure(UploadFailureCause::Stopped, u"Остановлено"_s); }
    UploadFailure badAnswer() const {
        return failure(UploadFailureCause::BadAnswer,
                       u"Ошибка: сервер ответил не по правилам загрузки файла %1, файл не загружен."_s
                           .arg(quoted(m_request.Path)));
    }
    UploadFailure changed() const {
        return failure(UploadFailureCause::FileChanged,
                       u"Ошибка: файл %1 изменился во время загрузки, загрузка отменена."_s.arg(
                           quoted(m_request.Path)));
    }
    // The "file" object of an answer that ends the upload.
    Expected<QJsonObject, UploadFailure> fileResource(QByteArrayView body) const {
        const std::optional<QJsonValue> parsed = ParseJsonText(body);
        const QJsonObject file =
            parsed ? parsed->toObject().value("file"_L1).toObject() : QJsonObject();
        if (!readFile(file))
            return Failure(badAnswer());
        return file;
    }
    UploadFailure transfer(const HttpResponse& response) const {
        const RequestFailure request = FailureOf(response);
        return {UploadFailureCause::Transfer, request.Text, request};
    }

    const ServiceEndpoint& m_endpoint;
    const UploadRequest& m_request;
    const std::atomic<bool>* m_cancel;
    const UploadProgressCallback& m_progress;
    const UploadTuning& m_tuning;
    const QByteArray m_keyHeader;

    // Declared before any request can use it, so it outlives them.
    mutable HttpConnectionPool m_connections;
    QFile m_file;
    FileStamp m_stamp;
    QByteArray m_uploadUrl;
    qint64 m_chunkBytes = 0;
    // Set by the body source when the file read short or changed under it.
    bool m_fileChangedWhileSending = false;
};

UploadResult Uploader::run() {
    if (Step opened = openFile(); !opened)
        return Failure(std::move(opened).error());
    if (Step started = start(); !started)
        return Failure(std::move(started).error());
    Expected<QJsonObject, UploadFailure> sent = sendChunks();
    if (!sent)
        return Failure(std::move(sent).error());
    return waitUntilProcessed(*sent);
}

Uploader::Step Uploader::openFile() {
    const QString name = quoted(m_request.Path);
    if (HasControlCharacter(QString::fromUtf8(m_keyHeader)))
        return Failure(failure(UploadFailureCause::KeyUnusable,
                               u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s));
    const QFileInfo info(m_request.Path);
    if (!info.exists() || !info.isFile())
        return Failure(failure(UploadFailureCause::FileUnusable,
                               u"Ошибка: файл %1 не найден."_s.arg(name)));
    if (info.size() == 0)
        return Failure(failure(UploadFailureCause::FileUnusable,
                               u"Ошибка: файл %1 пуст."_s.arg(name)));
    if (info.size() > kMaxUploadFileBytes)
        return Failure(failure(UploadFailureCause::FileUnusable,
                               u"Ошибка: файл %1 больше 2 ГБ, сервер такой не примет."_s.arg(name)));
    m_file.setFileName(m_request.Path);
    if (!m_file.open(QIODevice::ReadOnly))
        return Failure(failure(UploadFailureCause::FileUnusable,
                               u"Ошибка: не удалось открыть файл %1: %2"_s.arg(
                                   name, m_file.errorString())));
    m_stamp = FileStamp::of(m_request.Path);
    if (m_stamp.Size != info.size())
        return Failure(changed());
    return {};
}

HttpOptions Uploader::options(int readTimeoutMs, const std::atomic<bool>* cancel) const {
    HttpOptions result = HttpOptionsOf(m_endpoint);
    result.Connections = &m_connections;
    if (readTimeoutMs > 0)
        result.ReadTimeoutMs = readTimeoutMs;
    result.Headers.append(m_keyHeader);
    result.Cancel = cancel;
    return result;
}

bool Uploader::pauseUnlessCancelled(int milliseconds) const {
    constexpr std::chrono::milliseconds kStep(20);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!cancelled()) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kStep, end - now));
    }
    return false;
}

Uploader::Step Uploader::retryOrFail(const HttpResponse& response, int& retriesDone) const {
    if (response.Cancelled)
        return Failure(stopped());
    if (response.Refusal != HttpRefusal::None || response.ProxyAuthenticationRequired)
        return Failure(transfer(response));
    int delayMs = 0;
    if (response.Failure) {
        // A dropped connection is worth another go straight away, as long as tries last.
        if (retriesDone >= kMaxRetries)
            return Failure(transfer(response));
    } else {
        const RetryAdvice advice =
            AdviseRetry(response.StatusCode, response.Body, retriesDone,
                        RetryAfterMs(response.Header("Retry-After")));
        if (advice.What != RetryAdvice::Kind::RetryAfter)
            return Failure(transfer(response));
        delayMs = advice.DelayMs;
    }
    ++retriesDone;
    if (!pauseUnlessCancelled(delayMs))
        return Failure(stopped());
    return {};
}

Uploader::Step Uploader::start() {
    const QByteArray url = (baseWithoutSlash(m_endpoint.BaseUrl) + u"/upload/v1beta/files"_s).toUtf8();
    const QByteArray body = startBody(displayNameOf(m_request));
    HttpOptions startOptions = options(0, m_cancel);
    startOptions.Headers.append("X-Goog-Upload-Protocol: resumable");
    startOptions.Headers.append("X-Goog-Upload-Command: start");
    startOptions.Headers.append("X-Goog-Upload-Header-Content-Length: " +
                                QByteArray::number(m_stamp.Size));
    startOptions.Headers.append("X-Goog-Upload-Header-Content-Type: " +
                                m_request.MimeType.toUtf8());
    HttpResponse response;
    for (int retries = 0;;) {
        response = PostJson(url, body, startOptions);
        if (IsUsable(response))
            break;
        // Nothing is sent twice: a start that got no answer opened no session we know of.
        if (Step again = retryOrFail(response, retries); !again)
            return again;
    }
    const QByteArray uploadUrl = response.Header("X-Goog-Upload-URL");
    if (uploadUrl.isEmpty())
        return Failure(badAnswer());
    if (!IsSameOrigin(m_endpoint.BaseUrl, QString::fromUtf8(uploadUrl)))
        return Failure(failure(
            UploadFailureCause::ForeignUploadAddress,
            u"Ошибка: сервер указал для файла %1 адрес загрузки на другом сервере (%2), ключ "
            u"туда не отправлен и файл не загружен."_s.arg(
                quoted(m_request.Path), QUrl(QString::fromUtf8(uploadUrl)).host())));
    m_uploadUrl = uploadUrl;

    // Every chunk but the last must be a whole number of the service's granules.
    const qint64 granularity = response.Header("X-Goog-Upload-Chunk-Granularity").toLongLong();
    m_chunkBytes = std::max<qint64>(m_tuning.ChunkBytes, 1);
    if (granularity > 0)
        m_chunkBytes = std::max(granularity, m_chunkBytes / granularity * granularity);
    return {};
}

HttpResponse Uploader::sendChunk(qint64 offset, qint64 length, bool last) {
    HttpOptions chunkOptions = options(0, m_cancel);
    chunkOptions.Headers.append(last ? QByteArray("X-Goog-Upload-Command: upload, finalize")
                                     : QByteArray("X-Goog-Upload-Command: upload"));
    chunkOptions.Headers.append("X-Goog-Upload-Offset: " + QByteArray::number(offset));

    m_fileChangedWhileSending = !m_file.seek(offset);
    qint64 remaining = length;
    const HttpBodySource source{length, [&](char* data, qint64 capacity) -> qint64 {
        if (m_fileChangedWhileSending)
            return -1;
        const qint64 wanted = std::min(capacity, remaining);
        const qint64 got = m_file.read(data, wanted);
        remaining -= std::max<qint64>(got, 0);
        // A file that reads short is not the one that was announced. The service takes
        // the last chunk as the end, so the file is looked at once more before it goes.
        if (got != wanted || (remaining == 0 && !fileUnchanged())) {
            m_fileChangedWhileSending = true;
            return -1;
        }
        if (m_progress)
            m_progress(offset + length - remaining, m_stamp.Size);
        return got;
    }};
    return PostFrom(m_uploadUrl, source, chunkOptions);
}

Expected<QJsonObject, UploadFailure> Uploader::sendChunks() {
    qint64 offset = 0;
    int retries = 0;
    bool standingKnown = true;
    for (;;) {
        if (cancelled()) {
            sendCancel();
            return Failure(stopped());
        }
        if (!standingKnown) {
            Expected<Standing, UploadFailure> standing = query();
            if (!standing) {
                sendCancel();
                return Failure(std::move(standing).error());
            }
            if (standing->File)
                return *standing->File;
            offset = standing->Offset;
            standingKnown = true;
        }
        if (!fileUnchanged()) {
            sendCancel();
            return Failure(changed());
        }
        const qint64 length = std::min(m_chunkBytes, m_stamp.Size - offset);
        const bool last = offset + length == m_stamp.Size;
        const HttpResponse response = sendChunk(offset, length, last);
        if (m_fileChangedWhileSending) {
            sendCancel();
            return Failure(changed());
        }
        if (IsUsable(response)) {
            if (!last) {
                offset += length;
                retries = 0;
                continue;
            }
            return fileResource(response.Body);
        }
        if (Step again = retryOrFail(response, retries); !again) {
            sendCancel();
            return Failure(std::move(again).error());
        }
        // The service may have kept part of the chunk, or all of it: it says how much.
        standingKnown = false;
    }
}

Expected<Uploader::Standing, UploadFailure> Uploader::query() {
    HttpOptions queryOptions = options(0, m_cancel);
    queryOptions.Headers.append("X-Goog-Upload-Command: query");
    const HttpBodySource empty{0, [](char*, qint64) -> qint64 { return 0; }};
    for (int retries = 0;;) {
        const HttpResponse response = PostFrom(m_uploadUrl, empty, queryOptions);
        if (!IsUsable(response)) {
            if (Step again = retryOrFail(response, retries); !again)
                return Failure(std::move(again).error());
            continue;
        }
        const QByteArray status = response.Header("X-Goog-Upload-Status").toLower();
        if (status == "final") {
            Expected<QJsonObject, UploadFailure> file = fileResource(response.Body);
            if (!file)
                return Failure(std::move(file).error());
            return Standing{m_stamp.Size, *file};
        }
        bool numeric = false;
        const qint64 received = response.Header("X-Goog-Upload-Size-Received").toLongLong(&numeric);
        if (status != "active" || !numeric || received < 0 || received > m_stamp.Size)
            return Failure(badAnswer());
        // With every byte in but the upload not finalised, an empty last chunk ends it.
        return Standing{received, std::nullopt};
    }
}

void Uploader::sendCancel() {
    if (m_uploadUrl.isEmpty())
        return;
    // Best effort, and not stopped by the flag that is likely why it is sent.
    HttpOptions cancelOptions = options(m_tuning.CancelTimeoutMs, nullptr);
    cancelOptions.Headers.append("X-Goog-Upload-Command: cancel");
    const HttpBodySource empty{0, [](char*, qint64) -> qint64 { return 0; }};
    PostFrom(m_uploadUrl, empty, cancelOptions);
    m_uploadUrl.clear();
}

Expected<UploadedFile, UploadFailure> Uploader::waitUntilProcessed(QJsonObject resource) {
    const QString name = quoted(m_request.Path);
    UploadedFile file = *readFile(resource);
    if (!isFileName(file.Name))
        return Failure(badAnswer());
    const QByteArray url = (baseWithoutSlash(m_endpoint.BaseUrl) + u"/v1beta/"_s + file.Name).toUtf8();
    const HttpOptions getOptions = options(0, m_cancel);
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(m_tuning.ProcessingTimeoutMs);
    bool fresh = true;
    for (int retries = 0;;) {
        const QString state =
            fresh ? JsonValueAsString(resource.value("state"_L1)).value_or(QString()) : QString();
        if (fresh) {
            if (const std::optional<UploadedFile> now = readFile(resource))
                file = *now;
        }
        if (state == u"ACTIVE")
            return file;
        if (state == u"FAILED") {
            QString message = JsonValueAsString(resource.value("error"_L1).toObject().value(
                                                    "message"_L1))
                                  .value_or(QString());
            if (message.isEmpty())
                message = u"причина не названа"_s;
            return Failure(failure(UploadFailureCause::ProcessingFailed,
                                   u"Ошибка: сервер не смог обработать файл %1: %2"_s.arg(
                                       name, message)));
        }
        if (Clock::now() >= deadline)
            return Failure(failure(UploadFailureCause::ProcessingTimedOut,
                                   u"Ошибка: сервер слишком долго обрабатывает файл %1, "
                                   u"ожидание прекращено."_s.arg(name)));
        if (!pauseUnlessCancelled(m_tuning.PollIntervalMs))
            return Failure(stopped());
        const HttpResponse response = GetJson(url, getOptions);
        if (!IsUsable(response)) {
            if (Step again = retryOrFail(response, retries); !again)
                return Failure(std::move(again).error());
            fresh = false;
            continue;
        }
        retries = 0;
        const std::optional<QJsonValue> parsed = ParseJsonText(response.Body);
        if (!parsed || !parsed->isObject())
            return Failure(badAnswer());
        resource = parsed->toObject();
        fresh = true;
    }
}

} // namespace

bool IsSameOrigin(const QString& baseUrl, const QString& uploadUrl) {
    const QUrl base(baseUrl, QUrl::StrictMode);
    const QUrl upload(uploadUrl, QUrl::StrictMode);
    if (!base.isValid() || !upload.isValid() || upload.host().isEmpty())
        return false;
    const QString scheme = upload.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return false;
    const int defaultPort = scheme == u"https" ? 443 : 80;
    return scheme == base.scheme().toLower() &&
           upload.host().compare(base.host(), Qt::CaseInsensitive) == 0 &&
           upload.port(defaultPort) == base.port(defaultPort) && upload.userInfo().isEmpty();
}

UploadResult UploadFile(const ServiceEndpoint& endpoint, const QString& apiKey,
                        const UploadRequest& request, const std::atomic<bool>* cancel,
                        const UploadProgressCallback& progress, const UploadTuning& tuning) {
    Uploader uploader(endpoint, apiKey, request, cancel, progress, tuning);
    return uploader.run();
}
