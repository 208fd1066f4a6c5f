#include "service/ServiceJson.h"

namespace {

QString camelCase(QLatin1StringView snakeName) {
    QString camel;
    camel.reserve(snakeName.size());
    bool upper = false;
    for (const char c : snakeName) {
        if (c == '_') {
            upper = true;
            continue;
        }
        camel += upper ? QChar::fromLatin1(c).toUpper() : QChar::fromLatin1(c);
        upper = false;
    }
    return camel;
}

} // namespace

QJsonValue ServiceMember(const QJsonObject& object, QLatin1StringView snakeName) {
    const QJsonValue snake = object.value(snakeName);
    if (!snake.isUndefined() || !snakeName.contains(u'_'))
        return snake;
    return object.value(camelCase(snakeName));
}
