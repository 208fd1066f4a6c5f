#include "text/RegularFile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

Failure<FileReadFailure> refused(FileRefusal cause, const QString& reason) {
    return Failure(FileReadFailure{cause, reason});
}

Failure<FileReadFailure> tooLarge(qint64 maxSize) {
    return refused(FileRefusal::TooLarge, u"файл больше %1 МБ"_s.arg(maxSize / (1024 * 1024)));
}

} // namespace

Expected<void, FileReadFailure> OpenRegularFile(QFile& file, qint64 maxSize,
                                                QIODevice::OpenMode mode) {
    // Not blocking, so that opening a pipe does not wait for a writer; what is opened is
    // then told by the descriptor itself, so nothing can be swapped in after the check.
    const int fd =
        ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? refused(FileRefusal::Missing, u"файл не найден"_s)
                               : refused(FileRefusal::Unreadable, qt_error_string(errno));
    struct stat info {};
    Expected<void, FileReadFailure> checked;
    if (::fstat(fd, &info) != 0)
        checked = refused(FileRefusal::Unreadable, qt_error_string(errno));
    else if (!S_ISREG(info.st_mode))
        checked = refused(FileRefusal::NotAFile, u"это не файл"_s);
    else if (info.st_size > maxSize)
        checked = tooLarge(maxSize);
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
             !file.open(fd, mode, QFileDevice::AutoCloseHandle))
        checked = refused(FileRefusal::Unreadable, file.errorString());
    else
        return {};
    ::close(fd);
    return checked;
}

Expected<QByteArray, FileReadFailure> ReadRegularFile(const QString& path, qint64 maxSize) {
    QFile file(path);
    if (Expected<void, FileReadFailure> opened = OpenRegularFile(file, maxSize); !opened)
        return Failure(std::move(opened).error());
    // Room for the size the file had and one byte more, which shows a file that grew.
    QByteArray bytes;
    qint64 room = file.size() + 1;
    qint64 read = 0;
    for (;;) {
        bytes.resize(room);
        const qint64 got = file.read(bytes.data() + read, room - read);
        if (got < 0)
            return refused(FileRefusal::Unreadable, file.errorString());
        if (got == 0)
            break;
        read += got;
        if (read > maxSize)
            return tooLarge(maxSize);
        if (read == room)
            room = qMin(2 * room, maxSize + 1);
    }
    bytes.truncate(read);
    return bytes;
}
