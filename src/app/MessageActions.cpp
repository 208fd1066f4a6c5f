#include "app/MessageActions.h"

#include "app/AttachmentsPanel.h"
#include "app/ChatPage.h"
#include "app/ChatView.h"
#include "app/Dialogs.h"
#include "app/Guarded.h"
#include "app/KeyModelPanel.h"
#include "app/SendPanel.h"
#include "chat/GeminiDM.h"
#include "chat/SendCheck.h"
#include "page/ConversationHtml.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

// The files a question was sent with, as its message keeps them.
TContentParts filesOf(const THistoryItem& item) {
    TContentParts files;
    for (const TContentPart& part : item.Parts) {
        if (part.PartType == TPartType::ptInlineData)
            files.append(part);
    }
    return files;
}

QStringList namesOf(const TContentParts& files) {
    QStringList names;
    for (const TContentPart& part : files)
        names.append(AttachmentName(part));
    return names;
}

QString deletionQuestion(const THistoryItem& item, const MessageRange& range) {
    if (item.Role != u"user")
        return u"Удалить ответ?"_s;
    return range.Count > 1 ? u"Удалить вопрос и ответ на него?"_s : u"Удалить вопрос?"_s;
}

} // namespace

MessageActions::MessageActions(TGeminiDM& conversation, const RequestSession& session,
                               ChatView& view, SendPanel& sendPanel, Dialogs& dialogs,
                               std::function<ChatSave()> save, QObject* parent)
    : QObject(parent), m_conversation(conversation), m_session(session), m_view(view),
      m_sendPanel(sendPanel), m_dialogs(dialogs), m_save(std::move(save)) {
    ConnectGuarded(&m_sendPanel, &SendPanel::EditCancelRequested, this, m_dialogs,
                   [this] { CancelEdit(); });
    ConnectGuarded(&m_sendPanel, &SendPanel::LastQuestionRequested, this, m_dialogs,
                   [this] { EditLastQuestion(); });
}

void MessageActions::Run(MessageAction action, qsizetype index) {
    if (index < 0 || index >= m_conversation.ChatHistory().size())
        return;
    if (action == MessageAction::Copy) {
        Copy(index);
        return;
    }
    // The conversation is the request's until it ends; another chat shown meanwhile may
    // lose messages, but sends nothing.
    const bool requestsChat = m_session.RunningChat() == m_conversation.Chat();
    if (m_session.Running() && (requestsChat || action != MessageAction::Delete)) {
        Q_EMIT StatusMessage(u"Дождитесь конца ответа или остановите его"_s);
        return;
    }
    switch (action) {
    case MessageAction::Copy:
        break;
    case MessageAction::Edit:
        EditQuestion(index);
        break;
    case MessageAction::Regenerate:
        NewAnswer(index);
        break;
    case MessageAction::Delete:
        Delete(index);
        break;
    }
}

void MessageActions::EditLastQuestion() {
    const TChatHistory& history = m_conversation.ChatHistory();
    for (qsizetype index = history.size() - 1; index >= 0; --index) {
        if (history[index].Role == u"user") {
            Run(MessageAction::Edit, index);
            return;
        }
    }
}

void MessageActions::Copy(qsizetype index) {
    const QString text = AnswerText(m_conversation.ChatHistory()[index].Parts);
    if (text.isEmpty()) {
        Q_EMIT StatusMessage(u"В сообщении нет текста"_s);
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    Q_EMIT StatusMessage(u"Сообщение скопировано"_s);
}

void MessageActions::EditQuestion(qsizetype index) {
    const THistoryItem& question = m_conversation.ChatHistory()[index];
    if (question.Role != u"user")
        return;
    AttachmentsPanel& attachments = m_sendPanel.Attachments();
    // Another question taken up instead keeps the draft of before the first.
    if (!m_edit)
        m_edit = Edit{0, m_sendPanel.Prompt(), attachments.AttachedFiles(), attachments.KeptFiles()};
    m_edit->Index = index;
    m_sendPanel.SetPrompt(AnswerText(question.Parts));
    attachments.SetAttachedFiles({});
    attachments.SetKeptFiles(filesOf(question));
    ShowEdit();
}

void MessageActions::ShowEdit() {
    m_view.Page().MarkEditedQuestion(m_edit->Index);
    m_sendPanel.ShowEditing(true);
    m_sendPanel.FocusPrompt();
    Q_EMIT StatusMessage(u"Изменение вопроса: отправьте его заново или нажмите Esc для отмены"_s);
}

void MessageActions::CancelEdit() {
    if (!m_edit)
        return;
    const Edit edit = *std::exchange(m_edit, std::nullopt);
    m_sendPanel.SetPrompt(edit.Prompt);
    m_sendPanel.Attachments().SetAttachedFiles(edit.Files);
    m_sendPanel.Attachments().SetKeptFiles(edit.KeptFiles);
    m_sendPanel.ShowEditing(false);
    m_view.Page().MarkEditedQuestion(-1);
    Q_EMIT StatusMessage(u"Изменение отменено"_s);
}

std::optional<TChatHistory> MessageActions::TakeEditedQuestion() {
    TChatHistory& history = m_conversation.ChatHistory();
    // The question may have gone since (sent again by "Повторить"): the edit then follows.
    const qsizetype index = std::min(m_edit->Index, history.size());
    if (index + 1 < history.size() &&
        !m_dialogs.AskYesNo(u"Изменить вопрос? Ответы после него будут удалены."_s,
                            Dialogs::QuestionIcon::Question))
        return std::nullopt;
    TChatHistory before = history;
    history.resize(index);
    m_view.RemoveMessages({index, before.size() - index});
    m_edit->Sent = true;
    return before;
}

void MessageActions::SendEnded(bool restored) {
    if (!m_edit || !m_edit->Sent)
        return;
    if (!restored) {
        m_edit.reset();
        m_sendPanel.ShowEditing(false);
        return;
    }
    m_edit->Sent = false;
    AttachmentsPanel& attachments = m_sendPanel.Attachments();
    if (m_sendPanel.Prompt().isEmpty() && attachments.Count() == 0) {
        const SentRequest& failed = m_session.FailedRequest();
        m_sendPanel.SetPrompt(failed.Prompt);
        attachments.SetAttachedFiles(failed.Files);
        attachments.SetKeptFiles(failed.KeptFiles);
    }
    ShowEdit();
}

void MessageActions::Forget() {
    if (!m_edit)
        return;
    m_edit.reset();
    m_sendPanel.ShowEditing(false);
}

void MessageActions::NewAnswer(qsizetype index) {
    TChatHistory& history = m_conversation.ChatHistory();
    if (index != LastAnswerIndex(history))
        return;
    CancelEdit();
    const THistoryItem& question = history[index - 1];
    const KeyModelPanel& keyModel = m_sendPanel.KeyModel();
    SentRequest request{.ApiKey = keyModel.ApiKey(),
                        .ModelName = keyModel.ModelName(),
                        .Prompt = AnswerText(question.Parts),
                        .KeptFiles = filesOf(question),
                        .Parts = question.Parts,
                        .Image = IsImageModel(keyModel.ModelName()),
                        .WebSearch = m_sendPanel.WebSearch() && !IsImageModel(keyModel.ModelName())};
    const QStringList names = namesOf(request.KeptFiles);
    if (const std::optional<SendRefusal> refusal =
            CheckSend(request.ApiKey, request.ModelName, request.Prompt, names)) {
        m_dialogs.ShowMessage(refusal->Message);
        return;
    }
    request.Replaced = history;
    history.resize(index - 1);
    m_view.RemoveMessages({index - 1, 2});
    Q_EMIT SendRequested(request, names);
}

void MessageActions::Delete(qsizetype index) {
    TChatHistory& history = m_conversation.ChatHistory();
    const MessageRange range = DeletionRange(history, index);
    if (!m_dialogs.AskYesNo(deletionQuestion(history[index], range),
                            Dialogs::QuestionIcon::Question))
        return;
    const TChatHistory before = history;
    history.remove(range.First, range.Count);
    if (const ChatSave save = m_save(); !save) {
        m_conversation.SetChatHistory(before);
        m_dialogs.ShowMessage(save.error().Message);
        return;
    }
    if (m_edit && m_edit->Index >= range.First) {
        if (m_edit->Index < range.First + range.Count)
            CancelEdit();
        else
            m_edit->Index -= range.Count;
    }
    m_view.RemoveMessages(range);
    Q_EMIT StatusMessage(u"Сообщение удалено"_s);
}
