#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
} // namespace httplib

// A real HTTP server on 127.0.0.1 that keeps files the way the model service's file store
// does: a resumable upload session opened by "start", bytes taken by "upload" at the
// offset it expects, "upload, finalize" ending it with a File resource, "query" telling
// how much it holds, "cancel" dropping it, and GET v1beta/files/<id> telling the file's
// processing state. Faults are scripted per test; every request is recorded.
class FakeUploadService {
public:
    struct Request {
        std::string method;
        std::string target;
        // X-Goog-Upload-Command and X-Goog-Upload-Offset as sent (offset -1 when absent).
        std::string command;
        int64_t offset = -1;
        std::string apiKey;
        std::multimap<std::string, std::string> headers;
        // Body bytes that reached the service (all of them, unless the connection was cut).
        int64_t bodySize = 0;
        std::string body; // kept for start requests only
    };

    // What the n-th "upload" command (counted from 0) meets.
    struct ChunkFault {
        int chunk = 0;
        // The connection is cut after this many bytes of the body, which the service keeps.
        int64_t dropAfter = -1;
        // Reading stops after this many bytes until the client goes away.
        int64_t holdAfter = -1;
        // Otherwise: answered with this status, keeping none of the chunk's bytes.
        int status = 0;
        std::vector<std::pair<std::string, std::string>> headers = {};
        std::string body = {};
    };

    FakeUploadService();
    ~FakeUploadService();
    FakeUploadService(const FakeUploadService&) = delete;
    FakeUploadService& operator=(const FakeUploadService&) = delete;

    std::string baseUrl() const;

    // X-Goog-Upload-Chunk-Granularity; none is sent when 0.
    void setGranularity(int64_t bytes);
    // The upload address handed out in place of the service's own.
    void setUploadUrl(std::string url);
    void addFault(ChunkFault fault);
    // The states the file reports: the finalize answer gets the first, each GET the next,
    // the last one repeated. FAILED comes with errorMessage.
    void setStates(std::vector<std::string> states, std::string errorMessage = {});
    // Called after each "upload" command's bytes are in, with its index, before it is
    // answered.
    void onChunk(std::function<void(int chunk)> hook);
    // Counts bytes without keeping them, for files too large to hold.
    void discardContent();

    std::vector<Request> requests() const;
    // What the session holds of the file: its bytes (unless discarded) and their count.
    std::string content() const;
    int64_t received() const;
    // Bytes of all upload commands that reached the service, kept or not.
    int64_t uploadBytesReceived() const;

private:
    class Server;
    void handle(const std::string& method, const std::string& target,
                const std::multimap<std::string, std::string>& headers,
                const std::function<bool(const std::function<bool(const char*, size_t)>&)>& read,
                int& status, std::vector<std::pair<std::string, std::string>>& outHeaders,
                std::string& outBody);
    std::string fileJson(const std::string& state) const;

    std::unique_ptr<Server> m_server;
    int m_port = 0;
    std::thread m_listener;

    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::vector<ChunkFault> m_faults;
    std::vector<std::string> m_states = {"ACTIVE"};
    size_t m_nextState = 0;
    std::string m_errorMessage;
    std::function<void(int)> m_onChunk;
    std::string m_uploadUrl;
    int64_t m_granularity = 0;
    bool m_keepContent = true;

    // The one session.
    std::string m_sessionStatus; // empty before start, then active, final, cancelled
    int64_t m_declaredLength = 0;
    std::string m_mimeType;
    std::string m_content;
    int64_t m_received = 0;
    int64_t m_uploadBytes = 0;
    int m_chunks = 0;
};
