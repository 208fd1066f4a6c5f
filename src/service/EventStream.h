#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Reads a server-sent event stream as it arrives and hands over each event's data as soon
// as the blank line that ends it is in. Data lines of one event are joined without a
// separator; an event not ended by a blank line never comes out.
class EventStreamReader {
public:
    using EventHandler = std::function<void(const QByteArray& data)>;

    explicit EventStreamReader(EventHandler onEvent);

    void feed(QByteArrayView bytes);

private:
    void takeLine(QByteArrayView line);

    EventHandler m_onEvent;
    QByteArray m_partialLine;
    QByteArray m_event;
    // A line that ended with CR may be followed by the LF of the same line end.
    bool m_afterCarriageReturn = false;
};
