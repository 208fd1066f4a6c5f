#include "RequestCountText.h"

#include "Blank.h"

QString RequestCountText(const QString& key, const QString& model, int count) {
    if (IsBlank(key) || IsBlank(model))
        return QStringLiteral("0");
    return count < 0 ? QStringLiteral("?") : QString::number(count);
}
