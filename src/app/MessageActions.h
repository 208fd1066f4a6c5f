#pragma once

#include "chat/ChatLibrary.h"
#include "chat/RequestSession.h"
#include "page/MessageActionBar.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ChatView;
class Dialogs;
class SendPanel;
class TGeminiDM;

// What the action bars of the chat page's messages do: copy a message, edit a question,
// ask for a new last answer, delete a message. The conversation, the page and the prompt
// box follow each; the chat is saved only when a deletion or a request that replaced part
// of it has succeeded, so a failure leaves the file and the page as they were.
class MessageActions : public QObject {
    Q_OBJECT

public:
    // save writes the chat (the window's save, which also shows it in the list).
    MessageActions(TGeminiDM& conversation, const RequestSession& session, ChatView& view,
                   SendPanel& sendPanel, Dialogs& dialogs, std::function<ChatSave()> save,
                   QObject* parent);

    // The action a message's bar asked for.
    void Run(MessageAction action, qsizetype index);

    // The conversation's last question, to edit; nothing while a request runs.
    void EditLastQuestion();
    // A question is being edited: the next send replaces it.
    bool Editing() const { return m_edit.has_value(); }
    // Puts back what the prompt box held before the edit.
    void CancelEdit();
    // For the send of the edited question: asks first when answers would be lost (the
    // default is no), then takes the question and everything after it off the conversation
    // and the page. The conversation as it was, for the request to put back if it fails;
    // nothing when the user keeps it.
    std::optional<TChatHistory> TakeEditedQuestion();
    // The send of the edited question ended: the edit is done, or, when nothing came and
    // the conversation was put back, goes on with its text and files back in the prompt
    // box (the session's failed request) unless the box holds something else.
    void SendEnded(bool restored);
    // Another chat is shown: an edit of this one's question ends.
    void Forget();

Q_SIGNALS:
    // Send this request, which asks for a new answer to the question shown with these
    // attachment names.
    void SendRequested(const SentRequest& request, const QStringList& names);
    void StatusMessage(const QString& text);

private:
    struct Edit {
        qsizetype Index = 0;
        // What the prompt box held before.
        QString Prompt;
        QStringList Files;
        TContentParts KeptFiles;
        // Its send is running.
        bool Sent = false;
    };

    void Copy(qsizetype index);
    void EditQuestion(qsizetype index);
    void NewAnswer(qsizetype index);
    void Delete(qsizetype index);
    void ShowEdit();

    TGeminiDM& m_conversation;
    const RequestSession& m_session;
    ChatView& m_view;
    SendPanel& m_sendPanel;
    Dialogs& m_dialogs;
    std::function<ChatSave()> m_save;
    std::optional<Edit> m_edit;
};
