#include "service/HttpPost.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Below libcurl's own bound on all headers together, so the refusal is ours to name.
constexpr qsizetype kMaxHeaderBytes = 256 * 1024;

void initialiseCurlOnce() {
    // curl_global_init is not safe to race; a function-local static runs it once.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    Q_UNUSED(initialised);
}

struct EasyHandleFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct MultiHandleFree {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};

struct HeaderListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using EasyHandle = std::unique_ptr<CURL, EasyHandleFree>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;
using MultiHandle = std::unique_ptr<CURLM, MultiHandleFree>;

// How often a waiting transfer looks at Stop and at its read time-out. libcurl's own
// loop would look only once a second while the connection is silent.
constexpr int kPollMs = 50;

QByteArrayView withoutLineEnd(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.chop(1);
    return line;
}

// State of one transfer, reached from libcurl's callbacks.
class Transfer {
public:
    Transfer(CURL* handle, int readTimeoutMs, const HttpBodySink& successSink,
             const std::atomic<bool>* cancel, const HttpBodySource* source)
        : m_handle(handle), m_readTimeout(readTimeoutMs), m_successSink(successSink),
          m_cancel(cancel), m_source(source), m_lastActivity(Clock::now()) {}

    bool cancelled() const { return m_cancel && m_cancel->load(); }

    HttpResponse response;
    bool timedOut = false;
    // Whether the blank line after the last header block has come.
    bool headersEnded = false;

    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        return static_cast<Transfer*>(self)->header(QByteArrayView(data, qsizetype(size * count)));
    }

    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        return static_cast<Transfer*>(self)->bodyPiece(
            QByteArrayView(data, qsizetype(size * count)));
    }

    static size_t onRead(char* data, size_t size, size_t count, void* self) {
        return static_cast<Transfer*>(self)->readBody(data, size * count);
    }

    static int onProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                          curl_off_t sent) {
        return static_cast<Transfer*>(self)->progress(received, sent);
    }

private:
    size_t header(QByteArrayView line) {
        m_lastActivity = Clock::now();
        m_headerBytes += line.size();
        if (m_headerBytes > kMaxHeaderBytes) {
            response.Refusal = HttpRefusal::HeadersTooLarge;
            return 0;
        }
        // Every status line replaces the last: an interim 100 or a proxy's CONNECT answer
        // comes before the one that counts.
        if (line.startsWith("HTTP/")) {
            response.StatusLine = withoutLineEnd(line).toByteArray();
            response.Headers.clear();
            headersEnded = false;
        } else if (withoutLineEnd(line).isEmpty()) {
            headersEnded = true;
        } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
            response.Headers.append({line.first(colon).trimmed().toByteArray(),
                                     line.sliced(colon + 1).trimmed().toByteArray()});
        }
        return size_t(line.size());
    }

    size_t readBody(char* data, size_t capacity) {
        if (cancelled())
            return CURL_READFUNC_ABORT;
        const qint64 got = m_source->Read(data, qint64(capacity));
        return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
    }

    // Returning less than the piece stops the transfer.
    size_t bodyPiece(QByteArrayView piece) {
        if (cancelled())
            return 0;
        m_lastActivity = Clock::now();
        if (piece.size() > kMaxResponseBodyBytes - m_bodyBytes) {
            response.Refusal = HttpRefusal::BodyTooLarge;
            return 0;
        }
        m_bodyBytes += piece.size();
        long code = 0;
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &code);
        if (m_successSink && code >= 200 && code < 300)
            m_successSink(piece);
        else
            appendToBody(piece);
        return size_t(piece.size());
    }

    // Qt's append moves a full buffer into a fresh block, holding the body twice for a
    // moment; reserving reallocates in place where the allocator can. A body of announced
    // length grows in one step.
    void appendToBody(QByteArrayView piece) {
        QByteArray& body = response.Body;
        const qint64 needed = body.size() + piece.size();
        if (needed > body.capacity()) {
            curl_off_t announced = -1;
            curl_easy_getinfo(m_handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            const qint64 grown = std::max({needed, 2 * qint64(body.capacity()), qint64(announced)});
            body.reserve(qsizetype(std::min(grown, kMaxResponseBodyBytes)));
        }
        body.append(piece);
    }

public:
    // Whether the transfer is to end now: cancelled, or silent for longer than the read
    // time-out. Asked by the polling loop as well as by libcurl.
    bool shouldEnd() {
        if (cancelled())
            return true;
        if (Clock::now() - m_lastActivity < m_readTimeout)
            return false;
        timedOut = true;
        return true;
    }

private:
    // Bytes moving either way count as activity: a large upload is not silence.
    int progress(curl_off_t received, curl_off_t sent) {
        if (received != m_received || sent != m_sent) {
            m_received = received;
            m_sent = sent;
            m_lastActivity = Clock::now();
        }
        return shouldEnd() ? 1 : 0;
    }

    CURL* m_handle;
    std::chrono::milliseconds m_readTimeout;
    const HttpBodySink& m_successSink;
    const std::atomic<bool>* m_cancel;
    const HttpBodySource* m_source;
    Clock::time_point m_lastActivity;
    qsizetype m_headerBytes = 0;
    qint64 m_bodyBytes = 0;
    curl_off_t m_received = 0;
    curl_off_t m_sent = 0;
};

// Runs the transfer to its end, or until it should end early; then the result is
// CURLE_ABORTED_BY_CALLBACK, as when the progress callback ends it.
CURLcode performPolling(CURL* h, Transfer& transfer) {
    const MultiHandle multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), h) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (int running = 1;;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        if (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
            message && message->msg == CURLMSG_DONE) {
            result = message->data.result;
            break;
        }
        if (running == 0 || transfer.shouldEnd())
            break;
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), h);
    return result;
}

QString failureKind(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("NameResolutionError");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("ConnectionError");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("TimeoutError");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return QStringLiteral("TlsError");
    default:
        return QStringLiteral("TransferError");
    }
}

HttpFailure failureOf(CURLcode code, const char* detail) {
    const QString message =
        detail[0] != '\0' ? QString::fromUtf8(detail) : QString::fromUtf8(curl_easy_strerror(code));
    return {failureKind(code), message};
}

// The proxy the user chose. libcurl reads the usual variables on its own, so the
// environment's proxy needs nothing; an empty proxy turns them off.
void applyProxy(CURL* h, const ProxySettings& proxy) {
    switch (proxy.Mode) {
    case ProxyMode::Environment:
        return;
    case ProxyMode::None:
        curl_easy_setopt(h, CURLOPT_PROXY, "");
        return;
    case ProxyMode::Manual:
        // libcurl copies the strings it is given.
        curl_easy_setopt(h, CURLOPT_PROXY, proxy.Address.toUtf8().constData());
        // The proxy the user named is for every host, whatever no_proxy says.
        curl_easy_setopt(h, CURLOPT_NOPROXY, "");
        if (!proxy.User.isEmpty() || !proxy.Password.isEmpty()) {
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxy.User.toUtf8().constData());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxy.Password.toUtf8().constData());
            curl_easy_setopt(h, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        }
        return;
    }
}

// A POST's body: JSON in memory, or bytes from a source. Neither makes a GET.
struct OutgoingBody {
    const QByteArray* Json = nullptr;
    const HttpBodySource* Source = nullptr;
};

bool namesContentType(const QList<QByteArray>& headers) {
    return std::any_of(headers.cbegin(), headers.cend(), [](const QByteArray& header) {
        return header.startsWith("Content-Type:") || header.startsWith("content-type:");
    });
}

// Big enough that a fast connection is not held up by the calls for the next piece.
constexpr long kUploadBufferBytes = 512 * 1024;

// Sends one request: a POST when there is a body, otherwise a GET.
HttpResponse perform(const QByteArray& url, OutgoingBody body, const HttpOptions& options,
                     const HttpBodySink& successSink) {
    initialiseCurlOnce();
    const EasyHandle handle(curl_easy_init());
    if (!handle) {
        HttpResponse response;
        response.Failure = HttpFailure{QStringLiteral("TransferError"),
                                       QStringLiteral("could not create an HTTP client")};
        return response;
    }

    HeaderList headers;
    if (body.Json)
        headers.reset(curl_slist_append(headers.release(), "Content-Type: application/json"));
    // libcurl would call a posted body a form otherwise.
    else if (body.Source && !namesContentType(options.Headers))
        headers.reset(curl_slist_append(headers.release(), "Content-Type:"));
    // An empty "Expect:" keeps libcurl from adding "Expect: 100-continue" to large bodies.
    headers.reset(curl_slist_append(headers.release(), "Expect:"));
    for (const QByteArray& header : options.Headers)
        headers.reset(curl_slist_append(headers.release(), header.constData()));

    Transfer transfer(handle.get(), options.ReadTimeoutMs, successSink, options.Cancel,
                      body.Source);
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    applyProxy(h, options.Proxy);
    if (options.Connections)
        curl_easy_setopt(h, CURLOPT_SHARE, options.Connections->Handle());
    if (body.Json) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        // The body is not copied: it outlives the transfer.
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.Json->constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.Json->size()));
    } else if (body.Source) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.Source->Size));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &Transfer::onRead);
        curl_easy_setopt(h, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    // An announced length over the limit is refused before any of the body is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxResponseBodyBytes));

    const CURLcode result = performPolling(h, transfer);
    HttpResponse response = std::move(transfer.response);
    long tunnelCode = 0;
    curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &tunnelCode);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    response.ProxyAuthenticationRequired = tunnelCode == 407 || code == 407;
    response.ServerAnswered = code > 0 && !response.ProxyAuthenticationRequired;
    if (result == CURLE_FILESIZE_EXCEEDED)
        response.Refusal = HttpRefusal::BodyTooLarge;
    // libcurl reports a single header line over its own limit as out of memory.
    if (result == CURLE_OUT_OF_MEMORY && !transfer.headersEnded)
        response.Refusal = HttpRefusal::HeadersTooLarge;
    if (transfer.cancelled()) {
        response.Cancelled = true;
        response.Body = QByteArray();
    } else if (response.Refusal != HttpRefusal::None) {
        // What came before the refusal is no answer; let it go at once.
        response.Body = QByteArray();
    } else if (transfer.timedOut) {
        response.Failure = HttpFailure{
            QStringLiteral("TimeoutError"),
            QStringLiteral("no data from the server for %1 ms").arg(options.ReadTimeoutMs)};
    } else if (result != CURLE_OK) {
        response.Failure = failureOf(result, errorText);
        response.Failure->ConnectionLost = code > 0 || result == CURLE_PARTIAL_FILE ||
                                           result == CURLE_RECV_ERROR ||
                                           result == CURLE_GOT_NOTHING;
    } else {
        response.StatusCode = int(code);
    }
    return response;
}

} // namespace

HttpConnectionPool::HttpConnectionPool() {
    initialiseCurlOnce();
    CURLSH* share = curl_share_init();
    if (share)
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    m_share = share;
}

HttpConnectionPool::~HttpConnectionPool() {
    // Every handle that used it is gone by now: transfers clean theirs up as they end.
    if (m_share)
        curl_share_cleanup(static_cast<CURLSH*>(m_share));
}

QByteArray HttpResponse::Header(QByteArrayView name) const {
    for (const auto& [headerName, value] : Headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpResponse PostJson(const QByteArray& url, const QByteArray& body, const HttpOptions& options,
                      const HttpBodySink& successSink) {
    return perform(url, {.Json = &body}, options, successSink);
}

HttpResponse PostFrom(const QByteArray& url, const HttpBodySource& body,
                      const HttpOptions& options) {
    return perform(url, {.Source = &body}, options, {});
}

HttpResponse GetJson(const QByteArray& url, const HttpOptions& options) {
    return perform(url, {}, options, {});
}
