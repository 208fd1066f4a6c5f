#include "FakeModelService.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

namespace {

constexpr int kSocketWaitMs = 5000;
constexpr auto kLongestHold = std::chrono::seconds(30);

std::string addressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return text;
}

// A plain socket stream for httplib that can put a scripted status line in place of the
// one httplib writes, which is always the standard one.
class RewritingSocketStream final : public httplib::Stream {
public:
    RewritingSocketStream(int socket, std::function<std::string()> statusLine)
        : m_socket(socket), m_statusLine(std::move(statusLine)) {}

    bool is_readable() const override { return waitFor(POLLIN); }
    bool is_writable() const override { return waitFor(POLLOUT); }

    ssize_t read(char* data, size_t size) override {
        if (!is_readable())
            return -1;
        return ::recv(m_socket, data, size, 0);
    }

    ssize_t write(const char* data, size_t size) override {
        if (m_firstWrite) {
            m_firstWrite = false;
            const std::string statusLine = m_statusLine();
            const std::string_view original(data, size);
            const size_t lineEnd = original.find("\r\n");
            if (!statusLine.empty() && lineEnd != std::string_view::npos) {
                const std::string rewritten = statusLine + std::string(original.substr(lineEnd));
                return sendAll(rewritten.data(), rewritten.size()) ? ssize_t(size) : -1;
            }
        }
        return ::send(m_socket, data, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        socketAddress(&::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        socketAddress(&::getsockname, ip, port);
    }
    socket_t socket() const override { return m_socket; }

private:
    bool waitFor(short events) const {
        pollfd descriptor{m_socket, events, 0};
        return ::poll(&descriptor, 1, kSocketWaitMs) > 0;
    }

    bool sendAll(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t sent = ::send(m_socket, data, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data += sent;
            size -= size_t(sent);
        }
        return true;
    }

    void socketAddress(int (*query)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (query(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        ip = addressText(address);
        port = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }

    int m_socket;
    std::function<std::string()> m_statusLine;
    bool m_firstWrite = true;
};

// Reads a request head up to its blank line; empty when the peer goes first.
std::string readHead(int socket) {
    std::string head;
    char byte = 0;
    while (head.size() < 64 * 1024 && head.find("\r\n\r\n") == std::string::npos) {
        pollfd descriptor{socket, POLLIN, 0};
        if (::poll(&descriptor, 1, kSocketWaitMs) <= 0 || ::recv(socket, &byte, 1, 0) != 1)
            return {};
        head += byte;
    }
    return head;
}

bool readExactly(int socket, void* data, size_t size) {
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        pollfd descriptor{socket, POLLIN, 0};
        if (::poll(&descriptor, 1, kSocketWaitMs) <= 0)
            return false;
        const ssize_t got = ::recv(socket, bytes, size, 0);
        if (got <= 0)
            return false;
        bytes += got;
        size -= size_t(got);
    }
    return true;
}

bool sendBytes(int socket, std::initializer_list<unsigned char> bytes) {
    const std::vector<unsigned char> data(bytes);
    return ::send(socket, data.data(), data.size(), MSG_NOSIGNAL) == ssize_t(data.size());
}

std::string readShortString(int socket) {
    unsigned char length = 0;
    std::string text;
    if (!readExactly(socket, &length, 1))
        return text;
    text.resize(length);
    if (!readExactly(socket, text.data(), length))
        text.clear();
    return text;
}

// The server side of a SOCKS5 greeting and CONNECT (RFC 1928), with user and password
// (RFC 1929) when the client offers them. The tunnel leads to this server itself.
std::optional<FakeRequest> socksHandshake(int socket) {
    unsigned char greeting[2] = {};
    if (!readExactly(socket, greeting, 2))
        return std::nullopt;
    std::string methods(greeting[1], '\0');
    if (!readExactly(socket, methods.data(), methods.size()))
        return std::nullopt;
    FakeRequest request{"SOCKS5", {}, {}, {}, 0};
    if (methods.find('\x02') != std::string::npos) {
        unsigned char version = 0;
        if (!sendBytes(socket, {5, 2}) || !readExactly(socket, &version, 1))
            return std::nullopt;
        request.headers.emplace("user", readShortString(socket));
        request.headers.emplace("password", readShortString(socket));
        if (!sendBytes(socket, {1, 0}))
            return std::nullopt;
    } else if (!sendBytes(socket, {5, 0})) {
        return std::nullopt;
    }
    unsigned char head[4] = {};
    if (!readExactly(socket, head, 4) || head[1] != 1)
        return std::nullopt;
    if (head[3] == 3) {
        request.target = readShortString(socket);
    } else {
        // An address the client resolved itself: kept as its bytes' count only.
        std::string address(head[3] == 1 ? 4 : 16, '\0');
        if (!readExactly(socket, address.data(), address.size()))
            return std::nullopt;
        request.target = "<address of " + std::to_string(address.size()) + " bytes>";
    }
    unsigned char port[2] = {};
    if (!readExactly(socket, port, 2))
        return std::nullopt;
    request.target += ":" + std::to_string(port[0] * 256 + port[1]);
    if (!sendBytes(socket, {5, 0, 0, 1, 0, 0, 0, 0, 0, 0}))
        return std::nullopt;
    return request;
}

// httplib's server with one request per connection through the rewriting stream. A
// CONNECT, which httplib does not route, is answered by `tunnel` from its head; a SOCKS5
// client is let through to this server and `record` learns where it asked to go.
class ScriptedServer final : public httplib::Server {
public:
    ScriptedServer(std::function<std::string()> statusLine,
                   std::function<std::string(const std::string&)> tunnel,
                   std::function<void(FakeRequest)> record)
        : m_statusLine(std::move(statusLine)), m_tunnel(std::move(tunnel)),
          m_record(std::move(record)) {}

private:
    bool process_and_close_socket(socket_t socket) override {
        bool served = false;
        pollfd descriptor{socket, POLLIN, 0};
        char first = 0;
        const bool readable =
            ::poll(&descriptor, 1, kSocketWaitMs) > 0 && ::recv(socket, &first, 1, MSG_PEEK) == 1;
        if (readable && first == 5) {
            // A SOCKS5 greeting is shorter than any HTTP request line.
            if (std::optional<FakeRequest> socks = socksHandshake(socket)) {
                m_record(std::move(*socks));
                served = serveHttp(socket);
            }
        } else if (char start[8] = {};
                   readable &&
                   ::recv(socket, start, sizeof start, MSG_PEEK | MSG_WAITALL) == sizeof start &&
                   std::string_view(start, sizeof start) == "CONNECT ") {
            const std::string answer = m_tunnel(readHead(socket));
            served = ::send(socket, answer.data(), answer.size(), MSG_NOSIGNAL) > 0;
        } else {
            served = serveHttp(socket);
        }
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
        return served;
    }

    bool serveHttp(socket_t socket) {
        RewritingSocketStream stream(socket, m_statusLine);
        bool connectionClosed = false;
        return process_request(stream, true, connectionClosed, nullptr);
    }

    std::function<std::string()> m_statusLine;
    std::function<std::string(const std::string&)> m_tunnel;
    std::function<void(FakeRequest)> m_record;
};

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

// An HTTPS server whose certificate nobody vouches for.
std::unique_ptr<httplib::Server> selfSignedServer() {
    const std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
    const std::unique_ptr<X509, X509Free> certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_sign(certificate.get(), key.get(), EVP_sha256());
    // The server takes its own references to both.
    return std::make_unique<httplib::SSLServer>(certificate.get(), key.get());
}

} // namespace

FakeReply FakeReply::json(std::string body, int status) {
    FakeReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

FakeReply FakeReply::jsonInPieces(std::vector<FakeChunk> chunks) {
    FakeReply reply;
    reply.chunks = std::move(chunks);
    return reply;
}

std::string ServerEvent(const std::string& json) {
    return "data: " + json + "\n\n";
}

std::string TextEvent(const std::string& text) {
    return ServerEvent(R"({"candidates":[{"content":{"parts":[{"text":")" + text +
                       R"("}],"role":"model"}}]})");
}

std::string LastTextEvent(const std::string& text, const std::string& finishReason) {
    return ServerEvent(R"({"candidates":[{"content":{"parts":[{"text":")" + text +
                       R"("}],"role":"model"},"finishReason":")" + finishReason + R"("}]})");
}

FakeReply FakeReply::events(std::vector<FakeChunk> chunks) {
    FakeReply reply;
    reply.contentType = "text/event-stream";
    reply.chunks = std::move(chunks);
    return reply;
}

FakeModelService::FakeModelService(Transport transport) {
    // Requests to the loopback service must not go to a proxy named in the environment.
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);

    if (transport == Transport::HttpsSelfSigned) {
        m_server = selfSignedServer();
        m_scheme = "https";
    } else {
        m_server = std::make_unique<ScriptedServer>(
            [this] { return currentReply().statusLine; },
            [this](const std::string& head) { return answerTunnel(head); },
            [this](FakeRequest request) {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(std::move(request));
            });
        m_scheme = "http";
    }
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        FakeRequest recorded{request.method, request.target, {}, {}, 0};
        for (const auto& [name, value] : request.headers)
            recorded.headers.emplace(name, value);
        const FakeReply reply = record(std::move(recorded));
        if (reply.holdBeforeHeaders && !waitForRelease())
            return;
        serve(reply, response);
    });
    m_server->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                                const httplib::ContentReader& content) {
        FakeRequest recorded{request.method, request.target, {}, {}, 0};
        for (const auto& [name, value] : request.headers)
            recorded.headers.emplace(name, value);
        const bool keepBody = [this] {
            std::lock_guard lock(m_mutex);
            return m_keepBodies;
        }();
        content([&](const char* data, size_t length) {
            recorded.bodySize += length;
            if (keepBody)
                recorded.body.append(data, length);
            return true;
        });
        const FakeReply reply = record(std::move(recorded));
        if (reply.holdBeforeHeaders && !waitForRelease())
            return;
        serve(reply, response);
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_listener = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeModelService::~FakeModelService() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_releasedOrStopping.notify_all();
    m_server->stop();
    m_listener.join();
}

void FakeModelService::serve(const FakeReply& reply, httplib::Response& response) {
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name, value);
    if (reply.claimedLength > 0) {
        auto body = std::make_shared<std::string>(reply.body);
        response.set_content_provider(reply.claimedLength, reply.contentType,
                                      [body](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset == 0)
                                              sink.write(body->data(), body->size());
                                          // The rest never comes: the connection ends short of
                                          // the length.
                                          return false;
                                      });
        return;
    }
    if (reply.chunks.empty()) {
        response.set_content(reply.body, reply.contentType);
        return;
    }
    struct Progress {
        size_t chunk = 0;
        size_t sent = 0; // times the current chunk went out
    };
    auto chunks = std::make_shared<std::vector<FakeChunk>>(reply.chunks);
    auto progress = std::make_shared<Progress>();
    response.set_chunked_content_provider(
        reply.contentType, [this, chunks, progress](size_t, httplib::DataSink& sink) {
            const FakeChunk& chunk = (*chunks)[progress->chunk];
            if (progress->sent == 0) {
                std::this_thread::sleep_for(chunk.delay);
                if (chunk.afterRelease && !waitForRelease())
                    return false;
                if (chunk.dropConnection)
                    return false;
            }
            if (!sink.write(chunk.bytes.data(), chunk.bytes.size()))
                return false;
            if (++progress->sent == chunk.repeat) {
                progress->sent = 0;
                ++progress->chunk;
            }
            if (progress->chunk == chunks->size())
                sink.done();
            return true;
        });
}

std::string FakeModelService::answerTunnel(const std::string& head) {
    const size_t methodEnd = head.find(' ');
    const size_t targetEnd = head.find(' ', methodEnd + 1);
    FakeRequest request{
        "CONNECT", head.substr(methodEnd + 1, targetEnd - methodEnd - 1), {}, {}, 0};
    const FakeReply reply = record(std::move(request));
    std::string answer = reply.statusLine.empty()
                             ? "HTTP/1.1 " + std::to_string(reply.status) + " Scripted"
                             : reply.statusLine;
    answer += "\r\n";
    for (const auto& [name, value] : reply.headers)
        answer += name + ": " + value + "\r\n";
    answer += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n" + reply.body;
    return answer;
}

std::string FakeModelService::baseUrl() const {
    return m_scheme + "://127.0.0.1:" + std::to_string(m_port);
}

void FakeModelService::reply(FakeReply reply) {
    std::lock_guard lock(m_mutex);
    m_reply = std::move(reply);
}

void FakeModelService::respond(std::function<FakeReply(const FakeRequest&)> responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void FakeModelService::replies(std::vector<FakeReply> replies) {
    std::lock_guard lock(m_mutex);
    m_nextReplies = std::move(replies);
    std::reverse(m_nextReplies.begin(), m_nextReplies.end());
}

void FakeModelService::release() {
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
    }
    m_releasedOrStopping.notify_all();
}

void FakeModelService::discardBodies() {
    std::lock_guard lock(m_mutex);
    m_keepBodies = false;
}

std::vector<FakeRequest> FakeModelService::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

FakeReply FakeModelService::record(FakeRequest request) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(request));
    if (m_responder)
        return m_responder(m_requests.back());
    if (!m_nextReplies.empty()) {
        m_reply = std::move(m_nextReplies.back());
        m_nextReplies.pop_back();
    }
    return m_reply;
}

bool FakeModelService::waitForRelease() {
    std::unique_lock lock(m_mutex);
    m_releasedOrStopping.wait_for(lock, kLongestHold, [this] { return m_released || m_stopping; });
    return m_released && !m_stopping;
}

FakeReply FakeModelService::currentReply() const {
    std::lock_guard lock(m_mutex);
    return m_reply;
}
