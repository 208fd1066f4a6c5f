#pragma once

#include "service/ServiceSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

// A request that ended without a complete answer: the connection, TLS, the time-out...
struct HttpFailure {
    QString Kind;
    QString Message;
    // The answer had begun (or the server closed the connection unasked) when it broke.
    bool ConnectionLost = false;
};

// The largest answer body taken: anything longer is refused, not read.
constexpr qint64 kMaxResponseBodyBytes = 128 * 1024 * 1024;

// Why an answer was refused before it was read whole.
enum class HttpRefusal { None, BodyTooLarge, HeadersTooLarge };

struct HttpResponse {
    std::optional<HttpFailure> Failure;
    HttpRefusal Refusal = HttpRefusal::None;
    // The caller's cancel flag stopped the transfer.
    bool Cancelled = false;
    // The server itself answered with a status line (not a proxy asking for credentials),
    // so the request reached it, whatever happened next.
    bool ServerAnswered = false;
    int StatusCode = 0;
    // The final status line exactly as received, without its line end.
    QByteArray StatusLine;
    // The whole body, unless a success sink took it.
    QByteArray Body;
    // The final answer's header lines as "name", "value", in order, values trimmed.
    QList<std::pair<QByteArray, QByteArray>> Headers;

    // A proxy asked for credentials it did not get or did not accept (407), answering the
    // request itself or the tunnel to an https:// address.
    bool ProxyAuthenticationRequired = false;

    bool IsSuccess() const { return StatusCode >= 200 && StatusCode < 300; }
    // The value of the first header of that name, compared without regard to letter case;
    // empty when absent.
    QByteArray Header(QByteArrayView name) const;
};

// Connections kept open for the next request that uses the same pool, one request after
// another on one thread: the chunks of an upload go over one connection instead of each
// opening its own and growing its window again. Requests without a pool share nothing.
class HttpConnectionPool {
public:
    HttpConnectionPool();
    ~HttpConnectionPool();
    HttpConnectionPool(const HttpConnectionPool&) = delete;
    HttpConnectionPool& operator=(const HttpConnectionPool&) = delete;

    // libcurl's share handle.
    void* Handle() const { return m_share; }

private:
    void* m_share;
};

// How one transfer goes besides its address and body.
struct HttpOptions {
    // The transfer fails when nothing moves on the connection for this long.
    int ReadTimeoutMs = kDefaultTimeoutSeconds * 1000;
    ProxySettings Proxy;
    // Request headers beside the standard ones, each "Name: value".
    QList<QByteArray> Headers;
    // When it turns true the transfer is abandoned at once, as Cancelled.
    const std::atomic<bool>* Cancel = nullptr;
    // Where the connection comes from and goes back to; a fresh one when null.
    HttpConnectionPool* Connections = nullptr;
};

// Takes the body of a successful answer piece by piece, as it arrives.
using HttpBodySink = std::function<void(QByteArrayView)>;

// Posts a JSON body over HTTP/1.1 on a connection of its own, with certificate
// verification on and the proxy of the options. Redirects are not followed, so the key
// never travels to another host. The request fails when nothing moves on the connection
// for the options' read time-out. A body over kMaxResponseBodyBytes, announced or
// counted, and oversized headers stop the transfer as a refusal.
HttpResponse PostJson(const QByteArray& url, const QByteArray& body, const HttpOptions& options,
                      const HttpBodySink& successSink = {});

// A request body handed over piece by piece, so a large one is never held whole: Size
// bytes in all, Read filling up to `capacity` bytes at `data` and giving how many it wrote,
// or -1 to end the transfer at once (the transfer then fails).
struct HttpBodySource {
    qint64 Size = 0;
    std::function<qint64(char* data, qint64 capacity)> Read;
};

// A POST whose body comes from the source, with no Content-Type unless the options' headers
// name one. Everything else as for PostJson.
HttpResponse PostFrom(const QByteArray& url, const HttpBodySource& body,
                      const HttpOptions& options);

// The same for a GET without a body.
HttpResponse GetJson(const QByteArray& url, const HttpOptions& options);
