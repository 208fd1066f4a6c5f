// The send flow: from the prompt box to the request, the busy state while it runs, and
// the answer rendered and saved.
#include "MainWindow.h"

#include "ApiKeyStatsU.h"
#include "AttachmentPreparation.h"
#include "Dialogs.h"
#include "GeminiDM.h"
#include "JsonText.h"
#include "LiveAnswerView.h"
#include "PromptEdit.h"
#include "SendCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kKeyHelpPage = QStringLiteral("AddKey.html");
const QString kKeyPageAddress = QStringLiteral("https://aistudio.google.com/api-keys");

// A member read as a string; a missing one reads as empty, an object or array as nothing.
std::optional<QString> memberAsString(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1StringView(name));
    return value.isUndefined() ? QString() : JsonValueAsString(value);
}

} // namespace

// The key help page beside the program, or else the address where a key is made.
void TForm1::ShowWhereKeysComeFrom() {
    const QString helpPage = FFolders.inProgramDir(kKeyHelpPage);
    if (QFileInfo::exists(helpPage))
        WebBrowser1->setUrl(QUrl::fromLocalFile(helpPage));
    else
        FDialogs.ShowMessage(QStringLiteral("Пожалуйста создайте ключ ") + kKeyPageAddress);
}

void TForm1::btnSendClick() {
    if (RequestRunning()) {
        StopRequest();
        return;
    }
    const QString apiKey = editApiKey->currentText();
    const QString modelName = cbModels->currentText();
    const QStringList files = FAttachedFiles;
    if (const std::optional<SendRefusal> refusal =
            CheckSend(apiKey, modelName, memoPrompt->toPlainText(), files)) {
        FDialogs.ShowMessage(refusal->message);
        if (refusal->keyMissing)
            ShowWhereKeysComeFrom();
        return;
    }
    const bool imageRequest = IsImageModel(modelName);

    EnterBusyState();
    ShowRequestCount(IncrementTodayRequestCount(FFolders.programDir, apiKey, modelName));
    // Paint the busy state before the work below; the user's input waits until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const QString prompt = memoPrompt->toPlainText();
    // The files were read above, before the key help page is replaced by a new chat,
    // which empties the lists.
    if (WebBrowser1->url().toString().contains(kKeyHelpPage))
        btnNewChatClick();
    ListBox2->setEnabled(false);
    btnNewChat->setEnabled(false);
    AddUserMessage(prompt, files);

    if (imageRequest) {
        ClearPromptAndAttachments();
        const QPointer<TForm1> form(this);
        FImageCancel = MakeCancelFlag();
        GeminiDM->GenerateImage(
            apiKey, modelName, prompt,
            [form](const QString& result) {
                if (form)
                    form->ImageRequestDone(result);
            },
            FImageCancel);
        ShowStopControl();
        ScrollChatToBottom();
        return;
    }
    SendTextRequest(apiKey, modelName, prompt, files);
}

// Reading and encoding up to 16 files of 20 MiB runs off the user-interface thread;
// the window stays busy and responsive meanwhile.
void TForm1::SendTextRequest(const QString& apiKey, const QString& modelName, const QString& prompt,
                             const QStringList& files) {
    auto* reader = new QFutureWatcher<Expected<TContentParts>>(this);
    ConnectGuarded(
        reader, &QFutureWatcherBase::finished, [this, reader, apiKey, modelName, prompt] {
            reader->deleteLater();
            const Expected<TContentParts> attachments = reader->result();
            if (!attachments) {
                AddModelMessage(attachments.error());
                EndBusyState();
                return;
            }
            TContentParts parts{MakeTextPart(prompt)};
            parts.append(*attachments);
            ClearPromptAndAttachments();
            StartLiveAnswer(apiKey, modelName, parts);
            ScrollChatToBottom();
        });
    reader->setFuture(QtConcurrent::run(PrepareAttachments, files));
}

void TForm1::ClearPromptAndAttachments() {
    memoPrompt->clear();
    SetAttachedFiles({});
    memoPrompt->setFocus();
}

void TForm1::EnterBusyState() {
    btnSend->setEnabled(false);
    SetStatusText(QStringLiteral("Отправка запроса..."));
    FSecondsElapsed = 0;
    TimeoutLabel->setText(QStringLiteral("00:00"));
    TimeoutLabel->show();
    Timer1->start();
}

void TForm1::EndBusyState() {
    Timer1->stop();
    TimeoutLabel->hide();
    btnSend->setText(QStringLiteral("Отправить"));
    btnSend->setEnabled(true);
    SetStatusText(QStringLiteral("Готово"));
    ListBox2->setEnabled(true);
    btnNewChat->setEnabled(true);
}

void TForm1::ImageRequestDone(const QString& result) {
    FImageCancel.reset();
    Timer1->stop();
    TimeoutLabel->hide();
    ShowImageAnswer(result);
    FinishRequest();
    ScrollChatToBottom();
}

void TForm1::ShowImageAnswer(const QString& result) {
    const std::optional<QJsonValue> parsed = ParseJsonText(result.toUtf8());
    if (!parsed || !parsed->isObject()) {
        AddModelMessage(result); // typically a failure text
        return;
    }
    const QJsonObject image = parsed->toObject();
    const std::optional<QString> mimeType = memberAsString(image, "mime_type");
    const std::optional<QString> base64 = memberAsString(image, "base64_data");
    if (!mimeType || !base64)
        AddModelMessage(result);
    else if (mimeType->isEmpty() || base64->isEmpty())
        AddModelMessage(QStringLiteral("Ошибка: получен некорректный JSON от модели."));
    else
        AddImageMessage(*mimeType, *base64);
}

// Saves the chat and leaves the busy state. A save that fails is reported once the
// window is usable again, so the answer never leaves it stuck.
void TForm1::FinishRequest() {
    const ChatSave save = SaveCurrentChat();
    EndBusyState();
    UpdateContextTokens();
    ShowUsage();
    if (save.failed())
        FDialogs.ShowMessage(save.message);
}

void TForm1::Timer1Timer() {
    ++FSecondsElapsed;
    TimeoutLabel->setText(
        QString::asprintf("%.2d:%.2d", FSecondsElapsed / 60, FSecondsElapsed % 60));
    if (FLiveAnswer)
        FLiveView->SetStatus(LiveStatus());
}

void TForm1::ShowFailure(const QString& text) {
    AddModelMessage(text);
}

bool TForm1::memoPromptKeyDown(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier && RequestRunning()) {
        StopRequest();
        return true;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || modifiers != Qt::ControlModifier)
        return false;
    // While a request runs the button stops it; the shortcut only ever sends.
    if (!RequestRunning())
        btnSend->click();
    return true;
}
