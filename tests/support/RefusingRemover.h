#pragma once

#include "store/FileRemover.h"

#include <QFileInfo>
#include <QString>

// Deletes through the real file system, except the file named `locked`, for which it
// reports access denied.
class RefusingRemover final : public FileRemover {
public:
    Expected<void> Remove(const QString& path) override {
        if (QFileInfo(path).fileName() == locked)
            return Failure(QStringLiteral("Отказано в доступе"));
        return SystemFileRemover().Remove(path);
    }

    QString locked;
};
