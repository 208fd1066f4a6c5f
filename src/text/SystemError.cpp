#include "text/SystemError.h"

#include <cerrno>

QString SystemErrorText(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав доступа");
    case EROFS:
        return QStringLiteral("файловая система доступна только для чтения");
    case ENOENT:
        return QStringLiteral("нет такого файла или папки");
    case ENOTDIR:
        return QStringLiteral("часть пути — не папка");
    case EISDIR:
        return QStringLiteral("это папка, а не файл");
    case EEXIST:
        return QStringLiteral("такое имя уже занято");
    case ENOSPC:
        return QStringLiteral("на диске нет места");
    case EDQUOT:
        return QStringLiteral("превышена дисковая квота");
    case EFBIG:
        return QStringLiteral("файл слишком велик");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя");
    case ELOOP:
        return QStringLiteral("слишком много символических ссылок подряд");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("открыто слишком много файлов");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("файл занят");
    default:
        return QStringLiteral("системная ошибка %1").arg(error);
    }
}
