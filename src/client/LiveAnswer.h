#pragma once

#include "RequestTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class TGeminiDM;

// How a streamed answer ended.
struct AnswerEnd {
    // Everything that arrived, joined; empty when nothing did.
    QString Text = {};
    // The user stopped it.
    bool Stopped = false;
    // How the request ended: a failure (nothing to show as an answer, or the request broke
    // off; its text and cause say why) or none, and what the answer told.
    RequestOutcome Outcome = {};
};

// What the caller is told while a streamed answer comes in, always on the user-interface
// thread. Ended comes exactly once, after the conversation has taken what arrived.
struct LiveAnswerEvents {
    std::function<void(const QString& textSoFar)> Grew;
    std::function<void(int seconds)> Retrying;
    std::function<void(const AnswerEnd&)> Ended;
};

// A streamed text answer on its way (TGeminiDM::StreamAnswer). What arrived is kept in the
// conversation however the answer ends (finished, stopped, or broken off), unless it is
// blank; a failure is never kept.
class LiveAnswer : public std::enable_shared_from_this<LiveAnswer> {
public:
    LiveAnswer(TGeminiDM& ADataModule, LiveAnswerEvents AEvents);

    // Ends the answer now with what has arrived and abandons the transfer; Ended has run
    // when this returns. Nothing once the answer has ended.
    void Stop();
    bool Running() const { return m_running; }

    const CancelFlag& Cancel() const { return m_cancel; }
    // Takes one delivery of the request thread.
    void Deliver(const StreamDelivery& ADelivery);

private:
    void End(AnswerEnd AEnd);

    QPointer<TGeminiDM> m_dataModule;
    LiveAnswerEvents m_events;
    CancelFlag m_cancel = MakeCancelFlag();
    QString m_text;
    bool m_running = true;
};
