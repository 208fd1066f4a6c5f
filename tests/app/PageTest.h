#pragma once

#include "app/ChatPage.h"
#include "EventWait.h"
#include "app/MainWindow.h"
#include "WindowTest.h"

#include <QString>
#include <QTest>
#include <QVariant>
#include <QWebEngineView>

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
        form->View().Page().Evaluate(script, [result](const QVariant& value) { *result = value; });
        EXPECT_TRUE(WaitUntil([&] { return result->has_value(); }, kPageTimeoutMs))
            << script.toStdString();
        return result->value_or(QVariant());
    }

    QString evaluateText(const QString& script) { return evaluate(script).toString(); }

    // The centre of the first element matching a selector, in view coordinates.
    QPoint centreOf(const QString& selector) {
        const QVariantList box =
            evaluate(QStringLiteral("var r = document.querySelectorAll('%1')[0]"
                                    ".getBoundingClientRect(); [r.x + r.width / 2, "
                                    "r.y + r.height / 2]")
                         .arg(selector))
                .toList();
        EXPECT_EQ(box.size(), 2);
        return box.size() == 2 ? QPoint(box[0].toInt(), box[1].toInt()) : QPoint();
    }

    // A real click of the mouse, as the user makes it.
    void click(const QString& selector) {
        const QPoint at = centreOf(selector);
        QWidget* target = control<QWebEngineView>("WebBrowser1")->focusProxy();
        ASSERT_NE(target, nullptr);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    }

    // The chat container's markup without the messages' action bars; empty when the page
    // has none.
    QString container() {
        return evaluateText(QStringLiteral(
            "var c = document.getElementById('chat-container'); if (c) { c = c.cloneNode(true); "
            "c.querySelectorAll('.message-actions').forEach(b => b.remove()); } "
            "c ? c.innerHTML : null"));
    }
};
