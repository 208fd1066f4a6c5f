#include "store/FileRemover.h"

#include <QFile>

namespace {

class QtFileRemover final : public FileRemover {
public:
    Expected<void> Remove(const QString& path) override {
        QFile file(path);
        if (file.remove())
            return {};
        return Failure(file.errorString());
    }
};

} // namespace

FileRemover& SystemFileRemover() {
    static QtFileRemover remover;
    return remover;
}
