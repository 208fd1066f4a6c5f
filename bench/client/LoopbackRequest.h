#pragma once

#include "chat/GeminiDM.h"

#include <QtCore/qtestsupport_core.h>

#include <optional>

// Sends one text request on a fresh conversation and runs the event loop until its answer
// has come; nothing when none came within ten minutes.
inline std::optional<QString> SendAndWait(TGeminiDM& dm, const TContentParts& parts) {
    dm.ClearHistory();
    QString answer;
    dm.GenerateContent(QStringLiteral("KEY"), QStringLiteral("gemini-test"), parts, false,
                       [&answer](const QString& result) { answer = result; });
    if (!QTest::qWaitFor([&answer] { return !answer.isEmpty(); }, 600000))
        return std::nullopt;
    return answer;
}
