#include "FakeUploadService.h"

#include <httplib.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr int kSocketWaitMs = 5000;
const std::string kFileId = "up-1";

// The connection the current request came on, for cutting it mid-body: httplib serves a
// connection's requests on one thread.
thread_local int t_socket = -1;

class PlainSocketStream final : public httplib::Stream {
public:
    explicit PlainSocketStream(int socket) : m_socket(socket) {}

    bool is_readable() const override { return waitFor(POLLIN); }
    bool is_writable() const override { return waitFor(POLLOUT); }
    ssize_t read(char* data, size_t size) override {
        return is_readable() ? ::recv(m_socket, data, size, 0) : -1;
    }
    ssize_t write(const char* data, size_t size) override {
        return ::send(m_socket, data, size, MSG_NOSIGNAL);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return m_socket; }

private:
    bool waitFor(short events) const {
        pollfd descriptor{m_socket, events, 0};
        return ::poll(&descriptor, 1, kSocketWaitMs) > 0;
    }
    int m_socket;
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string header(const std::multimap<std::string, std::string>& headers,
                   const std::string& name) {
    const auto found = headers.find(lower(name));
    return found == headers.end() ? std::string() : found->second;
}

} // namespace

// One request per connection, on a stream whose socket the handlers can cut.
class FakeUploadService::Server final : public httplib::Server {
    bool process_and_close_socket(socket_t socket) override {
        t_socket = socket;
        // An answer's head and body go in two writes; without this the body waits for the
        // client's delayed acknowledgement of the head, tens of milliseconds a chunk.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        PlainSocketStream stream(socket);
        bool closed = false;
        const bool served = process_request(stream, true, closed, nullptr);
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
        t_socket = -1;
        return served;
    }
};

FakeUploadService::FakeUploadService() : m_server(std::make_unique<Server>()) {
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    const auto headersOf = [](const httplib::Request& request) {
        std::multimap<std::string, std::string> headers;
        for (const auto& [name, value] : request.headers)
            headers.emplace(lower(name), value);
        return headers;
    };
    const auto answer = [](httplib::Response& response, int status,
                           const std::vector<std::pair<std::string, std::string>>& headers,
                           const std::string& body) {
        response.status = status;
        for (const auto& [name, value] : headers)
            response.set_header(name, value);
        response.set_content(body, "application/json");
    };
    m_server->Post(".*", [=, this](const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader& content) {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        handle("POST", request.target, headersOf(request),
               [&](const std::function<bool(const char*, size_t)>& receiver) {
                   return content([&](const char* data, size_t length) {
                       return receiver(data, length);
                   });
               },
               status, headers, body);
        answer(response, status, headers, body);
    });
    m_server->Get(".*", [=, this](const httplib::Request& request, httplib::Response& response) {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        handle("GET", request.target, headersOf(request), {}, status, headers, body);
        answer(response, status, headers, body);
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_listener = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeUploadService::~FakeUploadService() {
    m_server->stop();
    m_listener.join();
}

std::string FakeUploadService::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void FakeUploadService::setGranularity(int64_t bytes) {
    std::lock_guard lock(m_mutex);
    m_granularity = bytes;
}

void FakeUploadService::setUploadUrl(std::string url) {
    std::lock_guard lock(m_mutex);
    m_uploadUrl = std::move(url);
}

void FakeUploadService::addFault(ChunkFault fault) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back(std::move(fault));
}

void FakeUploadService::setStates(std::vector<std::string> states, std::string errorMessage) {
    std::lock_guard lock(m_mutex);
    m_states = std::move(states);
    m_errorMessage = std::move(errorMessage);
}

void FakeUploadService::onChunk(std::function<void(int)> hook) {
    std::lock_guard lock(m_mutex);
    m_onChunk = std::move(hook);
}

void FakeUploadService::discardContent() {
    std::lock_guard lock(m_mutex);
    m_keepContent = false;
}

std::vector<FakeUploadService::Request> FakeUploadService::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string FakeUploadService::content() const {
    std::lock_guard lock(m_mutex);
    return m_content;
}

int64_t FakeUploadService::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

int64_t FakeUploadService::uploadBytesReceived() const {
    std::lock_guard lock(m_mutex);
    return m_uploadBytes;
}

std::string FakeUploadService::fileJson(const std::string& state) const {
    std::string json = R"({"name":"files/)" + kFileId + R"(","displayName":"x","mimeType":")" +
                       m_mimeType + R"(","sizeBytes":")" + std::to_string(m_received) +
                       R"(","createTime":"2025-03-01T10:00:00.000000Z",)" +
                       R"("expirationTime":"2025-03-03T10:00:00.123456Z","uri":")" + baseUrl() +
                       "/v1beta/files/" + kFileId + R"(","state":")" + state + '"';
    if (state == "FAILED")
        json += R"(,"error":{"code":400,"message":")" + m_errorMessage + R"("})";
    return json + "}";
}

void FakeUploadService::handle(
    const std::string& method, const std::string& target,
    const std::multimap<std::string, std::string>& headers,
    const std::function<bool(const std::function<bool(const char*, size_t)>&)>& read,
    int& status, std::vector<std::pair<std::string, std::string>>& outHeaders,
    std::string& outBody) {
    Request request{method, target, header(headers, "X-Goog-Upload-Command"), -1,
                    header(headers, "x-goog-api-key"), headers, 0, {}};
    if (const std::string offset = header(headers, "X-Goog-Upload-Offset"); !offset.empty())
        request.offset = std::stoll(offset);
    const auto fail = [&](int code) {
        status = code;
        outBody = R"({"error":{"code":)" + std::to_string(code) + R"(,"message":"refused"}})";
    };

    if (method == "GET") {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (target != "/v1beta/files/" + kFileId || m_sessionStatus != "final")
            return fail(404);
        m_nextState = std::min(m_nextState + 1, m_states.size() - 1);
        outBody = fileJson(m_states[m_nextState]);
        return;
    }

    if (request.command == "start") {
        read([&](const char* data, size_t length) {
            request.body.append(data, length);
            return true;
        });
        std::lock_guard lock(m_mutex);
        request.bodySize = int64_t(request.body.size());
        m_requests.push_back(request);
        if (target != "/upload/v1beta/files")
            return fail(404);
        m_sessionStatus = "active";
        m_declaredLength = std::stoll(header(headers, "X-Goog-Upload-Header-Content-Length"));
        m_mimeType = header(headers, "X-Goog-Upload-Header-Content-Type");
        const std::string url = m_uploadUrl.empty()
                                    ? baseUrl() + "/upload/v1beta/files?upload_id=s1&upload_protocol=resumable"
                                    : m_uploadUrl;
        outHeaders = {{"X-Goog-Upload-URL", url}, {"X-Goog-Upload-Status", "active"}};
        if (m_granularity > 0)
            outHeaders.emplace_back("X-Goog-Upload-Chunk-Granularity",
                                    std::to_string(m_granularity));
        return;
    }

    const bool upload = request.command == "upload" || request.command == "upload, finalize";
    ChunkFault fault;
    int chunk = -1;
    bool keep = true;
    int64_t acceptedOffset = 0;
    {
        std::lock_guard lock(m_mutex);
        if (upload) {
            chunk = m_chunks++;
            for (const ChunkFault& scripted : m_faults)
                if (scripted.chunk == chunk)
                    fault = scripted;
        }
        keep = m_keepContent;
        acceptedOffset = m_received;
    }
    // The body is read outside the lock: it may be gigabytes.
    std::string bytes;
    int64_t size = 0;
    bool cut = false;
    read([&](const char* data, size_t length) {
        if (fault.holdAfter >= 0 && size >= fault.holdAfter) {
            {
                std::lock_guard lock(m_mutex);
                request.bodySize = size;
                m_requests.push_back(request);
                m_uploadBytes += size;
            }
            cut = true;
            // Bytes still come and are thrown away: the client's end of the connection
            // reaches here only behind them.
            char sink[64 * 1024];
            pollfd descriptor{t_socket, POLLIN, 0};
            while (::poll(&descriptor, 1, 10 * kSocketWaitMs) > 0 &&
                   ::recv(t_socket, sink, sizeof sink, 0) > 0) {
            }
            return false;
        }
        if (fault.dropAfter >= 0 && size + int64_t(length) >= fault.dropAfter) {
            length = size_t(fault.dropAfter - size);
            cut = true;
        }
        size += int64_t(length);
        if (keep && upload)
            bytes.append(data, length);
        if (cut) {
            // What came is kept before the client can learn of the cut and ask.
            std::lock_guard lock(m_mutex);
            if (request.offset == m_received) {
                m_received += size;
                if (keep)
                    m_content += bytes;
            }
            request.bodySize = size;
            m_requests.push_back(request);
            m_uploadBytes += size;
            ::shutdown(t_socket, SHUT_RDWR);
        }
        return !cut;
    });
    std::function<void(int)> hook;
    {
        std::lock_guard lock(m_mutex);
        if (!cut) {
            request.bodySize = size;
            m_requests.push_back(request);
            if (upload)
                m_uploadBytes += size;
        }
        hook = m_onChunk;
    }
    if (upload && hook)
        hook(chunk);

    std::lock_guard lock(m_mutex);
    const auto standing = [&] {
        outHeaders = {{"X-Goog-Upload-Status", m_sessionStatus},
                      {"X-Goog-Upload-Size-Received", std::to_string(m_received)}};
    };
    if (target.rfind("/upload/v1beta/files?upload_id=s1", 0) != 0 || m_sessionStatus.empty())
        return fail(404);
    if (request.command == "query") {
        standing();
        if (m_sessionStatus == "final")
            outBody = R"({"file":)" + fileJson(m_states[0]) + "}";
        return;
    }
    if (request.command == "cancel") {
        m_sessionStatus = "cancelled";
        return standing();
    }
    if (!upload || m_sessionStatus != "active" || request.offset != acceptedOffset)
        return fail(400);
    if (fault.status > 0 && !cut) {
        status = fault.status;
        outHeaders = fault.headers;
        outBody = fault.body;
        return;
    }
    const bool finalize = request.command == "upload, finalize";
    if (cut)
        return;
    if (!finalize && m_granularity > 0 && size % m_granularity != 0)
        return fail(400);
    m_received += size;
    if (keep)
        m_content += bytes;
    if (finalize) {
        if (m_received != m_declaredLength)
            return fail(400);
        m_sessionStatus = "final";
        m_nextState = 0;
        outBody = R"({"file":)" + fileJson(m_states[0]) + "}";
    }
    standing();
}
