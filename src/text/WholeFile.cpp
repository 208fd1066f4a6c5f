#include "text/WholeFile.h"

#include "text/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What stands at the target: only a regular file, a link or nothing may be replaced.
Expected<void> checkTarget(const QByteArray& target, mode_t& keptMode, bool& hadFile) {
    struct stat found {};
    if (::lstat(target.constData(), &found) != 0)
        return errno == ENOENT ? Expected<void>() : Failure(SystemErrorText(errno));
    if (S_ISDIR(found.st_mode))
        return Failure(QStringLiteral("это папка, а не файл"));
    if (!S_ISREG(found.st_mode) && !S_ISLNK(found.st_mode))
        return Failure(QStringLiteral("это не обычный файл, а канал, сокет или устройство"));
    hadFile = S_ISREG(found.st_mode);
    keptMode = found.st_mode & 07777;
    return {};
}

Expected<void> writeAll(int fd, QByteArrayView bytes) {
    while (!bytes.isEmpty()) {
        const ssize_t written =
            ::write(fd, bytes.data(), size_t(qMin<qsizetype>(bytes.size(), 1 << 30)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return Failure(SystemErrorText(errno));
        if (written == 0)
            return Failure(SystemErrorText(ENOSPC));
        bytes = bytes.sliced(written);
    }
    // A full disk may only show here; a file system that cannot sync is no failure.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        return Failure(SystemErrorText(errno));
    return {};
}

QByteArray temporaryName(const QByteArray& target) {
    return target + ".tmp" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
}

// The file descriptor closes on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    // Closing reports a failed write on some file systems.
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

enum class Unnamed { Written, Unsupported };

// The whole file as an unnamed one first (O_TMPFILE), then linked under a temporary name
// and renamed over the target: a kill before the link leaves nothing at all. Unsupported
// when the file system cannot make unnamed files or /proc is not there to name one.
Expected<Unnamed> writeUnnamed(const QByteArray& folder, const QByteArray& target,
                               QByteArrayView bytes, bool hadFile, mode_t keptMode) {
    Descriptor file(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return Unnamed::Unsupported;
        return Failure(SystemErrorText(errno));
    }
    if (hadFile)
        ::fchmod(file.get(), keptMode);
    if (const Expected<void> written = writeAll(file.get(), bytes); !written)
        return Failure(written.error());
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.get());
    QByteArray temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = temporaryName(target);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temporary.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            break;
        if (errno == ENOENT && !QFileInfo::exists(QString::fromLatin1("/proc/self/fd")))
            return Unnamed::Unsupported;
        if (errno != EEXIST || attempt == 100)
            return Failure(SystemErrorText(errno));
    }
    if (!file.close() || ::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return Failure(SystemErrorText(error));
    }
    return Unnamed::Written;
}

// Where unnamed files cannot be had: a named temporary file beside the target.
Expected<void> writeNamed(const QByteArray& target, QByteArrayView bytes, bool hadFile,
                          mode_t keptMode) {
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = temporaryName(target);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            return Failure(SystemErrorText(errno));
    }
    Descriptor file(fd);
    const auto fail = [&](const QString& why) {
        ::unlink(temporary.constData());
        return Failure(why);
    };
    if (hadFile)
        ::fchmod(file.get(), keptMode);
    if (const Expected<void> written = writeAll(file.get(), bytes); !written)
        return fail(written.error());
    if (!file.close() || ::rename(temporary.constData(), target.constData()) != 0)
        return fail(SystemErrorText(errno));
    return {};
}

} // namespace

Expected<void> WriteWholeFile(const QString& path, QByteArrayView bytes) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    mode_t keptMode = 0;
    bool hadFile = false;
    if (const Expected<void> checked = checkTarget(target, keptMode, hadFile); !checked)
        return checked;
    const Expected<Unnamed> unnamed = writeUnnamed(folder, target, bytes, hadFile, keptMode);
    if (!unnamed)
        return Failure(unnamed.error());
    if (*unnamed == Unnamed::Written)
        return {};
    return writeNamed(target, bytes, hadFile, keptMode);
}
