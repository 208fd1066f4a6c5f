#include "FileRemover.h"

#include <QFile>

namespace {

class QtFileRemover final : public TFileRemover {
public:
    std::optional<QString> Remove(const QString& path) override {
        QFile file(path);
        if (file.remove())
            return std::nullopt;
        return file.errorString();
    }
};

} // namespace

TFileRemover& SystemFileRemover() {
    static QtFileRemover remover;
    return remover;
}
