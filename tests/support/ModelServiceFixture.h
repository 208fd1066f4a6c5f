#pragma once

#include "text/Clock.h"
#include "EventWait.h"
#include "FakeModelService.h"
#include "chat/GeminiDM.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QThread>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

#include <memory>

// A data module pointed at a fake model service on loopback, and helpers that send a
// request and run the event loop until its callbacks have come.
class ModelServiceTest : public ::testing::Test {
protected:
    // An upper bound, not a pause: a sanitizer build needs about 12 s to read a stream
    // past the 128 MiB answer limit.
    static constexpr int kWaitMs = 60000;

    explicit ModelServiceTest(
        FakeModelService::Transport transport = FakeModelService::Transport::Http)
        : service(transport) {
        dm.SetBaseUrl(QString::fromStdString(service.baseUrl()));
        // These tests are about what is sent and kept, not when: with no time to read,
        // messages carry none and compare equal to items made without one.
        Clock::setSource([] { return QDateTime(); });
    }
    ~ModelServiceTest() override { Clock::setSource({}); }

    static bool onUiThread() { return QThread::currentThread() == qApp->thread(); }

    // Every outcome the callback received, whether each came on the UI thread, and whether
    // the request still holds the callback.
    struct Outcomes {
        QStringList texts;
        bool allOnUiThread = true;
        std::weak_ptr<void> callbackHeld;
    };

    TStringCallback recorder(Outcomes& outcomes) {
        auto held = std::make_shared<bool>();
        outcomes.callbackHeld = held;
        return [&outcomes, held](const QString& text) {
            outcomes.texts << text;
            outcomes.allOnUiThread = outcomes.allOnUiThread && onUiThread();
        };
    }

    // Waits until the request has ended: it lets go of its callback then, so no stray
    // second call can follow.
    static QString awaitOne(const Outcomes& outcomes) {
        EXPECT_TRUE(WaitUntil([&] { return outcomes.callbackHeld.expired(); }, kWaitMs))
            << "the request still holds its callback";
        EXPECT_EQ(outcomes.texts.size(), 1);
        EXPECT_TRUE(outcomes.allOnUiThread);
        return outcomes.texts.value(0);
    }

    QString generate(const TContentParts& parts, bool useGoogleSearch = false) {
        Outcomes outcomes;
        dm.GenerateContent(QStringLiteral("KEY"), QStringLiteral("gemini-test"), parts,
                           useGoogleSearch, recorder(outcomes));
        return awaitOne(outcomes);
    }

    QString generateImage(const QString& prompt) {
        Outcomes outcomes;
        dm.GenerateImage(QStringLiteral("KEY"), QStringLiteral("gemini-image"), prompt,
                         recorder(outcomes));
        return awaitOne(outcomes);
    }

    FakeRequest onlyRequest() const {
        const std::vector<FakeRequest> requests = service.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? FakeRequest{} : requests.front();
    }

    static QJsonObject bodyObject(const FakeRequest& request) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
    }

    static TContentParts textParts(const QString& text) { return {MakeTextPart(text)}; }

    // The question "q" alone, marked as a request that failed for the reason given: it
    // stays in the chat and is never sent again.
    static TChatHistory failedQuestion(const QString& reason) {
        THistoryItem question{QStringLiteral("user"), textParts(QStringLiteral("q"))};
        question.Failure = reason;
        return {question};
    }

    FakeModelService service;
    TGeminiDM dm;
};
