#pragma once

#include "service/RequestTypes.h"
#include "store/AppFolders.h"

#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTimer;
class AttachmentsPanel;
class Dialogs;
class KeyModelPanel;
class PromptEdit;

// The panel under the chat page: the token counts, the prompt box, the attachments, the
// key and model, web search and Send, and the time a request has run. It says what the
// user asks for; the window decides.
class SendPanel : public QWidget {
    Q_OBJECT

public:
    SendPanel(const AppFolders& folders, Dialogs& dialogs, QWidget* parent);

    KeyModelPanel& KeyModel() { return *m_keyModel; }
    AttachmentsPanel& Attachments() { return *m_attachments; }

    QString Prompt() const;
    void SetPrompt(const QString& text);
    void ClearPrompt();
    // After a send: an empty prompt and no files, the next question typed in place.
    void ClearPromptAndAttachments();
    void FocusPrompt();
    bool WebSearch() const;

    // The estimate of what the next request sends, in tokens.
    void ShowContextTokens(int tokens);
    // The service's own counts of the last answer; nothing for none.
    void ShowUsage(const std::optional<TokenUsage>& usage);

    // Send waits while the request is prepared; the timer runs from 00:00.
    void EnterBusyState();
    // While a request runs Send stops it, as Escape in the prompt box does.
    void ShowStopControl();
    void EndBusyState();
    void ShowElapsed(int seconds);
    // A question of the chat is being edited: Escape in the prompt box ends the edit.
    void ShowEditing(bool editing);
    // "Параметры •" while the open chat has parameters of its own.
    void ShowOwnParameters(bool own);

    // True when the key was taken (Ctrl+Enter sends, Escape stops or ends an edit, Up in
    // the empty box asks for the last question).
    bool memoPromptKeyDown(const QKeyEvent* event);
    void Timer1Timer();

Q_SIGNALS:
    // Send, or Stop while a request runs.
    void SendClicked();
    void StopRequested();
    void PromptEdited();
    void ParametersClicked();
    void EditCancelRequested();
    // Up in the empty prompt box: the last question, to edit.
    void LastQuestionRequested();
    // A second of a request's time has passed.
    void Ticked();

private:
    void CreateControlRow(const AppFolders& folders, Dialogs& dialogs);
    void FitPromptToText();

    // A request runs: Send shows "Стоп".
    bool m_stopShown = false;
    bool m_editing = false;

    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* ContextChatTokensLabel = nullptr;
    QLabel* UsageLabel = nullptr;
    PromptEdit* memoPrompt = nullptr;
    QWidget* Panel3 = nullptr;
    KeyModelPanel* m_keyModel = nullptr;
    QCheckBox* chkEnableWebSearch = nullptr;
    QPushButton* btnSend = nullptr;
    QLabel* TimeoutLabel = nullptr;
    QPushButton* btnChatParameters = nullptr;
    AttachmentsPanel* m_attachments = nullptr;
    QTimer* Timer1 = nullptr;
};
