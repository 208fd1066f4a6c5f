#pragma once

#include "text/Clock.h"
#include "chat/GeminiDM.h"
#include "app/AttachmentsPanel.h"
#include "app/ChatView.h"
#include "app/MainWindow.h"
#include "ScriptedDialogs.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The main window shown offscreen over temporary program and working folders, with
// scripted dialogs and a fixed clock. As at start-up, the window comes first and the
// model-service module right after it.
class WindowTest : public ::testing::Test {
protected:
    static QDateTime DefaultNow() { return QDateTime(QDate(2025, 3, 1), QTime(14, 25, 30)); }

    // A test that prepares files before the window starts passes showAtSetUp = false
    // and calls showWindow() itself.
    explicit WindowTest(QDateTime now = DefaultNow(), bool showAtSetUp = true)
        : m_now(std::move(now)), m_showAtSetUp(showAtSetUp) {}

    void SetUp() override {
        ASSERT_TRUE(programDir.isValid() && workingDir.isValid());
        Clock::setSource([now = m_now] { return now; });
        if (m_showAtSetUp)
            showWindow();
    }

    void TearDown() override {
        form.reset();
        geminiDM.reset();
        Clock::setSource({});
    }

    void showWindow() {
        geminiDM = std::make_unique<TGeminiDM>();
        form = std::make_unique<TForm1>(AppFolders{programDir.path(), workingDir.path()}, dialogs,
                                        *geminiDM);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // A control of the window, found by its object name as the window sets it.
    template <typename Control> Control* control(const char* name) const {
        Control* found = form->findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The files attached to the next prompt.
    AttachmentsPanel& attachments() const { return *control<AttachmentsPanel>("AttachmentsPanel"); }

    QString chatPath(const QString& fileName) const {
        return QDir(programDir.filePath(QStringLiteral("chats"))).filePath(fileName);
    }

    QTemporaryDir programDir;
    QTemporaryDir workingDir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TGeminiDM> geminiDM;

private:
    QDateTime m_now;
    bool m_showAtSetUp;
};
