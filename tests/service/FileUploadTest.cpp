#include "EventWait.h"
#include "FakeUploadService.h"
#include "service/FileUpload.h"
#include "service/FileUploadThread.h"
#include "service/RequestBody.h"
#include "service/UploadRule.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

namespace {

using namespace Qt::StringLiterals;
using Fault = FakeUploadService::ChunkFault;

constexpr int64_t kKiB = 1024;

class FileUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        endpoint.BaseUrl = QString::fromStdString(service.baseUrl());
        endpoint.ReadTimeoutMs = 10000;
        tuning.PollIntervalMs = 5;
        tuning.ProcessingTimeoutMs = 5000;
        tuning.CancelTimeoutMs = 2000;
    }

    // A file of pseudo-random bytes, so a chunk out of place shows.
    void writeFile(int64_t size) {
        bytes.resize(size_t(size));
        std::mt19937 random(7);
        std::generate(bytes.begin(), bytes.end(), [&] { return char(random()); });
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), qint64(bytes.size()));
    }

    UploadResult upload() {
        return UploadFile(endpoint, u"KEY"_s, {path, u"video/mp4"_s}, &cancel,
                          [this](qint64 sent, qint64 total) {
                              progress.push_back(sent);
                              EXPECT_EQ(total, qint64(bytes.size()));
                              if (onProgress)
                                  onProgress(sent);
                          },
                          tuning);
    }

    std::vector<FakeUploadService::Request> withCommand(const std::string& command) const {
        std::vector<FakeUploadService::Request> found;
        for (const auto& request : service.requests())
            if (request.command == command)
                found.push_back(request);
        return found;
    }

    FakeUploadService service;
    QTemporaryDir folder;
    QString path = folder.filePath(u"clip.mp4"_s);
    std::string bytes;
    ServiceEndpoint endpoint;
    UploadTuning tuning;
    std::atomic<bool> cancel = false;
    std::vector<qint64> progress;
    std::function<void(qint64)> onProgress;
};

TEST_F(FileUploadTest, WholeFileGoesInChunksOfTheGranularity) {
    struct Case {
        int64_t granularity;
        int64_t chunkBytes;
        int64_t expectedChunk;
    };
    const int64_t size = 1024 * kKiB + 123;
    const Case cases[] = {
        {256 * kKiB, 300 * kKiB, 256 * kKiB}, // rounded down to the granularity
        {512 * kKiB, 300 * kKiB, 512 * kKiB}, // never below one granule
        {0, 400000, 400000},                  // none named: as asked
    };
    for (const Case& c : cases) {
        FakeUploadService fresh;
        endpoint.BaseUrl = QString::fromStdString(fresh.baseUrl());
        fresh.setGranularity(c.granularity);
        tuning.ChunkBytes = c.chunkBytes;
        progress.clear();
        writeFile(size);

        const UploadResult result = upload();
        ASSERT_TRUE(result) << result.error().Text.toStdString();
        EXPECT_EQ(fresh.content(), bytes);
        EXPECT_EQ(result->Name, u"files/up-1"_s);
        EXPECT_EQ(result->Uri, QString::fromStdString(fresh.baseUrl()) + u"/v1beta/files/up-1"_s);
        EXPECT_EQ(result->MimeType, u"video/mp4"_s);
        EXPECT_EQ(result->SizeBytes, size);
        EXPECT_EQ(result->ExpirationTime,
                  QDateTime(QDate(2025, 3, 3), QTime(10, 0, 0, 123), Qt::UTC));

        const auto requests = fresh.requests();
        ASSERT_GE(requests.size(), 2u);
        const auto& start = requests.front();
        EXPECT_EQ(start.command, "start");
        EXPECT_EQ(start.target, "/upload/v1beta/files");
        EXPECT_EQ(start.headers.find("x-goog-upload-protocol")->second, "resumable");
        EXPECT_EQ(start.headers.find("x-goog-upload-header-content-length")->second,
                  std::to_string(size));
        EXPECT_EQ(start.headers.find("x-goog-upload-header-content-type")->second, "video/mp4");
        EXPECT_EQ(start.headers.find("content-type")->second, "application/json");
        EXPECT_EQ(start.body, R"({"file":{"display_name":"clip.mp4"}})");

        int64_t offset = 0;
        int chunks = 0;
        for (const auto& request : requests) {
            // The key travels in its header on every call, never in an address.
            EXPECT_EQ(request.apiKey, "KEY");
            EXPECT_EQ(request.target.find("KEY"), std::string::npos);
            if (request.command != "upload" && request.command != "upload, finalize")
                continue;
            ++chunks;
            EXPECT_EQ(request.offset, offset);
            const bool last = offset + request.bodySize == size;
            EXPECT_EQ(request.command, last ? "upload, finalize" : "upload");
            if (!last) {
                EXPECT_EQ(request.bodySize, c.expectedChunk);
            }
            offset += request.bodySize;
        }
        EXPECT_EQ(chunks, (size + c.expectedChunk - 1) / c.expectedChunk);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), size);
    }
}

// 503 asking for a short pause in its body, 500 asking in a Retry-After header, 429 with
// its RetryInfo, and a connection cut part-way through a chunk: the upload asks where it
// stands and goes on from there.
TEST_F(FileUploadTest, ChunkThatFailsIsResumedFromWhereTheServiceStands) {
    const std::string retryInfo =
        R"({"error":{"code":503,"message":"busy","details":[{"@type":"type.googleapis.com/google.rpc.RetryInfo","retryDelay":"0.01s"}]}})";
    const Fault cases[] = {
        {.chunk = 1, .dropAfter = 70000},
        {.chunk = 0, .dropAfter = 0},
        {.chunk = 1, .status = 503, .body = retryInfo},
        {.chunk = 2, .status = 500, .headers = {{"Retry-After", "0"}}},
        {.chunk = 3, .status = 429, .body = retryInfo},
    };
    const int64_t chunk = 200000;
    for (const Fault& fault : cases) {
        FakeUploadService fresh;
        endpoint.BaseUrl = QString::fromStdString(fresh.baseUrl());
        fresh.addFault(fault);
        tuning.ChunkBytes = chunk;
        writeFile(4 * chunk + 5);

        const UploadResult result = upload();
        ASSERT_TRUE(result) << fault.chunk << ": " << result.error().Text.toStdString();
        EXPECT_EQ(fresh.content(), bytes);
        std::vector<std::string> commands;
        for (const auto& request : fresh.requests())
            commands.push_back(request.command);
        // The chunk after the fault is preceded by a query.
        const auto query = std::find(commands.begin(), commands.end(), "query");
        ASSERT_NE(query, commands.end());
        EXPECT_EQ(query - commands.begin(), 1 + fault.chunk + 1);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "query"), 1);
        EXPECT_LE(fresh.uploadBytesReceived(), int64_t(bytes.size()) + chunk);
    }
}

TEST_F(FileUploadTest, FailuresThatEndTheUpload) {
    struct Case {
        Fault fault;
        UploadFailureCause cause;
        int httpStatus;
    };
    const std::string quota =
        R"({"error":{"code":429,"message":"quota","details":[{"@type":"type.googleapis.com/google.rpc.RetryInfo","retryDelay":"3600s"}]}})";
    const Case cases[] = {
        {{.chunk = 1, .status = 400, .body = R"({"error":{"message":"bad chunk"}})"},
         UploadFailureCause::Transfer, 400},
        {{.chunk = 1, .status = 429, .body = quota}, UploadFailureCause::Transfer, 429},
    };
    for (const Case& c : cases) {
        FakeUploadService fresh;
        endpoint.BaseUrl = QString::fromStdString(fresh.baseUrl());
        fresh.addFault(c.fault);
        tuning.ChunkBytes = 100000;
        writeFile(300000);
        const UploadResult result = upload();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Cause, c.cause);
        EXPECT_EQ(result.error().Request.HttpStatus, c.httpStatus);
        EXPECT_TRUE(result.error().Text.startsWith(u"Ошибка HTTP: "_s));
        // The session is dropped, and nothing more of the file goes.
        const auto requests = fresh.requests();
        EXPECT_EQ(requests.back().command, "cancel");
        EXPECT_EQ(requests.size(), 4u); // start, two chunks, cancel
    }
}

TEST_F(FileUploadTest, FileChangedOnDiskIsRefusedAndNothingMoreIsSent) {
    using Change = std::function<void(QFile&)>;
    const Change changes[] = {
        [](QFile& file) { file.write("more"); },
        [](QFile& file) { file.resize(1000); },
        [](QFile& file) {
            file.setFileTime(QDateTime::currentDateTime().addSecs(3600),
                             QFileDevice::FileModificationTime);
        },
    };
    for (const Change& change : changes) {
        FakeUploadService fresh;
        endpoint.BaseUrl = QString::fromStdString(fresh.baseUrl());
        tuning.ChunkBytes = 100000;
        writeFile(350000);
        fresh.onChunk([&](int chunk) {
            if (chunk != 0)
                return;
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite | QIODevice::Append));
            change(file);
        });
        const UploadResult result = upload();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Cause, UploadFailureCause::FileChanged);
        EXPECT_EQ(result.error().Text,
                  u"Ошибка: файл «clip.mp4» изменился во время загрузки, загрузка отменена."_s);
        std::vector<std::string> commands;
        for (const auto& request : fresh.requests())
            commands.push_back(request.command);
        EXPECT_EQ(commands, (std::vector<std::string>{"start", "upload", "cancel"}));
    }
}

TEST_F(FileUploadTest, ProcessingIsWaitedFor) {
    struct Case {
        std::vector<std::string> states;
        int timeoutMs;
        std::optional<UploadFailureCause> cause;
        QString text;
        size_t polls;
    };
    const Case cases[] = {
        {{"ACTIVE"}, 5000, std::nullopt, {}, 0},
        {{"PROCESSING", "PROCESSING", "ACTIVE"}, 5000, std::nullopt, {}, 2},
        {{"PROCESSING", "FAILED"},
         5000,
         UploadFailureCause::ProcessingFailed,
         u"Ошибка: сервер не смог обработать файл «clip.mp4»: Unsupported codec"_s,
         1},
        {{"PROCESSING"},
         50,
         UploadFailureCause::ProcessingTimedOut,
         u"Ошибка: сервер слишком долго обрабатывает файл «clip.mp4», ожидание прекращено."_s,
         0},
    };
    for (const Case& c : cases) {
        FakeUploadService fresh;
        endpoint.BaseUrl = QString::fromStdString(fresh.baseUrl());
        fresh.setStates(c.states, "Unsupported codec");
        tuning.ProcessingTimeoutMs = c.timeoutMs;
        writeFile(1000);
        const UploadResult result = upload();
        const auto polls = [&] {
            std::vector<std::string> targets;
            for (const auto& request : fresh.requests())
                if (request.method == "GET")
                    targets.push_back(request.target);
            return targets;
        }();
        for (const std::string& target : polls)
            EXPECT_EQ(target, "/v1beta/files/up-1");
        if (!c.cause) {
            ASSERT_TRUE(result) << result.error().Text.toStdString();
            EXPECT_EQ(polls.size(), c.polls);
            continue;
        }
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Cause, *c.cause);
        EXPECT_EQ(result.error().Text, c.text);
        if (c.polls > 0) {
            EXPECT_EQ(polls.size(), c.polls);
        }
    }
}

// On the thread the window uses: progress reaches the user-interface thread, Stop ends the
// transfer part-way through a chunk and the service is told to drop the upload.
TEST_F(FileUploadTest, StopCancelsTheUploadMidChunk) {
    const int64_t chunk = 1024 * kKiB;
    tuning.ChunkBytes = chunk;
    writeFile(3 * chunk);
    service.addFault({.chunk = 1, .holdAfter = 100 * kKiB});
    const CancelFlag flag = MakeCancelFlag();
    std::optional<UploadResult> outcome;
    qint64 shown = 0;
    TFileUploadThread::Create(
        endpoint, u"KEY"_s, {path, u"video/mp4"_s},
        [&](qint64 sent, qint64) {
            shown = sent;
            if (sent > chunk)
                flag->store(true);
        },
        [&](const UploadResult& result) { outcome = result; }, flag, tuning);
    ASSERT_TRUE(WaitUntil([&] { return outcome.has_value(); }, 20000));
    ASSERT_FALSE(*outcome);
    EXPECT_EQ(outcome->error().Cause, UploadFailureCause::Stopped);
    EXPECT_EQ(outcome->error().Text, u"Остановлено"_s);
    EXPECT_GT(shown, chunk);
    EXPECT_EQ(withCommand("cancel").size(), 1u);
    EXPECT_TRUE(withCommand("upload, finalize").empty());
    EXPECT_LT(service.received(), 2 * chunk);
    // Nothing is left running to send more: the stopped chunk (which the service may note
    // only once its connection is gone) and the cancel were the last.
    RunEventsFor(100);
    std::vector<std::string> commands;
    for (const auto& request : service.requests())
        commands.push_back(request.command);
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands, (std::vector<std::string>{"cancel", "start", "upload", "upload"}));
}

TEST_F(FileUploadTest, UploadAddressOnAnotherOriginIsRefused) {
    const std::string base = service.baseUrl();
    const std::string port = base.substr(base.rfind(':') + 1);
    const std::string path_ = "/upload/v1beta/files?upload_id=s1";
    const std::string foreign[] = {
        "http://127.0.0.2:" + port + path_,
        "http://localhost:" + port + path_,
        "https://127.0.0.1:" + port + path_,
        "http://127.0.0.1:" + std::to_string(std::stoi(port) + 1) + path_,
        "ftp://127.0.0.1:" + port + path_,
        "http://user@127.0.0.1:" + port + path_,
    };
    writeFile(1000);
    for (const std::string& url : foreign) {
        service.setUploadUrl(url);
        const size_t before = service.requests().size();
        const UploadResult result = upload();
        ASSERT_FALSE(result) << url;
        EXPECT_EQ(result.error().Cause, UploadFailureCause::ForeignUploadAddress) << url;
        EXPECT_EQ(service.requests().size(), before + 1) << url; // the start alone
    }
}

TEST(UploadOrigin, SameSchemeHostAndPort) {
    struct Case {
        const char* base;
        const char* upload;
        bool same;
    };
    const Case cases[] = {
        {"https://generativelanguage.googleapis.com",
         "https://generativelanguage.googleapis.com/upload/v1beta/files?upload_id=x", true},
        {"https://generativelanguage.googleapis.com/", "https://GenerativeLanguage.googleapis.com:443/u",
         true},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080/u", true},
        {"https://generativelanguage.googleapis.com", "http://generativelanguage.googleapis.com/u",
         false},
        {"https://generativelanguage.googleapis.com", "https://evil.example/u", false},
        {"https://generativelanguage.googleapis.com", "https://generativelanguage.googleapis.com.evil.example/u",
         false},
        {"https://generativelanguage.googleapis.com", "https://generativelanguage.googleapis.com:8443/u",
         false},
        {"https://generativelanguage.googleapis.com", "/upload/relative", false},
        {"https://generativelanguage.googleapis.com", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSameOrigin(QString::fromLatin1(c.base), QString::fromLatin1(c.upload)), c.same)
            << c.upload;
}

TEST_F(FileUploadTest, UnusableFilesAreRefusedBeforeAnythingIsSent) {
    const QString empty = folder.filePath(u"empty.mp4"_s);
    QFile(empty).open(QIODevice::WriteOnly);
    const QString huge = folder.filePath(u"huge.mp4"_s);
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(kMaxUploadFileBytes + 1)); // sparse
    }
    const std::pair<QString, QString> cases[] = {
        {folder.filePath(u"missing.mp4"_s), u"Ошибка: файл «missing.mp4» не найден."_s},
        {folder.path(), u"Ошибка: файл «"_s + QFileInfo(folder.path()).fileName() +
                            u"» не найден."_s},
        {empty, u"Ошибка: файл «empty.mp4» пуст."_s},
        {huge, u"Ошибка: файл «huge.mp4» больше 2 ГБ, сервер такой не примет."_s},
    };
    for (const auto& [file, text] : cases) {
        path = file;
        const UploadResult result =
            UploadFile(endpoint, u"KEY"_s, {file, u"video/mp4"_s}, &cancel, {}, tuning);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Cause, UploadFailureCause::FileUnusable);
        EXPECT_EQ(result.error().Text, text);
    }
    EXPECT_TRUE(service.requests().empty());
}

TEST(FileDataPart, GoesInTheRequestBodyByAddressOnly) {
    const QDateTime expires(QDate(2025, 3, 3), QTime(10, 0), Qt::UTC);
    TChatHistory history{{u"user"_s,
                          {MakeTextPart(u"what is in it?"_s),
                           MakeFileDataPart(u"video/mp4"_s, u"https://h/v1beta/files/abc"_s,
                                            u"clip.mp4"_s, u"/home/u/clip.mp4"_s, expires)}}};
    const QByteArray body = BuildContentRequestBody(history, false);
    EXPECT_TRUE(body.startsWith(
        R"({"contents":[{"role":"user","parts":[{"text":"what is in it?"},)"
        R"({"file_data":{"mime_type":"video\/mp4","file_uri":"https:\/\/h\/v1beta\/files\/abc"}}]}],)"))
        << body.toStdString();
    EXPECT_FALSE(body.contains("clip.mp4"));
    EXPECT_FALSE(body.contains("home"));
}

TEST(UploadRule, WhichFilesGoToTheFileStore) {
    constexpr qint64 MiB = 1024 * 1024;
    struct Case {
        QList<qint64> sizes;
        qint64 other;
        QList<bool> upload;
    };
    const Case cases[] = {
        {{}, 0, {}},
        {{1 * MiB, 2 * MiB}, 1000, {false, false}},
        {{kUploadThresholdBytes}, 0, {false}},
        {{kUploadThresholdBytes + 1, 1 * MiB}, 0, {true, false}},
        // Two files of 7 MiB are 18.7 MB as Base64: the larger goes once the rest is counted.
        {{7 * MiB, 7 * MiB}, 0, {false, false}},
        {{7 * MiB, 7 * MiB + 1}, 2 * MiB, {false, true}},
        // Equal sizes: the first goes.
        {{6 * MiB, 6 * MiB, 6 * MiB}, 0, {true, false, false}},
        // Only what is needed goes: the smallest stay inline.
        {{5 * MiB, 1 * MiB, 8 * MiB, 5 * MiB}, 0, {false, false, true, false}},
        {{1 * MiB}, kInlineRequestLimitBytes, {true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilesToUpload(c.sizes, c.other), c.upload) << c.sizes.size();
}

} // namespace
