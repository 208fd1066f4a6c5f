#include "FileRemover.h"

#include <QFile>

namespace {

class QtFileRemover final : public FileRemover {
public:
    std::optional<QString> Remove(const QString& path) override {
        QFile file(path);
        if (file.remove())
            return std::nullopt;
        return file.errorString();
    }
};

} // namespace

FileRemover& SystemFileRemover() {
    static QtFileRemover remover;
    return remover;
}
