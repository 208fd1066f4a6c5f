// The connection settings in the window: settings.ini at start, the "Настройки" dialog
// with its check against a loopback service, and the model list refresh.
#include "EventWait.h"
#include "FakeModelService.h"
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "app/SettingsDialog.h"
#include "text/ListFile.h"
#include "WindowTest.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

constexpr int kWaitMs = 20000;

const std::string kFirstPage = R"({"models":[
    {"name":"models/gemini-2.5-pro","supportedGenerationMethods":["generateContent"]},
    {"name":"models/text-embedding-004","supportedGenerationMethods":["embedContent"]}
  ],"nextPageToken":"p2"})";
const std::string kSecondPage = R"({"models":[
    {"name":"models/gemini-3-flash","supportedGenerationMethods":["generateContent"]}]})";

FakeReply pagedModels(const FakeRequest& request) {
    return FakeReply::json(request.target.find("pageToken=p2") == std::string::npos ? kFirstPage
                                                                                    : kSecondPage);
}

QStringList entries(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

class SettingsWindowTest : public WindowTest {
protected:
    // settings.ini is read at the first show, so each test writes its files first.
    SettingsWindowTest() : WindowTest(DefaultNow(), false) {}

    // As main() does: the command line's address reaches the window before it shows.
    void start(const QString& baseUrlOverride = {}) {
        geminiDM = std::make_unique<TGeminiDM>();
        form = std::make_unique<TForm1>(AppFolders{programDir.path(), workingDir.path()}, dialogs,
                                        *geminiDM);
        form->SetBaseUrlOverride(baseUrlOverride);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        control<QComboBox>("editApiKey")->setEditText(u"KEY"_s);
    }

    QString settingsPath() const { return workingDir.filePath(u"settings.ini"_s); }

    void write(const QString& path, const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    SettingsDialog* openSettings() {
        control<QPushButton>("btnSettings")->click();
        auto* dialog = form->findChild<SettingsDialog*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }

    template <typename Control> static Control* in(QWidget* dialog, const char* name) {
        auto* found = dialog->findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Sets the dialog to reach the service directly at `address`.
    static void enterDirect(QWidget* dialog, const QString& address) {
        in<QLineEdit>(dialog, "editBaseUrl")->setText(address);
        in<QRadioButton>(dialog, "rbProxyNone")->setChecked(true);
    }

    static QString awaitResult(QWidget* dialog, const QString& start) {
        QLabel* result = in<QLabel>(dialog, "lblCheckResult");
        EXPECT_TRUE(WaitUntil([&] { return result->text().startsWith(start); }, kWaitMs))
            << result->text().toStdString();
        return result->text();
    }

    std::string serviceUrl() const { return service.baseUrl(); }

    FakeModelService service;
};

TEST_F(SettingsWindowTest, DamagedSettingsFileIsReportedOnceAndTheDefaultsServe) {
    write(settingsPath(), "\x01\x02 not settings at all\n");
    write(workingDir.filePath(u"Models.txt"_s), "my-model\r\n");
    start();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(settingsPath())) << dialogs.messages[0].toStdString();
    EXPECT_EQ(geminiDM->BaseUrl(), u"https://generativelanguage.googleapis.com"_s);
    EXPECT_EQ(geminiDM->ReadTimeoutMs(), 480000);
    // Nothing else is lost, and the damaged file waits for the user to save.
    EXPECT_EQ(entries(control<QComboBox>("cbModels")), QStringList{u"my-model"_s});
    EXPECT_EQ(read(settingsPath()), QByteArray("\x01\x02 not settings at all\n"));
    form->hide();
    form->show();
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(SettingsWindowTest, SettingsFromTheFileReachRequestsAndTheCommandLineAddressWins) {
    write(settingsPath(), "[Service]\nAddress=https://gateway.example.org\nTimeoutSeconds=30\n"
                          "[Proxy]\nMode=none\n");
    start(u"http://127.0.0.1:9"_s);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(geminiDM->BaseUrl(), u"http://127.0.0.1:9"_s);
    EXPECT_EQ(geminiDM->Endpoint().ReadTimeoutMs, 30000);
    EXPECT_EQ(geminiDM->Endpoint().Proxy.Mode, ProxyMode::None);

    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    // The dialog edits what the file holds and says what this run uses instead.
    EXPECT_EQ(in<QLineEdit>(dialog, "editBaseUrl")->text(), u"https://gateway.example.org"_s);
    EXPECT_TRUE(in<QLabel>(dialog, "lblBaseUrlOverride")->text().contains(u"http://127.0.0.1:9"_s));
    in<QSpinBox>(dialog, "spinTimeout")->setValue(45);
    in<QPushButton>(dialog, "btnSave")->click();

    EXPECT_FALSE(dialog->isVisible());
    const QByteArray saved = read(settingsPath());
    EXPECT_TRUE(saved.contains("TimeoutSeconds=45")) << saved.data();
    EXPECT_TRUE(saved.contains("Address=https://gateway.example.org")) << saved.data();
    EXPECT_FALSE(saved.contains("127.0.0.1:9")) << saved.data();
    EXPECT_EQ(geminiDM->BaseUrl(), u"http://127.0.0.1:9"_s);
    EXPECT_EQ(geminiDM->ReadTimeoutMs(), 45000);
}

TEST_F(SettingsWindowTest, WrongSettingsStayInTheDialogUnsaved) {
    start();
    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    in<QRadioButton>(dialog, "rbProxyManual")->setChecked(true);
    EXPECT_TRUE(in<QLineEdit>(dialog, "editProxyAddress")->isEnabled());
    in<QLineEdit>(dialog, "editProxyAddress")->setText(u"proxy.example.org:3128"_s);
    in<QPushButton>(dialog, "btnSave")->click();

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(in<QLabel>(dialog, "lblCheckResult")->text().startsWith(u"Адрес прокси"_s));
    EXPECT_FALSE(QFile::exists(settingsPath()));
    in<QRadioButton>(dialog, "rbProxyEnvironment")->setChecked(true);
    EXPECT_FALSE(in<QLineEdit>(dialog, "editProxyAddress")->isEnabled());
    in<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SettingsWindowTest, CheckSaysWhatHappenedWithTheTechnicalTextFolded) {
    start();
    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    enterDirect(dialog, QString::fromStdString(serviceUrl()));

    service.respond(pagedModels);
    in<QPushButton>(dialog, "btnCheck")->click();
    EXPECT_EQ(awaitResult(dialog, u"Связь есть"_s),
              u"Связь есть: ключ принят, моделей для ответов: 2."_s);
    EXPECT_FALSE(in<QToolButton>(dialog, "btnDetails")->isVisible());
    EXPECT_EQ(service.requests().front().headers.find("x-goog-api-key")->second, "KEY");

    service.respond({});
    service.reply(FakeReply::json(R"({"error":{"message":"API key not valid."}})", 400));
    in<QPushButton>(dialog, "btnCheck")->click();
    awaitResult(dialog, u"Сервис ответил, но не принял ключ API."_s);
    QToolButton* details = in<QToolButton>(dialog, "btnDetails");
    EXPECT_TRUE(details->isVisible());
    EXPECT_FALSE(in<QPlainTextEdit>(dialog, "memoDetails")->isVisible());
    details->click();
    EXPECT_TRUE(in<QPlainTextEdit>(dialog, "memoDetails")->isVisible());
    EXPECT_TRUE(in<QPlainTextEdit>(dialog, "memoDetails")
                    ->toPlainText()
                    .startsWith(u"Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)"_s));
    // Checking saves nothing.
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SettingsWindowTest, CheckGoesThroughTheProxyEntered) {
    start();
    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    in<QLineEdit>(dialog, "editBaseUrl")->setText(u"http://service.invalid"_s);
    in<QRadioButton>(dialog, "rbProxyManual")->setChecked(true);
    in<QLineEdit>(dialog, "editProxyAddress")->setText(QString::fromStdString(serviceUrl()));
    service.respond(pagedModels);
    in<QPushButton>(dialog, "btnCheck")->click();
    awaitResult(dialog, u"Связь есть"_s);
    EXPECT_EQ(service.requests().front().target,
              "http://service.invalid/v1beta/models?pageSize=1000");

    // A proxy where nothing listens.
    const std::string gone = std::make_unique<FakeModelService>()->baseUrl();
    in<QLineEdit>(dialog, "editProxyAddress")->setText(QString::fromStdString(gone));
    in<QPushButton>(dialog, "btnCheck")->click();
    awaitResult(dialog, u"Не удалось связаться с сервисом через этот прокси."_s);
}

TEST_F(SettingsWindowTest, RefreshMergesTheServicesModelsIntoTheListFile) {
    write(workingDir.filePath(u"Models.txt"_s), "my-tuned-model\r\nGEMINI-2.5-PRO\r\n");
    start();
    geminiDM->SetBaseUrl(QString::fromStdString(serviceUrl()));
    service.respond(pagedModels);
    QComboBox* models = control<QComboBox>("cbModels");
    models->setEditText(u"typed-but-not-saved"_s);

    control<QAction>("RefreshModelsItem")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return form->StatusText().contains(u"обновлён"_s); }, kWaitMs))
        << form->StatusText().toStdString();
    EXPECT_EQ(form->StatusText(), u"Список моделей обновлён: новых моделей 1."_s);
    const QStringList expected{u"my-tuned-model"_s, u"GEMINI-2.5-PRO"_s, u"gemini-3-flash"_s};
    EXPECT_EQ(entries(models), expected);
    EXPECT_EQ(models->currentText(), u"typed-but-not-saved"_s);
    EXPECT_EQ(read(workingDir.filePath(u"Models.txt"_s)),
              QByteArray("my-tuned-model\r\nGEMINI-2.5-PRO\r\ngemini-3-flash\r\n"));
    EXPECT_EQ(service.requests().size(), 2u);

    // From the dialog the same, and nothing new the second time.
    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    enterDirect(dialog, QString::fromStdString(serviceUrl()));
    in<QPushButton>(dialog, "btnRefreshModels")->click();
    awaitResult(dialog, u"Список моделей обновлён: новых моделей 0 из 2."_s);
    EXPECT_EQ(entries(models), expected);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A listing far longer than Models.txt may grow: the list takes what the file can hold, says
// how many names were left out, and the file reads back whole.
TEST_F(SettingsWindowTest, RefreshOfAHugeListingKeepsTheModelListReadable) {
    constexpr int kListed = 100000;
    std::string listing = R"({"models":[)";
    for (int i = 0; i < kListed; ++i)
        listing += (i > 0 ? "," : "") +
                   QStringLiteral(R"({"name":"models/gemini-exp-%1",)")
                       .arg(i, 6, 10, QChar(u'0'))
                       .toStdString() +
                   R"("supportedGenerationMethods":["generateContent"]})";
    service.reply(FakeReply::json(listing + "]}"));
    const QString modelsFile = workingDir.filePath(u"Models.txt"_s);
    write(modelsFile, "my-model\r\n");
    start();
    geminiDM->SetBaseUrl(QString::fromStdString(serviceUrl()));

    control<QAction>("RefreshModelsItem")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return form->StatusText().contains(u"обновлён"_s); }, kWaitMs))
        << form->StatusText().toStdString();
    const Expected<ListFile> kept = ReadListFile(modelsFile);
    ASSERT_TRUE(kept) << kept.error().toStdString();
    const qsizetype added = kept->lines.size() - 1;
    EXPECT_GT(added, 1000);
    EXPECT_EQ(entries(control<QComboBox>("cbModels")), kept->lines);
    EXPECT_EQ(form->StatusText(), u"Список моделей обновлён: новых моделей %1."_s.arg(added));
    EXPECT_EQ(dialogs.messages,
              QStringList{u"Новых имён моделей не добавлено: %1. Файл Models.txt не может быть "
                          u"больше 1 МБ."_s.arg(kListed - added)});
}

TEST_F(SettingsWindowTest, FailedRefreshIsReportedAndChangesNothing) {
    write(workingDir.filePath(u"Models.txt"_s), "my-tuned-model\r\n");
    start();
    geminiDM->SetBaseUrl(QString::fromStdString(serviceUrl()));
    service.reply(FakeReply::json(R"({"error":{"message":"quota"}})", 429));
    control<QAction>("RefreshModelsItem")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages.isEmpty(); }, kWaitMs));
    EXPECT_EQ(dialogs.messages.value(0),
              u"Ошибка HTTP: HTTP/1.1 429 Too Many Requests (Код: 429)\r\nОтвет: quota"_s);
    EXPECT_EQ(form->StatusText(), u"Список моделей не обновлён."_s);
    EXPECT_EQ(entries(control<QComboBox>("cbModels")), QStringList{u"my-tuned-model"_s});
    EXPECT_EQ(read(workingDir.filePath(u"Models.txt"_s)), QByteArray("my-tuned-model\r\n"));
    EXPECT_TRUE(control<QAction>("RefreshModelsItem")->isEnabled());
}

TEST_F(SettingsWindowTest, DialogAtItsMinimumSizeCutsNoText) {
    start(u"http://127.0.0.1:9"_s);
    SettingsDialog* dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    dialog->resize(dialog->minimumSize());
    ASSERT_TRUE(WaitUntil([&] { return dialog->isVisible(); }, kWaitMs));
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (!child->isVisible() ||
            (!qobject_cast<QLabel*>(child) && !qobject_cast<QAbstractButton*>(child)))
            continue;
        const auto* label = qobject_cast<QLabel*>(child);
        if (label && label->wordWrap())
            continue;
        EXPECT_GE(child->width(), child->minimumSizeHint().width())
            << child->objectName().toStdString() << " "
            << (label ? label->text() : qobject_cast<QAbstractButton*>(child)->text())
                   .toStdString();
    }
}

} // namespace
