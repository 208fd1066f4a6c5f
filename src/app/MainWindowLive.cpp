// Live answers: the answer shown as it is written, the Stop control, retry notices and
// the service's token counts.
#include "app/MainWindow.h"

#include "page/AnswerBlock.h"
#include "chat/GeminiDM.h"
#include "chat/LiveAnswer.h"
#include "app/LiveAnswerView.h"
#include "page/MessageBlocks.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUuid>

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
    FThinking = false;
    FLiveView->Begin(LiveStatus());
    const QPointer<TForm1> form(this);
    FLiveAnswer =
        FGeminiDM.StreamAnswer(request.apiKey, request.modelName, request.parts, request.webSearch,
                               {[form](const QString& text, bool thinking) {
                                    if (form)
                                        form->LiveAnswerGrew(text, thinking);
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
    if (!FRetryNotice.isEmpty())
        return FRetryNotice;
    return (FThinking ? QStringLiteral("Размышляет… ") : QStringLiteral("Печатает… ")) +
           ElapsedText(FSecondsElapsed);
}

void TForm1::LiveAnswerGrew(const QString& textSoFar, bool thinking) {
    FRetryNotice.clear();
    FThinking = thinking;
    FLiveView->SetStatus(LiveStatus());
    FLiveView->SetText(textSoFar);
}

void TForm1::LiveAnswerRetrying(int seconds) {
    FRetryNotice = QStringLiteral("Повтор через %1 с…").arg(seconds);
    FLiveView->SetStatus(LiveStatus());
}

void TForm1::LiveAnswerEnded(const AnswerEnd& end) {
    FLiveAnswer.reset();
    // A stopped or failed answer has no count: an older one is not shown as if it were.
    FLastUsage = WhatArrived(end.Result).Facts.Usage;
    if (!end.Kept) {
        FLiveView->Finish(QString());
        // With nothing kept the request can be sent again as it was.
        ShowFailedRequest(end.Result.error(), end.Stopped);
        return;
    }
    const THistoryItem& kept = *end.Kept;
    // A connection that broke after part of the answer leaves the answer and a note that
    // can go on; any other failure is told in a block of its own under what was kept.
    const bool brokeOff = kept.FinishReason == kConnectionLost || kept.FinishReason == kAnswerTimedOut;
    AnswerFooting footing{.Stopped = end.Stopped};
    if (CanContinue(kept.FinishReason)) {
        FContinueToken = QUuid::createUuid().toString(QUuid::Id128);
        FContinueRequest = FRunningRequest;
        footing.ContinueToken = FContinueToken;
    }
    if (brokeOff)
        footing.Details = end.Result.error().Text;
    // The finished block is the one a whole answer gets; the footing is the page's alone.
    FLiveView->Finish(BuildModelItemHtml(kept, footing));
    if (!end.Result && !brokeOff) {
        AddFailureMessage(end.Result.error());
        FinishRequest();
        SetStatusText(QStringLiteral("Ошибка"));
        return;
    }
    FinishRequest();
    const QString note = StopNoteText(kept.FinishReason);
    if (!note.isEmpty())
        SetStatusText(note);
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
    ShowFailedRequest({QStringLiteral("Остановлено")}, true);
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
