// Live answers: the answer shown as it is written, the Stop control, retry notices and
// the service's token counts.
#include "MainWindow.h"

#include "GeminiDM.h"
#include "LiveAnswer.h"
#include "LiveAnswerView.h"
#include "MessageBlocks.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kStopCaption = QStringLiteral("Стоп");

} // namespace

bool TForm1::RequestRunning() const {
    return (FLiveAnswer && FLiveAnswer->Running()) || FImageCancel;
}

void TForm1::StartLiveAnswer(const SentRequest& request) {
    if (!FLiveView)
        FLiveView = new LiveAnswerView(*FChatPage, this);
    LoadBaseHtml();
    FRetryNotice.clear();
    FLiveView->Begin(LiveStatus());
    const QPointer<TForm1> form(this);
    FLiveAnswer =
        GeminiDM->StreamAnswer(request.apiKey, request.modelName, request.parts, request.webSearch,
                               {[form](const QString& text) {
                                    if (form)
                                        form->LiveAnswerGrew(text);
                                },
                                [form](int seconds) {
                                    if (form)
                                        form->LiveAnswerRetrying(seconds);
                                },
                                [form](const AnswerEnd& end) {
                                    if (form)
                                        form->LiveAnswerEnded(end);
                                }});
}

// While a request runs the Send button stops it.
void TForm1::ShowStopControl() {
    btnSend->setText(kStopCaption);
    btnSend->setEnabled(true);
}

QString TForm1::LiveStatus() const {
    return FRetryNotice.isEmpty() ? QStringLiteral("Печатает… ") + ElapsedText(FSecondsElapsed)
                                  : FRetryNotice;
}

void TForm1::LiveAnswerGrew(const QString& textSoFar) {
    FRetryNotice.clear();
    FLiveView->SetStatus(LiveStatus());
    FLiveView->SetText(textSoFar);
}

void TForm1::LiveAnswerRetrying(int seconds) {
    FRetryNotice = QStringLiteral("Повтор через %1 с…").arg(seconds);
    FLiveView->SetStatus(LiveStatus());
}

void TForm1::LiveAnswerEnded(const AnswerEnd& end) {
    FLiveAnswer.reset();
    // The finished block is the one a whole answer gets; the stop mark is the page's alone.
    QString html;
    if (!end.Text.isEmpty()) {
        html = BuildModelMessageHtml(end.Text) + BuildSourcesHtml(end.Outcome.Facts.Sources);
        if (end.Stopped)
            html += BuildStoppedMarkHtml();
    }
    FLiveView->Finish(html);
    // A stopped or failed answer has no count: an older one is not shown as if it were.
    FLastUsage = end.Outcome.Facts.Usage;
    if (!end.Outcome.IsFailure) {
        FinishRequest();
        return;
    }
    // With nothing kept the request can be sent again as it was; what arrived of a
    // broken-off answer stays in the chat, and the block says why it ends there.
    if (end.Text.isEmpty()) {
        ShowFailedRequest(end.Outcome, end.Stopped);
        return;
    }
    AddFailureMessage(end.Outcome);
    FinishRequest();
    SetStatusText(QStringLiteral("Ошибка"));
}

void TForm1::StopRequest() {
    if (FLiveAnswer) {
        // Ends the answer, and with it the busy state, before it returns.
        FLiveAnswer->Stop();
        return;
    }
    if (!FImageCancel)
        return;
    FImageCancel->store(true);
    FImageCancel.reset();
    ShowFailedRequest({QStringLiteral("Остановлено"), true}, true);
}

void TForm1::ShowUsage() {
    if (!FLastUsage) {
        UsageLabel->clear();
        UsageLabel->setToolTip(QString());
        return;
    }
    const TokenUsage& usage = *FLastUsage;
    UsageLabel->setText(QStringLiteral("точно:\nзапрос %1\nответ %2\nмысли %3\nвсего %4")
                            .arg(usage.Prompt)
                            .arg(usage.Answer)
                            .arg(usage.Thinking)
                            .arg(usage.Total));
    UsageLabel->setToolTip(
        QStringLiteral("Последний ответ по счёту сервиса: запрос %1, ответ %2, размышления %3, "
                       "всего %4 токенов")
            .arg(usage.Prompt)
            .arg(usage.Answer)
            .arg(usage.Thinking)
            .arg(usage.Total));
}
