#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Response;
} // namespace httplib

// One piece of a body sent in chunks. It may wait a while first, or wait until the test
// calls release() (a stall when the test never does).
struct FakeChunk {
    std::string bytes;
    std::chrono::milliseconds delay{0};
    bool afterRelease = false;
    // The connection is closed here, before these bytes, as if it dropped.
    bool dropConnection = false;
    // Sent this many times over, for bodies too big to hold.
    size_t repeat = 1;
};

// The scripted answer to every request that arrives.
struct FakeReply {
    int status = 200;
    // The whole status line, e.g. "HTTP/1.1 400 Not Today", in place of the standard one.
    std::string statusLine;
    std::string contentType = "application/json";
    // A body sent at once; ignored when chunks are given.
    std::string body;
    std::vector<FakeChunk> chunks;
    // Sends nothing, not even the status line, until the test calls release().
    bool holdBeforeHeaders = false;
    // Response headers beside the standard ones.
    std::vector<std::pair<std::string, std::string>> headers;
    // When set, announced as the Content-Length; only `body` follows before the close.
    size_t claimedLength = 0;

    static FakeReply json(std::string body, int status = 200);
    // A JSON body sent in the given pieces.
    static FakeReply jsonInPieces(std::vector<FakeChunk> chunks);
    // A server-sent event stream, one chunk per given piece.
    static FakeReply events(std::vector<FakeChunk> chunks);
};

// One server-sent event carrying json.
std::string ServerEvent(const std::string& json);
// An event of a streamed answer with one piece of its text, put into the JSON as it stands.
std::string TextEvent(const std::string& text);
// The last event of a streamed answer: its last piece of text and how the model stopped.
std::string LastTextEvent(const std::string& text, const std::string& finishReason = "STOP");

struct FakeRequest {
    std::string method;
    // Path and query exactly as the request line gave them.
    std::string target;
    std::multimap<std::string, std::string> headers;
    std::string body;
    size_t bodySize = 0;
};

// A real HTTP (or HTTPS, with a fresh self-signed certificate) server on 127.0.0.1 that
// answers every request with the scripted reply and records what it was sent. Over HTTP
// it also serves as a proxy would be asked: a request for another host comes in absolute
// form ("GET http://host/path"), which the recorded target keeps, and a CONNECT gets the
// scripted status line, headers and body, and then the connection ends. A SOCKS5 client
// is let through to the service itself, recorded as a request "SOCKS5" whose target is
// the host and port it asked for (and headers "user" and "password" when it signed in).
class FakeModelService {
public:
    enum class Transport { Http, HttpsSelfSigned };

    explicit FakeModelService(Transport transport = Transport::Http);
    ~FakeModelService();

    FakeModelService(const FakeModelService&) = delete;
    FakeModelService& operator=(const FakeModelService&) = delete;

    // "http://127.0.0.1:<port>" (or https).
    std::string baseUrl() const;

    void reply(FakeReply reply);
    // Replies chosen per request, e.g. by its target; takes the place of reply(). It runs
    // with the service's lock held, so it must not call the service.
    void respond(std::function<FakeReply(const FakeRequest&)> responder);
    // One reply per request, in order; the last one answers every request after them.
    void replies(std::vector<FakeReply> replies);
    // Lets every held reply and chunk go, now and from now on.
    void release();
    // Keeps only the size of request bodies, for uploads too big to hold twice.
    void discardBodies();

    std::vector<FakeRequest> requests() const;

private:
    // Records the request and gives the reply it is to get.
    FakeReply record(FakeRequest request);
    // Sends the reply to a recorded GET or POST.
    void serve(const FakeReply& reply, httplib::Response& response);
    // The whole answer to a CONNECT whose head (request line and headers) was read.
    std::string answerTunnel(const std::string& head);
    // Waits for release() or shutdown; false when the server is shutting down.
    bool waitForRelease();
    FakeReply currentReply() const;

    std::unique_ptr<httplib::Server> m_server;
    std::string m_scheme;
    int m_port = 0;
    std::thread m_listener;

    mutable std::mutex m_mutex;
    std::condition_variable m_releasedOrStopping;
    FakeReply m_reply;
    std::function<FakeReply(const FakeRequest&)> m_responder;
    std::vector<FakeReply> m_nextReplies;
    std::vector<FakeRequest> m_requests;
    bool m_keepBodies = true;
    bool m_released = false;
    bool m_stopping = false;
};
