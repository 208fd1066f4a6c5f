#pragma once

#include "conversation/ConversationModel.h"
#include "service/RequestTypes.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct ChatState;

// How a streamed answer ended.
struct AnswerEnd {
    // The answer, with everything that arrived in order (answer text, thoughts, pictures,
    // calls and code) and what it told; or a failure (nothing to show as an answer, or the
    // request broke off; its text and cause say why) with what had arrived before it.
    RequestResult Result = {};
    // The user stopped it.
    bool Stopped = false;
    // The model message the conversation took, when anything was kept.
    std::optional<THistoryItem> Kept = {};
};

// What the caller is told while a streamed answer comes in, always on the user-interface
// thread. Ended comes exactly once, after the conversation has taken what arrived.
struct LiveAnswerEvents {
    // The answer text so far (thoughts left out), and whether the model is still only
    // thinking: thoughts came, no answer yet.
    std::function<void(const QString& textSoFar, bool thinking)> Grew;
    std::function<void(int seconds)> Retrying;
    std::function<void(const AnswerEnd&)> Ended;
};

// A streamed text answer on its way (TGeminiDM::StreamAnswer). What arrived is kept in the
// conversation however the answer ends (finished, stopped, or broken off) when it holds
// anything but thoughts; otherwise the request's message is marked as failed.
class LiveAnswer : public std::enable_shared_from_this<LiveAnswer> {
public:
    LiveAnswer(std::shared_ptr<ChatState> AChat, qsizetype AUserIndex, LiveAnswerEvents AEvents);

    // Ends the answer now with what has arrived and abandons the transfer; Ended has run
    // when this returns. Nothing once the answer has ended.
    void Stop();
    bool Running() const { return m_running; }
    // The answer text so far (thoughts left out).
    const QString& Text() const { return m_text; }

    const CancelFlag& Cancel() const { return m_cancel; }
    // Takes one delivery of the request thread.
    void Deliver(const StreamDelivery& ADelivery);

private:
    void End(AnswerEnd AEnd);
    // Why the kept answer ended early, or empty for a normal end.
    static QString StopReason(const AnswerEnd& AEnd);

    std::shared_ptr<ChatState> m_chat;
    qsizetype m_userIndex;
    LiveAnswerEvents m_events;
    CancelFlag m_cancel = MakeCancelFlag();
    TContentParts m_parts;
    QString m_text;
    bool m_running = true;
};
