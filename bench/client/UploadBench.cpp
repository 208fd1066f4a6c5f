// Uploading a 2 GB file (sparse, so the disk is not the bottleneck) to the loopback file
// store: memory above idle while it goes, and throughput beside that of the curl program
// sending the same file to the same service in one request.
#include "FakeUploadService.h"
#include "MemoryPeak.h"
#include "service/FileUpload.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

// A store session for curl: opened by our own start, answered with its address.
QString openSession(FakeUploadService& service, qint64 size) {
    QProcess curl;
    curl.start(u"curl"_s, {u"-s"_s, u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, u"-H"_s,
                           u"X-Goog-Upload-Command: start"_s, u"-H"_s,
                           u"X-Goog-Upload-Header-Content-Length: "_s + QString::number(size),
                           u"-H"_s, u"X-Goog-Upload-Header-Content-Type: video/mp4"_s, u"-H"_s,
                           u"Content-Type: application/json"_s, u"--data-binary"_s,
                           u"{\"file\":{\"display_name\":\"big.mp4\"}}"_s,
                           QString::fromStdString(service.baseUrl()) + u"/upload/v1beta/files"_s});
    curl.waitForFinished(-1);
    for (const QByteArray& line : curl.readAllStandardOutput().split('\n')) {
        if (line.toLower().startsWith("x-goog-upload-url:"))
            return QString::fromLatin1(line.mid(18).trimmed());
    }
    return {};
}

// Both senders read the file from disk, not one from the cache the other filled.
void dropCachedPages(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Seconds curl takes to send the whole file in one request.
double curlSeconds(const QString& path, qint64 size) {
    FakeUploadService service;
    service.discardContent();
    const QString url = openSession(service, size);
    dropCachedPages(path);
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(u"curl"_s, {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-X"_s, u"POST"_s, u"-H"_s,
                           u"Expect:"_s, u"-H"_s, u"X-Goog-Upload-Command: upload, finalize"_s,
                           u"-H"_s, u"X-Goog-Upload-Offset: 0"_s, u"-T"_s, path, url});
    curl.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return service.received() == size ? seconds : -1;
}

// The program's chunk size, unless TOVIK_UPLOAD_CHUNK_MB names another to compare.
UploadTuning tuning() {
    UploadTuning chosen;
    if (const int megabytes = qEnvironmentVariableIntValue("TOVIK_UPLOAD_CHUNK_MB"); megabytes > 0)
        chosen.ChunkBytes = qint64(megabytes) * 1024 * 1024;
    return chosen;
}

void UploadTwoGigabytes(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"big.mp4"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(kMaxUploadFileBytes)) {
            state.SkipWithError("cannot make the sparse file");
            return;
        }
    }
    double ours = 0;
    qint64 idle = 0;
    qint64 peak = 0;
    for (auto _ : state) {
        FakeUploadService service;
        service.discardContent();
        ServiceEndpoint endpoint;
        endpoint.BaseUrl = QString::fromStdString(service.baseUrl());
        endpoint.ReadTimeoutMs = 60000;
        dropCachedPages(path);
        idle = MemoryPeak::Resident();
        MemoryPeak::Reset();
        QElapsedTimer timer;
        timer.start();
        const UploadResult result =
            UploadFile(endpoint, u"KEY"_s, {path, u"video/mp4"_s}, nullptr, {}, tuning());
        ours = double(timer.nsecsElapsed()) / 1e9;
        peak = MemoryPeak::Peak();
        if (!result || service.received() != kMaxUploadFileBytes) {
            state.SkipWithError("the upload failed");
            return;
        }
    }
    const double curl = curlSeconds(path, kMaxUploadFileBytes);
    const double megabytes = double(kMaxUploadFileBytes) / 1e6;
    state.counters["ours_MB_per_s"] = megabytes / ours;
    state.counters["curl_MB_per_s"] = curl > 0 ? megabytes / curl : 0;
    state.counters["ours_x_curl"] = curl > 0 ? curl / ours : 0;
    state.counters["added_MiB"] = double(peak - idle) / (1024.0 * 1024.0);
}

BENCHMARK(UploadTwoGigabytes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
