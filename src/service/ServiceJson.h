#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>

// The service's JSON mapping writes every field in camelCase ("inlineData", "mimeType"),
// while its documentation and older answers use snake_case ("inline_data"). A member of
// an answer is read under either spelling, given here in snake_case; the snake_case
// member wins when both are present.
QJsonValue ServiceMember(const QJsonObject& object, QLatin1StringView snakeName);
