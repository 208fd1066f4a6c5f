#pragma once

#include "FakeModelService.h"
#include "PageTest.h"
#include "chat/GeminiDM.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>

// The window test whose requests go to a fake model service on loopback, with a key and a
// model chosen.
class ServiceWindowTest : public PageTest {
protected:
    static constexpr int kWaitMs = 20000;
    static constexpr const char* kApiKey = "SECRET-KEY";

    using PageTest::PageTest;

    void SetUp() override {
        PageTest::SetUp();
        geminiDM->SetBaseUrl(QString::fromStdString(service.baseUrl()));
        control<QComboBox>("editApiKey")->setEditText(QString::fromLatin1(kApiKey));
        control<QComboBox>("cbModels")->setEditText(QStringLiteral("gemini-2.5-flash"));
    }

    // No request runs and Send is back.
    bool idle() {
        const QPushButton* button = control<QPushButton>("btnSend");
        return !form->RequestRunning() && button->isEnabled() &&
               button->text() == QStringLiteral("Отправить");
    }

    void waitUntilIdle() { ASSERT_TRUE(WaitUntil([&] { return idle(); }, kWaitMs)); }

    // The open chat's file as it is on disk.
    QByteArray savedChat() const {
        QFile file(form->CurrentChatFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    FakeModelService service;
};
