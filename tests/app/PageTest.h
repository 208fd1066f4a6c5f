#pragma once

#include "ChatPage.h"
#include "EventWait.h"
#include "MainWindow.h"
#include "WindowTest.h"

#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

// The window test with scripts run on its chat page.
class PageTest : public WindowTest {
protected:
    static constexpr int kPageTimeoutMs = 15000;

    using WindowTest::WindowTest;

    // Runs a script after everything the window has asked of the page so far.
    QVariant evaluate(const QString& script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        form->Page().Evaluate(script, [result](const QVariant& value) { *result = value; });
        EXPECT_TRUE(WaitUntil([&] { return result->has_value(); }, kPageTimeoutMs))
            << script.toStdString();
        return result->value_or(QVariant());
    }

    QString evaluateText(const QString& script) { return evaluate(script).toString(); }

    // The chat container's markup; empty when the page has none.
    QString container() {
        return evaluateText(QStringLiteral(
            "var c = document.getElementById('chat-container'); c ? c.innerHTML : null"));
    }
};
