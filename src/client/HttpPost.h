#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

// A request that ended without a complete answer: the connection, TLS, the time-out...
struct HttpFailure {
    QString Kind;
    QString Message;
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
    int StatusCode = 0;
    // The final status line exactly as received, without its line end.
    QByteArray StatusLine;
    // The whole body, unless a success sink took it.
    QByteArray Body;

    bool IsSuccess() const { return StatusCode >= 200 && StatusCode < 300; }
};

// Takes the body of a successful answer piece by piece, as it arrives.
using HttpBodySink = std::function<void(QByteArrayView)>;

// What a request carries beside its body, and how its caller stops it.
struct HttpExtras {
    // Whole header lines, "Name: value".
    QList<QByteArray> Headers;
    // When it turns true the transfer is abandoned at once, as Cancelled.
    const std::atomic<bool>* Cancel = nullptr;
};

// Posts a JSON body over HTTP/1.1 on a connection of its own, with certificate
// verification on and the usual proxy variables honoured. Redirects are not followed,
// so the key in a header never travels to another host. The request fails when
// nothing moves on the connection for readTimeoutMs. A body over kMaxResponseBodyBytes,
// announced or counted, and oversized headers stop the transfer as a refusal.
HttpResponse PostJson(const QByteArray& url, const QByteArray& body, int readTimeoutMs,
                      const HttpBodySink& successSink = {}, const HttpExtras& extras = {});
